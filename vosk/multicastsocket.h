#pragma once

// One UDP socket bound to the protocol's port that joins the group on each
// interface separately, sends to the group on a chosen interface and tells
// the arrival interface of what it receives. One socket per address family:
// IPv4 (the group on every usable interface, loopback included) and IPv6
// link-local (ff02::, interfaces with a link-local address). POSIX (Linux)
// sockets, so that it works without any Qt event loop and in every thread.

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <mutex>

namespace VoskNet {

enum class Family { V4, V6 };

struct NetInterface
{
    int index = 0;
    QByteArray name;
    quint32 address = 0;  // host order; IPv4 only
    quint32 netmask = 0;  // host order; IPv4 only
    bool operator==(const NetInterface &o) const
    {
        return index == o.index && name == o.name && address == o.address && netmask == o.netmask;
    }
};

// The groups, port and interface choice, from the environment (VOSK_GROUP,
// VOSK_GROUP6, VOSK_PORT, VOSK_INTERFACES) with the protocol's defaults.
struct NetConfig
{
    quint32 group = 0;  // host order
    QByteArray group6;  // 16 bytes, ff02::/16
    quint16 port = 0;
    QList<QByteArray> pinnedInterfaces;  // empty: every usable one

    static NetConfig fromEnvironment();
    // IPv4: every interface that is up, has an IPv4 address and is
    // multicast capable or loopback. IPv6: every multicast-capable
    // interface that is up and has a link-local address. Only the pinned
    // ones when some are named.
    QList<NetInterface> usableInterfaces(Family family = Family::V4) const;
};

class MulticastSocket final
{
public:
    struct Datagram
    {
        QByteArray data;
        int interfaceIndex = 0;
        bool toGroup = false;     // sent to the group, not by unicast
        bool onLinkSource = false; // IPv6 link-local source (IPv4: see source)
        quint32 source = 0;       // host order; IPv4 only
    };

    MulticastSocket() = default;
    ~MulticastSocket();
    MulticastSocket(const MulticastSocket &) = delete;
    MulticastSocket &operator=(const MulticastSocket &) = delete;

    // Binds the port on every address (shared with other processes),
    // non-blocking.
    bool open(const NetConfig &config, Family family = Family::V4);
    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    Family family() const { return m_family; }

    bool join(const NetInterface &iface);
    void leave(const NetInterface &iface);

    // Sends to the group out of that interface with TTL (hop limit) 1. Any
    // thread.
    bool send(int interfaceIndex, const QByteArray &datagram);
    // Non-blocking; false when nothing is waiting. Oversized datagrams are
    // read and dropped (returned with empty data).
    bool receive(Datagram &out);

private:
    int m_fd = -1;
    Family m_family = Family::V4;
    quint32 m_group = 0;
    QByteArray m_group6;
    quint16 m_port = 0;
    std::mutex m_sendMutex;
    int m_outgoingInterface = 0;  // under m_sendMutex; 0: not set yet
};

} // namespace VoskNet
