// What the client sends: every request envelope validated against the
// official schemas with xmllint, and the arguments refused before sending.

#include "onvif/devicerequests.h"
#include "onvif/discoverymessage.h"
#include "onvif/namespaces.h"
#include "onvif/usernametoken.h"
#include "schemavalidator.h"

#include <QtTest>

using namespace Onvif;

Q_DECLARE_METATYPE(Onvif::DeviceRequest)

namespace {

NetworkInterfaceSettings staticIPv4()
{
    NetworkInterfaceSettings s;
    s.ipv4Enabled = true;
    s.ipv4Manual = {{QStringLiteral("192.0.2.65"), 24}};
    s.ipv4Dhcp = false;
    return s;
}

} // namespace

class tst_OnvifRequests : public QObject
{
    Q_OBJECT

private slots:
    void schemaValid();
    void refused_data();
    void refused();
    void writtenValues();
};

void tst_OnvifRequests::schemaValid()
{
    TestSupport::SchemaValidator validator(QStringLiteral(ONVIF_CORPUS_DIR));
    QVERIFY2(validator.isReady(), "xmllint (libxml2-utils) or the schema copy is missing");

    NetworkInterfaceSettings full = staticIPv4();
    full.enabled = true;
    full.mtu = 1500;
    full.ipv6Enabled = true;
    full.ipv6AcceptRouterAdvert = false;
    full.ipv6Manual = {{QStringLiteral("2001:db8::65"), 64}};
    full.ipv6Dhcp = IPv6Dhcp::Off;
    NetworkInterfaceSettings dhcp;
    dhcp.ipv4Enabled = true;
    dhcp.ipv4Dhcp = true;
    DnsInformation dns;
    dns.fromDhcp = false;
    dns.searchDomains = {QStringLiteral("example.org")};
    dns.manualServers = {QStringLiteral("192.0.2.53"), QStringLiteral("2001:db8::53")};
    const QList<UserCredentials> admin{{QStringLiteral("admin"), QStringLiteral("Pa55<&>word"), UserLevel::Administrator}};

    QList<QPair<QString, DeviceRequest>> requests;
    for (const char *op : {"GetSystemDateAndTime", "GetDeviceInformation", "GetNetworkInterfaces",
                           "GetNetworkDefaultGateway", "GetDNS", "GetNetworkProtocols", "GetHostname", "GetScopes",
                           "GetUsers", "SystemReboot"})
        requests.append({QString::fromLatin1(op), DeviceRequests::plain(QString::fromLatin1(op))});
    requests.append({QStringLiteral("SetNetworkInterfaces-static"),
                     DeviceRequests::setNetworkInterfaces(QStringLiteral("eth0"), staticIPv4())});
    requests.append({QStringLiteral("SetNetworkInterfaces-full"),
                     DeviceRequests::setNetworkInterfaces(QStringLiteral("eth0"), full)});
    requests.append({QStringLiteral("SetNetworkInterfaces-dhcp"),
                     DeviceRequests::setNetworkInterfaces(QStringLiteral("eth0"), dhcp)});
    requests.append({QStringLiteral("SetNetworkDefaultGateway"),
                     DeviceRequests::setNetworkDefaultGateway({{QStringLiteral("192.0.2.1")}, {QStringLiteral("2001:db8::1")}})});
    requests.append({QStringLiteral("SetNetworkDefaultGateway-none"), DeviceRequests::setNetworkDefaultGateway({})});
    requests.append({QStringLiteral("SetDNS"), DeviceRequests::setDns(dns)});
    requests.append({QStringLiteral("SetNetworkProtocols"),
                     DeviceRequests::setNetworkProtocols({{QStringLiteral("HTTP"), true, {8080}},
                                                          {QStringLiteral("RTSP"), false, {554, 8554}}})});
    requests.append({QStringLiteral("CreateUsers"), DeviceRequests::createUsers(admin)});
    requests.append({QStringLiteral("SetUser"),
                     DeviceRequests::setUser({{QStringLiteral("admin"), QString(), UserLevel::Administrator},
                                              {QStringLiteral("op"), QStringLiteral("x"), UserLevel::Operator}})});

    QList<QPair<QString, QByteArray>> documents;
    const UsernameToken token(QStringLiteral("admin"), QStringLiteral("secret"), QDateTime::currentDateTimeUtc());
    for (const auto &[name, request] : requests) {
        QVERIFY2(request.isValid(), qPrintable(name + u' ' + request.invalidArgument));
        documents.append({name + QStringLiteral(".xml"), SoapEnvelope::write({}, request.body)});
        documents.append({name + QStringLiteral("-signed.xml"),
                          SoapEnvelope::write([&token](QXmlStreamWriter &w) { token.write(w); }, request.body)});
    }
    documents.append({QStringLiteral("Probe-nvt.xml"),
                      DiscoveryMessages::probe(DiscoveryMessages::makeMessageId(),
                                               {DiscoveryMessages::networkVideoTransmitterType()})});
    documents.append({QStringLiteral("Probe-any.xml"), DiscoveryMessages::probe(DiscoveryMessages::makeMessageId(), {})});
    // The control: a body the schema refuses (Password before Username)
    // must fail, or the validation proves nothing.
    documents.append({QStringLiteral("control.xml"), SoapEnvelope::write({}, [](QXmlStreamWriter &w) {
                          w.writeStartElement(Ns::Device.toString(), QStringLiteral("CreateUsers"));
                          w.writeStartElement(Ns::Device.toString(), QStringLiteral("User"));
                          w.writeTextElement(Ns::Schema.toString(), QStringLiteral("Password"), QStringLiteral("p"));
                          w.writeTextElement(Ns::Schema.toString(), QStringLiteral("Username"), QStringLiteral("u"));
                          w.writeTextElement(Ns::Schema.toString(), QStringLiteral("UserLevel"), QStringLiteral("User"));
                          w.writeEndElement();
                          w.writeEndElement();
                      })});
    QString messages;
    const QStringList failed = validator.failures(documents, &messages);
    QVERIFY2(failed == QStringList{QStringLiteral("control.xml")}, qPrintable(messages));
}

void tst_OnvifRequests::refused_data()
{
    QTest::addColumn<DeviceRequest>("request");

    auto settings = [](auto change) {
        NetworkInterfaceSettings s = staticIPv4();
        change(s);
        return DeviceRequests::setNetworkInterfaces(QStringLiteral("eth0"), s);
    };
    QTest::newRow("no token") << DeviceRequests::setNetworkInterfaces(QString(), staticIPv4());
    QTest::newRow("nothing to change") << DeviceRequests::setNetworkInterfaces(QStringLiteral("eth0"), {});
    QTest::newRow("octet over 255") << settings([](auto &s) { s.ipv4Manual = {{QStringLiteral("192.0.2.300"), 24}}; });
    QTest::newRow("three parts") << settings([](auto &s) { s.ipv4Manual = {{QStringLiteral("192.0.2"), 24}}; });
    QTest::newRow("leading zero") << settings([](auto &s) { s.ipv4Manual = {{QStringLiteral("192.0.02.1"), 24}}; });
    QTest::newRow("spaces") << settings([](auto &s) { s.ipv4Manual = {{QStringLiteral(" 192.0.2.1"), 24}}; });
    QTest::newRow("prefix 0") << settings([](auto &s) { s.ipv4Manual = {{QStringLiteral("192.0.2.1"), 0}}; });
    QTest::newRow("prefix 33") << settings([](auto &s) { s.ipv4Manual = {{QStringLiteral("192.0.2.1"), 33}}; });
    QTest::newRow("IPv6 in IPv4") << settings([](auto &s) { s.ipv4Manual = {{QStringLiteral("2001:db8::1"), 24}}; });
    QTest::newRow("DHCP and manual") << settings([](auto &s) { s.ipv4Dhcp = true; });
    QTest::newRow("IPv6 bad") << settings([](auto &s) { s.ipv6Manual = {{QStringLiteral("2001:db8::g"), 64}}; });
    QTest::newRow("IPv6 scoped") << settings([](auto &s) { s.ipv6Manual = {{QStringLiteral("fe80::1%eth0"), 64}}; });
    QTest::newRow("IPv6 prefix 129") << settings([](auto &s) { s.ipv6Manual = {{QStringLiteral("2001:db8::1"), 129}}; });
    QTest::newRow("MTU 0") << settings([](auto &s) { s.mtu = 0; });
    QTest::newRow("gateway") << DeviceRequests::setNetworkDefaultGateway({{QStringLiteral("192.0.2.256")}, {}});
    QTest::newRow("gateway v6 in v4") << DeviceRequests::setNetworkDefaultGateway({{QStringLiteral("::1")}, {}});
    QTest::newRow("DNS server") << DeviceRequests::setDns({false, {}, {}, {QStringLiteral("dns.example.org")}});
    QTest::newRow("search domain") << DeviceRequests::setDns({false, {QStringLiteral("a b")}, {}, {}});
    QTest::newRow("protocol name") << DeviceRequests::setNetworkProtocols({{QStringLiteral("FTP"), true, {21}}});
    QTest::newRow("port 0") << DeviceRequests::setNetworkProtocols({{QStringLiteral("HTTP"), true, {0}}});
    QTest::newRow("port 65536") << DeviceRequests::setNetworkProtocols({{QStringLiteral("HTTP"), true, {65536}}});
    QTest::newRow("no port") << DeviceRequests::setNetworkProtocols({{QStringLiteral("HTTP"), true, {}}});
    QTest::newRow("no protocol") << DeviceRequests::setNetworkProtocols({});
    QTest::newRow("no user") << DeviceRequests::createUsers({});
    QTest::newRow("empty user name") << DeviceRequests::createUsers({{QString(), QStringLiteral("p"), UserLevel::User}});
    QTest::newRow("padded user name")
        << DeviceRequests::createUsers({{QStringLiteral("admin "), QStringLiteral("p"), UserLevel::User}});
    QTest::newRow("create without password")
        << DeviceRequests::createUsers({{QStringLiteral("admin"), QString(), UserLevel::Administrator}});
    QTest::newRow("control character")
        << DeviceRequests::createUsers({{QStringLiteral("admin"), QStringLiteral("p\x01"), UserLevel::Administrator}});
    QTest::newRow("anonymous") << DeviceRequests::setUser({{QStringLiteral("a"), QString(), UserLevel::Anonymous}});
}

void tst_OnvifRequests::refused()
{
    QFETCH(DeviceRequest, request);
    QVERIFY(!request.isValid());
    QVERIFY(!request.body);
}

// Values reach the wire escaped and in the elements they belong to.
void tst_OnvifRequests::writtenValues()
{
    const QByteArray create = SoapEnvelope::write(
        {}, DeviceRequests::createUsers({{QStringLiteral("a<b"), QStringLiteral("]]>&\"'"), UserLevel::Administrator}})
                .body);
    const SoapEnvelope e = SoapEnvelope::read(create);
    QVERIFY(e.isValid());
    const XmlTree &t = e.tree();
    const int user = t.child(e.payload(), Ns::Device, u"User");
    QCOMPARE(t.childText(user, Ns::Schema, u"Username"), QStringLiteral("a<b"));
    QCOMPARE(t.childText(user, Ns::Schema, u"Password"), QStringLiteral("]]>&\"'"));
    QCOMPARE(t.childText(user, Ns::Schema, u"UserLevel"), QStringLiteral("Administrator"));

    // SetUser without a password leaves the element out (the password stays).
    const SoapEnvelope set = SoapEnvelope::read(SoapEnvelope::write(
        {}, DeviceRequests::setUser({{QStringLiteral("op"), QString(), UserLevel::Operator}}).body));
    QCOMPARE(set.tree().child(set.tree().child(set.payload(), Ns::Device, u"User"), Ns::Schema, u"Password"), -1);

    // Our own Probe reads back as one, with its type resolved.
    DiscoveryMessage probe;
    QVERIFY(DiscoveryMessages::parse(
        DiscoveryMessages::probe(QStringLiteral("urn:uuid:1"), {DiscoveryMessages::networkVideoTransmitterType()}),
        &probe));
    QCOMPARE(probe.kind, DiscoveryMessage::Kind::Probe);
    QCOMPARE(probe.messageId, QStringLiteral("urn:uuid:1"));
    QCOMPARE(DeviceRequests::plain(QStringLiteral("GetDNS")).action(),
             QStringLiteral("http://www.onvif.org/ver10/device/wsdl/GetDNS"));
}

QTEST_GUILESS_MAIN(tst_OnvifRequests)
#include "tst_onvifrequests.moc"
