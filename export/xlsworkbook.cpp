#include "export/xlsworkbook.h"

#include <QBuffer>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <initializer_list>

namespace VoskTool {

namespace {

// Record ids.
constexpr quint16 kBof = 0x0809;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kCodePage = 0x0042;
constexpr quint16 kWindow1 = 0x003D;
constexpr quint16 kFont = 0x0031;
constexpr quint16 kXf = 0x00E0;
constexpr quint16 kStyle = 0x0293;
constexpr quint16 kBoundSheet = 0x0085;
constexpr quint16 kSst = 0x00FC;
constexpr quint16 kContinue = 0x003C;
constexpr quint16 kExtSst = 0x00FF;
constexpr quint16 kWsBool = 0x0081;
constexpr quint16 kDimensions = 0x0200;
constexpr quint16 kLabelSst = 0x00FD;
constexpr quint16 kRk = 0x027E;
constexpr quint16 kWindow2 = 0x023E;

// The largest record body a reader must accept.
constexpr int kMaxRecordData = 8224;
// Cells use the first cell format after the 15 style formats.
constexpr quint16 kCellXf = 15;

// Compound file constants.
constexpr int kSectorSize = 512;
constexpr int kEntriesPerFatSector = kSectorSize / 4;
constexpr int kHeaderDifatSlots = 109;
constexpr int kDifatEntriesPerSector = kEntriesPerFatSector - 1; // last one chains
constexpr quint32 kFreeSector = 0xFFFFFFFF;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFatSector = 0xFFFFFFFD;
constexpr quint32 kDifatSector = 0xFFFFFFFC;
constexpr quint32 kNoStream = 0xFFFFFFFF;
// Streams smaller than this would be looked for in the mini stream, which
// this writer does not make.
constexpr int kMiniStreamCutoff = 4096;

void put8(QByteArray &out, quint8 value)
{
    out.append(static_cast<char>(value));
}

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void set32(QByteArray &out, int at, quint32 value)
{
    qToLittleEndian(value, out.data() + at);
}

void putRecord(QByteArray &out, quint16 id, const QByteArray &data)
{
    Q_ASSERT(data.size() <= kMaxRecordData);
    put16(out, id);
    put16(out, static_cast<quint16>(data.size()));
    out.append(data);
}

// Latin-1 texts are stored one byte a character, anything else as UTF-16.
bool fitsLatin1(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

void putChars(QByteArray &out, const QChar *chars, int count, bool compressed)
{
    const qsizetype at = out.size();
    out.resize(at + count * (compressed ? 1 : 2));
    char *to = out.data() + at;
    if (compressed) {
        for (int i = 0; i < count; ++i)
            to[i] = static_cast<char>(chars[i].unicode());
    } else {
        qToLittleEndian<quint16>(chars, count, to);
    }
}

// A short string: 1-byte length, option flags, characters.
void putShortString(QByteArray &out, const QString &text)
{
    const bool compressed = fitsLatin1(text);
    put8(out, static_cast<quint8>(text.size()));
    put8(out, compressed ? 0 : 1);
    putChars(out, text.constData(), text.size(), compressed);
}

QByteArray bof(quint16 type)
{
    QByteArray data;
    put16(data, 0x0600); // BIFF8
    put16(data, type);
    put16(data, 0x0DBB);
    put16(data, 0x07CC);
    put32(data, 0);
    put32(data, 6);
    return data;
}

QByteArray font()
{
    QByteArray data;
    put16(data, 200); // 10 points, in twips
    put16(data, 0);
    put16(data, 0x7FFF);
    put16(data, 400);
    put16(data, 0);
    put8(data, 0);
    put8(data, 0);
    put8(data, 0);
    put8(data, 0);
    putShortString(data, QStringLiteral("Arial"));
    return data;
}

QByteArray xf(bool styleXf)
{
    QByteArray data;
    put16(data, 0);                           // font
    put16(data, 0);                           // number format: General
    put16(data, styleXf ? 0xFFF5 : 0x0001);   // style XF / cell XF of style 0, locked
    put8(data, 0x20);                         // bottom aligned
    put8(data, 0);
    put8(data, 0);
    put8(data, styleXf ? 0xF4 : 0);
    put32(data, 0);                           // borders
    put32(data, 0);
    put16(data, 0x20C0);                      // pattern colours
    return data;
}

// The shared string table, split into SST and CONTINUE records, with the
// positions an EXTSST needs.
class SstWriter
{
public:
    SstWriter(quint32 references, const QStringList &strings)
    {
        m_records.append(QByteArray());
        put32(m_records.last(), references);
        put32(m_records.last(), static_cast<quint32>(strings.size()));
        m_bucketSize = strings.size() < 1024 ? 8 : 1 + strings.size() / 128;
        for (int i = 0; i < strings.size(); ++i)
            add(strings.at(i), i % m_bucketSize == 0);
    }

    // Appends SST, its CONTINUEs and EXTSST to `out`, whose current size is
    // the stream offset where they start.
    void appendTo(QByteArray &out) const
    {
        QVector<int> recordStart;
        for (int i = 0; i < m_records.size(); ++i) {
            recordStart.append(out.size());
            putRecord(out, i == 0 ? kSst : kContinue, m_records.at(i));
        }
        QByteArray ext;
        put16(ext, static_cast<quint16>(m_bucketSize));
        for (const Mark &mark : m_marks) {
            put32(ext, static_cast<quint32>(recordStart.at(mark.record) + 4 + mark.offset));
            put16(ext, static_cast<quint16>(4 + mark.offset));
            put16(ext, 0);
        }
        putRecord(out, kExtSst, ext);
    }

private:
    struct Mark
    {
        int record;
        int offset; // in the record's data
    };

    int room() const { return kMaxRecordData - m_records.last().size(); }

    void add(const QString &text, bool marked)
    {
        const bool compressed = fitsLatin1(text);
        const int charSize = compressed ? 1 : 2;
        // Header and first character (both halves of a surrogate pair)
        // share a record.
        const int firstUnits = text.isEmpty() ? 0 : (text.at(0).isHighSurrogate() ? 2 : 1);
        if (room() < 3 + firstUnits * charSize)
            m_records.append(QByteArray());
        if (marked)
            m_marks.append({int(m_records.size() - 1), int(m_records.last().size())});
        put16(m_records.last(), static_cast<quint16>(text.size()));
        put8(m_records.last(), compressed ? 0 : 1);

        const QChar *chars = text.constData();
        int left = text.size();
        while (left > 0) {
            int count = std::min(left, room() / charSize);
            // A surrogate pair is never split between records.
            if (count < left && count > 0 && chars[count - 1].isHighSurrogate())
                --count;
            putChars(m_records.last(), chars, count, compressed);
            chars += count;
            left -= count;
            if (left > 0) {
                // Characters carried over begin with their option flags.
                m_records.append(QByteArray());
                put8(m_records.last(), compressed ? 0 : 1);
            }
        }
    }

    QVector<QByteArray> m_records;
    QVector<Mark> m_marks;
    int m_bucketSize = 8;
};

int ceilDiv(int a, int b)
{
    return (a + b - 1) / b;
}

QByteArray directoryEntry(const QString &name, quint8 type, quint32 child, quint32 start, quint32 size)
{
    QByteArray entry;
    for (const QChar c : name)
        put16(entry, c.unicode());
    entry.append(64 - entry.size(), '\0');
    put16(entry, static_cast<quint16>(name.isEmpty() ? 0 : (name.size() + 1) * 2));
    put8(entry, type);
    put8(entry, type == 0 ? 0 : 1); // black, for entries in use
    put32(entry, kNoStream);
    put32(entry, kNoStream);
    put32(entry, child);
    entry.append(16 + 4 + 8 + 8, '\0'); // class id, state, times
    put32(entry, start);
    put32(entry, size);
    put32(entry, 0);
    return entry;
}

} // namespace

QString XlsWorkbook::sheetNameFor(const QString &name)
{
    QString result = name;
    for (QChar &c : result) {
        if (QStringLiteral(":\\/?*[]").contains(c))
            c = QLatin1Char('_');
    }
    while (result.startsWith(QLatin1Char('\'')))
        result.remove(0, 1);
    if (result.size() > MaxSheetNameLength) {
        int length = MaxSheetNameLength;
        if (result.at(length - 1).isHighSurrogate())
            --length;
        result.truncate(length);
    }
    while (result.endsWith(QLatin1Char('\'')))
        result.chop(1);
    if (result.isEmpty())
        result = QStringLiteral("Sheet1");
    return result;
}

XlsWorkbook::XlsWorkbook(const QString &sheetName)
    : m_sheetName(sheetNameFor(sheetName))
{
}

bool XlsWorkbook::addRow(const QStringList &cells)
{
    QVariantList values;
    values.reserve(cells.size());
    for (const QString &cell : cells)
        values.append(cell);
    return addCells(values);
}

bool XlsWorkbook::addCells(const QVariantList &cells)
{
    if (m_rows.size() >= MaxRows || cells.size() > MaxColumns)
        return false;
    auto isNumber = [](const QVariant &cell) {
        return cell.typeId() == QMetaType::Int && cell.toInt() >= MinNumber && cell.toInt() <= MaxNumber;
    };
    for (const QVariant &cell : cells) {
        if (!isNumber(cell) && cell.toString().size() > MaxCellLength)
            return false;
    }
    QVector<Cell> row;
    row.reserve(cells.size());
    for (const QVariant &cell : cells) {
        if (isNumber(cell)) {
            // An RK value: the integer shifted left by two, bit 1 set
            // ("integer"), bit 0 clear (not divided by 100).
            row.append(Cell{(static_cast<quint32>(cell.toInt()) << 2) | 0x2u, true});
            continue;
        }
        const QString text = cell.toString();
        auto it = m_stringIndex.constFind(text);
        if (it == m_stringIndex.cend()) {
            it = m_stringIndex.insert(text, static_cast<quint32>(m_strings.size()));
            m_strings.append(text);
        }
        row.append(Cell{it.value(), false});
        ++m_textCellCount;
    }
    m_cellCount += static_cast<quint32>(row.size());
    m_columnCount = std::max(m_columnCount, int(row.size()));
    m_rows.append(std::move(row));
    return true;
}

QByteArray XlsWorkbook::workbookStream() const
{
    QByteArray out;
    out.reserve(4096 + m_cellCount * 14 + m_strings.size() * 24);

    // Workbook globals.
    putRecord(out, kBof, bof(0x0005));
    {
        QByteArray data;
        put16(data, 1200); // UTF-16
        putRecord(out, kCodePage, data);
    }
    {
        QByteArray data;
        for (quint16 value : {0, 0, 0x3000, 0x2000, 0x0038, 0, 0, 1, 600})
            put16(data, value);
        putRecord(out, kWindow1, data);
    }
    // Font index 4 does not exist in this format: five fonts give 0-3 and 5.
    for (int i = 0; i < 5; ++i)
        putRecord(out, kFont, font());
    for (int i = 0; i < 15; ++i)
        putRecord(out, kXf, xf(true));
    putRecord(out, kXf, xf(false));
    {
        QByteArray data;
        put16(data, 0x8000);
        put8(data, 0);
        put8(data, 0xFF);
        putRecord(out, kStyle, data);
    }
    int sheetOffsetAt = 0;
    {
        QByteArray data;
        put32(data, 0); // patched below
        put8(data, 0);
        put8(data, 0);
        putShortString(data, m_sheetName);
        sheetOffsetAt = out.size() + 4;
        putRecord(out, kBoundSheet, data);
    }
    SstWriter(m_textCellCount, m_strings).appendTo(out);
    putRecord(out, kEof, QByteArray());
    set32(out, sheetOffsetAt, static_cast<quint32>(out.size()));

    // The worksheet.
    putRecord(out, kBof, bof(0x0010));
    {
        QByteArray data;
        put16(data, 0x04C1);
        putRecord(out, kWsBool, data);
    }
    {
        QByteArray data;
        put32(data, 0);
        put32(data, static_cast<quint32>(m_rows.size()));
        put16(data, 0);
        put16(data, static_cast<quint16>(m_columnCount));
        put16(data, 0);
        putRecord(out, kDimensions, data);
    }
    // The cells, 14 bytes each (LABELSST and RK have the same layout),
    // written in place.
    qsizetype at = out.size();
    out.resize(at + qsizetype(m_cellCount) * 14);
    for (int r = 0; r < m_rows.size(); ++r) {
        const QVector<Cell> &row = m_rows.at(r);
        for (int c = 0; c < row.size(); ++c) {
            char *cell = out.data() + at;
            qToLittleEndian<quint16>(row.at(c).number ? kRk : kLabelSst, cell);
            qToLittleEndian<quint16>(10, cell + 2);
            qToLittleEndian<quint16>(static_cast<quint16>(r), cell + 4);
            qToLittleEndian<quint16>(static_cast<quint16>(c), cell + 6);
            qToLittleEndian<quint16>(kCellXf, cell + 8);
            qToLittleEndian<quint32>(row.at(c).value, cell + 10);
            at += 14;
        }
    }
    {
        QByteArray data;
        put16(data, 0x06B6);
        put16(data, 0);
        put16(data, 0);
        put16(data, 0x40);
        put16(data, 0);
        put16(data, 0);
        put16(data, 0);
        put32(data, 0);
        putRecord(out, kWindow2, data);
    }
    putRecord(out, kEof, QByteArray());

    // Readers look for streams under the cutoff in the mini stream.
    const int padded = std::max(kMiniStreamCutoff, ceilDiv(out.size(), kMiniStreamCutoff) * kMiniStreamCutoff);
    out.append(padded - out.size(), '\0');
    return out;
}

bool XlsWorkbook::write(QIODevice *device) const
{
    const QByteArray stream = workbookStream();
    const int streamSectors = stream.size() / kSectorSize;

    // The FAT must also describe its own sectors, the DIFAT sectors and the
    // directory sector: grow the counts until they describe themselves.
    int fatSectors = 1;
    int difatSectors = 0;
    for (;;) {
        const int neededDifat = std::max(0, ceilDiv(fatSectors - kHeaderDifatSlots, kDifatEntriesPerSector));
        const int total = streamSectors + fatSectors + neededDifat + 1;
        const int neededFat = ceilDiv(total, kEntriesPerFatSector);
        if (neededFat == fatSectors && neededDifat == difatSectors)
            break;
        fatSectors = std::max(fatSectors, neededFat);
        difatSectors = neededDifat;
    }
    const quint32 firstFat = static_cast<quint32>(streamSectors);
    const quint32 firstDifat = firstFat + static_cast<quint32>(fatSectors);
    const quint32 directorySector = firstDifat + static_cast<quint32>(difatSectors);

    QByteArray header;
    header.reserve(kSectorSize);
    header.append("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.append(16, '\0');
    put16(header, 0x003E);
    put16(header, 3);
    put16(header, 0xFFFE);
    put16(header, 9);
    put16(header, 6);
    header.append(6, '\0');
    put32(header, 0);
    put32(header, static_cast<quint32>(fatSectors));
    put32(header, directorySector);
    put32(header, 0);
    put32(header, kMiniStreamCutoff);
    put32(header, kEndOfChain);
    put32(header, 0);
    put32(header, difatSectors > 0 ? firstDifat : kEndOfChain);
    put32(header, static_cast<quint32>(difatSectors));
    for (int i = 0; i < kHeaderDifatSlots; ++i)
        put32(header, i < fatSectors ? firstFat + static_cast<quint32>(i) : kFreeSector);

    QByteArray fat;
    fat.reserve(fatSectors * kSectorSize);
    for (int i = 0; i < streamSectors; ++i)
        put32(fat, i + 1 < streamSectors ? static_cast<quint32>(i + 1) : kEndOfChain);
    for (int i = 0; i < fatSectors; ++i)
        put32(fat, kFatSector);
    for (int i = 0; i < difatSectors; ++i)
        put32(fat, kDifatSector);
    put32(fat, kEndOfChain); // the directory
    while (fat.size() < fatSectors * kSectorSize)
        put32(fat, kFreeSector);

    QByteArray difat;
    for (int s = 0; s < difatSectors; ++s) {
        for (int i = 0; i < kDifatEntriesPerSector; ++i) {
            const int fatIndex = kHeaderDifatSlots + s * kDifatEntriesPerSector + i;
            put32(difat, fatIndex < fatSectors ? firstFat + static_cast<quint32>(fatIndex) : kFreeSector);
        }
        put32(difat, s + 1 < difatSectors ? firstDifat + static_cast<quint32>(s + 1) : kEndOfChain);
    }

    QByteArray directory;
    directory.append(directoryEntry(QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0));
    directory.append(directoryEntry(QStringLiteral("Workbook"), 2, kNoStream, 0, static_cast<quint32>(stream.size())));
    while (directory.size() < kSectorSize)
        directory.append(directoryEntry(QString(), 0, kNoStream, 0, 0));

    for (const QByteArray *part : std::initializer_list<const QByteArray *>{&header, &stream, &fat, &difat, &directory}) {
        if (device->write(*part) != part->size())
            return false;
    }
    return true;
}

QByteArray XlsWorkbook::toByteArray() const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    write(&buffer);
    return bytes;
}

} // namespace VoskTool
