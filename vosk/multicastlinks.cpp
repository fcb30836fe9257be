#include "vosk/multicastlinks.h"

#include "vosk/vosk.h"
#include "vosk/vosklog.h"

#include <algorithm>

namespace VoskNet {

namespace {

QString familyName(Family family)
{
    return family == Family::V6 ? QStringLiteral("IPv6") : QStringLiteral("IPv4");
}

} // namespace

MulticastLinks::MulticastLinks(const NetConfig &config)
    : m_config(config)
{
}

int MulticastLinks::open()
{
    const QList<NetInterface> usable4 = m_config.usableInterfaces(Family::V4);
    const QList<NetInterface> usable6 = m_config.usableInterfaces(Family::V6);
    if (usable4.isEmpty() && usable6.isEmpty()) {
        logLine(LogLevel::Error, QStringLiteral("no usable network interface"));
        return VOSK_ERR_NETWORK;
    }
    if (!m_socket.open(m_config, Family::V4)) {
        logLine(LogLevel::Error, QStringLiteral("cannot open the discovery socket on port %1").arg(m_config.port));
        return VOSK_ERR_NETWORK;
    }
    // IPv6 is a bonus: a host without it still discovers over IPv4.
    if (!m_socket6.open(m_config, Family::V6))
        logLine(LogLevel::Info, QStringLiteral("no IPv6 discovery socket"));
    // Only the interfaces joined count as used; the others are tried again
    // at the next rescan.
    for (const NetInterface &iface : usable4) {
        if (m_socket.join(iface))
            m_interfaces.append(iface);
    }
    for (const NetInterface &iface : usable6) {
        if (m_socket6.isOpen() && m_socket6.join(iface))
            m_interfaces6.append(iface);
    }
    const qsizetype joined = m_interfaces.size() + m_interfaces6.size();
    if (joined == 0) {
        logLine(LogLevel::Error, QStringLiteral("cannot join the discovery group on any interface"));
        return VOSK_ERR_NETWORK;
    }
    logLine(LogLevel::Info, QStringLiteral("discovery started on %1 interface(s), port %2")
                                .arg(joined)
                                .arg(m_config.port));
    return VOSK_OK;
}

bool MulticastLinks::rescan()
{
    bool added = false;
    for (const Family family : {Family::V4, Family::V6}) {
        MulticastSocket &sock = socket(family);
        if (!sock.isOpen())
            continue;
        QList<NetInterface> &known = interfaces(family);
        const QList<NetInterface> current = m_config.usableInterfaces(family);
        for (const NetInterface &iface : std::as_const(known)) {
            if (!current.contains(iface)) {
                sock.leave(iface);
                logLine(LogLevel::Info,
                        QStringLiteral("%1 interface %2 gone").arg(familyName(family), QString::fromLatin1(iface.name)));
            }
        }
        QList<NetInterface> used;
        for (const NetInterface &iface : current) {
            if (known.contains(iface)) {
                used.append(iface);
            } else if (sock.join(iface)) {
                // One whose join failed is tried again next time.
                used.append(iface);
                added = true;
                logLine(LogLevel::Info, QStringLiteral("%1 interface %2 joined")
                                            .arg(familyName(family), QString::fromLatin1(iface.name)));
            }
        }
        known = used;
    }
    return added;
}

bool MulticastLinks::uses(Family family, int interfaceIndex) const
{
    const QList<NetInterface> &list = interfaces(family);
    return std::any_of(list.cbegin(), list.cend(), [&](const NetInterface &i) { return i.index == interfaceIndex; });
}

void MulticastLinks::sendEverywhere(const QByteArray &datagram)
{
    for (const NetInterface &iface : std::as_const(m_interfaces))
        m_socket.send(iface.index, datagram);
    for (const NetInterface &iface : std::as_const(m_interfaces6))
        m_socket6.send(iface.index, datagram);
}

} // namespace VoskNet
