// Text in files written on Chinese Windows machines: UTF-8 where it is valid, otherwise the
// Chinese Windows code page (read as GB18030, its superset). Pure functions; any thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace lonvera::platform {

enum class TextEncoding { Utf8, Gb18030 };

struct DecodedText
{
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
    bool hadBom = false;
};

/// Decodes file contents: valid UTF-8 (with or without a byte-order mark) as UTF-8, else GB18030.
DecodedText decodeFileText(const QByteArray &bytes);

/// Encodes text for a file in the given encoding.
QByteArray encodeFileText(const QString &text, TextEncoding encoding, bool withBom = false);

/// The text in the Chinese Windows code page, where a byte count in that code page matters.
QByteArray toGb18030(const QString &text);
QString fromGb18030(const QByteArray &bytes);

} // namespace lonvera::platform
