#pragma once

// The client's links: the IPv4 socket and, where the host has link-local
// IPv6, the IPv6 one, with the interfaces each has joined the group on.
// The interface list is looked at again from time to time (rescan), so
// links that come and go are followed.

#include "vosk/multicastsocket.h"

namespace VoskNet {

class MulticastLinks final
{
public:
    explicit MulticastLinks(const NetConfig &config);

    // Opens the sockets and joins the group on every usable interface.
    // VOSK_OK, or VOSK_ERR_NETWORK when no interface could be joined.
    int open();
    // Library thread: joins the interfaces that appeared and leaves those
    // that are gone. True when one was joined (it deserves an inquiry).
    bool rescan();

    // Library thread: whether the datagram came in on a joined interface.
    bool uses(Family family, int interfaceIndex) const;
    // Library thread: out of every joined interface of both families.
    void sendEverywhere(const QByteArray &datagram);
    // Any thread: out of one interface.
    bool send(Family family, int interfaceIndex, const QByteArray &datagram)
    {
        return socket(family).send(interfaceIndex, datagram);
    }

    MulticastSocket &socket(Family family) { return family == Family::V6 ? m_socket6 : m_socket; }

private:
    QList<NetInterface> &interfaces(Family family) { return family == Family::V6 ? m_interfaces6 : m_interfaces; }
    const QList<NetInterface> &interfaces(Family family) const
    {
        return family == Family::V6 ? m_interfaces6 : m_interfaces;
    }

    const NetConfig m_config;
    MulticastSocket m_socket;
    MulticastSocket m_socket6;  // link-local IPv6; not open when the host has none
    // Library thread only (after open).
    QList<NetInterface> m_interfaces;
    QList<NetInterface> m_interfaces6;
};

} // namespace VoskNet
