#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAbstractItemModel;

namespace VoskTool {

// Saves rows of the device list model as a spreadsheet (.xls) with one
// worksheet. The workbook: file `folder` + `fileName` + ".xls"; the sheet
// named as the file (as far as the format allows, see
// XlsWorkbook::sheetNameFor); the first row holds the horizontal header
// texts of every model column but column 0, "Serial Number" named "Device
// Serial Number"; then one row per listed model row, in list order, each
// cell the item's number (aptui::NumberRole, an int) where the model gives
// one, else its lasting text (aptui::LastingTextRole) where the model
// gives one, else its display text; texts with control characters escaped
// as the console escapes them (TerminalText::escape).
//
// The file appears complete or not at all: the workbook is written to a
// temporary file in the same folder and moved into place only when it is
// complete, and never replaces a file that exists by then. A failed export
// leaves nothing behind. On Windows the platform's ODBC driver for Excel
// workbooks writes the temporary file when it is installed; elsewhere, or
// without it, the tool's own writer does.
//
// GUI thread (it reads the model); holds no state between exports.
class ExcelManager final : public QObject
{
    Q_OBJECT

public:
    enum class Result {
        Saved,
        FileExists,   // something took the name: nothing was written there
        WriteFailed,  // folder missing or not writable, disk full, too many rows or columns
    };

    explicit ExcelManager(QObject *parent = nullptr);

    // `folder` ends in a separator. True when the workbook is in place.
    bool exportToExcel(const QString &fileName, const QString &folder, const QAbstractItemModel *model,
                       const QList<int> &rows);
    // The same, telling why not.
    Result save(const QString &fileName, const QString &folder, const QAbstractItemModel *model,
                const QList<int> &rows);

    // Called after the temporary file is complete and before it is moved
    // into place (tests: another program taking the name in between).
    void setBeforeCommitHook(std::function<void()> hook) { m_beforeCommit = std::move(hook); }

    // The column names of the first row, for model columns 1 to N - 1.
    static QStringList columnNames(const QAbstractItemModel *model);
    // The statements the ODBC driver is given: the sheet, then the insert
    // whose placeholders ":2" .. ":N" stand for model columns 1 to N - 1.
    static QString createTableStatement(const QString &sheetName, const QStringList &columnNames);
    static QString insertStatement(const QString &sheetName, const QStringList &columnNames);

private:
#ifdef Q_OS_WIN
    bool writeWithOdbc(const QString &folder, const QString &baseName, const QString &sheetName,
                              const QStringList &names, const QAbstractItemModel *model, const QList<int> &rows);
#endif
    Result commit(const QString &temporaryPath, const QString &path);

    std::function<void()> m_beforeCommit;
};

} // namespace VoskTool
