// Arbitrary send results (modem transcripts): a verdict, never a crash; a refusal code found is
// one the transcript really carries.
#include "control/replies/send_verdict.h"

#include <cstdint>
#include <cstdlib>

using namespace lonvera::control;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const SendVerdict verdict = judgeSendResult(text);
    if (verdict.cmsError > 999 || verdict.reason.isNull() != text.isNull())
        std::abort();
    if (verdict.cmsError >= 0 && !text.contains(QStringLiteral("+CMS ERROR:")))
        std::abort();
    return 0;
}
