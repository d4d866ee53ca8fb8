// The AT command state machine of an emulated modem: line assembly, echo, replies with the
// profile's quirks, held indications and the ">" prompt. The commands themselves are in
// modem_commands.cpp.
#include "emulated_modem.h"

#include "emulator_log.h"
#include "network.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTimer>

namespace lonvera::emulator {

namespace {
constexpr char kCtrlZ = 0x1A;
constexpr char kEsc = 0x1B;
// Longer command lines are refused, as a modem's line buffer overflows.
constexpr qsizetype kMaxLine = 1024;
// A PDU is at most 176 octets with its centre part (3GPP TS 27.005 3.5.1, TS 23.040 9.2.2.2).
constexpr qsizetype kMaxPduHex = 2 * 200;
} // namespace

EmulatedModem::EmulatedModem(int com, const ModemProfile &profile, Network *network,
                             EmulatorLog *log, QObject *parent)
    : QObject(parent), m_com(com), m_network(network), m_log(log)
{
    setProfile(profile);
    for (const PresetMessage &m : m_profile.stored)
        m_storage.store(m.status, m.pdu.toUpper());
    m_replyTimer = new QTimer(this);
    m_replyTimer->setSingleShot(true);
    // A coarse timer may fire 5% early or late: a 3 s network would vary by 150 ms per message.
    m_replyTimer->setTimerType(Qt::PreciseTimer);
    connect(m_replyTimer, &QTimer::timeout, this, [this] {
        auto pending = std::move(m_pendingReply);
        m_pendingReply = nullptr;
        if (pending)
            pending();
    });
    // First power-on: the profile decides; later power-ons restore what AT&W stored.
    m_saved.echo = m_profile.echo;
    const QList<QByteArray> init = m_profile.initialCnmi.toLatin1().split(',');
    for (int i = 0; i < 5; ++i)
        m_saved.cnmi[size_t(i)] = i < init.size() ? init[i].trimmed().toInt() : 0;
    powerOn();
}

EmulatedModem::~EmulatedModem() = default;

void EmulatedModem::setProfile(const ModemProfile &profile)
{
    // A SIM keeps what was entered into it unless the profile names another state.
    if (m_simState.isNull() || profile.simState != m_profile.simState) {
        m_simState = profile.simState.isNull() ? QStringLiteral("") : profile.simState;
        m_pinAttempts = 3;
    }
    m_profile = profile;
    if (!parseCnmiRanges(m_profile.cnmiRanges, &m_cnmiRanges))
        m_cnmiRanges.clear();
    m_storage.setCapacity(m_profile.capacity);
    m_reportStorage.setCapacity(m_profile.capacity);
}

void EmulatedModem::powerOn()
{
    m_settings = m_saved;
    m_mode = Mode::Command;
    m_input.clear();
    m_line.clear();
    m_lineOverflow = false;
    m_afterCr = false;
    m_busy = false;
    m_pendingReply = nullptr;
    if (m_replyTimer)
        m_replyTimer->stop();
    m_held.clear();
    m_heldForNext.clear();
    m_cnmiBuffer.clear();
}

bool EmulatedModem::canTalk() const
{
    if (m_profile.silent)
        return false;
    const int mode = m_handshake ? m_handshake() : 0;
    return m_profile.answeredHandshakes.contains(mode);
}

void EmulatedModem::send(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !canTalk())
        return;
    m_log->add(m_com, LogEntry::Kind::Sent, bytes);
    emit output(bytes);
}

void EmulatedModem::writeRaw(const QByteArray &bytes)
{
    send(bytes);
}

void EmulatedModem::receive(const QByteArray &bytes)
{
    m_log->add(m_com, LogEntry::Kind::Received, bytes);
    if (m_profile.silent)
        return;
    if (m_input.size() < 1 << 20)
        m_input.append(bytes);
    processInput();
}

void EmulatedModem::processInput()
{
    while (!m_busy && !m_input.isEmpty()) {
        if (m_mode == Mode::PduEntry) {
            qsizetype i = 0;
            for (; i < m_input.size(); ++i) {
                const char c = m_input[i];
                if (c == kCtrlZ || c == kEsc)
                    break;
                if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
                    continue;
                const bool hex =
                    (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
                if (!hex || m_pdu.size() >= kMaxPduHex)
                    m_pduBad = true;
                else
                    m_pdu.append(c);
            }
            if (m_settings.echo)
                send(m_input.left(i));
            if (i == m_input.size()) {
                m_input.clear();
                return;
            }
            const bool cancelled = m_input[i] == kEsc;
            m_input.remove(0, i + 1);
            finishPdu(cancelled);
            continue;
        }

        // Command state: collect up to the carriage return.
        qsizetype i = 0;
        if (m_afterCr && m_input.front() == '\n') {
            m_input.remove(0, 1);
            m_afterCr = false;
            continue;
        }
        m_afterCr = false;
        while (i < m_input.size() && m_input[i] != '\r' && m_input[i] != kCtrlZ)
            ++i;
        const QByteArray chunk = m_input.left(i);
        if (m_line.size() + chunk.size() > kMaxLine)
            m_lineOverflow = true;
        else
            m_line.append(chunk);
        if (i == m_input.size()) {
            if (m_settings.echo)
                send(chunk);
            m_input.clear();
            return;
        }
        const char terminator = m_input[i];
        if (m_settings.echo)
            send(m_input.left(i + 1));
        m_input.remove(0, i + 1);
        QByteArray line = std::exchange(m_line, QByteArray());
        const bool overflow = std::exchange(m_lineOverflow, false);
        if (terminator == kCtrlZ) {
            // A Ctrl-Z with no ">" prompt open: nothing to send.
            m_log->add(m_com, LogEntry::Kind::Command, line + "^Z");
            reply({}, {Final::Error}, 0);
            continue;
        }
        m_afterCr = true;
        if (overflow) {
            m_log->add(m_com, LogEntry::Kind::Command, line.left(64) + "...");
            reply({}, {Final::Error}, 0);
            continue;
        }
        executeLine(line);
    }
}

void EmulatedModem::executeLine(const QByteArray &rawLine)
{
    // Noise before the command (line feeds, NULs from a port being opened) is passed over, as a
    // modem hunting for "AT" does.
    qsizetype start = 0;
    while (start < rawLine.size() && (uchar(rawLine[start]) <= ' '))
        ++start;
    const QByteArray line = rawLine.mid(start);
    m_log->add(m_com, LogEntry::Kind::Command, line);
    if (line.isEmpty())
        return; // an empty line gets no answer
    const AtCommandLine parsed = parseCommandLine(line);
    if (!parsed.valid) {
        reply({}, {Final::Error}, m_profile.replyDelayMs);
        return;
    }
    m_info.clear();
    int delay = m_profile.replyDelayMs;
    Outcome outcome{Final::Ok};
    for (const AtCommand &cmd : parsed.commands)
        delay += m_profile.commandDelayMs.value(cmd.name, 0);
    m_lineDelay = delay;
    for (const AtCommand &cmd : parsed.commands) {
        outcome = dispatch(cmd);
        if (outcome.final != Final::Ok)
            break;
    }
    if (outcome.final == Final::None)
        return; // the command answers by itself (prompt, delayed send)
    reply(std::exchange(m_info, QByteArray()), outcome, delay);
}

EmulatedModem::Outcome EmulatedModem::dispatch(const AtCommand &cmd)
{
    const QByteArray &n = cmd.name;
    if (m_profile.refusedCommands.contains(n))
        return {Final::Refused};
    if (n == "+CPIN")
        return simCommand(cmd);
    if (m_simState != QLatin1String("READY") && cmd.syntax != AtSyntax::Test &&
        (n == "+CMGS" || n == "+CSCA" || n == "+CMGL" || n == "+CMGR" || n == "+CMGD" ||
         n == "+CPMS"))
        // 3GPP TS 27.005 3.2.5: 310 SIM not inserted, 311 SIM PIN required, 316 SIM PUK required
        return {Final::CmsError, m_simState.isEmpty()                     ? 310
                                 : m_simState == QLatin1String("SIM PIN") ? 311
                                                                          : 316};
    if (n == "+CMGS" || n == "+CMGF" || n == "+CNMI" || n == "+CSCA" || n == "+CSMS" ||
        n == "+CMGL" || n == "+CMGR" || n == "+CMGD" || n == "+CPMS")
        return n == "+CMGS" || n == "+CMGF" || n == "+CNMI" || n == "+CSCA" || n == "+CSMS"
                   ? messageCommand(cmd)
                   : storageCommand(cmd);
    if (n == "D" || n == "A" || n == "H" || n == "+CLCC" || n == "+VTS" || n == "+CLIP" ||
        n == "+CHUP")
        return callCommand(cmd);
    if (n == "+CGMM" || n == "+CGMI" || n == "+CGMR" || n == "+CGSN" || n == "+GMM" ||
        n == "+GMI" || n == "+GMR" || n == "+GSN" || n == "I" || n == "+CSQ" || n == "+CREG" ||
        n == "+CIMI" || n == "+CMEE" || n == "+CSCS")
        return infoCommand(cmd);
    if (n == "+CPBS" || n == "+CPBR")
        return phonebookCommand(cmd);
    return basicCommand(cmd);
}

void EmulatedModem::info(const QByteArray &line)
{
    m_info += "\r\n" + line + "\r\n";
}

QByteArray EmulatedModem::finalText(Outcome outcome) const
{
    QByteArray word;
    switch (outcome.final) {
    case Final::Ok:
        word = m_profile.lowerCaseResults ? "ok" : "OK";
        break;
    case Final::Error:
        word = m_profile.lowerCaseResults ? "error" : "ERROR";
        break;
    case Final::CmsError:
        word = "+CMS ERROR: " + QByteArray::number(outcome.code);
        break;
    case Final::CmeError:
        word = "+CME ERROR: " + QByteArray::number(outcome.code);
        break;
    case Final::NoCarrier:
        word = "NO CARRIER";
        break;
    case Final::Busy:
        word = "BUSY";
        break;
    case Final::NoAnswer:
        word = "NO ANSWER";
        break;
    case Final::Refused:
        word = m_profile.refusalText.toLatin1();
        break;
    case Final::None:
        return {};
    }
    return "\r\n" + word + "\r\n";
}

void EmulatedModem::reply(const QByteArray &info, Outcome outcome, int delayMs,
                          std::function<void()> then)
{
    const QByteArray final = finalText(outcome);
    const QByteArray text = info + final;
    const qsizetype finalAt = final.isEmpty() ? -1 : info.size() + 2; // first letter of the word
    if (delayMs <= 0) {
        writeReply(text, finalAt, std::move(then));
        return;
    }
    m_busy = true;
    m_pendingReply = [this, text, finalAt, then = std::move(then)]() mutable {
        writeReply(text, finalAt, std::move(then));
    };
    m_replyTimer->start(delayMs);
}

void EmulatedModem::writeReply(const QByteArray &text, qsizetype finalAt,
                               std::function<void()> then)
{
    const qsizetype lineEnd = text.indexOf('\n', text.startsWith("\r\n") ? 2 : 0);
    if (m_profile.lineGapMs > 0 && lineEnd >= 0 && lineEnd + 1 < text.size()) {
        // Line by line, as a slow phone hands its answer over.
        send(text.left(lineEnd + 1));
        m_busy = true;
        const qsizetype cut = lineEnd + 1;
        m_pendingReply = [this, rest = text.mid(cut), finalAt = finalAt < 0 ? -1 : finalAt - cut,
                          then = std::move(then)]() mutable {
            writeReply(rest, finalAt, std::move(then));
        };
        m_replyTimer->start(m_profile.lineGapMs);
        return;
    }
    if (m_profile.fragmentGapMs > 0 && finalAt >= 0 && finalAt + 1 < text.size()) {
        // The final word is cut after its first letter ("O", later "K").
        send(text.left(finalAt + 1));
        m_busy = true;
        m_pendingReply = [this, rest = text.mid(finalAt + 1), then = std::move(then)]() mutable {
            send(rest);
            replyDone(std::move(then));
        };
        m_replyTimer->start(m_profile.fragmentGapMs);
        return;
    }
    send(text);
    replyDone(std::move(then));
}

// Takes the callback by value on purpose: it is moved out of the pending reply, which the
// callback itself may replace while it runs.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void EmulatedModem::replyDone(std::function<void()> then)
{
    m_busy = false;
    if (then)
        then();
    flushHeld(true);
    processInput();
}

bool EmulatedModem::holdsIndications() const
{
    return m_busy || m_mode == Mode::PduEntry;
}

void EmulatedModem::notify(const QByteArray &text, bool holdForNextResult)
{
    m_log->add(m_com, LogEntry::Kind::Event, "indication " + text.left(40));
    if (holdForNextResult) {
        m_heldForNext.append(text);
        return;
    }
    // 3GPP TS 27.005 3.4.1 <mode> 0: indications stay in the modem until the mode changes.
    const bool messageIndication = text.startsWith("+CMT") || text.startsWith("+CDS");
    if (messageIndication && m_settings.cnmi[0] == 0) {
        if (m_cnmiBuffer.size() < 64)
            m_cnmiBuffer.append(text);
        return;
    }
    if (holdsIndications()) {
        m_held.append(text);
        return;
    }
    send("\r\n" + text + "\r\n");
}

void EmulatedModem::flushHeld(bool afterResult)
{
    QList<QByteArray> glued = std::exchange(m_heldForNext, {});
    QList<QByteArray> held = std::exchange(m_held, {});
    for (const QByteArray &t : glued)
        send(t + "\r\n"); // right after the final result's CR LF
    for (const QByteArray &t : held) {
        if (afterResult && m_profile.glueNotifications)
            send(t + "\r\n");
        else
            send("\r\n" + t + "\r\n");
    }
}

void EmulatedModem::finishPdu(bool cancelled)
{
    m_mode = Mode::Command;
    m_afterCr = false;
    const QByteArray hex = std::exchange(m_pdu, QByteArray()).toUpper();
    const bool bad = std::exchange(m_pduBad, false);
    if (cancelled) {
        // 3GPP TS 27.005 3.5.1: ESC quits without sending.
        m_log->add(m_com, LogEntry::Kind::Command, hex + "<ESC>");
        reply({}, {Final::Ok}, 0);
        return;
    }
    m_log->add(m_com, LogEntry::Kind::Command, hex + "^Z");
    ++m_sendCount;

    SentMessage sent;
    sent.com = m_com;
    sent.pdu = hex;
    sent.length = m_pduLength;
    sent.timeMs = QDateTime::currentMSecsSinceEpoch();

    const Submission submission = Network::readSubmission(hex, m_pduLength, bad);
    sent.destination = submission.destination;
    Outcome refusal{Final::Ok};
    if (!submission.error.isEmpty() ||
        (m_profile.rejectExplicitCentre && submission.hasExplicitCentre))
        refusal = {Final::CmsError, 304}; // invalid PDU mode parameter
    else if (m_profile.cmsErrorOnSend == m_sendCount ||
             (submission.pdu && submission.pdu->submit() &&
              submission.pdu->submit()->userData.concatenation &&
              m_profile.refusedParts.contains(
                  submission.pdu->submit()->userData.concatenation->sequence)))
        refusal = {Final::CmsError, m_profile.cmsErrorCode};
    else if (m_profile.unknownNumberCmsError > 0 && !m_network->knowsNumber(submission.destination))
        refusal = {Final::CmsError, m_profile.unknownNumberCmsError};

    if (refusal.final != Final::Ok) {
        sent.error = finalText(refusal).trimmed();
        m_log->addSent(sent);
        reply({}, refusal, m_profile.replyDelayMs);
        return;
    }
    const int reference = m_nextReference;
    m_nextReference = (m_nextReference + 1) & 0xFF;
    sent.reference = reference;
    m_log->addSent(sent);
    const QByteArray info = "\r\n+CMGS: " + QByteArray::number(reference) + "\r\n";
    // The network sees the message when the modem reports it sent.
    int networkDelay = m_profile.networkDelayMs;
    if (m_profile.networkDelayMaxMs > networkDelay)
        networkDelay =
            QRandomGenerator::global()->bounded(networkDelay, m_profile.networkDelayMaxMs + 1);
    reply(info, {Final::Ok}, m_profile.replyDelayMs + networkDelay,
          [this, submission, reference] { m_network->submit(this, submission, reference); });
}

bool EmulatedModem::deliverMessage(const QByteArray &pduHex)
{
    const int mt = m_settings.cnmi[1];
    if (mt == 2) {
        // 3GPP TS 27.005 3.4.1 <mt> 2: routed directly, not stored.
        notify("+CMT: ," + QByteArray::number(StoredMessage{0, 0, pduHex}.tpduLength()) + "\r\n" +
               pduHex);
        return true;
    }
    const int index = m_storage.store(0, pduHex);
    if (index < 0) {
        m_log->add(m_com, LogEntry::Kind::Event, "storage full, message refused");
        return false;
    }
    if (mt == 1 || mt == 3)
        notify("+CMTI: \"SM\"," + QByteArray::number(index));
    return true;
}

void EmulatedModem::deliverStatusReport(const QByteArray &pduHex)
{
    int route = m_settings.cnmi[3];
    if (m_profile.reportRoute == ModemProfile::ReportRoute::Direct)
        route = 1;
    else if (m_profile.reportRoute == ModemProfile::ReportRoute::Stored)
        route = 2;
    if (route == 1) {
        notify("+CDS: " + QByteArray::number(StoredMessage{0, 0, pduHex}.tpduLength()) + "\r\n" +
               pduHex);
    } else if (route == 2) {
        const bool apart = m_profile.reportStorage == QLatin1String("SR");
        const int index = (apart ? m_reportStorage : m_storage).store(0, pduHex);
        if (index > 0)
            notify(QByteArray(apart ? "+CDSI: \"SR\"," : "+CDSI: \"SM\",") +
                   QByteArray::number(index));
        else
            m_log->add(m_com, LogEntry::Kind::Event, "storage full, status report lost");
    } else {
        m_log->add(m_com, LogEntry::Kind::Event, "status report not routed (+CNMI <ds> 0)");
    }
}

} // namespace lonvera::emulator
