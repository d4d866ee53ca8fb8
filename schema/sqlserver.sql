-- Tables of the gateway for SQL Server (T-SQL; batches separated by GO, as sqlcmd runs them).
-- Identifiers are unquoted so the mixed-case names written by the gateway and by other
-- applications resolve under any collation that the database uses for names.
-- An application needs to insert only Mbno and Msg. Text columns are nvarchar, so Chinese
-- texts survive every collation; write literals with N'...'.

IF OBJECT_ID(N'outbox', N'U') IS NULL
CREATE TABLE outbox (
    id int IDENTITY(1, 1) PRIMARY KEY,
    Mbno nvarchar(64) NOT NULL,
    Msg nvarchar(max) NOT NULL DEFAULT N'',
    SendTime datetime NOT NULL DEFAULT getdate(),
    ComPort int NOT NULL DEFAULT 0,
    report int NOT NULL DEFAULT 0,
    username nvarchar(64) DEFAULT N'',
    V1 nvarchar(255), V2 nvarchar(255), V3 nvarchar(255), V4 nvarchar(255), V5 nvarchar(255)
);
GO
-- The dispatcher looks for the first row in send order among the rows free for any port and
-- among those of its own port: (ComPort, SendTime, id) serves both lookups straight from the
-- index. (SendTime, id) serves readers of the whole queue in send order.
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'outbox_sendtime_id')
CREATE INDEX outbox_sendtime_id ON outbox (SendTime, id);
GO
IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE name = N'outbox_comport_sendtime_id')
CREATE INDEX outbox_comport_sendtime_id ON outbox (ComPort, SendTime, id);
GO

IF OBJECT_ID(N'SendedOutBox', N'U') IS NULL
CREATE TABLE SendedOutBox (
    id int IDENTITY(1, 1) PRIMARY KEY,
    mbno nvarchar(64),
    Msg nvarchar(max),
    username nvarchar(64),
    SendTime datetime,
    comport int,
    Total int,
    V1 nvarchar(255), V2 nvarchar(255), V3 nvarchar(255), V4 nvarchar(255), V5 nvarchar(255)
);
GO

IF OBJECT_ID(N'badoutbox', N'U') IS NULL
CREATE TABLE badoutbox (
    id int IDENTITY(1, 1) PRIMARY KEY,
    mbno nvarchar(64),
    Msg nvarchar(max),
    username nvarchar(64),
    SendTime datetime,
    comport int,
    bad_why nvarchar(255),
    V1 nvarchar(255), V2 nvarchar(255), V3 nvarchar(255), V4 nvarchar(255), V5 nvarchar(255)
);
GO

IF OBJECT_ID(N'inbox', N'U') IS NULL
CREATE TABLE inbox (
    id int IDENTITY(1, 1) PRIMARY KEY,
    mbno nvarchar(64),
    Msg nvarchar(max),
    ArriveTime nvarchar(32),  -- the modem's time stamp text, unchanged
    comport int
);
GO

IF OBJECT_ID(N'report', N'U') IS NULL
CREATE TABLE report (
    id int IDENTITY(1, 1) PRIMARY KEY,
    RpMsg nvarchar(255),
    SendTime nvarchar(32),
    ArrivedTime nvarchar(32)
);
GO

IF OBJECT_ID(N'OnCall', N'U') IS NULL
CREATE TABLE OnCall (
    id int IDENTITY(1, 1) PRIMARY KEY,
    mbno nvarchar(64),
    ArriveTime datetime,
    comport int
);
GO

IF OBJECT_ID(N'comset', N'U') IS NULL
CREATE TABLE comset (
    id int PRIMARY KEY,
    SetName nvarchar(64),
    InUseing nvarchar(16) NOT NULL DEFAULT N'停用',
    com nvarchar(16),
    rate int NOT NULL DEFAULT 9600,
    serno nvarchar(32) DEFAULT N'',
    FOR_no nvarchar(64) NOT NULL DEFAULT N'|不限范围|',
    pace nvarchar(16) NOT NULL DEFAULT N'不限速',
    msgmax int NOT NULL DEFAULT 88888888,
    MsgSendedCount int NOT NULL DEFAULT 0
);
GO

IF OBJECT_ID(N'syset', N'U') IS NULL
CREATE TABLE syset (
    Mkey nvarchar(64) PRIMARY KEY,
    Mvalue nvarchar(1000)
);
GO

-- A row of outbox whose send has begun: written in the transaction that claims the row for its
-- port, before the worker starts the exchange with the modem, and forgotten once the result is
-- recorded. A row still named here after a crash may have gone out: the start-up decides it
-- instead of sending it blindly. Kept apart so outbox keeps the columns applications read.
IF OBJECT_ID(N'outbox_sending', N'U') IS NULL
CREATE TABLE outbox_sending (
    id bigint PRIMARY KEY,      -- the outbox row
    ComPort int NOT NULL,       -- the port it was handed to
    SinceTime datetime NOT NULL -- when it was handed over
);
GO

-- The sixteen devices COM1 to COM16, all not in use; only into an empty table.
IF NOT EXISTS (SELECT 1 FROM comset)
INSERT INTO comset (id, SetName, InUseing, com, rate, serno, FOR_no, pace, msgmax, MsgSendedCount)
SELECT i, N'COM' + CAST(i AS nvarchar(2)), N'停用', N'COM' + CAST(i AS nvarchar(2)), 9600,
       N'+8613800200500', N'|不限范围|', N'不限速', 88888888, 0
FROM (VALUES (1), (2), (3), (4), (5), (6), (7), (8), (9), (10), (11), (12), (13), (14), (15), (16))
     AS n(i);
GO
