#include "vosk/devicetable.h"

#include "vosk/clock.h"
#include "vosk/recordtext.h"
#include "vosk/vosklog.h"

#include <algorithm>
#include <cstring>

namespace VoskNet {

namespace {

VOSK_DEVICE_INFO toInfo(const WireRecord &r, int event)
{
    VOSK_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    setFieldBytes(info.leadingText, QByteArrayLiteral("VOSK1"));
    setFieldBytes(info.serialNumber, r.serialNumber);
    setFieldBytes(info.mac, r.mac);
    setFieldBytes(info.ipv4Address, r.ipv4Address);
    setFieldBytes(info.ipv4Mask, r.ipv4Mask);
    info.deviceTypeCode = int32_t(r.deviceTypeCode);
    info.port = r.port;
    info.channelCount = r.channelCount;
    setFieldBytes(info.softwareVersion, r.softwareVersion);
    setFieldBytes(info.dspVersion, r.dspVersion);
    setFieldBytes(info.startTime, r.startTime);
    info.event = event;
    setFieldBytes(info.deviceDescription, r.deviceDescription);
    setFieldBytes(info.ipv4Gateway, r.ipv4Gateway);
    setFieldBytes(info.ipv6Address, r.ipv6Address);
    setFieldBytes(info.ipv6Gateway, r.ipv6Gateway);
    info.ipv6PrefixLength = r.ipv6PrefixLength;
    info.capabilities = r.capabilities;
    info.dhcpEnabled = r.dhcpEnabled ? 1 : 0;
    info.addressInfoValid = r.addressInfoValid ? 1 : 0;
    info.httpPort = r.httpPort;
    info.notActivated = r.notActivated ? 1 : 0;
    info.newResetType = r.newResetType ? 1 : 0;
    return info;
}

} // namespace

bool DeviceTable::silent(const Device &device) const
{
    return device.lastHeardRound <= m_round - 1 - kMissedRoundsForOffline;
}

void DeviceTable::applyReport(const WireMessage &m, int interfaceIndex, Family family, bool filterOn,
                              Events &events)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const DeviceId id{m.record.mac, m.record.serialNumber};
    auto it = m_devices.find(id);
    // (boot, seq) orders one device's reports: a late one is stale.
    if (it != m_devices.end() && it->boot == m.boot && m.seq <= it->seq)
        return;
    if (m.event == ReportEvent::Bye) {
        // A bye ends the boot it names; one of an earlier boot (late, or
        // replayed) says nothing about the device as it runs now.
        if (it == m_devices.end() || it->boot != m.boot)
            return;
        it->seq = m.seq;
        // The route stays, so an operation on it times out (2011) instead
        // of claiming the device was never seen.
        if (it->reported) {
            it->reported = false;
            events.push_back(toInfo(it->record, VOSK_EVENT_OFFLINE));
        }
        return;
    }
    if (it == m_devices.end()) {
        if (m_devices.size() >= kCapacity)
            forgetSilentDevices();
        if (m_devices.size() >= kCapacity)
            return;
        it = m_devices.insert(id, Device());
    }
    Device &device = *it;
    const bool changed = device.record != m.record;
    device.record = m.record;
    device.publicKey = m.publicKey;
    device.boot = m.boot;
    device.seq = m.seq;
    device.interfaceIndex = interfaceIndex;
    device.family = family;
    device.lastHeardRound = m_round;
    device.lastHeardMs = nowMs();
    const bool visible = !filterOn || device.record.deviceTypeCode != 0;
    if (!device.reported) {
        if (visible) {
            device.reported = true;
            events.push_back(toInfo(device.record, VOSK_EVENT_ONLINE));
        }
    } else if (changed) {
        events.push_back(toInfo(device.record, VOSK_EVENT_UPDATED));
    }
}

void DeviceTable::beginRound(Events &events)
{
    const std::size_t before = events.size();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_round;
        for (Device &device : m_devices) {
            if (device.reported && silent(device)) {
                device.reported = false;
                events.push_back(toInfo(device.record, VOSK_EVENT_OFFLINE));
            }
        }
    }
    if (events.size() > before)
        logLine(LogLevel::Info, QStringLiteral("%1 device(s) missed %2 rounds: offline")
                                    .arg(events.size() - before)
                                    .arg(kMissedRoundsForOffline));
}

void DeviceTable::clearup()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (Device &device : m_devices)
        device.reported = false;
}

void DeviceTable::forgetSilentDevices()
{
    // At most once a round: a flood of new MACs must not buy a sweep each.
    if (m_lastSweepRound == m_round)
        return;
    m_lastSweepRound = m_round;
    // Those not reported and silent for as many rounds as make a device
    // offline: a table once filled by made-up reports would otherwise shut
    // out every real device that comes later. (A device that just said bye
    // keeps its route for a while, so an operation on it ends in 2011.)
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        if (!it->reported && silent(*it))
            it = m_devices.erase(it);
        else
            ++it;
    }
}

int DeviceTable::route(const QByteArray *serial, const QByteArray *mac, Route &route) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    const Device *found = nullptr;
    if (serial && mac) {
        const auto it = m_devices.constFind(DeviceId{*mac, *serial});
        if (it == m_devices.cend())
            return VOSK_ERR_NO_SUCH_DEVICE;
        found = &*it;
    } else {
        // A device that left (bye, or offline by silence) keeps its entry
        // for a while; it does not make the one the caller was told is
        // online ambiguous. Among entries none of which is reported (after
        // a clearup), two still are. Whichever is chosen, the request is
        // sealed to that entry's own key.
        int matching = 0, live = 0;
        const Device *anyMatch = nullptr;
        for (const Device &device : m_devices) {
            if (!((mac && device.record.mac == *mac) || (serial && device.record.serialNumber == *serial)))
                continue;
            ++matching;
            anyMatch = &device;
            if (device.reported) {
                ++live;
                found = &device;
            }
        }
        if (matching == 0)
            return VOSK_ERR_NO_SUCH_DEVICE;
        if (live > 1 || (live == 0 && matching > 1))
            return VOSK_ERR_AMBIGUOUS_DEVICE;
        if (!found)
            found = anyMatch;
    }
    route.interfaceIndex = found->interfaceIndex;
    route.family = found->family;
    route.publicKey = found->publicKey;
    route.serial = found->record.serialNumber;
    route.mac = found->record.mac;
    route.byPair = serial && mac;
    return VOSK_OK;
}

bool DeviceTable::findRoute(const QByteArray *serial, const QByteArray *mac, Route &route) const
{
    return this->route(serial, mac, route) == VOSK_OK;
}

QList<QByteArray> DeviceTable::heardSince(qint64 since) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    QList<QByteArray> macs;
    for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it) {
        if (it->lastHeardMs >= since)
            macs.append(it->record.mac);
    }
    return macs;
}

int DeviceTable::recentlyHeard() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return int(std::count_if(m_devices.cbegin(), m_devices.cend(),
                             [&](const Device &device) { return device.lastHeardRound >= m_round - 1; }));
}

} // namespace VoskNet
