// See wire_log.h.
#include "wire_log.h"

#include "emulator_log.h"
#include "pdu.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace lonvera::emulator {

bool WireLog::open(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        if (error)
            *error = path + QStringLiteral(": ") + m_file.errorString();
        return false;
    }
    return true;
}

QByteArray WireLog::takenLine(const SentMessage &message)
{
    QJsonObject o;
    o.insert(QStringLiteral("t"), message.timeMs);
    o.insert(QStringLiteral("com"), message.com);
    o.insert(QStringLiteral("kind"),
             message.reference >= 0 ? QStringLiteral("accepted") : QStringLiteral("refused"));
    o.insert(QStringLiteral("ref"), message.reference);
    o.insert(QStringLiteral("to"), message.destination);
    if (!message.error.isEmpty())
        o.insert(QStringLiteral("error"), QString::fromLatin1(message.error));
    const auto decoded = pdu::decodePduHex(QString::fromLatin1(message.pdu));
    if (decoded.ok() && decoded.value().submit()) {
        const pdu::UserData &ud = decoded.value().submit()->userData;
        o.insert(QStringLiteral("text"), ud.text);
        o.insert(QStringLiteral("part"), ud.concatenation ? ud.concatenation->sequence : 1);
        o.insert(QStringLiteral("parts"), ud.concatenation ? ud.concatenation->total : 1);
    }
    o.insert(QStringLiteral("pdu"), QString::fromLatin1(message.pdu));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

void WireLog::addTaken(const SentMessage &message)
{
    write(takenLine(message));
}

void WireLog::addCarried(qint64 timeMs, int com, int reference, const QString &destination)
{
    QJsonObject o;
    o.insert(QStringLiteral("t"), timeMs);
    o.insert(QStringLiteral("com"), com);
    o.insert(QStringLiteral("kind"), QStringLiteral("carried"));
    o.insert(QStringLiteral("ref"), reference);
    o.insert(QStringLiteral("to"), destination);
    write(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void WireLog::write(const QByteArray &line)
{
    if (m_file.isOpen())
        m_file.write(line + '\n');
}

} // namespace lonvera::emulator
