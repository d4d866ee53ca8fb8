// Frames survive any split of the byte stream; anything malformed or oversized is refused with a
// reason instead of being half-trusted; the handshake refuses strangers and other versions.
#include "worker/protocol/identity.h"
#include "worker/protocol/message.h"
#include "worker/protocol/reports.h"

#include <QCborMap>
#include <QCborValue>
#include <QTest>
#include <QtEndian>

using namespace lonvera::worker::protocol;

Q_DECLARE_METATYPE(lonvera::worker::protocol::Message)

namespace {

QByteArray framed(const QByteArray &payload)
{
    QByteArray frame(4, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), frame.data());
    return frame + payload;
}

Message sendCall()
{
    Message m;
    m.type = MessageType::Call;
    m.requestId = 7;
    m.objectId = 3;
    m.name = QStringLiteral("SendsmsA");
    m.code = static_cast<int>(CallKind::Method);
    m.args = {QStringLiteral("12"),
              QStringLiteral("你好 @"),
              QStringLiteral("13800138000"),
              qint64(1),
              true,
              QVariant(),
              2.5,
              QByteArray("\x01\x02", 2)};
    return m;
}

} // namespace

class TestWorkerProtocol : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripInAnySplit_data()
    {
        QTest::addColumn<int>("pieceSize");
        QTest::newRow("whole") << 100000;
        QTest::newRow("byte by byte") << 1;
        QTest::newRow("three bytes") << 3;
        QTest::newRow("straddling prefix") << 5;
    }
    void roundTripInAnySplit()
    {
        QFETCH(int, pieceSize);
        Message event;
        event.type = MessageType::Event;
        event.objectId = 3;
        event.name = QStringLiteral("OnSendReport");
        event.code = 4;
        event.args = {QStringLiteral("12"), QStringLiteral("y")};
        Message report;
        report.type = MessageType::Event;
        report.objectId = 3;
        report.name = QStringLiteral("OnOtherReport");
        report.code = 3;
        report.args = {QStringLiteral("成功连接设备M35 (COM) x(COM16)")};
        report.report = StatusReport{ReportKind::Connected, QStringLiteral("M35 (COM) x"), 16};
        const QByteArray stream =
            encodeFrame(sendCall()) + encodeFrame(event) + encodeFrame(report);

        FrameDecoder decoder;
        QList<Message> got;
        for (qsizetype i = 0; i < stream.size(); i += pieceSize) {
            decoder.append(stream.mid(i, pieceSize));
            Message m;
            while (decoder.next(&m) == FrameDecoder::Status::Ready)
                got.append(m);
        }
        QCOMPARE(got.size(), 3);
        const Message expected = sendCall();
        QCOMPARE(got[0].type, MessageType::Call);
        QCOMPARE(got[0].requestId, expected.requestId);
        QCOMPARE(got[0].objectId, expected.objectId);
        QCOMPARE(got[0].name, expected.name);
        QCOMPARE(got[0].code, expected.code);
        QCOMPARE(got[0].args.size(), expected.args.size());
        QCOMPARE(got[0].args[1].toString(), QStringLiteral("你好 @"));
        QCOMPARE(got[0].args[3].toLongLong(), 1);
        QCOMPARE(got[0].args[4].toBool(), true);
        QVERIFY(!got[0].args[5].isValid());
        QCOMPARE(got[0].args[6].toDouble(), 2.5);
        QCOMPARE(got[0].args[7].toByteArray(), QByteArray("\x01\x02", 2));
        QCOMPARE(got[1].name, QStringLiteral("OnSendReport"));
        QCOMPARE(got[1].args.value(1).toString(), QStringLiteral("y"));
        QVERIFY(!got[1].report);
        QCOMPARE(got[2].report, report.report);
        QCOMPARE(decoder.buffered(), 0);
    }

    void badFramesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("reasonPart");

        QByteArray huge(4, Qt::Uninitialized);
        qToBigEndian<quint32>(kMaxFrameBytes + 1, huge.data());
        QTest::newRow("oversized length") << huge << QStringLiteral("larger than allowed");
        QByteArray max(4, '\xff');
        QTest::newRow("length all ones") << max << QStringLiteral("larger than allowed");
        QTest::newRow("not cbor") << framed("\xff\xff\xff") << QStringLiteral("CBOR");
        QTest::newRow("not a map") << framed(QCborValue(5).toCbor()) << QStringLiteral("not a map");
        QTest::newRow("empty map")
            << framed(QCborMap().toCborValue().toCbor()) << QStringLiteral("no message type");

        auto mapFrame = [](std::initializer_list<std::pair<QCborValue, QCborValue>> pairs) {
            QCborMap map;
            for (const auto &[k, v] : pairs)
                map.insert(k, v);
            return framed(map.toCborValue().toCbor());
        };
        QTest::newRow("unknown type") << mapFrame({{0, 99}}) << QStringLiteral("unknown message");
        QTest::newRow("type as text")
            << mapFrame({{0, QStringLiteral("x")}}) << QStringLiteral("not an integer");
        QTest::newRow("text key") << mapFrame({{QStringLiteral("t"), 1}})
                                  << QStringLiteral("not a number");
        QTest::newRow("name as number")
            << mapFrame({{0, 5}, {3, 1}}) << QStringLiteral("not a text");
        QTest::newRow("args not array")
            << mapFrame({{0, 5}, {5, 1}}) << QStringLiteral("not an array");
        QCborArray nested;
        nested.append(QCborArray{1, 2});
        QTest::newRow("nested argument")
            << mapFrame({{0, 5}, {5, nested}}) << QStringLiteral("simple value");
        QCborArray many;
        for (int i = 0; i <= kMaxArguments; ++i)
            many.append(i);
        QTest::newRow("too many args")
            << mapFrame({{0, 5}, {5, many}}) << QStringLiteral("too many");
        QTest::newRow("unknown field")
            << mapFrame({{0, 5}, {42, 1}}) << QStringLiteral("unknown field");
        QTest::newRow("report not an array")
            << mapFrame({{0, 10}, {7, 2}}) << QStringLiteral("report kind");
        QTest::newRow("report short")
            << mapFrame({{0, 10}, {7, QCborArray{2, QStringLiteral("M35")}}})
            << QStringLiteral("report kind");
        QTest::newRow("report kind unknown")
            << mapFrame({{0, 10}, {7, QCborArray{99, QStringLiteral("M35"), 1}}})
            << QStringLiteral("report kind");
        QTest::newRow("report port negative")
            << mapFrame({{0, 10}, {7, QCborArray{2, QStringLiteral("M35"), -1}}})
            << QStringLiteral("report kind");
        QByteArray trailing = QCborMap{{0, 5}}.toCborValue().toCbor() + QByteArray("\x01");
        QTest::newRow("trailing bytes") << framed(trailing) << QStringLiteral("after");
    }
    void badFramesAreRefused()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, reasonPart);
        FrameDecoder decoder;
        decoder.append(stream);
        Message m;
        QCOMPARE(decoder.next(&m), FrameDecoder::Status::Failed);
        QVERIFY2(decoder.error().contains(reasonPart), qPrintable(decoder.error()));
        // A broken stream stays broken: later good frames are not trusted.
        decoder.append(encodeFrame(sendCall()));
        QCOMPARE(decoder.next(&m), FrameDecoder::Status::Failed);
    }

    void partialFrameWaits()
    {
        const QByteArray frame = encodeFrame(sendCall());
        FrameDecoder decoder;
        decoder.append(frame.left(frame.size() - 1));
        Message m;
        QCOMPARE(decoder.next(&m), FrameDecoder::Status::NeedMore);
        decoder.append(frame.right(1));
        QCOMPARE(decoder.next(&m), FrameDecoder::Status::Ready);
    }

    void handshake_data()
    {
        QTest::addColumn<QString>("magic");
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("ours") << QString::fromLatin1(kHelloMagic) << kProtocolVersion << true;
        QTest::newRow("newer version")
            << QString::fromLatin1(kHelloMagic) << kProtocolVersion + 1 << false;
        QTest::newRow("stranger") << QStringLiteral("GET / HTTP/1.1") << kProtocolVersion << false;
    }
    void handshake()
    {
        QFETCH(QString, magic);
        QFETCH(int, version);
        QFETCH(bool, accepted);
        Message hello = makeHello();
        hello.name = magic;
        hello.code = version;
        QString reason;
        QCOMPARE(acceptHello(hello, &reason), accepted);
        QCOMPARE(reason.isEmpty(), accepted);

        qint64 pid = 0;
        QVERIFY(acceptWelcome(makeWelcome(4242), &pid, &reason));
        QCOMPARE(pid, 4242);
        Message refusal;
        refusal.type = MessageType::Failure;
        refusal.text = QStringLiteral("no");
        QVERIFY(!acceptWelcome(refusal, &pid, &reason));
        QCOMPARE(reason, QStringLiteral("no"));
    }

    void identity()
    {
        // The event interface keeps its dispatch ids in interface order.
        QList<int> ids;
        for (const EventInfo &e : events()) {
            ids.append(e.dispatchId());
            QCOMPARE(findEvent(e.dispatchId()), &e);
        }
        QCOMPARE(ids, (QList<int>{1, 2, 4, 3, 5, 6}));
        QVERIFY(!findEvent(qint64(7)));
        QCOMPARE(QString::fromLatin1(members()[7].name), QStringLiteral("SendsmsA"));
        // Every member is found by its name at its own place, and a method's required
        // arguments lead its parameters.
        for (const MemberInfo &m : members()) {
            QCOMPARE(&member(m.id), &m);
            QCOMPARE(findMember(QString::fromLatin1(m.name)), &m);
            QVERIFY(m.requiredArgs <= m.maxArgs());
            QVERIFY(!m.isProperty || m.params.empty());
        }
        QCOMPARE(member(Member::Dovote_task).maxArgs(), 18);
        QCOMPARE(member(Member::SendsmsA).requiredArgs, 3);
        QVERIFY(findMember(QStringLiteral("Dovote_task")));
        QVERIFY(!findMember(QStringLiteral("sendsmsa")));
        QVERIFY(isWorkerClass(QStringLiteral("{47e6c1f2-d9ed-481c-a3e0-e0ac10cf47cf}")));
        QVERIFY(isWorkerClass(QStringLiteral("47E6C1F2-D9ED-481C-A3E0-E0AC10CF47CF")));
        QVERIFY(isWorkerClass(QStringLiteral("QXGate.QXSms")));
        QVERIFY(!isWorkerClass(QStringLiteral("{FD73F055-F562-4BE0-B35B-DA9003150FC1}")));
        QCOMPARE(errorText(errors::kServerUnavailable),
                 QStringLiteral("The remote server machine does not exist or is unavailable"));
    }
};

QTEST_APPLESS_MAIN(TestWorkerProtocol)
#include "tst_worker_protocol.moc"
