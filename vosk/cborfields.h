#pragma once

// Bounded CBOR reading and writing helpers for the protocol's maps. Every
// reader checks the type and the bound of what it reads and fails instead of
// guessing; callers drop the whole message on the first failure.

#include <QByteArray>
#include <QCborStreamReader>
#include <QCborStreamWriter>

namespace VoskNet::Cbor {

constexpr int kMaxMapEntries = 24;
// Unknown values may be nested, but not deeply: a peer has no reason to.
// Every container (array or map) and every tag counts one level, however
// short it is: [] is one level, [[[[0]]]] four, [[[[[]]]]] five.
constexpr int kMaxSkipDepth = 4;

inline bool readUInt(QCborStreamReader &reader, quint64 max, quint64 &value)
{
    if (!reader.isUnsignedInteger())
        return false;
    value = reader.toUnsignedInteger();
    if (value > max)
        return false;
    return reader.next();
}

template <typename T>
bool readUIntAs(QCborStreamReader &reader, quint64 max, T &value)
{
    quint64 v = 0;
    if (!readUInt(reader, max, v))
        return false;
    value = static_cast<T>(v);
    return true;
}

inline bool readBool(QCborStreamReader &reader, bool &value)
{
    quint64 v = 0;
    if (!readUInt(reader, 1, v))
        return false;
    value = v != 0;
    return true;
}

// A byte string of minLength..maxLength bytes (chunked strings included).
inline bool readBytes(QCborStreamReader &reader, qsizetype minLength, qsizetype maxLength, QByteArray &out)
{
    if (!reader.isByteArray())
        return false;
    if (reader.isLengthKnown() && reader.length() > quint64(maxLength))
        return false;
    out.clear();
    auto chunk = reader.readByteArray();
    while (chunk.status == QCborStreamReader::Ok) {
        out += chunk.data;
        if (out.size() > maxLength)
            return false;
        chunk = reader.readByteArray();
    }
    return chunk.status == QCborStreamReader::EndOfString && out.size() >= minLength;
}

// Texts travel as byte strings of Latin-1 without a zero byte.
inline bool readText(QCborStreamReader &reader, qsizetype minLength, qsizetype maxLength, QByteArray &out)
{
    return readBytes(reader, minLength, maxLength, out) && !out.contains('\0');
}

// Skips one item whose containers and tags nest at most `levels` deep.
inline bool skipNested(QCborStreamReader &reader, int levels)
{
    if (reader.isContainer()) {
        if (levels <= 0 || !reader.enterContainer())
            return false;
        while (reader.hasNext()) {
            if (!skipNested(reader, levels - 1))
                return false;
        }
        return reader.lastError() == QCborError::NoError && reader.leaveContainer();
    }
    if (reader.isTag()) {
        // The tag alone; the tagged item follows as an item of its own.
        if (levels <= 0 || !reader.next())
            return false;
        return reader.hasNext() && skipNested(reader, levels - 1);
    }
    return reader.next();
}

// Skips the value of an unknown key (at most kMaxSkipDepth levels).
inline bool skip(QCborStreamReader &reader)
{
    return skipNested(reader, kMaxSkipDepth);
}

// Walks a map whose keys are unsigned integers < 64, each at most once,
// calling field(key) positioned at the value. field returns false to fail.
template <typename Field>
bool readMap(QCborStreamReader &reader, Field field)
{
    if (!reader.isMap() || !reader.enterContainer())
        return false;
    quint64 seen = 0;
    int entries = 0;
    while (reader.hasNext()) {
        if (++entries > kMaxMapEntries || !reader.isUnsignedInteger())
            return false;
        const quint64 key = reader.toUnsignedInteger();
        if (key >= 64 || (seen & (quint64(1) << key)))
            return false;
        seen |= quint64(1) << key;
        if (!reader.next() || !field(key))
            return false;
    }
    if (reader.lastError() != QCborError::NoError)
        return false;
    return reader.leaveContainer();
}

inline void writeText(QCborStreamWriter &writer, quint64 key, const QByteArray &text)
{
    writer.append(key);
    writer.appendByteString(text.constData(), text.size());
}

inline void writeUInt(QCborStreamWriter &writer, quint64 key, quint64 value)
{
    writer.append(key);
    writer.append(value);
}

} // namespace VoskNet::Cbor
