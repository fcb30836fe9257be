#include "vosk/devicetable.h"

#include "vosk/clock.h"
#include "vosk/recordtext.h"
#include "vosk/vosklog.h"

#include <algorithm>
#include <cstring>

namespace VoskNet {

namespace {

// The texts of a StoredRecord, in this order, each after its length byte.
enum StoredText { Ipv4Address, Ipv4Mask, Ipv4Gateway, SoftwareVersion, DspVersion, StartTime, DeviceDescription,
                  Ipv6Address, Ipv6Gateway, StoredTextCount };

// A text of the packed array, or an empty view past its end.
QByteArrayView storedText(const QByteArray &texts, StoredText which)
{
    qsizetype at = 0;
    for (int i = 0; at < texts.size(); ++i) {
        const qsizetype length = static_cast<quint8>(texts.at(at));
        if (i == which)
            return QByteArrayView(texts.constData() + at + 1, std::min(length, texts.size() - at - 1));
        at += 1 + length;
    }
    return QByteArrayView();
}

template <std::size_t N>
void setField(char (&field)[N], QByteArrayView text)
{
    setFieldBytes(field, QByteArray::fromRawData(text.data(), text.size()));
}

template <typename Array>
QByteArrayView view(const Array &bytes)
{
    return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Reports carry exactly as many bytes of boot and key as the arrays hold:
// the decoder refuses any other length.
template <typename Array>
void copyInto(Array &to, const QByteArray &from)
{
    to.fill(0);
    std::memcpy(to.data(), from.constData(), std::min<std::size_t>(to.size(), static_cast<std::size_t>(from.size())));
}

} // namespace

DeviceTable::DeviceTable()
{
    m_devices.reserve(kCapacity);
}

DeviceTable::StoredRecord DeviceTable::StoredRecord::from(const WireRecord &r)
{
    StoredRecord stored;
    const QByteArray *texts[StoredTextCount] = {&r.ipv4Address, &r.ipv4Mask, &r.ipv4Gateway, &r.softwareVersion,
                                                &r.dspVersion, &r.startTime, &r.deviceDescription,
                                                &r.ipv6Address, &r.ipv6Gateway};
    qsizetype size = 0;
    for (const QByteArray *text : texts)
        size += 1 + std::min<qsizetype>(text->size(), 255);
    stored.texts.reserve(size);
    for (const QByteArray *text : texts) {
        // The decoder bounds each text by its record field (at most 47
        // bytes); the cut only keeps a hand-made record from corrupting the
        // array.
        const qsizetype length = std::min<qsizetype>(text->size(), 255);
        stored.texts.append(static_cast<char>(length));
        stored.texts.append(text->constData(), length);
    }
    stored.deviceTypeCode = r.deviceTypeCode;
    stored.port = r.port;
    stored.channelCount = r.channelCount;
    stored.httpPort = r.httpPort;
    stored.ipv6PrefixLength = r.ipv6PrefixLength;
    stored.capabilities = r.capabilities;
    stored.dhcpEnabled = r.dhcpEnabled;
    stored.notActivated = r.notActivated;
    stored.newResetType = r.newResetType;
    stored.addressInfoValid = r.addressInfoValid;
    return stored;
}

bool DeviceTable::StoredRecord::operator==(const StoredRecord &o) const
{
    return texts == o.texts && deviceTypeCode == o.deviceTypeCode && port == o.port && channelCount == o.channelCount
        && httpPort == o.httpPort && ipv6PrefixLength == o.ipv6PrefixLength && capabilities == o.capabilities
        && dhcpEnabled == o.dhcpEnabled && notActivated == o.notActivated && newResetType == o.newResetType
        && addressInfoValid == o.addressInfoValid;
}

VOSK_DEVICE_INFO DeviceTable::toInfo(const DeviceId &id, const StoredRecord &r, int event)
{
    VOSK_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    setFieldBytes(info.leadingText, QByteArrayLiteral("VOSK1"));
    setFieldBytes(info.serialNumber, id.second);
    setFieldBytes(info.mac, id.first);
    setField(info.ipv4Address, storedText(r.texts, Ipv4Address));
    setField(info.ipv4Mask, storedText(r.texts, Ipv4Mask));
    info.deviceTypeCode = int32_t(r.deviceTypeCode);
    info.port = r.port;
    info.channelCount = r.channelCount;
    setField(info.softwareVersion, storedText(r.texts, SoftwareVersion));
    setField(info.dspVersion, storedText(r.texts, DspVersion));
    setField(info.startTime, storedText(r.texts, StartTime));
    info.event = event;
    setField(info.deviceDescription, storedText(r.texts, DeviceDescription));
    setField(info.ipv4Gateway, storedText(r.texts, Ipv4Gateway));
    setField(info.ipv6Address, storedText(r.texts, Ipv6Address));
    setField(info.ipv6Gateway, storedText(r.texts, Ipv6Gateway));
    info.ipv6PrefixLength = r.ipv6PrefixLength;
    info.capabilities = r.capabilities;
    info.dhcpEnabled = r.dhcpEnabled ? 1 : 0;
    info.addressInfoValid = r.addressInfoValid ? 1 : 0;
    info.httpPort = r.httpPort;
    info.notActivated = r.notActivated ? 1 : 0;
    info.newResetType = r.newResetType ? 1 : 0;
    return info;
}

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
    if (it != m_devices.end() && view(it->boot) == m.boot && m.seq <= it->seq)
        return;
    if (m.event == ReportEvent::Bye) {
        // A bye ends the boot it names; one of an earlier boot (late, or
        // replayed) says nothing about the device as it runs now.
        if (it == m_devices.end() || view(it->boot) != m.boot)
            return;
        it->seq = m.seq;
        // The route stays, so an operation on it times out (2011) instead
        // of claiming the device was never seen.
        if (it->reported) {
            it->reported = false;
            events.push_back(toInfo(it.key(), it->record, VOSK_EVENT_OFFLINE));
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
    StoredRecord record = StoredRecord::from(m.record);
    const bool changed = device.record != record;
    device.record = std::move(record);
    copyInto(device.publicKey, m.publicKey);
    copyInto(device.boot, m.boot);
    device.seq = m.seq;
    device.interfaceIndex = interfaceIndex;
    device.family = family;
    device.lastHeardRound = m_round;
    device.lastHeardMs = nowMs();
    const bool visible = !filterOn || device.record.deviceTypeCode != 0;
    if (!device.reported) {
        if (visible) {
            device.reported = true;
            events.push_back(toInfo(it.key(), device.record, VOSK_EVENT_ONLINE));
        }
    } else if (changed) {
        events.push_back(toInfo(it.key(), device.record, VOSK_EVENT_UPDATED));
    }
}

void DeviceTable::beginRound(Events &events)
{
    const std::size_t before = events.size();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_round;
        for (auto it = m_devices.begin(); it != m_devices.end(); ++it) {
            if (it->reported && silent(*it)) {
                it->reported = false;
                events.push_back(toInfo(it.key(), it->record, VOSK_EVENT_OFFLINE));
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
        route.serial = it.key().second;
        route.mac = it.key().first;
    } else {
        // A device that left (bye, or offline by silence) keeps its entry
        // for a while; it does not make the one the caller was told is
        // online ambiguous. Among entries none of which is reported (after
        // a clearup), two still are. Whichever is chosen, the request is
        // sealed to that entry's own key.
        int matching = 0, live = 0;
        const DeviceId *foundId = nullptr;
        const DeviceId *anyMatchId = nullptr;
        const Device *anyMatch = nullptr;
        for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it) {
            if (!((mac && it.key().first == *mac) || (serial && it.key().second == *serial)))
                continue;
            ++matching;
            anyMatch = &*it;
            anyMatchId = &it.key();
            if (it->reported) {
                ++live;
                found = &*it;
                foundId = &it.key();
            }
        }
        if (matching == 0)
            return VOSK_ERR_NO_SUCH_DEVICE;
        if (live > 1 || (live == 0 && matching > 1))
            return VOSK_ERR_AMBIGUOUS_DEVICE;
        if (!found) {
            found = anyMatch;
            foundId = anyMatchId;
        }
        route.serial = foundId->second;
        route.mac = foundId->first;
    }
    route.interfaceIndex = found->interfaceIndex;
    route.family = found->family;
    route.publicKey = QByteArray(found->publicKey.data(), kPublicKeySize);
    route.byPair = serial && mac;
    return VOSK_OK;
}

bool DeviceTable::findRoute(const QByteArray *serial, const QByteArray *mac, Route &route) const
{
    return this->route(serial, mac, route) == VOSK_OK;
}

QList<std::pair<QByteArray, QByteArray>> DeviceTable::heardSince(qint64 since) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    QList<std::pair<QByteArray, QByteArray>> devices;
    for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it) {
        if (it->lastHeardMs >= since)
            devices.append(it.key());
    }
    return devices;
}

int DeviceTable::recentlyHeard() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return int(std::count_if(m_devices.cbegin(), m_devices.cend(),
                             [&](const Device &device) { return device.lastHeardRound >= m_round - 1; }));
}

} // namespace VoskNet
