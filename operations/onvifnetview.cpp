#include "operations/onvifnetview.h"

#include <QHostAddress>

#include <initializer_list>

namespace VoskTool {

namespace {

const Onvif::PrefixedAddress *firstOf(std::initializer_list<const QList<Onvif::PrefixedAddress> *> lists)
{
    for (const QList<Onvif::PrefixedAddress> *list : lists) {
        if (!list->isEmpty())
            return &list->constFirst();
    }
    return nullptr;
}

} // namespace

const Onvif::NetworkInterface *onvifMainInterface(const QList<Onvif::NetworkInterface> &interfaces,
                                                  const QString &host)
{
    const Onvif::NetworkInterface *enabled = nullptr;
    // An IPv6 host is compared as an address: the device may write it in
    // another form, and the service address's may carry a zone.
    QHostAddress host6(host);
    host6.setScopeId(QString());
    const bool v6 = host6.protocol() == QAbstractSocket::IPv6Protocol;
    for (const Onvif::NetworkInterface &nic : interfaces) {
        if (v6 && nic.ipv6) {
            for (const auto *list : {&nic.ipv6->manual, &nic.ipv6->fromDhcp, &nic.ipv6->fromRouterAdvert,
                                     &nic.ipv6->linkLocal}) {
                for (const Onvif::PrefixedAddress &a : *list) {
                    if (QHostAddress(a.address) == host6)
                        return &nic;
                }
            }
        }
        if (!nic.ipv4)
            continue;
        for (const auto *list : {&nic.ipv4->manual, &nic.ipv4->fromDhcp, &nic.ipv4->linkLocal}) {
            for (const Onvif::PrefixedAddress &a : *list) {
                if (a.address == host)
                    return &nic;
            }
        }
        if (!enabled && nic.enabled)
            enabled = &nic;
    }
    if (enabled)
        return enabled;
    return interfaces.isEmpty() ? nullptr : &interfaces.constFirst();
}

const Onvif::PrefixedAddress *onvifIpv4Address(const Onvif::NetworkInterface &nic)
{
    if (!nic.ipv4)
        return nullptr;
    const Onvif::IPv4Configuration &v4 = *nic.ipv4;
    return v4.dhcp ? firstOf({&v4.fromDhcp, &v4.manual, &v4.linkLocal})
                   : firstOf({&v4.manual, &v4.fromDhcp, &v4.linkLocal});
}

const Onvif::PrefixedAddress *onvifIpv6Address(const Onvif::NetworkInterface &nic)
{
    if (!nic.ipv6)
        return nullptr;
    const Onvif::IPv6Configuration &v6 = *nic.ipv6;
    return firstOf({&v6.manual, &v6.fromDhcp, &v6.fromRouterAdvert, &v6.linkLocal});
}

QString dottedMask(int prefixLength)
{
    if (prefixLength <= 0 || prefixLength > 32)
        return QString();
    const quint32 mask = prefixLength == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefixLength);
    return QHostAddress(mask).toString();
}

int maskPrefixLength(const QString &mask)
{
    QHostAddress address;
    if (!address.setAddress(mask.trimmed()) || address.protocol() != QAbstractSocket::IPv4Protocol)
        return -1;
    const quint32 bits = address.toIPv4Address();
    int length = 0;
    while (length < 32 && (bits & (0x80000000u >> length)))
        ++length;
    // Contiguous: nothing set after the first zero.
    const quint32 expected = length == 0 ? 0 : (length == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> length));
    return bits == expected ? length : -1;
}

} // namespace VoskTool
