#include "onvif/discoverytable.h"

#include "onvif/devicerequests.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>

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

// The hosts a list of service addresses names.
QStringList hostsOf(const QStringList &xaddrs)
{
    QStringList hosts;
    for (const QString &x : xaddrs) {
        QHostAddress address(QUrl(x, QUrl::StrictMode).host());
        if (address.isNull())
            continue;
        address.setScopeId(QString());
        hosts << address.toString();
    }
    return hosts;
}

bool sameHost(const QString &a, const QString &b)
{
    QHostAddress x(a), y(b);
    x.setScopeId(QString());
    y.setScopeId(QString());
    return x.isNull() ? a == b : x.isEqual(y, QHostAddress::TolerantConversion);
}

} // namespace

bool DiscoveredDevice::fromHost(const QString &source, const QString &host)
{
    if (sameHost(source, host))
        return true;
    QHostAddress from(source), to(host);
    from.setScopeId(QString());
    to.setScopeId(QString());
    if (from.isNull() || to.isNull())
        return false;
    if (from.protocol() == QAbstractSocket::IPv6Protocol && from.isLinkLocal()
        && to.protocol() == QAbstractSocket::IPv6Protocol)
        return true;
    if (from.isLoopback()) {
        const QList<QHostAddress> local = QNetworkInterface::allAddresses();
        return std::any_of(local.cbegin(), local.cend(), [&to](QHostAddress a) {
            a.setScopeId(QString());
            return a.isEqual(to, QHostAddress::TolerantConversion);
        });
    }
    return false;
}

bool DiscoveredDevice::namesOtherHost() const
{
    const QUrl service = serviceAddress();
    if (!service.isValid() || service.host().isEmpty())
        return false;
    QHostAddress host(service.host());
    if (host.isNull())
        return true; // a host name: whoever it resolves to did not answer
    host.setScopeId(QString());
    return std::none_of(sources.cbegin(), sources.cend(),
                        [&host](const QString &source) { return fromHost(source, host.toString()); });
}

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
        for (const QString &source : sources) {
            if (sameHost(source, url.host()))
                return zoned(url);
        }
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

QString DiscoveryTable::keyOf(const QString &endpoint, const QString &origin)
{
    return endpoint + QChar(0) + origin;
}

DiscoveryTable::Change DiscoveryTable::hear(const DiscoveryTarget &target, const QString &source,
                                            const QString &interfaceName, qint64 nowMs,
                                            const DiscoveredDevice **heard, PushedOut *pushedOut)
{
    if (heard)
        *heard = nullptr;
    if (pushedOut)
        *pushedOut = PushedOut();
    // The device this datagram belongs to: the one heard from its source,
    // else one that names the source as its service while the datagram
    // names that one's (a device heard over IPv4 and IPv6 names both),
    // else one whose service hosts include every one the datagram names.
    const QStringList origins = m_origins.value(target.endpoint);
    DiscoveredDevice *joined = nullptr;
    for (const QString &origin : origins) {
        DiscoveredDevice &d = m_devices[keyOf(target.endpoint, origin)];
        if (d.sources.contains(source)) {
            joined = &d;
            break;
        }
    }
    if (!joined) {
        const QStringList named = hostsOf(target.xaddrs);
        for (const QString &origin : origins) {
            DiscoveredDevice &d = m_devices[keyOf(target.endpoint, origin)];
            const QStringList its = hostsOf(d.xaddrs);
            auto known = [&](const QString &h) {
                return std::any_of(its.cbegin(), its.cend(), [&](const QString &x) { return sameHost(h, x); })
                    || std::any_of(d.sources.cbegin(), d.sources.cend(),
                                   [&](const QString &s) { return sameHost(h, s); });
            };
            const bool namesSource = std::any_of(its.cbegin(), its.cend(),
                                                 [&](const QString &h) { return DiscoveredDevice::fromHost(source, h); });
            const bool namesOrigin = std::any_of(named.cbegin(), named.cend(), [&](const QString &h) {
                return std::any_of(d.sources.cbegin(), d.sources.cend(),
                                   [&](const QString &s) { return sameHost(h, s); });
            });
            // Or it names no service host the device has not named: sent
            // through another interface of the host (a router's, a
            // simulator's), it can send nobody anywhere new.
            const bool addsNoHost = !named.isEmpty() && std::all_of(named.cbegin(), named.cend(), known);
            if ((namesSource && namesOrigin) || addsNoHost) {
                joined = &d;
                break;
            }
        }
    }
    if (!joined) {
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
            const DiscoveredDevice victim = m_devices.value(m_byHost.value(largestHost).constLast());
            remove(victim.endpoint, victim.origin);
            if (pushedOut)
                *pushedOut = {victim.endpoint, victim.origin};
        }
        DiscoveredDevice d;
        d.endpoint = target.endpoint;
        d.origin = source;
        merge(d.types, target.types, kMaxTypes);
        merge(d.scopes, target.scopes, kMaxScopes);
        merge(d.xaddrs, target.xaddrs, kMaxXAddrs);
        merge(d.sources, {source}, kMaxSources);
        merge(d.interfaces, {interfaceName}, kMaxSources);
        d.metadataVersion = target.metadataVersion;
        d.firstHeardMs = nowMs;
        d.lastHeardMs = nowMs;
        const QString key = keyOf(d.endpoint, d.origin);
        m_devices.insert(key, d);
        m_origins[target.endpoint].append(source);
        QStringList &mine = m_byHost[source];
        mine.append(key);
        m_largest = qMax(m_largest, mine.size());
        if (heard)
            *heard = &m_devices[key];
        return Change::Added;
    }
    DiscoveredDevice &d = *joined;
    if (heard)
        *heard = joined;
    d.lastHeardMs = nowMs;
    bool changed = false;
    if (target.metadataVersion > d.metadataVersion) {
        // New metadata replaces the old: a device that changed its scopes
        // or its port says so by a higher version.
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
        for (const QStringList &keys : m_byHost)
            m_largest = qMax(m_largest, keys.size());
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

void DiscoveryTable::remove(const QString &endpoint, const QString &origin)
{
    const QString key = keyOf(endpoint, origin);
    m_devices.remove(key);
    const auto h = m_byHost.find(origin);
    if (h != m_byHost.end()) {
        if (h->size() == m_largest)
            m_largestStale = true;
        h->removeOne(key);
        if (h->isEmpty())
            m_byHost.erase(h);
    }
    const auto it = m_origins.find(endpoint);
    if (it == m_origins.end())
        return;
    it->removeOne(origin);
    if (it->isEmpty())
        m_origins.erase(it);
}

QString DiscoveryTable::bye(const QString &endpoint, const QString &source)
{
    for (const QString &origin : m_origins.value(endpoint)) {
        if (m_devices.value(keyOf(endpoint, origin)).sources.contains(source)) {
            remove(endpoint, origin);
            return origin;
        }
    }
    return QString();
}

bool DiscoveryTable::bye(const QString &endpoint)
{
    const QStringList origins = m_origins.value(endpoint);
    for (const QString &origin : origins)
        remove(endpoint, origin);
    return !origins.isEmpty();
}

QStringList DiscoveryTable::expire(qint64 nowMs, QStringList *origins)
{
    QStringList gone;
    QStringList goneOrigins;
    for (auto it = m_devices.cbegin(); it != m_devices.cend(); ++it) {
        if (nowMs - it->lastHeardMs > m_silenceLimitMs) {
            gone.append(it->endpoint);
            goneOrigins.append(it->origin);
        }
    }
    for (int i = 0; i < gone.size(); ++i)
        remove(gone.at(i), goneOrigins.at(i));
    if (origins)
        *origins = goneOrigins;
    return gone;
}

const DiscoveredDevice *DiscoveryTable::find(const QString &endpoint) const
{
    const auto origins = m_origins.constFind(endpoint);
    return origins == m_origins.cend() ? nullptr : find(endpoint, origins->constFirst());
}

const DiscoveredDevice *DiscoveryTable::find(const QString &endpoint, const QString &origin) const
{
    const auto it = m_devices.constFind(keyOf(endpoint, origin));
    return it == m_devices.cend() ? nullptr : &*it;
}

} // namespace Onvif
