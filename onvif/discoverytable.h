#pragma once

// The devices discovery has heard, keyed by endpoint reference and origin
// (see DiscoveredDevice), without any I/O: the client feeds it what
// arrives and asks it what went silent. A device stays from the first
// ProbeMatch or Hello until its Bye (from an address it was heard from)
// or until nothing was heard from it for the silence limit. Another host
// that announces a known endpoint reference makes a device of its own: it
// neither moves nor removes the first one. The table holds at most
// maxDevices; beyond that new devices are refused and counted (a flood of
// forged endpoints cannot grow it without bound). One thread.

#include "onvif/discovereddevice.h"
#include "onvif/discoverymessage.h"

#include <QHash>

namespace Onvif {

class DiscoveryTable final
{
public:
    enum class Change { None, Added, Updated, Refused };

    DiscoveryTable(int maxDevices, qint64 silenceLimitMs);

    // A ProbeMatch or Hello for target, from source (an IP address text)
    // on the named interface, at nowMs. It joins the device of that
    // endpoint reference that was heard from source, or one whose service
    // addresses and the target's each name the other's source, or one
    // that names every service host the target names; else it is a new
    // device whose origin is source. `heard` (when given) points to
    // the device it joined, or is null when refused.
    Change hear(const DiscoveryTarget &target, const QString &source, const QString &interfaceName, qint64 nowMs,
                const DiscoveredDevice **heard = nullptr);
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
    static QString keyOf(const QString &endpoint, const QString &origin);
    void remove(const QString &endpoint, const QString &origin);

    QHash<QString, DiscoveredDevice> m_devices;      // by keyOf(endpoint, origin)
    QHash<QString, QStringList> m_origins;           // by endpoint, first heard first
    int m_maxDevices;
    qint64 m_silenceLimitMs;
    int m_refused = 0;
};

} // namespace Onvif
