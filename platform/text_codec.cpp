// UTF-8 / GB18030 detection and conversion over glibc's iconv. See text_codec.h.
#include "platform/text_codec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <iconv.h>

namespace lonvera::platform {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

QByteArray convert(const QByteArray &input, const char *to, const char *from)
{
    iconv_t cd = iconv_open(to, from);
    // iconv_open says it failed with this very value.
    if (cd == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr)
        return {};
    QByteArray output(input.size() * 4 + 16, Qt::Uninitialized);
    char *in = const_cast<char *>(input.constData());
    size_t inLeft = static_cast<size_t>(input.size());
    char *out = output.data();
    size_t outLeft = static_cast<size_t>(output.size());
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            continue;
        if (errno == EILSEQ || errno == EINVAL) {
            // An invalid byte is dropped rather than ending the conversion: a damaged settings
            // file should still give up the rest of its text.
            ++in;
            --inLeft;
            continue;
        }
        break; // E2BIG cannot happen with a fourfold buffer
    }
    iconv_close(cd);
    output.truncate(output.size() - static_cast<qsizetype>(outLeft));
    return output;
}

} // namespace

DecodedText decodeFileText(const QByteArray &bytes)
{
    DecodedText result;
    QByteArray body = bytes;
    if (body.startsWith(kUtf8Bom)) {
        result.hadBom = true;
        body.remove(0, kUtf8Bom.size());
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(body);
    if (!utf8.hasError() || result.hadBom) {
        result.text = text;
        return result;
    }
    result.text = fromGb18030(body);
    result.encoding = TextEncoding::Gb18030;
    return result;
}

QByteArray encodeFileText(const QString &text, TextEncoding encoding, bool withBom)
{
    if (encoding == TextEncoding::Gb18030)
        return toGb18030(text);
    QByteArray bytes = text.toUtf8();
    if (withBom)
        bytes.prepend(kUtf8Bom);
    return bytes;
}

QByteArray toGb18030(const QString &text)
{
    return convert(text.toUtf8(), "GB18030", "UTF-8");
}

QString fromGb18030(const QByteArray &bytes)
{
    return QString::fromUtf8(convert(bytes, "UTF-8", "GB18030"));
}

} // namespace lonvera::platform
