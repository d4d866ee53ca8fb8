// The modem control: one Tarvex drives one GSM modem over one serial port with AT commands and
// SMS PDUs. This facade carries the system's own names (properties, methods, events) so a host
// binds to it by those names; the work is done by the port, exchange and modem layers behind it.
//
// Thread rule: a Tarvex lives on the thread that created it (its worker's thread) and is touched
// only there; no locks. Every wait inside an operation runs that thread's event loop, so port data,
// timer ticks and calls from the host are served in the middle of a command. Isbusy is the guard
// against re-entrant operations, as hosts of this control expect.
#pragma once

#include "control/connect_failure.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

#if defined(QUILLON308_LIBRARY)
#define QUILLON308_EXPORT Q_DECL_EXPORT
#else
#define QUILLON308_EXPORT Q_DECL_IMPORT
#endif

namespace lonvera::control {

class TarvexPrivate;

class QUILLON308_EXPORT Tarvex : public QObject
{
    Q_OBJECT
    Q_PROPERTY(qint16 CommPort READ CommPort WRITE setCommPort)
    Q_PROPERTY(QString Settings READ Settings WRITE setSettings)
    Q_PROPERTY(bool Isbusy READ Isbusy WRITE setIsbusy NOTIFY OnStatusChange)
    Q_PROPERTY(QVariant errmsg READ errmsg WRITE seterrmsg)
    Q_PROPERTY(qint32 RevInterval READ RevInterval WRITE setRevInterval)
    Q_PROPERTY(bool ReadAndDel READ ReadAndDel WRITE setReadAndDel)
    Q_PROPERTY(QString SmsService READ SmsService WRITE setSmsService)
    Q_PROPERTY(QString CopyRight READ CopyRight WRITE setCopyRight)

public:
    /// Creates the control with its built-in values and reads the reply-log switch file.
    explicit Tarvex(QObject *parent = nullptr);
    ~Tarvex() override;

    // --- Properties -----------------------------------------------------------------------

    /// The serial port number n ("COMn").
    qint16 CommPort() const;
    /// Closes an open port, then sets the number; a failure sets errmsg and PortSetFailed.
    void setCommPort(qint16 port);

    /// The port settings text, such as "9600,n,8,1" (speed, parity, data bits, stop bits).
    QString Settings() const;
    /// Sets the port settings; returns false (and leaves the old value) when the text is invalid.
    bool setSettings(const QString &settings);

    /// True while an operation of the control owns the port.
    bool Isbusy() const;
    /// True while an operation (the host's or the control's own) owns the port: a port
    /// operation called now answers at once with its refusal ("B", "n", "", false).
    bool portInUse() const;
    /// Stores the flag and raises OnStatusChange, also when the value does not change.
    void setIsbusy(bool busy);

    /// The last failure text (the number 0 before any failure).
    QVariant errmsg() const;
    void seterrmsg(const QVariant &value);

    /// Interval of the polling timer in milliseconds; values below 1 are refused with false.
    qint32 RevInterval() const;
    bool setRevInterval(qint32 milliseconds);

    /// Delete messages after every successful ReadMsg.
    bool ReadAndDel() const;
    void setReadAndDel(bool on);

    /// The service-centre number used when sending.
    QString SmsService() const;
    void setSmsService(const QString &number);

    /// A free banner text; no effect on behaviour.
    QString CopyRight() const;
    void setCopyRight(const QString &text);

    // --- Connect, set-up and close -------------------------------------------------------

    /// Opens the port, probes the handshaking, switches to PDU mode, turns notifications on;
    /// "y", a failure text (also in errmsg), or "n" when setting CommPort had failed.
    Q_INVOKABLE QString Connect(qint16 WaitTime);
    /// Why the last Connect failed (None after a success): a modem that did not answer, or a
    /// reason its failure text names (the port, the SIM).
    ConnectFailure lastConnectFailure() const;
    /// True if the modem answers "at+cmgf=?" or an operation is running; false if closed or silent.
    Q_INVOKABLE bool Link();
    /// Turns new-message notifications on: "y", or the polling interval as " 30000".
    Q_INVOKABLE QString RevAuto();
    /// Turns new-message notifications off: "y", or "关" when the modem refused.
    Q_INVOKABLE QString RevAutoClose();
    /// Closes the port and ends every wait in progress; always "y".
    Q_INVOKABLE QString ClosePort();

    // --- Sending -------------------------------------------------------------------------

    /// Sends a text (split into parts when long); "y", "B" when busy, or a failure text.
    /// Msg is taken by reference: a text with "@" gets U+3000 appended in the caller's variable.
    QString Sendsms(QString &Msg, const QString &Mobile, qint16 s_Report, bool pV = false);
    /// Sends a text given by value (the appended U+3000 stays inside).
    Q_INVOKABLE QString Sendsms(const QString &Msg, const QString &Mobile, qint16 s_Report,
                                bool pV = false);
    /// Sends 8-bit data given as hex text, cut into 140-octet messages; "y" or a failure text.
    Q_INVOKABLE QString SendAsc2(const QVariant &AscMsg, const QVariant &tomobile,
                                 const QVariant &smsreport);

    // --- Receiving -----------------------------------------------------------------------

    /// Lists messages of state whyre (2 is read as 4 and written back into the caller's variable);
    /// records joined by character 1, the number 0 when none, or "n" when the listing failed.
    QVariant ReadMsg(qint16 &whyre);
    Q_INVOKABLE QVariant ReadMsg(const qint16 &whyre);
    /// Deletes by flag (0-9; 2 is read as 4 and written back) or by index (10 or more); "y"/"n".
    QString DelSms(qint16 &del_which);
    Q_INVOKABLE QString DelSms(const qint16 &del_which);
    /// Hands over the waiting received-message records and empties the buffer.
    Q_INVOKABLE QVariant NewMsg();

    // --- Status reports ------------------------------------------------------------------

    /// Decodes one status-report PDU (start_is: centre part length in hex characters less 2).
    Q_INVOKABLE QVariant get_report_all(const QVariant &start_is, const QVariant &strCodeis);
    /// Hands over the waiting status-report records (joined by character 2) and empties them.
    Q_INVOKABLE QVariant NewReport();

    // --- Voice calls ---------------------------------------------------------------------

    /// The number of the current call from "at+clcc", or "0000".
    Q_INVOKABLE QVariant GetPhoneNo();
    /// Answers a ringing call ("ATA"); true if the modem said "OK". Leaves Isbusy alone.
    Q_INVOKABLE QVariant AnswerCall();
    /// Hangs up ("ATH"); true if the modem said "OK".
    Q_INVOKABLE bool HangUpCall();
    /// Places a voice call: "OK", "BUSY", "NO", "NoAnswer" or "B" when busy.
    Q_INVOKABLE QVariant CallPhone(const QString &PhoneNo, qint16 WaitTime);

    // --- Modem information and phonebook -------------------------------------------------

    Q_INVOKABLE QVariant M_model();
    Q_INVOKABLE QVariant M_ltd();
    Q_INVOKABLE QVariant M_ver();
    Q_INVOKABLE QVariant M_imei();
    Q_INVOKABLE QVariant M_ServiceNo();
    Q_INVOKABLE QVariant RdCenNo();
    /// Writes a raw AT command and returns the modem's reply as it came.
    Q_INVOKABLE QVariant InputAT(const QString &strAT);
    /// Reads a phonebook storage ("SM", "ME", ...): entries name, character 2, number, joined by 1.
    Q_INVOKABLE QVariant ReadNB(const QVariant &pb_why);

    // --- Persistence (the host's property store) -----------------------------------------

    /// Sets the new-instance values (no saved properties).
    void initNewInstance();
    /// Applies saved properties in their order; false with a reason when a value is refused.
    bool restoreProperties(const QVariantMap &store, QString *error = nullptr);
    /// The persisted properties under their keys, in their order (defaults included).
    QVariantMap saveProperties() const;
    /// The persisted keys in the order they are read and written.
    static QStringList propertyKeys();

    /// True when a modem's reply (as InputAT returns it) ends in a refusal: ERROR, a CMS or CME
    /// error, or a modem's own words for a command it does not know ("COMMAND NOT SUPPORT").
    static bool isRefusal(const QString &reply);
    /// True when a modem's reply (as InputAT returns it) ends in OK.
    static bool isAccepted(const QString &reply);

    /// True when the reply log is switched on for this instance.
    bool logsReplies() const;

signals:
    /// Raised every time Isbusy is written.
    void OnStatusChange();
    /// Received messages wait for NewMsg.
    void OnRecvMsg();
    /// Status reports wait for NewReport.
    void OnRevReport();
    /// The modem rang; the caller's number, or "无法获得来电号码！".
    void OnCall(const QVariant &PhoneNo);

    /// A property was written by the host (the host saves the store then).
    void propertyChanged(const QString &key);
    /// A command wait is running: seconds elapsed of maximumSeconds (for a progress indicator).
    void waitProgress(double elapsedSeconds, int maximumSeconds);
    /// The command wait ended; a progress indicator hides.
    void waitFinished();

private:
    friend class TarvexPrivate;
    std::unique_ptr<TarvexPrivate> d;
};

} // namespace lonvera::control
