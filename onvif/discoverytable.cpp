#include "onvif/discoverytable.h"

#include "onvif/devicerequests.h"

#include <QHostAddress>

namespace Onvif {

namespace {

// Appends what is new; true when something was.
bool merge(QStringList &into, const QStringList &from)
{
    bool changed = false;
    for (const QString &item : from) {
        if (!item.isEmpty() && !into.contains(item)) {
            into.append(item);
            changed = true;
        }
    }
    return changed;
}

} // namespace

bool DiscoveredDevice::isNetworkVideoTransmitter() const
{
    return types.contains(DiscoveryMessages::networkVideoTransmitterType());
}

QUrl DiscoveredDevice::serviceAddress() const
{
    QList<QUrl> http;
    for (const QString &x : xaddrs) {
        const QUrl url(x, QUrl::StrictMode);
        if (url.isValid() && url.scheme() == QLatin1String("http") && !url.host().isEmpty())
            http.append(url);
    }
    // A link-local host is reachable only through a named interface, which
    // the device cannot know: the one it was heard on (not loopback, which
    // has no link-local addresses).
    auto zoned = [this](QUrl url) {
        QHostAddress host(url.host());
        if (host.protocol() != QAbstractSocket::IPv6Protocol || !host.isLinkLocal() || !host.scopeId().isEmpty())
            return url;
        for (const QString &name : interfaces) {
            if (name != QLatin1String("lo")) {
                url.setHost(host.toString() + QLatin1Char('%') + name);
                break;
            }
        }
        return url;
    };
    for (const QUrl &url : http) {
        if (sources.contains(url.host()))
            return zoned(url);
    }
    for (const QUrl &url : http) {
        if (DeviceRequests::isIPv4Address(url.host()) && !url.host().startsWith(QLatin1String("169.254.")))
            return url;
    }
    if (!http.isEmpty())
        return zoned(http.constFirst());
    return xaddrs.isEmpty() ? QUrl() : QUrl(xaddrs.constFirst(), QUrl::StrictMode);
}

DiscoveryTable::DiscoveryTable(int maxDevices, qint64 silenceLimitMs)
    : m_maxDevices(maxDevices)
    , m_silenceLimitMs(silenceLimitMs)
{
}

DiscoveryTable::Change DiscoveryTable::hear(const DiscoveryTarget &target, const QString &source,
                                            const QString &interfaceName, qint64 nowMs)
{
    auto it = m_devices.find(target.endpoint);
    if (it == m_devices.end()) {
        if (m_devices.size() >= m_maxDevices) {
            ++m_refused;
            return Change::Refused;
        }
        DiscoveredDevice d;
        d.endpoint = target.endpoint;
        d.types = target.types;
        d.scopes = target.scopes;
        merge(d.xaddrs, target.xaddrs);
        merge(d.sources, {source});
        merge(d.interfaces, {interfaceName});
        d.metadataVersion = target.metadataVersion;
        d.firstHeardMs = nowMs;
        d.lastHeardMs = nowMs;
        m_devices.insert(d.endpoint, d);
        return Change::Added;
    }
    DiscoveredDevice &d = *it;
    d.lastHeardMs = nowMs;
    bool changed = false;
    if (target.metadataVersion > d.metadataVersion) {
        // New metadata replaces the old: a device that changed its scopes
        // or moved says so by a higher version.
        changed = d.types != target.types || d.scopes != target.scopes || d.xaddrs != target.xaddrs;
        d.types = target.types;
        d.scopes = target.scopes;
        d.xaddrs = target.xaddrs;
        d.metadataVersion = target.metadataVersion;
    } else if (target.metadataVersion == d.metadataVersion) {
        // The same metadata seen through another interface or address.
        changed = merge(d.types, target.types);
        changed = merge(d.scopes, target.scopes) || changed;
        changed = merge(d.xaddrs, target.xaddrs) || changed;
    }
    // An older version (a late duplicate) changes nothing but the time.
    changed = merge(d.sources, {source}) || changed;
    changed = merge(d.interfaces, {interfaceName}) || changed;
    return changed ? Change::Updated : Change::None;
}

bool DiscoveryTable::bye(const QString &endpoint)
{
    return m_devices.remove(endpoint) > 0;
}

QStringList DiscoveryTable::expire(qint64 nowMs)
{
    QStringList gone;
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        if (nowMs - it->lastHeardMs > m_silenceLimitMs) {
            gone.append(it.key());
            it = m_devices.erase(it);
        } else {
            ++it;
        }
    }
    return gone;
}

const DiscoveredDevice *DiscoveryTable::find(const QString &endpoint) const
{
    const auto it = m_devices.constFind(endpoint);
    return it == m_devices.cend() ? nullptr : &*it;
}

} // namespace Onvif
