#pragma once

// WS-Discovery 2005/04 messages as ONVIF uses them (SOAP 1.2, WS-Addressing
// 2004/08): the Probe this client sends, and the ProbeMatches, Hello and
// Bye it hears. Read by namespace URI; Types are resolved against the
// namespaces in scope where they stand, so "dn:", "tdn:" or any prefix
// naming the same URI are the same type. Any thread; values only.

#include "onvif/xmltree.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Onvif {

// One target service as a ProbeMatch, Hello or Bye describes it.
struct DiscoveryTarget
{
    QString endpoint;     // the EndpointReference Address, an opaque key ("urn:uuid:...")
    QStringList types;    // resolved, in Clark notation: "{http://www.onvif.org/ver10/network/wsdl}NetworkVideoTransmitter"
    QStringList scopes;   // "onvif://www.onvif.org/name/..."
    QStringList xaddrs;   // service addresses, as given
    quint32 metadataVersion = 0;
};

struct DiscoveryMessage
{
    enum class Kind { Probe, ProbeMatches, Hello, Bye };
    Kind kind = Kind::Probe;
    QString messageId;
    QString relatesTo;  // ProbeMatches: the Probe's MessageID
    // ProbeMatches: each match; Hello and Bye: one; Probe: one without an
    // endpoint, holding the types and scopes asked for (none: any).
    QList<DiscoveryTarget> targets;
};

namespace DiscoveryMessages {

// The type of an ONVIF device, and of a network video transmitter.
QString deviceType();
QString networkVideoTransmitterType();

// A Probe for targets of every type given (Clark notation; none: any
// target), as one UTF-8 datagram.
QByteArray probe(const QString &messageId, const QStringList &types);

// A fresh "urn:uuid:..." message id.
QString makeMessageId();

// Reads a datagram. False for anything but a SOAP 1.2 envelope within the
// limits holding a Probe, ProbeMatches, Hello or Bye; ProbeMatches, Hello
// and Bye without an endpoint reference are refused too.
bool parse(const QByteArray &datagram, DiscoveryMessage *out, const XmlLimits &limits = XmlLimits());

} // namespace DiscoveryMessages

} // namespace Onvif
