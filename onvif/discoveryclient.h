#pragma once

// WS-Discovery client for ONVIF devices. It listens on the discovery port
// for Hello and Bye on every interface the discovery uses (the same choice
// as our own protocol's: VOSK_INTERFACES pins it, else every usable
// interface; IPv4 group 239.255.255.250 and, where an interface has
// link-local IPv6, ff02::c), and probes from a port of its own so that
// the devices' unicast ProbeMatches reach this client alone. The
// discovery port is shared with other programs (SO_REUSEADDR and
// SO_REUSEPORT); where another one holds it alone, the client says so in
// a warning and goes on probing without Hello and Bye: ProbeMatches come
// to the probe socket's port, for multicast and directed probes alike.
//
// ProbeMatches count only when they answer one of the client's recent
// Probes (RelatesTo); others are dropped and counted. Each datagram costs
// a bounded amount (size limit, capped lists per device, see
// DiscoveryTable); datagrams are read in small batches so that a flood on
// one socket does not keep the others (or the rest of the program) from
// the event loop, and one device's changes within a batch are reported
// once, so a flood's work ends with the flood.
//
// probe() opens a listening window: a round of Probes (one for network
// video transmitters, one for any device, out of every interface) at its
// start and again at each round interval, since datagrams get lost and
// devices wait a random 0..500 ms before they answer. Every device heard
// (ProbeMatch or Hello) stays listed until its Bye (from an address it was
// heard from) or until it has been silent for the silence limit (five
// minutes by default, while a window is opened every minute). One device
// per endpoint reference and answering host (DiscoveredDevice::origin):
// another host announcing a known endpoint reference is listed beside it,
// never in its place. Datagrams over the size
// limit or not readable as discovery messages are counted and dropped; the
// list holds at most maxDevices, shared fairly by the hosts that answer.
//
// Lives in one thread with an event loop; signals are emitted there.

#include "onvif/discovereddevice.h"
#include "onvif/discoverytable.h"

#include <QHostAddress>
#include <QObject>
#include <QSet>

#include <functional>
#include <memory>

class QTimer;
class QUdpSocket;

namespace Onvif {

// Defaults are the standard's; tests move port and group to be alone.
struct DiscoveryOptions
{
    quint16 port = 3702;
    QHostAddress group4 = QHostAddress(QStringLiteral("239.255.255.250"));
    QHostAddress group6 = QHostAddress(QStringLiteral("ff02::c"));
    // Interface names; empty: VOSK_INTERFACES, else every usable one.
    QList<QByteArray> interfaces;
    int probeRounds = 3;
    int roundIntervalMs = 550;
    int listenTailMs = 600;  // after the last round
    qsizetype maxDatagram = 32 * 1024;
    int maxDevices = 4096;
    // While running, a listening window every so often (0: only when
    // probe() is called), so that a device still there is heard again
    // long before the silence limit forgets it.
    int reprobeIntervalMs = 60 * 1000;
    qint64 silenceLimitMs = 5 * 60 * 1000;
    int sweepIntervalMs = 5000;
    int maxDirectedAddresses = 4096;
};

class DiscoveryClient final : public QObject
{
    Q_OBJECT

public:
    using Options = DiscoveryOptions;

    explicit DiscoveryClient(const Options &options = Options(), QObject *parent = nullptr);
    ~DiscoveryClient() override;

    // Opens the sockets and joins the groups. False when no interface could
    // be used or no probe socket opened (nothing to hear, nothing sent).
    // True without Hello and Bye when only the group port is taken.
    bool start();
    // Whether Hello and Bye are heard in every family probed (the group
    // port could be opened).
    bool isListening() const { return m_listen4 && (!m_probe6 || m_listen6); }
    void stop();
    bool isRunning() const { return m_running; }
    // The interfaces joined, by name ("lo", "eth0"), per family.
    QStringList interfaces4() const { return m_joined4; }
    QStringList interfaces6() const { return m_joined6; }

    // Starts a listening window (or starts it again). Picks up interfaces
    // that appeared since start().
    void probe();
    // A directed probe: both Probes by unicast to each address (another
    // subnet, where multicast does not reach), paced. False, sending
    // nothing, for more than maxDirectedAddresses or when not running.
    bool probeAddresses(const QList<QHostAddress> &addresses);
    // first..last inclusive, IPv4 only; empty when reversed, mixed or
    // longer than max.
    static QList<QHostAddress> addressRange(const QHostAddress &first, const QHostAddress &last, int max);

    QList<DiscoveredDevice> devices() const { return m_table.devices(); }
    // The first device heard of that endpoint reference.
    const DiscoveredDevice *device(const QString &endpoint) const { return m_table.find(endpoint); }
    int malformedCount() const { return m_malformed; }
    // Announcements refused for a full list: new endpoints the table
    // refused, and datagrams dropped unread from a host that already holds
    // its full share (a flood costs little per datagram then).
    int refusedCount() const { return m_table.refused() + m_shed; }
    // ProbeMatches that answered no Probe of this client.
    int unmatchedCount() const { return m_unmatched; }

    // Forgets the devices silent for longer than the limit (deviceLost for
    // each). Runs by itself every sweep interval.
    void sweep();

    // The clock of heard and silent, in ms: by default a monotonic one.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }

signals:
    void deviceFound(const Onvif::DiscoveredDevice &device);
    void deviceChanged(const Onvif::DiscoveredDevice &device);
    // After a Bye, or silence beyond the limit: the device of that
    // endpoint reference and origin.
    void deviceLost(const QString &endpoint, const QString &origin);
    // The listening window of probe() is over.
    void probeFinished();
    // A directed probe under way: how many of its `total` addresses were
    // asked so far, and how many devices answered from one of them. Comes
    // after each paced burst and each new answer. Several probeAddresses()
    // calls before the end make one run.
    void directedProgress(int asked, int total, int answered);
    // The run is over: every address asked and the listening tail after
    // the last one passed (answers after it still join the table).
    void directedFinished(int asked, int answered);

private:
    void refreshInterfaces();
    void sendRound();
    void sendDirected();
    void drain(QUdpSocket *socket);
    // sourceText: the sender's address without zone, IPv4 as such.
    void handle(const QByteArray &data, const QString &sourceText, int interfaceIndex);
    void reportChanges();
    // A Probe's MessageID, kept so that its answers are recognised.
    QString newProbeId();
    qint64 now() const;

    const Options m_options;
    std::unique_ptr<QUdpSocket> m_listen4;
    std::unique_ptr<QUdpSocket> m_listen6;
    std::unique_ptr<QUdpSocket> m_probe4;
    std::unique_ptr<QUdpSocket> m_probe6;
    QList<int> m_indexes4;
    QList<int> m_indexes6;
    QStringList m_joined4;
    QStringList m_joined6;
    bool m_running = false;
    QTimer *m_roundTimer;
    QTimer *m_sweepTimer;
    QTimer *m_reprobeTimer;
    QTimer *m_directedTimer;
    int m_roundsLeft = 0;
    QList<QHostAddress> m_directedQueue;
    // The directed run under way (total 0: none): the IPv4 addresses asked
    // for, how many were sent, the endpoints that answered from them.
    QSet<quint32> m_directedTo;
    int m_directedTotal = 0;
    int m_directedSent = 0;
    QSet<QString> m_directedAnswered;
    QTimer *m_directedTail;
    DiscoveryTable m_table;
    int m_malformed = 0;
    int m_unmatched = 0;
    int m_shed = 0;
    QSet<QString> m_probeIds;
    QStringList m_probeIdOrder;  // oldest first, to forget the oldest
    QString m_directedIds[2];
    QSet<QString> m_changed;  // DiscoveryTable::keyOf()s, reported at the end of the batch
    Clock m_clock;
};

} // namespace Onvif
