#include "discovery/devicestore.h"

#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"

#include <algorithm>

DeviceStore::DeviceStore()
    : m_mutex(new PELT_MUTEX)
{
    PELT_MutexCreate(m_mutex, -1);
    reserveIndexes();
}

// The indexes are sized for a full fleet from the start: growing rehashes
// every entry, and the four indexes reached 8,192 entries on one report,
// which was the GUI thread's longest stretch while a table of 16,384
// devices filled (about 4 ms of 9). Empty, the room costs about 40 KB an
// index; entries are only allocated as they come.
void DeviceStore::reserveIndexes()
{
    m_slots.reserve(kReservedDevices);
    m_macCounts.reserve(kReservedDevices);
    m_keysByMac.reserve(kReservedDevices);
    m_keysBySerial.reserve(kReservedDevices);
}

DeviceStore::~DeviceStore()
{
    PELT_MutexDestroy(m_mutex);
    delete m_mutex;
}

void DeviceStore::lock()
{
    PELT_MutexLock(m_mutex);
}

void DeviceStore::unlock()
{
    PELT_MutexUnlock(m_mutex);
}

namespace {

enum class HalfOf { Mac, Serial };

// The key whose `half` an index entry is keyed by and whose other half is
// `other`.
DeviceKey keyOf(HalfOf which, const QString &half, const QString &other)
{
    return which == HalfOf::Mac ? DeviceKey{other, half} : DeviceKey{half, other};
}

// A MAC as its 12 hex digits in lower case, whatever the separators: ours
// write 02-5e-..., ONVIF devices 02:5E:...; empty for anything else.
QString macDigits(const QString &mac)
{
    QString digits;
    for (const QChar c : mac) {
        if (c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')))
            digits += c.toLower();
        else if (c != QLatin1Char(':') && c != QLatin1Char('-') && c != QLatin1Char('.'))
            return QString();
    }
    return digits.size() == 12 ? digits : QString();
}

// The spellings of a MAC our devices may have been stored under.
QStringList macSpellings(const QString &digits)
{
    QStringList pairs;
    for (int i = 0; i < 12; i += 2)
        pairs << digits.mid(i, 2);
    const QString dashed = pairs.join(QLatin1Char('-'));
    const QString colons = pairs.join(QLatin1Char(':'));
    return {dashed, dashed.toUpper(), colons, colons.toUpper()};
}

void addUnique(QVector<DeviceKey> &into, const DeviceKey &key, const DeviceKey &self)
{
    if (key != self && !into.contains(key))
        into.append(key);
}

} // namespace

void DeviceStore::rememberOnvif(const VOSK_DEVICE_INFO &record, const DeviceKey &key)
{
    const QString serial = VOSK::fieldText(record.serialNumber);
    const QString mac = macDigits(VOSK::fieldText(record.mac));
    if (!serial.isEmpty())
        m_onvifBySerial[serial].append(key);
    if (!mac.isEmpty())
        m_onvifByMac[mac].append(key);
    m_onvifByGroup[VOSK::onvifEndpointGroup(record)].append(key);
}

void DeviceStore::forgetOnvif(const VOSK_DEVICE_INFO &record, const DeviceKey &key)
{
    auto forget = [&key](QHash<QString, QVector<DeviceKey>> &index, const QString &text) {
        const auto it = index.find(text);
        if (it == index.end())
            return;
        it->removeOne(key);
        if (it->isEmpty())
            index.erase(it);
    };
    forget(m_onvifBySerial, VOSK::fieldText(record.serialNumber));
    forget(m_onvifByMac, macDigits(VOSK::fieldText(record.mac)));
    forget(m_onvifByGroup, VOSK::onvifEndpointGroup(record));
}

void DeviceStore::rememberIdentity(QHash<QString, Half> &index, const DeviceKey &key, bool byMac)
{
    const HalfOf which = byMac ? HalfOf::Mac : HalfOf::Serial;
    const QString &half = byMac ? key.mac : key.serialNumber;
    const QString &other = byMac ? key.serialNumber : key.mac;
    Half &entry = index[half];
    if (entry.keys == 0) {
        entry.other = other;
    } else {
        if (entry.keys == 1) {
            entry.shared.append(keyOf(which, half, entry.other));
            entry.other.clear();
        }
        entry.shared.append(key);
    }
    ++entry.keys;
}

void DeviceStore::forgetIdentity(QHash<QString, Half> &index, const DeviceKey &key, bool byMac)
{
    const auto it = index.find(byMac ? key.mac : key.serialNumber);
    if (it == index.end())
        return;
    // Only a key remembered is forgotten: a single one is this key.
    if (it->keys <= 1) {
        index.erase(it);
        return;
    }
    if (!it->shared.removeOne(key))
        return;
    if (--it->keys == 1) {
        const DeviceKey last = it->shared.constFirst();
        it->other = byMac ? last.serialNumber : last.mac;
        it->shared = QVector<DeviceKey>();
    }
}

void DeviceStore::collectSharing(const QHash<QString, Half> &index, const DeviceKey &key, bool byMac,
                                 QVector<DeviceKey> &others) const
{
    const QString &half = byMac ? key.mac : key.serialNumber;
    const auto it = index.constFind(half);
    if (it == index.cend())
        return;
    if (it->keys == 1) {
        const DeviceKey only = keyOf(byMac ? HalfOf::Mac : HalfOf::Serial, half, it->other);
        if (only != key)
            others.append(only);
        return;
    }
    for (const DeviceKey &other : it->shared) {
        if (other != key)
            others.append(other);
    }
}

int DeviceStore::indexOfLocked(const DeviceKey &key) const
{
    const auto it = m_slots.constFind(key);
    return it == m_slots.cend() ? -1 : it->first;
}

void DeviceStore::removeAtLocked(int index)
{
    const VOSK_DEVICE_INFO removed = m_devices.at(index);
    const DeviceKey key = DeviceKey::fromRecord(removed);
    m_devices.remove(index);
    // Every element behind the removed one moved up by one.
    for (KeySlot &slot : m_slots) {
        if (slot.first > index)
            --slot.first;
    }
    KeySlot &slot = m_slots[key];
    // The indexes hold the first element of a key (what lookups answer).
    if (key.isOnvif() && slot.first == index)
        forgetOnvif(removed, key);
    if (--slot.count == 0) {
        m_slots.remove(key);
        if (!key.isOnvif()) {
            forgetIdentity(m_keysByMac, key, true);
            forgetIdentity(m_keysBySerial, key, false);
        }
    } else if (slot.first == index) {
        // The removed element was the first of a repeated key: the next one
        // of that key, further back, answers from now on.
        for (int i = index; i < m_devices.size(); ++i) {
            if (DeviceKey::fromRecord(m_devices.at(i)) == key) {
                slot.first = i;
                break;
            }
        }
        if (key.isOnvif())
            rememberOnvif(m_devices.at(slot.first), key);
    }
    const auto mac = m_macCounts.find(key.mac);
    if (mac != m_macCounts.end() && --mac.value() == 0)
        m_macCounts.erase(mac);
}

void DeviceStore::addDevice(const VOSK_DEVICE_INFO &record)
{
    const Locker locker(this);
    const DeviceKey key = DeviceKey::fromRecord(record);
    KeySlot &slot = m_slots[key];
    if (slot.count++ == 0) {
        slot.first = static_cast<int>(m_devices.size());
        // An ONVIF row's key is its endpoint: the MAC and serial number it
        // shows are what its device says, and no operation is addressed by
        // them, so they make no row ambiguous.
        if (!key.isOnvif()) {
            rememberIdentity(m_keysByMac, key, true);
            rememberIdentity(m_keysBySerial, key, false);
        } else {
            rememberOnvif(record, key);
        }
    }
    ++m_macCounts[key.mac];
    m_devices.append(record);
}

void DeviceStore::removeDevice(const VOSK_DEVICE_INFO &record)
{
    const Locker locker(this);
    const int index = indexOfLocked(DeviceKey::fromRecord(record));
    if (index >= 0)
        removeAtLocked(index);
}

void DeviceStore::updateDevice(const VOSK_DEVICE_INFO &record)
{
    const Locker locker(this);
    // The record has the element's key, so the indexes of ours stay as
    // they are; an ONVIF row's serial number and MAC come with its updates.
    const DeviceKey key = DeviceKey::fromRecord(record);
    const int index = indexOfLocked(key);
    if (index < 0)
        return;
    if (key.isOnvif()) {
        forgetOnvif(m_devices.at(index), key);
        rememberOnvif(record, key);
    }
    m_devices[index] = record;
}

int DeviceStore::indexOf(const DeviceKey &key)
{
    const Locker locker(this);
    return indexOfLocked(key);
}

int DeviceStore::indexOf(const QString &serialNumber, const QString &mac)
{
    return indexOf(DeviceKey{serialNumber, mac});
}

bool DeviceStore::getDevice(const DeviceKey &key, VOSK_DEVICE_INFO &record)
{
    const Locker locker(this);
    const int index = indexOfLocked(key);
    if (index < 0)
        return false;
    record = m_devices.at(index);
    return true;
}

bool DeviceStore::getDevice(const QString &serialNumber, const QString &mac, VOSK_DEVICE_INFO &record)
{
    return getDevice(DeviceKey{serialNumber, mac}, record);
}

QVector<VOSK_DEVICE_INFO> DeviceStore::getAllDevices()
{
    const Locker locker(this);
    return m_devices;
}

bool DeviceStore::getNetParam(const QString &serialNumber, const QString &mac, VOSK_NET_PARAM &param)
{
    return getNetParam(DeviceKey{serialNumber, mac}, param);
}

bool DeviceStore::getNetParam(const DeviceKey &key, VOSK_NET_PARAM &param)
{
    const Locker locker(this);
    const int index = indexOfLocked(key);
    if (index < 0)
        return false;
    const VOSK_DEVICE_INFO &record = m_devices.at(index);
    VOSK::copyField(param.ipv4Address, record.ipv4Address);
    VOSK::copyField(param.ipv4Mask, record.ipv4Mask);
    VOSK::copyField(param.ipv4Gateway, record.ipv4Gateway);
    // The record's IPv6 fields are 46 bytes wide: copying a fixed 128 bytes
    // from them would run into the neighbouring fields.
    VOSK::copyField(param.ipv6Address, record.ipv6Address);
    VOSK::copyField(param.ipv6Gateway, record.ipv6Gateway);
    param.port = static_cast<quint16>(record.port & 0xFFFF);
    param.ipv6PrefixLength = record.ipv6PrefixLength;
    param.dhcpEnabled = record.dhcpEnabled;
    param.httpPort = record.httpPort;
    return true;
}

bool DeviceStore::setNetParam(const QString &serialNumber, const QString &mac, const VOSK_NET_PARAM &param)
{
    return setNetParam(DeviceKey{serialNumber, mac}, param);
}

bool DeviceStore::setNetParam(const DeviceKey &key, const VOSK_NET_PARAM &param)
{
    const Locker locker(this);
    const int index = indexOfLocked(key);
    if (index < 0)
        return false;
    VOSK_DEVICE_INFO &record = m_devices[index];
    VOSK::copyField(record.ipv4Address, param.ipv4Address);
    VOSK::copyField(record.ipv4Mask, param.ipv4Mask);
    VOSK::copyField(record.ipv4Gateway, param.ipv4Gateway);
    VOSK::copyField(record.ipv6Address, param.ipv6Address);
    VOSK::copyField(record.ipv6Gateway, param.ipv6Gateway);
    record.port = static_cast<qint32>(param.port);
    record.ipv6PrefixLength = param.ipv6PrefixLength;
    record.dhcpEnabled = param.dhcpEnabled;
    record.httpPort = param.httpPort;
    return true;
}

bool DeviceStore::setActivated(const QString &serialNumber, const QString &mac, quint8 value)
{
    return setActivated(DeviceKey{serialNumber, mac}, value);
}

bool DeviceStore::setActivated(const DeviceKey &key, quint8 value)
{
    const Locker locker(this);
    const int index = indexOfLocked(key);
    if (index < 0)
        return false;
    m_devices[index].notActivated = value;
    return true;
}

bool DeviceStore::containsMac(const QString &mac) const
{
    return m_macCounts.contains(mac);
}

bool DeviceStore::isAmbiguous(const DeviceKey &key)
{
    const Locker locker(this);
    return !sharingIdentity(key).isEmpty();
}

QVector<DeviceKey> DeviceStore::sharingIdentity(const DeviceKey &key)
{
    const Locker locker(this);
    QVector<DeviceKey> others;
    QString serial = key.serialNumber;
    QString mac = key.mac;
    if (key.isOnvif()) {
        // Its halves are in its record, read at sign-in.
        const int index = indexOfLocked(key);
        if (index < 0)
            return others;
        const VOSK_DEVICE_INFO &record = m_devices.at(index);
        serial = VOSK::fieldText(record.serialNumber);
        mac = VOSK::fieldText(record.mac);
        for (const DeviceKey &other : m_onvifByGroup.value(VOSK::onvifEndpointGroup(record)))
            addUnique(others, other, key);
        // Ours that show its serial number or MAC.
        if (!serial.isEmpty()) {
            QVector<DeviceKey> ours;
            collectSharing(m_keysBySerial, DeviceKey{serial, QString()}, false, ours);
            for (const DeviceKey &other : std::as_const(ours))
                addUnique(others, other, key);
        }
        const QString digits = macDigits(mac);
        if (!digits.isEmpty()) {
            for (const QString &spelling : macSpellings(digits)) {
                QVector<DeviceKey> ours;
                collectSharing(m_keysByMac, DeviceKey{QString(), spelling}, true, ours);
                for (const DeviceKey &other : std::as_const(ours))
                    addUnique(others, other, key);
            }
        }
    } else {
        collectSharing(m_keysByMac, key, true, others);
        // One that shares both halves is the key itself.
        collectSharing(m_keysBySerial, key, false, others);
    }
    // ONVIF rows that show its serial number or MAC.
    if (!serial.isEmpty()) {
        for (const DeviceKey &other : m_onvifBySerial.value(serial))
            addUnique(others, other, key);
    }
    if (const QString digits = macDigits(mac); !digits.isEmpty()) {
        for (const DeviceKey &other : m_onvifByMac.value(digits))
            addUnique(others, other, key);
    }
    return others;
}

int DeviceStore::count()
{
    const Locker locker(this);
    return m_devices.size();
}

void DeviceStore::clear()
{
    const Locker locker(this);
    m_devices.clear();
    m_slots.clear();
    m_macCounts.clear();
    m_keysByMac.clear();
    m_keysBySerial.clear();
    m_onvifBySerial.clear();
    m_onvifByMac.clear();
    m_onvifByGroup.clear();
    reserveIndexes();
}
