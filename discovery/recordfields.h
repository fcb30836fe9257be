#pragma once

// Reading and writing the fixed-width text fields of the library's records.
// A field is a byte span that should hold a zero-terminated Latin-1 string;
// these helpers never read or write outside the span, and a written field is
// always terminated inside it. The byte-level copy is the library's own
// (vosk/recordtext.h); this adds the Latin-1 texts the tool shows.

#include "vosk/recordtext.h"

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace VOSK {

using VoskNet::copyField;
using VoskNet::fieldBytes;
using VoskNet::fieldLength;
using VoskNet::setFieldBytes;

// The field's text, read as Latin-1 and bounded by the span.
template <std::size_t N>
QString fieldText(const char (&field)[N])
{
    return QString::fromLatin1(field, static_cast<qsizetype>(fieldLength(field, N)));
}

// Copies at most N - 1 bytes of the Latin-1 text into the field, zero-fills
// the rest. Returns false when the text had to be cut.
template <std::size_t N>
bool setFieldText(char (&field)[N], const QString &text)
{
    return setFieldBytes(field, text.toLatin1());
}

} // namespace VOSK
