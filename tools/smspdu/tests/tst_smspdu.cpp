// The smspdu command line: JSON for vectors, PDUs for texts, one-line errors for bad input.
#include "smspdu_command.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using lonvera::smspdu::run;

namespace {

struct Outcome
{
    int status = 0;
    QStringList out;
    QString err;
};

Outcome runCommand(const QStringList &args)
{
    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);
    Outcome r;
    r.status = run(args, o, e, QStringLiteral("2026-12-08 09:00:00"));
    o.flush();
    e.flush();
    r.out = out.split('\n', Qt::SkipEmptyParts);
    r.err = err;
    return r;
}

QJsonObject json(const QString &line)
{
    return QJsonDocument::fromJson(line.toUtf8()).object();
}

} // namespace

class TestSmspdu : public QObject
{
    Q_OBJECT
private slots:
    void decodeVector()
    {
        const Outcome r = runCommand(
            {"decode", "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.size(), 1);
        const QJsonObject o = json(r.out[0]);
        QCOMPARE(o["kind"].toString(), "deliver");
        QCOMPARE(o["serviceCentre"].toString(), "+27381000015");
        QCOMPARE(o["sender"].toString(), "27838890001");
        QCOMPARE(o["text"].toString(), "hellohello");
        QCOMPARE(o["dataCoding"]["alphabet"].toString(), "7bit");
        QCOMPARE(o["timeStamp"].toString(), "2099-03-29 15:16:59");
        QVERIFY(o["concatenation"].isNull());
        QCOMPARE(o["record"].toString(), QStringLiteral("27838890001\x02hellohello\x02"
                                                        "2099-03-29 15:16:59"));
    }

    void partsInAnyOrderAreJoined()
    {
        // Encode a three-part text, then decode the parts out of order as stored SUBMITs.
        const Outcome enc = runCommand({"encode", "--to", "+8613912345678", "--smsc",
                                        "+8613800100500", "--reference", "9", QString(320, 'w')});
        QCOMPARE(enc.status, 0);
        QCOMPARE(enc.out.size(), 3);
        const QJsonObject part = json(runCommand({"decode", enc.out[1]}).out[0]);
        QCOMPARE(part["kind"].toString(), "submit");
        QCOMPARE(part["concatenation"]["sequence"].toInt(), 2);
        QCOMPARE(part["concatenation"]["total"].toInt(), 3);
        QCOMPARE(part["concatenation"]["reference"].toInt(), 9);

        const QString p1 = "00440D91683119325476F800006221700102032308"
                           "0500030902016E";
        const QString p2 = "00440D91683119325476F800006221700102032308"
                           "050003090202EE";
        const Outcome dec = runCommand({"decode", p2, p1});
        QCOMPARE(dec.status, 0);
        QCOMPARE(dec.out.size(), 3);
        const QJsonObject joined = json(dec.out[2]);
        QCOMPARE(joined["kind"].toString(), "joined");
        QCOMPARE(joined["parts"].toInt(), 2);
        QCOMPARE(joined["text"].toString(), "7w");
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("odd length") << QStringList{"decode", "0791728"} << 1;
        QTest::newRow("not hex") << QStringList{"decode", "07ZZ"} << 1;
        QTest::newRow("truncated PDU")
            << QStringList{"decode", "07917283010010F5040BC87238880900F1000099"} << 1;
        QTest::newRow("empty number")
            << QStringList{"encode", "--to", "", "--default-centre", "hi"} << 1;
        QTest::newRow("no text") << QStringList{"encode", "--to", "139"} << 2;
        QTest::newRow("explicit centre missing") << QStringList{"encode", "--to", "139", "hi"} << 2;
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2;
        QTest::newRow("nothing") << QStringList{} << 2;
    }
    void badInput()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QProcess p;
        p.start(QStringLiteral(SMSPDU_PATH), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), status);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(err.count('\n'), 1);
        QVERIFY(err.startsWith("smspdu: ") || err.startsWith("usage: "));
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    void encodeVariants()
    {
        const Outcome def =
            runCommand({"encode", "--to", "13912345678", "--default-centre", "--report", "hello"});
        QCOMPARE(def.out, QStringList{"0031000D91683119325476f8000001"
                                      "05e8329bfd06"});
        const Outcome exp = runCommand({"encode", "--to", "13912345678", "--smsc", "+8613800100500",
                                        "--validity-long", "hello"});
        QCOMPARE(exp.out, QStringList{"0891683108100005f011000B813119325476f80000C5"
                                      "05E8329BFD06"});
    }
};

QTEST_GUILESS_MAIN(TestSmspdu)
#include "tst_smspdu.moc"
