#pragma once

// The devices discovery has heard, keyed by endpoint reference, without
// any I/O: the client feeds it what arrives and asks it what went silent.
// A device stays from the first ProbeMatch or Hello until its Bye or until
// nothing was heard from it for the silence limit. The table holds at
// most maxDevices, shared fairly by the hosts they were first heard from:
// when it is full, a device from a host holding fewer rows pushes out the
// newest row of the host holding the most (at least two more), and any
// other new endpoint is refused and counted. So a flood of forged
// endpoints from one host cannot grow the table without bound, nor keep
// another host's devices out. What one device keeps is bounded too (its
// types, scopes and service addresses), so that repeated announcements
// with ever new scopes cost the same each time. One thread.

#include "onvif/discovereddevice.h"
#include "onvif/discoverymessage.h"

#include <QHash>

namespace Onvif {

class DiscoveryTable final
{
public:
    enum class Change { None, Added, Updated, Refused };

    DiscoveryTable(int maxDevices, qint64 silenceLimitMs);

    // What one device keeps at most.
    static constexpr int kMaxTypes = 16;
    static constexpr int kMaxScopes = 64;
    static constexpr int kMaxXAddrs = 8;
    static constexpr int kMaxSources = 8;

    // A ProbeMatch or Hello for target, from source (an IP address text)
    // on the named interface, at nowMs. An Added device may have pushed
    // out another host's newest one: its endpoint is then in pushedOut
    // (gone from the table, as after a Bye).
    Change hear(const DiscoveryTarget &target, const QString &source, const QString &interfaceName, qint64 nowMs,
                QString *pushedOut = nullptr);
    // Whether a new endpoint from source would be refused now (the table
    // full, source holding as many rows as any host, less one). The
    // client drops such a host's datagrams unread, so that a flood costs
    // little per datagram once it has its share.
    bool refusesNewFrom(const QString &source) const;
    // A Bye: true when the device was known (and is now gone).
    bool bye(const QString &endpoint);
    // Removes every device not heard since nowMs - silenceLimit; returns
    // their endpoints.
    QStringList expire(qint64 nowMs);

    const DiscoveredDevice *find(const QString &endpoint) const;
    QList<DiscoveredDevice> devices() const { return m_devices.values(); }
    int size() const { return int(m_devices.size()); }
    int refused() const { return m_refused; }
    qint64 silenceLimitMs() const { return m_silenceLimitMs; }

private:
    void forget(const QString &endpoint);

    QHash<QString, DiscoveredDevice> m_devices;
    // The host each device was first heard from, and each host's devices
    // in the order they came.
    QHash<QString, QString> m_admittedBy;
    QHash<QString, QStringList> m_byHost;
    // The most rows any host holds; recounted after a removal from it.
    mutable qsizetype m_largest = 0;
    mutable bool m_largestStale = false;
    qsizetype largest() const;
    int m_maxDevices;
    qint64 m_silenceLimitMs;
    int m_refused = 0;
};

} // namespace Onvif
