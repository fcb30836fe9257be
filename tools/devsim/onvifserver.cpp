#include "tools/devsim/onvifserver.h"

#include "tools/devsim/httprequestparser.h"
#include "tools/devsim/onvifdevice.h"
#include "tools/devsim/onvifsoap.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QNetworkDatagram>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <netinet/in.h>
#include <sys/socket.h>

namespace {

Q_LOGGING_CATEGORY(lcOnvifSim, "vosk.devsim.onvif", QtInfoMsg)

const QHostAddress kGroup(QStringLiteral("239.255.255.250"));
const QHostAddress kGroup6(QStringLiteral("ff02::c"));
constexpr std::size_t kSeenProbes = 256;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100: return QByteArrayLiteral("Continue");
    case 200: return QByteArrayLiteral("OK");
    case 400: return QByteArrayLiteral("Bad Request");
    case 401: return QByteArrayLiteral("Unauthorized");
    case 405: return QByteArrayLiteral("Method Not Allowed");
    case 411: return QByteArrayLiteral("Length Required");
    case 413: return QByteArrayLiteral("Content Too Large");
    case 431: return QByteArrayLiteral("Request Header Fields Too Large");
    case 501: return QByteArrayLiteral("Not Implemented");
    case 505: return QByteArrayLiteral("HTTP Version Not Supported");
    default: return QByteArrayLiteral("Internal Server Error");
    }
}

bool hasIPv4(const QNetworkInterface &iface)
{
    const QList<QNetworkAddressEntry> entries = iface.addressEntries();
    return std::any_of(entries.begin(), entries.end(),
                       [](const QNetworkAddressEntry &e) { return e.ip().protocol() == QAbstractSocket::IPv4Protocol; });
}

// ff02::c is link-scoped: it needs a link (loopback has none, only ::1)
// with a link-local address to send from.
bool hasLinkLocalIPv6(const QNetworkInterface &iface)
{
    if (!iface.flags().testFlag(QNetworkInterface::CanMulticast) || !iface.flags().testFlag(QNetworkInterface::IsUp)
        || iface.flags().testFlag(QNetworkInterface::IsLoopBack))
        return false;
    const QList<QNetworkAddressEntry> entries = iface.addressEntries();
    return std::any_of(entries.begin(), entries.end(), [](const QNetworkAddressEntry &e) {
        return e.ip().protocol() == QAbstractSocket::IPv6Protocol && e.ip().isLinkLocal();
    });
}

QHostAddress scoped(const QHostAddress &group, const QNetworkInterface &iface)
{
    QHostAddress address = group;
    address.setScopeId(iface.name());
    return address;
}

// The sender as an IPv4 address when it is one in IPv6 dress.
QHostAddress plainSender(const QHostAddress &sender)
{
    bool mapped = false;
    const quint32 v4 = sender.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : sender;
}

} // namespace

namespace VoskSim {

struct OnvifServer::Node
{
    std::unique_ptr<OnvifDevice> device;
    QTcpServer *http = nullptr;   // on its IPv4 address
    QTcpServer *http6 = nullptr;  // on its IPv6 address
    QSslServer *https = nullptr;  // on its IPv4 address, when it serves HTTPS
    QUdpSocket *udp = nullptr;    // directed probes: on its IPv4 address, else its IPv6 one
    bool up = false;  // false while rebooting
    QList<QTcpSocket *> connections;
};

struct OnvifServer::Connection
{
    QTcpSocket *socket = nullptr;
    Node *node = nullptr;
    HttpRequestParser parser;
    bool busy = false;       // a request is being answered (or never will be)
    bool continued = false;  // "100 Continue" sent for the request being read
    QTimer *idle = nullptr;
};

OnvifServer::OnvifServer(const OnvifFleetOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_timer(new QTimer(this))
    , m_rng(options.seed ^ 0x0517F00Dull)
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &OnvifServer::runDue);
}

OnvifServer::~OnvifServer()
{
    m_queue.clear();
    for (QTcpSocket *socket : m_connections.keys())
        socket->abort();
}

quint32 OnvifServer::addressOf(quint32 firstAddress, int index)
{
    // Host numbers .0 and .255 look like network and broadcast addresses
    // to people reading a table: skipped.
    auto usable = [](quint32 a) { return (a & 0xff) != 0 && (a & 0xff) != 0xff; };
    quint32 address = firstAddress;
    while (!usable(address))
        ++address;
    for (int i = 0; i < index; ++i) {
        do
            ++address;
        while (!usable(address));
    }
    return address;
}

QHostAddress OnvifServer::addressOf6(const QHostAddress &firstAddress, int index)
{
    Q_IPV6ADDR bytes = firstAddress.toIPv6Address();
    quint32 carry = quint32(index);
    for (int i = 15; i >= 8 && carry != 0; --i) {
        const quint32 sum = bytes[i] + (carry & 0xff);
        bytes[i] = quint8(sum);
        carry = (carry >> 8) + (sum >> 8);
    }
    return QHostAddress(bytes);
}

bool OnvifServer::open(QString &error)
{
    m_clock.start();
    QList<QByteArray> names = m_options.interfaces;
    if (names.isEmpty()) {
        for (const QByteArray &name : qgetenv("VOSK_INTERFACES").split(','))
            if (!name.trimmed().isEmpty())
                names.append(name.trimmed());
    }
    if (names.isEmpty()) {
        error = QStringLiteral("name the interfaces for ONVIF discovery");
        return false;
    }
    for (const QByteArray &name : std::as_const(names)) {
        const QNetworkInterface iface = QNetworkInterface::interfaceFromName(QString::fromLatin1(name));
        if (!iface.isValid()) {
            error = QStringLiteral("no interface %1").arg(QString::fromLatin1(name));
            return false;
        }
        const bool v4 = hasIPv4(iface);
        const bool v6 = hasLinkLocalIPv6(iface);
        if (!v4 && !v6) {
            error = QStringLiteral("interface %1 has neither IPv4 nor link-local IPv6").arg(iface.name());
            return false;
        }
        if (v4)
            m_interfaces4.append(iface);
        if (v6)
            m_interfaces6.append(iface);
    }

    const auto shared = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
    m_discovery = new QUdpSocket(this);
    if (!m_discovery->bind(QHostAddress::AnyIPv4, m_options.discoveryPort, shared)) {
        error = QStringLiteral("cannot bind the WS-Discovery port %1: %2")
                    .arg(m_options.discoveryPort)
                    .arg(m_discovery->errorString());
        return false;
    }
    for (const QNetworkInterface &iface : std::as_const(m_interfaces4)) {
        if (!m_discovery->joinMulticastGroup(kGroup, iface)) {
            error = QStringLiteral("cannot join the WS-Discovery group on %1").arg(iface.name());
            return false;
        }
    }
    connect(m_discovery, &QUdpSocket::readyRead, this, [this] { onDiscoveryDatagram(m_discovery, nullptr); });
    if (!m_interfaces6.isEmpty()) {
        m_discovery6 = new QUdpSocket(this);
        if (!m_discovery6->bind(QHostAddress::AnyIPv6, m_options.discoveryPort, shared)) {
            error = QStringLiteral("cannot bind the WS-Discovery port %1 for IPv6: %2")
                        .arg(m_options.discoveryPort)
                        .arg(m_discovery6->errorString());
            return false;
        }
        for (const QNetworkInterface &iface : std::as_const(m_interfaces6)) {
            if (!m_discovery6->joinMulticastGroup(kGroup6, iface)) {
                error = QStringLiteral("cannot join the IPv6 WS-Discovery group on %1").arg(iface.name());
                return false;
            }
        }
#ifdef IPV6_MULTICAST_ALL
        // Only the group on the named interfaces, not wherever another
        // socket of the host (a client beside us) joined it.
        const int zero = 0;
        setsockopt(int(m_discovery6->socketDescriptor()), IPPROTO_IPV6, IPV6_MULTICAST_ALL, &zero, sizeof zero);
#endif
        connect(m_discovery6, &QUdpSocket::readyRead, this, [this] { onDiscoveryDatagram(m_discovery6, nullptr); });
    }

    const qint64 bootSeconds = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < m_options.count; ++i) {
        OnvifDevice::Options o;
        o.seed = m_options.seed;
        o.index = i;
        o.adminPassword = m_options.adminPassword;
        o.address = addressOf(m_options.firstAddress, i);
        o.httpPort = m_options.httpPort;
        o.behaviour = OnvifBehaviour::seeded(m_options.seed, i);
        for (const OnvifBehaviour::Rule &rule : std::as_const(m_options.rules)) {
            if (rule.covers(i))
                rule.apply(o.behaviour);
        }
        o.bootSeconds = bootSeconds;
        if (!m_options.firstAddress6.isNull())
            o.ipv6Address = addressOf6(m_options.firstAddress6, i).toString();
        else if (o.behaviour.ipv6Only) {
            error = QStringLiteral("device %1 is to serve on IPv6 alone: give the fleet IPv6 addresses").arg(i);
            return false;
        }
        auto node = std::make_unique<Node>();
        node->device = std::make_unique<OnvifDevice>(o);
        node->http = new QTcpServer(this);
        node->http6 = new QTcpServer(this);
        node->udp = new QUdpSocket(this);
        Node *raw = node.get();
        if (node->device->httpsPort()) {
            if (!m_tls) {
                const QString name = QStringLiteral("vosk-devsim");
                QString reason;
                m_tls = m_options.certificateFile.isEmpty()
                    ? SelfSignedCertificate::make(name, &reason)
                    : SelfSignedCertificate::loadOrMake(m_options.certificateFile, name, &reason);
                if (!m_tls) {
                    error = reason;
                    return false;
                }
            }
            node->https = new QSslServer(this);
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setLocalCertificate(m_tls->certificate);
            tls.setPrivateKey(m_tls->key);
            tls.setPeerVerifyMode(QSslSocket::VerifyNone);
            node->https->setSslConfiguration(tls);
            // A connection is pending once its handshake is done.
            connect(node->https, &QTcpServer::pendingConnectionAvailable, this,
                    [this, raw] { onNewConnection(*raw, raw->https); });
        }
        connect(node->http, &QTcpServer::newConnection, this, [this, raw] { onNewConnection(*raw, raw->http); });
        connect(node->http6, &QTcpServer::newConnection, this, [this, raw] { onNewConnection(*raw, raw->http6); });
        connect(node->udp, &QUdpSocket::readyRead, this, [this, raw] { onDiscoveryDatagram(raw->udp, raw); });
        QString reason;
        if (!bindDevice(*node, &reason)) {
            error = QStringLiteral("device %1 %2").arg(i).arg(reason);
            return false;
        }
        node->up = true;
        m_nodes.push_back(std::move(node));
    }
    std::uniform_int_distribution<int> delay(0, kMaxAnswerDelayMs);
    for (const auto &node : m_nodes) {
        Node *raw = node.get();
        schedule(now() + delay(m_rng), [this, raw] {
            if (!raw->up)
                return;
            // One posing as a listed device first says that one is gone.
            if (raw->device->behaviour().endpointOf.isSet())
                announce(*raw, raw->device->bye());
            announce(*raw, raw->device->hello());
        });
    }
    return true;
}

void OnvifServer::stop()
{
    m_queue.clear();
    for (const auto &node : m_nodes) {
        if (node->up)
            announce(*node, node->device->bye());
        node->up = false;
    }
    for (const auto &node : m_nodes) {
        closeConnections(*node, nullptr);
        unbindDevice(*node);
    }
    if (m_discovery)
        m_discovery->close();
    if (m_discovery6)
        m_discovery6->close();
}

void OnvifServer::schedule(qint64 at, std::function<void()> task)
{
    m_queue.emplace(at, std::move(task));
    const qint64 wait = std::max<qint64>(0, m_queue.begin()->first - now());
    if (!m_timer->isActive() || m_timer->remainingTime() > wait)
        m_timer->start(int(wait));
}

void OnvifServer::runDue()
{
    const qint64 t = now();
    while (!m_queue.empty() && m_queue.begin()->first <= t) {
        std::function<void()> task = std::move(m_queue.begin()->second);
        m_queue.erase(m_queue.begin());
        task();
    }
    if (!m_queue.empty())
        m_timer->start(int(std::max<qint64>(0, m_queue.begin()->first - now())));
}

bool OnvifServer::lose()
{
    return m_options.drop > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < m_options.drop;
}

QHostAddress OnvifServer::listenAddress6(const Node &node) const
{
    const QString text = node.device->ipv6Address();
    if (text.isEmpty())
        return QHostAddress();
    QHostAddress address(text);
    // A link-local address is one of the interface the fleet's addresses
    // were given on.
    if (address.isLinkLocal())
        address.setScopeId(m_options.firstAddress6.scopeId());
    return address;
}

bool OnvifServer::bindDevice(Node &node, QString *error)
{
    const OnvifDevice &device = *node.device;
    const QHostAddress address4 = device.ipv4Enabled() ? QHostAddress(device.address()) : QHostAddress();
    const QHostAddress address6 = listenAddress6(node);
    bool ok = true;
    for (const auto &[server, address, port] :
         {std::tuple<QTcpServer *, QHostAddress, quint16>{node.http, address4, device.httpPort()},
          std::tuple<QTcpServer *, QHostAddress, quint16>{node.http6, address6, device.httpPort()},
          std::tuple<QTcpServer *, QHostAddress, quint16>{node.https, node.https ? address4 : QHostAddress(),
                                                          device.httpsPort()}}) {
        if (address.isNull() || server->listen(address, port))
            continue;
        qCWarning(lcOnvifSim) << "device" << device.endpoint() << "cannot listen on" << address.toString() << "port"
                              << port << server->errorString();
        if (error && ok)
            *error = QStringLiteral("cannot listen on %1 port %2: %3")
                         .arg(address.toString())
                         .arg(port)
                         .arg(server->errorString());
        ok = false;
    }
    // Its own socket on the discovery port: directed probes reach it, and
    // what it sends comes from its own address.
    const QHostAddress own = address4.isNull() ? address6 : address4;
    if (!own.isNull()
        && !node.udp->bind(own, m_options.discoveryPort, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint))
        qCWarning(lcOnvifSim) << "device" << device.endpoint() << "has no discovery socket"
                              << node.udp->errorString();
    return ok;
}

void OnvifServer::unbindDevice(Node &node)
{
    node.http->close();
    node.http6->close();
    if (node.https)
        node.https->close();
    node.udp->close();
}

bool OnvifServer::placeChanged(const Node &node) const
{
    const OnvifDevice &device = *node.device;
    auto differs = [&device](const QTcpServer *server, const QHostAddress &wanted) {
        if (wanted.isNull())
            return server->isListening();
        return !server->isListening() || server->serverAddress() != wanted
            || server->serverPort() != device.httpPort();
    };
    return differs(node.http, device.ipv4Enabled() ? QHostAddress(device.address()) : QHostAddress())
        || differs(node.http6, listenAddress6(node));
}

void OnvifServer::announce(Node &node, const QByteArray &message)
{
    for (const QNetworkInterface &iface : std::as_const(m_interfaces4))
        sendToGroup(node, iface, false, message);
    for (const QNetworkInterface &iface : std::as_const(m_interfaces6))
        sendToGroup(node, iface, true, message);
}

void OnvifServer::sendToGroup(Node &node, const QNetworkInterface &iface, bool v6, const QByteArray &message)
{
    if (lose())
        return;
    if (v6) {
        // From the interface's link-local address, the only source a
        // link-scoped group accepts.
        m_discovery6->setMulticastInterface(iface);
        m_discovery6->writeDatagram(message, scoped(kGroup6, iface), m_options.discoveryPort);
        return;
    }
    QUdpSocket *socket = senderFor(node, iface.flags().testFlag(QNetworkInterface::IsLoopBack));
    socket->setMulticastInterface(iface);
    socket->writeDatagram(message, kGroup, m_options.discoveryPort);
}

QUdpSocket *OnvifServer::senderFor(Node &node, bool loopback) const
{
    // A device's own socket sends from its loopback address. Anywhere but
    // on loopback that source is a martian that receivers drop, so there
    // the fleet's socket sends, from the address the kernel picks.
    if (loopback && node.udp->state() == QAbstractSocket::BoundState
        && node.udp->localAddress().protocol() == QAbstractSocket::IPv4Protocol)
        return node.udp;
    return m_discovery;
}

void OnvifServer::onDiscoveryDatagram(QUdpSocket *socket, Node *directed)
{
    const bool v6 = socket == m_discovery6;
    QSet<int> indexes;
    for (const QNetworkInterface &iface : std::as_const(v6 ? m_interfaces6 : m_interfaces4))
        indexes.insert(iface.index());
    std::uniform_int_distribution<int> delay(0, kMaxAnswerDelayMs);
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram(OnvifSoap::kMaxBytes + 1);
        if (datagram.data().size() > OnvifSoap::kMaxBytes)
            continue;
        if (!directed) {
            // Only what came to the group on an interface of ours; unicast
            // to an address where no device lives goes unanswered.
            if (datagram.interfaceIndex() != 0 && !indexes.contains(int(datagram.interfaceIndex())))
                continue;
            QHostAddress destination = datagram.destinationAddress();
            destination.setScopeId(QString());
            if (!destination.isNull() && destination != (v6 ? kGroup6 : kGroup))
                continue;
        }
        OnvifSoap::Message message;
        if (OnvifSoap::parse(datagram.data(), message) != OnvifSoap::ParseError::None
            || !message.payload.is(OnvifSoap::kDiscovery, u"Probe"))
            continue;
        const QString messageId = message.header.childText(OnvifSoap::kAddressing, u"MessageID");
        if (!directed && !messageId.isEmpty()) {
            // A probe repeated, or heard on two interfaces, is answered once.
            if (m_seenProbes.contains(messageId))
                continue;
            m_seenProbes.insert(messageId);
            m_seenOrder.push_back(messageId);
            if (m_seenOrder.size() > kSeenProbes) {
                m_seenProbes.remove(m_seenOrder.front());
                m_seenOrder.pop_front();
            }
        }
        const QHostAddress sender = v6 ? datagram.senderAddress() : plainSender(datagram.senderAddress());
        const quint16 senderPort = quint16(datagram.senderPort());
        const bool loopback = sender.isLoopback() || sender == QHostAddress::AnyIPv4;
        auto answer = [this, sender, senderPort, messageId, loopback, v6](Node *node) {
            if (!node->up || lose())
                return;
            // An IPv6 prober is answered from the fleet's IPv6 socket (a
            // link-local sender carries its interface as scope); the
            // XAddrs still name where the device serves.
            QUdpSocket *from = v6 ? m_discovery6 : senderFor(*node, loopback);
            // A directed probe to a device's IPv6 address: answered from there.
            if (!v6 && sender.protocol() == QAbstractSocket::IPv6Protocol)
                from = node->udp;
            from->writeDatagram(node->device->probeMatches(messageId), sender, senderPort);
        };
        if (directed) {
            if (directed->up && directed->device->matches(message.payload))
                answer(directed);
            continue;
        }
        for (const auto &node : m_nodes) {
            Node *raw = node.get();
            if (!raw->up || lose() || !raw->device->matches(message.payload))
                continue;
            schedule(now() + delay(m_rng), [answer, raw] { answer(raw); });
        }
    }
}

void OnvifServer::onNewConnection(Node &node, QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        if (node.connections.size() >= kMaxConnectionsPerDevice || !node.up) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto connection = std::make_shared<Connection>();
        connection->socket = socket;
        connection->node = &node;
        // While a request is being answered nothing more is read: the
        // buffer holds at most one more request, then TCP holds the client.
        socket->setReadBufferSize(HttpRequestParser::kMaxHead + HttpRequestParser::kMaxBody);
        connection->idle = new QTimer(socket);
        connection->idle->setSingleShot(true);
        connection->idle->start(kIdleTimeoutMs);
        connect(connection->idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
        node.connections.append(socket);
        m_connections.insert(socket, connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (const auto c = m_connections.value(socket))
                onReadyRead(*c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (const auto c = m_connections.take(socket))
                c->node->connections.removeAll(socket);
            socket->deleteLater();
        });
    }
}

void OnvifServer::onReadyRead(Connection &c)
{
    if (c.busy)
        return;
    const QByteArray data = c.socket->readAll();
    if (!data.isEmpty()) {
        c.idle->start(kIdleTimeoutMs);
        c.parser.feed(data);
    }
    serve(c);
}

void OnvifServer::serve(Connection &c)
{
    switch (c.parser.state()) {
    case HttpRequestParser::State::Failed:
        c.busy = true;
        finish(c, c.parser.errorStatus(), {}, QByteArray(), false);
        return;
    case HttpRequestParser::State::NeedMore:
        if (c.parser.expectsContinue() && !c.continued) {
            c.socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            c.continued = true;
        }
        return;
    case HttpRequestParser::State::Complete:
        break;
    }
    const HttpRequestParser::Request &request = c.parser.request();
    const OnvifDevice::HttpReply reply =
        c.node->device->handleHttp(request.method, request.target, request.header("authorization"), request.body,
                                   QDateTime::currentMSecsSinceEpoch(), plainSender(c.socket->peerAddress()).toString());
    c.busy = true;
    // The idle time-out is for a quiet client, not for a slow device.
    c.idle->stop();
    if (reply.silent)
        return;  // busy for good: the client waits until it gives up
    const bool keepAlive = request.keepAlive() && reply.after == OnvifDevice::After::Nothing;
    QTcpSocket *socket = c.socket;
    auto deliver = [this, socket, reply, keepAlive] {
        const std::shared_ptr<Connection> connection = m_connections.value(socket);
        if (!connection)
            return;
        finish(*connection, reply.status, reply.challenges, reply.body, keepAlive, reply.contentType);
        afterReply(*connection->node, int(reply.after), socket);
        if (!keepAlive)
            return;
        connection->busy = false;
        connection->continued = false;
        connection->idle->start(kIdleTimeoutMs);
        connection->parser.next();
        onReadyRead(*connection);
    };
    if (reply.delayMs > 0)
        QTimer::singleShot(reply.delayMs, socket, deliver);
    else
        deliver();
}

void OnvifServer::finish(Connection &c, int status, const QList<QByteArray> &challenges, const QByteArray &body,
                         bool keepAlive, const QByteArray &contentType)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
        + "\r\nServer: vosk-devsim\r\n";
    if (!body.isEmpty())
        head += "Content-Type: " + (contentType.isEmpty() ? QByteArray("application/soap+xml; charset=utf-8") : contentType) + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const QByteArray &challenge : challenges)
        head += "WWW-Authenticate: " + challenge + "\r\n";
    if (status == 405)
        head += "Allow: POST\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    c.socket->write(head + body);
    if (!keepAlive)
        c.socket->disconnectFromHost();
}

void OnvifServer::closeConnections(Node &node, QTcpSocket *except)
{
    const QList<QTcpSocket *> sockets = node.connections;
    for (QTcpSocket *socket : sockets) {
        if (socket != except)
            socket->abort();
    }
}

void OnvifServer::afterReply(Node &node, int after, QTcpSocket *socket)
{
    switch (OnvifDevice::After(after)) {
    case OnvifDevice::After::Nothing:
        return;
    case OnvifDevice::After::Move: {
        if (!placeChanged(node))
            return;
        // The old address is gone: its connections with it (the one that
        // carried the change closes once its answer is out).
        closeConnections(node, socket);
        unbindDevice(node);
        bindDevice(node);
        qCDebug(lcOnvifSim) << "device" << node.device->endpoint() << "moved to" << node.device->serviceAddress();
        announce(node, node.device->hello());
        return;
    }
    case OnvifDevice::After::Reboot: {
        announce(node, node.device->bye());
        node.up = false;
        closeConnections(node, socket);
        unbindDevice(node);
        Node *raw = &node;
        schedule(now() + m_options.rebootMs, [this, raw] {
            raw->device->reboot();
            bindDevice(*raw);
            raw->up = true;
            qCDebug(lcOnvifSim) << "device" << raw->device->endpoint() << "back at" << raw->device->serviceAddress();
            announce(*raw, raw->device->hello());
        });
        return;
    }
    }
}

} // namespace VoskSim
