// Bytes from the port side into one emulated modem: whatever arrives, the modem answers or
// stays silent, and never crashes. Also exercises the command-line parser on the same input.
#include "at_command.h"
#include "emulated_modem.h"
#include "emulator_log.h"
#include "network.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

using namespace lonvera::emulator;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    const AtCommandLine parsed = parseCommandLine(input);
    for (const AtCommand &c : parsed.commands)
        (void)splitArguments(c.args);

    EmulatorLog log;
    Network network(&log);
    ModemProfile profile;
    profile.number = QStringLiteral("8613900000001");
    EmulatedModem modem(1, profile, &network, &log);
    network.addModem(&modem);
    qsizetype produced = 0;
    QObject::connect(&modem, &EmulatedModem::output,
                     [&](const QByteArray &b) { produced += b.size(); });
    // In two pieces, as a port delivers them.
    modem.receive(input.left(input.size() / 2));
    modem.receive(input.mid(input.size() / 2));
    QCoreApplication::processEvents();
    network.removeModem(&modem);
    return 0;
}
