#include "devicelist/deviceinfomodel.h"

#include "aptui/cipstandarditem.h"
#include "devicelist/devicecell.h"
#include "aptui/targetpath.h"
#include "devicelist/deviceiditem.h"
#include "devicelist/devicelistlog.h"
#include "discovery/recordfields.h"

#include <QBrush>
#include <QCoreApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextCodec>

#include <optional>

namespace VoskTool {

namespace {

const QLatin1String kConfigFileName("ColumnConfig.xml");
const QLatin1String kIndexValue("IndexValue");
const char kFileCodec[] = "GB2312";

// Element names of the columns in files this program writes. Only the order
// of the children matters when reading.
const char *const kColumnElementNames[DeviceColumnCount] = {
    "ColumnCheck", "ColumnId", "ColumnDeviceType", "ColumnActivation", "ColumnIpv4Address",
    "ColumnPort", "ColumnSoftwareVersion", "ColumnIpv4Gateway", "ColumnHttpPort",
    "ColumnSerialNumber", "ColumnIpv4Mask", "ColumnMac", "ColumnChannelCount",
    "ColumnDspVersion", "ColumnStartTime", "ColumnIpv6Address", "ColumnIpv6Gateway",
    "ColumnIpv6PrefixLength", "ColumnSupportIpv6", "ColumnSupportModifyIpv6",
    "ColumnSupportDhcp", "ColumnIpv4Dhcp",
};

// The cell type of a logical column: what decides how the column sorts.
QStandardItem *newCell(int logical)
{
    switch (logical) {
    case ColumnIpv4Address:
    case ColumnIpv4Mask:
    // The gateway is an address cell even while a device reports no address
    // info: a later update fills it in place, and a column mixing address
    // cells and plain cells would sort inconsistently.
    case ColumnIpv4Gateway:
        return new DeviceCell<aptui::CIpStandardItem>(QString());
    case ColumnId:
        return new DeviceCell<DeviceIdItem>;
    default:
        return new DeviceCell<QStandardItem>;
    }
}

const QString &yesNo(bool yes, const DeviceInfoModel::CellTexts &texts)
{
    return yes ? texts.yes : texts.no;
}

// The text of one logical column (2..21) for a record; nullopt where the
// record says nothing and the cell keeps what it has.
std::optional<QString> cellText(int logical, const VOSK_DEVICE_INFO &r, const DeviceInfoModel::CellTexts &texts)
{
    const bool infoValid = r.addressInfoValid == 1;
    const bool infoInvalid = r.addressInfoValid == 0;
    switch (logical) {
    case ColumnDeviceType:
        return VOSK::fieldText(r.deviceDescription);
    case ColumnActivation:
        return r.notActivated == 0 ? texts.activated : texts.notActivated;
    case ColumnIpv4Address:
        return VOSK::fieldText(r.ipv4Address);
    case ColumnPort:
        return QString::asprintf("%5d", static_cast<int>(r.port));
    case ColumnSoftwareVersion:
        return VOSK::fieldText(r.softwareVersion);
    case ColumnIpv4Gateway:
        if (infoValid)
            return VOSK::fieldText(r.ipv4Gateway);
        return infoInvalid ? std::optional<QString>(QString()) : std::nullopt;
    case ColumnHttpPort:
        return r.httpPort == 0 ? texts.notAvailable : QString::number(r.httpPort);
    case ColumnSerialNumber:
        return VOSK::fieldText(r.serialNumber);
    case ColumnIpv4Mask:
        return VOSK::fieldText(r.ipv4Mask);
    case ColumnMac:
        return VOSK::fieldText(r.mac);
    case ColumnChannelCount:
        return QString::asprintf("%2d", static_cast<int>(r.channelCount));
    case ColumnDspVersion:
        return VOSK::fieldText(r.dspVersion);
    case ColumnStartTime:
        return VOSK::fieldText(r.startTime);
    case ColumnIpv6Address:
        if (infoValid)
            return VOSK::fieldText(r.ipv6Address);
        return infoInvalid ? std::optional<QString>(QString()) : std::nullopt;
    case ColumnIpv6Gateway:
        if (infoValid)
            return VOSK::fieldText(r.ipv6Gateway);
        return infoInvalid ? std::optional<QString>(QString()) : std::nullopt;
    case ColumnIpv6PrefixLength:
        if (infoValid)
            return QString::asprintf("%2d", static_cast<int>(r.ipv6PrefixLength));
        return infoInvalid ? std::optional<QString>(QString()) : std::nullopt;
    case ColumnSupportIpv6:
        if (!(r.capabilities & VOSK_CAP_IPV6))
            return yesNo(false, texts);
        if (r.addressInfoValid & 0x01)
            return yesNo(true, texts);
        return std::nullopt;
    case ColumnSupportModifyIpv6:
        return yesNo(r.capabilities & VOSK_CAP_IPV6_MODIFIABLE, texts);
    case ColumnSupportDhcp:
        return yesNo(r.capabilities & VOSK_CAP_DHCP, texts);
    case ColumnIpv4Dhcp:
        return r.dhcpEnabled == 1 ? texts.on : texts.off;
    default:
        return std::nullopt;
    }
}

// The activation cell's own foreground: red for a device that is not
// activated, none (the cells' grey) otherwise.
QVariant activationForeground(const VOSK_DEVICE_INFO &record)
{
    return record.notActivated == 0 ? QVariant() : QVariant(QBrush(Qt::red, Qt::SolidPattern));
}

QString idText(int row)
{
    return QString::asprintf("%03d", row + 1);
}

// QSaveFile writes beside the target under "<name>.XXXXXX" (six letters or
// digits) and renames that over the target. A kill between the two leaves
// the temporary behind: remove such leftovers of the target's own saves,
// nothing else in the folder.
void removeStaleSaveTemporaries(const QString &target)
{
    const QFileInfo info(target);
    QDir dir = info.absoluteDir();
    static const QRegularExpression suffix(QStringLiteral("^[A-Za-z0-9]{6}$"));
    const QString prefix = info.fileName() + QLatin1Char('.');
    const QStringList names = dir.entryList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (!name.startsWith(prefix) || !suffix.match(name.mid(prefix.size())).hasMatch())
            continue;
        if (dir.remove(name))
            qCInfo(lcDeviceList) << "[DeviceInfoModel] removed an interrupted save" << dir.filePath(name);
    }
}

} // namespace

DeviceInfoModel::DeviceInfoModel(QObject *parent)
    : DeviceInfoModel(defaultConfigPath(), parent)
{
}

DeviceInfoModel::DeviceInfoModel(const QString &configPath, QObject *parent)
    : QStandardItemModel(parent)
    , m_configPath(configPath)
{
    setUp();
}

void DeviceInfoModel::setUp()
{
    removeStaleSaveTemporaries(m_configPath);
    // The language is chosen before the window is built; a cell text that
    // followed a later change would not match the headers anyway.
    m_texts = {tr("Yes"), tr("No"), tr("ON"), tr("OFF"), tr("N/A"), tr("Activated"), tr("Not activated")};
    loadColumnConfig();
    insertColumns(0, DeviceColumnCount);
    setHeaders();
    trackRows();
}

void DeviceInfoModel::trackRows()
{
    // Connected before any view or page, so the index is right by the time
    // they hear of a change. Rows appended at the end (what addDevice does)
    // and removed anywhere are followed in place; whatever else reorders rows
    // or rewrites a key (a sort, a move, a reset, an insertion in the middle,
    // setData on the key role) has the index rebuilt at its next use.
    connect(this, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &parent, int first, int last) {
        if (parent.isValid() || m_indexStale)
            return;
        if (last == rowCount() - 1)
            indexRows(first, last);
        else
            m_indexStale = true;
    });
    connect(this, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                if (!parent.isValid())
                    unindexRows(first, last);
            });
    connect(this, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                const int check = columnIndex(ColumnCheck);
                if (topLeft.column() <= check && check <= bottomRight.column()
                    && (roles.isEmpty() || roles.contains(DeviceKeyRole)))
                    m_indexStale = true;
            });
    const auto stale = [this] { m_indexStale = true; };
    connect(this, &QAbstractItemModel::layoutChanged, this, stale);
    connect(this, &QAbstractItemModel::rowsMoved, this, stale);
    connect(this, &QAbstractItemModel::modelReset, this, stale);
}

void DeviceInfoModel::indexRows(int first, int last) const
{
    for (int row = first; row <= last; ++row) {
        KeySlot &slot = m_rowIndex[keyAt(row)];
        if (slot.count++ == 0 || row < slot.row)
            slot.row = row;
    }
}

void DeviceInfoModel::unindexRows(int first, int last)
{
    if (m_indexStale)
        return;
    if (first == 0 && last == rowCount() - 1) {
        m_rowIndex.clear();
        return;
    }
    for (int row = first; row <= last; ++row) {
        const auto it = m_rowIndex.find(keyAt(row));
        if (it == m_rowIndex.end())
            continue;
        if (--it->count == 0) {
            m_rowIndex.erase(it);
        } else if (it->row >= first && it->row <= last) {
            // A repeated key lost its topmost row: which one answers now is
            // found by the next rebuild.
            m_indexStale = true;
            return;
        }
    }
    // Every row behind the removed ones moves up.
    const int removed = last - first + 1;
    for (KeySlot &slot : m_rowIndex) {
        if (slot.row > last)
            slot.row -= removed;
    }
}

void DeviceInfoModel::rebuildIndex() const
{
    m_rowIndex.clear();
    m_rowIndex.reserve(rowCount());
    m_indexStale = false;
    indexRows(0, rowCount() - 1);
}

void DeviceInfoModel::setHeaders()
{
    const QString headers[DeviceColumnCount] = {
        QString(), tr("ID"), tr("Device Type"), tr("Activate"), tr("IPv4 Address"), tr("Port"),
        tr("Soft Vision"), tr("IPv4 GateWay"), tr("HttpPort"), tr("Serial Number"), tr("IPv4 Mask"),
        tr("MAC"), tr("Channel NO"), tr("DSP Vision"), tr("Start Time"), tr("IPv6 Address"),
        tr("IPv6 GateWay"), tr("IPv6 Prefix Length"), tr("Is Support IPv6"), tr("Is Support Mod IPv6"),
        tr("Is Support DHCP"), tr("IPv4 DHCP"),
    };
    const QVariant alignment(static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter));
    for (int id = 0; id < DeviceColumnCount; ++id) {
        const int column = columnIndex(id);
        setHeaderData(column, Qt::Horizontal, headers[id], Qt::DisplayRole);
        setHeaderData(column, Qt::Horizontal, alignment, Qt::TextAlignmentRole);
    }
    const int checkColumn = columnIndex(ColumnCheck);
    setHeaderData(checkColumn, Qt::Horizontal, 1, HeaderCheckRole);
    setHeaderData(checkColumn, Qt::Horizontal, QString(), Qt::CheckStateRole);
}

int DeviceInfoModel::columnIndex(int id) const
{
    if (id < 0 || id >= m_columnMap.size())
        return -1;
    return m_columnMap.at(id);
}

void DeviceInfoModel::addDevice(const VOSK_DEVICE_INFO &record)
{
    const int row = rowCount();
    QList<QStandardItem *> items(DeviceColumnCount, nullptr);
    for (int logical = 0; logical < DeviceColumnCount; ++logical) {
        QStandardItem *item = newCell(logical);
        if (logical == ColumnCheck) {
            item->setCheckable(true);
            item->setCheckState(Qt::Unchecked);
            item->setData(QVariant::fromValue(DeviceKey::fromRecord(record)), DeviceKeyRole);
        } else if (logical == ColumnId) {
            item->setText(idText(row));
        } else if (const std::optional<QString> text = cellText(logical, record, m_texts)) {
            item->setText(*text);
        }
        if (logical == ColumnActivation && record.notActivated != 0)
            item->setData(activationForeground(record), Qt::ForegroundRole);
        items[columnIndex(logical)] = item;
    }
    // One insertion for the whole row: views and the page see a complete row.
    appendRow(items);
}

void DeviceInfoModel::removeDevice(const VOSK_DEVICE_INFO &record)
{
    const int row = rowOf(DeviceKey::fromRecord(record));
    if (row < 0)
        return;
    removeRow(row);
    renumberFrom(row);
}

void DeviceInfoModel::updateDevice(const VOSK_DEVICE_INFO &record)
{
    const int row = rowOf(DeviceKey::fromRecord(record));
    if (row < 0)
        return;
    for (int logical = ColumnDeviceType; logical < DeviceColumnCount; ++logical) {
        if (const std::optional<QString> text = cellText(logical, record, m_texts))
            setCellText(row, logical, *text);
    }
    if (QStandardItem *cell = item(row, columnIndex(ColumnActivation)))
        cell->setData(activationForeground(record), Qt::ForegroundRole);
}

int DeviceInfoModel::rowOf(const DeviceKey &key) const
{
    if (m_indexStale)
        rebuildIndex();
    int row = m_rowIndex.value(key).row;
    Q_ASSERT(row < 0 || keyAt(row) == key);
    return row;
}

int DeviceInfoModel::rowOf(const QString &serialNumber, const QString &mac) const
{
    return rowOf(DeviceKey{serialNumber, mac});
}

DeviceKey DeviceInfoModel::keyAt(int row) const
{
    const QStandardItem *check = item(row, columnIndex(ColumnCheck));
    return check ? check->data(DeviceKeyRole).value<DeviceKey>() : DeviceKey();
}

void DeviceInfoModel::setCellText(int row, int logical, const QString &text)
{
    if (QStandardItem *cell = item(row, columnIndex(logical)))
        cell->setText(text);
}

void DeviceInfoModel::renumberFrom(int row)
{
    // IDs follow the current row order from the removed position on, also
    // after the user has sorted by another column.
    for (int r = row; r < rowCount(); ++r)
        setCellText(r, ColumnId, idText(r));
}

QDomElement DeviceInfoModel::indexValueElement(const QDomElement &child) const
{
    return child.elementsByTagName(kIndexValue).item(0).toElement();
}

bool DeviceInfoModel::loadColumnConfig()
{
    QVector<int> raw(DeviceColumnCount, -1);
    bool parsed = false;
    bool whole = false;
    QDomDocument document;
    QFile file(m_configPath);
    if (!m_configPath.isEmpty() && file.open(QIODevice::ReadOnly)) {
        // The file is GB2312 (an ASCII superset); decoding it ourselves keeps
        // the result independent of the XML parser's codec support.
        const QTextCodec *codec = QTextCodec::codecForName(kFileCodec);
        const QByteArray bytes = file.readAll();
        const QString text = codec ? codec->toUnicode(bytes) : QString::fromLatin1(bytes);
        QString error;
        int line = 0;
        parsed = document.setContent(text, &error, &line);
        if (!parsed)
            qCWarning(lcDeviceList) << "[DeviceInfoModel] ColumnConfig.xml is not valid XML, line" << line << error;
    } else {
        qCInfo(lcDeviceList) << "[DeviceInfoModel] cannot open" << m_configPath << "- default column order";
    }

    int children = 0;
    if (parsed) {
        for (QDomElement child = document.documentElement().firstChildElement(); !child.isNull();
             child = child.nextSiblingElement(), ++children) {
            if (children >= DeviceColumnCount)
                continue;
            bool ok = false;
            const int value = indexValueElement(child).text().trimmed().toInt(&ok);
            if (ok)
                raw[children] = value;
        }
        whole = children == DeviceColumnCount;
    }

    // Every logical column needs its own model column, and the check and ID
    // columns keep positions 0 and 1. Valid entries are taken first come,
    // first served; the others get their logical id, or the first free
    // column when that is taken.
    QVector<int> map(DeviceColumnCount, -1);
    QVector<bool> used(DeviceColumnCount, false);
    map[ColumnCheck] = 0;
    map[ColumnId] = 1;
    used[0] = used[1] = true;
    whole = whole && raw[ColumnCheck] == 0 && raw[ColumnId] == 1;
    for (int id = 2; id < DeviceColumnCount; ++id) {
        const int value = raw.at(id);
        if (value >= 2 && value < DeviceColumnCount && !used.at(value)) {
            map[id] = value;
            used[value] = true;
        } else {
            whole = false;
        }
    }
    for (int id = 2; id < DeviceColumnCount; ++id) {
        if (map.at(id) >= 0)
            continue;
        int column = id;
        if (used.at(column))
            column = static_cast<int>(used.indexOf(false));
        map[id] = column;
        used[column] = true;
    }
    // The model's columns never move while it exists: a later re-read only
    // refreshes the document that drags rewrite, or every cell would land
    // under another column's header.
    if (columnCount() == 0)
        m_columnMap = map;

    if (whole) {
        m_document = document;
        m_root = m_document.documentElement();
        // The declaration is written by saveDocument(): what we write is
        // GB2312 whatever the file declared, and Qt's serialiser only knows
        // the Unicode encodings.
        QDomNode first = m_document.firstChild();
        if (first.isProcessingInstruction() && first.nodeName() == QLatin1String("xml"))
            m_document.removeChild(first);
    } else {
        if (parsed)
            qCWarning(lcDeviceList) << "[DeviceInfoModel] ColumnConfig.xml has unusable entries; repaired order"
                                    << map;
        rebuildDocument(map);
    }
    return parsed;
}

void DeviceInfoModel::rebuildDocument(const QVector<int> &map)
{
    // A complete document from a column map, so that the next save writes a
    // whole, consistent file.
    m_document = QDomDocument();
    m_root = m_document.createElement(QStringLiteral("ColumnConfig"));
    m_document.appendChild(m_root);
    for (int id = 0; id < DeviceColumnCount; ++id) {
        QDomElement child = m_document.createElement(QLatin1String(kColumnElementNames[id]));
        QDomElement value = m_document.createElement(kIndexValue);
        value.appendChild(m_document.createTextNode(QString::number(map.at(id))));
        child.appendChild(value);
        m_root.appendChild(child);
    }
}

bool DeviceInfoModel::moveColumn(int logicalIndex, int from, int to)
{
    Q_UNUSED(logicalIndex)
    // Positions 0 and 1 belong to the check and ID columns for good.
    if (from < 2 || to < 2 || from >= DeviceColumnCount || to >= DeviceColumnCount)
        return false;
    if (from == to)
        return true;
    for (QDomElement child = m_root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        QDomElement valueElement = indexValueElement(child);
        bool ok = false;
        const int g = valueElement.text().trimmed().toInt(&ok);
        if (!ok)
            continue;
        int next = g;
        if (from < to) {
            if (from < g && g <= to)
                next = g - 1;
            else if (g == from)
                next = to;
        } else {
            if (to <= g && g < from)
                next = g + 1;
            else if (g == from)
                next = to;
        }
        if (next == g)
            continue;
        while (valueElement.hasChildNodes())
            valueElement.removeChild(valueElement.firstChild());
        valueElement.appendChild(m_document.createTextNode(QString::number(next)));
    }
    return saveDocument();
}

bool DeviceInfoModel::saveDocument()
{
    const QTextCodec *codec = QTextCodec::codecForName(kFileCodec);
    if (!codec) {
        qCWarning(lcDeviceList) << "[DeviceInfoModel] no GB2312 codec; ColumnConfig.xml not saved";
        return false;
    }
    QDir().mkpath(QFileInfo(m_configPath).absolutePath());
    removeStaleSaveTemporaries(m_configPath);
    // Written to a temporary file and renamed into place: an interrupted save
    // leaves the old file or the new one, never a torn one.
    QSaveFile file(m_configPath);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcDeviceList) << "[DeviceInfoModel] cannot write" << m_configPath << file.errorString();
        return false;
    }
    const QByteArray bytes = codec->fromUnicode(QStringLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?>\n")
                                                 + m_document.toString(0));
    if (file.write(bytes) != bytes.size()) {
        qCWarning(lcDeviceList) << "[DeviceInfoModel] cannot write" << m_configPath << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (m_beforeCommit && !m_beforeCommit()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        qCWarning(lcDeviceList) << "[DeviceInfoModel] cannot save" << m_configPath << file.errorString();
        return false;
    }
    return true;
}

QString DeviceInfoModel::defaultConfigPath()
{
    return TarnGUIToolkit::GetUserFilePath(kConfigFileName);
}

QString DeviceInfoModel::resolveConfigPath(const QString &programDir, bool programDirWritable,
                                           const QString &userDir)
{
    return TarnGUIToolkit::ResolveUserFilePath(programDir, programDirWritable, userDir, kConfigFileName);
}

} // namespace VoskTool

// Its own moc output, so that linking the model alone does not pull in
// the page (and with it the discovery library).
#include "moc_deviceinfomodel.cpp"
