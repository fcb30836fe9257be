#include "vosk/voskclient.h"

#include "vosk/clock.h"
#include "vosk/vosklog.h"

#include <QtGlobal>

#include <algorithm>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace VoskNet {

namespace {

// Timing of docs/protocol.md (the repeats of an inquiry: InquiryPlan).
constexpr qint64 kDefaultRoundInterval = 30000;
// Right after a start or a refresh the user is waiting for the list: one
// more round soon catches a device whose answers were all lost, instead of
// leaving it out for a whole interval.
constexpr qint64 kFollowUpRound = 5000;
constexpr qint64 kRescanInterval = 2000;
// How long a due inquiry may wait for the reading to catch up: sent while
// answers wait unread, it would ask again for every one of them, and the
// repeated answers would put the reading further behind.
constexpr qint64 kBacklogGrace = 1000;
constexpr std::size_t kSeenIdCapacity = 4096;

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
    , m_roundInterval(roundIntervalFromEnvironment())
    , m_links(NetConfig::fromEnvironment())
    , m_exchange(m_links)
    , m_plan(m_roundInterval)
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
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        return VOSK_ERR_NETWORK;
    if (const int error = m_links.open())
        return error;
    m_thread = std::thread([this] { run(); });
    return VOSK_OK;
}

void VoskClient::stop()
{
    m_stopping = true;
    m_exchange.stop();
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
    m_table.clearup();
}

void VoskClient::run()
{
    m_threadId = std::this_thread::get_id();
    const qint64 start = nowMs();
    startRound(start);
    m_nextRound = start + std::min(kFollowUpRound, m_roundInterval);
    m_nextRescan = start + kRescanInterval;
    MulticastSocket &socket4 = m_links.socket(Family::V4);
    MulticastSocket &socket6 = m_links.socket(Family::V6);
    // Answers still waiting in a socket: an inquiry sent now would ask
    // again for what is already here, so the repeats wait for the reading
    // to catch up.
    bool backlog = false;
    while (!m_stopping) {
        qint64 now = nowMs();
        if (m_inquiryRequested.exchange(false)) {
            startBurst(now);
            m_nextRound = std::min(m_nextRound, now + std::min(kFollowUpRound, m_roundInterval));
        }
        if (now >= m_nextRound)
            startRound(now);
        if (now >= m_nextRescan) {
            // A new interface gets an inquiry at once.
            if (m_links.rescan())
                startBurst(nowMs());
            m_nextRescan = now + kRescanInterval;
        }
        // (A flood must not hold the repeats back for long.)
        if (!backlog || now - m_plan.nextDue() >= kBacklogGrace)
            sendDueInquiries(now);
        const qint64 next = std::min({m_nextRound, m_nextRescan, m_plan.nextDue()});
        // A closed socket's -1 is skipped by poll.
        pollfd fds[3] = {{m_wakeFd, POLLIN, 0}, {socket4.fd(), POLLIN, 0}, {socket6.fd(), POLLIN, 0}};
        const int timeout = backlog ? 0 : int(std::clamp<qint64>(next - now, 0, 1000));
        if (::poll(fds, 3, timeout) < 0)
            continue;
        if (fds[0].revents & POLLIN) {
            uint64_t value = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &value, sizeof value);
        }
        // Bounded per wake-up so that stop and timers stay responsive in a burst.
        constexpr int kBatch = 512;
        MulticastSocket::Datagram datagram;
        int received4 = 0, received6 = 0;
        while (received4 < kBatch && !m_stopping && socket4.receive(datagram)) {
            handleDatagram(datagram, Family::V4);
            ++received4;
        }
        while (received6 < kBatch && !m_stopping && socket6.receive(datagram)) {
            handleDatagram(datagram, Family::V6);
            ++received6;
        }
        backlog = received4 == kBatch || received6 == kBatch;
    }
}

void VoskClient::startRound(qint64 now)
{
    DeviceTable::Events events;
    m_table.beginRound(events);
    deliver(events);
    startBurst(now);
    m_nextRound = now + m_roundInterval;
}

void VoskClient::startBurst(qint64 now)
{
    m_plan.startBurst(now, m_table.recentlyHeard());
}

void VoskClient::sendDueInquiries(qint64 now)
{
    if (m_plan.nextDue() > now)
        return;
    for (const WireMessage &inquiry : m_plan.takeDue(now, m_table.heardSince(m_plan.burstStart()))) {
        remember(inquiry.id);
        // The same id on both families: a device that hears it twice answers once.
        m_links.sendEverywhere(inquiry.encode());
    }
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
    if (datagram.data.isEmpty() || !datagram.toGroup || !m_links.uses(family, datagram.interfaceIndex))
        return;
    const std::optional<WireMessage> message = WireMessage::decode(datagram.data);
    // Inquiries and requests are for devices (ours come back over loopback).
    if (!message || message->type == MessageType::Inquiry || message->type == MessageType::Request)
        return;
    if (!remember(message->id))
        return;
    if (message->type == MessageType::Response) {
        m_exchange.deliver(*message);
        return;
    }
    DeviceTable::Events events;
    m_table.applyReport(*message, datagram.interfaceIndex, family, m_filterOn->load(), events);
    deliver(events);
}

void VoskClient::deliver(const DeviceTable::Events &events)
{
    for (const VOSK_DEVICE_INFO &info : events) {
        if (m_stopping)
            return;
        m_callback(&info, m_user);
    }
}

} // namespace VoskNet
