#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

class QIODevice;

namespace VoskTool {

// A legacy binary workbook (.xls: BIFF8 records in a Compound File Binary
// container, version 3) with one worksheet of text cells, written without
// any office component. Every cell is a shared string; rows are written in
// the order they were added, from row 0, columns from 0.
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

    // Writes the whole file to `device` (open for writing). False when the
    // device refused a write.
    bool write(QIODevice *device) const;
    // The whole file in memory (tests).
    QByteArray toByteArray() const;

private:
    QByteArray workbookStream() const;

    QString m_sheetName;
    QHash<QString, quint32> m_stringIndex;
    QStringList m_strings;               // unique texts, by first use
    QVector<QVector<quint32>> m_rows;    // string indexes per cell
    quint32 m_cellCount = 0;
    int m_columnCount = 0;
};

} // namespace VoskTool
