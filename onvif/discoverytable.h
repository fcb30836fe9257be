#pragma once

// The devices discovery has heard, keyed by endpoint reference, without
// any I/O: the client feeds it what arrives and asks it what went silent.
// A device stays from the first ProbeMatch or Hello until its Bye or until
// nothing was heard from it for the silence limit. The table holds at
// most maxDevices; beyond that new endpoints are refused and counted (a
// flood of forged endpoints cannot grow it without bound). One thread.

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
    // on the named interface, at nowMs.
    Change hear(const DiscoveryTarget &target, const QString &source, const QString &interfaceName, qint64 nowMs);
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
    QHash<QString, DiscoveredDevice> m_devices;
    int m_maxDevices;
    qint64 m_silenceLimitMs;
    int m_refused = 0;
};

} // namespace Onvif
