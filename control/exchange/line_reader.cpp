// See line_reader.h.
#include "control/exchange/line_reader.h"

#include <iterator>

namespace lonvera::control {

namespace {

struct FinalEntry
{
    QLatin1String text;
    FinalWord word;
};

// Whole lines that end a command. Some modems refuse a command they do not know with words of
// their own instead of ERROR; they are listed here, so a refusal never waits out its time-out and
// never comes back as an answer.
const FinalEntry kFinals[] = {
    {QLatin1String("OK"), FinalWord::Ok},
    {QLatin1String("ERROR"), FinalWord::Error},
    {QLatin1String("NO CARRIER"), FinalWord::NoCarrier},
    {QLatin1String("BUSY"), FinalWord::Busy},
    {QLatin1String("NO ANSWER"), FinalWord::NoAnswer},
    {QLatin1String("NO DIALTONE"), FinalWord::NoDialtone},
    {QLatin1String("NO DIAL TONE"), FinalWord::NoDialtone},
    {QLatin1String("COMMAND NOT SUPPORT"), FinalWord::NotSupported},
    {QLatin1String("COMMAND NOT SUPPORTED"), FinalWord::NotSupported},
    {QLatin1String("TOO MANY PARAMETERS"), FinalWord::NotSupported},
};

// Finals that carry a number after their word (3GPP TS 27.005 3.2.5, TS 27.007 9.2).
const FinalEntry kCodedFinals[] = {
    {QLatin1String("+CMS ERROR:"), FinalWord::CmsError},
    {QLatin1String("+CME ERROR:"), FinalWord::CmeError},
};

struct NoticeEntry
{
    QLatin1String prefix;
    NoticeKind kind;
    bool pduFollows; ///< the notice's PDU comes on the next non-empty line
};

// Unsolicited results by their line's start (3GPP TS 27.005 3.4.1, TS 27.007 7.6, 7.18).
const NoticeEntry kNotices[] = {
    {QLatin1String("+CMTI:"), NoticeKind::NewMessage, false},
    {QLatin1String("+CDSI:"), NoticeKind::StoredReport, false},
    {QLatin1String("+CDS:"), NoticeKind::DirectReport, true},
    {QLatin1String("+CMT:"), NoticeKind::DeliveredMessage, true},
    {QLatin1String("+CRING:"), NoticeKind::Ring, false},
    {QLatin1String("+CLIP:"), NoticeKind::CallerId, false},
};

bool isNameChar(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

bool isLetter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// The name of a "+XXX:" or "^XXX" line ("CPMS"), empty when the line is no such line.
QString responseName(QStringView line)
{
    if (line.size() < 2 || (line[0] != QLatin1Char('+') && line[0] != QLatin1Char('^')) ||
        !isLetter(line[1]))
        return {};
    qsizetype end = 1;
    while (end < line.size() && isNameChar(line[end]))
        ++end;
    return line.sliced(1, end - 1).toString().toUpper();
}

} // namespace

FinalResult finalResultOf(QStringView line)
{
    const QStringView text = line.trimmed();
    for (const FinalEntry &entry : kFinals) {
        if (text.compare(entry.text, Qt::CaseInsensitive) == 0)
            return {entry.word, -1};
    }
    for (const FinalEntry &entry : kCodedFinals) {
        if (text.startsWith(entry.text, Qt::CaseInsensitive)) {
            bool ok = false;
            const int code = text.sliced(entry.text.size()).trimmed().toInt(&ok);
            return {entry.word, ok ? code : -1};
        }
    }
    return {};
}

QString Notice::storage() const
{
    const qsizetype open = line.indexOf(QLatin1Char('"'));
    const qsizetype close = open < 0 ? -1 : line.indexOf(QLatin1Char('"'), open + 1);
    if (close < 0)
        return {};
    return line.sliced(open + 1, close - open - 1).trimmed().toUpper();
}

int Notice::index() const
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    for (QStringView field : QStringView(line).sliced(colon + 1).split(QLatin1Char(','))) {
        bool ok = false;
        const int value = field.trimmed().toInt(&ok);
        if (ok && value >= 0)
            return value;
    }
    return -1;
}

void LineReader::beginCommand(QStringView command)
{
    m_command = command.trimmed().toString();
    m_commandNames.clear();
    const QString compact = QString(m_command).remove(QLatin1Char(' '));
    for (qsizetype i = 0; i < compact.size(); ++i) {
        if (compact[i] != QLatin1Char('+') && compact[i] != QLatin1Char('^'))
            continue;
        const QString name = responseName(QStringView(compact).sliced(i));
        if (!name.isEmpty())
            m_commandNames.append(name);
    }
    restartReply();
}

void LineReader::continueCommand(QStringView written)
{
    QString text = written.toString();
    text.remove(QChar(0x1a));
    m_command = text.trimmed();
    restartReply();
}

void LineReader::restartReply()
{
    m_reply = Reply();
    m_finished = false;
    m_echoPossible = true;
    m_tailBeforeCommand = !m_tail.isEmpty();
}

QString LineReader::replyText() const
{
    if (m_tailBeforeCommand || m_finished)
        return m_reply.text;
    return m_reply.text + m_tail;
}

QList<Notice> LineReader::feed(QStringView text)
{
    QList<Notice> notices;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), from);
        if (end < 0) {
            m_tail += text.sliced(from);
            if (m_tail.size() > MaxLineChars)
                takeLine(std::exchange(m_tail, QString()), notices);
            break;
        }
        m_tail += text.sliced(from, end + 1 - from);
        takeLine(std::exchange(m_tail, QString()), notices);
        from = end + 1;
    }
    updatePrompt();
    return notices;
}

bool LineReader::isOwnResponse(QStringView line) const
{
    const QString name = responseName(line);
    return !name.isEmpty() && m_commandNames.contains(name);
}

void LineReader::takeLine(const QString &raw, QList<Notice> &notices)
{
    bool beforeCommand = std::exchange(m_tailBeforeCommand, false);
    QString trimmed = raw.trimmed();
    if (beforeCommand && trimmed.startsWith(QLatin1Char('>'))) {
        // The prompt was still open when the PDU went: what follows it is this reply.
        trimmed = trimmed.sliced(1).trimmed();
        beforeCommand = false;
    }

    if (m_awaitingPdu) {
        if (trimmed.isEmpty())
            return; // some modems put an empty line between the notice and its PDU
        m_pending.pduLine = trimmed;
        notices.append(std::exchange(m_pending, Notice()));
        m_awaitingPdu = false;
        return;
    }

    if (!trimmed.isEmpty() && !isOwnResponse(trimmed)) {
        if (trimmed.compare(QLatin1String("RING"), Qt::CaseInsensitive) == 0) {
            notices.append({NoticeKind::Ring, trimmed, {}});
            return;
        }
        for (const NoticeEntry &entry : kNotices) {
            if (!trimmed.startsWith(entry.prefix, Qt::CaseInsensitive))
                continue;
            Notice notice{entry.kind, trimmed, {}};
            if (entry.pduFollows) {
                m_pending = notice;
                m_awaitingPdu = true;
            } else {
                notices.append(notice);
            }
            return;
        }
        if (!responseName(trimmed).isEmpty() && !finalResultOf(trimmed).isFinal()) {
            notices.append({NoticeKind::Status, trimmed, {}});
            return;
        }
    }

    if (beforeCommand || m_finished)
        return; // a reply whose wait has ended, or noise between commands
    m_reply.text += raw;
    if (m_reply.text.size() > MaxReplyChars)
        m_reply.text.remove(0, m_reply.text.size() - MaxReplyChars / 2);
    if (trimmed.isEmpty())
        return;
    if (trimmed == QLatin1String(">")) {
        m_reply.prompt = true; // the prompt, with the line feed of our command echoed after it
        return;
    }
    if (std::exchange(m_echoPossible, false) &&
        trimmed.compare(m_command, Qt::CaseInsensitive) == 0)
        return;
    const FinalResult final = finalResultOf(trimmed);
    if (final.isFinal()) {
        m_reply.final = final;
        m_finished = true;
        return;
    }
    m_reply.lines.append(trimmed);
}

void LineReader::updatePrompt()
{
    if (m_tailBeforeCommand || m_finished || m_reply.prompt)
        return;
    // "> " after the echo's CR, with or without the blank.
    const qsizetype cr = m_tail.lastIndexOf(QLatin1Char('\r'));
    const QStringView last = QStringView(m_tail).sliced(cr + 1).trimmed();
    m_reply.prompt = last == QLatin1String(">");
}

Reply parseReply(QStringView command, QStringView text)
{
    LineReader reader;
    reader.beginCommand(command);
    reader.feed(text);
    Reply reply = reader.reply();
    reply.text = reader.replyText();
    return reply;
}

} // namespace lonvera::control
