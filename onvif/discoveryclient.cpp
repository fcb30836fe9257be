#include "onvif/discoveryclient.h"

#include "onvif/discoverymessage.h"
#include "onvif/onviflog.h"
#include "vosk/multicastsocket.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>
#include <QVariant>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Onvif {

namespace {

// Room for the answers of a large site arriving together (a thousand
// devices answer both Probes of a round within half a second, about 1.5 KB
// each) while the event loop is busy; the kernel doubles the figure.
constexpr int kReceiveBuffer = 8 * 1024 * 1024;

// Directed probes go out in small bursts so that a range of a few thousand
// addresses does not overflow the socket's send queue.
constexpr int kDirectedBurst = 32;

// Datagrams read per pass of the event loop, per socket; the rest waits
// for the next pass.
constexpr int kDrainBatch = 64;

// Recent Probes whose answers are taken: every round and directed burst
// of the last listening windows.
constexpr int kProbeIdsKept = 64;

// The discovery port beside another program that shares it only by
// SO_REUSEPORT (Qt sets SO_REUSEADDR alone). False when it is held alone.
bool bindReusePort(QUdpSocket &socket, bool v6, quint16 port)
{
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    int bound = -1;
    if (v6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        setsockopt(fd, IPPROTO_IPV6, IPV6_RECVPKTINFO, &one, sizeof one);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_port = htons(port);
        any.sin6_addr = in6addr_any;
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof any);
    } else {
        // The arrival interface, which the client filters on.
        setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(port);
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        bound = ::bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof any);
    }
    if (bound != 0 || !socket.setSocketDescriptor(fd, QAbstractSocket::BoundState)) {
        const QString why = bound != 0 ? qt_error_string(errno) : socket.errorString();
        qCDebug(lcOnvif).noquote() << "UDP port" << port << "not shared by SO_REUSEPORT either:" << why;
        ::close(fd);
        return false;
    }
    return true;
}

// The group port, shared with every program that shares it.
std::unique_ptr<QUdpSocket> openListener(bool v6, quint16 port)
{
    auto socket = std::make_unique<QUdpSocket>();
    if (socket->bind(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4, port,
                     QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return socket;
    socket = std::make_unique<QUdpSocket>();
    if (bindReusePort(*socket, v6, port))
        return socket;
    return nullptr;
}

qint64 monotonicMs()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

QStringList probeTypes(int which)
{
    return which == 0 ? QStringList{DiscoveryMessages::networkVideoTransmitterType()} : QStringList{};
}

} // namespace

DiscoveryClient::DiscoveryClient(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_roundTimer(new QTimer(this))
    , m_sweepTimer(new QTimer(this))
    , m_reprobeTimer(new QTimer(this))
    , m_directedTimer(new QTimer(this))
    , m_directedTail(new QTimer(this))
    , m_table(options.maxDevices, options.silenceLimitMs)
{
    qRegisterMetaType<Onvif::DiscoveredDevice>();
    m_roundTimer->setSingleShot(true);
    connect(m_roundTimer, &QTimer::timeout, this, [this] {
        if (m_roundsLeft > 0) {
            sendRound();
        } else {
            emit probeFinished();
        }
    });
    connect(m_sweepTimer, &QTimer::timeout, this, &DiscoveryClient::sweep);
    connect(m_reprobeTimer, &QTimer::timeout, this, &DiscoveryClient::probe);
    m_directedTimer->setSingleShot(true);
    connect(m_directedTimer, &QTimer::timeout, this, &DiscoveryClient::sendDirected);
    m_directedTail->setSingleShot(true);
    connect(m_directedTail, &QTimer::timeout, this, [this] {
        const int asked = m_directedSent, answered = int(m_directedAnswered.size());
        m_directedTo.clear();
        m_directedAnswered.clear();
        m_directedTotal = m_directedSent = 0;
        emit directedFinished(asked, answered);
    });
}

DiscoveryClient::~DiscoveryClient() = default;

qint64 DiscoveryClient::now() const
{
    return m_clock ? m_clock() : monotonicMs();
}

bool DiscoveryClient::start()
{
    if (m_running)
        return true;
    // ProbeMatches come to the probe socket's own port; Hello and Bye to
    // the group's, which devices on this host (a simulator) and other
    // discovery programs share.
    m_probe4 = std::make_unique<QUdpSocket>();
    if (!m_probe4->bind(QHostAddress::AnyIPv4, 0)) {
        qCWarning(lcOnvif) << "cannot open the WS-Discovery sockets:" << m_probe4->errorString();
        m_probe4.reset();
        return false;
    }
    m_probe6 = std::make_unique<QUdpSocket>();
    if (!m_probe6->bind(QHostAddress::AnyIPv6, 0))
        m_probe6.reset();  // IPv6 is a bonus: a host without it still discovers over IPv4
    m_listen4 = openListener(false, m_options.port);
    if (m_probe6)
        m_listen6 = openListener(true, m_options.port);
    if (!m_listen4) {
        qCWarning(lcOnvif).noquote() << QStringLiteral(
            "another program holds UDP port %1 alone: devices are found by probing only, their Hello and Bye "
            "are not heard").arg(m_options.port);
    }
    for (QUdpSocket *socket : {m_listen4.get(), m_probe4.get(), m_listen6.get(), m_probe6.get()}) {
        if (!socket)
            continue;
        socket->setSocketOption(QAbstractSocket::MulticastLoopbackOption, QVariant(1));
        socket->setSocketOption(QAbstractSocket::MulticastTtlOption, QVariant(1));
        // FORCE works with the capability (tests, namespaces), the plain
        // one up to the system's maximum elsewhere.
        const int fd = int(socket->socketDescriptor());
        if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0)
            setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
        connect(socket, &QUdpSocket::readyRead, this, [this, socket] { drain(socket); });
    }
    // Without this Linux hands a socket the group's datagrams from every
    // interface where any socket on the host joined it (a simulator's), not
    // only from the interfaces this client uses.
    const int zero = 0;
    if (m_listen4)
        setsockopt(int(m_listen4->socketDescriptor()), IPPROTO_IP, IP_MULTICAST_ALL, &zero, sizeof zero);
#ifdef IPV6_MULTICAST_ALL
    if (m_listen6)
        setsockopt(int(m_listen6->socketDescriptor()), IPPROTO_IPV6, IPV6_MULTICAST_ALL, &zero, sizeof zero);
#endif
    m_running = true;
    refreshInterfaces();
    if (m_indexes4.isEmpty() && m_indexes6.isEmpty()) {
        qCWarning(lcOnvif) << "no usable interface for WS-Discovery";
        stop();
        return false;
    }
    m_sweepTimer->start(m_options.sweepIntervalMs);
    if (m_options.reprobeIntervalMs > 0)
        m_reprobeTimer->start(m_options.reprobeIntervalMs);
    qCInfo(lcOnvif).noquote() << "WS-Discovery on IPv4:" << m_joined4.join(QStringLiteral(", "))
                              << "IPv6:" << m_joined6.join(QStringLiteral(", "));
    return true;
}

void DiscoveryClient::stop()
{
    m_running = false;
    m_roundTimer->stop();
    m_sweepTimer->stop();
    m_reprobeTimer->stop();
    m_directedTimer->stop();
    m_directedQueue.clear();
    m_directedTail->stop();
    m_directedTo.clear();
    m_directedAnswered.clear();
    m_directedTotal = m_directedSent = 0;
    m_roundsLeft = 0;
    m_listen4.reset();
    m_listen6.reset();
    m_probe4.reset();
    m_probe6.reset();
    m_indexes4.clear();
    m_indexes6.clear();
    m_joined4.clear();
    m_joined6.clear();
}

void DiscoveryClient::refreshInterfaces()
{
    // The interface choice of our own protocol's discovery, pinned alike.
    VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
    if (!m_options.interfaces.isEmpty())
        config.pinnedInterfaces = m_options.interfaces;
    struct Family
    {
        VoskNet::Family family;
        QUdpSocket *probe;
        QUdpSocket *socket;  // the listener, which joins the group; may be null
        QHostAddress group;
        QList<int> *indexes;
        QStringList *names;
    };
    const QList<Family> families{
        {VoskNet::Family::V4, m_probe4.get(), m_listen4.get(), m_options.group4, &m_indexes4, &m_joined4},
        {VoskNet::Family::V6, m_probe6.get(), m_listen6.get(), m_options.group6, &m_indexes6, &m_joined6},
    };
    for (const Family &f : families) {
        if (!f.probe)
            continue;
        QList<int> current;
        for (const VoskNet::NetInterface &nif : config.usableInterfaces(f.family))
            current.append(nif.index);
        // Interfaces gone: leave (the socket may already have lost them).
        for (qsizetype i = f.indexes->size() - 1; i >= 0; --i) {
            if (!current.contains(f.indexes->at(i))) {
                if (f.socket)
                    f.socket->leaveMulticastGroup(f.group, QNetworkInterface::interfaceFromIndex(f.indexes->at(i)));
                f.indexes->removeAt(i);
                f.names->removeAt(i);
            }
        }
        for (const int index : current) {
            if (f.indexes->contains(index))
                continue;
            const QNetworkInterface iface = QNetworkInterface::interfaceFromIndex(index);
            // Without a listener the interface still carries Probes.
            if (!iface.isValid() || (f.socket && !f.socket->joinMulticastGroup(f.group, iface))) {
                qCDebug(lcOnvif) << "cannot join the WS-Discovery group on" << iface.name();
                continue;  // tried again at the next probe
            }
            f.indexes->append(index);
            f.names->append(iface.name());
        }
    }
}

void DiscoveryClient::probe()
{
    if (!m_running)
        return;
    refreshInterfaces();
    m_roundsLeft = qMax(1, m_options.probeRounds);
    sendRound();
}

void DiscoveryClient::sendRound()
{
    --m_roundsLeft;
    for (int which = 0; which < 2; ++which) {
        // A fresh MessageID each round: devices drop a Probe whose id they
        // have answered, and the point of a round is a new answer.
        const QByteArray datagram = DiscoveryMessages::probe(newProbeId(), probeTypes(which));
        for (const int index : std::as_const(m_indexes4)) {
            m_probe4->setMulticastInterface(QNetworkInterface::interfaceFromIndex(index));
            m_probe4->writeDatagram(datagram, m_options.group4, m_options.port);
        }
        if (m_probe6) {
            for (const int index : std::as_const(m_indexes6)) {
                const QNetworkInterface iface = QNetworkInterface::interfaceFromIndex(index);
                QHostAddress group = m_options.group6;
                group.setScopeId(iface.name());
                m_probe6->setMulticastInterface(iface);
                m_probe6->writeDatagram(datagram, group, m_options.port);
            }
        }
    }
    m_roundTimer->start(m_roundsLeft > 0 ? m_options.roundIntervalMs : m_options.listenTailMs);
}

bool DiscoveryClient::probeAddresses(const QList<QHostAddress> &addresses)
{
    if (!m_running || addresses.size() + m_directedQueue.size() > m_options.maxDirectedAddresses)
        return false;
    m_directedQueue.append(addresses);
    // One pair of Probes for the whole call (a device answers each id
    // once, and each address is asked once); a new call, new ids.
    m_directedIds[0] = newProbeId();
    m_directedIds[1] = newProbeId();
    m_directedTail->stop();
    m_directedTotal += int(addresses.size());
    for (const QHostAddress &address : addresses) {
        bool isV4 = false;
        const quint32 v4 = address.toIPv4Address(&isV4);
        if (isV4)
            m_directedTo.insert(v4);
    }
    if (!m_directedTimer->isActive())
        m_directedTimer->start(0);
    return true;
}

void DiscoveryClient::sendDirected()
{
    const QByteArray nvt = DiscoveryMessages::probe(m_directedIds[0], probeTypes(0));
    const QByteArray any = DiscoveryMessages::probe(m_directedIds[1], probeTypes(1));
    for (int i = 0; i < kDirectedBurst && !m_directedQueue.isEmpty(); ++i) {
        const QHostAddress to = m_directedQueue.takeFirst();
        QUdpSocket *socket = to.protocol() == QAbstractSocket::IPv6Protocol ? m_probe6.get() : m_probe4.get();
        if (!socket)
            continue;
        socket->writeDatagram(nvt, to, m_options.port);
        socket->writeDatagram(any, to, m_options.port);
        ++m_directedSent;
    }
    emit directedProgress(m_directedSent, m_directedTotal, int(m_directedAnswered.size()));
    if (!m_directedQueue.isEmpty())
        m_directedTimer->start(1);
    else
        m_directedTail->start(m_options.listenTailMs);
}

QList<QHostAddress> DiscoveryClient::addressRange(const QHostAddress &first, const QHostAddress &last, int max)
{
    QList<QHostAddress> result;
    if (first.protocol() != QAbstractSocket::IPv4Protocol || last.protocol() != QAbstractSocket::IPv4Protocol)
        return result;
    const quint32 a = first.toIPv4Address();
    const quint32 b = last.toIPv4Address();
    if (b < a || quint64(b) - a + 1 > quint64(qMax(0, max)))
        return result;
    for (quint64 v = a; v <= b; ++v)
        result.append(QHostAddress(quint32(v)));
    return result;
}

QString DiscoveryClient::newProbeId()
{
    const QString id = DiscoveryMessages::makeMessageId();
    m_probeIds.insert(id);
    m_probeIdOrder.append(id);
    while (m_probeIdOrder.size() > kProbeIdsKept)
        m_probeIds.remove(m_probeIdOrder.takeFirst());
    return id;
}

void DiscoveryClient::drain(QUdpSocket *socket)
{
    for (int read = 0; socket->hasPendingDatagrams(); ++read) {
        if (read == kDrainBatch) {
            // The rest after the other sockets and the program had their
            // turn: the socket stays readable, so its notifier calls again.
            break;
        }
        if (socket->pendingDatagramSize() > m_options.maxDatagram) {
            socket->receiveDatagram(0);  // read and dropped
            ++m_malformed;
            continue;
        }
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            break;
        // Linux hands an IPv6 socket a group's datagrams from every
        // interface where any socket of the host joined it (IPV6_MULTICAST_ALL
        // does not look at the interface): the group sockets take only what
        // came in on an interface this client uses.
        const int index = int(datagram.interfaceIndex());
        if (index != 0
            && ((socket == m_listen4.get() && !m_indexes4.contains(index))
                || (socket == m_listen6.get() && !m_indexes6.contains(index))))
            continue;
        QHostAddress source = datagram.senderAddress();
        source.setScopeId(QString());
        bool isV4 = false;
        const quint32 v4 = source.toIPv4Address(&isV4);
        const QString sourceText = isV4 ? QHostAddress(v4).toString() : source.toString();
        if (m_table.refusesNewFrom(sourceText)) {
            ++m_shed;  // a host with its full share: not worth parsing
            continue;
        }
        handle(datagram.data(), sourceText, datagram.interfaceIndex());
    }
    reportChanges();
}

void DiscoveryClient::reportChanges()
{
    const QSet<QString> changed = std::move(m_changed);
    m_changed.clear();
    for (const QString &key : changed) {
        const qsizetype split = key.indexOf(QChar(0));
        if (const DiscoveredDevice *d = m_table.find(key.left(split), key.mid(split + 1)))
            emit deviceChanged(*d);
    }
}

void DiscoveryClient::handle(const QByteArray &data, const QString &sourceText, int interfaceIndex)
{
    DiscoveryMessage message;
    XmlLimits limits;
    limits.maxBytes = m_options.maxDatagram;
    if (!DiscoveryMessages::parse(data, &message, limits)) {
        ++m_malformed;
        return;
    }
    if (message.kind == DiscoveryMessage::Kind::Probe)
        return;  // another client's, heard on the group
    if (message.kind == DiscoveryMessage::Kind::Bye) {
        // Only from where the device was heard: a Bye from another host
        // would take a device off the list for whoever announces its
        // endpoint reference next.
        for (const DiscoveryTarget &t : std::as_const(message.targets)) {
            const QString origin = m_table.bye(t.endpoint, sourceText);
            if (!origin.isEmpty()) {
                m_changed.remove(DiscoveryTable::keyOf(t.endpoint, origin));
                emit deviceLost(t.endpoint, origin);
            }
        }
        return;
    }
    if (message.kind == DiscoveryMessage::Kind::ProbeMatches && !m_probeIds.contains(message.relatesTo)) {
        ++m_unmatched;  // an answer to no Probe of ours: forged, or another client's
        qCDebug(lcOnvif).noquote() << "ProbeMatches from" << sourceText << "answer no Probe of ours:" << message.relatesTo.left(64);
        return;
    }
    const QString interfaceName = QNetworkInterface::interfaceNameFromIndex(interfaceIndex);
    const qint64 at = now();
    // An answer from an address of the directed run counts for its
    // progress (a Hello from there too: the device is there).
    bool isV4 = false;
    const quint32 v4 = m_directedTotal > 0 ? QHostAddress(sourceText).toIPv4Address(&isV4) : 0;
    if (isV4 && m_directedTotal > 0 && m_directedTo.contains(v4)) {
        const qsizetype before = m_directedAnswered.size();
        // Bounded as the table is: a device inventing endpoints fills neither.
        for (const DiscoveryTarget &t : std::as_const(message.targets)) {
            if (m_directedAnswered.size() < m_options.maxDevices)
                m_directedAnswered.insert(t.endpoint);
        }
        if (m_directedAnswered.size() != before)
            emit directedProgress(m_directedSent, m_directedTotal, int(m_directedAnswered.size()));
    }
    for (const DiscoveryTarget &t : std::as_const(message.targets)) {
        const DiscoveredDevice *heard = nullptr;
        DiscoveryTable::PushedOut pushedOut;
        switch (m_table.hear(t, sourceText, interfaceName, at, &heard, &pushedOut)) {
        case DiscoveryTable::Change::Added: {
            const DiscoveredDevice found = *heard;
            if (!pushedOut.endpoint.isEmpty()) {
                m_changed.remove(DiscoveryTable::keyOf(pushedOut.endpoint, pushedOut.origin));
                emit deviceLost(pushedOut.endpoint, pushedOut.origin);
            }
            emit deviceFound(found);
            break;
        }
        case DiscoveryTable::Change::Updated:
            m_changed.insert(DiscoveryTable::keyOf(heard->endpoint, heard->origin));
            break;
        case DiscoveryTable::Change::Refused:
        case DiscoveryTable::Change::None:
            break;
        }
    }
}

void DiscoveryClient::sweep()
{
    QStringList origins;
    const QStringList endpoints = m_table.expire(now(), &origins);
    for (int i = 0; i < endpoints.size(); ++i)
        emit deviceLost(endpoints.at(i), origins.at(i));
}

} // namespace Onvif
