#pragma once

#include <QString>

namespace VoskTool {

// The checks on network parameters before anything is sent to a device, and
// the rule that numbers the addresses of a batch. Pure functions, any thread;
// the pane and the console program word the results in their own texts.

// A host address in dotted form: exactly four parts of ASCII digits (leading
// zeros accepted, "010" is 10), each at most 255, the fourth not 0. No blank
// or sign inside a part: the text goes to the device as typed.
bool isValidIpv4Address(const QString &text);

// One of the 32 contiguous masks 0.0.0.0 .. 255.255.255.254, written without
// leading zeros. 255.255.255.255 fails.
bool isValidSubnetMask(const QString &text);

// "0.0.0.0" (no gateway), or four parts at most 255 whose fourth is neither
// 0 nor 255.
bool isValidGateway(const QString &text);

// The longest IPv6 text the form's fields take (an address with a zone).
inline constexpr int kMaxIpv6TextLength = 64;

// An IPv6 address of 3 to 8 colon-separated parts with at most one "::" and
// an optional IPv4 tail (worth two groups), a zone suffix after "%" ignored;
// "::" alone passes. At most 128 bits, and at most kMaxIpv6TextLength
// characters: a longer text would be cut short on its way to a device.
bool isValidIpv6Address(const QString &text);

// A port text as the forms convert it: signed decimal, blanks around it
// ignored; a text that does not convert is 0.
int portValue(const QString &text);

// The device port takes 2000..65535, the HTTP port 1..65535; the IPv6 prefix
// length 0..127 and its raw (untrimmed) text must not be empty.
bool isValidDevicePort(const QString &text);
bool isValidHttpPort(const QString &text);
bool isValidPrefixLength(const QString &rawText);

// The fields of the network-parameter form, in the order of the table.
enum class NetField {
    None,
    StartIp,
    IpAddress,
    SubnetMask,
    Gateway,
    Port,
    HttpPort,
    Ipv6Address,
    Ipv6Gateway,
    PrefixLength,
};

enum class FieldError {
    None,
    Empty,   // the trimmed text is empty (the raw text for the prefix length);
             // the port, HTTP port and IPv6 fields word it as Invalid
    Invalid, // the rule fails
};

// The first failing field of a form, or {None, None} when all pass.
struct FieldFailure
{
    NetField field = NetField::None;
    FieldError error = FieldError::None;
    bool ok() const { return field == NetField::None; }
};

// The texts of the form and which fields are enabled. Texts are raw; the
// checks trim them as the rules say.
struct NetParamTexts
{
    QString startIp, ipAddress, subnetMask, gateway, port, httpPort;
    QString ipv6Address, ipv6Gateway, prefixLength;
    bool startIpEnabled = true, subnetMaskEnabled = true, gatewayEnabled = true;
    bool portEnabled = true, httpPortEnabled = true, ipv6Enabled = true;
    // False for a device with IPv4 off (reached over IPv6 alone): its IPv4
    // address, mask and gateway are neither asked for nor checked.
    bool ipv4Required = true;
    // A device that keeps no gateway of a family, and may (ONVIF): its
    // empty gateway passes, and none is sent. Ours must be given one.
    bool gatewayOptional = false, ipv6GatewayOptional = false;
};

// One field on its own; `field` is any NetField but None.
FieldError checkField(NetField field, const NetParamTexts &texts);

// One device: IP address, port, mask, gateway (even while disabled, when they
// hold the device's current values; none of the three without
// `ipv4Required`), then the IPv6 address, gateway and prefix length only
// while IPv6 is enabled, last the HTTP port while enabled. An empty gateway
// is not checked where `gatewayOptional` or `ipv6GatewayOptional` says so.
FieldFailure checkSingleFields(const NetParamTexts &texts);

// A batch, each check only while its field is enabled: start address, port,
// mask, gateway, HTTP port. An empty port or HTTP port passes (each device
// keeps its own). IPv6 is never checked in a batch.
FieldFailure checkBatchFields(const NetParamTexts &texts);

// The address of the device at `index` (from 0) of a batch starting at
// `start`: the fourth part plus the index, with one carry into the third part
// past 255. A part not replaced keeps its text as typed, a replaced part is
// plain decimal. Returns an empty string when `start` is not a valid address
// or the index is beyond batchAddressRoom(start): no device is ever sent an
// address that is not a dotted IPv4 address.
QString nextAddress(const QString &start, int index);

// How many devices a batch starting at `start` can address by nextAddress:
// the rest of the fourth part's range, plus 256 more when the third part can
// still carry. 0 when `start` is not a valid address.
int batchAddressRoom(const QString &start);

} // namespace VoskTool
