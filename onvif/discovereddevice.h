#pragma once

// One ONVIF device as discovery knows it: everything its ProbeMatches and
// Hellos said, merged over every interface and address it was heard on.

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace Onvif {

struct DiscoveredDevice
{
    QString endpoint;  // the key: WS-Discovery endpoint reference, stable by the standard
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
};

} // namespace Onvif

Q_DECLARE_METATYPE(Onvif::DiscoveredDevice)
