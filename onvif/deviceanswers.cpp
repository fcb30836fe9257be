#include "onvif/deviceanswers.h"

#include "onvif/namespaces.h"
#include "onvif/soapenvelope.h"

#include <cctype>

namespace Onvif::DeviceAnswers {

namespace {

int answer(const SoapEnvelope &envelope, QStringView operation)
{
    if (!envelope.isValid() || envelope.isFault())
        return -1;
    const int payload = envelope.payload();
    const XmlTree &t = envelope.tree();
    if (payload < 0 || t.node(payload).ns != Ns::Device || t.node(payload).name.size() != operation.size() + 8
        || !t.node(payload).name.startsWith(operation) || !t.node(payload).name.endsWith(QLatin1String("Response")))
        return -1;
    return payload;
}

int number(const QString &text, int fallback = 0)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : fallback;
}

bool isNoAddress(const QString &a)
{
    return a.isEmpty() || a == QLatin1String("0.0.0.0") || a == QLatin1String("::");
}

QList<PrefixedAddress> prefixed(const XmlTree &t, int parent, QStringView name)
{
    QList<PrefixedAddress> result;
    for (const int n : t.children(parent, Ns::Schema, name)) {
        PrefixedAddress a;
        a.address = t.childText(n, Ns::Schema, u"Address");
        a.prefixLength = number(t.childText(n, Ns::Schema, u"PrefixLength"));
        if (!isNoAddress(a.address))
            result.append(a);
    }
    return result;
}

QStringList addresses(const XmlTree &t, int parent, QStringView ns, QStringView name)
{
    QStringList result;
    for (const int n : t.children(parent, ns, name)) {
        const QString a = t.text(n);
        if (!isNoAddress(a))
            result.append(a);
    }
    return result;
}

// tt:NetworkHost / tt:IPAddress: the address of its type (a DNS name when
// that is all there is).
QStringList hosts(const XmlTree &t, int parent, QStringView name)
{
    QStringList result;
    for (const int n : t.children(parent, Ns::Schema, name)) {
        QString a = t.childText(n, Ns::Schema, u"IPv4Address");
        if (isNoAddress(a))
            a = t.childText(n, Ns::Schema, u"IPv6Address");
        if (isNoAddress(a))
            a = t.childText(n, Ns::Schema, u"DNSname");
        if (!isNoAddress(a))
            result.append(a);
    }
    return result;
}

QDateTime dateTime(const XmlTree &t, int node, Qt::TimeSpec spec)
{
    if (node < 0)
        return QDateTime();
    const int time = t.child(node, Ns::Schema, u"Time");
    const int date = t.child(node, Ns::Schema, u"Date");
    const QDate d(number(t.childText(date, Ns::Schema, u"Year"), -1), number(t.childText(date, Ns::Schema, u"Month"), -1),
                  number(t.childText(date, Ns::Schema, u"Day"), -1));
    const QTime tm(number(t.childText(time, Ns::Schema, u"Hour"), -1), number(t.childText(time, Ns::Schema, u"Minute"), -1),
                   number(t.childText(time, Ns::Schema, u"Second"), -1));
    if (!d.isValid() || !tm.isValid())
        return QDateTime();
    return QDateTime(d, tm, spec);
}

IPv6Dhcp ipv6Dhcp(const QString &text)
{
    if (text == QLatin1String("Auto"))
        return IPv6Dhcp::Auto;
    if (text == QLatin1String("Stateful"))
        return IPv6Dhcp::Stateful;
    if (text == QLatin1String("Stateless"))
        return IPv6Dhcp::Stateless;
    return IPv6Dhcp::Off;
}

} // namespace

QString normalizeMac(const QString &text)
{
    QString hex;
    for (const QChar c : text.trimmed()) {
        if (c == u':' || c == u'-' || c == u'.')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1())) || c.unicode() > 0x7f)
            return QString();
        hex.append(c.toLower());
    }
    if (hex.size() != 12)
        return QString();
    QString result;
    for (int i = 0; i < 12; i += 2) {
        if (i)
            result.append(u':');
        result.append(QStringView(hex).mid(i, 2));
    }
    return result;
}

bool systemDateAndTime(const SoapEnvelope &envelope, SystemDateTime *out)
{
    const int a = answer(envelope, u"GetSystemDateAndTime");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    const int s = t.child(a, Ns::Device, u"SystemDateAndTime");
    if (s < 0)
        return false;
    SystemDateTime v;
    v.dateTimeType = t.childText(s, Ns::Schema, u"DateTimeType");
    v.daylightSavings = xmlBoolean(t.childText(s, Ns::Schema, u"DaylightSavings"));
    v.timeZone = t.childText(t.child(s, Ns::Schema, u"TimeZone"), Ns::Schema, u"TZ");
    v.utc = dateTime(t, t.child(s, Ns::Schema, u"UTCDateTime"), Qt::UTC);
    v.local = dateTime(t, t.child(s, Ns::Schema, u"LocalDateTime"), Qt::LocalTime);
    *out = v;
    return true;
}

bool deviceInformation(const SoapEnvelope &envelope, DeviceInformation *out)
{
    const int a = answer(envelope, u"GetDeviceInformation");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    DeviceInformation v;
    v.manufacturer = t.childText(a, Ns::Device, u"Manufacturer");
    v.model = t.childText(a, Ns::Device, u"Model");
    v.firmwareVersion = t.childText(a, Ns::Device, u"FirmwareVersion");
    v.serialNumber = t.childText(a, Ns::Device, u"SerialNumber");
    v.hardwareId = t.childText(a, Ns::Device, u"HardwareId");
    *out = v;
    return true;
}

bool networkInterfaces(const SoapEnvelope &envelope, QList<NetworkInterface> *out)
{
    const int a = answer(envelope, u"GetNetworkInterfaces");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    QList<NetworkInterface> list;
    for (const int n : t.children(a, Ns::Device, u"NetworkInterfaces")) {
        NetworkInterface v;
        v.token = t.attribute(n, u"", u"token").trimmed();
        v.enabled = xmlBoolean(t.childText(n, Ns::Schema, u"Enabled"));
        const int info = t.child(n, Ns::Schema, u"Info");
        v.name = t.childText(info, Ns::Schema, u"Name");
        v.hwAddress = normalizeMac(t.childText(info, Ns::Schema, u"HwAddress"));
        v.mtu = number(t.childText(info, Ns::Schema, u"MTU"));
        const int ipv4 = t.child(n, Ns::Schema, u"IPv4");
        if (ipv4 >= 0) {
            IPv4Configuration c;
            c.enabled = xmlBoolean(t.childText(ipv4, Ns::Schema, u"Enabled"));
            const int config = t.child(ipv4, Ns::Schema, u"Config");
            c.dhcp = xmlBoolean(t.childText(config, Ns::Schema, u"DHCP"));
            c.manual = prefixed(t, config, u"Manual");
            c.linkLocal = prefixed(t, config, u"LinkLocal");
            c.fromDhcp = prefixed(t, config, u"FromDHCP");
            v.ipv4 = c;
        }
        const int ipv6 = t.child(n, Ns::Schema, u"IPv6");
        if (ipv6 >= 0) {
            IPv6Configuration c;
            c.enabled = xmlBoolean(t.childText(ipv6, Ns::Schema, u"Enabled"));
            const int config = t.child(ipv6, Ns::Schema, u"Config");
            c.acceptRouterAdvert = xmlBoolean(t.childText(config, Ns::Schema, u"AcceptRouterAdvert"));
            c.dhcp = ipv6Dhcp(t.childText(config, Ns::Schema, u"DHCP"));
            c.manual = prefixed(t, config, u"Manual");
            c.linkLocal = prefixed(t, config, u"LinkLocal");
            c.fromDhcp = prefixed(t, config, u"FromDHCP");
            c.fromRouterAdvert = prefixed(t, config, u"FromRA");
            v.ipv6 = c;
        }
        list.append(v);
    }
    *out = list;
    return true;
}

bool networkDefaultGateway(const SoapEnvelope &envelope, NetworkGateway *out)
{
    const int a = answer(envelope, u"GetNetworkDefaultGateway");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    const int g = t.child(a, Ns::Device, u"NetworkGateway");
    NetworkGateway v;
    v.ipv4 = addresses(t, g, Ns::Schema, u"IPv4Address");
    v.ipv6 = addresses(t, g, Ns::Schema, u"IPv6Address");
    *out = v;
    return true;
}

bool dns(const SoapEnvelope &envelope, DnsInformation *out)
{
    const int a = answer(envelope, u"GetDNS");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    const int d = t.child(a, Ns::Device, u"DNSInformation");
    DnsInformation v;
    v.fromDhcp = xmlBoolean(t.childText(d, Ns::Schema, u"FromDHCP"));
    for (const int s : t.children(d, Ns::Schema, u"SearchDomain")) {
        if (!t.text(s).isEmpty())
            v.searchDomains.append(t.text(s));
    }
    v.fromDhcpServers = hosts(t, d, u"DNSFromDHCP");
    v.manualServers = hosts(t, d, u"DNSManual");
    *out = v;
    return true;
}

bool networkProtocols(const SoapEnvelope &envelope, QList<NetworkProtocol> *out)
{
    const int a = answer(envelope, u"GetNetworkProtocols");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    QList<NetworkProtocol> list;
    for (const int n : t.children(a, Ns::Device, u"NetworkProtocols")) {
        NetworkProtocol p;
        p.name = t.childText(n, Ns::Schema, u"Name");
        p.enabled = xmlBoolean(t.childText(n, Ns::Schema, u"Enabled"));
        for (const int port : t.children(n, Ns::Schema, u"Port")) {
            const int value = number(t.text(port));
            if (value > 0 && value < 65536)
                p.ports.append(value);
        }
        list.append(p);
    }
    *out = list;
    return true;
}

bool hostname(const SoapEnvelope &envelope, HostnameInformation *out)
{
    const int a = answer(envelope, u"GetHostname");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    const int h = t.child(a, Ns::Device, u"HostnameInformation");
    HostnameInformation v;
    v.fromDhcp = xmlBoolean(t.childText(h, Ns::Schema, u"FromDHCP"));
    v.name = t.childText(h, Ns::Schema, u"Name");
    *out = v;
    return true;
}

bool scopes(const SoapEnvelope &envelope, QList<Scope> *out)
{
    const int a = answer(envelope, u"GetScopes");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    QList<Scope> list;
    for (const int n : t.children(a, Ns::Device, u"Scopes")) {
        Scope s;
        s.fixed = t.childText(n, Ns::Schema, u"ScopeDef") == QLatin1String("Fixed");
        s.item = t.childText(n, Ns::Schema, u"ScopeItem");
        if (!s.item.isEmpty())
            list.append(s);
    }
    *out = list;
    return true;
}

bool users(const SoapEnvelope &envelope, QList<User> *out)
{
    const int a = answer(envelope, u"GetUsers");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    QList<User> list;
    // A password in the answer, should a device send one, is not read.
    for (const int n : t.children(a, Ns::Device, u"User")) {
        User u;
        u.username = t.childText(n, Ns::Schema, u"Username");
        u.level = userLevelFromName(t.childText(n, Ns::Schema, u"UserLevel")).value_or(UserLevel::Extended);
        if (!u.username.isEmpty())
            list.append(u);
    }
    *out = list;
    return true;
}

bool rebootNeeded(const SoapEnvelope &envelope, bool *out)
{
    const int a = answer(envelope, u"SetNetworkInterfaces");
    if (a < 0)
        return false;
    const XmlTree &t = envelope.tree();
    // Absent (a device that leaves out the required element, or answers
    // an empty success): no reboot was asked for. Restarting a device on a
    // guess cuts its streams; whether the change took is known from the
    // read-back, not from this answer.
    const int r = t.child(a, Ns::Device, u"RebootNeeded");
    *out = r < 0 ? false : xmlBoolean(t.text(r), false);
    return true;
}

bool rebootMessage(const SoapEnvelope &envelope, QString *out)
{
    const int a = answer(envelope, u"SystemReboot");
    if (a < 0)
        return false;
    *out = envelope.tree().childText(a, Ns::Device, u"Message");
    return true;
}

bool empty(const SoapEnvelope &envelope, const QString &operation)
{
    return answer(envelope, operation) >= 0;
}

} // namespace Onvif::DeviceAnswers
