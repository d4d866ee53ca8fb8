// Calls arriving by name: arguments are coerced as the component runtime does it, and a call
// that does not fit the interface is an error number for the caller, never a crash.
#include "worker/conversions.h"
#include "worker/member_dispatch.h"

#include <QTest>

using namespace lonvera::worker;
using lonvera::worker::protocol::CallKind;

class TestWorkerCalls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void int16Coercion_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("error");
        QTest::newRow("integer") << QVariant(5) << 5 << 0;
        QTest::newRow("numeric text") << QVariant(" 12 ") << 12 << 0;
        QTest::newRow("half to even down") << QVariant(2.5) << 2 << 0;
        QTest::newRow("half to even up") << QVariant(3.5) << 4 << 0;
        QTest::newRow("true") << QVariant(true) << -1 << 0;
        QTest::newRow("omitted") << QVariant() << 0 << 0;
        QTest::newRow("letters") << QVariant("abc") << 0 << 13;
        QTest::newRow("empty text") << QVariant("") << 0 << 13;
        QTest::newRow("too big") << QVariant(40000) << 0 << 6;
        QTest::newRow("too small text") << QVariant("-32769") << 0 << 6;
        QTest::newRow("smallest") << QVariant("-32768") << -32768 << 0;
    }
    void int16Coercion()
    {
        QFETCH(QVariant, value);
        QFETCH(int, expected);
        QFETCH(int, error);
        const Coerced c = toInt16(value);
        QCOMPARE(c.error, error);
        if (!error)
            QCOMPARE(c.value.toInt(), expected);
    }

    void booleanAndTextCoercion()
    {
        QCOMPARE(toBoolean(QVariant()).value.toBool(), false);
        QCOMPARE(toBoolean(QVariant(), true).value.toBool(), true);
        QCOMPARE(toBoolean(QVariant("True")).value.toBool(), true);
        QCOMPARE(toBoolean(QVariant("0")).value.toBool(), false);
        QCOMPARE(toBoolean(QVariant(-1)).value.toBool(), true);
        QCOMPARE(toBoolean(QVariant("yes")).error, 13);
        QCOMPARE(toText(QVariant(9600)), QStringLiteral("9600"));
        QCOMPARE(toText(QVariant(true)), QStringLiteral("True"));
        QCOMPARE(toText(QVariant()), QString());
        QCOMPARE(toText(QVariant(2.5)), QStringLiteral("2.5"));
    }

    void callShapes_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("argCount");
        QTest::addColumn<int>("error");
        const int m = int(CallKind::Method), get = int(CallKind::PropertyGet),
                  put = int(CallKind::PropertyPut);
        QTest::newRow("SendsmsA shortest") << "SendsmsA" << m << 3 << 0;
        QTest::newRow("SendsmsA longest") << "SendsmsA" << m << 6 << 0;
        QTest::newRow("SendsmsA too short") << "SendsmsA" << m << 2 << 449;
        QTest::newRow("SendsmsA too long") << "SendsmsA" << m << 7 << 450;
        QTest::newRow("Connect without AutoRevMsg") << "Connect" << m << 1 << 0;
        QTest::newRow("Dovote_task all 18") << "Dovote_task" << m << 18 << 0;
        QTest::newRow("Dovote_task 19") << "Dovote_task" << m << 19 << 450;
        QTest::newRow("property get") << "Comport" << get << 0 << 0;
        QTest::newRow("property put") << "Settings" << put << 1 << 0;
        QTest::newRow("put without value") << "Settings" << put << 0 << 450;
        QTest::newRow("property as method") << "Comport" << m << 0 << 438;
        QTest::newRow("method as put") << "ReadMsg" << put << 1 << 438;
        QTest::newRow("wrong case") << "readmsg" << m << 0 << 438;
        QTest::newRow("unknown kind") << "ReadMsg" << 3 << 0 << 438;
    }
    void callShapes()
    {
        QFETCH(QString, member);
        QFETCH(int, kind);
        QFETCH(int, argCount);
        QFETCH(int, error);
        QVariantList args;
        for (int i = 0; i < argCount; ++i)
            args.append(QStringLiteral("1"));
        const CallOutcome outcome = checkCall(member, static_cast<CallKind>(kind), args);
        QCOMPARE(outcome.error, error);
        QCOMPARE(outcome.text.isEmpty(), error == 0);
    }

    void omittedRequiredArgumentIsNotOptional()
    {
        const CallOutcome outcome =
            checkCall(QStringLiteral("SendsmsA"), CallKind::Method, {"1", QVariant(), "2"});
        QCOMPARE(outcome.error, 449);
    }
};

QTEST_APPLESS_MAIN(TestWorkerCalls)
#include "tst_worker_calls.moc"
