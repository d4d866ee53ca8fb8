// The gateway core on fake workers and a fake store, in a program folder of its own: device
// records COM1..COMn, a set.ini holding the given lines, and a clock that stands still until a
// test moves it. A test file's own rig derives from this one for what it sets up differently.
#pragma once

#include "fakes.h"
#include "server/core/gateway.h"

#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace lonvera::server::testing {

template<typename Store = FakeStore> struct GatewayRig
{
    QTemporaryDir dir;
    Store store;
    FakeFactory factory;
    GatewayView view;
    std::unique_ptr<Gateway> gateway;
    QDateTime clock = QDateTime(QDate(2024, 5, 6), QTime(12, 0, 0));

    explicit GatewayRig(const QStringList &setIni = {}, int devices = 16,
                        const QString &inUseing = QStringLiteral("停用"))
    {
        QFile ini(dir.filePath(QStringLiteral("set.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(setIni.join(u'\n').toUtf8());
        ini.close();
        for (int id = 1; id <= devices; ++id) {
            DeviceRecord d;
            d.id = id;
            d.setName = QStringLiteral("COM%1").arg(id);
            d.inUseing = inUseing;
            d.com = QStringLiteral("COM%1").arg(id);
            d.rate = QStringLiteral("9600");
            d.forNo = QStringLiteral("|不限范围|");
            d.pace = QStringLiteral("不限速");
            d.msgMax = 88888888;
            store.deviceRows << d;
        }
    }

    /// Makes the gateway on the folder's set.ini and the store; configure runs before the
    /// settings are loaded.
    void start(const std::function<void(Gateway &)> &configure = {})
    {
        gateway = std::make_unique<Gateway>(ServerSettings(dir.path()), &factory, &view);
        gateway->setClock([this] { return clock; });
        if (configure)
            configure(*gateway);
        gateway->loadSettings();
        gateway->attachStore(&store);
    }

    /// Connects device n with its record's values and lets its worker report success; the
    /// worker gives answer to the sends the connection brings (the first due row goes at once).
    FakeWorker *connect(int n, const QString &answer = QStringLiteral("y"))
    {
        const DeviceRecord &d = store.deviceRows[n - 1];
        gateway->connectDevice(n, n, d.rate, d.serno, d.forNo, Gateway::paceToPause(d.pace));
        FakeWorker *w = worker(n);
        w->nextAnswer = answer;
        emit w->otherReport(QStringLiteral("成功连接设备SIM900(COM%1)").arg(n));
        return w;
    }
    FakeWorker *worker(int n) const
    {
        return static_cast<FakeWorker *>(gateway->slot(n).worker.get());
    }
    QStringList logLines() const { return view.runLog().lines(); }
    int logged(const QString &text) const { return int(logLines().filter(text).size()); }
};

} // namespace lonvera::server::testing
