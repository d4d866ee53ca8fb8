// Encode and decode of a 160-character 7-bit text, a 70-character UCS2 text and a 5-part long
// text; every figure is nanoseconds per PDU (the counter "ns/PDU").
#include "lonvera_pdu.h"

#include <benchmark/benchmark.h>

using namespace lonvera::pdu;

namespace {

SubmitRequest requestFor(const QString &text)
{
    SubmitRequest r;
    r.text = text;
    r.destination = QStringLiteral("+8613912345678");
    r.centre = QStringLiteral("+8613800100500");
    r.reference = 7;
    return r;
}

QString gsmText()
{
    return QString(160, QLatin1Char('a'));
}
QString ucs2Text()
{
    return QString(70, QChar(0x4E2D));
}
QString longText()
{
    return QString(5 * 153, QLatin1Char('b')); // five 7-bit parts
}

void encode(benchmark::State &state, const QString &text)
{
    const SubmitRequest r = requestFor(text);
    qsizetype pdus = 0;
    for ([[maybe_unused]] auto _ : state) {
        const auto parts = encodeSubmitParts(r, CentreVariant::Explicit);
        benchmark::DoNotOptimize(parts);
        pdus += parts->size();
    }
    // Seconds per (PDU / 1e9) is nanoseconds per PDU.
    state.counters["ns/PDU"] = benchmark::Counter(
        double(pdus) / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The PDUs as a modem lists them: each SUBMIT's user data delivered unchanged.
QStringList listedPdus(const QString &text)
{
    QStringList out;
    const auto parts = encodeSubmitParts(requestFor(text), CentreVariant::Explicit);
    for (const SubmitPart &part : *parts) {
        const auto submit = decodePduHex(part.pdu);
        Pdu pdu;
        pdu.centre = addressFromNumber(u"+8613800100500");
        DeliverTpdu d;
        d.originator = addressFromNumber(u"+8613912345678");
        d.dcs = submit->submit()->dcs;
        d.centreTime = Timestamp::fromFields(26, 12, 7, 10, 20, 30);
        d.userData = submit->submit()->userData;
        pdu.tpdu = d;
        out.append(toHex(encodePdu(pdu)));
    }
    return out;
}

void decode(benchmark::State &state, const QString &text)
{
    const QStringList lines = listedPdus(text);
    const QString now = QStringLiteral("2026-12-08 09:00:00");
    LongParts longParts;
    qsizetype pdus = 0;
    for ([[maybe_unused]] auto _ : state) {
        for (const QString &line : lines) {
            const ReceivedMessage m = DecodePdu(line, longParts, now);
            benchmark::DoNotOptimize(m);
        }
        pdus += lines.size();
    }
    // Seconds per (PDU / 1e9) is nanoseconds per PDU.
    state.counters["ns/PDU"] = benchmark::Counter(
        double(pdus) / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK_CAPTURE(encode, gsm7_160, gsmText());
BENCHMARK_CAPTURE(encode, ucs2_70, ucs2Text());
BENCHMARK_CAPTURE(encode, long_5_parts, longText());
BENCHMARK_CAPTURE(decode, gsm7_160, gsmText());
BENCHMARK_CAPTURE(decode, ucs2_70, ucs2Text());
BENCHMARK_CAPTURE(decode, long_5_parts, longText());

BENCHMARK_MAIN();
