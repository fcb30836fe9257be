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

namespace Onvif {

namespace {

// Room for the answers of a large site arriving together (a thousand
// devices answer both Probes of a round within half a second, about 1.5 KB
// each) while the event loop is busy; the kernel doubles the figure.
constexpr int kReceiveBuffer = 8 * 1024 * 1024;

// Directed probes go out in small bursts so that a range of a few thousand
// addresses does not overflow the socket's send queue.
constexpr int kDirectedBurst = 32;

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
    m_listen4 = std::make_unique<QUdpSocket>();
    m_probe4 = std::make_unique<QUdpSocket>();
    const auto shared = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
    // Hello and Bye come to the group's port, which devices on this host
    // (a simulator) share; ProbeMatches come to the probe socket's own port.
    if (!m_listen4->bind(QHostAddress::AnyIPv4, m_options.port, shared)
        || !m_probe4->bind(QHostAddress::AnyIPv4, 0)) {
        qCWarning(lcOnvif) << "cannot open the WS-Discovery sockets:" << m_listen4->errorString();
        m_listen4.reset();
        m_probe4.reset();
        return false;
    }
    m_listen6 = std::make_unique<QUdpSocket>();
    m_probe6 = std::make_unique<QUdpSocket>();
    if (!m_listen6->bind(QHostAddress::AnyIPv6, m_options.port, shared) || !m_probe6->bind(QHostAddress::AnyIPv6, 0)) {
        // IPv6 is a bonus: a host without it still discovers over IPv4.
        m_listen6.reset();
        m_probe6.reset();
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
        QUdpSocket *socket;
        QHostAddress group;
        QList<int> *indexes;
        QStringList *names;
    };
    const QList<Family> families{
        {VoskNet::Family::V4, m_listen4.get(), m_options.group4, &m_indexes4, &m_joined4},
        {VoskNet::Family::V6, m_listen6.get(), m_options.group6, &m_indexes6, &m_joined6},
    };
    for (const Family &f : families) {
        if (!f.socket)
            continue;
        QList<int> current;
        for (const VoskNet::NetInterface &nif : config.usableInterfaces(f.family))
            current.append(nif.index);
        // Interfaces gone: leave (the socket may already have lost them).
        for (qsizetype i = f.indexes->size() - 1; i >= 0; --i) {
            if (!current.contains(f.indexes->at(i))) {
                f.socket->leaveMulticastGroup(f.group, QNetworkInterface::interfaceFromIndex(f.indexes->at(i)));
                f.indexes->removeAt(i);
                f.names->removeAt(i);
            }
        }
        for (const int index : current) {
            if (f.indexes->contains(index))
                continue;
            const QNetworkInterface iface = QNetworkInterface::interfaceFromIndex(index);
            if (!iface.isValid() || !f.socket->joinMulticastGroup(f.group, iface)) {
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
        const QByteArray datagram = DiscoveryMessages::probe(DiscoveryMessages::makeMessageId(), probeTypes(which));
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
    if (!m_directedTimer->isActive())
        m_directedTimer->start(0);
    return true;
}

void DiscoveryClient::sendDirected()
{
    const QByteArray nvt = DiscoveryMessages::probe(DiscoveryMessages::makeMessageId(), probeTypes(0));
    const QByteArray any = DiscoveryMessages::probe(DiscoveryMessages::makeMessageId(), probeTypes(1));
    for (int i = 0; i < kDirectedBurst && !m_directedQueue.isEmpty(); ++i) {
        const QHostAddress to = m_directedQueue.takeFirst();
        QUdpSocket *socket = to.protocol() == QAbstractSocket::IPv6Protocol ? m_probe6.get() : m_probe4.get();
        if (!socket)
            continue;
        socket->writeDatagram(nvt, to, m_options.port);
        socket->writeDatagram(any, to, m_options.port);
    }
    if (!m_directedQueue.isEmpty())
        m_directedTimer->start(1);
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

void DiscoveryClient::drain(QUdpSocket *socket)
{
    while (socket->hasPendingDatagrams()) {
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
        handle(datagram.data(), datagram.senderAddress(), datagram.interfaceIndex());
    }
}

void DiscoveryClient::handle(const QByteArray &data, const QHostAddress &sender, int interfaceIndex)
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
    QHostAddress source = sender;
    source.setScopeId(QString());
    bool isV4 = false;
    const quint32 v4 = source.toIPv4Address(&isV4);
    const QString sourceText = isV4 ? QHostAddress(v4).toString() : source.toString();
    if (message.kind == DiscoveryMessage::Kind::Bye) {
        // Only from where the device was heard: a Bye from another host
        // would take a device off the list for whoever announces its
        // endpoint reference next.
        for (const DiscoveryTarget &t : std::as_const(message.targets)) {
            const QString origin = m_table.bye(t.endpoint, sourceText);
            if (!origin.isEmpty())
                emit deviceLost(t.endpoint, origin);
        }
        return;
    }
    const QString interfaceName = QNetworkInterface::interfaceNameFromIndex(interfaceIndex);
    const qint64 at = now();
    for (const DiscoveryTarget &t : std::as_const(message.targets)) {
        const DiscoveredDevice *heard = nullptr;
        switch (m_table.hear(t, sourceText, interfaceName, at, &heard)) {
        case DiscoveryTable::Change::Added:
            emit deviceFound(*heard);
            break;
        case DiscoveryTable::Change::Updated:
            emit deviceChanged(*heard);
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
