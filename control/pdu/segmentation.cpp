// Text -> SMS-SUBMIT PDUs of every part, as written to the modem.
#include "segmentation.h"

#include "address.h"
#include "gsm7_alphabet.h"
#include "hex.h"
#include "tpdu_submit.h"
#include "user_data.h"

#include <algorithm>

namespace lonvera::pdu {

namespace {

constexpr int kSingleGsm7 = 160;
constexpr int kSingleUcs2 = 70;
// 3GPP TS 23.040 9.2.3.24.1: the 6-octet concatenation header leaves 153 septets or 134 octets.
constexpr int kPartGsm7 = 153;
constexpr int kPartUcs2 = 67;
constexpr int kMaxParts = 255;

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    if (begin == 0 && end == text.size())
        return text; // shared, not copied
    return text.sliced(begin, end - begin);
}

QString centrePartHex(const QString &centre, CentreVariant variant)
{
    if (variant == CentreVariant::Default)
        return QStringLiteral("00");
    Address a;
    a.value = QString(centre).remove(QLatin1Char('+'));
    a.type = centre.startsWith(QLatin1Char('+')) || a.value.startsWith(QLatin1String("86")) ? 0x91
                                                                                            : 0x81;
    QByteArray out;
    writeCentreAddress(out, a);
    QString hex = toHex(out);
    return hex.left(4) + hex.sliced(4).toLower();
}

QStringList splitTextAs(const QString &text, bool gsm7)
{
    if (text.size() <= (gsm7 ? kSingleGsm7 : kSingleUcs2))
        return {text};
    const qsizetype capacity = gsm7 ? kPartGsm7 : kPartUcs2;
    QStringList parts;
    parts.reserve((text.size() + capacity - 1) / capacity);
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype n = qMin(capacity, text.size() - pos);
        // An emoji is two UTF-16 units; cutting between them would garble both parts.
        if (pos + n < text.size() && text[pos + n - 1].isHighSurrogate() &&
            text[pos + n].isLowSurrogate())
            --n;
        parts.append(text.sliced(pos, n));
        pos += n;
    }
    return parts;
}

} // namespace

QStringList splitText(QStringView text)
{
    return splitTextAs(text.toString(), isGsm7Text(text));
}

bool IsAsciiText(QStringView text)
{
    return isGsm7Text(text);
}

Result<QList<SubmitPart>> encodeSubmitParts(const SubmitRequest &request, CentreVariant variant)
{
    using R = Result<QList<SubmitPart>>;
    QString destination = QString(request.destination).remove(QLatin1Char('+'));
    if (!isNumeric(destination))
        return R::failure(QStringLiteral("destination is not a number"));
    if (variant == CentreVariant::Explicit && !isNumeric(request.centre))
        return R::failure(QStringLiteral("service-centre number is not a number"));
    if (request.text.isEmpty())
        return R::failure(QStringLiteral("empty text"));
    // Modems that use the SIM's centre want the national mobile form in international format.
    if (variant == CentreVariant::Default && destination.size() == 11 &&
        destination.startsWith(QLatin1String("13")))
        destination.prepend(QLatin1String("86"));

    const bool gsm7 = isGsm7Text(request.text);
    const QStringList texts = splitTextAs(request.text, gsm7);
    if (texts.size() > kMaxParts)
        return R::failure(QStringLiteral("text needs more than 255 parts"));
    const QString centreHex = centrePartHex(request.centre, variant);

    SubmitTpdu submit;
    submit.statusReportRequest = request.statusReport;
    submit.destination.value = destination;
    // A number written with "+" is international whatever its country; "86..." always was.
    const bool international = request.destination.trimmed().startsWith(QLatin1Char('+')) ||
                               destination.startsWith(QLatin1String("86"));
    submit.destination.type = international ? 0x91 : 0x81;
    submit.dcs = gsm7 ? 0x00 : 0x08;
    submit.validityFormat = ValidityFormat::Relative;
    submit.validity = QByteArray(1, char(request.validity));

    QList<SubmitPart> parts;
    parts.reserve(texts.size());
    for (qsizetype k = 0; k < texts.size(); ++k) {
        QByteArray header;
        if (texts.size() > 1)
            header = concatenationHeader({request.reference, int(texts.size()), int(k + 1)});
        const QString partText = gsm7 ? texts[k] : trimBlanks(texts[k]);
        submit.userData =
            makeTextUserData(partText, gsm7 ? Alphabet::Gsm7 : Alphabet::Ucs2, header);
        const QByteArray tpdu = encodeSubmit(submit);
        const qsizetype payloadOctets =
            submit.userData.raw.size() - (header.isEmpty() ? 0 : header.size() + 1);
        // The number's "f" pad goes out in lower case, as our modems have always been given it;
        // some modems only take the default-centre form with lower-case user data.
        const qsizetype numberFrom = 4;
        const qsizetype numberTo = numberFrom + (destination.size() + 1) / 2;
        const qsizetype lowerFrom =
            variant == CentreVariant::Default ? tpdu.size() - payloadOctets : tpdu.size();
        QString hex(centreHex.size() + 2 * tpdu.size(), Qt::Uninitialized);
        QChar *p = std::copy(centreHex.cbegin(), centreHex.cend(), hex.data());
        for (qsizetype i = 0; i < tpdu.size(); ++i) {
            const bool lower = (i >= numberFrom && i < numberTo) || i >= lowerFrom;
            const auto b = quint8(tpdu[i]);
            *p++ = QLatin1Char(hexDigitChar(b >> 4, lower));
            *p++ = QLatin1Char(hexDigitChar(b, lower));
        }
        parts.append(SubmitPart{std::move(hex), int(tpdu.size()), partText});
    }
    return parts;
}

} // namespace lonvera::pdu
