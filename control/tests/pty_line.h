// A raw pseudo-terminal standing in for a modem line, for tests that need byte-exact control of
// what arrives and when: the test writes the modem's bytes and sees every command the control
// wrote. The slave is linked as <prefix>/dosdevices/comN. Lives on the test thread.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

class PtyLine : public QObject
{
    Q_OBJECT
public:
    /// Creates the pair and links it as "COMn" under $LONVERA_PREFIX.
    explicit PtyLine(int com, QObject *parent = nullptr);
    ~PtyLine() override;

    bool isValid() const { return m_master >= 0; }
    /// Bytes towards the control, as a modem would send them.
    void write(const QByteArray &bytes);
    /// Sends bytes after ms milliseconds (the test keeps running its event loop meanwhile).
    void writeLater(const QByteArray &bytes, int ms);
    /// Everything the control wrote so far.
    QByteArray written() const { return m_written; }
    void clearWritten() { m_written.clear(); }
    /// Called for each complete command line (CR-terminated, without CR/LF) the control writes.
    std::function<void(const QByteArray &)> onCommand;
    /// Pulls the plug: the master side goes away.
    void unplug();

private:
    void onReadable();

    int m_com;
    int m_master = -1;
    int m_slave = -1;
    QString m_link;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_written;
    QByteArray m_pending;
};
