#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class QIODevice;

namespace VoskTool {

// A legacy binary workbook (.xls: BIFF8 records in a Compound File Binary
// container, version 3) with one worksheet of text and whole-number cells,
// written without any office component. A text cell is a shared string, a
// number an RK value (a spreadsheet sums and sorts it as a number); rows
// are written in the order they were added, from row 0, columns from 0.
//
// Build it row by row, then write() it once. No state is shared between
// objects; one object belongs to one thread.
class XlsWorkbook final
{
public:
    // Limits of the format.
    static constexpr int MaxRows = 65536;
    static constexpr int MaxColumns = 256;
    static constexpr int MaxCellLength = 32767; // UTF-16 code units
    static constexpr int MaxSheetNameLength = 31;

    // A name the format accepts for the worksheet, as close to `name` as it
    // allows: ':', '\\', '/', '?', '*', '[' and ']' become '_', apostrophes
    // at either end are dropped, the rest is cut at MaxSheetNameLength
    // (never inside a surrogate pair); an empty result becomes "Sheet1".
    static QString sheetNameFor(const QString &name);

    // The sheet name goes through sheetNameFor().
    explicit XlsWorkbook(const QString &sheetName);

    QString sheetName() const { return m_sheetName; }
    int rowCount() const { return m_rows.size(); }

    // Appends one row of cell texts. False, and nothing added, when the
    // sheet is full (MaxRows), the row has more than MaxColumns cells or a
    // text is longer than MaxCellLength.
    bool addRow(const QStringList &cells);
    // The same with cells that are numbers: a QVariant holding an int
    // between MinNumber and MaxNumber is written as a number, anything else
    // as its text (QVariant::toString()).
    bool addCells(const QVariantList &cells);
    static constexpr int MinNumber = -(1 << 29);
    static constexpr int MaxNumber = (1 << 29) - 1;

    // Writes the whole file to `device` (open for writing). False when the
    // device refused a write.
    bool write(QIODevice *device) const;
    // The whole file in memory (tests).
    QByteArray toByteArray() const;

private:
    QByteArray workbookStream() const;

    QString m_sheetName;
    struct Cell
    {
        quint32 value;  // a string index, or the RK value of a number
        bool number;
    };

    QHash<QString, quint32> m_stringIndex;
    QStringList m_strings;               // unique texts, by first use
    QVector<QVector<Cell>> m_rows;
    quint32 m_cellCount = 0;
    quint32 m_textCellCount = 0;         // cells that refer to a string
    int m_columnCount = 0;
};

} // namespace VoskTool
