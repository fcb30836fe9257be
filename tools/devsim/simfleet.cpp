#include "tools/devsim/simfleet.h"

#include "tools/devsim/statefile.h"
#include "vosk/clock.h"
#include "vosk/knownanswers.h"

#include <QDateTime>
#include <QJsonObject>
#include <QProcess>

#include <arpa/inet.h>

#include <cstdio>
#include <poll.h>
#include <sodium.h>

using VoskNet::MessageType;
using VoskNet::WireMessage;
using VoskNet::nowMs;

namespace VoskSim {

namespace {

constexpr std::size_t kSeenInquiries = 256;

// The start of every report this simulator encodes (a map of indefinite
// length, version 1, type 2): its own reports come back over loopback by
// the thousand, and devices ignore reports, so those are dropped unread.
bool isOwnReport(const QByteArray &datagram)
{
    return datagram.startsWith(QByteArrayLiteral("\xbf\x00\x01\x01\x02"));
}

} // namespace

SimFleet::SimFleet(const FleetOptions &options)
    : m_options(options)
    , m_config(VoskNet::NetConfig::fromEnvironment())
    , m_rng(options.seed ^ 0x5DEECE66Dull)
{
    if (!options.interfaces.isEmpty())
        m_config.pinnedInterfaces = options.interfaces;
}

bool SimFleet::open(QString &error)
{
    if (sodium_init() < 0) {
        error = QStringLiteral("libsodium cannot start");
        return false;
    }
    m_devices.reserve(std::size_t(m_options.count));
    for (int i = 0; i < m_options.count; ++i) {
        m_devices.push_back(SimDevice::generate(m_options.seed, i, m_options.activePassword));
        if (m_options.inactive)
            m_devices.back().setActivated(!m_options.inactive->contains(i), m_options.activePassword);
        m_bySerial.insert(m_devices.back().record().serialNumber, i);
        m_byMac.insert(m_devices.back().record().mac, i);
        m_sliceHashes.push_back(VoskNet::KnownAnswers::sliceHash(m_devices.back().record().mac));
    }
    m_answerPending.assign(m_devices.size(), false);
    if (!m_options.statePath.isEmpty()) {
        QJsonObject state;
        if (!StateFile(m_options.statePath).load(state, error))
            return false;
        const QJsonObject devices = state.value(QStringLiteral("devices")).toObject();
        for (auto it = devices.begin(); it != devices.end(); ++it) {
            const int index = m_bySerial.value(it.key().toLatin1(), -1);
            if (index >= 0)
                m_devices[std::size_t(index)].loadState(it.value().toObject());
        }
    }
    m_interfaces = m_config.usableInterfaces(VoskNet::Family::V4);
    m_interfaces6 = m_config.usableInterfaces(VoskNet::Family::V6);
    if (m_interfaces.isEmpty() && m_interfaces6.isEmpty()) {
        error = QStringLiteral("no usable network interface");
        return false;
    }
    if (m_options.hostAddress && m_interfaces.isEmpty()) {
        error = QStringLiteral("--host-address needs an interface with an IPv4 address");
        return false;
    }
    if (m_options.hostAddress) {
        in_addr address{htonl(m_interfaces.first().address)};
        in_addr mask{htonl(m_interfaces.first().netmask)};
        char addressText[INET_ADDRSTRLEN] = {};
        char maskText[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &address, addressText, sizeof addressText);
        inet_ntop(AF_INET, &mask, maskText, sizeof maskText);
        m_devices.front().setHostAddress(addressText, maskText);
    }
    if (!m_socket.open(m_config)) {
        error = QStringLiteral("cannot open the socket on port %1").arg(m_config.port);
        return false;
    }
    for (const VoskNet::NetInterface &iface : std::as_const(m_interfaces)) {
        if (!m_socket.join(iface)) {
            error = QStringLiteral("cannot join the group on %1").arg(QString::fromLatin1(iface.name));
            return false;
        }
    }
    // Link-local IPv6 besides, where the interfaces have it.
    if (!m_interfaces6.isEmpty() && m_socket6.open(m_config, VoskNet::Family::V6)) {
        for (const VoskNet::NetInterface &iface : std::as_const(m_interfaces6))
            m_socket6.join(iface);
    }
    return true;
}

void SimFleet::run(int stopFd)
{
    const qint64 start = nowMs();
    std::uniform_int_distribution<int> delay(0, VoskNet::kDefaultAnswerWindow);
    for (SimDevice &device : m_devices)
        schedule(start + delay(m_rng), Target(), device.report(VoskNet::ReportEvent::Hello).encode());
    std::printf("ready %d\n", int(m_devices.size()));
    std::fflush(stdout);

    for (;;) {
        const qint64 now = nowMs();
        flushDue(now);
        int timeout = 1000;
        if (!m_queue.empty())
            timeout = int(std::clamp<qint64>(m_queue.begin()->first - now, 0, 1000));
        pollfd fds[3] = {{stopFd, POLLIN, 0}, {m_socket.fd(), POLLIN, 0}, {m_socket6.fd(), POLLIN, 0}};
        if (::poll(fds, 3, timeout) < 0)
            continue;
        if (fds[0].revents & (POLLIN | POLLHUP))
            break;
        VoskNet::MulticastSocket::Datagram datagram;
        for (int i = 0; i < 256 && m_socket.receive(datagram); ++i)
            handle(datagram, VoskNet::Family::V4, nowMs());
        for (int i = 0; i < 256 && m_socket6.receive(datagram); ++i)
            handle(datagram, VoskNet::Family::V6, nowMs());
    }
    for (SimDevice &device : m_devices)
        sendNow(Target(), device.report(VoskNet::ReportEvent::Bye).encode());
}

bool SimFleet::lose()
{
    if (m_options.drop <= 0.0)
        return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < m_options.drop;
}

bool SimFleet::acceptable(const VoskNet::MulticastSocket::Datagram &datagram, VoskNet::Family family) const
{
    // Only what came to the group or from an on-link source: a device must
    // not answer a spoofed far-away source (reflection).
    const bool v6 = family == VoskNet::Family::V6;
    for (const VoskNet::NetInterface &iface : v6 ? m_interfaces6 : m_interfaces) {
        if (iface.index != datagram.interfaceIndex)
            continue;
        if (datagram.toGroup)
            return true;
        return v6 ? datagram.onLinkSource
                  : (datagram.source & iface.netmask) == (iface.address & iface.netmask);
    }
    return false;
}

void SimFleet::handle(const VoskNet::MulticastSocket::Datagram &datagram, VoskNet::Family family, qint64 now)
{
    if (datagram.data.isEmpty() || isOwnReport(datagram.data) || !acceptable(datagram, family) || lose())
        return;
    const Target arrival{family, datagram.interfaceIndex};
    const std::optional<WireMessage> message = WireMessage::decode(datagram.data);
    if (!message)
        return;
    if (message->type == MessageType::Inquiry) {
        if (m_seenInquiries.contains(message->id))
            return;
        m_seenInquiries.insert(message->id);
        m_seenOrder.push_back(message->id);
        if (m_seenOrder.size() > kSeenInquiries) {
            m_seenInquiries.remove(m_seenOrder.front());
            m_seenOrder.pop_front();
        }
        answerInquiry(*message, arrival, now);
        return;
    }
    if (message->type != MessageType::Request)
        return;
    int index = -1;
    if (!message->targetSerial.isEmpty())
        index = m_bySerial.value(message->targetSerial, -1);
    else
        index = m_byMac.value(message->targetMac, -1);
    if (index < 0)
        return;
    SimDevice &device = m_devices[std::size_t(index)];
    // Every target the request names must be this device.
    if (!message->targetMac.isEmpty() && message->targetMac != device.record().mac)
        return;
    if (!device.allowRequest(now))
        return;
    const VoskNet::WireRecord before = device.record();
    const SimDevice::Outcome outcome = device.handleRequest(*message, now, QDateTime::currentSecsSinceEpoch(),
                                                            m_options.refuse, m_authority);
    schedule(now + m_options.delayMs, arrival, outcome.response.encode());
    if (outcome.recordChanged)
        schedule(now + m_options.delayMs + 1, Target(), device.report(VoskNet::ReportEvent::Changed).encode());
    if (outcome.stateChanged || outcome.recordChanged)
        saveState();
    if (m_options.hostAddress && index == 0 && outcome.recordChanged)
        applyHostAddress(before, device.record());
}

void SimFleet::applyHostAddress(const VoskNet::WireRecord &before, const VoskNet::WireRecord &after)
{
    if (before.ipv4Address == after.ipv4Address && before.ipv4Mask == after.ipv4Mask)
        return;
    in_addr mask{};
    if (inet_pton(AF_INET, after.ipv4Mask.constData(), &mask) != 1)
        return;
    const int prefix = __builtin_popcount(ntohl(mask.s_addr));
    const QString device = QString::fromLatin1(m_interfaces.first().name);
    const QString oldAddress = QString::fromLatin1(before.ipv4Address) + QLatin1Char('/')
        + QString::number(__builtin_popcount(m_interfaces.first().netmask));
    const QString newAddress = QString::fromLatin1(after.ipv4Address) + QLatin1Char('/') + QString::number(prefix);
    // The group stays joined by interface index, so the device keeps
    // listening while its address changes.
    QProcess::execute(QStringLiteral("ip"), {QStringLiteral("addr"), QStringLiteral("add"), newAddress,
                                             QStringLiteral("dev"), device});
    QProcess::execute(QStringLiteral("ip"), {QStringLiteral("addr"), QStringLiteral("del"), oldAddress,
                                             QStringLiteral("dev"), device});
    m_interfaces = m_config.usableInterfaces(VoskNet::Family::V4);
}

void SimFleet::answerInquiry(const WireMessage &inquiry, Target arrival, qint64 now)
{
    using VoskNet::KnownAnswers;
    const bool legacy = m_options.legacy;
    const int window = (legacy || !inquiry.answerWindow) ? VoskNet::kDefaultAnswerWindow : inquiry.answerWindow;
    std::uniform_int_distribution<int> delay(0, window);
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        if (!legacy) {
            // Another slice's inquiry, a device the client has heard, or one
            // whose answer is on its way already: nothing to add.
            if (inquiry.slices > 1 && KnownAnswers::sliceOf(m_sliceHashes[i], inquiry.slices) != inquiry.slice)
                continue;
            if (m_answerPending[i])
                continue;
            if (inquiry.knownAnswersName(m_devices[i].record().mac, m_devices[i].record().serialNumber))
                continue;
        }
        if (!m_devices[i].allowInquiry(now))
            continue;
        Scheduled answer{arrival, QByteArray(), int(i), inquiry.id};
        m_queue.emplace(now + delay(m_rng) + m_options.delayMs, answer);
        m_answerPending[i] = true;
    }
}

void SimFleet::schedule(qint64 at, Target target, const QByteArray &datagram)
{
    if (!datagram.isEmpty())
        m_queue.emplace(at, Scheduled{target, datagram, -1, QByteArray()});
}

void SimFleet::flushDue(qint64 now)
{
    while (!m_queue.empty() && m_queue.begin()->first <= now) {
        Scheduled item = m_queue.begin()->second;
        m_queue.erase(m_queue.begin());
        if (item.device >= 0) {
            m_answerPending[std::size_t(item.device)] = false;
            item.datagram =
                m_devices[std::size_t(item.device)].report(VoskNet::ReportEvent::Answer, item.answers).encode();
        }
        if (!lose())
            sendNow(item.target, item.datagram);
    }
}

void SimFleet::sendNow(Target target, const QByteArray &datagram)
{
    const bool everywhere = target.interfaceIndex == 0;
    if (everywhere || target.family == VoskNet::Family::V4) {
        for (const VoskNet::NetInterface &iface : std::as_const(m_interfaces)) {
            if (everywhere || iface.index == target.interfaceIndex)
                m_socket.send(iface.index, datagram);
        }
    }
    if (m_socket6.isOpen() && (everywhere || target.family == VoskNet::Family::V6)) {
        for (const VoskNet::NetInterface &iface : std::as_const(m_interfaces6)) {
            if (everywhere || iface.index == target.interfaceIndex)
                m_socket6.send(iface.index, datagram);
        }
    }
}

void SimFleet::saveState()
{
    if (m_options.statePath.isEmpty())
        return;
    QJsonObject devices;
    for (const SimDevice &device : m_devices)
        devices.insert(QString::fromLatin1(device.record().serialNumber), device.saveState());
    QJsonObject root;
    root.insert(QStringLiteral("version"), 1);
    root.insert(QStringLiteral("seed"), QString::number(m_options.seed));
    root.insert(QStringLiteral("devices"), devices);
    QString error;
    if (!StateFile(m_options.statePath).save(root, error))
        std::fprintf(stderr, "vosk-devsim: %s\n", qPrintable(error));
}

} // namespace VoskSim
