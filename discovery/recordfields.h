#pragma once

// Reading and writing the fixed-width text fields of the library's records.
// A field is a byte span that should hold a zero-terminated Latin-1 string;
// these helpers never read or write outside the span, and a written field is
// always terminated inside it.

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace VOSK {

// Length of the text in a span: up to the first zero byte, or the whole span
// when it has none.
inline std::size_t fieldLength(const char *field, std::size_t width)
{
    const void *end = std::memchr(field, 0, width);
    return end ? static_cast<std::size_t>(static_cast<const char *>(end) - field) : width;
}

// The field's text, read as Latin-1 and bounded by the span.
template <std::size_t N>
QString fieldText(const char (&field)[N])
{
    return QString::fromLatin1(field, static_cast<qsizetype>(fieldLength(field, N)));
}

template <std::size_t N>
QByteArray fieldBytes(const char (&field)[N])
{
    return QByteArray(field, static_cast<qsizetype>(fieldLength(field, N)));
}

// Copies at most N - 1 bytes of text into the field, zero-fills the rest.
// Returns false when the text had to be cut.
template <std::size_t N>
bool setFieldBytes(char (&field)[N], const QByteArray &text)
{
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(text.size()), N - 1);
    std::memset(field, 0, N);
    std::memcpy(field, text.constData(), length);
    return length == static_cast<std::size_t>(text.size());
}

template <std::size_t N>
bool setFieldText(char (&field)[N], const QString &text)
{
    return setFieldBytes(field, text.toLatin1());
}

// Copies a text field of one width into a field of another: at most the
// source's text, cut to fit and always terminated in the destination.
template <std::size_t To, std::size_t From>
void copyField(char (&to)[To], const char (&from)[From])
{
    const std::size_t length = std::min(fieldLength(from, From), To - 1);
    std::memset(to, 0, To);
    std::memcpy(to, from, length);
}

} // namespace VOSK
