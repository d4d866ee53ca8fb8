// Shared set-up of the tests that drive a control against the modem emulator: a private machine
// prefix, the emulated modems on their own thread, the remembered send variant, and the fields
// of the SMS-SUBMIT PDUs the modems took.
#pragma once

#include "control/tarvex.h"
#include "emulator.h"
#include "platform/paths.h"
#include "platform/profile_file.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace fixture {

using lonvera::emulator::Emulator;
using lonvera::emulator::EmulatorOptions;
using lonvera::emulator::ModemProfile;

constexpr int Com = 4;

inline QString winticPath()
{
    return lonvera::platform::mapWindowsPath(QStringLiteral("c:\\wintic.ini"));
}

inline QString storedSendMethod()
{
    return lonvera::platform::ProfileFile(winticPath())
        .readString(QStringLiteral("test"), QStringLiteral("wave_or_mobile"));
}

inline void storeSendMethod(const QString &method)
{
    lonvera::platform::ensureParentFolder(winticPath());
    lonvera::platform::ProfileFile(winticPath())
        .writeString(QStringLiteral("test"), QStringLiteral("wave_or_mobile"), method);
}

/// Starts `modems` emulated modems from COM Com on (numbers: Emulator::number).
inline std::unique_ptr<Emulator> startEmulator(const QString &prefix, int modems,
                                               const std::function<void(ModemProfile &)> &change)
{
    auto emulator = std::make_unique<Emulator>();
    emulator->startInThread();
    EmulatorOptions options;
    options.prefix = prefix;
    options.firstCom = Com;
    options.modems = modems;
    if (change)
        change(options.profiles.defaults);
    QString error;
    if (!emulator->start(options, &error)) {
        qWarning("emulator: %s", qPrintable(error));
        return nullptr;
    }
    return emulator;
}

/// The fields of an SMS-SUBMIT as written to the modem (hex, service-centre part first).
struct Submit
{
    QString centre, firstOctet, destinationLength, type, digits, dcs, udl, userData;
};

inline Submit submitOf(const QByteArray &pduHex)
{
    const QString hex = QString::fromLatin1(pduHex);
    Submit s;
    const int centreOctets = hex.left(2).toInt(nullptr, 16);
    s.centre = hex.left(2 + 2 * centreOctets);
    int at = int(s.centre.size());
    s.firstOctet = hex.mid(at, 2);
    s.destinationLength = hex.mid(at + 4, 2);
    const int digits = s.destinationLength.toInt(nullptr, 16);
    s.type = hex.mid(at + 6, 2);
    s.digits = hex.mid(at + 8, (digits + 1) / 2 * 2);
    at += 8 + int(s.digits.size());
    s.dcs = hex.mid(at + 2, 2);
    s.udl = hex.mid(at + 6, 2);
    s.userData = hex.mid(at + 8);
    return s;
}

} // namespace fixture
