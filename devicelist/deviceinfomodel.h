#pragma once

#include "devicelist/columnconfig.h"
#include "devicelist/devicecolumn.h"
#include "discovery/devicekey.h"
#include "vosk/vosk.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QVector>

#include <deque>
#include <functional>
#include <optional>

namespace VoskTool {

// The table model of the online devices: one row per device, 23 columns
// (DeviceColumn), cell texts made from a VOSK_DEVICE_INFO, of our protocol
// or an ONVIF row (discovery/onvifrecord.h; keyed by its endpoint, cells
// the device has not reported left empty, the protocol column saying
// "ONVIF" and how the last sign-in went, or that one runs now). Each row carries
// its DeviceKey in DeviceKeyRole on its check column; rows are found by
// that key through a hash index, never by reading cell texts back.
//
// A row is one small structure rather than an item object per cell: a
// fleet of 16,000 devices would otherwise mean 350,000 cell objects built,
// signalled and freed one by one. Its texts are kept compactly (see Row),
// about 300 bytes a device, and made into QStrings as they are asked for.
// The cells answer texts under
// DisplayRole and EditRole (a cell the record never filled has no value at
// all, not an empty text), the grey foreground (red for the activation of
// a device that is not activated), a user-checkable check box on the check
// column; no cell is editable. A row marked ambiguous (another device
// announces its MAC or serial number, setAmbiguous()) shows its serial
// number and MAC in red and bold, and every cell of it explains why in its
// tool tip.
//
// The model column of each logical column comes from ColumnConfig.xml
// (ColumnConfig), read once at construction; moveColumn() rewrites that
// file for a header drag, so the new order takes effect at the next start.
// The model always has 23 valid, distinct columns (see ColumnConfig).
//
// GUI thread only.
class DeviceInfoModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Role on the check column's header: 1 asks the toolkit's table view to
    // draw a check box there that checks or unchecks every row.
    static constexpr int HeaderCheckRole = 162;
    // Role on the check column's header: the state of all rows' check boxes
    // together (Unchecked when none is checked or there are no rows, Checked
    // when all are, else PartiallyChecked), kept as rows change rather than
    // counted on every repaint of the header's box.
    static constexpr int HeaderCheckStateRole = 163;
    // Role on each row's check-column cell: the row's DeviceKey (read only).
    static constexpr int DeviceKeyRole = Qt::UserRole + 1;
    // aptui::LastingTextRole (Qt::UserRole + 2) on every cell but the check
    // box: the display text, but for the protocol cell of a row being
    // signed in, which gives how the last sign-in went (what an export
    // writes: the mark passes within seconds).
    // aptui::NumberRole on the port, HTTP port, channel and prefix length
    // cells that hold a number: that number, for a spreadsheet to sum and
    // sort (the display text is padded for the table).

    // The translated cell texts, looked up once at construction instead of
    // once per cell.
    struct CellTexts
    {
        QString yes, no, on, off, notAvailable, activated, notActivated;
        QString ambiguous; // the tool tip of an ambiguous row
        // The activation cell of an ONVIF row whose state only a sign-in
        // can tell (not in factory state by its discovery scopes).
        QString activationUnknown;
        // The protocol column: our discovery, ONVIF before sign-in, signed
        // in, credentials refused, a sign-in running.
        QString ownProtocol, onvif, onvifSignedIn, onvifRefused, onvifSigningIn;
    };

    // Uses defaultConfigPath().
    explicit DeviceInfoModel(QObject *parent = nullptr);
    // Uses the given ColumnConfig.xml (tests use temporary folders).
    explicit DeviceInfoModel(const QString &configPath, QObject *parent = nullptr);
    ~DeviceInfoModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Only the check box can be set: CheckStateRole on the check column,
    // Unchecked, PartiallyChecked or Checked. False for anything else.
    // dataChanged ({CheckStateRole}) follows an actual change only.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Horizontal headers hold whatever was set (EditRole stands for
    // DisplayRole); vertical ones are the row numbers.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    // Removes rows as they stand; IDs are not renumbered (removeDevice does).
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    // A stable sort by one column: addresses and masks by their numbers, the
    // ID by its number, every other column by text (case-sensitive), cells
    // without text last. Descending reverses the comparison, not the result,
    // so equal rows keep their order both ways.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The translated words the cells show (for measuring columns).
    const CellTexts &cellTexts() const { return m_texts; }

    // The model column showing logical column id (0..22); -1 for any other id.
    int columnIndex(int id) const;

    // Appends one row, check box unticked, ID = new row count ("%03d").
    void addDevice(const VOSK_DEVICE_INFO &record);
    // The same for each record in turn, announced as one insertion.
    void addDevices(const QVector<VOSK_DEVICE_INFO> &records);
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
    // The key of a row; an empty key for a row out of range.
    DeviceKey keyAt(int row) const;
    // The text a row shows in a logical column (0..22); empty out of range.
    QString text(int row, int logical) const;
    // The row's check box; Unchecked out of range.
    Qt::CheckState checkState(int row) const;
    // Marks the row with that key as one whose identity another device
    // shares (or clears the mark). An unknown key changes nothing.
    void setAmbiguous(const DeviceKey &key, bool ambiguous);
    bool isAmbiguous(int row) const;
    // setData() on the row's check box.
    bool setCheckState(int row, Qt::CheckState state);

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

    QString configPath() const { return m_config.path(); }
    // The column map as loaded (model column of each logical column).
    QVector<int> columnMap() const { return m_columnMap; }

    // Called after a save has written the new content and before it replaces
    // the old file; returning false abandons the save, as a crash at that
    // moment would. For tests.
    void setBeforeCommitHook(std::function<bool()> hook) { m_config.setBeforeCommitHook(std::move(hook)); }

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
    // One device's row, compact: 16,000 rows of 22 QStrings each held 600
    // bytes of string headers a row before any text, and a buffer of its
    // own for every text that differs per device. Here a cell is a number:
    // an index into m_pool for the texts that rows repeat, or a mark for a
    // text of the row's own (packed in `own`, in logical order), for one
    // of the key's texts, or for no value at all. The check and ID columns
    // keep theirs in `check` and `id`.
    struct Row
    {
        QByteArray key; // the DeviceKey, packed (see packKey()); also the row index's key
        QByteArray own; // the texts no other row shares, packed (PackedTexts)
        quint16 cells[DeviceColumnCount];
        int id = 0;
        Qt::CheckState check = Qt::Unchecked;
        bool notActivated = false;
        bool ambiguous = false;
        // A sign-in runs: the protocol cell shows so over its stored text,
        // which keeps the lasting one.
        bool signingIn = false;
    };
    // The marks a cell holds instead of a pool index.
    static constexpr quint16 kNoText = 0xFFFF;
    static constexpr quint16 kOwnText = 0xFFFE;
    static constexpr quint16 kKeyText = 0xFFF0; // + the key's member: 0 serial number, 1 MAC
    // A text per logical column, or none (the cell has no value).
    using CellValues = std::optional<QString>[DeviceColumnCount];

    void setUp();
    // The pool index of a text that many rows repeat; kOwnText for one the
    // row keeps itself.
    quint16 pooled(int logical, const QString &text) const;
    // Stores the values in the row, whose key is already set.
    void storeTexts(Row &row, const CellValues &values) const;
    // The text of a cell, nullopt for a cell without a value.
    std::optional<QString> storedText(const Row &row, int logical) const;
    // aptui::NumberRole of a cell: its number, or invalid.
    QVariant numberAt(const Row &row, int logical) const;
    static QByteArray packKey(const DeviceKey &key);
    static DeviceKey unpackKey(const QByteArray &packed);
    Row makeRow(const VOSK_DEVICE_INFO &record, int id) const;
    void setTexts(Row &row, const VOSK_DEVICE_INFO &record) const;
    void indexRows(int first, int last) const;
    void unindexRows(int first, int last);
    void rebuildIndex() const;
    void setHeaders();
    void renumberFrom(int row);
    ColumnConfig m_config;
    QVector<int> m_columnMap;
    // The logical column of each model column: m_columnMap inverted.
    QVector<int> m_logicalOf;
    CellTexts m_texts;
    // A deque rather than a vector: a vector of 16,000 rows doubles its
    // array as it grows and holds the old and the new one at once, 15 MB at
    // that moment, and up to half of it spare afterwards.
    std::deque<Row> m_rows;
    int m_checkedRows = 0; // rows whose check box is Checked
    // Horizontal header data by model column and role.
    QVector<QHash<int, QVariant>> m_headers;
    // Texts that many rows repeat (types, versions, masks, gateways, ports,
    // the translated words), held once and named by their index in a cell.
    // Bounded (see pooled()), and emptied with the table.
    mutable QVector<QString> m_pool;
    mutable QHash<QString, quint16> m_poolIndex;
    // Where storeTexts() builds a row's texts before copying them out at
    // their exact size.
    mutable QByteArray m_scratch;
    // Packed key -> rows (the key shares the row's bytes); rebuilt on
    // demand after a sort.
    mutable QHash<QByteArray, KeySlot> m_rowIndex;
    mutable bool m_indexStale = false;
};

} // namespace VoskTool
