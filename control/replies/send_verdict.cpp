// See send_verdict.h.
#include "control/replies/send_verdict.h"

namespace lonvera::control {

namespace {

const QLatin1String kCmsError("+CMS ERROR:");

} // namespace

int lastCmsError(const QString &transcript)
{
    const qsizetype at = transcript.lastIndexOf(kCmsError);
    if (at < 0)
        return -1;
    qsizetype i = at + kCmsError.size();
    while (i < transcript.size() && transcript.at(i) == QLatin1Char(' '))
        ++i;
    int code = 0;
    int digits = 0;
    // The codes have at most three digits; more is no code we know, and cannot overflow.
    while (i < transcript.size() && transcript.at(i).isDigit() && digits < 4) {
        code = code * 10 + transcript.at(i).digitValue();
        ++digits;
        ++i;
    }
    return digits > 0 && digits <= 3 ? code : -1;
}

SendVerdict judgeSendResult(const QString &result)
{
    SendVerdict verdict;
    verdict.reason = result;
    if (result == QLatin1String("y")) {
        verdict.outcome = SendOutcome::Sent;
        return verdict;
    }
    if (result == QLatin1String("B") || result == QLatin1String("Busy")) {
        verdict.outcome = SendOutcome::Busy;
        return verdict;
    }
    // The control's own texts end its failure text, after whatever the modem said before. Once
    // a part of a long message went, a lost link leaves the rest unknown as well.
    const bool partWent = result.startsWith(kPartlySentPrefix);
    const bool lostLink = result.endsWith(kLinkLostText) || result.endsWith(kSilentText);
    if (result.endsWith(kLinkLostAfterPduText) || result.endsWith(kSilentAfterPduText) ||
        (partWent && lostLink)) {
        verdict.outcome = SendOutcome::OutcomeUnknown;
        return verdict;
    }
    if (result.endsWith(kLinkLostText) || result == kNotConnectedText) {
        verdict.outcome = SendOutcome::LinkLost;
        return verdict;
    }
    if (result.endsWith(kSilentText)) {
        verdict.outcome = SendOutcome::NotResponding;
        return verdict;
    }
    verdict.cmsError = lastCmsError(result);
    if (verdict.cmsError < 0)
        return verdict;
    const QString number = QStringLiteral("(+CMS ERROR: %1)").arg(verdict.cmsError);
    const CmsErrorEntry *entry = cmsErrorEntry(verdict.cmsError);
    if (!entry) {
        verdict.reason = QStringLiteral("发送失败") + number;
        return verdict;
    }
    verdict.reason = QString::fromUtf16(entry->reason) + number;
    switch (entry->refusal) {
    case RefusalClass::Permanent:
        verdict.outcome = SendOutcome::Refused;
        break;
    case RefusalClass::Temporary:
        verdict.outcome = SendOutcome::Temporary;
        break;
    case RefusalClass::Unknown:
        break;
    }
    return verdict;
}

bool endsTheAttempts(SendOutcome outcome)
{
    switch (outcome) {
    case SendOutcome::LinkLost:
    case SendOutcome::NotResponding:
    case SendOutcome::OutcomeUnknown:
    case SendOutcome::Refused:
        return true;
    default:
        return false;
    }
}

} // namespace lonvera::control
