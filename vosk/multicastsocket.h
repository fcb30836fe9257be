#pragma once

// One UDP socket bound to the protocol's port that joins the group on each
// interface separately, sends to the group on a chosen interface and tells
// the arrival interface of what it receives. POSIX (Linux) sockets, so that
// it works without any Qt event loop and in every thread.

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <mutex>

namespace VoskNet {

struct NetInterface
{
    int index = 0;
    QByteArray name;
    quint32 address = 0;  // host order
    quint32 netmask = 0;  // host order
    bool operator==(const NetInterface &o) const
    {
        return index == o.index && name == o.name && address == o.address && netmask == o.netmask;
    }
};

// The group, port and interface choice, from the environment (VOSK_GROUP,
// VOSK_PORT, VOSK_INTERFACES) with the protocol's defaults.
struct NetConfig
{
    quint32 group = 0;  // host order
    quint16 port = 0;
    QList<QByteArray> pinnedInterfaces;  // empty: every usable one

    static NetConfig fromEnvironment();
    // Every interface that is up, has an IPv4 address and is multicast
    // capable or loopback; only the pinned ones when some are named.
    QList<NetInterface> usableInterfaces() const;
};

class MulticastSocket final
{
public:
    struct Datagram
    {
        QByteArray data;
        int interfaceIndex = 0;
        quint32 source = 0;       // host order
        quint32 destination = 0;  // host order: the group, or a unicast address
    };

    MulticastSocket() = default;
    ~MulticastSocket();
    MulticastSocket(const MulticastSocket &) = delete;
    MulticastSocket &operator=(const MulticastSocket &) = delete;

    // Binds 0.0.0.0:port (shared with other processes), non-blocking.
    bool open(const NetConfig &config);
    int fd() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }

    bool join(const NetInterface &iface);
    void leave(const NetInterface &iface);

    // Sends to the group out of that interface with TTL 1. Any thread.
    bool send(int interfaceIndex, const QByteArray &datagram);
    // Non-blocking; false when nothing is waiting. Oversized datagrams are
    // read and dropped (returned with empty data).
    bool receive(Datagram &out);

private:
    int m_fd = -1;
    quint32 m_group = 0;
    quint16 m_port = 0;
    std::mutex m_sendMutex;
};

} // namespace VoskNet
