#pragma once

#include "discovery/devicekey.h"
#include "vosk/vosk.h"

#include <QString>
#include <QVector>

#include <optional>

namespace VoskTool {

// One device's network parameters, whatever its kind: what a device
// reports and what an operation sends. Texts as the device holds them.
struct NetParams
{
    QString ipv4Address, ipv4Mask, ipv4Gateway;
    QString ipv6Address, ipv6Gateway;
    int ipv6PrefixLength = 0;
    int port = 0;
    int httpPort = 0; // 0: the device has no HTTP port
    bool dhcp = false;
    // Whether the device keeps a gateway and IPv6 information at all (a
    // record's addressInfoValid); one that does not ignores a gateway sent.
    bool addressInfo = true;

    friend bool operator==(const NetParams &a, const NetParams &b)
    {
        return a.ipv4Address == b.ipv4Address && a.ipv4Mask == b.ipv4Mask && a.ipv4Gateway == b.ipv4Gateway
            && a.ipv6Address == b.ipv6Address && a.ipv6Gateway == b.ipv6Gateway
            && a.ipv6PrefixLength == b.ipv6PrefixLength && a.port == b.port && a.httpPort == b.httpPort
            && a.dhcp == b.dhcp && a.addressInfo == b.addressInfo;
    }
    friend bool operator!=(const NetParams &a, const NetParams &b) { return !(a == b); }
};

// The parameters a record of the discovery library reports.
NetParams netParamsOf(const VOSK_DEVICE_INFO &record);

// Whether the device takes IPv6 parameters (the form offers them, the
// console accepts its IPv6 options): one of ours with address information
// that says so in VOSK_CAP_IPV6_MODIFIABLE; an ONVIF row that reported
// IPv6 settings at its sign-in (SetNetworkInterfaces takes them back).
bool ipv6Modifiable(const VOSK_DEVICE_INFO &record);

// Whether the device has IPv4 off and is reached over IPv6 alone: an ONVIF
// row, signed in, that reported IPv6 settings and no IPv4 address. No IPv4
// address, mask or gateway is asked of it; ours always have IPv4.
bool ipv4Off(const VOSK_DEVICE_INFO &record);

// The fields a user gave; a field not given keeps the device's value.
struct NetChange
{
    std::optional<QString> ipv4Address, ipv4Mask, ipv4Gateway, ipv6Address, ipv6Gateway;
    std::optional<int> ipv6PrefixLength, port, httpPort;
    std::optional<bool> dhcp;
};

// The device's current parameters with the given fields over them. An
// HTTP port given as 0 becomes 80 (a form's empty HTTP field), unless the
// device has none (then it keeps 0).
NetParams applyChange(const NetParams &current, const NetChange &change);

// Type codes of devices whose address a batch cannot set.
inline constexpr int kFixedAddressTypeFirst = 0x9D00;
inline constexpr int kFixedAddressTypeLast = 0x9FFF;

// Which shared fields a batch of devices may take, from their records:
// addresses (start, mask) while any device lies outside the fixed-address
// type range; the gateway besides only while any has address information;
// the port while all share one; the HTTP port while none lacks one.
struct BatchFieldRules
{
    bool addressEditable = false;
    bool gatewayEditable = false;
    bool portEditable = true;
    bool httpPortEditable = true;
};
BatchFieldRules batchFieldRules(const QVector<VOSK_DEVICE_INFO> &records);

// What a batch gives its devices. `start` numbers the addresses (nextAddress
// of netparamrules.h) in the order of the devices; an empty optional keeps
// each device's value. With `dhcp` every device keeps its addresses and
// turns DHCP on. A device without address information gets no gateway (it
// would ignore it, and the tool would then wait for a value never coming).
struct BatchSettings
{
    bool dhcp = false;
    std::optional<QString> start, mask, gateway;
    std::optional<int> port, httpPort;
};

// One parameter block per device, in the given order: each device's
// current parameters with the batch's values over them. A device without
// an HTTP port keeps 0. An address the start cannot give (past the room of
// batchAddressRoom) stays empty: check the room first.
QVector<NetParams> planBatch(const QVector<NetParams> &current, const BatchSettings &settings);

} // namespace VoskTool
