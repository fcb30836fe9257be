// WS-Discovery over more than one link: a veth pair inside the test's own
// network namespace gives two interfaces with link-local IPv6, a second
// pair two with IPv6 alone. Runs only where the namespace holds nothing
// but loopback (./test.sh's), never on a host's own interfaces.

#include "calloutcome.h"
#include "onvif/deviceclient.h"
#include "onvif/discoveryclient.h"
#include "onvif/discoverymessage.h"
#include "onvifsim.h"
#include "tests/tools/privatenetwork.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

using namespace Onvif;

namespace {

const char *const kA = "onvA";
const char *const kB = "onvB";
// No IPv4 address on either end.
const char *const kC = "onvC";
const char *const kD = "onvD";

using TestSupport::hasLinkLocalIPv6;
using TestSupport::ip;

bool makePair(const char *one, const char *other)
{
    return ip({QStringLiteral("link"), QStringLiteral("add"), QString::fromLatin1(one), QStringLiteral("type"),
               QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), QString::fromLatin1(other)});
}

QByteArray hello(const QByteArray &endpoint)
{
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" xmlns:x=\"http://www.onvif.org/ver10/network/wsdl\">"
           "<s:Header><a:MessageID>urn:uuid:h</a:MessageID></s:Header><s:Body><d:Hello><a:EndpointReference><a:Address>"
        + endpoint
        + "</a:Address></a:EndpointReference><d:Types>x:NetworkVideoTransmitter</d:Types>"
          "<d:XAddrs>http://[fe80::1]/onvif/device_service</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion>"
          "</d:Hello></s:Body></s:Envelope>";
}

} // namespace

class tst_OnvifLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void ipv6();
    void twoInterfacesWithLoss();
    void simulatorOverIPv6Only();

private:
    bool m_made = false;
};

void tst_OnvifLinks::initTestCase()
{
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
        if (!(iface.flags() & QNetworkInterface::IsLoopBack))
            QSKIP("runs only in a network namespace of its own (./test.sh)");
    }
    if (!makePair(kA, kB))
        QSKIP("cannot make a veth pair here (needs CAP_NET_ADMIN in the namespace)");
    m_made = true;
    QVERIFY(makePair(kC, kD));
    // Link-local addresses usable at once, without duplicate detection.
    for (const char *name : {kA, kB, kC, kD}) {
        QFile dad(QStringLiteral("/proc/sys/net/ipv6/conf/%1/accept_dad").arg(QString::fromLatin1(name)));
        QVERIFY(dad.open(QIODevice::WriteOnly) && dad.write("0") == 1);
    }
    QVERIFY(ip({QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("10.97.0.1/24"), QStringLiteral("dev"),
                QString::fromLatin1(kA)}));
    QVERIFY(ip({QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("10.97.0.2/24"), QStringLiteral("dev"),
                QString::fromLatin1(kB)}));
    for (const char *name : {kA, kB, kC, kD})
        QVERIFY(ip({QStringLiteral("link"), QStringLiteral("set"), QString::fromLatin1(name), QStringLiteral("up")}));
    QTRY_VERIFY_WITH_TIMEOUT(
        hasLinkLocalIPv6(kA) && hasLinkLocalIPv6(kB) && hasLinkLocalIPv6(kC) && hasLinkLocalIPv6(kD), 5000);
}

void tst_OnvifLinks::cleanupTestCase()
{
    if (m_made) {
        ip({QStringLiteral("link"), QStringLiteral("del"), QString::fromLatin1(kA)});
        ip({QStringLiteral("link"), QStringLiteral("del"), QString::fromLatin1(kC)});
    }
}

// Probe to ff02::c out of one end, answered from the other end's
// link-local address; Hello over IPv6 heard too.
void tst_OnvifLinks::ipv6()
{
    const quint16 port = 35701;
    const QNetworkInterface b = QNetworkInterface::interfaceFromName(QString::fromLatin1(kB));
    QUdpSocket device;
    QVERIFY(device.bind(QHostAddress::AnyIPv6, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QVERIFY(device.joinMulticastGroup(QHostAddress(QStringLiteral("ff02::c")), b));
    QSet<QString> probes;
    connect(&device, &QUdpSocket::readyRead, this, [&] {
        while (device.hasPendingDatagrams()) {
            const QNetworkDatagram d = device.receiveDatagram();
            DiscoveryMessage m;
            if (!DiscoveryMessages::parse(d.data(), &m) || m.kind != DiscoveryMessage::Kind::Probe)
                continue;
            // The socket is dual-stack and, as Linux has it by default, hears
            // the group on every interface where anyone joined it: the same
            // Probe may come more than once, and the IPv4 ones too.
            bool mapped = false;
            d.senderAddress().toIPv4Address(&mapped);
            if (!mapped)
                probes.insert(m.messageId);
            QByteArray matches = hello("urn:uuid:six");
            matches.replace("<d:Hello>", "<d:ProbeMatches><d:ProbeMatch>")
                .replace("</d:Hello>", "</d:ProbeMatch></d:ProbeMatches>")
                .replace("</s:Header>", "<a:RelatesTo>" + m.messageId.toUtf8() + "</a:RelatesTo></s:Header>");
            device.writeDatagram(matches, d.senderAddress(), d.senderPort());
        }
    });

    DiscoveryOptions o;
    o.port = port;
    o.interfaces = {kA};
    o.probeRounds = 1;
    o.listenTailMs = 50;
    DiscoveryClient client(o);
    QVERIFY(client.start());
    QCOMPARE(client.interfaces6(), QStringList{QString::fromLatin1(kA)});
    QCOMPARE(client.interfaces4(), QStringList{QString::fromLatin1(kA)});
    client.probe();
    QTRY_VERIFY(client.device(QStringLiteral("urn:uuid:six")));
    QCOMPARE(probes.size(), 2);  // both Probes over IPv6
    const DiscoveredDevice *d = client.device(QStringLiteral("urn:uuid:six"));
    QCOMPARE(d->interfaces, QStringList{QString::fromLatin1(kA)});
    QVERIFY(d->sources.constFirst().startsWith(QLatin1String("fe80::")));
    QVERIFY(!d->sources.constFirst().contains(u'%'));

    QSignalSpy found(&client, &DiscoveryClient::deviceFound);
    QHostAddress group(QStringLiteral("ff02::c"));
    group.setScopeId(QString::fromLatin1(kB));
    device.setMulticastInterface(b);
    device.writeDatagram(hello("urn:uuid:hello6"), group, port);
    QVERIFY(found.wait(5000));
    QVERIFY(client.device(QStringLiteral("urn:uuid:hello6")));
}

// The simulator on loopback and one end, the client on loopback and the
// other, 10% loss each way: every device once, whatever link it came by.
void tst_OnvifLinks::twoInterfacesWithLoss()
{
    const QString simulator = qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH));
    QProcess help;
    help.start(simulator, {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    if (!help.readAllStandardOutput().contains("--onvif"))
        QSKIP("this simulator has no ONVIF devices");
    TestSupport::OnvifSim sim;
    QVERIFY(sim.start(simulator, 40, 35702, 18301, QStringLiteral("127.44.0.1"),
                      {QStringLiteral("--drop"), QStringLiteral("0.1"), QStringLiteral("--interfaces"),
                       QStringLiteral("lo,") + QString::fromLatin1(kB)}));
    DiscoveryOptions o;
    o.port = 35702;
    o.interfaces = {"lo", kA};
    DiscoveryClient client(o);
    QSignalSpy found(&client, &DiscoveryClient::deviceFound);
    QSignalSpy finished(&client, &DiscoveryClient::probeFinished);
    QVERIFY(client.start());
    QCOMPARE(client.interfaces4(), (QStringList{QStringLiteral("lo"), QString::fromLatin1(kA)}));
    client.probe();
    QVERIFY(finished.wait(10000));
    QTRY_COMPARE_WITH_TIMEOUT(client.devices().size(), 40, 5000);
    QCOMPARE(found.size(), 40);
    QCOMPARE(client.malformedCount(), 0);
}

// The simulator and the client on a link with IPv6 alone: Probes to
// ff02::c, ProbeMatches back to the client's link-local address, Bye to
// the group; the XAddrs name the devices' loopback service, reachable from
// this host, and a call there answers.
void tst_OnvifLinks::simulatorOverIPv6Only()
{
    const QString simulator = qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH));
    TestSupport::OnvifSim sim;
    QVERIFY(sim.start(simulator, 3, 35703, 18303, QStringLiteral("127.45.0.1"),
                      {QStringLiteral("--interfaces"), QString::fromLatin1(kD), QStringLiteral("--onvif-behaviour"),
                       QStringLiteral("plain")}));
    DiscoveryOptions o;
    o.port = 35703;
    o.interfaces = {kC};
    o.probeRounds = 1;
    DiscoveryClient client(o);
    QSignalSpy lost(&client, &DiscoveryClient::deviceLost);
    QVERIFY(client.start());
    QVERIFY(client.interfaces4().isEmpty());
    QCOMPARE(client.interfaces6(), QStringList{QString::fromLatin1(kC)});
    client.probe();
    QTRY_COMPARE_WITH_TIMEOUT(client.devices().size(), 3, 5000);
    for (const DiscoveredDevice &d : client.devices()) {
        QCOMPARE(d.interfaces.join(u','), QString::fromLatin1(kC));
        QVERIFY2(d.sources.constFirst().startsWith(QLatin1String("fe80::")), qPrintable(d.sources.constFirst()));
        QVERIFY2(d.serviceAddress().host().startsWith(QLatin1String("127.45.0.")), qPrintable(d.xaddrs.join(u' ')));
    }

    QNetworkAccessManager *network = DeviceClient::makeNetworkManager(this);
    DeviceClient device(client.devices().constFirst().serviceAddress(), network);
    device.setCredentials(QStringLiteral("admin"), QStringLiteral("Admin12345"));
    TestSupport::CallOutcome<DeviceInformation> information;
    device.getDeviceInformation(information.callback());
    QVERIFY(information.wait());
    QVERIFY2(information.result.ok(), qPrintable(information.result.error.reason));

    QVERIFY(sim.stop());
    QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 3, 5000);
}

QTEST_GUILESS_MAIN(tst_OnvifLinks)
#include "tst_onviflinks.moc"
