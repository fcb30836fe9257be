#include "export/excelmanager.h"

#include "aptui/itemroles.h"
#include "discovery/terminaltext.h"
#include "export/exportlog.h"
#include "export/xlsworkbook.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <QSqlDatabase>
#include <QSqlQuery>
#endif

namespace VoskTool {

namespace {

// A cell as the file keeps it: its number where the model gives one (a
// spreadsheet sums and sorts it), else its lasting text where the model
// gives one (a file keeps what the row is, not what it was doing at the
// moment of the export), else its display text. Texts come from the
// devices: control characters are escaped as the console escapes them, so
// that no cell hides a line break, an escape sequence or a direction
// override.
QVariant cellValue(const QModelIndex &index)
{
    const QVariant number = index.data(aptui::NumberRole);
    if (number.typeId() == QMetaType::Int)
        return number;
    const QVariant lasting = index.data(aptui::LastingTextRole);
    return TerminalText::escape((lasting.isValid() ? lasting : index.data(Qt::DisplayRole)).toString());
}

QVariantList rowCells(const QAbstractItemModel *model, int row)
{
    QVariantList cells;
    const int columns = model->columnCount();
    cells.reserve(columns);
    for (int c = 1; c < columns; ++c)
        cells.append(cellValue(model->index(row, c)));
    return cells;
}

} // namespace

ExcelManager::ExcelManager(QObject *parent)
    : QObject(parent)
{
}

QStringList ExcelManager::columnNames(const QAbstractItemModel *model)
{
    const QString serialNumber = tr("Serial Number");
    QStringList names;
    for (int c = 1; c < model->columnCount(); ++c) {
        const QString name = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        names.append(name == serialNumber ? tr("Device Serial Number") : name);
    }
    return names;
}

QString ExcelManager::createTableStatement(const QString &sheetName, const QStringList &columnNames)
{
    QStringList columns;
    for (const QString &name : columnNames)
        columns.append(QLatin1Char('[') + name + QStringLiteral("] char(64)"));
    return QStringLiteral("CREATE TABLE [%1] (").arg(sheetName) + columns.join(QLatin1Char(',')) + QLatin1Char(')');
}

QString ExcelManager::insertStatement(const QString &sheetName, const QStringList &columnNames)
{
    QStringList quoted;
    QStringList placeholders;
    for (int i = 0; i < columnNames.size(); ++i) {
        quoted.append(QLatin1Char('"') + columnNames.at(i) + QLatin1Char('"'));
        // Model column c = i + 1 has placeholder ":" c + 1.
        placeholders.append(QLatin1Char(':') + QString::number(i + 2));
    }
    return QStringLiteral("INSERT INTO [%1] (").arg(sheetName) + quoted.join(QLatin1Char(','))
           + QStringLiteral(")VALUES(") + placeholders.join(QLatin1Char(',')) + QLatin1Char(')');
}

bool ExcelManager::exportToExcel(const QString &fileName, const QString &folder, const QAbstractItemModel *model,
                                 const QList<int> &rows)
{
    return save(fileName, folder, model, rows) == Result::Saved;
}

ExcelManager::Result ExcelManager::save(const QString &fileName, const QString &folder,
                                        const QAbstractItemModel *model, const QList<int> &rows)
{
    const QString path = folder + fileName + QStringLiteral(".xls");
    if (QFileInfo::exists(path))
        return Result::FileExists;
    const QStringList names = columnNames(model);

#ifdef Q_OS_WIN
    {
        const QString temporary = folder + QStringLiteral("~") + fileName + QStringLiteral(".partial");
        if (writeWithOdbc(folder, QStringLiteral("~") + fileName + QStringLiteral(".partial"), fileName, names,
                          model, rows))
            return commit(temporary + QStringLiteral(".xls"), path);
        QFile::remove(temporary + QStringLiteral(".xls"));
    }
#endif

    // The temporary file lives in the target's folder, so that the final
    // move is a rename within one file system.
    QTemporaryFile temporary(folder + QLatin1Char('.') + fileName + QStringLiteral(".XXXXXX.partial"));
    if (!temporary.open()) {
        qCWarning(lcExport) << "[ExcelManager] cannot create a file in" << QDir::toNativeSeparators(folder)
                            << temporary.errorString();
        return Result::WriteFailed;
    }
    XlsWorkbook workbook(fileName);
    bool complete = workbook.addRow(names);
    for (int i = 0; complete && i < rows.size(); ++i)
        complete = workbook.addCells(rowCells(model, rows.at(i)));
    if (!complete) {
        qCWarning(lcExport) << "[ExcelManager]" << rows.size() << "rows of" << names.size()
                            << "columns do not fit in a workbook sheet";
        return Result::WriteFailed;
    }
    if (!workbook.write(&temporary) || !temporary.flush()) {
        qCWarning(lcExport) << "[ExcelManager] writing failed:" << temporary.errorString();
        return Result::WriteFailed;
    }
    temporary.close();
    // The temporary object removes its file on destruction unless the
    // rename took it away.
    return commit(temporary.fileName(), path);
}

ExcelManager::Result ExcelManager::commit(const QString &temporaryPath, const QString &path)
{
    if (m_beforeCommit)
        m_beforeCommit();
    // QFile::rename never replaces an existing file (it refuses, also when
    // the name was taken after the check above).
    if (QFile::rename(temporaryPath, path))
        return Result::Saved;
    QFile::remove(temporaryPath);
    if (QFileInfo::exists(path))
        return Result::FileExists;
    qCWarning(lcExport) << "[ExcelManager] cannot move the workbook into place:" << QDir::toNativeSeparators(path);
    return Result::WriteFailed;
}

#ifdef Q_OS_WIN
bool ExcelManager::writeWithOdbc(const QString &folder, const QString &baseName, const QString &sheetName,
                                 const QStringList &names, const QAbstractItemModel *model, const QList<int> &rows)
{
    const QString connectionName = QStringLiteral("excelexport");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connectionName);
        if (db.isValid()) {
            db.setDatabaseName(
                QStringLiteral("DRIVER=%1;DSN='';FIRSTROWHASNAMES=1;READONLY=FALSE;CREATE_DB=\"%2.xls\";DBQ=%3.xls")
                    .arg(QStringLiteral("{Microsoft Excel Driver (*.xls)}"), baseName, folder + baseName));
            if (db.open()) {
                QSqlQuery create(db);
                ok = create.prepare(createTableStatement(sheetName, names)) && create.exec();
                QSqlQuery insert(db);
                ok = ok && insert.prepare(insertStatement(sheetName, names));
                for (int i = 0; ok && i < rows.size(); ++i) {
                    const QVariantList cells = rowCells(model, rows.at(i));
                    for (int c = 0; c < cells.size(); ++c)
                        insert.bindValue(QLatin1Char(':') + QString::number(c + 2), cells.at(c).toString());
                    ok = insert.exec();
                }
                db.close();
            }
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    return ok;
}
#endif

} // namespace VoskTool
