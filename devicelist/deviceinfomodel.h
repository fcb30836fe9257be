#pragma once

#include "devicelist/devicecolumn.h"
#include "discovery/devicekey.h"
#include "vosk/vosk.h"

#include <QDomDocument>
#include <QHash>
#include <QStandardItemModel>
#include <QString>
#include <QVector>

#include <functional>

namespace VoskTool {

// The table model of the online devices: one row per device, 22 columns
// (DeviceColumn), cell texts made from a VOSK_DEVICE_INFO. Each row carries
// its DeviceKey in DeviceKeyRole on its check-column item; rows are found by
// that key through a hash index, never by reading cell texts back. The index
// follows every insertion, removal, sort and reset of the model, whoever
// makes it.
//
// The model column of each logical column comes from ColumnConfig.xml,
// read once at construction; moveColumn() rewrites that file for a header
// drag, so the new order takes effect at the next start. The model always
// has 22 valid, distinct columns: unusable entries of the file fall back to
// their logical id (or, when that is taken, the first free column).
// Construction and every save remove the temporaries that an interrupted
// save left beside the file ("ColumnConfig.xml.XXXXXX").
//
// GUI thread only.
class DeviceInfoModel final : public QStandardItemModel
{
    Q_OBJECT

public:
    // Role on the check column's header: 1 asks the toolkit's table view to
    // draw a check box there that checks or unchecks every row.
    static constexpr int HeaderCheckRole = 162;
    // Role on each row's check-column item: the row's DeviceKey.
    static constexpr int DeviceKeyRole = Qt::UserRole + 1;

    // The translated cell texts, looked up once at construction instead of
    // once per cell.
    struct CellTexts
    {
        QString yes, no, on, off, notAvailable, activated, notActivated;
    };

    // Uses defaultConfigPath().
    explicit DeviceInfoModel(QObject *parent = nullptr);
    // Uses the given ColumnConfig.xml (tests use temporary folders).
    explicit DeviceInfoModel(const QString &configPath, QObject *parent = nullptr);

    // The model column showing logical column id (0..21); -1 for any other id.
    int columnIndex(int id) const;

    // Appends one row, check box unticked, ID = new row count ("%03d").
    void addDevice(const VOSK_DEVICE_INFO &record);
    // Removes the row with the record's key and renumbers the IDs of the rows
    // after it by position. An unknown key changes nothing.
    void removeDevice(const VOSK_DEVICE_INFO &record);
    // Rewrites the texts of the row with the record's key (all but the check
    // box and the ID). An unknown key changes nothing.
    void updateDevice(const VOSK_DEVICE_INFO &record);
    // The topmost row with that key, or -1. Constant time, but for the
    // first call after a sort or a move of rows (linear).
    int rowOf(const DeviceKey &key) const;
    int rowOf(const QString &serialNumber, const QString &mac) const;
    // The key of a row; an empty key for a row out of range or without one.
    DeviceKey keyAt(int row) const;

    // Reads configPath() into the column map (at construction) and into the
    // document that moveColumn() rewrites. False when the file is missing,
    // unreadable or not XML; the map then holds the default order. Entries
    // out of range or repeated also fall back; see the class comment.
    // Calling it again later re-reads the document only: the column map,
    // like the model's columns, stays as it was built.
    bool loadColumnConfig();
    // Renumbers the file's entries for a header drag from visual position
    // `from` to `to` and saves the file atomically in GB2312. The logical
    // index is not needed: the entries are the visual positions. Returns
    // false when the file could not be written (the header keeps the drag
    // until the program ends). The model's columns do not move.
    bool moveColumn(int logicalIndex, int from, int to);

    QString configPath() const { return m_configPath; }
    // The column map as loaded (model column of each logical column).
    QVector<int> columnMap() const { return m_columnMap; }

    // Called after a save has written the new content and before it replaces
    // the old file; returning false abandons the save, as a crash at that
    // moment would. For tests.
    void setBeforeCommitHook(std::function<bool()> hook) { m_beforeCommit = std::move(hook); }

    // Where ColumnConfig.xml lives: TarnGUIToolkit::GetUserFilePath(), beside
    // a portable program whose folder is writable, otherwise in the per-user
    // configuration folder, seeded from the copy beside the program.
    static QString defaultConfigPath();
    // The decision behind defaultConfigPath(), with every input given.
    // Copies programDir's file to userDir when the latter has none yet.
    static QString resolveConfigPath(const QString &programDir, bool programDirWritable,
                                     const QString &userDir);

private:
    // The rows of one key: the topmost of them and how many there are
    // (addDevice() does not refuse a repeated key).
    struct KeySlot
    {
        int row = -1;
        int count = 0;
    };

    void setUp();
    void trackRows();
    void indexRows(int first, int last) const;
    void unindexRows(int first, int last);
    void rebuildIndex() const;
    void setHeaders();
    void setCellText(int row, int logical, const QString &text);
    void renumberFrom(int row);
    void rebuildDocument(const QVector<int> &map);
    bool saveDocument();
    QDomElement indexValueElement(const QDomElement &child) const;

    QString m_configPath;
    QDomDocument m_document;
    QDomElement m_root;
    QVector<int> m_columnMap;
    std::function<bool()> m_beforeCommit;
    CellTexts m_texts;
    // Key -> rows; rebuilt on demand after changes that reorder rows.
    mutable QHash<DeviceKey, KeySlot> m_rowIndex;
    mutable bool m_indexStale = false;
};

} // namespace VoskTool
