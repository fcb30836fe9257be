#pragma once

// The devices discovery has heard, keyed by endpoint reference and origin
// (see DiscoveredDevice), without any I/O: the client feeds it what
// arrives and asks it what went silent. A device stays from the first
// ProbeMatch or Hello until its Bye (from an address it was heard from)
// or until nothing was heard from it for the silence limit. Another host
// that announces a known endpoint reference makes a device of its own: it
// neither moves nor removes the first one.
//
// The table holds at most maxDevices, shared fairly by the hosts they
// were first heard from (their origins): when it is full, a device from a
// host holding fewer rows pushes out the newest row of the host holding
// the most (at least two more), and any other new device is refused and
// counted. So a flood of forged endpoints from one host cannot grow the
// table without bound, nor keep another host's devices out. What one
// device keeps is bounded too (its types, scopes and service addresses),
// so that repeated announcements with ever new scopes cost the same each
// time. One thread.

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

    // A device's key: its endpoint reference and origin.
    static QString keyOf(const QString &endpoint, const QString &origin);

    // A device taken off the table to make room for another host's.
    struct PushedOut
    {
        QString endpoint;
        QString origin;
    };

    // A ProbeMatch or Hello for target, from source (an IP address text)
    // on the named interface, at nowMs. It joins the device of that
    // endpoint reference that was heard from source, or one whose service
    // addresses and the target's each name the other's source, or one
    // that names every service host the target names; else it is a new
    // device whose origin is source. `heard` (when given) points to the
    // device it joined, or is null when refused; valid until the next
    // change of the table. An Added device may have pushed out another
    // host's newest one: it is then in `pushedOut` (gone from the table,
    // as after a Bye), else that is left empty.
    Change hear(const DiscoveryTarget &target, const QString &source, const QString &interfaceName, qint64 nowMs,
                const DiscoveredDevice **heard = nullptr, PushedOut *pushedOut = nullptr);
    // Whether a new device from source would be refused now (the table
    // full, source holding as many rows as any host, less one). The
    // client drops such a host's datagrams unread, so that a flood costs
    // little per datagram once it has its share.
    bool refusesNewFrom(const QString &source) const;
    // A Bye from source: removes the device of that endpoint reference
    // heard from source and returns its origin; empty when there is none
    // (a Bye from another host removes nothing).
    QString bye(const QString &endpoint, const QString &source);
    // Every device of that endpoint reference: true when one was known.
    bool bye(const QString &endpoint);
    // Removes every device not heard since nowMs - silenceLimit; returns
    // their endpoints, and their origins in `origins` (same order).
    QStringList expire(qint64 nowMs, QStringList *origins = nullptr);

    // The first device heard of that endpoint reference, or the one of
    // that origin.
    const DiscoveredDevice *find(const QString &endpoint) const;
    const DiscoveredDevice *find(const QString &endpoint, const QString &origin) const;
    QList<DiscoveredDevice> devices() const { return m_devices.values(); }
    int size() const { return int(m_devices.size()); }
    int refused() const { return m_refused; }
    qint64 silenceLimitMs() const { return m_silenceLimitMs; }

private:
    void remove(const QString &endpoint, const QString &origin);
    qsizetype largest() const;

    QHash<QString, DiscoveredDevice> m_devices;      // by keyOf(endpoint, origin)
    QHash<QString, QStringList> m_origins;           // by endpoint, first heard first
    // Each origin host's devices (their keys) in the order they came.
    QHash<QString, QStringList> m_byHost;
    // The most rows any host holds; recounted after a removal from it.
    mutable qsizetype m_largest = 0;
    mutable bool m_largestStale = false;
    int m_maxDevices;
    qint64 m_silenceLimitMs;
    int m_refused = 0;
};

} // namespace Onvif
