#pragma once

#include <QByteArray>
#include <QString>

namespace VoskTool {

// Texts kept one after another in a single byte array, each behind its
// length: a row of texts in one allocation instead of one per text.
// Lossless for every QString: a text whose characters are all Latin-1 takes
// one byte per character, any other its UTF-16 code units (two bytes
// each), so equal texts always pack to equal bytes. The length is a
// variable-length number (one byte up to 63 characters), so a text may be
// of any length; it may also hold zero characters.
//
// Plain functions over the caller's array; any thread.
class PackedTexts final
{
public:
    PackedTexts() = delete;

    // Appends text behind the texts already in packed.
    static void append(QByteArray &packed, const QString &text);
    // The text at that position (0 for the first); a null QString for an
    // empty text and past the last one.
    static QString at(const QByteArray &packed, int position);
    // How many texts packed holds.
    static int count(const QByteArray &packed);

private:
    struct Entry
    {
        const char *data = nullptr;
        qsizetype length = 0; // in characters
        bool wide = false;
    };
    // The entry that starts at offset `at`; false past the end or where the
    // array is cut short. `next` is the offset after it.
    static bool read(const QByteArray &packed, qsizetype at, Entry &entry, qsizetype &next);
};

} // namespace VoskTool
