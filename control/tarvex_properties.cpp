// See tarvex.h: the properties of the control and their persistence in the host's property store
// (keys, order, types and defaults as the hosts of this control save them).
#include "control/tarvex.h"

#include "control/tarvex_private.h"

namespace lonvera::control {

namespace {

const QString KeyCommPort = QStringLiteral("CommPort");
const QString KeyErrmsg = QStringLiteral("errmsg");
const QString KeyRevInterval = QStringLiteral("RevInterval");
const QString KeySmsService = QStringLiteral("SmsService");
const QString KeyReadAndDel = QStringLiteral("ReadAndDel");
const QString KeyIsbusy = QStringLiteral("Isbusy");
const QString KeySettings = QStringLiteral("Settings");
const QString KeyCopyRight = QStringLiteral("CopyRight");

constexpr qint16 DefaultCommPort = 1;
constexpr qint32 DefaultRevInterval = 30000;
const QString DefaultSmsService = QStringLiteral("+8613800200500");
const QString DefaultSettings = QStringLiteral("9600,n,8,1");

} // namespace

qint16 Tarvex::CommPort() const
{
    return qint16(d->context.port.portNumber());
}

void Tarvex::setCommPort(qint16 port)
{
    ModemContext &c = d->context;
    c.exchange.closePort();
    const int error = c.port.setPortNumber(port);
    if (error != PortError::None) {
        c.portSetFailed = true;
        c.errmsg = QStringLiteral("端口已打开，串口须预先设置正确，且运行中不能更改,(") +
                   Exchange::numberText(error) + QLatin1Char(')');
    }
    emit propertyChanged(KeyCommPort);
}

QString Tarvex::Settings() const
{
    return d->context.port.settingsText();
}

bool Tarvex::setSettings(const QString &settings)
{
    if (d->context.port.setSettingsText(settings) != PortError::None)
        return false;
    emit propertyChanged(KeySettings);
    return true;
}

bool Tarvex::Isbusy() const
{
    return d->context.isBusy();
}

void Tarvex::setIsbusy(bool busy)
{
    d->context.setBusy(busy);
    emit propertyChanged(KeyIsbusy);
}

QVariant Tarvex::errmsg() const
{
    return d->context.errmsg;
}

void Tarvex::seterrmsg(const QVariant &value)
{
    d->context.errmsg = value;
    emit propertyChanged(KeyErrmsg);
}

qint32 Tarvex::RevInterval() const
{
    return d->context.timer1.interval();
}

bool Tarvex::setRevInterval(qint32 milliseconds)
{
    // A zero interval would make the polling timer fire continuously.
    if (milliseconds < 1)
        return false;
    d->context.timer1.setInterval(milliseconds);
    emit propertyChanged(KeyRevInterval);
    return true;
}

bool Tarvex::ReadAndDel() const
{
    return d->context.readAndDel;
}

void Tarvex::setReadAndDel(bool on)
{
    d->context.readAndDel = on;
    emit propertyChanged(KeyReadAndDel);
}

QString Tarvex::SmsService() const
{
    return d->context.smsService;
}

void Tarvex::setSmsService(const QString &number)
{
    d->context.smsService = number;
    emit propertyChanged(KeySmsService);
}

QString Tarvex::CopyRight() const
{
    return d->copyRight;
}

void Tarvex::setCopyRight(const QString &text)
{
    d->copyRight = text;
    emit propertyChanged(KeyCopyRight);
}

QStringList Tarvex::propertyKeys()
{
    return {KeyCommPort,   KeyErrmsg, KeyRevInterval, KeySmsService,
            KeyReadAndDel, KeyIsbusy, KeySettings,    KeyCopyRight};
}

void Tarvex::initNewInstance()
{
    ModemContext &c = d->context;
    c.errmsg = 0;
    c.smsService = DefaultSmsService;
    c.readAndDel = true;
    c.setBusy(false);
    d->copyRight = TarvexPrivate::defaultCopyRight();
}

bool Tarvex::restoreProperties(const QVariantMap &store, QString *error)
{
    ModemContext &c = d->context;
    const auto value = [&store](const QString &key, const QVariant &fallback) {
        const auto it = store.constFind(key);
        return it == store.constEnd() ? fallback : it.value();
    };
    QStringList refused;

    c.exchange.closePort();
    if (c.port.setPortNumber(value(KeyCommPort, DefaultCommPort).toInt()) != PortError::None)
        refused << KeyCommPort;
    c.errmsg = value(KeyErrmsg, 0);
    const int interval = value(KeyRevInterval, DefaultRevInterval).toInt();
    if (interval >= 1)
        c.timer1.setInterval(interval);
    else
        refused << KeyRevInterval;
    c.smsService = value(KeySmsService, DefaultSmsService).toString();
    c.readAndDel = value(KeyReadAndDel, true).toBool();
    c.setBusy(value(KeyIsbusy, false).toBool());
    // A refused value leaves the built-in one and is reported; the remaining keys still apply,
    // so one bad value does not lose the rest of the store.
    if (c.port.setSettingsText(value(KeySettings, DefaultSettings).toString()) != PortError::None)
        refused << KeySettings;
    d->copyRight = value(KeyCopyRight, TarvexPrivate::defaultCopyRight()).toString();

    if (error)
        *error = refused.isEmpty()
                     ? QString()
                     : QStringLiteral("refused: ") + refused.join(QLatin1String(", "));
    return refused.isEmpty();
}

QVariantMap Tarvex::saveProperties() const
{
    const ModemContext &c = d->context;
    QVariantMap store;
    store.insert(KeyCommPort, qint16(c.port.portNumber()));
    store.insert(KeyErrmsg, c.errmsg);
    store.insert(KeyRevInterval, qint32(c.timer1.interval()));
    store.insert(KeySmsService, c.smsService);
    store.insert(KeyReadAndDel, c.readAndDel);
    store.insert(KeyIsbusy, c.isBusy());
    store.insert(KeySettings, c.port.settingsText());
    store.insert(KeyCopyRight, d->copyRight);
    return store;
}

} // namespace lonvera::control
