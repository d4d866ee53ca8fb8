// Fuzz target for everything that reads modem text above the PDU codec: the line reader (lines,
// finals, notices, the prompt) and the parsers of the replies. A value or an error, never a crash.
#include "control/exchange/line_reader.h"
#include "control/pdu/received_record.h"
#include "control/replies/cnmi.h"
#include "control/replies/cpms.h"
#include "control/replies/listing.h"
#include "control/replies/modem_info_replies.h"
#include "control/replies/reply_fields.h"

#include <cstddef>
#include <cstdint>

using namespace lonvera::control;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromLatin1(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));

    // The reader fed in two pieces, a command written between them, as bytes come off a line.
    LineReader reader;
    reader.beginCommand(u"at+cmgl= 4");
    const qsizetype half = text.size() / 2;
    for (const Notice &n : reader.feed(QStringView(text).first(half))) {
        (void)n.storage();
        (void)n.index();
    }
    reader.beginCommand(u"at+cgmm");
    for (const Notice &n : reader.feed(QStringView(text).sliced(half))) {
        (void)n.storage();
        (void)n.index();
    }
    (void)reader.replyText();

    const Reply reply = parseReply(u"at+cgmm", text);
    (void)parseCgmm(reply);
    (void)parseCgmi(reply);
    (void)parseCgmr(reply);
    (void)parseCgsn(reply);
    (void)parseCscaWhole(reply);
    (void)parseCscaLines(reply);
    (void)parseCscsRead(text);
    (void)parseCpbrRange(text);
    (void)parseCpbrEntries(text);
    (void)parseCnmiMode(text);
    (void)parseCpms(text);
    (void)CpmsField(text, 1);
    (void)CpmsField(text, 2);
    (void)CpmsStorage(text);
    (void)ClccNumber(text);

    static lonvera::pdu::LongParts longParts; // kept across inputs, as a control keeps it
    (void)parseListing(text, longParts, 20, -1, QStringLiteral("now"));
    if (longParts.pendingMessages() > 10000)
        longParts.clear();
    return 0;
}
