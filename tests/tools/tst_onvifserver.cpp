// The I/O of the simulated ONVIF devices, in a network namespace of the
// test's own: ProbeMatches from each device's own address to the prober,
// a repeated probe answered once, directed probes, Bye from every device
// at the end, HTTP that keeps serving while one device stays silent, and
// devices serving on IPv6 addresses.

#include "onvifrequests.h"
#include "privatenetwork.h"

#include "tools/devsim/onvifserver.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <QUuid>

using VoskSim::OnvifFleetOptions;
using VoskSim::OnvifServer;
using VoskSim::OnvifSoap;

namespace {

constexpr int kDevices = 12;
const QHostAddress kGroup(QStringLiteral("239.255.255.250"));

QByteArray probe(const QString &messageId, const QString &types = QStringLiteral("dn:NetworkVideoTransmitter"))
{
    return QStringLiteral("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\""
                          " xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
                          " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
                          " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><e:Header>"
                          "<w:MessageID>%1</w:MessageID><w:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</w:To>"
                          "<w:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</w:Action></e:Header>"
                          "<e:Body><d:Probe><d:Types>%2</d:Types></d:Probe></e:Body></e:Envelope>")
        .arg(messageId, types)
        .toUtf8();
}

QString newId()
{
    return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

struct Match
{
    QString relatesTo;
    QString endpoint;
    QString xaddr;
    QHostAddress sender;
};

} // namespace

class tst_OnvifServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyDeviceAnswersFromItsOwnAddress();
    void aRepeatedProbeIsAnsweredOnce();
    void directedProbes();
    void httpServesOnWhileOneDeviceIsSilent();
    void refusedRequestsCloseTheConnection();
    void ipv6Addresses();
    void byeFromEveryDeviceAtTheEnd();

private:
    void collect();
    int answersTo(const QString &id) const;

    std::unique_ptr<OnvifServer> m_server;
    QUdpSocket m_prober;
    QUdpSocket m_group;  // announcements
    QList<Match> m_matches;
    QList<QByteArray> m_announcements;
};

void tst_OnvifServer::initTestCase()
{
    QString error;
    if (!TestSupport::enterPrivateNetwork(error))
        QSKIP(qPrintable(error));
    const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
    QVERIFY(m_group.bind(QHostAddress::AnyIPv4, 3702, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    QVERIFY(m_group.joinMulticastGroup(kGroup, lo));
    QVERIFY(m_prober.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    m_prober.setMulticastInterface(lo);

    OnvifFleetOptions options;
    options.count = kDevices;
    options.seed = 3;
    options.interfaces = {"lo"};
    options.httpPort = 8080;
    options.firstAddress = 0x7F070001;  // 127.7.0.1
    QString rule;
    options.rules = {*VoskSim::OnvifBehaviour::parseRule(QStringLiteral("plain"), rule),
                     *VoskSim::OnvifBehaviour::parseRule(QStringLiteral("5:silent"), rule)};
    m_server = std::make_unique<OnvifServer>(options);
    QVERIFY2(m_server->open(error), qPrintable(error));
    // Every Hello, within WS-Discovery's 500 ms.
    QTRY_COMPARE_WITH_TIMEOUT((collect(), m_announcements.size()), kDevices, 5000);
    for (const QByteArray &hello : std::as_const(m_announcements))
        QVERIFY(hello.contains("discovery/Hello<"));
}

void tst_OnvifServer::cleanupTestCase()
{
    m_server.reset();
}

void tst_OnvifServer::collect()
{
    while (m_prober.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_prober.receiveDatagram();
        OnvifSoap::Message message;
        QCOMPARE(OnvifSoap::parse(d.data(), message), OnvifSoap::ParseError::None);
        const OnvifSoap::Element *match =
            message.payload.child(OnvifSoap::kDiscovery, u"ProbeMatch");
        QVERIFY(match);
        m_matches.append(Match{message.header.childText(OnvifSoap::kAddressing, u"RelatesTo"),
                               match->child(OnvifSoap::kAddressing, u"EndpointReference")
                                   ->childText(OnvifSoap::kAddressing, u"Address"),
                               match->childText(OnvifSoap::kDiscovery, u"XAddrs"), d.senderAddress()});
    }
    while (m_group.hasPendingDatagrams()) {
        const QByteArray data = m_group.receiveDatagram().data();
        if (!data.contains("discovery/Probe<"))
            m_announcements.append(data);
    }
}

int tst_OnvifServer::answersTo(const QString &id) const
{
    return int(std::count_if(m_matches.begin(), m_matches.end(), [&](const Match &m) { return m.relatesTo == id; }));
}

void tst_OnvifServer::everyDeviceAnswersFromItsOwnAddress()
{
    const QString id = newId();
    m_prober.writeDatagram(probe(id), kGroup, 3702);
    QTRY_COMPARE_WITH_TIMEOUT((collect(), answersTo(id)), kDevices, 5000);
    QSet<QString> endpoints;
    for (const Match &m : std::as_const(m_matches)) {
        if (m.relatesTo != id)
            continue;
        endpoints.insert(m.endpoint);
        QCOMPARE(m.xaddr, QStringLiteral("http://%1:8080/onvif/device_service").arg(m.sender.toString()));
        QVERIFY(m.sender.toString().startsWith(QLatin1String("127.7.0.")));
    }
    QCOMPARE(endpoints.size(), kDevices);
}

void tst_OnvifServer::aRepeatedProbeIsAnsweredOnce()
{
    // The repeat and a fresh probe leave together; answers to the repeat,
    // were there any, would come in the same 500 ms as the fresh ones.
    const QString id = newId();
    m_prober.writeDatagram(probe(id), kGroup, 3702);
    QTRY_COMPARE_WITH_TIMEOUT((collect(), answersTo(id)), kDevices, 5000);
    const QString fresh = newId();
    m_prober.writeDatagram(probe(id), kGroup, 3702);
    m_prober.writeDatagram(probe(fresh), kGroup, 3702);
    QTRY_COMPARE_WITH_TIMEOUT((collect(), answersTo(fresh)), kDevices, 5000);
    QCOMPARE(answersTo(id), kDevices);
}

void tst_OnvifServer::directedProbes()
{
    // Answered at once, by that device alone; a probe it does not match
    // goes unanswered (its answer would come before the next one's).
    const QHostAddress device(QStringLiteral("127.7.0.3"));
    const QString printer = newId();
    const QString camera = newId();
    m_prober.writeDatagram(probe(printer, QStringLiteral("dn:Printer")), device, 3702);
    m_prober.writeDatagram(probe(camera), device, 3702);
    QTRY_COMPARE_WITH_TIMEOUT((collect(), answersTo(camera)), 1, 5000);
    QCOMPARE(answersTo(printer), 0);
    const auto it = std::find_if(m_matches.begin(), m_matches.end(), [&](const Match &m) { return m.relatesTo == camera; });
    QCOMPARE(it->sender, device);
    // Nobody lives at 127.7.9.9: no answer from anyone.
    const QString nobody = newId();
    m_prober.writeDatagram(probe(nobody), QHostAddress(QStringLiteral("127.7.9.9")), 3702);
    const QString again = newId();
    m_prober.writeDatagram(probe(again), device, 3702);
    QTRY_COMPARE_WITH_TIMEOUT((collect(), answersTo(again)), 1, 5000);
    QCOMPARE(answersTo(nobody), 0);
}

void tst_OnvifServer::httpServesOnWhileOneDeviceIsSilent()
{
    const QByteArray body = TestSupport::onvifEnvelope(QStringLiteral("<tds:GetSystemDateAndTime/>"));
    const QByteArray request = "POST /onvif/device_service HTTP/1.1\r\nHost: x\r\nContent-Type: application/soap+xml\r\n"
                               "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    QTcpSocket silent;
    silent.connectToHost(QHostAddress(QStringLiteral("127.7.0.6")), 8080);
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::ConnectedState, 5000);
    silent.write(request);

    // Two requests on one connection to another device, both answered.
    QTcpSocket other;
    other.connectToHost(QHostAddress(QStringLiteral("127.7.0.1")), 8080);
    QTRY_COMPARE_WITH_TIMEOUT(other.state(), QAbstractSocket::ConnectedState, 5000);
    other.write(request + request);
    QByteArray answers;
    QTRY_COMPARE_WITH_TIMEOUT((answers += other.readAll(), answers.count("HTTP/1.1 200 OK")), 2, 5000);
    QVERIFY(answers.contains("GetSystemDateAndTimeResponse"));
    QCOMPARE(other.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(silent.bytesAvailable(), qint64(0));
    QCOMPARE(silent.state(), QAbstractSocket::ConnectedState);
}

void tst_OnvifServer::refusedRequestsCloseTheConnection()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QStringLiteral("127.7.0.2")), 8080);
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::ConnectedState, 5000);
    socket.write("POST / HTTP/1.1\r\nContent-Length: 999999\r\n\r\n");
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState), 5000);
    answer += socket.readAll();
    QVERIFY2(answer.startsWith("HTTP/1.1 413 "), answer.constData());
    QVERIFY(answer.contains("Connection: close"));
}

// A fleet of its own with IPv6 addresses on loopback: device 0 serves on
// both families and names both, device 1 on IPv6 alone, announced over
// IPv4 discovery all the same (loopback has no link-local IPv6), answering
// a directed probe at its IPv6 address from there.
void tst_OnvifServer::ipv6Addresses()
{
    for (const char *address : {"fd00:5d::1/128", "fd00:5d::2/128"}) {
        QCOMPARE(QProcess::execute(QStringLiteral("ip"), {QStringLiteral("-6"), QStringLiteral("addr"), QStringLiteral("add"),
                                                         QString::fromLatin1(address), QStringLiteral("dev"),
                                                         QStringLiteral("lo")}),
                 0);
    }
    constexpr quint16 port = 3712;
    const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
    QUdpSocket group;
    QVERIFY(group.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    QVERIFY(group.joinMulticastGroup(kGroup, lo));
    OnvifFleetOptions options;
    options.count = 2;
    options.seed = 4;
    options.interfaces = {"lo"};
    options.httpPort = 8080;
    options.discoveryPort = port;
    options.firstAddress = 0x7F070101;  // 127.7.1.1
    options.firstAddress6 = QHostAddress(QStringLiteral("fd00:5d::1"));
    QString error;
    options.rules = {*VoskSim::OnvifBehaviour::parseRule(QStringLiteral("plain"), error),
                     *VoskSim::OnvifBehaviour::parseRule(QStringLiteral("1:ipv6only"), error)};
    OnvifServer server(options);
    QVERIFY2(server.open(error), qPrintable(error));

    QStringList xaddrs;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 while (group.hasPendingDatagrams()) {
                                     OnvifSoap::Message m;
                                     if (OnvifSoap::parse(group.receiveDatagram().data(), m) == OnvifSoap::ParseError::None
                                         && m.payload.is(OnvifSoap::kDiscovery, u"Hello"))
                                         xaddrs << m.payload.childText(OnvifSoap::kDiscovery, u"XAddrs");
                                 }
                                 return xaddrs.size() == 2;
                             }()),
                             5000);
    xaddrs.sort();
    QCOMPARE(xaddrs, (QStringList{QStringLiteral("http://127.7.1.1:8080/onvif/device_service "
                                                 "http://[fd00:5d::1]:8080/onvif/device_service"),
                                  QStringLiteral("http://[fd00:5d::2]:8080/onvif/device_service")}));

    QUdpSocket prober;
    QVERIFY(prober.bind(QHostAddress::AnyIPv6, 0));
    const QHostAddress device(QStringLiteral("fd00:5d::2"));
    const QString id = newId();
    prober.writeDatagram(probe(id), device, port);
    QTRY_VERIFY_WITH_TIMEOUT(prober.hasPendingDatagrams(), 5000);
    const QNetworkDatagram answer = prober.receiveDatagram();
    QCOMPARE(answer.senderAddress(), device);
    QVERIFY(answer.data().contains(id.toUtf8()));

    const QByteArray body = TestSupport::onvifEnvelope(QStringLiteral("<tds:GetSystemDateAndTime/>"));
    const QByteArray request = "POST /onvif/device_service HTTP/1.1\r\nHost: x\r\nContent-Type: application/soap+xml\r\n"
                               "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    QTcpSocket http;
    http.connectToHost(device, 8080);
    QVERIFY(http.waitForConnected(5000));
    http.write(request);
    QByteArray reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply += http.readAll(), reply.contains("GetSystemDateAndTimeResponse")), 5000);
    // IPv4 off: nothing listens at its IPv4 address.
    QTcpSocket v4;
    v4.connectToHost(QHostAddress(QStringLiteral("127.7.1.2")), 8080);
    QVERIFY(!v4.waitForConnected(2000));
    server.stop();
}

void tst_OnvifServer::byeFromEveryDeviceAtTheEnd()
{
    collect();
    m_announcements.clear();
    m_server->stop();
    QTRY_COMPARE_WITH_TIMEOUT((collect(), m_announcements.size()), kDevices, 5000);
    QSet<QByteArray> senders;
    for (const QByteArray &bye : std::as_const(m_announcements))
        QVERIFY(bye.contains("discovery/Bye<"));
    // Nothing listens any more.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QStringLiteral("127.7.0.1")), 8080);
    QVERIFY(!socket.waitForConnected(2000));
}

QTEST_GUILESS_MAIN(tst_OnvifServer)
#include "tst_onvifserver.moc"
