// The AT commands an emulated modem understands (ITU-T V.250, 3GPP TS 27.005 and 27.007), with
// the reply forms of common GSM modems. Part of EmulatedModem; same thread rule.
#include "call_switch.h"
#include "emulated_modem.h"
#include "emulator_log.h"
#include "network.h"

#include <QTimer>

namespace lonvera::emulator {

namespace {

QByteArray quoted(const QByteArray &s)
{
    return '"' + s + '"';
}

int numberType(const QString &number)
{
    return number.startsWith(QLatin1Char('+')) ? 145 : 129; // 3GPP TS 24.008 10.5.4.7
}

} // namespace

EmulatedModem::Outcome EmulatedModem::basicCommand(const AtCommand &cmd)
{
    const QByteArray &n = cmd.name;
    if (n == "E") {
        if (cmd.args != "" && cmd.args != "0" && cmd.args != "1")
            return {Final::Error};
        m_settings.echo = cmd.args == "1";
        return {Final::Ok};
    }
    if (n == "Z") {
        m_settings = m_saved;
        return {Final::Ok};
    }
    if (n == "&F") {
        m_settings = Settings{};
        m_settings.echo = m_profile.echo;
        return {Final::Ok};
    }
    if (n == "&W") {
        m_saved = m_settings;
        return {Final::Ok};
    }
    // Accepted and without effect here: result format, line control, S-registers.
    if (n == "V" || n == "Q" || n == "X" || n == "L" || n == "M" || n == "&C" || n == "&D" ||
        n == "&K" || n.startsWith('S'))
        return {Final::Ok};
    return {Final::Error};
}

void EmulatedModem::openPrompt(int length)
{
    m_mode = Mode::PduEntry;
    m_pduLength = length;
    m_pdu.clear();
    m_pduBad = false;
    const QByteArray prompt = m_profile.promptBlank ? "\r\n> " : "\r\n>";
    if (m_lineDelay <= 0) {
        send(prompt);
        return;
    }
    m_busy = true;
    m_pendingReply = [this, prompt] {
        send(prompt);
        m_busy = false;
        processInput();
    };
    m_replyTimer->start(m_lineDelay);
}

EmulatedModem::Outcome EmulatedModem::messageCommand(const AtCommand &cmd)
{
    const QByteArray &n = cmd.name;
    const QList<QByteArray> args = splitArguments(cmd.args);
    int value = 0;
    if (n == "+CMGF") {
        if (cmd.syntax == AtSyntax::Test)
            info("+CMGF: (0,1)");
        else if (cmd.syntax == AtSyntax::Read)
            info("+CMGF: " + QByteArray::number(m_settings.cmgf));
        else if (cmd.syntax == AtSyntax::Set && parseNumber(cmd.args, &value) && value <= 1)
            m_settings.cmgf = value;
        else
            return {Final::Error};
        return {Final::Ok};
    }
    if (n == "+CNMI") {
        if (m_cnmiRanges.isEmpty())
            return {Final::Error};
        if (cmd.syntax == AtSyntax::Test) {
            info("+CNMI: " + m_profile.cnmiRanges.toLatin1());
            return {Final::Ok};
        }
        if (cmd.syntax == AtSyntax::Read) {
            QByteArray v;
            for (int x : m_settings.cnmi)
                v += (v.isEmpty() ? "" : ",") + QByteArray::number(x);
            info("+CNMI: " + v);
            return {Final::Ok};
        }
        return cmd.syntax == AtSyntax::Set ? setCnmi(cmd.args) : Outcome{Final::Error};
    }
    if (n == "+CSCA") {
        if (cmd.syntax == AtSyntax::Read) {
            const QByteArray c = m_profile.centre.toLatin1();
            info("+CSCA: " + quoted(c) + "," + QByteArray::number(numberType(m_profile.centre)));
        } else if (cmd.syntax == AtSyntax::Set && !args.isEmpty() && !unquote(args[0]).isEmpty()) {
            m_profile.centre = QString::fromLatin1(unquote(args[0]));
        } else if (cmd.syntax != AtSyntax::Test) {
            return {Final::Error};
        }
        return {Final::Ok};
    }
    if (n == "+CSMS") {
        if (cmd.syntax == AtSyntax::Read)
            info("+CSMS: 0,1,1,1");
        else if (cmd.syntax == AtSyntax::Set)
            info("+CSMS: 1,1,1");
        else if (cmd.syntax == AtSyntax::Test)
            info("+CSMS: (0,1)");
        return {Final::Ok};
    }
    // +CMGS
    if (cmd.syntax == AtSyntax::Test)
        return {Final::Ok};
    if (cmd.syntax != AtSyntax::Set)
        return {Final::Error};
    if (m_settings.cmgf != 0)
        return {Final::CmsError, 302}; // only PDU mode is emulated
    // The TPDU of an SMS-SUBMIT is at most 164 octets (3GPP TS 23.040 9.2.2.2).
    if (args.size() != 1 || !parseNumber(args[0], &value) || value < 7 || value > 164)
        return {Final::CmsError, 304};
    openPrompt(value);
    return {Final::None};
}

EmulatedModem::Outcome EmulatedModem::setCnmi(const QByteArray &argText)
{
    const QList<QByteArray> args = splitArguments(argText);
    if (args.size() > m_cnmiRanges.size())
        return {Final::Error};
    std::array<int, 5> next = m_settings.cnmi;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i].isEmpty())
            continue; // an omitted value keeps the current one
        int v = 0;
        if (!parseNumber(args[i], &v) || !m_cnmiRanges[i].contains(v))
            return {Final::Error};
        next[size_t(i)] = v;
    }
    const bool leavingBufferMode = m_settings.cnmi[0] == 0 && next[0] != 0;
    m_settings.cnmi = next;
    if (leavingBufferMode) {
        // 3GPP TS 27.005 3.4.1 <bfr> 0: the buffered indications follow the OK; 1 drops them.
        QList<QByteArray> buffered = std::exchange(m_cnmiBuffer, {});
        if (next[4] == 0)
            m_held.append(buffered);
    }
    return {Final::Ok};
}

EmulatedModem::Outcome EmulatedModem::storageCommand(const AtCommand &cmd)
{
    const QByteArray &n = cmd.name;
    const QList<QByteArray> args = splitArguments(cmd.args);
    SmsStorage &storage = readStorage();
    const QByteArray used = QByteArray::number(storage.count());
    const QByteArray cap = QByteArray::number(storage.capacity());
    int value = 0;
    if (n == "+CPMS") {
        const QByteArray counts = used + "," + cap;
        const QByteArray sm =
            QByteArray::number(m_storage.count()) + "," + QByteArray::number(m_storage.capacity());
        if (cmd.syntax == AtSyntax::Read) {
            info("+CPMS: \"" + m_readStorage + "\"," + counts + ",\"SM\"," + sm + ",\"SM\"," + sm);
        } else if (cmd.syntax == AtSyntax::Test) {
            info("+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")");
        } else if (cmd.syntax == AtSyntax::Set) {
            for (const QByteArray &a : args) {
                const QByteArray mem = unquote(a).toUpper();
                if (mem != "SM" && mem != "ME" && mem != "MT" && mem != "SR")
                    return {Final::CmsError, 302};
            }
            if (!args.isEmpty())
                m_readStorage = unquote(args[0]).toUpper() == "SR" &&
                                        m_profile.reportStorage == QLatin1String("SR")
                                    ? "SR"
                                    : "SM";
            SmsStorage &selected = readStorage();
            const QByteArray now = QByteArray::number(selected.count()) + "," +
                                   QByteArray::number(selected.capacity());
            info("+CPMS: " + now + "," + sm + "," + sm);
        } else {
            return {Final::Error};
        }
        return {Final::Ok};
    }
    if (m_settings.cmgf != 0 && cmd.syntax != AtSyntax::Test)
        return {Final::CmsError, 302};
    if (n == "+CMGL") {
        if (cmd.syntax == AtSyntax::Test) {
            info("+CMGL: (0-4)");
            return {Final::Ok};
        }
        int state = 0; // 3GPP TS 27.005 3.4.2: REC UNREAD when omitted
        if (cmd.syntax == AtSyntax::Set && (!parseNumber(cmd.args, &state) || state > 4))
            return {Final::CmsError, 302};
        if (cmd.syntax == AtSyntax::Read)
            return {Final::Error};
        QList<QByteArray> lines;
        for (const StoredMessage &m : storage.list(state, true)) {
            lines.append("+CMGL: " + QByteArray::number(m.index) + "," +
                         QByteArray::number(m.status) + ",," + QByteArray::number(m.tpduLength()));
            lines.append(m.pdu);
        }
        if (!lines.isEmpty())
            info(lines.join("\r\n"));
        return {Final::Ok};
    }
    if (n == "+CMGR") {
        if (cmd.syntax == AtSyntax::Test)
            return {Final::Ok};
        if (cmd.syntax != AtSyntax::Set || !parseNumber(cmd.args, &value))
            return {Final::Error};
        if (!storage.isValidIndex(value))
            return {Final::CmsError, 321}; // invalid memory index
        if (const auto m = storage.read(value, true))
            info("+CMGR: " + QByteArray::number(m->status) + ",," +
                 QByteArray::number(m->tpduLength()) + "\r\n" + m->pdu);
        return {Final::Ok}; // an empty slot lists nothing
    }
    // +CMGD
    if (cmd.syntax == AtSyntax::Test) {
        info("+CMGD: (1-" + cap + ")" + (m_profile.deleteFlagSupported ? ",(0-4)" : ""));
        return {Final::Ok};
    }
    if (cmd.syntax != AtSyntax::Set || args.isEmpty() || args.size() > 2 ||
        !parseNumber(args[0], &value))
        return {Final::Error};
    int flag = 0;
    if (args.size() == 2) {
        if (!m_profile.deleteFlagSupported || !parseNumber(args[1], &flag) || flag > 4)
            return {Final::Error};
    }
    if (flag > 0) {
        storage.removeByFlag(flag);
        return {Final::Ok};
    }
    if (!storage.isValidIndex(value))
        return {Final::CmsError, 321};
    storage.remove(value);
    return {Final::Ok};
}

EmulatedModem::Outcome EmulatedModem::callCommand(const AtCommand &cmd)
{
    const QByteArray &n = cmd.name;
    CallSwitch *calls = m_network->calls();
    if (n == "D") {
        QByteArray dial = cmd.args;
        if (!dial.endsWith(';'))
            return {Final::NoCarrier}; // data calls are not emulated
        dial.chop(1);
        QString number;
        for (char c : dial)
            if ((c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#')
                number.append(QLatin1Char(c));
        if (number.isEmpty())
            return {Final::Error};
        const QByteArray result = calls->dial(this, number);
        if (result == "OK")
            return {Final::Ok};
        if (result == "BUSY")
            return {Final::Busy};
        if (result == "NO ANSWER")
            return {Final::NoAnswer};
        if (result == "NO CARRIER")
            return {Final::NoCarrier};
        return {Final::Error};
    }
    if (n == "A")
        return calls->answer(this) ? Outcome{Final::Ok} : Outcome{Final::NoCarrier};
    if (n == "H" || n == "+CHUP") {
        calls->hangUp(this);
        return {Final::Ok};
    }
    if (n == "+CLCC") {
        if (cmd.syntax != AtSyntax::Action)
            return {cmd.syntax == AtSyntax::Test ? Final::Ok : Final::Error};
        // 3GPP TS 27.007 7.18: id, dir, stat, mode (0 voice), mpty, number, type
        for (const CallInfo &c : calls->callsOf(this))
            info("+CLCC: " + QByteArray::number(c.index) + "," + QByteArray::number(c.direction) +
                 "," + QByteArray::number(c.state) + ",0,0," + quoted(c.number.toLatin1()) + "," +
                 QByteArray::number(numberType(c.number)));
        return {Final::Ok};
    }
    if (n == "+VTS") {
        if (cmd.syntax == AtSyntax::Test) {
            info("+VTS: (0-9,#,*,A-D)");
            return {Final::Ok};
        }
        const QByteArray key = unquote(cmd.args);
        static const QByteArray keys = "0123456789*#ABCDabcd";
        if (cmd.syntax != AtSyntax::Set || key.size() != 1 || !keys.contains(key[0]) ||
            !calls->inCall(this))
            return {Final::Error};
        m_log->add(m_com, LogEntry::Kind::Event, "DTMF " + key);
        return {Final::Ok};
    }
    // +CLIP
    int value = 0;
    if (cmd.syntax == AtSyntax::Set && parseNumber(cmd.args, &value) && value <= 1)
        m_settings.clip = value == 1;
    else if (cmd.syntax == AtSyntax::Read)
        info("+CLIP: " + QByteArray::number(m_settings.clip ? 1 : 0) + ",1");
    else if (cmd.syntax == AtSyntax::Test)
        info("+CLIP: (0,1)");
    else
        return {Final::Error};
    return {Final::Ok};
}

EmulatedModem::Outcome EmulatedModem::infoCommand(const AtCommand &cmd)
{
    const QByteArray &n = cmd.name;
    if (cmd.syntax == AtSyntax::Test && n != "+CSCS")
        return {Final::Ok};
    if (n == "+CGMM" || n == "+GMM" || n == "I")
        info(m_profile.model.toUtf8());
    else if (n == "+CGMI" || n == "+GMI")
        info(m_profile.manufacturer.toUtf8());
    else if (n == "+CGMR" || n == "+GMR")
        info(m_profile.revision.toUtf8());
    else if (n == "+CGSN" || n == "+GSN")
        info(m_profile.imei.toLatin1());
    else if (n == "+CIMI")
        info("46000" + QByteArray::number(1000000000LL + m_com));
    else if (n == "+CSQ")
        info("+CSQ: 24,99");
    else if (n == "+CREG" && cmd.syntax == AtSyntax::Read)
        info("+CREG: 0,1");
    else if (n == "+CSCS") {
        if (cmd.syntax == AtSyntax::Test) {
            info("+CSCS: (\"GSM\",\"IRA\",\"UCS2\",\"8859-1\")");
        } else if (cmd.syntax == AtSyntax::Read) {
            info("+CSCS: " + quoted(m_settings.cscs));
        } else if (cmd.syntax == AtSyntax::Set) {
            const QByteArray set = unquote(cmd.args).toUpper();
            if (set != "GSM" && set != "IRA" && set != "UCS2" && set != "8859-1")
                return {Final::Error};
            m_settings.cscs = set;
        } else {
            return {Final::Error};
        }
    } else if (n != "+CMEE" && n != "+CREG") {
        return {Final::Error};
    }
    return {Final::Ok};
}

EmulatedModem::Outcome EmulatedModem::simCommand(const AtCommand &cmd)
{
    // 3GPP TS 27.007 9.2: 3 not allowed, 10 SIM not inserted, 16 incorrect password
    if (cmd.syntax == AtSyntax::Test)
        return {Final::Ok};
    if (m_simState.isEmpty())
        return {Final::CmeError, 10};
    if (cmd.syntax == AtSyntax::Read) {
        info("+CPIN: " + m_simState.toLatin1());
        return {Final::Ok};
    }
    if (cmd.syntax != AtSyntax::Set || m_simState != QLatin1String("SIM PIN"))
        return {Final::CmeError, m_simState == QLatin1String("SIM PUK") ? 16 : 3};
    if (unquote(cmd.args) == m_profile.simPin.toLatin1()) {
        m_simState = QStringLiteral("READY");
        return {Final::Ok};
    }
    if (--m_pinAttempts <= 0)
        m_simState = QStringLiteral("SIM PUK");
    return {Final::CmeError, 16};
}

EmulatedModem::Outcome EmulatedModem::phonebookCommand(const AtCommand &cmd)
{
    if (cmd.name == "+CPBS") {
        if (cmd.syntax == AtSyntax::Test) {
            QList<QByteArray> names;
            for (const QString &k : m_profile.phonebooks.keys())
                names.append(quoted(k.toLatin1()));
            info("+CPBS: (" + names.join(',') + ")");
        } else if (cmd.syntax == AtSyntax::Read) {
            info(
                "+CPBS: " + quoted(m_cpbs) + "," +
                QByteArray::number(m_profile.phonebooks.value(QString::fromLatin1(m_cpbs)).size()) +
                "," + QByteArray::number(m_profile.phonebookCapacity));
        } else if (cmd.syntax == AtSyntax::Set) {
            const QByteArray book = unquote(cmd.args).toUpper();
            if (!m_profile.phonebooks.contains(QString::fromLatin1(book)))
                return {Final::Error};
            m_cpbs = book;
        } else {
            return {Final::Error};
        }
        return {Final::Ok};
    }
    // +CPBR
    if (cmd.syntax == AtSyntax::Test) {
        info("+CPBR: (1-" + QByteArray::number(m_profile.phonebookCapacity) + "),40,14");
        return {Final::Ok};
    }
    const QList<QByteArray> args = splitArguments(cmd.args);
    int first = 0;
    int last = 0;
    if (cmd.syntax != AtSyntax::Set || args.size() > 2 || !parseNumber(args[0], &first))
        return {Final::Error};
    last = first;
    if (args.size() == 2 && !parseNumber(args[1], &last))
        return {Final::Error};
    if (first < 1 || last < first || last > m_profile.phonebookCapacity)
        return {Final::CmeError, 21}; // invalid index
    const QList<PhonebookEntry> book = m_profile.phonebooks.value(QString::fromLatin1(m_cpbs));
    for (int i = first; i <= last && i <= book.size(); ++i) {
        const PhonebookEntry &e = book[i - 1];
        // 3GPP TS 27.007 5.5: names in the TE character set; UCS2 is hex of UTF-16 units.
        QByteArray name;
        if (m_settings.cscs == "UCS2") {
            for (QChar ch : e.name)
                name += QByteArray::number(ch.unicode(), 16).rightJustified(4, '0').toUpper();
        } else {
            name = e.name.toUtf8();
        }
        info("+CPBR: " + QByteArray::number(i) + "," + quoted(e.number.toLatin1()) + "," +
             QByteArray::number(numberType(e.number)) + "," + quoted(name));
    }
    return {Final::Ok};
}

} // namespace lonvera::emulator
