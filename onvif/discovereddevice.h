#pragma once

// One ONVIF device as discovery knows it: everything its ProbeMatches and
// Hellos said, merged over every interface and address it was heard on.
// Nothing proves who sends a datagram, so an endpoint reference alone does
// not make a device: what one host says under an endpoint reference is
// kept apart from what another host says under the same one (`origin`),
// unless each names the other as its own service address (one device
// heard over IPv4 and IPv6).

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace Onvif {

struct DiscoveredDevice
{
    QString endpoint;  // WS-Discovery endpoint reference, stable by the standard
    QString origin;    // the address its first datagram came from: with endpoint, the key
    QStringList types;
    QStringList scopes;
    QStringList xaddrs;           // every service address heard, first heard first
    QStringList sources;          // the IP addresses its datagrams came from
    QStringList interfaces;       // the local interfaces they came in on
    quint32 metadataVersion = 0;
    qint64 firstHeardMs = 0;      // on the discovery's clock
    qint64 lastHeardMs = 0;

    bool isNetworkVideoTransmitter() const;
    // The service address to call: an http one on an address the device
    // was heard from, else an http one on a routable IPv4 address, else
    // any http one, else the first. Invalid when there is none. A
    // link-local IPv6 host gets the interface it was heard on as its zone
    // (http://[fe80::1%25eth1]/...), without which it cannot be reached.
    QUrl serviceAddress() const;
    // Whether serviceAddress() names a host none of its datagrams came
    // from (another IP address, or a host name): who answered is then not
    // who would be called. Link-local IPv6 sources are taken for the
    // device's IPv6 service addresses, which they cannot be compared with.
    bool namesOtherHost() const;
    // Whether a datagram from `source` may come from the machine that
    // serves at `host`: the same address; a loopback source and an address
    // of this machine; a link-local IPv6 source and an IPv6 host (a device
    // answers IPv6 probes from its link-local address).
    static bool fromHost(const QString &source, const QString &host);
};

} // namespace Onvif

Q_DECLARE_METATYPE(Onvif::DiscoveredDevice)
