#include "onvif/discoverytable.h"

#include "onvif/devicerequests.h"

#include <QHostAddress>

namespace Onvif {

namespace {

// Appends what is new, up to max items; true when something was.
bool merge(QStringList &into, const QStringList &from, int max)
{
    bool changed = false;
    for (const QString &item : from) {
        if (into.size() >= max)
            break;
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
                                            const QString &interfaceName, qint64 nowMs, QString *pushedOut)
{
    auto it = m_devices.find(target.endpoint);
    if (it == m_devices.end()) {
        if (m_devices.size() >= m_maxDevices) {
            // Full: room only at the expense of a host with at least two
            // rows more than this one (else two hosts would take turns).
            if (refusesNewFrom(source)) {
                ++m_refused;
                return Change::Refused;
            }
            QString largestHost;
            for (auto h = m_byHost.cbegin(); h != m_byHost.cend(); ++h) {
                if (h->size() == largest()) {
                    largestHost = h.key();
                    break;
                }
            }
            const QString victim = m_byHost.value(largestHost).constLast();
            forget(victim);
            if (pushedOut)
                *pushedOut = victim;
        }
        DiscoveredDevice d;
        d.endpoint = target.endpoint;
        merge(d.types, target.types, kMaxTypes);
        merge(d.scopes, target.scopes, kMaxScopes);
        merge(d.xaddrs, target.xaddrs, kMaxXAddrs);
        merge(d.sources, {source}, kMaxSources);
        merge(d.interfaces, {interfaceName}, kMaxSources);
        d.metadataVersion = target.metadataVersion;
        d.firstHeardMs = nowMs;
        d.lastHeardMs = nowMs;
        m_devices.insert(d.endpoint, d);
        m_admittedBy.insert(d.endpoint, source);
        QStringList &mine = m_byHost[source];
        mine.append(d.endpoint);
        m_largest = qMax(m_largest, mine.size());
        return Change::Added;
    }
    DiscoveredDevice &d = *it;
    d.lastHeardMs = nowMs;
    bool changed = false;
    if (target.metadataVersion > d.metadataVersion) {
        // New metadata replaces the old: a device that changed its scopes
        // or moved says so by a higher version.
        QStringList types;
        QStringList scopes;
        QStringList xaddrs;
        merge(types, target.types, kMaxTypes);
        merge(scopes, target.scopes, kMaxScopes);
        merge(xaddrs, target.xaddrs, kMaxXAddrs);
        changed = d.types != types || d.scopes != scopes || d.xaddrs != xaddrs;
        d.types = types;
        d.scopes = scopes;
        d.xaddrs = xaddrs;
        d.metadataVersion = target.metadataVersion;
    } else if (target.metadataVersion == d.metadataVersion) {
        // The same metadata seen through another interface or address.
        changed = merge(d.types, target.types, kMaxTypes);
        changed = merge(d.scopes, target.scopes, kMaxScopes) || changed;
        changed = merge(d.xaddrs, target.xaddrs, kMaxXAddrs) || changed;
    }
    // An older version (a late duplicate) changes nothing but the time.
    changed = merge(d.sources, {source}, kMaxSources) || changed;
    changed = merge(d.interfaces, {interfaceName}, kMaxSources) || changed;
    return changed ? Change::Updated : Change::None;
}

qsizetype DiscoveryTable::largest() const
{
    if (m_largestStale) {
        m_largest = 0;
        for (const QStringList &endpoints : m_byHost)
            m_largest = qMax(m_largest, endpoints.size());
        m_largestStale = false;
    }
    return m_largest;
}

bool DiscoveryTable::refusesNewFrom(const QString &source) const
{
    // Room only at the expense of a host with at least two rows more than
    // this one (else two hosts would take turns).
    return m_devices.size() >= m_maxDevices && m_byHost.value(source).size() + 2 > largest();
}

void DiscoveryTable::forget(const QString &endpoint)
{
    m_devices.remove(endpoint);
    const QString host = m_admittedBy.take(endpoint);
    auto h = m_byHost.find(host);
    if (h != m_byHost.end()) {
        if (h->size() == m_largest)
            m_largestStale = true;
        h->removeOne(endpoint);
        if (h->isEmpty())
            m_byHost.erase(h);
    }
}

bool DiscoveryTable::bye(const QString &endpoint)
{
    if (!m_devices.contains(endpoint))
        return false;
    forget(endpoint);
    return true;
}

QStringList DiscoveryTable::expire(qint64 nowMs)
{
    QStringList gone;
    for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it) {
        if (nowMs - it->lastHeardMs > m_silenceLimitMs)
            gone.append(it.key());
    }
    for (const QString &endpoint : std::as_const(gone))
        forget(endpoint);
    return gone;
}

const DiscoveredDevice *DiscoveryTable::find(const QString &endpoint) const
{
    const auto it = m_devices.constFind(endpoint);
    return it == m_devices.cend() ? nullptr : &*it;
}

} // namespace Onvif
