// WS-Discovery: every captured ProbeMatches, hostile datagrams, the device
// table's rules, and the client against a responder on loopback.

#include "onvif/discoveryclient.h"
#include "onvif/discoverymessage.h"
#include "onvif/discoverytable.h"

#include <QDir>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Onvif;

namespace {

const QString kResponses = QStringLiteral(ONVIF_CORPUS_DIR "/responses");
const QString kNvt = QStringLiteral("{http://www.onvif.org/ver10/network/wsdl}NetworkVideoTransmitter");

QByteArray readCapture(const QString &file)
{
    QFile f(kResponses + u'/' + file);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(f.fileName()));
    return f.readAll();
}

QByteArray message(const QByteArray &action, const QByteArray &body, const QByteArray &relatesTo = QByteArray(),
                   const QByteArray &discoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery")
{
    return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" xmlns:d=\""
        + discoveryNs
        + "\" xmlns:nt=\"http://www.onvif.org/ver10/network/wsdl\"><s:Header><a:MessageID>urn:uuid:m</a:MessageID>"
        + (relatesTo.isEmpty() ? QByteArray() : "<a:RelatesTo>" + relatesTo + "</a:RelatesTo>") + "<a:Action>"
        + discoveryNs + "/" + action + "</a:Action></s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
}

QByteArray target(const QByteArray &endpoint, const QByteArray &xaddrs, int version = 1,
                  const QByteArray &scopes = "onvif://www.onvif.org/name/Cam")
{
    return "<a:EndpointReference><a:Address>" + endpoint + "</a:Address></a:EndpointReference>"
           "<d:Types>nt:NetworkVideoTransmitter</d:Types><d:Scopes>"
        + scopes + "</d:Scopes><d:XAddrs>" + xaddrs + "</d:XAddrs><d:MetadataVersion>" + QByteArray::number(version)
        + "</d:MetadataVersion>";
}

QByteArray probeMatches(const QByteArray &relatesTo, const QList<QByteArray> &targets)
{
    QByteArray body = "<d:ProbeMatches>";
    for (const QByteArray &t : targets)
        body += "<d:ProbeMatch>" + t + "</d:ProbeMatch>";
    return message("ProbeMatches", body + "</d:ProbeMatches>", relatesTo);
}

DiscoveryTarget makeTarget(const QString &endpoint, const QStringList &xaddrs, quint32 version = 1)
{
    DiscoveryTarget t;
    t.endpoint = endpoint;
    t.types = {kNvt};
    t.xaddrs = xaddrs;
    t.metadataVersion = version;
    return t;
}

// A device side on loopback: hears the Probes on the test's group and
// port, and answers what the test tells it to.
class Responder final : public QObject
{
public:
    // For each Probe heard: the datagrams to send back by unicast.
    std::function<QList<QByteArray>(const DiscoveryMessage &probe)> answer;
    int probes = 0;
    QList<QStringList> probedTypes;

    // bindTo: the group itself for a device beside a program that holds the
    // port alone on this host.
    Responder(quint16 port, const QHostAddress &group, const QHostAddress &bindTo = QHostAddress::AnyIPv4)
        : m_port(port)
        , m_group(group)
    {
        QVERIFY(m_socket.bind(bindTo, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        QVERIFY(m_socket.joinMulticastGroup(group, QNetworkInterface::interfaceFromName(QStringLiteral("lo"))));
        m_socket.setMulticastInterface(QNetworkInterface::interfaceFromName(QStringLiteral("lo")));
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = m_socket.receiveDatagram();
                DiscoveryMessage m;
                if (!DiscoveryMessages::parse(d.data(), &m) || m.kind != DiscoveryMessage::Kind::Probe)
                    continue;
                ++probes;
                probedTypes.append(m.targets.isEmpty() ? QStringList() : m.targets.constFirst().types);
                if (answer) {
                    for (const QByteArray &reply : answer(m))
                        m_reply.writeDatagram(reply, d.senderAddress(), d.senderPort());
                }
            }
        });
    }
    // Hello, Bye and anything else, to the group.
    void multicast(const QByteArray &datagram) { m_socket.writeDatagram(datagram, m_group, m_port); }
    // Unicast from another socket, as a device's own port would.
    void sendTo(const QByteArray &datagram, const QHostAddress &to, quint16 port)
    {
        m_reply.writeDatagram(datagram, to, port);
    }

private:
    quint16 m_port;
    QHostAddress m_group;
    QUdpSocket m_socket;
    QUdpSocket m_reply;
};

} // namespace

class tst_OnvifDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void captures_data();
    void captures();
    void hostile_data();
    void hostile();
    void table();
    void serviceAddress_data();
    void serviceAddress();
    void addressRange_data();
    void addressRange();
    void probesAndMerges();
    void helloAndBye();
    void lossIsRecovered();
    void malformedAndBounded();
    void directedProbe();
    void silenceForgets();
    void floodsEndWithTheFlood();
    void besideAnotherListener_data();
    void besideAnotherListener();

private:
    DiscoveryOptions options(quint16 port, const char *group);
};

void tst_OnvifDiscovery::captures_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files =
        QDir(kResponses).entryList({QStringLiteral("ProbeMatches--*.xml")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 8);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << file;
}

// Whatever prefixes, header shapes and padding: one match, an endpoint, the
// type resolved by namespace, service addresses split.
void tst_OnvifDiscovery::captures()
{
    QFETCH(QString, file);
    DiscoveryMessage m;
    QVERIFY(DiscoveryMessages::parse(readCapture(file), &m));
    QCOMPARE(m.kind, DiscoveryMessage::Kind::ProbeMatches);
    QVERIFY(!m.targets.isEmpty());
    for (const DiscoveryTarget &t : m.targets) {
        QVERIFY(!t.endpoint.isEmpty());
        QVERIFY2(t.types.contains(kNvt), qPrintable(t.types.join(u' ')));
        QVERIFY(!t.xaddrs.isEmpty());
        for (const QString &x : t.xaddrs)
            QCOMPARE(x, x.trimmed());
        QVERIFY(t.metadataVersion >= 1);
    }
    if (file == QLatin1String("ProbeMatches--2bad-onvif--4.xml")) {
        const DiscoveryTarget &t = m.targets.constFirst();
        QCOMPARE(t.endpoint, QStringLiteral("urn:uuid:00000000-0000-4000-8000-000000000003"));
        QCOMPARE(t.xaddrs, (QStringList{QStringLiteral("http://192.0.2.10:80/onvif/device_service"),
                                        QStringLiteral("http://[fe80::2]:80/onvif/device_service")}));
        QCOMPARE(t.metadataVersion, 10u);
        QCOMPARE(t.scopes.size(), 7);
        QVERIFY(t.types.contains(DiscoveryMessages::deviceType()));
    }
}

void tst_OnvifDiscovery::hostile_data()
{
    QTest::addColumn<QByteArray>("datagram");
    const QByteArray good = target("urn:uuid:1", "http://127.0.0.2/onvif/device_service");
    QTest::newRow("fine") << probeMatches("urn:uuid:p", {good});
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("OASIS 1.1 namespace")
        << message("ProbeMatches", "<d:ProbeMatches><d:ProbeMatch>" + good + "</d:ProbeMatch></d:ProbeMatches>", "x",
                   "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01");
    QTest::newRow("no endpoint") << probeMatches("x", {"<d:Types>nt:NetworkVideoTransmitter</d:Types>"});
    QTest::newRow("one match of two without endpoint") << probeMatches("x", {good, "<d:XAddrs>http://a/</d:XAddrs>"});
    QTest::newRow("no match") << probeMatches("x", {});
    QTest::newRow("entity") << "<!DOCTYPE s:Envelope [<!ENTITY e \"x\">]>" + probeMatches("x", {good});
    QByteArray deep = good;
    for (int i = 0; i < 40; ++i)
        deep = "<d:X>" + deep + "</d:X>";
    QTest::newRow("deep") << probeMatches("x", {deep});
    QTest::newRow("oversized") << probeMatches("x", {good + QByteArray(40 * 1024, ' ')});
    QTest::newRow("truncated") << probeMatches("x", {good}).left(300);
    QTest::newRow("fault") << QByteArray("<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><s:Fault>"
                                         "<s:Code><s:Value>s:Sender</s:Value></s:Code></s:Fault></s:Body></s:Envelope>");
    QTest::newRow("SOAP 1.1")
        << probeMatches("x", {good}).replace("http://www.w3.org/2003/05/soap-envelope", "http://schemas.xmlsoap.org/soap/envelope/");
    QTest::newRow("unknown body") << message("Resolve", "<d:Resolve/>");
    QTest::newRow("bye without endpoint") << message("Bye", "<d:Bye/>");
}

void tst_OnvifDiscovery::hostile()
{
    QFETCH(QByteArray, datagram);
    DiscoveryMessage m;
    XmlLimits limits;
    limits.maxBytes = 32 * 1024;
    QCOMPARE(DiscoveryMessages::parse(datagram, &m, limits), QByteArray(QTest::currentDataTag()) == "fine");
}

void tst_OnvifDiscovery::table()
{
    DiscoveryTable t(3, 1000);
    const DiscoveryTarget a = makeTarget(QStringLiteral("urn:uuid:a"), {QStringLiteral("http://10.0.0.2/onvif/device_service"),
                                                                        QStringLiteral("http://192.168.1.2/onvif/device_service")});
    QCOMPARE(t.hear(a, QStringLiteral("10.0.0.2"), QStringLiteral("eth0"), 0), DiscoveryTable::Change::Added);
    // The same answer again (a repeated round): nothing new.
    QCOMPARE(t.hear(a, QStringLiteral("10.0.0.2"), QStringLiteral("eth0"), 100), DiscoveryTable::Change::None);
    // Heard on a second interface from a second address that each answer
    // names as the device's own: one device, merged.
    DiscoveryTarget a2 = a;
    a2.xaddrs = {a.xaddrs.constLast(), a.xaddrs.constFirst()};
    QCOMPARE(t.hear(a2, QStringLiteral("192.168.1.2"), QStringLiteral("eth1"), 200), DiscoveryTable::Change::Updated);
    QCOMPARE(t.find(a.endpoint)->sources.size(), 2);
    QCOMPARE(t.size(), 1);
    QCOMPARE(t.find(a.endpoint)->xaddrs.size(), 2);
    QCOMPARE(t.find(a.endpoint)->interfaces, (QStringList{QStringLiteral("eth0"), QStringLiteral("eth1")}));
    QCOMPARE(t.find(a.endpoint)->firstHeardMs, 0);
    // Another host with a higher metadata version does not move it: a
    // device of its own, beside it. Its Bye removes only itself, and a Bye
    // from a host it was not heard from removes nothing.
    const DiscoveryTarget rogue = makeTarget(a.endpoint, {QStringLiteral("http://10.0.0.9/onvif/device_service")}, 2);
    const DiscoveredDevice *heard = nullptr;
    QCOMPARE(t.hear(rogue, QStringLiteral("10.0.0.9"), QStringLiteral("eth0"), 300, &heard),
             DiscoveryTable::Change::Added);
    QCOMPARE(heard->origin, QStringLiteral("10.0.0.9"));
    QCOMPARE(t.size(), 2);
    QCOMPARE(t.find(a.endpoint)->xaddrs.constFirst(), a.xaddrs.constFirst());
    QCOMPARE(t.bye(a.endpoint, QStringLiteral("10.0.0.66")), QString());
    QCOMPARE(t.bye(a.endpoint, QStringLiteral("10.0.0.9")), QStringLiteral("10.0.0.9"));
    QCOMPARE(t.size(), 1);
    // A late answer of an older version changes nothing.
    QCOMPARE(t.hear(makeTarget(a.endpoint, a.xaddrs, 0), QStringLiteral("10.0.0.2"), QStringLiteral("eth0"), 350),
             DiscoveryTable::Change::None);

    // Bounded and shared: when full, a host holding fewer rows pushes out
    // the newest row of the host holding the most; one as large as the
    // others gets nothing more, and the refusals are counted.
    for (const char *e : {"urn:uuid:b", "urn:uuid:c"})
        QCOMPARE(t.hear(makeTarget(QString::fromLatin1(e), {}), QStringLiteral("10.0.0.3"), QString(), 400),
                 DiscoveryTable::Change::Added);
    DiscoveryTable::PushedOut pushedOut;
    QCOMPARE(t.hear(makeTarget(QStringLiteral("urn:uuid:d"), {}), QStringLiteral("10.0.0.4"), QString(), 400, nullptr,
                    &pushedOut),
             DiscoveryTable::Change::Added);
    QCOMPARE(pushedOut.endpoint, QStringLiteral("urn:uuid:c"));
    QCOMPARE(pushedOut.origin, QStringLiteral("10.0.0.3"));
    for (const char *host : {"10.0.0.4", "10.0.0.3"})
        QCOMPARE(t.hear(makeTarget(QStringLiteral("urn:uuid:e"), {}), QString::fromLatin1(host), QString(), 400),
                 DiscoveryTable::Change::Refused);
    QCOMPARE(t.refused(), 2);
    QCOMPARE(t.size(), 3);

    // Announcements with ever new scopes at one version: what is kept stays
    // bounded, and nothing changes once it is full.
    DiscoveryTarget noisy = makeTarget(QStringLiteral("urn:uuid:d"), {});
    for (int i = 0; i < DiscoveryTable::kMaxScopes + 10; ++i)
        noisy.scopes.append(QStringLiteral("onvif://www.onvif.org/x/%1").arg(i));
    QCOMPARE(t.hear(noisy, QStringLiteral("10.0.0.4"), QString(), 400), DiscoveryTable::Change::Updated);
    noisy.scopes = {QStringLiteral("onvif://www.onvif.org/x/new")};
    QCOMPARE(t.hear(noisy, QStringLiteral("10.0.0.4"), QString(), 400), DiscoveryTable::Change::None);
    QCOMPARE(t.find(noisy.endpoint)->scopes.size(), DiscoveryTable::kMaxScopes);

    // Bye forgets at once; silence after the limit.
    QVERIFY(t.bye(QStringLiteral("urn:uuid:b")));
    QVERIFY(!t.bye(QStringLiteral("urn:uuid:b")));
    QCOMPARE(t.expire(1350), QStringList());   // a heard at 350: 1000 ms later still there
    QStringList gone = t.expire(1401);
    gone.sort();
    QCOMPARE(gone, (QStringList{QStringLiteral("urn:uuid:a"), QStringLiteral("urn:uuid:d")}));
    QCOMPARE(t.size(), 0);
}

void tst_OnvifDiscovery::serviceAddress_data()
{
    QTest::addColumn<QStringList>("xaddrs");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("expected");
    const QString https = QStringLiteral("https://10.0.0.5/onvif/device_service");
    const QString v4 = QStringLiteral("http://10.0.0.5/onvif/device_service");
    const QString ll = QStringLiteral("http://169.254.3.4/onvif/device_service");
    const QString v6 = QStringLiteral("http://[fe80::2]:80/onvif/device_service");
    QTest::newRow("first is link-local") << QStringList{ll, v4} << QStringList{} << v4;
    QTest::newRow("the one heard from") << QStringList{v4, ll} << QStringList{QStringLiteral("169.254.3.4")} << ll;
    QTest::newRow("https first") << QStringList{https, v4} << QStringList{} << v4;
    QTest::newRow("IPv6 only") << QStringList{v6} << QStringList{} << v6;
    QTest::newRow("https only") << QStringList{https} << QStringList{} << https;
    QTest::newRow("none") << QStringList{} << QStringList{} << QString();
    QTest::newRow("placeholder") << QStringList{QStringLiteral("http://{4}/onvif/device_service"), v4}
                                 << QStringList{} << v4;
}

void tst_OnvifDiscovery::serviceAddress()
{
    QFETCH(QStringList, xaddrs);
    QFETCH(QStringList, sources);
    QFETCH(QString, expected);
    DiscoveredDevice d;
    d.xaddrs = xaddrs;
    d.sources = sources;
    QCOMPARE(d.serviceAddress().toString(), expected);
}

void tst_OnvifDiscovery::addressRange_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<int>("count");
    QTest::newRow("one") << QStringLiteral("192.0.2.7") << QStringLiteral("192.0.2.7") << 1;
    QTest::newRow("across an octet") << QStringLiteral("192.0.2.250") << QStringLiteral("192.0.3.5") << 12;
    QTest::newRow("reversed") << QStringLiteral("192.0.2.9") << QStringLiteral("192.0.2.1") << 0;
    QTest::newRow("too long") << QStringLiteral("10.0.0.0") << QStringLiteral("10.1.0.0") << 0;
    QTest::newRow("IPv6") << QStringLiteral("2001:db8::1") << QStringLiteral("2001:db8::2") << 0;
    QTest::newRow("to the top") << QStringLiteral("255.255.255.254") << QStringLiteral("255.255.255.255") << 2;
}

void tst_OnvifDiscovery::addressRange()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(int, count);
    const QList<QHostAddress> r = DiscoveryClient::addressRange(QHostAddress(first), QHostAddress(last), 4096);
    QCOMPARE(r.size(), count);
    if (count) {
        QCOMPARE(r.constFirst(), QHostAddress(first));
        QCOMPARE(r.constLast(), QHostAddress(last));
    }
}

DiscoveryOptions tst_OnvifDiscovery::options(quint16 port, const char *group)
{
    DiscoveryOptions o;
    o.port = port;
    o.group4 = QHostAddress(QString::fromLatin1(group));
    o.interfaces = {"lo"};
    o.probeRounds = 1;
    o.roundIntervalMs = 20;
    o.listenTailMs = 50;
    return o;
}

// Both Probes go out; duplicates and a second address of one device make
// one device; Types resolve whatever the prefix.
void tst_OnvifDiscovery::probesAndMerges()
{
    Responder responder(33701, QHostAddress(QStringLiteral("239.255.77.1")));
    responder.answer = [](const DiscoveryMessage &probe) {
        const QByteArray id = probe.messageId.toUtf8();
        return QList<QByteArray>{
            probeMatches(id, {target("urn:uuid:one", "http://127.0.0.2/onvif/device_service")}),
            probeMatches(id, {target("urn:uuid:one", "http://127.0.0.2/onvif/device_service")}),
            probeMatches(id, {target("uuid:two", "http://169.254.0.3/onvif/device_service http://127.0.0.3/onvif/device_service"),
                              target("urn:uuid:one", "http://[fe80::1]/onvif/device_service")}),
        };
    };
    DiscoveryClient client(options(33701, "239.255.77.1"));
    QSignalSpy found(&client, &DiscoveryClient::deviceFound);
    QSignalSpy finished(&client, &DiscoveryClient::probeFinished);
    QVERIFY(client.start());
    QCOMPARE(client.interfaces4(), QStringList{QStringLiteral("lo")});
    client.probe();
    QVERIFY(finished.wait(5000));
    QTRY_COMPARE(responder.probes, 2);
    QCOMPARE(responder.probedTypes.at(0), QStringList{kNvt});
    QCOMPARE(responder.probedTypes.at(1), QStringList{});
    QTRY_COMPARE(client.devices().size(), 2);
    QCOMPARE(found.size(), 2);
    const DiscoveredDevice *one = client.device(QStringLiteral("urn:uuid:one"));
    QVERIFY(one);
    QCOMPARE(one->xaddrs.size(), 2);
    QCOMPARE(one->sources, QStringList{QStringLiteral("127.0.0.1")});
    QCOMPARE(one->interfaces, QStringList{QStringLiteral("lo")});
    QVERIFY(one->isNetworkVideoTransmitter());
    QCOMPARE(client.device(QStringLiteral("uuid:two"))->serviceAddress().host(), QStringLiteral("127.0.0.3"));
    QCOMPARE(client.malformedCount(), 0);
}

void tst_OnvifDiscovery::helloAndBye()
{
    Responder responder(33702, QHostAddress(QStringLiteral("239.255.77.2")));
    DiscoveryClient client(options(33702, "239.255.77.2"));
    QSignalSpy found(&client, &DiscoveryClient::deviceFound);
    QSignalSpy lost(&client, &DiscoveryClient::deviceLost);
    QVERIFY(client.start());
    responder.multicast(message("Hello", "<d:Hello>" + target("urn:uuid:h", "http://127.0.0.5/onvif/device_service") + "</d:Hello>"));
    QVERIFY(found.wait(5000));
    QCOMPARE(found.constFirst().constFirst().value<DiscoveredDevice>().endpoint, QStringLiteral("urn:uuid:h"));
    responder.multicast(message("Bye", "<d:Bye><a:EndpointReference><a:Address>urn:uuid:h</a:Address></a:EndpointReference></d:Bye>"));
    QVERIFY(lost.wait(5000));
    QCOMPARE(lost.constFirst().constFirst().toString(), QStringLiteral("urn:uuid:h"));
    QVERIFY(client.devices().isEmpty());
    // A Bye for a device never heard: nothing.
    responder.multicast(message("Bye", "<d:Bye><a:EndpointReference><a:Address>urn:uuid:x</a:Address></a:EndpointReference></d:Bye>"));
    responder.multicast(message("Hello", "<d:Hello>" + target("urn:uuid:h2", "http://127.0.0.6/") + "</d:Hello>"));
    QVERIFY(found.wait(5000));
    QCOMPARE(lost.size(), 1);
}

// The first round is lost both ways for some devices: the later rounds
// find them within the same window.
void tst_OnvifDiscovery::lossIsRecovered()
{
    Responder responder(33703, QHostAddress(QStringLiteral("239.255.77.3")));
    int round = 0;
    responder.answer = [&round](const DiscoveryMessage &probe) {
        const int r = round++;
        QList<QByteArray> out;
        for (int i = 0; i < 20; ++i) {
            // Device i answers only from round i % 3 on (two probes a round).
            if (r / 2 >= i % 3)
                out.append(probeMatches(probe.messageId.toUtf8(),
                                        {target("urn:uuid:dev" + QByteArray::number(i), "http://127.0.1." + QByteArray::number(i) + "/")}));
        }
        return out;
    };
    DiscoveryOptions o = options(33703, "239.255.77.3");
    o.probeRounds = 3;
    DiscoveryClient client(o);
    QSignalSpy finished(&client, &DiscoveryClient::probeFinished);
    QVERIFY(client.start());
    client.probe();
    QVERIFY(finished.wait(5000));
    QTRY_COMPARE(client.devices().size(), 20);
    QCOMPARE(responder.probes, 6);
}

void tst_OnvifDiscovery::malformedAndBounded()
{
    Responder responder(33704, QHostAddress(QStringLiteral("239.255.77.4")));
    DiscoveryOptions o = options(33704, "239.255.77.4");
    o.maxDevices = 5;
    o.maxDatagram = 4096;
    DiscoveryClient client(o);
    QSignalSpy found(&client, &DiscoveryClient::deviceFound);
    QVERIFY(client.start());
    responder.multicast("garbage");
    responder.multicast(message("Hello", "<d:Hello>" + target("urn:uuid:big", "http://127.0.0.7/") + QByteArray(5000, ' ') + "</d:Hello>"));
    responder.multicast("<!DOCTYPE x [<!ENTITY a \"b\">]><x>&a;</x>");
    for (int i = 0; i < 8; ++i)
        responder.multicast(message("Hello", "<d:Hello>" + target("urn:uuid:f" + QByteArray::number(i), "http://127.0.0.8/") + "</d:Hello>"));
    QTRY_COMPARE(found.size(), 5);
    QTRY_COMPARE(client.refusedCount(), 3);
    QCOMPARE(client.malformedCount(), 3);
    QVERIFY(!client.device(QStringLiteral("urn:uuid:big")));
}

// Unicast to an address: the device answers although no multicast reaches it.
void tst_OnvifDiscovery::directedProbe()
{
    QUdpSocket device;
    // Its own address, beside the client's wildcard bind of the same port.
    QVERIFY(device.bind(QHostAddress::LocalHost, 33705, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    int heard = 0;
    connect(&device, &QUdpSocket::readyRead, this, [&] {
        while (device.hasPendingDatagrams()) {
            const QNetworkDatagram d = device.receiveDatagram();
            DiscoveryMessage m;
            if (!DiscoveryMessages::parse(d.data(), &m))
                continue;
            ++heard;
            device.writeDatagram(probeMatches(m.messageId.toUtf8(), {target("urn:uuid:far", "http://127.0.0.1/")}),
                                 d.senderAddress(), d.senderPort());
        }
    });
    DiscoveryClient client(options(33705, "239.255.77.5"));
    // What "Find by address" shows: asked of all, answered, and the end.
    QSignalSpy progress(&client, &DiscoveryClient::directedProgress);
    QSignalSpy finished(&client, &DiscoveryClient::directedFinished);
    QVERIFY(client.start());
    QVERIFY(!client.probeAddresses(DiscoveryClient::addressRange(QHostAddress(QStringLiteral("10.0.0.0")),
                                                                 QHostAddress(QStringLiteral("10.0.255.255")), 1 << 20)));
    QVERIFY(client.probeAddresses(DiscoveryClient::addressRange(QHostAddress(QStringLiteral("127.0.0.1")),
                                                                QHostAddress(QStringLiteral("127.0.0.40")), 4096)));
    QTRY_VERIFY(client.device(QStringLiteral("urn:uuid:far")));
    QCOMPARE(heard, 2);
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first(), (QVariantList{40, 1}));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.first().at(1).toInt(), 40);
    QCOMPARE(progress.last(), (QVariantList{40, 40, 1}));
}

void tst_OnvifDiscovery::silenceForgets()
{
    Responder responder(33706, QHostAddress(QStringLiteral("239.255.77.6")));
    DiscoveryOptions o = options(33706, "239.255.77.6");
    o.silenceLimitMs = 60000;
    DiscoveryClient client(o);
    qint64 now = 1000;
    client.setClock([&now] { return now; });
    QSignalSpy found(&client, &DiscoveryClient::deviceFound);
    QSignalSpy lost(&client, &DiscoveryClient::deviceLost);
    QVERIFY(client.start());
    responder.multicast(message("Hello", "<d:Hello>" + target("urn:uuid:q", "http://127.0.0.9/") + "</d:Hello>"));
    QVERIFY(found.wait(5000));
    now += 60000;
    client.sweep();
    QCOMPARE(lost.size(), 0);
    now += 1;
    client.sweep();
    QCOMPARE(lost.size(), 1);
    QVERIFY(client.devices().isEmpty());
}

// A host answering with endpoints without end, forged answers to Probes
// never sent, and one endpoint re-announced with new scopes each time: the
// real device is listed, and the flood's cost ends with it.
void tst_OnvifDiscovery::floodsEndWithTheFlood()
{
    Responder responder(33707, QHostAddress(QStringLiteral("239.255.77.7")));
    QUdpSocket rogue;
    QVERIFY(rogue.bind(QHostAddress(QStringLiteral("127.0.0.66")), 0));
    // The real device answers only once the flood has filled the table.
    bool realAnswers = false;
    responder.answer = [&](const DiscoveryMessage &probe) {
        QList<QByteArray> out{probeMatches("urn:uuid:never-sent", {target("urn:uuid:forged", "http://127.0.0.1/")})};
        if (realAnswers)
            out.append(probeMatches(probe.messageId.toUtf8(),
                                    {target("urn:uuid:real", "http://127.0.0.1/onvif/device_service")}));
        return out;
    };
    DiscoveryOptions o = options(33707, "239.255.77.7");
    o.maxDevices = 50;
    o.probeRounds = 1;
    DiscoveryClient client(o);
    QSignalSpy changed(&client, &DiscoveryClient::deviceChanged);
    QVERIFY(client.start());
    // The rogue learns the probe port from the first Probe, as a listener
    // on the group would, and floods it with answers to that Probe.
    QUdpSocket spy;
    QVERIFY(spy.bind(QHostAddress::AnyIPv4, 33707, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QVERIFY(spy.joinMulticastGroup(QHostAddress(QStringLiteral("239.255.77.7")),
                                   QNetworkInterface::interfaceFromName(QStringLiteral("lo"))));
    client.probe();
    QTRY_VERIFY(spy.hasPendingDatagrams());
    const QNetworkDatagram heard = spy.receiveDatagram();
    DiscoveryMessage probe;
    QVERIFY(DiscoveryMessages::parse(heard.data(), &probe));
    for (int i = 0; i < 500; ++i) {
        rogue.writeDatagram(probeMatches(probe.messageId.toUtf8(),
                                         {target("urn:uuid:flood" + QByteArray::number(i), "http://127.0.0.66/")}),
                            heard.senderAddress(), heard.senderPort());
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    QTRY_COMPARE(client.devices().size(), o.maxDevices);
    realAnswers = true;
    client.probe();
    QTRY_VERIFY(client.device(QStringLiteral("urn:uuid:real")));
    QTRY_VERIFY(client.refusedCount() > 0);
    QVERIFY(!client.device(QStringLiteral("urn:uuid:forged")));
    QVERIFY(client.unmatchedCount() > 0);
    QVERIFY(client.devices().size() <= o.maxDevices);

    // One endpoint, a new 4 KB of scopes in each of 300 Hellos: what it
    // keeps is capped, and once full nothing more is reported.
    for (int i = 0; i < 300; ++i) {
        QByteArray scopes;
        for (int k = 0; k < 100; ++k)
            scopes += "onvif://www.onvif.org/x/" + QByteArray::number(i * 100 + k) + ' ';
        responder.multicast(message("Hello", "<d:Hello>" + target("urn:uuid:real", "http://127.0.0.1/onvif/device_service", 1, scopes)
                                                 + "</d:Hello>"));
    }
    QTRY_COMPARE(client.device(QStringLiteral("urn:uuid:real"))->scopes.size(), DiscoveryTable::kMaxScopes);
    QTest::qWait(100);
    QVERIFY2(changed.size() <= 2, qPrintable(QString::number(changed.size())));
}

void tst_OnvifDiscovery::besideAnotherListener_data()
{
    QTest::addColumn<int>("holderOption");
    QTest::addColumn<bool>("listening");
    QTest::newRow("held alone") << 0 << false;
    QTest::newRow("shared by SO_REUSEPORT only") << int(SO_REUSEPORT) << true;
}

// Another program bound to the discovery port on this host: the client
// still probes, by multicast and directed, with answers on its own port.
void tst_OnvifDiscovery::besideAnotherListener()
{
    QFETCH(int, holderOption);
    QFETCH(bool, listening);
    constexpr quint16 kPort = 33708;
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    QVERIFY(holder >= 0);
    const int one = 1;
    if (holderOption)
        QCOMPARE(setsockopt(holder, SOL_SOCKET, holderOption, &one, sizeof one), 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(kPort);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(holder, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    auto closeHolder = qScopeGuard([holder] { ::close(holder); });

    Responder responder(kPort, QHostAddress(QStringLiteral("239.255.77.8")), QHostAddress(QStringLiteral("239.255.77.8")));
    responder.answer = [](const DiscoveryMessage &probe) {
        return QList<QByteArray>{probeMatches(probe.messageId.toUtf8(), {target("urn:uuid:near", "http://127.0.0.1/")})};
    };
    QUdpSocket far;
    // Another host's device, as far as the port goes.
    QVERIFY(far.bind(QHostAddress(QStringLiteral("127.0.0.2")), kPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    connect(&far, &QUdpSocket::readyRead, this, [&far] {
        while (far.hasPendingDatagrams()) {
            const QNetworkDatagram d = far.receiveDatagram();
            DiscoveryMessage m;
            if (DiscoveryMessages::parse(d.data(), &m))
                far.writeDatagram(probeMatches(m.messageId.toUtf8(), {target("urn:uuid:far", "http://127.0.0.2/")}),
                                  d.senderAddress(), d.senderPort());
        }
    });

    DiscoveryClient client(options(kPort, "239.255.77.8"));
    QVERIFY(client.start());
    QCOMPARE(client.isListening(), listening);
    client.probe();
    QVERIFY(client.probeAddresses({QHostAddress(QStringLiteral("127.0.0.2"))}));
    QTRY_VERIFY(client.device(QStringLiteral("urn:uuid:near")));
    QTRY_VERIFY(client.device(QStringLiteral("urn:uuid:far")));
}

QTEST_GUILESS_MAIN(tst_OnvifDiscovery)
#include "tst_onvifdiscovery.moc"
