#include "vosk/multicastsocket.h"

#include <QtGlobal>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace VoskNet {

namespace {

// An administratively scoped group and a port no standard we know of uses.
constexpr const char *kDefaultGroup = "239.255.86.75";
constexpr const char *kDefaultGroup6 = "ff02::5686:75";
constexpr quint16 kDefaultPort = 46713;
// Room for the answers of a full device table (16,384 reports of about
// 600 bytes, each costing about 2.3 KB of buffer on Linux) should the
// client fall behind; the kernel doubles the figure for its bookkeeping.
constexpr int kReceiveBuffer = 20 * 1024 * 1024;

} // namespace

NetConfig NetConfig::fromEnvironment()
{
    NetConfig config;
    in_addr addr{};
    const QByteArray group = qgetenv("VOSK_GROUP");
    if (group.isEmpty() || inet_pton(AF_INET, group.constData(), &addr) != 1
        || (ntohl(addr.s_addr) >> 28) != 0xe)
        inet_pton(AF_INET, kDefaultGroup, &addr);
    config.group = ntohl(addr.s_addr);
    in6_addr addr6{};
    const QByteArray group6 = qgetenv("VOSK_GROUP6");
    if (group6.isEmpty() || inet_pton(AF_INET6, group6.constData(), &addr6) != 1 || addr6.s6_addr[0] != 0xff
        || (addr6.s6_addr[1] & 0x0f) != 0x02)
        inet_pton(AF_INET6, kDefaultGroup6, &addr6);
    config.group6 = QByteArray(reinterpret_cast<const char *>(addr6.s6_addr), 16);
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("VOSK_PORT", &ok);
    config.port = (ok && port > 0 && port < 65536) ? quint16(port) : kDefaultPort;
    for (const QByteArray &name : qgetenv("VOSK_INTERFACES").split(',')) {
        const QByteArray trimmed = name.trimmed();
        if (!trimmed.isEmpty())
            config.pinnedInterfaces.append(trimmed);
    }
    return config;
}

QList<NetInterface> NetConfig::usableInterfaces(Family family) const
{
    QList<NetInterface> result;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (ifaddrs *it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || !it->ifa_name)
            continue;
        const unsigned flags = it->ifa_flags;
        if (family == Family::V6) {
            // Loopback carries no link-local scope: IPv6 goes over real links.
            if (it->ifa_addr->sa_family != AF_INET6 || !(flags & IFF_UP) || !(flags & IFF_MULTICAST)
                || !IN6_IS_ADDR_LINKLOCAL(&reinterpret_cast<sockaddr_in6 *>(it->ifa_addr)->sin6_addr))
                continue;
        } else if (it->ifa_addr->sa_family != AF_INET || !(flags & IFF_UP)
                   || !(flags & (IFF_MULTICAST | IFF_LOOPBACK))) {
            continue;
        }
        const QByteArray name(it->ifa_name);
        if (!pinnedInterfaces.isEmpty() && !pinnedInterfaces.contains(name))
            continue;
        // One address per interface is enough to send and to judge on-link
        // sources; the first one wins.
        bool known = false;
        for (const NetInterface &iface : result)
            known = known || iface.name == name;
        if (known)
            continue;
        NetInterface iface;
        iface.name = name;
        iface.index = int(if_nametoindex(it->ifa_name));
        if (family == Family::V4) {
            iface.address = ntohl(reinterpret_cast<sockaddr_in *>(it->ifa_addr)->sin_addr.s_addr);
            iface.netmask = it->ifa_netmask
                ? ntohl(reinterpret_cast<sockaddr_in *>(it->ifa_netmask)->sin_addr.s_addr)
                : 0xffffffffu;
        }
        if (iface.index > 0)
            result.append(iface);
    }
    freeifaddrs(list);
    return result;
}

MulticastSocket::~MulticastSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool MulticastSocket::open(const NetConfig &config, Family family)
{
    m_family = family;
    m_group = config.group;
    m_group6 = config.group6;
    m_port = config.port;
    const bool v6 = family == Family::V6;
    m_fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    const int one = 1;
    const int zero = 0;
    const int ttl = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // A fleet answering one inquiry arrives within a second; FORCE works
    // as root (tests, namespaces), the plain one (up to rmem_max) elsewhere.
    if (setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0)
        setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
    int bound = -1;
    if (v6) {
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_RECVPKTINFO, &one, sizeof one);
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_MULTICAST_ALL, &zero, sizeof zero);
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &ttl, sizeof ttl);
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, &one, sizeof one);
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl);
        sockaddr_in6 bindAddr{};
        bindAddr.sin6_family = AF_INET6;
        bindAddr.sin6_port = htons(m_port);
        bindAddr.sin6_addr = in6addr_any;
        bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&bindAddr), sizeof bindAddr);
    } else {
        setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
        // Without this Linux delivers every group joined by anyone on the host.
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_ALL, &zero, sizeof zero);
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_LOOP, &one, sizeof one);
        setsockopt(m_fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
        sockaddr_in bindAddr{};
        bindAddr.sin_family = AF_INET;
        bindAddr.sin_port = htons(m_port);
        bindAddr.sin_addr.s_addr = htonl(INADDR_ANY);
        bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&bindAddr), sizeof bindAddr);
    }
    if (bound != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool MulticastSocket::join(const NetInterface &iface)
{
    if (m_family == Family::V6) {
        ipv6_mreq req{};
        std::memcpy(req.ipv6mr_multiaddr.s6_addr, m_group6.constData(), 16);
        req.ipv6mr_interface = unsigned(iface.index);
        return setsockopt(m_fd, IPPROTO_IPV6, IPV6_ADD_MEMBERSHIP, &req, sizeof req) == 0 || errno == EADDRINUSE;
    }
    ip_mreqn req{};
    req.imr_multiaddr.s_addr = htonl(m_group);
    req.imr_ifindex = iface.index;
    return setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &req, sizeof req) == 0 || errno == EADDRINUSE;
}

void MulticastSocket::leave(const NetInterface &iface)
{
    if (m_family == Family::V6) {
        ipv6_mreq req{};
        std::memcpy(req.ipv6mr_multiaddr.s6_addr, m_group6.constData(), 16);
        req.ipv6mr_interface = unsigned(iface.index);
        setsockopt(m_fd, IPPROTO_IPV6, IPV6_DROP_MEMBERSHIP, &req, sizeof req);
        return;
    }
    ip_mreqn req{};
    req.imr_multiaddr.s_addr = htonl(m_group);
    req.imr_ifindex = iface.index;
    setsockopt(m_fd, IPPROTO_IP, IP_DROP_MEMBERSHIP, &req, sizeof req);
}

bool MulticastSocket::send(int interfaceIndex, const QByteArray &datagram)
{
    if (m_fd < 0 || datagram.isEmpty())
        return false;
    sockaddr_storage to{};
    socklen_t toLength = 0;
    // The outgoing interface is a socket option; the lock keeps another
    // thread from switching it between the option and the send.
    const std::lock_guard<std::mutex> lock(m_sendMutex);
    if (m_family == Family::V6) {
        auto *to6 = reinterpret_cast<sockaddr_in6 *>(&to);
        to6->sin6_family = AF_INET6;
        to6->sin6_port = htons(m_port);
        std::memcpy(to6->sin6_addr.s6_addr, m_group6.constData(), 16);
        to6->sin6_scope_id = uint32_t(interfaceIndex);
        toLength = sizeof *to6;
        const unsigned index = unsigned(interfaceIndex);
        if (m_outgoingInterface != interfaceIndex
            && setsockopt(m_fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) != 0)
            return false;
    } else {
        auto *to4 = reinterpret_cast<sockaddr_in *>(&to);
        to4->sin_family = AF_INET;
        to4->sin_port = htons(m_port);
        to4->sin_addr.s_addr = htonl(m_group);
        toLength = sizeof *to4;
        ip_mreqn out{};
        out.imr_ifindex = interfaceIndex;
        if (m_outgoingInterface != interfaceIndex
            && setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) != 0)
            return false;
    }
    // Set once for a run of sends out of the same interface (a burst).
    m_outgoingInterface = interfaceIndex;
    for (int attempt = 0; attempt < 50; ++attempt) {
        const ssize_t sent = ::sendto(m_fd, datagram.constData(), size_t(datagram.size()), 0,
                                      reinterpret_cast<sockaddr *>(&to), toLength);
        if (sent == datagram.size())
            return true;
        // A full send queue on a burst: give it a moment instead of losing it.
        if (sent < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
            ::usleep(200);
            continue;
        }
        return false;
    }
    return false;
}

bool MulticastSocket::receive(Datagram &out)
{
    if (m_fd < 0)
        return false;
    char buffer[2048];
    char control[CMSG_SPACE(sizeof(in6_pktinfo)) + CMSG_SPACE(sizeof(in_pktinfo))];
    sockaddr_storage from{};
    iovec iov{buffer, sizeof buffer};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(m_fd, &msg, 0);
    if (n < 0)
        return false;
    out = Datagram();
    if (from.ss_family == AF_INET6) {
        const auto *from6 = reinterpret_cast<const sockaddr_in6 *>(&from);
        out.onLinkSource = IN6_IS_ADDR_LINKLOCAL(&from6->sin6_addr);
    } else if (from.ss_family == AF_INET) {
        out.source = ntohl(reinterpret_cast<const sockaddr_in *>(&from)->sin_addr.s_addr);
    }
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            out.interfaceIndex = info.ipi_ifindex;
            out.toGroup = ntohl(info.ipi_addr.s_addr) == m_group;
        } else if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
            in6_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            out.interfaceIndex = int(info.ipi6_ifindex);
            out.toGroup = std::memcmp(info.ipi6_addr.s6_addr, m_group6.constData(), 16) == 0;
        }
    }
    if ((msg.msg_flags & MSG_TRUNC) || n > 1400)
        return true;  // oversized: dropped unread
    out.data = QByteArray(buffer, int(n));
    return true;
}

} // namespace VoskNet
