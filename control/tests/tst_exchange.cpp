// The serial channel and WaitReply over a real pseudo-terminal through the real serial layer:
// fragments, final words, time-outs, AbortWait, a device that goes away, and the port errors.
#include "control/exchange/exchange.h"
#include "control/port/serial_port.h"
#include "control/tarvex.h"
#include "pty_line.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace lonvera::control;

class TestExchange : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void finalWordsEndTheWait_data();
    void finalWordsEndTheWait();
    void silentModemTimesOut();
    void abortWaitReturnsAtOnce();
    void closeDuringWaitEndsIt();
    void unpluggedDeviceEndsWaitAndReopens();
    void commandForms();
    void missingPortGives8002();
    void occupiedPortGives8005();
    void binaryNoiseAndEndlessReply();

private:
    QTemporaryDir m_prefix;
};

void TestExchange::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    qputenv("LONVERA_PREFIX", m_prefix.path().toLocal8Bit());
}

void TestExchange::finalWordsEndTheWait_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<bool>("final");
    QTest::newRow("OK in two fragments") << QByteArrayList{"\r\nO", "K\r\n"} << true;
    QTest::newRow("lower-case error") << QByteArrayList{"\r\n+CMS ", "error: 500\r\n"} << true;
    QTest::newRow("ERROR") << QByteArrayList{"\r\nER", "ROR\r\n"} << true;
    QTest::newRow("NO CARRIER") << QByteArrayList{"\r\nNO CAR", "RIER\r\n"} << true;
    QTest::newRow("prompt is not final") << QByteArrayList{"\r\n", "> "} << false;
}

void TestExchange::finalWordsEndTheWait()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(bool, final);
    PtyLine line(3);
    QVERIFY(line.isValid());
    SerialPort port;
    QCOMPARE(port.setPortNumber(3), 0);
    Exchange exchange(port);
    QCOMPARE(exchange.ensureOpen(), 0);

    // The second piece comes 300 ms after the first: the wait must not end on the first alone.
    line.onCommand = [&](const QByteArray &) {
        line.writeLater(pieces[0], 10);
        line.writeLater(pieces[1], 300);
    };
    QVERIFY(exchange.writeCommand(QStringLiteral("at")));
    QElapsedTimer clock;
    clock.start();
    const QString reply = exchange.waitReply(final ? 5 : 1);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(reply, QString::fromLatin1(pieces.join()));
    if (final) {
        QVERIFY2(elapsed >= 290 && elapsed < 2000, qPrintable(QString::number(elapsed)));
    } else {
        QVERIFY2(elapsed >= 1000 && elapsed < 1500, qPrintable(QString::number(elapsed)));
    }
}

void TestExchange::silentModemTimesOut()
{
    PtyLine line(4);
    SerialPort port;
    port.setPortNumber(4);
    Exchange exchange(port);
    QCOMPARE(exchange.ensureOpen(), 0);
    exchange.writeCommand(QStringLiteral("at"));
    QElapsedTimer clock;
    clock.start();
    const QString reply = exchange.waitReply(3);
    const qint64 elapsed = clock.elapsed();
    QVERIFY(reply.isEmpty());
    QVERIFY2(elapsed > 3000 && elapsed < 3500, qPrintable(QString::number(elapsed)));
}

void TestExchange::abortWaitReturnsAtOnce()
{
    PtyLine line(5);
    Tarvex control;
    control.setCommPort(5);
    QCOMPARE(control.ClosePort(), QStringLiteral("y"));
    // After ClosePort every wait ends at its first pass: a read with its 12-second waits (and the
    // fallbacks) is over at once.
    QElapsedTimer clock;
    clock.start();
    const QVariant result = control.ReadMsg(qint16(4));
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(result.toString(), QStringLiteral("n"));
    QCOMPARE(control.Isbusy(), false);
}

void TestExchange::closeDuringWaitEndsIt()
{
    PtyLine line(6);
    Tarvex control;
    control.setCommPort(6);
    QTimer::singleShot(300, &control, [&control] { control.ClosePort(); });
    QElapsedTimer clock;
    clock.start();
    const QVariant result = control.ReadMsg(qint16(0));
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(result.toString(), QStringLiteral("n"));
    QCOMPARE(control.Isbusy(), false);
}

void TestExchange::unpluggedDeviceEndsWaitAndReopens()
{
    auto line = std::make_unique<PtyLine>(7);
    Tarvex control;
    control.setCommPort(7);
    QSignalSpy status(&control, &Tarvex::OnStatusChange);
    // The device disappears while the listing is awaited: the read ends with its failure result
    // at once instead of waiting out its time-outs, and the control is free again.
    line->onCommand = [&line](const QByteArray &command) {
        if (command.startsWith("at+cmgl"))
            QTimer::singleShot(200, [&line] { line->unplug(); });
    };
    QElapsedTimer clock;
    clock.start();
    const QVariant result = control.ReadMsg(qint16(4));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(result.toString(), QStringLiteral("n"));
    QCOMPARE(control.Isbusy(), false);
    QCOMPARE(status.count(), 2);

    // Plugged in again: the next operation reopens the port.
    line = std::make_unique<PtyLine>(7);
    line->onCommand = [&line](const QByteArray &command) {
        if (command.startsWith("at+cmgl") || command.startsWith("at+cmgd"))
            line->write("\r\nOK\r\n");
    };
    QCOMPARE(control.ReadMsg(qint16(4)).toInt(), 0);
}

void TestExchange::commandForms()
{
    PtyLine line(8);
    SerialPort port;
    port.setPortNumber(8);
    Exchange exchange(port);
    QCOMPARE(exchange.ensureOpen(), 0);
    exchange.writeCommand(QStringLiteral("at+cmgl="), 4);
    exchange.writeCommand(QStringLiteral("at+cmgd=1,"), 1);
    exchange.writeCommand(QStringLiteral("at+cnmi=2,1,0,1,0"));
    exchange.writeRaw("at+cmgs=045\r");
    QTRY_COMPARE(line.written(), QByteArray("at+cmgl= 4\r\nat+cmgd=1, 1\r\nat+cnmi=2,1,0,1,0\r\n"
                                            "at+cmgs=045\r"));
}

void TestExchange::missingPortGives8002()
{
    Tarvex control;
    // Nothing is linked as COM30000, and serial device numbers end far below /dev/ttyS29999.
    control.setCommPort(30000);
    QSignalSpy status(&control, &Tarvex::OnStatusChange);
    const QString result = control.Connect(1);
    QCOMPARE(result, QStringLiteral("所设置的端口号（COM）无效，请检查！如有不明，请联络开发商"));
    QCOMPARE(control.errmsg().toString(), result);
    QCOMPARE(control.lastConnectFailure(), ConnectFailure::Port);
    QCOMPARE(control.Isbusy(), false);
    QCOMPARE(status.count(), 2);
}

void TestExchange::occupiedPortGives8005()
{
    PtyLine line(9);
    SerialPort holder;
    holder.setPortNumber(9);
    QCOMPARE(holder.open(), 0);
    Tarvex control;
    control.setCommPort(9);
    QCOMPARE(control.Connect(1),
             QStringLiteral("端口已被其它程序占用，请先关掉其它程序或重启电脑再试！"));
    QCOMPARE(control.Isbusy(), false);
}

void TestExchange::binaryNoiseAndEndlessReply()
{
    PtyLine line(10);
    SerialPort port;
    port.setPortNumber(10);
    Exchange exchange(port);
    QCOMPARE(exchange.ensureOpen(), 0);
    // Noise with every byte value and no final word, arriving all through the wait: the wait
    // still ends at its time-out with the bytes kept one to one.
    QByteArray noise;
    for (int i = 0; i < 256; ++i)
        noise.append(
            char(i == 'O' || i == 'o' || i == 'E' || i == 'e' || i == 'B' || i == 'C' ? 0xff : i));
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, &line, [&] { line.write(noise); });
    feeder.start(20);
    QElapsedTimer clock;
    clock.start();
    const QString reply = exchange.waitReply(1);
    feeder.stop();
    QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 1500,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(reply.size() >= noise.size());
    QCOMPARE(reply.left(256).toLatin1(), noise);
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
