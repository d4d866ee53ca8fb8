// Device profiles: loading from JSON and INI files.
#include "modem_profile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>

namespace lonvera::emulator {

namespace {

bool toBool(const QVariant &v, bool *ok)
{
    const QString s = v.toString().trimmed().toLower();
    *ok = true;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (s == QLatin1String("1") || s == QLatin1String("true") || s == QLatin1String("yes") ||
        s == QLatin1String("on"))
        return true;
    if (s == QLatin1String("0") || s == QLatin1String("false") || s == QLatin1String("no") ||
        s == QLatin1String("off"))
        return false;
    *ok = false;
    return false;
}

// INI lists arrive as QStringList, JSON lists as QVariantList; a plain "a,b" string is split.
QVariantList toList(const QVariant &v)
{
    if (v.typeId() == QMetaType::QVariantList)
        return v.toList();
    QVariantList out;
    const QStringList parts = v.typeId() == QMetaType::QStringList
                                  ? v.toStringList()
                                  : v.toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &p : parts)
        out.append(p.trimmed());
    return out;
}

bool parsePhonebook(const QVariant &v, QList<PhonebookEntry> *out)
{
    // JSON: [{"number": "...", "name": "..."}]; INI: "number:name, number:name".
    for (const QVariant &item : toList(v)) {
        PhonebookEntry e;
        if (item.typeId() == QMetaType::QVariantMap) {
            const QVariantMap m = item.toMap();
            e.number = m.value(QStringLiteral("number")).toString();
            e.name = m.value(QStringLiteral("name")).toString();
        } else {
            const QString s = item.toString();
            const qsizetype colon = s.indexOf(QLatin1Char(':'));
            if (colon < 0)
                return false;
            e.number = s.left(colon).trimmed();
            e.name = s.mid(colon + 1).trimmed();
        }
        if (e.number.isEmpty())
            return false;
        out->append(e);
    }
    return true;
}

bool parseStored(const QVariant &v, QList<PresetMessage> *out)
{
    // JSON: [{"status": 0, "pdu": "0891..."}]; INI: "0:0891..., 1:0891...".
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    for (const QVariant &item : toList(v)) {
        PresetMessage m;
        if (item.typeId() == QMetaType::QVariantMap) {
            const QVariantMap map = item.toMap();
            m.status = map.value(QStringLiteral("status"), 0).toInt();
            m.pdu = map.value(QStringLiteral("pdu")).toString().toLatin1();
        } else {
            const QString s = item.toString();
            const qsizetype colon = s.indexOf(QLatin1Char(':'));
            m.status = colon < 0 ? 0 : s.left(colon).toInt();
            m.pdu = s.mid(colon + 1).trimmed().toLatin1();
        }
        if (m.status < 0 || m.status > 3 || !hex.match(QString::fromLatin1(m.pdu)).hasMatch())
            return false;
        out->append(m);
    }
    return true;
}

} // namespace

bool parseCnmiRanges(const QString &text, QList<QList<int>> *out)
{
    out->clear();
    const QString t = QString(text).remove(QLatin1Char(' '));
    if (t.isEmpty())
        return true;
    static const QRegularExpression group(QStringLiteral("\\(([^)]*)\\)"));
    auto it = group.globalMatch(t);
    while (it.hasNext()) {
        QList<int> values;
        for (const QString &piece : it.next().captured(1).split(QLatin1Char(','))) {
            const QStringList bounds = piece.split(QLatin1Char('-'));
            bool ok1 = false;
            bool ok2 = false;
            const int lo = bounds.value(0).toInt(&ok1);
            const int hi = bounds.size() == 2 ? bounds[1].toInt(&ok2) : lo;
            if (!ok1 || (bounds.size() == 2 && !ok2) || bounds.size() > 2 || hi < lo || hi > 9)
                return false;
            for (int v = lo; v <= hi; ++v)
                values.append(v);
        }
        out->append(values);
    }
    return !out->isEmpty();
}

bool ModemProfile::apply(const QVariantMap &values, QString *error)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString &key = it.key();
        const QVariant &v = it.value();
        bool ok = true;
        auto integer = [&](int *field) { *field = v.toString().trimmed().toInt(&ok); };
        auto flag = [&](bool *field) { *field = toBool(v, &ok); };
        if (key == QLatin1String("number"))
            number = v.toString().remove(QLatin1Char('+'));
        else if (key == QLatin1String("model"))
            model = v.toString();
        else if (key == QLatin1String("manufacturer"))
            manufacturer = v.toString();
        else if (key == QLatin1String("revision"))
            revision = v.toString();
        else if (key == QLatin1String("imei"))
            imei = v.toString();
        else if (key == QLatin1String("centre"))
            centre = v.toString();
        else if (key == QLatin1String("echo"))
            flag(&echo);
        else if (key == QLatin1String("answeredHandshakes")) {
            answeredHandshakes.clear();
            for (const QVariant &h : toList(v)) {
                const int mode = h.toString().toInt(&ok);
                if (!ok || mode < 0 || mode > 3)
                    break;
                answeredHandshakes.append(mode);
            }
        } else if (key == QLatin1String("dsrOnOpen"))
            flag(&dsrOnOpen);
        else if (key == QLatin1String("callWaiting"))
            flag(&callWaiting);
        else if (key == QLatin1String("silent"))
            flag(&silent);
        else if (key == QLatin1String("holdableOutput"))
            flag(&holdableOutput);
        else if (key == QLatin1String("replyDelayMs"))
            integer(&replyDelayMs);
        else if (key == QLatin1String("commandDelayMs")) {
            commandDelayMs.clear();
            const QVariantMap m = v.toMap();
            for (auto d = m.cbegin(); ok && d != m.cend(); ++d)
                commandDelayMs.insert(d.key().toUpper().toLatin1(),
                                      d.value().toString().toInt(&ok));
        } else if (key == QLatin1String("fragmentGapMs"))
            integer(&fragmentGapMs);
        else if (key == QLatin1String("lowerCaseResults"))
            flag(&lowerCaseResults);
        else if (key == QLatin1String("promptBlank"))
            flag(&promptBlank);
        else if (key == QLatin1String("glueNotifications"))
            flag(&glueNotifications);
        else if (key == QLatin1String("lineGapMs"))
            integer(&lineGapMs);
        else if (key == QLatin1String("refusedCommands")) {
            refusedCommands.clear();
            for (const QVariant &name : toList(v))
                refusedCommands.append(name.toString().trimmed().toUpper().toLatin1());
        } else if (key == QLatin1String("refusalText"))
            refusalText = v.toString();
        else if (key == QLatin1String("simState")) {
            simState = v.toString().toUpper();
            ok = simState.isEmpty() || simState == QLatin1String("READY") ||
                 simState == QLatin1String("SIM PIN") || simState == QLatin1String("SIM PUK");
        } else if (key == QLatin1String("simPin"))
            simPin = v.toString();
        else if (key == QLatin1String("reportStorage")) {
            reportStorage = v.toString().toUpper();
            ok = reportStorage == QLatin1String("SM") || reportStorage == QLatin1String("SR");
        } else if (key == QLatin1String("cnmiRanges")) {
            QList<QList<int>> parsed;
            cnmiRanges = v.toStringList().join(QLatin1Char(','));
            ok = parseCnmiRanges(cnmiRanges, &parsed);
        } else if (key == QLatin1String("initialCnmi"))
            initialCnmi = v.toStringList().join(QLatin1Char(','));
        else if (key == QLatin1String("capacity"))
            integer(&capacity);
        else if (key == QLatin1String("stored"))
            ok = parseStored(v, &stored);
        else if (key == QLatin1String("deleteFlagSupported"))
            flag(&deleteFlagSupported);
        else if (key == QLatin1String("cmsErrorOnSend"))
            integer(&cmsErrorOnSend);
        else if (key == QLatin1String("cmsErrorCode"))
            integer(&cmsErrorCode);
        else if (key == QLatin1String("refusedParts")) {
            refusedParts.clear();
            for (const QVariant &part : toList(v))
                refusedParts.append(part.toString().toInt(&ok));
        } else if (key == QLatin1String("rejectExplicitCentre"))
            flag(&rejectExplicitCentre);
        else if (key == QLatin1String("unknownNumberCmsError"))
            integer(&unknownNumberCmsError);
        else if (key == QLatin1String("networkDelayMs"))
            integer(&networkDelayMs);
        else if (key == QLatin1String("networkDelayMaxMs"))
            integer(&networkDelayMaxMs);
        else if (key == QLatin1String("partOrder")) {
            const QString s = v.toString().toLower();
            if (s == QLatin1String("inorder"))
                partOrder = PartOrder::InOrder;
            else if (s == QLatin1String("reversed"))
                partOrder = PartOrder::Reversed;
            else if (s == QLatin1String("shuffled"))
                partOrder = PartOrder::Shuffled;
            else
                ok = false;
        } else if (key == QLatin1String("partHoldMs"))
            integer(&partHoldMs);
        else if (key == QLatin1String("reportRoute")) {
            const QString s = v.toString().toLower();
            if (s == QLatin1String("cnmi"))
                reportRoute = ReportRoute::FollowCnmi;
            else if (s == QLatin1String("direct"))
                reportRoute = ReportRoute::Direct;
            else if (s == QLatin1String("stored"))
                reportRoute = ReportRoute::Stored;
            else
                ok = false;
        } else if (key == QLatin1String("reportStatus"))
            integer(&reportStatus);
        else if (key == QLatin1String("reportDelayMs"))
            integer(&reportDelayMs);
        else if (key == QLatin1String("ringIntervalMs"))
            integer(&ringIntervalMs);
        else if (key == QLatin1String("ringTimeoutMs"))
            integer(&ringTimeoutMs);
        else if (key == QLatin1String("dialUnknownResult"))
            dialUnknownResult = v.toString().toUpper();
        else if (key.startsWith(QLatin1String("phonebook."))) {
            QList<PhonebookEntry> entries;
            ok = parsePhonebook(v, &entries);
            phonebooks.insert(key.mid(10).toUpper(), entries);
        } else if (key == QLatin1String("phonebooks")) {
            const QVariantMap books = v.toMap();
            for (auto b = books.cbegin(); ok && b != books.cend(); ++b) {
                QList<PhonebookEntry> entries;
                ok = parsePhonebook(b.value(), &entries);
                phonebooks.insert(b.key().toUpper(), entries);
            }
        } else if (key == QLatin1String("phonebookCapacity"))
            integer(&phonebookCapacity);
        else {
            *error = QStringLiteral("unknown profile key \"%1\"").arg(key);
            return false;
        }
        if (!ok) {
            *error = QStringLiteral("bad value for profile key \"%1\"").arg(key);
            return false;
        }
    }
    if (capacity < 1 || capacity > 255 || replyDelayMs < 0 || fragmentGapMs < 0 || lineGapMs < 0 ||
        networkDelayMs < 0 || reportStatus < 0 || reportStatus > 255 || ringIntervalMs < 100) {
        *error = QStringLiteral("profile value out of range");
        return false;
    }
    return true;
}

ModemProfile ProfileSet::forCom(int com) const
{
    ModemProfile p = defaults;
    QString ignored;
    if (perCom.contains(com))
        p.apply(perCom.value(com), &ignored); // validated when loaded
    return p;
}

bool ProfileSet::fromJson(const QByteArray &json, ProfileSet *out, QString *error)
{
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &perr);
    if (!doc.isObject()) {
        *error = QStringLiteral("profile is not a JSON object: %1").arg(perr.errorString());
        return false;
    }
    const QVariantMap top = doc.object().toVariantMap();
    bool sectioned = top.contains(QStringLiteral("default"));
    for (auto it = top.cbegin(); it != top.cend(); ++it)
        sectioned = sectioned || it.key().startsWith(QLatin1String("com"));
    if (!sectioned)
        return out->defaults.apply(top, error);
    for (auto it = top.cbegin(); it != top.cend(); ++it) {
        if (it.key() == QLatin1String("default")) {
            if (!out->defaults.apply(it.value().toMap(), error))
                return false;
            continue;
        }
        bool ok = false;
        const int com = it.key().mid(3).toInt(&ok);
        if (!it.key().startsWith(QLatin1String("com")) || !ok || com < 1) {
            *error = QStringLiteral("unknown profile section \"%1\"").arg(it.key());
            return false;
        }
        out->perCom.insert(com, it.value().toMap());
    }
    // Validate the overrides now, so a bad file fails at start rather than per modem.
    for (auto it = out->perCom.cbegin(); it != out->perCom.cend(); ++it) {
        ModemProfile probe = out->defaults;
        if (!probe.apply(it.value(), error))
            return false;
    }
    return true;
}

bool ProfileSet::load(const QString &path, ProfileSet *out, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read profile %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!path.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
        return fromJson(file.readAll(), out, error);

    file.close();
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot parse profile %1").arg(path);
        return false;
    }
    auto section = [&ini](const QString &group) {
        QVariantMap m;
        ini.beginGroup(group);
        for (const QString &k : ini.childKeys())
            m.insert(k, ini.value(k));
        ini.endGroup();
        return m;
    };
    QVariantMap defaults = section(QString());
    defaults.insert(section(QStringLiteral("default")));
    if (!out->defaults.apply(defaults, error))
        return false;
    for (const QString &g : ini.childGroups()) {
        if (g.compare(QLatin1String("default"), Qt::CaseInsensitive) == 0)
            continue;
        bool ok = false;
        const int com = g.mid(3).toInt(&ok);
        if (!g.startsWith(QLatin1String("com"), Qt::CaseInsensitive) || !ok || com < 1) {
            *error = QStringLiteral("unknown profile section [%1]").arg(g);
            return false;
        }
        const QVariantMap over = section(g);
        ModemProfile probe = out->defaults;
        if (!probe.apply(over, error))
            return false;
        out->perCom.insert(com, over);
    }
    return true;
}

} // namespace lonvera::emulator
