#include "onvif/devicerequests.h"

#include "onvif/namespaces.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QXmlStreamWriter>

namespace Onvif {

QString DeviceRequest::action() const
{
    return Ns::Device.toString() + u'/' + operation;
}

namespace DeviceRequests {

namespace {

const QString &tds()
{
    static const QString ns = Ns::Device.toString();
    return ns;
}

const QString &tt()
{
    static const QString ns = Ns::Schema.toString();
    return ns;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString ipv6DhcpName(IPv6Dhcp dhcp)
{
    switch (dhcp) {
    case IPv6Dhcp::Auto: return QStringLiteral("Auto");
    case IPv6Dhcp::Stateful: return QStringLiteral("Stateful");
    case IPv6Dhcp::Stateless: return QStringLiteral("Stateless");
    case IPv6Dhcp::Off: break;
    }
    return QStringLiteral("Off");
}

DeviceRequest refused(const QString &operation, const QString &why)
{
    DeviceRequest request;
    request.operation = operation;
    request.invalidArgument = why;
    return request;
}

void writePrefixed(QXmlStreamWriter &w, const PrefixedAddress &a)
{
    w.writeStartElement(tt(), QStringLiteral("Manual"));
    w.writeTextElement(tt(), QStringLiteral("Address"), a.address);
    w.writeTextElement(tt(), QStringLiteral("PrefixLength"), QString::number(a.prefixLength));
    w.writeEndElement();
}

// tt:IPAddress / tt:NetworkHost: Type, then the address of that type.
void writeHost(QXmlStreamWriter &w, const QString &element, const QString &address)
{
    const bool v4 = isIPv4Address(address);
    w.writeStartElement(tds(), element);
    w.writeTextElement(tt(), QStringLiteral("Type"), v4 ? QStringLiteral("IPv4") : QStringLiteral("IPv6"));
    w.writeTextElement(tt(), v4 ? QStringLiteral("IPv4Address") : QStringLiteral("IPv6Address"), address);
    w.writeEndElement();
}

// xs:string may hold any character XML 1.0 can carry; the writer would
// otherwise emit a document the device cannot parse.
bool isXmlText(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != 0x09 && u != 0x0a && u != 0x0d)
            return false;
        if (u == 0xfffe || u == 0xffff)
            return false;
    }
    return true;
}

QString checkUsers(const QList<UserCredentials> &users, bool passwordRequired)
{
    if (users.isEmpty())
        return QStringLiteral("no user given");
    for (const UserCredentials &u : users) {
        if (u.username.trimmed().isEmpty() || u.username != u.username.trimmed() || !isXmlText(u.username))
            return QStringLiteral("bad user name");
        if ((passwordRequired && u.password.isEmpty()) || !isXmlText(u.password))
            return QStringLiteral("bad password");
        if (u.level == UserLevel::Anonymous)
            return QStringLiteral("an Anonymous user cannot be created or set");
    }
    return QString();
}

DeviceRequest usersRequest(const QString &operation, const QList<UserCredentials> &users, bool passwordRequired)
{
    const QString why = checkUsers(users, passwordRequired);
    if (!why.isEmpty())
        return refused(operation, why);
    DeviceRequest request;
    request.operation = operation;
    request.body = [operation, users](QXmlStreamWriter &w) {
        w.writeStartElement(tds(), operation);
        for (const UserCredentials &u : users) {
            w.writeStartElement(tds(), QStringLiteral("User"));
            w.writeTextElement(tt(), QStringLiteral("Username"), u.username);
            if (!u.password.isEmpty())
                w.writeTextElement(tt(), QStringLiteral("Password"), u.password);
            w.writeTextElement(tt(), QStringLiteral("UserLevel"), userLevelName(u.level));
            w.writeEndElement();
        }
        w.writeEndElement();
    };
    return request;
}

} // namespace

bool isIPv4Address(const QString &text)
{
    // QHostAddress also takes "1", "1.2" and octal-looking forms; devices
    // and the schema's pattern want four decimal parts.
    static const QRegularExpression quad(QStringLiteral(
        "^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}$"));
    return quad.match(text).hasMatch();
}

bool isIPv6Address(const QString &text)
{
    if (text.isEmpty() || text.contains(u'%') || !text.contains(u':'))
        return false;
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

DeviceRequest plain(const QString &operation)
{
    DeviceRequest request;
    request.operation = operation;
    request.body = [operation](QXmlStreamWriter &w) { w.writeEmptyElement(tds(), operation); };
    return request;
}

DeviceRequest setNetworkInterfaces(const QString &interfaceToken, const NetworkInterfaceSettings &s)
{
    const QString op = QStringLiteral("SetNetworkInterfaces");
    if (interfaceToken.trimmed().isEmpty() || !isXmlText(interfaceToken))
        return refused(op, QStringLiteral("no interface token"));
    if (s.mtu && (*s.mtu < 68 || *s.mtu > 65535))
        return refused(op, QStringLiteral("MTU out of range"));
    for (const PrefixedAddress &a : s.ipv4Manual) {
        if (!isIPv4Address(a.address) || a.prefixLength < 1 || a.prefixLength > 32)
            return refused(op, QStringLiteral("bad IPv4 address or prefix"));
    }
    for (const PrefixedAddress &a : s.ipv6Manual) {
        if (!isIPv6Address(a.address) || a.prefixLength < 1 || a.prefixLength > 128)
            return refused(op, QStringLiteral("bad IPv6 address or prefix"));
    }
    if (s.ipv4Dhcp.value_or(false) && !s.ipv4Manual.isEmpty())
        return refused(op, QStringLiteral("IPv4 DHCP and a manual address at once"));
    const bool ipv4 = s.ipv4Enabled || s.ipv4Dhcp || !s.ipv4Manual.isEmpty();
    const bool ipv6 = s.ipv6Enabled || s.ipv6AcceptRouterAdvert || s.ipv6Dhcp || !s.ipv6Manual.isEmpty();
    if (!ipv4 && !ipv6 && !s.enabled && !s.mtu)
        return refused(op, QStringLiteral("nothing to change"));

    DeviceRequest request;
    request.operation = op;
    request.body = [op, interfaceToken, s, ipv4, ipv6](QXmlStreamWriter &w) {
        w.writeStartElement(tds(), op);
        w.writeTextElement(tds(), QStringLiteral("InterfaceToken"), interfaceToken);
        w.writeStartElement(tds(), QStringLiteral("NetworkInterface"));
        if (s.enabled)
            w.writeTextElement(tt(), QStringLiteral("Enabled"), boolText(*s.enabled));
        if (s.mtu)
            w.writeTextElement(tt(), QStringLiteral("MTU"), QString::number(*s.mtu));
        if (ipv4) {
            w.writeStartElement(tt(), QStringLiteral("IPv4"));
            if (s.ipv4Enabled)
                w.writeTextElement(tt(), QStringLiteral("Enabled"), boolText(*s.ipv4Enabled));
            for (const PrefixedAddress &a : s.ipv4Manual)
                writePrefixed(w, a);
            if (s.ipv4Dhcp)
                w.writeTextElement(tt(), QStringLiteral("DHCP"), boolText(*s.ipv4Dhcp));
            w.writeEndElement();
        }
        if (ipv6) {
            w.writeStartElement(tt(), QStringLiteral("IPv6"));
            if (s.ipv6Enabled)
                w.writeTextElement(tt(), QStringLiteral("Enabled"), boolText(*s.ipv6Enabled));
            if (s.ipv6AcceptRouterAdvert)
                w.writeTextElement(tt(), QStringLiteral("AcceptRouterAdvert"), boolText(*s.ipv6AcceptRouterAdvert));
            for (const PrefixedAddress &a : s.ipv6Manual)
                writePrefixed(w, a);
            if (s.ipv6Dhcp)
                w.writeTextElement(tt(), QStringLiteral("DHCP"), ipv6DhcpName(*s.ipv6Dhcp));
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeEndElement();
    };
    return request;
}

DeviceRequest setNetworkDefaultGateway(const NetworkGateway &gateway)
{
    const QString op = QStringLiteral("SetNetworkDefaultGateway");
    for (const QString &a : gateway.ipv4) {
        if (!isIPv4Address(a))
            return refused(op, QStringLiteral("bad IPv4 gateway"));
    }
    for (const QString &a : gateway.ipv6) {
        if (!isIPv6Address(a))
            return refused(op, QStringLiteral("bad IPv6 gateway"));
    }
    DeviceRequest request;
    request.operation = op;
    request.body = [op, gateway](QXmlStreamWriter &w) {
        w.writeStartElement(tds(), op);
        for (const QString &a : gateway.ipv4)
            w.writeTextElement(tds(), QStringLiteral("IPv4Address"), a);
        for (const QString &a : gateway.ipv6)
            w.writeTextElement(tds(), QStringLiteral("IPv6Address"), a);
        w.writeEndElement();
    };
    return request;
}

DeviceRequest setDns(const DnsInformation &dns)
{
    const QString op = QStringLiteral("SetDNS");
    for (const QString &a : dns.manualServers) {
        if (!isIPv4Address(a) && !isIPv6Address(a))
            return refused(op, QStringLiteral("bad DNS server address"));
    }
    static const QRegularExpression domain(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]{0,252})$"));
    for (const QString &d : dns.searchDomains) {
        if (!domain.match(d).hasMatch())
            return refused(op, QStringLiteral("bad search domain"));
    }
    DeviceRequest request;
    request.operation = op;
    request.body = [op, dns](QXmlStreamWriter &w) {
        w.writeStartElement(tds(), op);
        w.writeTextElement(tds(), QStringLiteral("FromDHCP"), boolText(dns.fromDhcp));
        for (const QString &d : dns.searchDomains)
            w.writeTextElement(tds(), QStringLiteral("SearchDomain"), d);
        for (const QString &a : dns.manualServers)
            writeHost(w, QStringLiteral("DNSManual"), a);
        w.writeEndElement();
    };
    return request;
}

DeviceRequest setNetworkProtocols(const QList<NetworkProtocol> &protocols)
{
    const QString op = QStringLiteral("SetNetworkProtocols");
    if (protocols.isEmpty())
        return refused(op, QStringLiteral("no protocol given"));
    for (const NetworkProtocol &p : protocols) {
        if (p.name != QLatin1String("HTTP") && p.name != QLatin1String("HTTPS") && p.name != QLatin1String("RTSP"))
            return refused(op, QStringLiteral("unknown protocol"));
        if (p.ports.isEmpty())
            return refused(op, QStringLiteral("protocol without a port"));
        for (const int port : p.ports) {
            if (port < 1 || port > 65535)
                return refused(op, QStringLiteral("port out of range"));
        }
    }
    DeviceRequest request;
    request.operation = op;
    request.body = [op, protocols](QXmlStreamWriter &w) {
        w.writeStartElement(tds(), op);
        for (const NetworkProtocol &p : protocols) {
            w.writeStartElement(tds(), QStringLiteral("NetworkProtocols"));
            w.writeTextElement(tt(), QStringLiteral("Name"), p.name);
            w.writeTextElement(tt(), QStringLiteral("Enabled"), boolText(p.enabled));
            for (const int port : p.ports)
                w.writeTextElement(tt(), QStringLiteral("Port"), QString::number(port));
            w.writeEndElement();
        }
        w.writeEndElement();
    };
    return request;
}

DeviceRequest createUsers(const QList<UserCredentials> &users)
{
    return usersRequest(QStringLiteral("CreateUsers"), users, true);
}

DeviceRequest setUser(const QList<UserCredentials> &users)
{
    return usersRequest(QStringLiteral("SetUser"), users, false);
}

} // namespace DeviceRequests

} // namespace Onvif
