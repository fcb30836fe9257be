#include "operations/netparams.h"

#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "netparam/rules/netparamrules.h"

namespace VoskTool {

NetParams netParamsOf(const VOSK_DEVICE_INFO &record)
{
    NetParams params;
    params.ipv4Address = VOSK::fieldText(record.ipv4Address);
    params.ipv4Mask = VOSK::fieldText(record.ipv4Mask);
    params.ipv4Gateway = VOSK::fieldText(record.ipv4Gateway);
    params.ipv6Address = VOSK::fieldText(record.ipv6Address);
    params.ipv6Gateway = VOSK::fieldText(record.ipv6Gateway);
    params.ipv6PrefixLength = record.ipv6PrefixLength;
    // The library's block carries the port in 16 bits.
    params.port = int(quint16(record.port));
    params.httpPort = record.httpPort;
    params.dhcp = record.dhcpEnabled == 1;
    params.addressInfo = record.addressInfoValid == 1;
    return params;
}

bool ipv6Modifiable(const VOSK_DEVICE_INFO &record)
{
    if (record.addressInfoValid != 1)
        return false;
    if (VOSK::isOnvifRecord(record))
        return (VOSK::onvifFlags(record) & VOSK::OnvifIpv6Reported) != 0;
    return (record.capabilities & VOSK_CAP_IPV6_MODIFIABLE) != 0;
}

bool ipv4Off(const VOSK_DEVICE_INFO &record)
{
    if (!VOSK::isOnvifRecord(record))
        return false;
    const quint8 flags = VOSK::onvifFlags(record);
    // Before sign-in an empty IPv4 cell only says which address discovery
    // heard; signed in, it is what the device reported.
    return (flags & VOSK::OnvifSignedIn) && (flags & VOSK::OnvifIpv6Reported)
        && VOSK::fieldText(record.ipv4Address).trimmed().isEmpty();
}

NetParams applyChange(const NetParams &current, const NetChange &change)
{
    NetParams params = current;
    if (change.ipv4Address)
        params.ipv4Address = *change.ipv4Address;
    if (change.ipv4Mask)
        params.ipv4Mask = *change.ipv4Mask;
    if (change.ipv4Gateway)
        params.ipv4Gateway = *change.ipv4Gateway;
    if (change.ipv6Address)
        params.ipv6Address = *change.ipv6Address;
    if (change.ipv6Gateway)
        params.ipv6Gateway = *change.ipv6Gateway;
    if (change.ipv6PrefixLength)
        params.ipv6PrefixLength = *change.ipv6PrefixLength;
    if (change.port)
        params.port = *change.port;
    if (change.httpPort && current.httpPort != 0)
        params.httpPort = *change.httpPort == 0 ? 80 : *change.httpPort;
    if (change.dhcp)
        params.dhcp = *change.dhcp;
    return params;
}

BatchFieldRules batchFieldRules(const QVector<VOSK_DEVICE_INFO> &records)
{
    BatchFieldRules rules;
    if (records.isEmpty())
        return rules;
    const qint32 firstPort = records.first().port;
    for (const VOSK_DEVICE_INFO &record : records) {
        if (record.deviceTypeCode < kFixedAddressTypeFirst || record.deviceTypeCode > kFixedAddressTypeLast)
            rules.addressEditable = true;
        if (record.port != firstPort)
            rules.portEditable = false;
        if (record.addressInfoValid == 1)
            rules.gatewayEditable = true;
        if (record.httpPort == 0)
            rules.httpPortEditable = false;
    }
    // Without a start address every device keeps its address, so a gateway
    // typed for it would be asked for and then not sent.
    rules.gatewayEditable = rules.gatewayEditable && rules.addressEditable;
    return rules;
}

QVector<NetParams> planBatch(const QVector<NetParams> &current, const BatchSettings &settings)
{
    QVector<NetParams> planned;
    planned.reserve(current.size());
    for (int i = 0; i < current.size(); ++i) {
        NetParams params = current.at(i);
        if (!settings.dhcp && settings.start) {
            params.ipv4Address = nextAddress(*settings.start, i);
            if (settings.mask)
                params.ipv4Mask = *settings.mask;
            if (settings.gateway && params.addressInfo)
                params.ipv4Gateway = *settings.gateway;
        }
        if (settings.port && *settings.port != 0)
            params.port = *settings.port;
        if (settings.httpPort && *settings.httpPort != 0 && params.httpPort != 0)
            params.httpPort = *settings.httpPort;
        params.dhcp = settings.dhcp;
        planned.append(params);
    }
    return planned;
}

} // namespace VoskTool
