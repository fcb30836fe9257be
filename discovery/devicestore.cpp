#include "discovery/devicestore.h"

#include "discovery/recordfields.h"

namespace {
bool keyMatches(const VOSK_DEVICE_INFO &record, const QString &serialNumber, const QString &mac)
{
    return VOSK::fieldText(record.serialNumber) == serialNumber && VOSK::fieldText(record.mac) == mac;
}
} // namespace

DeviceStore::DeviceStore()
    : m_mutex(new PELT_MUTEX)
{
    PELT_MutexCreate(m_mutex, -1);
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

int DeviceStore::indexOfLocked(const QString &serialNumber, const QString &mac) const
{
    for (int i = 0; i < m_devices.size(); ++i) {
        if (keyMatches(m_devices.at(i), serialNumber, mac))
            return i;
    }
    return -1;
}

void DeviceStore::addDevice(const VOSK_DEVICE_INFO &record)
{
    const Locker locker(this);
    m_devices.append(record);
}

void DeviceStore::removeDevice(const VOSK_DEVICE_INFO &record)
{
    const Locker locker(this);
    const int index = indexOfLocked(VOSK::fieldText(record.serialNumber), VOSK::fieldText(record.mac));
    if (index >= 0)
        m_devices.remove(index);
}

void DeviceStore::updateDevice(const VOSK_DEVICE_INFO &record)
{
    const Locker locker(this);
    const int index = indexOfLocked(VOSK::fieldText(record.serialNumber), VOSK::fieldText(record.mac));
    if (index >= 0)
        m_devices[index] = record;
}

int DeviceStore::indexOf(const QString &serialNumber, const QString &mac)
{
    const Locker locker(this);
    return indexOfLocked(serialNumber, mac);
}

bool DeviceStore::getDevice(const QString &serialNumber, const QString &mac, VOSK_DEVICE_INFO &record)
{
    const Locker locker(this);
    const int index = indexOfLocked(serialNumber, mac);
    if (index < 0)
        return false;
    record = m_devices.at(index);
    return true;
}

QVector<VOSK_DEVICE_INFO> DeviceStore::getAllDevices()
{
    const Locker locker(this);
    return m_devices;
}

bool DeviceStore::getNetParam(const QString &serialNumber, const QString &mac, VOSK_NET_PARAM &param)
{
    const Locker locker(this);
    const int index = indexOfLocked(serialNumber, mac);
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
    const Locker locker(this);
    const int index = indexOfLocked(serialNumber, mac);
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
    const Locker locker(this);
    const int index = indexOfLocked(serialNumber, mac);
    if (index < 0)
        return false;
    m_devices[index].notActivated = value;
    return true;
}

bool DeviceStore::containsMac(const QString &mac) const
{
    for (const VOSK_DEVICE_INFO &record : m_devices) {
        if (VOSK::fieldText(record.mac) == mac)
            return true;
    }
    return false;
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
}
