#include "devicelist/packedtexts.h"

#include <algorithm>
#include <cstring>

namespace VoskTool {

void PackedTexts::append(QByteArray &packed, const QString &text)
{
    const qsizetype length = text.size();
    const bool wide = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xFF; });
    // The length and the width flag, seven bits a byte, lowest first.
    quint64 header = (static_cast<quint64>(length) << 1) | (wide ? 1 : 0);
    do {
        const char bits = static_cast<char>(header & 0x7F);
        header >>= 7;
        packed.append(static_cast<char>(bits | (header ? 0x80 : 0)));
    } while (header);
    if (wide) {
        packed.append(reinterpret_cast<const char *>(text.constData()), length * qsizetype(sizeof(QChar)));
        return;
    }
    const qsizetype at = packed.size();
    packed.resize(at + length);
    char *out = packed.data() + at;
    for (QChar c : text)
        *out++ = static_cast<char>(c.unicode());
}

bool PackedTexts::read(const QByteArray &packed, qsizetype at, Entry &entry, qsizetype &next)
{
    quint64 header = 0;
    int shift = 0;
    while (true) {
        if (at >= packed.size() || shift > 56)
            return false;
        const auto byte = static_cast<quint8>(packed.at(at++));
        header |= static_cast<quint64>(byte & 0x7F) << shift;
        shift += 7;
        if (!(byte & 0x80))
            break;
    }
    entry.wide = header & 1;
    entry.length = static_cast<qsizetype>(header >> 1);
    const qsizetype bytes = entry.length * (entry.wide ? qsizetype(sizeof(QChar)) : 1);
    if (bytes < 0 || bytes > packed.size() - at)
        return false;
    entry.data = packed.constData() + at;
    next = at + bytes;
    return true;
}

QString PackedTexts::at(const QByteArray &packed, int position)
{
    Entry entry;
    qsizetype offset = 0;
    for (int i = 0;; ++i) {
        qsizetype next = 0;
        if (!read(packed, offset, entry, next))
            return QString();
        if (i == position)
            break;
        offset = next;
    }
    if (entry.length == 0)
        return QString();
    if (!entry.wide)
        return QString::fromLatin1(entry.data, entry.length);
    // The bytes need not be aligned for QChar.
    QString text(entry.length, Qt::Uninitialized);
    std::memcpy(text.data(), entry.data, static_cast<std::size_t>(entry.length) * sizeof(QChar));
    return text;
}

int PackedTexts::count(const QByteArray &packed)
{
    Entry entry;
    qsizetype offset = 0;
    int texts = 0;
    for (qsizetype next = 0; read(packed, offset, entry, next); offset = next)
        ++texts;
    return texts;
}

} // namespace VoskTool
