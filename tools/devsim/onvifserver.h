#pragma once

// The I/O of the simulated ONVIF devices: WS-Discovery over UDP multicast
// (239.255.255.250, port 3702 by default) on the named interfaces, and on
// ff02::c too on those of them with link-local IPv6, and one
// small HTTP/1.1 server per device on the device's own loopback address
// (127.0.0.0/8 is all local), and on its IPv6 address when the fleet has
// them, so that a device given a new address stops
// listening on the old one and starts on the new one, as on a real network.
// Devices told to (OnvifBehaviour::https) serve HTTPS too, on their IPv4
// address and HTTP port + 1, all with one self-signed certificate made at
// open() (or kept in OnvifFleetOptions::certificateFile).
// Everything runs on the thread the server lives on, in its event loop;
// the devices themselves (OnvifDevice) do no I/O.

#include "tools/devsim/onvifbehaviour.h"
#include "tools/devsim/selfsignedcertificate.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QNetworkInterface>
#include <QObject>
#include <QSet>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <vector>

class QSslServer;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QUdpSocket;

namespace VoskSim {

class OnvifDevice;

struct OnvifFleetOptions
{
    static constexpr int kMaxCount = 4096;
    int count = 0;
    quint64 seed = 1;
    QList<QByteArray> interfaces;       // empty: VOSK_INTERFACES
    quint32 firstAddress = 0x7F010001;  // 127.1.0.1; the devices take the addresses from there on
    // The first device's IPv6 address (the others follow), where the devices
    // serve besides their IPv4 one; null: IPv4 only. It must be an address
    // of this host (a link-local one with its interface as scope id).
    QHostAddress firstAddress6;
    quint16 httpPort = 80;
    quint16 discoveryPort = 3702;
    double drop = 0.0;                  // share of discovery datagrams lost, each direction
    QByteArray adminPassword = "Admin12345";
    int rebootMs = 1000;                // how long a reboot takes
    QList<OnvifBehaviour::Rule> rules;  // applied in order over the seeded behaviours
    // The devices that serve HTTPS show the certificate kept here (made
    // and kept there when the file does not exist); empty: a new one at
    // every start.
    QString certificateFile;
};

class OnvifServer final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIdleTimeoutMs = 30000;
    static constexpr int kMaxConnectionsPerDevice = 32;
    static constexpr int kMaxAnswerDelayMs = 500;  // WS-Discovery's APP_MAX_DELAY

    explicit OnvifServer(const OnvifFleetOptions &options, QObject *parent = nullptr);
    ~OnvifServer() override;

    // Builds the devices, joins the group, starts listening, and schedules
    // every device's Hello. On the server's thread. false with a reason
    // when the fleet cannot run (no such interface, the port is taken).
    bool open(QString &error);
    // Bye from every device that is up, then everything closes. On the
    // server's thread.
    void stop();

    int count() const { return int(m_nodes.size()); }
    // The address the device index of a fleet starts at (host order).
    static quint32 addressOf(quint32 firstAddress, int index);
    // Its IPv6 address: the first one plus index, without a scope id.
    static QHostAddress addressOf6(const QHostAddress &firstAddress, int index);

private:
    struct Node;
    struct Connection;

    qint64 now() const { return m_clock.elapsed(); }
    void schedule(qint64 at, std::function<void()> task);
    void runDue();
    bool lose();
    // The group and socket of an interface's family.
    void sendToGroup(Node &node, const QNetworkInterface &iface, bool v6, const QByteArray &message);

    // Listens where the device now is; false, with the reason, when it
    // cannot (it then stays unreachable there).
    bool bindDevice(Node &node, QString *error = nullptr);
    void unbindDevice(Node &node);
    // Whether the device is to be reached elsewhere than it listens.
    bool placeChanged(const Node &node) const;
    QHostAddress listenAddress6(const Node &node) const;
    void announce(Node &node, const QByteArray &message);
    QUdpSocket *senderFor(Node &node, bool loopback) const;
    void onDiscoveryDatagram(QUdpSocket *socket, Node *directed);
    void onNewConnection(Node &node, QTcpServer *server);
    void onReadyRead(Connection &connection);
    void serve(Connection &connection);
    void finish(Connection &connection, int status, const QList<QByteArray> &challenges, const QByteArray &body,
                bool keepAlive, const QByteArray &contentType = QByteArray());
    void closeConnections(Node &node, QTcpSocket *except);
    void afterReply(Node &node, int after, QTcpSocket *socket);

    OnvifFleetOptions m_options;
    QList<QNetworkInterface> m_interfaces4;  // the named ones with an IPv4 address
    QList<QNetworkInterface> m_interfaces6;  // the ones with link-local IPv6 and multicast
    std::vector<std::unique_ptr<Node>> m_nodes;
    QUdpSocket *m_discovery = nullptr;
    QUdpSocket *m_discovery6 = nullptr;  // null without IPv6 on the named interfaces
    QHash<QTcpSocket *, std::shared_ptr<Connection>> m_connections;
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    std::multimap<qint64, std::function<void()>> m_queue;
    QSet<QString> m_seenProbes;
    std::deque<QString> m_seenOrder;
    std::mt19937_64 m_rng;
    std::optional<SelfSignedCertificate> m_tls;  // made once any device serves HTTPS
};

} // namespace VoskSim
