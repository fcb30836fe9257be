#include "devicelist/deviceinfomodel.h"

#include "aptui/cipstandarditem.h"
#include "aptui/itemroles.h"
#include "devicelist/devicelistlog.h"
#include "devicelist/packedtexts.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"

#include <QBrush>
#include <QCoreApplication>
#include <QColor>
#include <QFont>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <optional>
#include <vector>

namespace VoskTool {

namespace {

// One number through C's printf: the same text as QString::asprintf, at a
// fraction of its cost, which showed in the profile of thousands of rows.
QString formatted(const char *format, int value)
{
    char text[16];
    const int size = std::snprintf(text, sizeof text, format, value);
    return QString::fromLatin1(text, qBound(0, size, int(sizeof text) - 1));
}

const QString &yesNo(bool yes, const DeviceInfoModel::CellTexts &texts)
{
    return yes ? texts.yes : texts.no;
}

// The protocol cell: ours, or ONVIF with what the last sign-in came to. A
// sign-in running now is not part of it (see Row::signingIn).
QString protocolText(const VOSK_DEVICE_INFO &r, const DeviceInfoModel::CellTexts &texts)
{
    if (!VOSK::isOnvifRecord(r))
        return texts.ownProtocol;
    const quint8 flags = VOSK::onvifFlags(r);
    if (flags & VOSK::OnvifSignInRefused)
        return texts.onvifRefused;
    if (flags & VOSK::OnvifSignedIn)
        return texts.onvifSignedIn;
    return texts.onvif;
}

// An ONVIF record holds zeros where the device has not said anything: before
// sign-in everything but its address, HTTP port, name and activation; the
// device port and channel count never (the standard has no such values).
// Those cells stay empty rather than show a zero, "No" or "OFF" that nobody
// reported. nullopt: the record's own rules decide.
std::optional<QString> onvifCellText(int logical, const VOSK_DEVICE_INFO &r, const DeviceInfoModel::CellTexts &texts)
{
    const quint8 flags = VOSK::onvifFlags(r);
    const bool signedIn = flags & VOSK::OnvifSignedIn;
    const bool ipv6 = signedIn && (flags & VOSK::OnvifIpv6Reported);
    const std::optional<QString> empty = QString();
    switch (logical) {
    case ColumnPort:
    case ColumnChannelCount:
        return empty;
    case ColumnHttpPort:
        return r.httpPort == 0 ? empty : std::nullopt;
    // Discovery tells only the factory state (its scope); a device out of
    // it may still have no administrator, which its users list tells after
    // sign-in. Until then "Activated" would be a guess.
    case ColumnActivation:
        if (!signedIn && !r.notActivated)
            return texts.activationUnknown;
        return std::nullopt;
    // What the standard lets a signed-in client see, rather than capability
    // bits of our protocol: DHCP is part of every network interface's
    // settings, IPv6 where the device reported it (and then it takes it).
    case ColumnSupportIpv6:
    case ColumnSupportModifyIpv6:
        return signedIn ? std::optional<QString>(yesNo(ipv6, texts)) : empty;
    case ColumnSupportDhcp:
        return signedIn ? std::optional<QString>(texts.yes) : empty;
    case ColumnIpv4Dhcp:
    case ColumnIpv4Gateway:
        return signedIn ? std::nullopt : empty;
    case ColumnIpv6Address:
    case ColumnIpv6Gateway:
    case ColumnIpv6PrefixLength:
        return ipv6 ? std::nullopt : empty;
    default:
        return std::nullopt;
    }
}

// The text of one logical column (2..22) for a record; nullopt where the
// record says nothing and the cell keeps what it has.
std::optional<QString> cellText(int logical, const VOSK_DEVICE_INFO &r, const DeviceInfoModel::CellTexts &texts)
{
    if (logical == ColumnProtocol)
        return protocolText(r, texts);
    if (VOSK::isOnvifRecord(r)) {
        if (std::optional<QString> text = onvifCellText(logical, r, texts))
            return text;
    }
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
        return formatted("%5d", static_cast<int>(r.port));
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
        return formatted("%2d", static_cast<int>(r.channelCount));
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
            return formatted("%2d", static_cast<int>(r.ipv6PrefixLength));
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

// Every cell is grey but the activation cell of a device that is not
// activated, which is red.
const QBrush &greyBrush()
{
    static const QBrush brush(QColor(0x66, 0x66, 0x66));
    return brush;
}

const QBrush &redBrush()
{
    static const QBrush brush(Qt::red, Qt::SolidPattern);
    return brush;
}

bool isIdentityColumn(int logical)
{
    return logical == ColumnSerialNumber || logical == ColumnMac;
}

bool isAddressColumn(int logical)
{
    return logical == ColumnIpv4Address || logical == ColumnIpv4Mask || logical == ColumnIpv4Gateway;
}

QString idText(int id)
{
    return formatted("%03d", id);
}

} // namespace

DeviceInfoModel::DeviceInfoModel(QObject *parent)
    : DeviceInfoModel(defaultConfigPath(), parent)
{
}

DeviceInfoModel::DeviceInfoModel(const QString &configPath, QObject *parent)
    : QAbstractTableModel(parent)
    , m_config(configPath)
{
    setUp();
}

DeviceInfoModel::~DeviceInfoModel() = default;

void DeviceInfoModel::setUp()
{
    // The language is chosen before the window is built; a cell text that
    // followed a later change would not match the headers anyway.
    m_texts = {tr("Yes"), tr("No"), tr("ON"), tr("OFF"), tr("N/A"), tr("Activated"), tr("Not activated"),
               tr("Another device announces the same MAC address or serial number. No password is sent to this "
                  "device until you confirm that it is the one you mean."),
               tr("Unknown until sign-in"),
               // Our own discovery goes by the product's name.
               tr("VOSK"), QStringLiteral("ONVIF"), tr("ONVIF, signed in"), tr("ONVIF, sign-in refused"),
               tr("ONVIF, signing in")};
    loadColumnConfig();
    m_logicalOf.fill(-1, DeviceColumnCount);
    for (int id = 0; id < DeviceColumnCount; ++id)
        m_logicalOf[m_columnMap.at(id)] = id;
    m_headers.resize(DeviceColumnCount);
    setHeaders();
}

int DeviceInfoModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DeviceInfoModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : DeviceColumnCount;
}

QVariant DeviceInfoModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Row &row = m_rows[static_cast<std::size_t>(index.row())];
    const int logical = m_logicalOf.at(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (logical == ColumnProtocol && row.signingIn)
            return m_texts.onvifSigningIn;
        [[fallthrough]];
    case aptui::LastingTextRole:
        if (logical == ColumnCheck && role == aptui::LastingTextRole)
            return QVariant();
        if (logical == ColumnId)
            return idText(row.id);
        if (std::optional<QString> text = storedText(row, logical))
            return *text;
        return QVariant();
    case Qt::ForegroundRole:
        if (row.ambiguous && isIdentityColumn(logical))
            return redBrush();
        return logical == ColumnActivation && row.notActivated ? redBrush() : greyBrush();
    case Qt::FontRole:
        if (row.ambiguous && isIdentityColumn(logical)) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return QVariant();
    case Qt::ToolTipRole:
        return row.ambiguous ? QVariant(m_texts.ambiguous) : QVariant();
    case Qt::CheckStateRole:
        return logical == ColumnCheck ? QVariant(static_cast<int>(row.check)) : QVariant();
    case aptui::NumberRole:
        return numberAt(row, logical);
    case DeviceKeyRole:
        return logical == ColumnCheck ? QVariant::fromValue(unpackKey(row.key)) : QVariant();
    default:
        return QVariant();
    }
}

bool DeviceInfoModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)
        || m_logicalOf.at(index.column()) != ColumnCheck)
        return false;
    bool ok = false;
    const int state = value.toInt(&ok);
    if (!ok || state < Qt::Unchecked || state > Qt::Checked)
        return false;
    Row &row = m_rows[static_cast<std::size_t>(index.row())];
    if (row.check == state)
        return true;
    m_checkedRows += (state == Qt::Checked) - (row.check == Qt::Checked);
    row.check = static_cast<Qt::CheckState>(state);
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags DeviceInfoModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return QAbstractTableModel::flags(index);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled
                        | Qt::ItemNeverHasChildren;
    if (m_logicalOf.value(index.column()) == ColumnCheck)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant DeviceInfoModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= DeviceColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == HeaderCheckStateRole) {
        if (m_logicalOf.at(section) != ColumnCheck)
            return QVariant();
        if (m_checkedRows == 0)
            return static_cast<int>(Qt::Unchecked);
        return static_cast<int>(m_checkedRows == rowCount() ? Qt::Checked : Qt::PartiallyChecked);
    }
    return m_headers.at(section).value(role == Qt::EditRole ? Qt::DisplayRole : role);
}

bool DeviceInfoModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= DeviceColumnCount)
        return false;
    m_headers[section].insert(role == Qt::EditRole ? Qt::DisplayRole : role, value);
    Q_EMIT headerDataChanged(orientation, section, section);
    return true;
}

void DeviceInfoModel::setHeaders()
{
    const QString headers[DeviceColumnCount] = {
        QString(), tr("ID"), tr("Device Type"), tr("Activate"), tr("IPv4 Address"), tr("Port"),
        tr("Soft Vision"), tr("IPv4 GateWay"), tr("HttpPort"), tr("Serial Number"), tr("IPv4 Mask"),
        tr("MAC"), tr("Channel NO"), tr("DSP Vision"), tr("Start Time"), tr("IPv6 Address"),
        tr("IPv6 GateWay"), tr("IPv6 Prefix Length"), tr("Is Support IPv6"), tr("Is Support Mod IPv6"),
        tr("Is Support DHCP"), tr("IPv4 DHCP"), tr("Protocol"),
    };
    const QVariant alignment(static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter));
    for (int id = 0; id < DeviceColumnCount; ++id) {
        const int column = columnIndex(id);
        setHeaderData(column, Qt::Horizontal, headers[id], Qt::DisplayRole);
        // The whole title, also when the user narrows the column.
        setHeaderData(column, Qt::Horizontal, headers[id], Qt::ToolTipRole);
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

quint16 DeviceInfoModel::pooled(int logical, const QString &text) const
{
    // A fleet repeats a few types, versions, masks, gateways and ports over
    // thousands of rows. Texts that identify one device are not worth a pool
    // entry, and the pool stops growing where a fleet stops repeating itself.
    static constexpr int kLimit = 4096;
    static_assert(kLimit <= kKeyText, "pool indexes and marks must not meet");
    switch (logical) {
    case ColumnSerialNumber:
    case ColumnMac:
    case ColumnIpv4Address:
    case ColumnIpv6Address:
    case ColumnStartTime:
        return kOwnText;
    default:
        break;
    }
    const auto it = m_poolIndex.constFind(text);
    if (it != m_poolIndex.constEnd())
        return *it;
    if (m_pool.size() >= kLimit)
        return kOwnText;
    const auto index = static_cast<quint16>(m_pool.size());
    m_pool.append(text);
    m_poolIndex.insert(text, index);
    return index;
}

void DeviceInfoModel::storeTexts(Row &row, const CellValues &values) const
{
    const DeviceKey key = unpackKey(row.key);
    m_scratch.resize(0);
    for (int logical = 0; logical < DeviceColumnCount; ++logical) {
        quint16 &cell = row.cells[logical];
        if (!values[logical]) {
            cell = kNoText;
            continue;
        }
        const QString &text = *values[logical];
        if (logical == ColumnSerialNumber && text == key.serialNumber)
            cell = kKeyText + 0;
        else if (logical == ColumnMac && text == key.mac)
            cell = kKeyText + 1;
        else
            cell = pooled(logical, text);
        if (cell == kOwnText)
            PackedTexts::append(m_scratch, text);
    }
    // A copy at its exact size: appending leaves spare room behind.
    row.own = m_scratch.isEmpty() ? QByteArray() : QByteArray(m_scratch.constData(), m_scratch.size());
}

std::optional<QString> DeviceInfoModel::storedText(const Row &row, int logical) const
{
    const quint16 cell = row.cells[logical];
    if (cell == kNoText)
        return std::nullopt;
    if (cell == kKeyText + 0 || cell == kKeyText + 1)
        return PackedTexts::at(row.key, cell - kKeyText);
    if (cell != kOwnText)
        return m_pool.at(cell);
    // Own texts are packed in logical order.
    int position = 0;
    for (int before = 0; before < logical; ++before)
        position += row.cells[before] == kOwnText;
    return PackedTexts::at(row.own, position);
}

QVariant DeviceInfoModel::numberAt(const Row &row, int logical) const
{
    switch (logical) {
    case ColumnPort:
    case ColumnHttpPort:
    case ColumnChannelCount:
    case ColumnIpv6PrefixLength:
        break;
    default:
        return QVariant();
    }
    // The cell's own text decides: "N/A" and empty cells have no number.
    const std::optional<QString> text = storedText(row, logical);
    bool ok = false;
    const int value = text ? text->trimmed().toInt(&ok) : 0;
    return ok ? QVariant(value) : QVariant();
}

QByteArray DeviceInfoModel::packKey(const DeviceKey &key)
{
    QByteArray packed;
    PackedTexts::append(packed, key.serialNumber);
    PackedTexts::append(packed, key.mac);
    PackedTexts::append(packed, key.endpointId);
    packed.squeeze();
    return packed;
}

DeviceKey DeviceInfoModel::unpackKey(const QByteArray &packed)
{
    return DeviceKey{PackedTexts::at(packed, 0), PackedTexts::at(packed, 1), PackedTexts::at(packed, 2)};
}

void DeviceInfoModel::setTexts(Row &row, const VOSK_DEVICE_INFO &record) const
{
    CellValues values;
    for (int logical = ColumnDeviceType; logical < DeviceColumnCount; ++logical) {
        values[logical] = cellText(logical, record, m_texts);
        // Where the record says nothing the cell keeps what it has.
        if (!values[logical])
            values[logical] = storedText(row, logical);
    }
    storeTexts(row, values);
    row.notActivated = record.notActivated != 0;
    row.signingIn = VOSK::isOnvifRecord(record) && (VOSK::onvifFlags(record) & VOSK::OnvifSigningIn);
}

DeviceInfoModel::Row DeviceInfoModel::makeRow(const VOSK_DEVICE_INFO &record, int id) const
{
    Row row;
    row.id = id;
    std::fill(std::begin(row.cells), std::end(row.cells), kNoText);
    // The key of a row of ours is the serial number and MAC texts it shows,
    // and the cells show them from the key. An ONVIF row is keyed by its
    // endpoint alone (its serial number and MAC come only with sign-in), and
    // its cells keep their own texts.
    row.key = packKey(DeviceKey::fromRecord(record));
    setTexts(row, record);
    return row;
}

void DeviceInfoModel::addDevice(const VOSK_DEVICE_INFO &record)
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.push_back(makeRow(record, row + 1));
    indexRows(row, row);
    endInsertRows();
}

void DeviceInfoModel::addDevices(const QVector<VOSK_DEVICE_INFO> &records)
{
    if (records.isEmpty())
        return;
    const int first = rowCount();
    const int last = first + static_cast<int>(records.size()) - 1;
    beginInsertRows(QModelIndex(), first, last);
    for (int i = 0; i < records.size(); ++i)
        m_rows.push_back(makeRow(records.at(i), first + i + 1));
    indexRows(first, last);
    endInsertRows();
}

void DeviceInfoModel::removeDevice(const VOSK_DEVICE_INFO &record)
{
    const int row = rowOf(DeviceKey::fromRecord(record));
    if (row < 0)
        return;
    removeRows(row, 1);
    renumberFrom(row);
}

bool DeviceInfoModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row + count > rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    unindexRows(row, row + count - 1);
    m_checkedRows -= static_cast<int>(std::count_if(m_rows.begin() + row, m_rows.begin() + row + count,
                                                    [](const Row &r) { return r.check == Qt::Checked; }));
    m_rows.erase(m_rows.begin() + row, m_rows.begin() + row + count);
    if (m_rows.empty()) {
        // A refresh starts a fleet afresh; so does the pool.
        m_pool.clear();
        m_poolIndex.clear();
        std::deque<Row>().swap(m_rows);
    }
    endRemoveRows();
    return true;
}

void DeviceInfoModel::updateDevice(const VOSK_DEVICE_INFO &record)
{
    const int row = rowOf(DeviceKey::fromRecord(record));
    if (row < 0)
        return;
    setTexts(m_rows[static_cast<std::size_t>(row)], record);
    // The texts and the activation colour; the check box and the ID stay.
    Q_EMIT dataChanged(index(row, 0), index(row, DeviceColumnCount - 1),
                       {Qt::DisplayRole, Qt::EditRole, Qt::ForegroundRole});
}

void DeviceInfoModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= DeviceColumnCount)
        return;
    const int logical = m_logicalOf.at(column);
    const int rows = rowCount();
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    // The comparison of two rows (by their positions before the sort), with
    // the address keys worked out once per row rather than once per
    // comparison.
    std::function<bool(int, int)> less;
    std::vector<aptui::CIpStandardItem::SortKey> addresses;
    std::vector<std::optional<QString>> texts;
    if (logical == ColumnId) {
        less = [this](int a, int b) { return m_rows[a].id < m_rows[b].id; };
    } else if (isAddressColumn(logical)) {
        addresses.reserve(static_cast<std::size_t>(rows));
        for (const Row &row : m_rows)
            addresses.push_back(aptui::CIpStandardItem::sortKey(storedText(row, logical).value_or(QString())));
        less = [&addresses](int a, int b) { return addresses[a] < addresses[b]; };
    } else if (logical == ColumnCheck) {
        less = [](int, int) { return false; };
    } else {
        texts.reserve(static_cast<std::size_t>(rows));
        for (const Row &row : m_rows)
            texts.push_back(storedText(row, logical));
        less = [&texts](int a, int b) {
            // A cell without text is never less, and more than any text.
            if (!texts[a])
                return false;
            if (!texts[b])
                return true;
            return texts[a]->compare(*texts[b]) < 0;
        };
    }
    std::vector<int> permutation(static_cast<std::size_t>(rows));
    std::iota(permutation.begin(), permutation.end(), 0);
    if (order == Qt::AscendingOrder)
        std::stable_sort(permutation.begin(), permutation.end(), less);
    else
        std::stable_sort(permutation.begin(), permutation.end(), [&less](int a, int b) { return less(b, a); });

    std::deque<Row> sorted;
    std::vector<int> newRowOf(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        sorted.push_back(std::move(m_rows[permutation[i]]));
        newRowOf[permutation[i]] = i;
    }
    m_rows.swap(sorted);

    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from)
        to << this->index(newRowOf[index.row()], index.column());
    changePersistentIndexList(from, to);
    m_indexStale = true;
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void DeviceInfoModel::indexRows(int first, int last) const
{
    if (m_indexStale)
        return;
    // Room for a full fleet, as the store has: growing rehashes every key.
    if (m_rowIndex.capacity() < DeviceStore::kReservedDevices)
        m_rowIndex.reserve(DeviceStore::kReservedDevices);
    for (int row = first; row <= last; ++row) {
        KeySlot &slot = m_rowIndex[m_rows[static_cast<std::size_t>(row)].key];
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
        const auto it = m_rowIndex.find(m_rows[static_cast<std::size_t>(row)].key);
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

int DeviceInfoModel::rowOf(const DeviceKey &key) const
{
    if (m_indexStale)
        rebuildIndex();
    int row = m_rowIndex.value(packKey(key)).row;
    Q_ASSERT(row < 0 || keyAt(row) == key);
    return row;
}

int DeviceInfoModel::rowOf(const QString &serialNumber, const QString &mac) const
{
    return rowOf(DeviceKey{serialNumber, mac});
}

DeviceKey DeviceInfoModel::keyAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return DeviceKey();
    return unpackKey(m_rows[static_cast<std::size_t>(row)].key);
}

QString DeviceInfoModel::text(int row, int logical) const
{
    const int column = columnIndex(logical);
    if (row < 0 || row >= rowCount() || column < 0)
        return QString();
    return data(index(row, column)).toString();
}

Qt::CheckState DeviceInfoModel::checkState(int row) const
{
    if (row < 0 || row >= rowCount())
        return Qt::Unchecked;
    return m_rows[static_cast<std::size_t>(row)].check;
}

void DeviceInfoModel::setAmbiguous(const DeviceKey &key, bool ambiguous)
{
    const int row = rowOf(key);
    if (row < 0 || m_rows[static_cast<std::size_t>(row)].ambiguous == ambiguous)
        return;
    m_rows[static_cast<std::size_t>(row)].ambiguous = ambiguous;
    Q_EMIT dataChanged(index(row, 0), index(row, DeviceColumnCount - 1),
                       {Qt::ForegroundRole, Qt::FontRole, Qt::ToolTipRole});
}

bool DeviceInfoModel::isAmbiguous(int row) const
{
    return row >= 0 && row < rowCount() && m_rows[static_cast<std::size_t>(row)].ambiguous;
}

bool DeviceInfoModel::setCheckState(int row, Qt::CheckState state)
{
    return setData(index(row, columnIndex(ColumnCheck)), state, Qt::CheckStateRole);
}

void DeviceInfoModel::renumberFrom(int row)
{
    // IDs follow the current row order from the removed position on, also
    // after the user has sorted by another column.
    const int rows = rowCount();
    if (row >= rows)
        return;
    for (int r = row; r < rows; ++r)
        m_rows[static_cast<std::size_t>(r)].id = r + 1;
    const int column = columnIndex(ColumnId);
    Q_EMIT dataChanged(index(row, column), index(rows - 1, column), {Qt::DisplayRole, Qt::EditRole});
}

bool DeviceInfoModel::loadColumnConfig()
{
    const bool parsed = m_config.load();
    // The model's columns never move while it exists: a later re-read only
    // refreshes the document that drags rewrite, or every cell would land
    // under another column's header.
    if (m_columnMap.isEmpty())
        m_columnMap = m_config.map();
    return parsed;
}

bool DeviceInfoModel::moveColumn(int logicalIndex, int from, int to)
{
    Q_UNUSED(logicalIndex)
    return m_config.moveColumn(from, to);
}

QString DeviceInfoModel::defaultConfigPath()
{
    return ColumnConfig::defaultPath();
}

QString DeviceInfoModel::resolveConfigPath(const QString &programDir, bool programDirWritable,
                                           const QString &userDir)
{
    return ColumnConfig::resolvePath(programDir, programDirWritable, userDir);
}

} // namespace VoskTool

// Its own moc output, so that linking the model alone does not pull in
// the page (and with it the discovery library).
#include "moc_deviceinfomodel.cpp"
