#include "vosk/voskclient.h"

#include "vosk/sealedpayload.h"
#include "vosk/vosklog.h"

#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace VoskNet {

namespace {

// Timing of docs/protocol.md.
constexpr qint64 kRepeatDelays[] = {0, 500, 1500};
constexpr qint64 kDefaultRoundInterval = 30000;
// Right after a start or a refresh the user is waiting for the list: one
// more round soon catches a device whose three answers were all lost,
// instead of leaving it out for a whole interval.
constexpr qint64 kFollowUpRound = 5000;
constexpr qint64 kMissedRoundsForOffline = 3;
constexpr qint64 kRescanInterval = 2000;
constexpr qint64 kRetransmitInterval = 400;
constexpr qint64 kOperationTimeout = 3000;
// A state-changing request goes out only with this much of the timeout
// left: sent at the last moment, it could take effect while the caller is
// told 2011, and a retry would then meet "already active".
constexpr qint64 kOperationWindow = 1000;
constexpr std::size_t kSeenIdCapacity = 4096;
// Reports are not authenticated: a flood of made-up MACs must not grow the
// table without end.
constexpr qsizetype kMaxDevices = 16384;

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

template <std::size_t N>
void putText(char (&field)[N], const QByteArray &text)
{
    const std::size_t length = std::min<std::size_t>(std::size_t(text.size()), N - 1);
    std::memcpy(field, text.constData(), length);
    field[length] = 0;
}

VOSK_DEVICE_INFO toInfo(const WireRecord &r, int event)
{
    VOSK_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    putText(info.leadingText, QByteArrayLiteral("VOSK1"));
    putText(info.serialNumber, r.serialNumber);
    putText(info.mac, r.mac);
    putText(info.ipv4Address, r.ipv4Address);
    putText(info.ipv4Mask, r.ipv4Mask);
    info.deviceTypeCode = int32_t(r.deviceTypeCode);
    info.port = r.port;
    info.channelCount = r.channelCount;
    putText(info.softwareVersion, r.softwareVersion);
    putText(info.dspVersion, r.dspVersion);
    putText(info.startTime, r.startTime);
    info.event = event;
    putText(info.deviceDescription, r.deviceDescription);
    putText(info.ipv4Gateway, r.ipv4Gateway);
    putText(info.ipv6Address, r.ipv6Address);
    putText(info.ipv6Gateway, r.ipv6Gateway);
    info.ipv6PrefixLength = r.ipv6PrefixLength;
    info.capabilities = r.capabilities;
    info.dhcpEnabled = r.dhcpEnabled ? 1 : 0;
    info.addressInfoValid = r.addressInfoValid ? 1 : 0;
    info.httpPort = r.httpPort;
    info.notActivated = r.notActivated ? 1 : 0;
    info.newResetType = r.newResetType ? 1 : 0;
    return info;
}

int statusToError(quint32 status)
{
    switch (status) {
    case kStatusDone: return VOSK_OK;
    case kStatusBadParam: return VOSK_ERR_INVALID_ARG;
    case kStatusReactive: return VOSK_ERR_REACTIVE;
    default: return VOSK_ERR_DEVICE_DENY;
    }
}

qint64 roundIntervalFromEnvironment()
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue("VOSK_INQUIRY_INTERVAL_MS", &ok);
    return (ok && value >= 200) ? value : kDefaultRoundInterval;
}

} // namespace

VoskClient::VoskClient(VOSK_DeviceFindCallBack callback, void *user, const std::atomic<bool> *filterOn)
    : m_callback(callback)
    , m_user(user)
    , m_filterOn(filterOn)
    , m_config(NetConfig::fromEnvironment())
    , m_roundInterval(roundIntervalFromEnvironment())
{
}

VoskClient::~VoskClient()
{
    stop();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

int VoskClient::start()
{
    m_interfaces = m_config.usableInterfaces(Family::V4);
    m_interfaces6 = m_config.usableInterfaces(Family::V6);
    if (m_interfaces.isEmpty() && m_interfaces6.isEmpty()) {
        logLine(LogLevel::Error, QStringLiteral("no usable network interface"));
        return VOSK_ERR_NETWORK;
    }
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0 || !m_socket.open(m_config, Family::V4)) {
        logLine(LogLevel::Error, QStringLiteral("cannot open the discovery socket on port %1").arg(m_config.port));
        return VOSK_ERR_NETWORK;
    }
    // IPv6 is a bonus: a host without it still discovers over IPv4.
    if (!m_socket6.open(m_config, Family::V6))
        logLine(LogLevel::Info, QStringLiteral("no IPv6 discovery socket"));
    // Only the interfaces joined count as used; the others are tried again
    // at the next look at the interface list.
    QList<NetInterface> joined4, joined6;
    for (const NetInterface &iface : std::as_const(m_interfaces)) {
        if (m_socket.join(iface))
            joined4.append(iface);
    }
    for (const NetInterface &iface : std::as_const(m_interfaces6)) {
        if (m_socket6.isOpen() && m_socket6.join(iface))
            joined6.append(iface);
    }
    m_interfaces = joined4;
    m_interfaces6 = joined6;
    const qsizetype joined = joined4.size() + joined6.size();
    if (joined == 0) {
        logLine(LogLevel::Error, QStringLiteral("cannot join the discovery group on any interface"));
        return VOSK_ERR_NETWORK;
    }
    logLine(LogLevel::Info, QStringLiteral("discovery started on %1 interface(s), port %2")
                                .arg(joined)
                                .arg(m_config.port));
    m_thread = std::thread([this] { run(); });
    return VOSK_OK;
}

void VoskClient::stop()
{
    {
        const std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_stopping = true;
    }
    m_pendingCv.notify_all();
    wake();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

bool VoskClient::onLibraryThread() const
{
    return m_threadId.load() == std::this_thread::get_id();
}

void VoskClient::wake()
{
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    }
}

void VoskClient::requestInquiry()
{
    m_inquiryRequested = true;
    wake();
}

void VoskClient::clearup()
{
    const std::lock_guard<std::mutex> lock(m_devicesMutex);
    for (Device &device : m_devices)
        device.reported = false;
}

void VoskClient::run()
{
    m_threadId = std::this_thread::get_id();
    const qint64 start = nowMs();
    startRound(start);
    m_nextRound = start + std::min(kFollowUpRound, m_roundInterval);
    m_nextRescan = start + kRescanInterval;
    while (!m_stopping) {
        qint64 now = nowMs();
        if (m_inquiryRequested.exchange(false)) {
            scheduleInquiries(now);
            m_nextRound = std::min(m_nextRound, now + std::min(kFollowUpRound, m_roundInterval));
        }
        if (now >= m_nextRound)
            startRound(now);
        if (now >= m_nextRescan) {
            rescanInterfaces();
            m_nextRescan = now + kRescanInterval;
        }
        while (!m_inquiryTimes.empty() && m_inquiryTimes.front() <= now) {
            m_inquiryTimes.erase(m_inquiryTimes.begin());
            sendInquiry();
        }
        qint64 next = std::min(m_nextRound, m_nextRescan);
        if (!m_inquiryTimes.empty())
            next = std::min(next, m_inquiryTimes.front());
        // A closed socket's -1 is skipped by poll.
        pollfd fds[3] = {{m_wakeFd, POLLIN, 0}, {m_socket.fd(), POLLIN, 0}, {m_socket6.fd(), POLLIN, 0}};
        const int timeout = int(std::clamp<qint64>(next - now, 0, 1000));
        if (::poll(fds, 3, timeout) < 0)
            continue;
        if (fds[0].revents & POLLIN) {
            uint64_t value = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &value, sizeof value);
        }
        // Bounded per wake-up so that stop and timers stay responsive in a burst.
        MulticastSocket::Datagram datagram;
        for (int i = 0; i < 512 && !m_stopping && m_socket.receive(datagram); ++i)
            handleDatagram(datagram, Family::V4);
        for (int i = 0; i < 512 && !m_stopping && m_socket6.receive(datagram); ++i)
            handleDatagram(datagram, Family::V6);
    }
}

void VoskClient::startRound(qint64 now)
{
    std::vector<VOSK_DEVICE_INFO> events;
    {
        const std::lock_guard<std::mutex> lock(m_devicesMutex);
        ++m_round;
        for (Device &device : m_devices) {
            if (device.reported && device.lastHeardRound <= m_round - 1 - kMissedRoundsForOffline) {
                device.reported = false;
                events.push_back(toInfo(device.record, VOSK_EVENT_OFFLINE));
            }
        }
    }
    if (!events.empty())
        logLine(LogLevel::Info, QStringLiteral("%1 device(s) missed %2 rounds: offline")
                                    .arg(events.size())
                                    .arg(kMissedRoundsForOffline));
    deliver(events);
    scheduleInquiries(now);
    m_nextRound = now + m_roundInterval;
}

void VoskClient::scheduleInquiries(qint64 now)
{
    for (const qint64 delay : kRepeatDelays)
        m_inquiryTimes.push_back(now + delay);
    std::sort(m_inquiryTimes.begin(), m_inquiryTimes.end());
}

void VoskClient::sendInquiry()
{
    WireMessage inquiry;
    inquiry.type = MessageType::Inquiry;
    inquiry.id = WireMessage::newId();
    const QByteArray bytes = inquiry.encode();
    remember(inquiry.id);
    // The same id on both families: a device that hears it twice answers once.
    for (const NetInterface &iface : std::as_const(m_interfaces))
        m_socket.send(iface.index, bytes);
    for (const NetInterface &iface : std::as_const(m_interfaces6))
        m_socket6.send(iface.index, bytes);
}

void VoskClient::rescanInterfaces()
{
    bool added = false;
    for (const Family family : {Family::V4, Family::V6}) {
        MulticastSocket &socket = socketFor(family);
        if (!socket.isOpen())
            continue;
        QList<NetInterface> &known = family == Family::V6 ? m_interfaces6 : m_interfaces;
        const QList<NetInterface> current = m_config.usableInterfaces(family);
        const QString kind = family == Family::V6 ? QStringLiteral("IPv6") : QStringLiteral("IPv4");
        for (const NetInterface &iface : std::as_const(known)) {
            if (!current.contains(iface)) {
                socket.leave(iface);
                logLine(LogLevel::Info, QStringLiteral("%1 interface %2 gone").arg(kind, QString::fromLatin1(iface.name)));
            }
        }
        QList<NetInterface> used;
        for (const NetInterface &iface : current) {
            if (known.contains(iface)) {
                used.append(iface);
            } else if (socket.join(iface)) {
                // One whose join failed is tried again next time.
                used.append(iface);
                added = true;
                logLine(LogLevel::Info,
                        QStringLiteral("%1 interface %2 joined").arg(kind, QString::fromLatin1(iface.name)));
            }
        }
        known = used;
    }
    if (added)
        scheduleInquiries(nowMs());
}

bool VoskClient::remember(const QByteArray &id)
{
    if (m_seenIds.contains(id))
        return false;
    m_seenIds.insert(id);
    m_seenOrder.push_back(id);
    if (m_seenOrder.size() > kSeenIdCapacity) {
        m_seenIds.remove(m_seenOrder.front());
        m_seenOrder.pop_front();
    }
    return true;
}

void VoskClient::handleDatagram(const MulticastSocket::Datagram &datagram, Family family)
{
    if (datagram.data.isEmpty() || !datagram.toGroup)
        return;
    const QList<NetInterface> &interfaces = interfacesFor(family);
    const auto known = std::find_if(interfaces.cbegin(), interfaces.cend(), [&](const NetInterface &i) {
        return i.index == datagram.interfaceIndex;
    });
    if (known == interfaces.cend())
        return;
    const std::optional<WireMessage> message = WireMessage::decode(datagram.data);
    // Inquiries and requests are for devices (ours come back over loopback).
    if (!message || message->type == MessageType::Inquiry || message->type == MessageType::Request)
        return;
    if (!remember(message->id))
        return;
    if (message->type == MessageType::Response) {
        {
            const std::lock_guard<std::mutex> lock(m_pendingMutex);
            const auto it = m_pending.find(message->re);
            if (it == m_pending.end() || it->has_value())
                return;
            *it = *message;
        }
        m_pendingCv.notify_all();
        return;
    }
    handleReport(*message, datagram.interfaceIndex, family);
}

void VoskClient::handleReport(const WireMessage &m, int interfaceIndex, Family family)
{
    std::vector<VOSK_DEVICE_INFO> events;
    {
        const std::lock_guard<std::mutex> lock(m_devicesMutex);
        auto it = m_devices.find(m.record.mac);
        // (boot, seq) orders one device's reports: a late one is stale.
        if (it != m_devices.end() && it->boot == m.boot && m.seq <= it->seq)
            return;
        if (m.event == ReportEvent::Bye) {
            // A bye ends the boot it names; one of an earlier boot (late, or
            // replayed) says nothing about the device as it runs now.
            if (it == m_devices.end() || it->boot != m.boot)
                return;
            it->boot = m.boot;
            it->seq = m.seq;
            // The route stays, so an operation on it times out (2011)
            // instead of claiming the device was never seen.
            if (it->reported) {
                it->reported = false;
                events.push_back(toInfo(it->record, VOSK_EVENT_OFFLINE));
            }
        } else {
            if (it == m_devices.end()) {
                if (m_devices.size() >= kMaxDevices)
                    forgetSilentDevices();
                if (m_devices.size() >= kMaxDevices)
                    return;
                it = m_devices.insert(m.record.mac, Device());
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
            const bool visible = !m_filterOn->load() || device.record.deviceTypeCode != 0;
            if (!device.reported) {
                if (visible) {
                    device.reported = true;
                    events.push_back(toInfo(device.record, VOSK_EVENT_ONLINE));
                }
            } else if (changed) {
                events.push_back(toInfo(device.record, VOSK_EVENT_UPDATED));
            }
        }
    }
    deliver(events);
}

void VoskClient::forgetSilentDevices()
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
        if (!it->reported && it->lastHeardRound <= m_round - 1 - kMissedRoundsForOffline)
            it = m_devices.erase(it);
        else
            ++it;
    }
}

void VoskClient::deliver(const std::vector<VOSK_DEVICE_INFO> &events)
{
    for (const VOSK_DEVICE_INFO &info : events) {
        if (m_stopping)
            return;
        m_callback(&info, m_user);
    }
}

bool VoskClient::findRoute(const QByteArray *serial, const QByteArray *mac, Route &route)
{
    const std::lock_guard<std::mutex> lock(m_devicesMutex);
    for (const Device &device : std::as_const(m_devices)) {
        if ((mac && device.record.mac == *mac) || (serial && device.record.serialNumber == *serial)) {
            route.interfaceIndex = device.interfaceIndex;
            route.family = device.family;
            route.publicKey = device.publicKey;
            route.serial = device.record.serialNumber;
            route.mac = device.record.mac;
            return true;
        }
    }
    return false;
}

std::optional<WireMessage> VoskClient::exchange(const Route &route, const WireMessage &request, qint64 deadline,
                                                int &error)
{
    const QByteArray bytes = request.encode();
    if (bytes.isEmpty()) {
        error = VOSK_ERR_INVALID_ARG;
        return std::nullopt;
    }
    std::unique_lock<std::mutex> lock(m_pendingMutex);
    m_pending.insert(request.id, std::nullopt);
    std::optional<WireMessage> response;
    for (;;) {
        lock.unlock();
        // Same id every time: the device answers a repeat from its cache.
        socketFor(route.family).send(route.interfaceIndex, bytes);
        lock.lock();
        const qint64 wakeAt = std::min(nowMs() + kRetransmitInterval, deadline);
        m_pendingCv.wait_until(lock,
                               std::chrono::steady_clock::time_point(std::chrono::milliseconds(wakeAt)),
                               [&] { return m_stopping || m_pending.value(request.id).has_value(); });
        if (m_pending.value(request.id).has_value()) {
            response = m_pending.value(request.id);
            break;
        }
        if (m_stopping) {
            error = VOSK_ERR_NOT_STARTED;
            break;
        }
        if (nowMs() >= deadline) {
            error = VOSK_ERR_TIMEOUT;
            break;
        }
    }
    m_pending.remove(request.id);
    return response;
}

int VoskClient::sealedOperation(const Route &route, Op op, bool byMac, SealedPayload &payload,
                                WireMessage *responseOut)
{
    const qint64 deadline = nowMs() + kOperationTimeout;
    WireMessage challenge;
    challenge.type = MessageType::Request;
    challenge.id = WireMessage::newId();
    challenge.op = Op::Challenge;
    (byMac ? challenge.targetMac : challenge.targetSerial) = byMac ? route.mac : route.serial;
    int error = VOSK_OK;
    const std::optional<WireMessage> nonce = exchange(route, challenge, deadline - kOperationWindow, error);
    if (!nonce)
        return error;
    if (nonce->status != kStatusDone)
        return statusToError(nonce->status);
    if (nonce->nonce.size() != kNonceSize)
        return VOSK_ERR_DEVICE_DENY;

    WireMessage request;
    request.type = MessageType::Request;
    request.id = WireMessage::newId();
    request.op = op;
    (byMac ? request.targetMac : request.targetSerial) = byMac ? route.mac : route.serial;
    payload.id = request.id;
    payload.op = op;
    (byMac ? payload.targetMac : payload.targetSerial) = byMac ? route.mac : route.serial;
    payload.nonce = nonce->nonce;
    request.sealed = payload.seal(route.publicKey);
    payload.wipe();
    if (request.sealed.isEmpty())
        return VOSK_ERR_INVALID_ARG;
    const std::optional<WireMessage> response = exchange(route, request, deadline, error);
    if (!response)
        return error;
    if (responseOut)
        *responseOut = *response;
    return statusToError(response->status);
}

int VoskClient::modify(const QByteArray &mac, const QByteArray &password, const WireRecord &params)
{
    Route route;
    if (!findRoute(nullptr, &mac, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.password = password;
    payload.hasNetParams = true;
    payload.netParams = params;
    const int result = sealedOperation(route, Op::Modify, true, payload);
    logLine(result == VOSK_ERR_TIMEOUT ? LogLevel::Warning : LogLevel::Info,
            QStringLiteral("modify %1: %2").arg(QString::fromLatin1(mac)).arg(result));
    return result;
}

int VoskClient::activate(const QByteArray &serial, const QByteArray &password)
{
    Route route;
    if (!findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.password = password;
    const int result = sealedOperation(route, Op::Activate, false, payload);
    logLine(result == VOSK_ERR_TIMEOUT ? LogLevel::Warning : LogLevel::Info,
            QStringLiteral("activate %1: %2").arg(QString::fromLatin1(serial)).arg(result));
    return result;
}

int VoskClient::exportKey(const QByteArray &serial, int command, QByteArray &key)
{
    Route route;
    if (!findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    WireMessage request;
    request.type = MessageType::Request;
    request.id = WireMessage::newId();
    request.op = Op::ExportKey;
    request.targetSerial = route.serial;
    request.keyCommand = quint8(command);
    int error = VOSK_OK;
    const std::optional<WireMessage> response =
        exchange(route, request, nowMs() + kOperationTimeout, error);
    if (!response)
        return error;
    if (response->status != kStatusDone)
        return statusToError(response->status);
    const int room = command == VOSK_CMD_EXPORT_KEY ? 256 : 384;
    if (response->key.isEmpty() || response->key.size() > room || response->key.contains('\0'))
        return VOSK_ERR_DEVICE_DENY;
    key = response->key;
    logLine(LogLevel::Info, QStringLiteral("key %1 of %2 exported").arg(command).arg(QString::fromLatin1(serial)));
    return VOSK_OK;
}

int VoskClient::resetWithAnswer(const QByteArray &serial, const QByteArray &answer, const QByteArray &newPassword,
                                bool resetCameras)
{
    Route route;
    if (!findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.answer = answer;
    payload.newPassword = newPassword;
    payload.resetCameras = resetCameras;
    const int result = sealedOperation(route, Op::ResetWithAnswer, false, payload);
    logLine(result == VOSK_ERR_TIMEOUT ? LogLevel::Warning : LogLevel::Info,
            QStringLiteral("password reset %1: %2").arg(QString::fromLatin1(serial)).arg(result));
    return result;
}

int VoskClient::restoreDefault(const QByteArray &serial, const QByteArray &securityCode)
{
    Route route;
    if (!findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.securityCode = securityCode;
    const int result = sealedOperation(route, Op::RestoreDefault, false, payload);
    logLine(result == VOSK_ERR_TIMEOUT ? LogLevel::Warning : LogLevel::Info,
            QStringLiteral("default password restore %1: %2").arg(QString::fromLatin1(serial)).arg(result));
    return result;
}

} // namespace VoskNet
