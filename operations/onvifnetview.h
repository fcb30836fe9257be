#pragma once

// How the ONVIF side reads a device's network settings the way a row shows
// them: which of its interfaces is the one it is reached on, which of an
// interface's addresses it holds now, masks as prefix lengths and back.
// Pure functions; any thread.

#include "onvif/devicetypes.h"

#include <QString>

namespace VoskTool {

// The interface holding `host` (the service address's host, IPv4 or IPv6,
// a zone ignored), else the first enabled one with IPv4, else the first;
// null for none.
const Onvif::NetworkInterface *onvifMainInterface(const QList<Onvif::NetworkInterface> &interfaces,
                                                  const QString &host);
// The IPv4 address the interface holds now: DHCP's while DHCP is on, else
// the manual one, a link-local one only when there is nothing else. Null
// when it reports none.
const Onvif::PrefixedAddress *onvifIpv4Address(const Onvif::NetworkInterface &nic);
// The same for IPv6: manual, DHCP, router advertisement, link-local.
const Onvif::PrefixedAddress *onvifIpv6Address(const Onvif::NetworkInterface &nic);

// "255.255.255.0" for 24; empty outside 1..32.
QString dottedMask(int prefixLength);
// 24 for "255.255.255.0"; -1 for a text that is no contiguous mask.
int maskPrefixLength(const QString &mask);

} // namespace VoskTool
