-- Tables of the gateway for SQLite (the embedded default database "qx.qxocx").
-- Identifiers are unquoted so the mixed-case names written by the gateway and by other
-- applications resolve on every engine. An application needs to insert only Mbno and Msg.
-- Statements end with ";" at the end of a line; a trigger body ends with the line "END;".

-- Readers (other applications polling the result tables) never block the gateway's writes, and a
-- commit costs no flush of its own (the gateway sets synchronous=NORMAL).
PRAGMA journal_mode=WAL;

CREATE TABLE IF NOT EXISTS outbox (
    id INTEGER PRIMARY KEY AUTOINCREMENT,  -- never reused, so a late result cannot hit a new row
    Mbno TEXT NOT NULL,
    Msg TEXT NOT NULL DEFAULT '',
    SendTime TEXT NOT NULL DEFAULT (datetime('now', 'localtime')),
    ComPort INTEGER NOT NULL DEFAULT 0,
    report INTEGER NOT NULL DEFAULT 0,
    username TEXT DEFAULT '',
    V1, V2, V3, V4, V5
);
-- The dispatcher looks for the first row in send order among the rows free for any port and
-- among those of its own port: (ComPort, SendTime, id) serves both lookups straight from the
-- index, however many rows wait for other ports or lie in the future. (SendTime, id) serves
-- readers of the whole queue in send order.
CREATE INDEX IF NOT EXISTS outbox_sendtime_id ON outbox (SendTime, id);
CREATE INDEX IF NOT EXISTS outbox_comport_sendtime_id ON outbox (ComPort, SendTime, id);

-- SQLite keeps dates as text and compares them as text, so every SendTime is brought to the one
-- form "YYYY-MM-DD HH:MM:SS" that sorts in time order, whatever form the application wrote and
-- the server engines would read as a date: "2025/1/5 10:00:00" (as a Chinese Windows writes it),
-- one-digit fields, "." between the date's fields, "T" before the time, a time without seconds,
-- fractions of a second (dropped), a date alone (midnight). Other texts SQLite reads as a date
-- (with a zone, say) get its reading; a text that is no date stays as it is, and the gateway
-- reports it. The triggers are dropped and made again each time this script runs, so an existing
-- database gets the current ones.
DROP TRIGGER IF EXISTS outbox_sendtime_insert;
DROP TRIGGER IF EXISTS outbox_sendtime_update;
CREATE TRIGGER outbox_sendtime_update AFTER UPDATE OF SendTime ON outbox
WHEN typeof(NEW.SendTime) = 'text'
     AND NOT (NEW.SendTime GLOB
                  '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
              AND datetime(NEW.SendTime) = NEW.SendTime)
BEGIN
    UPDATE outbox SET SendTime = coalesce(
        (SELECT v FROM (
            SELECT printf('%04d-%02d-%02d %02d:%02d:%02d', y, mo, d, h, mi, se) AS v,
                   y, mo, d, h, mi, se
            FROM (
                SELECT substr(dp, 1, instr(dp, '-') - 1) AS y,
                       substr(dr, 1, instr(dr, '-') - 1) AS mo,
                       substr(dr, instr(dr, '-') + 1) AS d,
                       CASE WHEN tp = '' THEN '0'
                            ELSE substr(tp, 1, instr(tp || ':', ':') - 1) END AS h,
                       CASE WHEN tr = '' THEN '0'
                            ELSE substr(tr, 1, instr(tr || ':', ':') - 1) END AS mi,
                       CASE WHEN instr(tr, ':') = 0 THEN '0'
                            ELSE substr(substr(tr, instr(tr, ':') + 1), 1,
                                        instr(substr(tr, instr(tr, ':') + 1) || '.', '.') - 1)
                            END AS se
                FROM (
                    SELECT dp, substr(dp, instr(dp, '-') + 1) AS dr, tp,
                           CASE WHEN instr(tp, ':') = 0 THEN ''
                                ELSE substr(tp, instr(tp, ':') + 1) END AS tr
                    FROM (
                        SELECT replace(replace(CASE WHEN instr(s, ' ') = 0 THEN s
                                                    ELSE substr(s, 1, instr(s, ' ') - 1) END,
                                               '/', '-'), '.', '-') AS dp,
                               CASE WHEN instr(s, ' ') = 0 THEN ''
                                    ELSE trim(substr(s, instr(s, ' ') + 1)) END AS tp
                        FROM (SELECT replace(trim(NEW.SendTime), 'T', ' ') AS s)))))
         WHERE length(y) = 4 AND y NOT GLOB '*[^0-9]*'
           AND length(mo) BETWEEN 1 AND 2 AND mo NOT GLOB '*[^0-9]*'
           AND length(d) BETWEEN 1 AND 2 AND d NOT GLOB '*[^0-9]*'
           AND length(h) BETWEEN 1 AND 2 AND h NOT GLOB '*[^0-9]*'
           AND length(mi) BETWEEN 1 AND 2 AND mi NOT GLOB '*[^0-9]*'
           AND length(se) BETWEEN 1 AND 2 AND se NOT GLOB '*[^0-9]*'
           AND datetime(v) = v),
        datetime(NEW.SendTime), NEW.SendTime)
    WHERE id = NEW.id;
END;
-- An inserted row goes through the update trigger above (a trigger may start another one).
CREATE TRIGGER outbox_sendtime_insert AFTER INSERT ON outbox
WHEN typeof(NEW.SendTime) = 'text'
BEGIN
    UPDATE outbox SET SendTime = NEW.SendTime WHERE id = NEW.id;
END;
-- Rows queued before the triggers existed.
UPDATE outbox SET SendTime = SendTime
WHERE typeof(SendTime) = 'text'
  AND NOT (SendTime GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
           AND datetime(SendTime) = SendTime);

CREATE TABLE IF NOT EXISTS SendedOutBox (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    mbno TEXT,
    Msg TEXT,
    username TEXT,
    SendTime TEXT,
    comport INTEGER,
    Total INTEGER,
    V1, V2, V3, V4, V5
);

CREATE TABLE IF NOT EXISTS badoutbox (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    mbno TEXT,
    Msg TEXT,
    username TEXT,
    SendTime TEXT,
    comport INTEGER,
    bad_why TEXT,
    V1, V2, V3, V4, V5
);

CREATE TABLE IF NOT EXISTS inbox (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    mbno TEXT,
    Msg TEXT,
    ArriveTime TEXT,  -- the modem's time stamp text, unchanged
    comport INTEGER
);

CREATE TABLE IF NOT EXISTS report (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    RpMsg TEXT,
    SendTime TEXT,
    ArrivedTime TEXT
);

CREATE TABLE IF NOT EXISTS OnCall (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    mbno TEXT,
    ArriveTime TEXT,
    comport INTEGER
);

CREATE TABLE IF NOT EXISTS comset (
    id INTEGER PRIMARY KEY,
    SetName TEXT,
    InUseing TEXT NOT NULL DEFAULT '停用',
    com TEXT,
    rate INTEGER NOT NULL DEFAULT 9600,
    serno TEXT DEFAULT '',
    FOR_no TEXT NOT NULL DEFAULT '|不限范围|',
    pace TEXT NOT NULL DEFAULT '不限速',
    msgmax INTEGER NOT NULL DEFAULT 88888888,
    MsgSendedCount INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE IF NOT EXISTS syset (
    Mkey TEXT PRIMARY KEY,
    Mvalue TEXT
);

-- A row of outbox whose send has begun: written in the transaction that claims the row for its
-- port, before the worker starts the exchange with the modem, and forgotten once the result is
-- recorded. A row still named here after a crash may have gone out: the start-up decides it
-- instead of sending it blindly. Kept apart so outbox keeps the columns applications read.
CREATE TABLE IF NOT EXISTS outbox_sending (
    id INTEGER PRIMARY KEY,     -- the outbox row
    ComPort INTEGER NOT NULL,   -- the port it was handed to
    SinceTime TEXT NOT NULL     -- when it was handed over
);

-- The sixteen devices COM1 to COM16, all not in use; only into an empty table.
INSERT INTO comset (id, SetName, InUseing, com, rate, serno, FOR_no, pace, msgmax, MsgSendedCount)
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 16)
SELECT i, 'COM' || i, '停用', 'COM' || i, 9600, '+8613800200500', '|不限范围|', '不限速', 88888888, 0
FROM n WHERE NOT EXISTS (SELECT 1 FROM comset);
