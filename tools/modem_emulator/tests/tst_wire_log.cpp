// The wire log a chaos harness counts deliveries from: every PDU a modem took after its prompt,
// accepted or refused, and every message the network carried, one JSON line each, written while
// the emulator runs.
#include "emulator.h"
#include "test_port.h"

#include "pdu.h"
#include "segmentation.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace lonvera::emulator;
using lonvera::emulator::testing::TestPort;

namespace {

// COM numbers of this test program, apart from those other test programs use.
constexpr int kCom = 61;

QList<QJsonObject> readLines(const QString &path)
{
    QFile file(path);
    QList<QJsonObject> out;
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            out.append(QJsonDocument::fromJson(line).object());
    }
    return out;
}

QList<lonvera::pdu::SubmitPart> partsOf(const QString &text, const QString &to)
{
    lonvera::pdu::SubmitRequest r;
    r.text = text;
    r.destination = to;
    r.centre = QStringLiteral("8613800200500");
    r.reference = 7;
    const auto parts = lonvera::pdu::encodeSubmitParts(r, lonvera::pdu::CentreVariant::Default);
    return parts.ok() ? parts.value() : QList<lonvera::pdu::SubmitPart>{};
}

QByteArray sendPdu(TestPort &port, const lonvera::pdu::SubmitPart &part)
{
    if (!port.exchange("AT+CMGS= " + QByteArray::number(part.tpduOctets) + "\r\n", ">")
             .contains('>'))
        return {};
    port.write(part.pdu.toLatin1() + "\x1a");
    port.waitFor("OK", 5000);
    port.waitFor("ERROR", 50);
    return port.take();
}

} // namespace

class TstWireLog : public QObject
{
    Q_OBJECT
private slots:
    void acceptedRefusedAndCarriedLines();
};

void TstWireLog::acceptedRefusedAndCarriedLines()
{
    QTemporaryDir dir;
    Emulator emulator;
    emulator.startInThread();
    const QString wirePath = dir.filePath(QStringLiteral("wire.jsonl"));
    QVERIFY(emulator.openWireLog(wirePath));
    EmulatorOptions o;
    o.prefix = dir.path();
    o.modems = 2;
    o.firstCom = kCom;
    o.profiles.defaults.networkDelayMs = 100;
    o.profiles.defaults.networkDelayMaxMs = 200;
    // The sender refuses its third send.
    o.profiles.perCom.insert(kCom, QVariantMap{{QStringLiteral("cmsErrorOnSend"), 3}});
    QString why;
    QVERIFY2(emulator.start(o, &why), qPrintable(why));

    TestPort port(emulator);
    QVERIFY(port.open(emulator.linkPath(kCom)));
    QVERIFY(port.exchange("AT+CMGF=0\r\n").contains("OK"));
    const QString text =
        QStringLiteral("#7 ") + QStringLiteral("long text in two parts ").repeated(8);
    const auto parts = partsOf(text, emulator.number(kCom + 1));
    QCOMPARE(parts.size(), 2);
    QElapsedTimer clock;
    clock.start();
    for (const auto &part : parts)
        QVERIFY(sendPdu(port, part).contains("+CMGS:"));
    // Each accepted part waited its own network time from the range.
    QVERIFY(clock.elapsed() >= 200);
    QVERIFY(sendPdu(port, partsOf(QStringLiteral("#8 refused"), emulator.number(kCom + 1))[0])
                .contains("+CMS ERROR"));

    QList<QJsonObject> lines;
    QVERIFY(emulator.waitFor(
        [&] {
            lines = readLines(wirePath);
            return lines.size() >= 5;
        },
        5000));
    QCOMPARE(lines.size(), 5);
    QStringList kinds;
    for (const QJsonObject &l : lines)
        kinds << l.value(QStringLiteral("kind")).toString();
    QCOMPARE(kinds, (QStringList{QStringLiteral("accepted"), QStringLiteral("carried"),
                                 QStringLiteral("accepted"), QStringLiteral("carried"),
                                 QStringLiteral("refused")}));
    QString joined;
    for (int i : {0, 2}) {
        QCOMPARE(lines[i].value(QStringLiteral("com")).toInt(), kCom);
        QCOMPARE(lines[i].value(QStringLiteral("parts")).toInt(), 2);
        QCOMPARE(lines[i].value(QStringLiteral("part")).toInt(), i / 2 + 1);
        QCOMPARE(lines[i].value(QStringLiteral("to")).toString(), emulator.number(kCom + 1));
        // The carried line names the accepted message by its reference.
        QCOMPARE(lines[i + 1].value(QStringLiteral("ref")), lines[i].value(QStringLiteral("ref")));
        joined += lines[i].value(QStringLiteral("text")).toString();
    }
    QCOMPARE(joined, text);
    QCOMPARE(lines[4].value(QStringLiteral("text")).toString(), QStringLiteral("#8 refused"));
    QVERIFY(lines[4]
                .value(QStringLiteral("error"))
                .toString()
                .startsWith(QStringLiteral("+CMS ERROR")));
}

QTEST_GUILESS_MAIN(TstWireLog)
#include "tst_wire_log.moc"
