#pragma once

// The request bodies of the device management service, each one element
// in the tds namespace, written in the order the schema gives. Functions
// that take addresses check them first: the schema's address types are
// plain tokens, so a device might take "192.0.2.300" as readily as a good
// one. Any thread.

#include "onvif/devicetypes.h"
#include "onvif/soapenvelope.h"

namespace Onvif {

struct DeviceRequest
{
    QString operation;  // "GetDeviceInformation"; also names the SOAP action
    ElementWriter body;
    // Set when the arguments were refused before anything was written:
    // the request must not be sent.
    QString invalidArgument;

    bool isValid() const { return invalidArgument.isEmpty(); }
    // "http://www.onvif.org/ver10/device/wsdl/<operation>"
    QString action() const;
};

namespace DeviceRequests {

// The operations that take no argument: GetSystemDateAndTime,
// GetDeviceInformation, GetNetworkInterfaces, GetNetworkDefaultGateway,
// GetDNS, GetNetworkProtocols, GetHostname, GetScopes, GetUsers,
// SystemReboot.
DeviceRequest plain(const QString &operation);

DeviceRequest setNetworkInterfaces(const QString &interfaceToken, const NetworkInterfaceSettings &settings);
DeviceRequest setNetworkDefaultGateway(const NetworkGateway &gateway);
DeviceRequest setDns(const DnsInformation &dns);
DeviceRequest setNetworkProtocols(const QList<NetworkProtocol> &protocols);
DeviceRequest createUsers(const QList<UserCredentials> &users);
// An empty password leaves the user's password as it is.
DeviceRequest setUser(const QList<UserCredentials> &users);

// Address checks used above: dotted-quad IPv4 / any IPv6 text form, with
// a prefix length in range.
bool isIPv4Address(const QString &text);
bool isIPv6Address(const QString &text);

} // namespace DeviceRequests

} // namespace Onvif
