// The Emulator facade: carries calls to the thread the modems live on.
#include "emulator.h"

#include "call_switch.h"
#include "emulated_modem.h"
#include "emulator_core.h"
#include "network.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace lonvera::emulator {

Emulator::Emulator() : m_core(new EmulatorCore(&m_log)) {}

Emulator::~Emulator()
{
    call([this] { m_core->stop(); });
    if (m_thread) {
        // Deleted on its own thread, where its notifiers live.
        QMetaObject::invokeMethod(
            m_core, [core = m_core] { delete core; }, Qt::BlockingQueuedConnection);
        m_thread->quit();
        m_thread->wait();
    } else {
        delete m_core;
    }
}

template<typename F> auto Emulator::call(F &&f) const -> std::invoke_result_t<F>
{
    using R = std::invoke_result_t<F>;
    if (!m_thread || QThread::currentThread() == m_thread.get())
        return f();
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(m_core, std::forward<F>(f), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(m_core, std::forward<F>(f), Qt::BlockingQueuedConnection,
                                  &result);
        return result;
    }
}

void Emulator::startInThread()
{
    if (m_thread)
        return;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("modem-emulator"));
    m_core->moveToThread(m_thread.get());
    m_thread->start();
}

bool Emulator::start(const EmulatorOptions &options, QString *error)
{
    QString why;
    const bool ok = call([&] {
        return m_core->start(options.prefix, options.modems, options.firstCom, options.profiles,
                             &why);
    });
    if (error)
        *error = why;
    return ok;
}

void Emulator::stop()
{
    call([this] { m_core->stop(); });
}

QList<int> Emulator::comNumbers() const
{
    return call([this] { return m_core->comNumbers(); });
}

QString Emulator::devicePath(int com) const
{
    return call([=, this] { return m_core->devicePath(com); });
}

QString Emulator::linkPath(int com) const
{
    return call([=, this] { return m_core->linkPath(com); });
}

QString Emulator::dsrPath(int com) const
{
    return call([=, this] { return m_core->dsrPath(com); });
}

QString Emulator::number(int com) const
{
    return call([=, this] {
        const EmulatedModem *m = m_core->modem(com);
        return m ? m->number() : QString();
    });
}

bool Emulator::isAttached(int com) const
{
    return call([=, this] { return m_core->isAttached(com); });
}

ModemProfile Emulator::profile(int com) const
{
    return call([=, this] {
        const EmulatedModem *m = m_core->modem(com);
        return m ? m->profile() : ModemProfile{};
    });
}

void Emulator::setProfile(int com, const ModemProfile &profile)
{
    call([&, this] { m_core->setProfile(com, profile); });
}

void Emulator::updateProfile(int com, const std::function<void(ModemProfile &)> &change)
{
    call([&, this] {
        if (const EmulatedModem *m = m_core->modem(com)) {
            ModemProfile p = m->profile();
            change(p);
            m_core->setProfile(com, p);
        }
    });
}

void Emulator::setDsr(int com, bool up)
{
    call([=, this] { m_core->setDsr(com, up); });
}

bool Emulator::holdOutput(int com, bool held)
{
    return call([=, this] { return m_core->holdOutput(com, held); });
}

int Emulator::storeMessage(int com, int status, const QByteArray &pduHex)
{
    return call([&, this] {
        EmulatedModem *m = m_core->modem(com);
        return m ? m->storage().store(status, pduHex.toUpper()) : -1;
    });
}

bool Emulator::deliverText(int com, const QString &fromNumber, const QString &text)
{
    return call([&, this] {
        EmulatedModem *m = m_core->modem(com);
        if (!m)
            return false;
        return m->deliverMessage(Network::deliverTextPdu(
            QString(fromNumber).remove(QLatin1Char('+')), text, m->profile().centre));
    });
}

QList<StoredMessage> Emulator::storedMessages(int com) const
{
    return call([=, this] {
        EmulatedModem *m = m_core->modem(com);
        return m ? m->storage().all() : QList<StoredMessage>{};
    });
}

void Emulator::clearStorage(int com)
{
    call([=, this] {
        if (EmulatedModem *m = m_core->modem(com))
            m->storage().clear();
    });
}

void Emulator::inject(int com, const QByteArray &bytes)
{
    call([&, this] {
        if (EmulatedModem *m = m_core->modem(com))
            m->writeRaw(bytes);
    });
}

void Emulator::injectNotification(int com, const QByteArray &line, bool holdForNextResult)
{
    call([&, this] {
        if (EmulatedModem *m = m_core->modem(com))
            m->notify(line, holdForNextResult);
    });
}

void Emulator::injectCmti(int com, int index)
{
    injectNotification(com, "+CMTI: \"SM\"," + QByteArray::number(index));
}

void Emulator::injectCds(int com, const QByteArray &pduHex)
{
    injectNotification(com,
                       "+CDS: " + QByteArray::number(StoredMessage{0, 0, pduHex}.tpduLength()) +
                           "\r\n" + pduHex);
}

void Emulator::injectCdsi(int com, int index)
{
    injectNotification(com, "+CDSI: \"SM\"," + QByteArray::number(index));
}

void Emulator::deliverReport(int com, const QByteArray &pduHex)
{
    call([&, this] {
        if (EmulatedModem *m = m_core->modem(com))
            m->deliverStatusReport(pduHex.toUpper());
    });
}

void Emulator::injectRing(int com)
{
    injectNotification(com, "RING");
}

void Emulator::ringFrom(int com, const QString &callerNumber)
{
    call([&, this] {
        if (EmulatedModem *m = m_core->modem(com))
            m_core->network()->calls()->ringFromOutside(m, callerNumber);
    });
}

void Emulator::unplug(int com)
{
    call([=, this] { m_core->unplug(com); });
}

bool Emulator::replug(int com, QString *error)
{
    QString why;
    const bool ok = call([&, this] { return m_core->replug(com, &why); });
    if (error)
        *error = why;
    return ok;
}

bool Emulator::waitFor(const std::function<bool()> &condition, int timeoutMs) const
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer tick;
    auto check = [&] {
        if (condition())
            loop.quit();
    };
    QObject::connect(&tick, &QTimer::timeout, &loop, check);
    QObject::connect(&m_log, &EmulatorLog::changed, &loop, check);
    deadline.start(timeoutMs);
    tick.start(20);
    loop.exec();
    return condition();
}

bool Emulator::waitForCommand(int com, const QByteArray &command, int timeoutMs) const
{
    return waitFor(
        [&] {
            for (const QByteArray &c : m_log.commands(com))
                if (c.compare(command, Qt::CaseInsensitive) == 0)
                    return true;
            return false;
        },
        timeoutMs);
}

bool Emulator::waitForSentMessages(int com, int count, int timeoutMs) const
{
    return waitFor([&] { return m_log.sentMessages(com).size() >= count; }, timeoutMs);
}

} // namespace lonvera::emulator
