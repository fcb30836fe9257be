// The device management client against a fake device on loopback: the
// sign-in paths (UsernameToken on the device's clock, HTTP Digest when
// challenged), and every way a call can fail.

#include "fakedevice.h"
#include "calloutcome.h"
#include "roguedevice.h"
#include "onvif/deviceclient.h"
#include "onvif/httpanswerreader.h"
#include "tools/devsim/selfsignedcertificate.h"

#include <QNetworkAccessManager>
#include <QSslServer>
#include <QSslSocket>
#include <QtTest>

using namespace Onvif;
template <typename T>
using Outcome = TestSupport::CallOutcome<T>;
using TestSupport::FakeDevice;

Q_DECLARE_METATYPE(TestSupport::FakeDevice::Auth)
Q_DECLARE_METATYPE(Onvif::ErrorKind)
Q_DECLARE_METATYPE(TestSupport::RogueDevice::Mode)
Q_DECLARE_METATYPE(Onvif::HttpAnswerReader::State)

namespace {

const QString kResponses = QStringLiteral(ONVIF_CORPUS_DIR "/responses");

// The Body content of a captured answer, to serve as a device's own.
QByteArray capturedBody(const QString &file)
{
    QFile f(kResponses + u'/' + file);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(f.fileName()));
    const QByteArray all = f.readAll();
    const qsizetype open = all.indexOf(':', all.indexOf("<", all.indexOf("Body>") + 5)) ;
    Q_UNUSED(open);
    // Everything between the Body tags, prefixes as the capture has them;
    // the capture's namespace declarations are moved onto the payload.
    const qsizetype bodyStart = all.indexOf('>', all.indexOf("Body>") - 1) + 1;
    const qsizetype bodyEnd = all.lastIndexOf("</", all.lastIndexOf("Body>"));
    QByteArray body = all.mid(bodyStart, bodyEnd - bodyStart);
    const qsizetype envStart = all.indexOf("Envelope");
    const QByteArray envTag = all.mid(envStart, all.indexOf('>', envStart) - envStart);
    QByteArray declarations;
    for (const QByteArray &part : envTag.simplified().split(' ')) {
        if (part.startsWith("xmlns:") && !part.startsWith("xmlns:tds=") && !part.startsWith("xmlns:tt=")
            && !part.startsWith("xmlns:env="))
            declarations += ' ' + part;
    }
    const qsizetype firstTagEnd = body.indexOf('>', body.indexOf('<'));
    body.insert(body.at(firstTagEnd - 1) == '/' ? firstTagEnd - 1 : firstTagEnd, declarations);
    return body;
}

// A device over HTTPS that keeps every byte that reaches it after the
// handshake: what a rogue with another certificate would learn.
class TlsListener final : public QObject
{
public:
    QByteArray received;
    QSslCertificate certificate;
    int ended = 0; // connections closed, in the handshake or after

    bool start()
    {
        QString error;
        const auto made = VoskSim::SelfSignedCertificate::make(QStringLiteral("tls-listener"), &error);
        if (!made)
            return false;
        certificate = made->certificate;
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(made->certificate);
        tls.setPrivateKey(made->key);
        m_server.setSslConfiguration(tls);
        connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    received += s->readAll();
                    if (!received.contains("</s:Envelope>") && !received.contains("Envelope>"))
                        return;
                    const QByteArray body = TestSupport::FakeDevice::envelope(
                        "<tds:GetDeviceInformationResponse><tds:Manufacturer>M</tds:Manufacturer><tds:Model>X"
                        "</tds:Model><tds:FirmwareVersion>1</tds:FirmwareVersion><tds:SerialNumber>S1"
                        "</tds:SerialNumber><tds:HardwareId>H</tds:HardwareId></tds:GetDeviceInformationResponse>");
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\nContent-Length: "
                             + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, this, [this] { ++ended; });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        connect(&m_server, &QSslServer::errorOccurred, this, [this] { ++ended; });
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    QUrl url() const
    {
        return QUrl(QStringLiteral("https://127.0.0.1:%1/onvif/device_service").arg(m_server.serverPort()));
    }

private:
    QSslServer m_server;
};

} // namespace

class tst_OnvifDeviceClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readsWhatTheDeviceSays();
    void signsIn_data();
    void signsIn();
    void digestGoesFirstOnceLearned();
    void wrongPassword_data();
    void wrongPassword();
    void failures_data();
    void failures();
    void timeout();
    void refusedBeforeSending();
    void certificateDecidedBeforeSending_data();
    void certificateDecidedBeforeSending();
    void rebootNeeded();
    void cancelAndDestroy();
    void answerReader_data();
    void answerReader();
    void endlessAnswers_data();
    void endlessAnswers();

private:
    QNetworkAccessManager *m_network = nullptr;
};

void tst_OnvifDeviceClient::init()
{
    m_network = DeviceClient::makeNetworkManager(this);
}

void tst_OnvifDeviceClient::cleanup()
{
    delete m_network;
    m_network = nullptr;
}

// Answers captured from real devices, through the whole client path.
void tst_OnvifDeviceClient::readsWhatTheDeviceSays()
{
    FakeDevice device;
    device.bodies.insert(QStringLiteral("GetDeviceInformation"),
                         capturedBody(QStringLiteral("GetDeviceInformation--onvif-nvt--1.xml")));
    device.bodies.insert(QStringLiteral("GetNetworkInterfaces"),
                         capturedBody(QStringLiteral("GetNetworkInterfaces--onvif-nvt--2.xml")));
    device.bodies.insert(QStringLiteral("GetNetworkProtocols"),
                         capturedBody(QStringLiteral("GetNetworkProtocols--onvif-nvt--1.xml")));
    device.bodies.insert(QStringLiteral("GetScopes"), capturedBody(QStringLiteral("GetScopes--ex-onvif--1.xml")));
    DeviceClient client(device.url(), m_network);

    Outcome<DeviceInformation> info;
    Outcome<QList<NetworkInterface>> interfaces;
    Outcome<QList<NetworkProtocol>> protocols;
    Outcome<QList<Scope>> scopes;
    Outcome<SystemDateTime> time;
    client.getDeviceInformation(info.callback());
    client.getNetworkInterfaces(interfaces.callback());
    client.getNetworkProtocols(protocols.callback());
    client.getScopes(scopes.callback());
    client.getSystemDateAndTime(time.callback());
    // Never from inside the call.
    QVERIFY(!info.called);
    QVERIFY(info.wait() && interfaces.wait() && protocols.wait() && scopes.wait() && time.wait());
    QVERIFY2(info.result.ok(), qPrintable(info.result.error.reason));
    QVERIFY(!info.result.value.model.isEmpty());
    QVERIFY(interfaces.result.ok());
    QCOMPARE(interfaces.result.value.constFirst().hwAddress, QStringLiteral("00:04:7d:0e:b8:5c"));
    QCOMPARE(httpPort(protocols.result.value), 80);
    QCOMPARE(scopes.result.value.size(), 10);
    QVERIFY(time.result.ok());
    QVERIFY(qAbs(time.result.value.utc.secsTo(QDateTime::currentDateTimeUtc())) < 5);
    // Anonymous: no credentials were set.
    QVERIFY(!device.authenticated.contains(true));
}

void tst_OnvifDeviceClient::signsIn_data()
{
    QTest::addColumn<FakeDevice::Auth>("auth");
    QTest::addColumn<QByteArray>("algorithm");
    QTest::addColumn<qint64>("clockOffsetMs");
    QTest::addColumn<QString>("method");

    const qint64 hour = 3600 * 1000;
    QTest::newRow("token, clock right") << FakeDevice::Auth::Token << QByteArray() << qint64(0) << QStringLiteral("token");
    QTest::newRow("token, clock 5 h ahead") << FakeDevice::Auth::Token << QByteArray() << 5 * hour << QStringLiteral("token");
    QTest::newRow("token, clock 9 h behind") << FakeDevice::Auth::Token << QByteArray() << -9 * hour << QStringLiteral("token");
    QTest::newRow("token, clock years behind") << FakeDevice::Auth::Token << QByteArray() << -3 * 365 * 24 * hour
                                              << QStringLiteral("token");
    QTest::newRow("digest MD5") << FakeDevice::Auth::Digest << QByteArray("MD5") << 2 * hour << QStringLiteral("digest");
    QTest::newRow("digest SHA-256") << FakeDevice::Auth::Digest << QByteArray("SHA-256") << qint64(0) << QStringLiteral("digest");
    QTest::newRow("digest MD5-sess") << FakeDevice::Auth::Digest << QByteArray("MD5-sess") << qint64(0) << QStringLiteral("digest");
    QTest::newRow("both") << FakeDevice::Auth::Both << QByteArray("MD5") << 4 * hour << QStringLiteral("token");
}

void tst_OnvifDeviceClient::signsIn()
{
    QFETCH(FakeDevice::Auth, auth);
    QFETCH(QByteArray, algorithm);
    QFETCH(qint64, clockOffsetMs);
    QFETCH(QString, method);
    FakeDevice device;
    device.auth = auth;
    device.digestAlgorithm = algorithm;
    device.clockOffsetMs = clockOffsetMs;
    DeviceClient client(device.url(), m_network);
    client.setCredentials(QStringLiteral("admin"), QStringLiteral("secret"));

    Outcome<QList<User>> users;
    client.getUsers(users.callback());
    QVERIFY(users.wait());
    QVERIFY2(users.result.ok(), qPrintable(errorKindName(users.result.error.kind) + u' ' + users.result.error.reason));
    QCOMPARE(device.operations.constLast(), QStringLiteral("GetUsers"));
    QCOMPARE(device.methods.constLast(), method);
    QCOMPARE(client.authMethod(),
             method == QLatin1String("digest") ? DeviceClient::AuthMethod::HttpDigest : DeviceClient::AuthMethod::UsernameToken);
    if (method == QLatin1String("token")) {
        QVERIFY(client.clockKnown());
        QVERIFY(qAbs(client.clockOffsetMs() - clockOffsetMs) < 3000);
        // The clock was read once, before the first signed call.
        QCOMPARE(device.operations.constFirst(), QStringLiteral("GetSystemDateAndTime"));
    }
}

// After one challenge the client answers Digest from the start, with a
// rising nonce count; a stale nonce is answered again without failing.
void tst_OnvifDeviceClient::digestGoesFirstOnceLearned()
{
    FakeDevice device;
    device.auth = FakeDevice::Auth::Digest;
    device.digestAlgorithm = "SHA-256";
    DeviceClient client(device.url(), m_network);
    client.setCredentials(QStringLiteral("admin"), QStringLiteral("secret"));
    for (int i = 0; i < 3; ++i) {
        Outcome<DeviceInformation> info;
        client.getDeviceInformation(info.callback());
        QVERIFY(info.wait());
        QVERIFY(info.result.ok());
    }
    QCOMPARE(device.challenges, 1);

    // Calls in flight together, each challenged, all with the same nonce:
    // none reuses a count.
    FakeDevice timed;
    timed.auth = FakeDevice::Auth::Digest;
    timed.oneNonce = true;
    DeviceClient together(timed.url(), m_network);
    together.setCredentials(QStringLiteral("admin"), QStringLiteral("secret"));
    QList<std::shared_ptr<Outcome<DeviceInformation>>> calls;
    for (int i = 0; i < 6; ++i) {
        calls.append(std::make_shared<Outcome<DeviceInformation>>());
        together.getDeviceInformation(calls.constLast()->callback());
    }
    for (const auto &call : std::as_const(calls)) {
        QVERIFY(call->wait());
        QVERIFY2(call->result.ok(), qPrintable(errorKindName(call->result.error.kind)));
    }

    // The device moves to a new nonce and says the old one is stale.
    device.revokeNonces();
    const QByteArray fresh = device.issueNonce();
    device.answerWith = [&device, fresh](const QString &, const Onvif::XmlTree &) -> std::optional<FakeDevice::Reply> {
        if (device.authenticated.constLast())
            return std::nullopt;
        FakeDevice::Reply r;
        r.status = 401;
        r.headers.append({QByteArray("WWW-Authenticate"),
                          "Digest realm=\"fake\", qop=\"auth\", nonce=\"" + fresh + "\", stale=true, algorithm=SHA-256"});
        return r;
    };
    Outcome<DeviceInformation> info;
    client.getDeviceInformation(info.callback());
    QVERIFY(info.wait());
    QVERIFY2(info.result.ok(), qPrintable(info.result.error.reason));
}

void tst_OnvifDeviceClient::wrongPassword_data()
{
    QTest::addColumn<FakeDevice::Auth>("auth");
    QTest::addColumn<QString>("password");
    QTest::newRow("token") << FakeDevice::Auth::Token << QStringLiteral("wrong");
    QTest::newRow("digest") << FakeDevice::Auth::Digest << QStringLiteral("wrong");
    QTest::newRow("both") << FakeDevice::Auth::Both << QStringLiteral("wrong");
    QTest::newRow("token, no credentials") << FakeDevice::Auth::Token << QString();
    QTest::newRow("digest, no credentials") << FakeDevice::Auth::Digest << QString();
}

// Reported as NotAuthorized, after a bounded number of exchanges.
void tst_OnvifDeviceClient::wrongPassword()
{
    QFETCH(FakeDevice::Auth, auth);
    QFETCH(QString, password);
    FakeDevice device;
    device.auth = auth;
    device.clockOffsetMs = 7200 * 1000;
    DeviceClient client(device.url(), m_network);
    if (!password.isEmpty())
        client.setCredentials(QStringLiteral("admin"), password);
    Outcome<NoValue> set;
    client.setUser({{QStringLiteral("admin"), QStringLiteral("new"), UserLevel::Administrator}}, set.callback());
    QVERIFY(set.wait());
    QCOMPARE(errorKindName(set.result.error.kind), errorKindName(ErrorKind::NotAuthorized));
    QVERIFY(device.operations.size() <= 4);
    QVERIFY(!device.authenticated.contains(true));
}

void tst_OnvifDeviceClient::failures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QStringList>("subcodes");

    QTest::newRow("not supported") << 500 << FakeDevice::fault("env:Receiver", "ter:ActionNotSupported", "no")
                                   << QByteArray() << ErrorKind::NotSupported << QStringList{QStringLiteral("ActionNotSupported")};
    QTest::newRow("invalid argument") << 400 << FakeDevice::fault("env:Sender", "ter:InvalidArgVal", "bad")
                                      << QByteArray() << ErrorKind::InvalidArgument << QStringList{QStringLiteral("InvalidArgVal")};
    QTest::newRow("receiver fault") << 500 << FakeDevice::fault("env:Receiver", "", "busy") << QByteArray()
                                    << ErrorKind::ReceiverFault << QStringList{};
    // The status is authoritative: 401 without a challenge, whatever the body.
    QTest::newRow("401 plain") << 401 << FakeDevice::fault("env:Sender", "", "HTTP Error: 401 Unauthorized")
                               << QByteArray() << ErrorKind::NotAuthorized << QStringList{};
    QTest::newRow("redirect") << 302 << QByteArray() << QByteArray("Location: http://192.0.2.1/")
                              << ErrorKind::BadAnswer << QStringList{};
    QTest::newRow("404 page") << 404 << QByteArray("<html>not here</html>") << QByteArray() << ErrorKind::BadAnswer
                              << QStringList{};
    QTest::newRow("500 without fault") << 500 << FakeDevice::envelope("<tds:GetDNSResponse/>") << QByteArray()
                                       << ErrorKind::BadAnswer << QStringList{};
    QTest::newRow("oversized") << 200 << FakeDevice::envelope(QByteArray(600 * 1024, ' ') + "<tds:GetDNSResponse/>")
                               << QByteArray() << ErrorKind::BadAnswer << QStringList{};
    QTest::newRow("entity declaration")
        << 200 << "<!DOCTYPE x [<!ENTITY a \"b\">]>" + FakeDevice::envelope("<tds:GetDNSResponse/>") << QByteArray()
        << ErrorKind::BadAnswer << QStringList{};
    QTest::newRow("SOAP 1.1") << 200
                              << QByteArray("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                                            "<tds:GetDNSResponse xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"/>"
                                            "</s:Body></s:Envelope>")
                              << QByteArray() << ErrorKind::BadAnswer << QStringList{};
    QTest::newRow("another operation's answer") << 200 << FakeDevice::envelope("<tds:GetUsersResponse/>")
                                                << QByteArray() << ErrorKind::BadAnswer << QStringList{};
    QTest::newRow("truncated") << 200 << FakeDevice::envelope("<tds:GetDNSResponse/>").left(60) << QByteArray()
                               << ErrorKind::BadAnswer << QStringList{};
}

void tst_OnvifDeviceClient::failures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, header);
    QFETCH(ErrorKind, kind);
    QFETCH(QStringList, subcodes);
    FakeDevice device;
    device.answerWith = [&](const QString &, const Onvif::XmlTree &) -> std::optional<FakeDevice::Reply> {
        FakeDevice::Reply r;
        r.status = status;
        r.body = body;
        if (!header.isEmpty())
            r.headers.append({header.left(header.indexOf(':')), header.mid(header.indexOf(':') + 2)});
        return r;
    };
    DeviceClient client(device.url(), m_network);
    Outcome<DnsInformation> dns;
    client.getDns(dns.callback());
    QVERIFY(dns.wait());
    QCOMPARE(errorKindName(dns.result.error.kind), errorKindName(kind));
    QCOMPARE(dns.result.error.subcodes, subcodes);
    QCOMPARE(dns.result.error.httpStatus, status);
}

// A device that takes the connection and never answers, and one that is
// not there at all.
void tst_OnvifDeviceClient::timeout()
{
    FakeDevice device;
    device.answerWith = [](const QString &, const Onvif::XmlTree &) -> std::optional<FakeDevice::Reply> {
        FakeDevice::Reply r;
        r.silent = true;
        return r;
    };
    DeviceClient client(device.url(), m_network);
    std::function<void()> expire;
    int armed = 0;
    client.setTimeout(1234);
    client.setTimeoutTimer([&](int ms, std::function<void()> e) {
        QCOMPARE(ms, 1234);
        ++armed;
        expire = std::move(e);
    });
    Outcome<DeviceInformation> info;
    client.getDeviceInformation(info.callback());
    QTRY_VERIFY(!device.operations.isEmpty());
    QCOMPARE(armed, 1);
    QVERIFY(!info.called);
    expire();
    QVERIFY(info.wait());
    QCOMPARE(errorKindName(info.result.error.kind), errorKindName(ErrorKind::Timeout));
    expire();  // after the end: nothing

    // Credentials make the clock read first; a silent device fails the call
    // there, with the same error.
    client.setCredentials(QStringLiteral("admin"), QStringLiteral("secret"));
    Outcome<DeviceInformation> signed_;
    client.getDeviceInformation(signed_.callback());
    QTRY_COMPARE(armed, 2);
    expire();
    QVERIFY(signed_.wait());
    QCOMPARE(errorKindName(signed_.result.error.kind), errorKindName(ErrorKind::Timeout));

    // A closed port.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    DeviceClient nobody(QUrl(QStringLiteral("http://127.0.0.1:%1/onvif/device_service").arg(port)), m_network);
    Outcome<DeviceInformation> refused;
    nobody.getDeviceInformation(refused.callback());
    QVERIFY(refused.wait());
    QCOMPARE(errorKindName(refused.result.error.kind), errorKindName(ErrorKind::Unreachable));

    // A device that promises more than it sends, then hangs up.
    FakeDevice cut;
    cut.answerWith = [](const QString &, const Onvif::XmlTree &) -> std::optional<FakeDevice::Reply> {
        FakeDevice::Reply r;
        r.body = FakeDevice::envelope("<tds:GetDeviceInformationResponse/>");
        r.closeEarly = true;
        return r;
    };
    DeviceClient cutClient(cut.url(), m_network);
    Outcome<DeviceInformation> partial;
    cutClient.getDeviceInformation(partial.callback());
    QVERIFY(partial.wait());
    QVERIFY(!partial.result.ok());
}

void tst_OnvifDeviceClient::refusedBeforeSending()
{
    FakeDevice device;
    DeviceClient client(device.url(), m_network);
    NetworkInterfaceSettings s;
    s.ipv4Manual = {{QStringLiteral("192.0.2.300"), 24}};
    Outcome<bool> set;
    client.setNetworkInterfaces(QStringLiteral("eth0"), s, set.callback());
    QVERIFY(!set.called);
    QVERIFY(set.wait());
    QCOMPARE(errorKindName(set.result.error.kind), errorKindName(ErrorKind::InvalidArgument));
    QVERIFY(device.operations.isEmpty());
}

// Over HTTPS the check sees the fingerprint of the certificate shown,
// self-signed as devices' are; refused, not one byte of the request (its
// UsernameToken least of all) reaches the device.
void tst_OnvifDeviceClient::certificateDecidedBeforeSending_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("trusted: signed call goes out") << true;
    QTest::newRow("refused: nothing sent") << false;
}

void tst_OnvifDeviceClient::certificateDecidedBeforeSending()
{
    QFETCH(bool, trusted);
    TlsListener device;
    QVERIFY(device.start());
    DeviceClient client(device.url(), m_network);
    client.setCredentials(QStringLiteral("admin"), QStringLiteral("secret"));
    QList<QByteArray> shown;
    client.setCertificateCheck([&shown, trusted](const QByteArray &sha256) {
        shown << sha256;
        return trusted;
    });
    Outcome<DeviceInformation> info;
    client.getDeviceInformation(info.callback());
    QVERIFY(info.wait());
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.first(), device.certificate.digest(QCryptographicHash::Sha256));
    if (trusted) {
        QVERIFY2(info.result.ok(), qPrintable(info.result.error.reason));
        QCOMPARE(info.result.value.serialNumber, QStringLiteral("S1"));
        QVERIFY(device.received.contains("UsernameToken"));
    } else {
        QCOMPARE(errorKindName(info.result.error.kind), errorKindName(ErrorKind::CertificateChanged));
        // Whatever the client wrote arrived before the connection's end.
        QTRY_VERIFY(device.ended > 0);
        QVERIFY2(device.received.isEmpty(), device.received.left(200).constData());
    }
}

void tst_OnvifDeviceClient::rebootNeeded()
{
    FakeDevice device;
    device.auth = FakeDevice::Auth::Token;
    device.bodies.insert(QStringLiteral("SetNetworkInterfaces"),
                         "<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>true</tds:RebootNeeded>"
                         "</tds:SetNetworkInterfacesResponse>");
    device.bodies.insert(QStringLiteral("SystemReboot"),
                         "<tds:SystemRebootResponse><tds:Message>Rebooting in 2 seconds</tds:Message></tds:SystemRebootResponse>");
    DeviceClient client(device.url(), m_network);
    client.setCredentials(QStringLiteral("admin"), QStringLiteral("secret"));
    NetworkInterfaceSettings s;
    s.ipv4Enabled = true;
    s.ipv4Dhcp = true;
    Outcome<bool> set;
    client.setNetworkInterfaces(QStringLiteral("eth0"), s, set.callback());
    QVERIFY(set.wait());
    QVERIFY(set.result.ok());
    QVERIFY(set.result.value);
    Outcome<QString> reboot;
    client.systemReboot(reboot.callback());
    QVERIFY(reboot.wait());
    QCOMPARE(reboot.result.value, QStringLiteral("Rebooting in 2 seconds"));
    QCOMPARE(device.authenticated.constLast(), true);
}

void tst_OnvifDeviceClient::cancelAndDestroy()
{
    FakeDevice device;
    device.answerWith = [](const QString &, const Onvif::XmlTree &) -> std::optional<FakeDevice::Reply> {
        FakeDevice::Reply r;
        r.silent = true;
        return r;
    };
    DeviceClient client(device.url(), m_network);
    client.setTimeoutTimer([](int, std::function<void()>) {});
    Outcome<DnsInformation> a;
    Outcome<QList<User>> b;
    client.getDns(a.callback());
    client.getUsers(b.callback());
    QTRY_COMPARE(device.operations.size(), 2);
    client.cancelAll();
    QVERIFY(a.wait() && b.wait());
    QCOMPARE(errorKindName(a.result.error.kind), errorKindName(ErrorKind::Cancelled));
    QCOMPARE(errorKindName(b.result.error.kind), errorKindName(ErrorKind::Cancelled));

    // Destroyed with a call in flight: no call back, no crash later.
    bool called = false;
    {
        DeviceClient doomed(device.url(), m_network);
        doomed.setTimeoutTimer([](int, std::function<void()>) {});
        doomed.getDns([&called](const Result<DnsInformation> &) { called = true; });
        QTRY_COMPARE(device.operations.size(), 3);
    }
    QTest::qWait(50);
    QVERIFY(!called);
}

// The HTTP answer as it may arrive, whole and split at every byte alike.
void tst_OnvifDeviceClient::answerReader_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("thenClose");
    QTest::addColumn<HttpAnswerReader::State>("state");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    using S = HttpAnswerReader::State;

    QTest::newRow("sized") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << false << S::Complete
                           << 200 << QByteArray("hello");
    QTest::newRow("interim, then chunked with trailer")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 401 No\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "3;x=y\r\nhel\r\n2\r\nlo\r\n0\r\nX-T: 1\r\n\r\n")
        << false << S::Complete << 401 << QByteArray("hello");
    QTest::newRow("until close") << QByteArray("HTTP/1.0 200 OK\nX: 1\n\nhello") << true << S::Complete << 200
                                 << QByteArray("hello");
    QTest::newRow("cut short") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello") << true
                               << S::Failed << 200 << QByteArray();
    QTest::newRow("head too large") << "HTTP/1.1 200 OK\r\nX: " + QByteArray(40 * 1024, 'a') << false << S::Failed
                                    << 200 << QByteArray();
    QTest::newRow("too many fields") << "HTTP/1.1 200 OK\r\n" + QByteArray("X: 1\r\n").repeated(101) << false
                                     << S::Failed << 200 << QByteArray();
    QTest::newRow("interim answers without end")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(2000) << false << S::Failed << 100 << QByteArray();
    QTest::newRow("length over the limit") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n")
                                           << false << S::Failed << 200 << QByteArray();
    QTest::newRow("chunks over the limit")
        << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + ("400\r\n" + QByteArray(1024, 'a') + "\r\n").repeated(300)
        << false << S::Failed << 200 << QByteArray();
    QTest::newRow("two lengths") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab")
                                 << false << S::Failed << 200 << QByteArray();
    QTest::newRow("bad chunk size") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n")
                                    << false << S::Failed << 200 << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-x\r\n\r\n") << false << S::Failed << 0 << QByteArray();
}

void tst_OnvifDeviceClient::answerReader()
{
    QFETCH(QByteArray, input);
    QFETCH(bool, thenClose);
    QFETCH(HttpAnswerReader::State, state);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    // Split points: whole, and every byte for the short answers.
    const int step = input.size() > 4096 ? input.size() : 1;
    for (int cut = input.size(); cut > 0; cut -= step) {
        HttpAnswerReader reader;
        reader.feed(input.left(cut));
        reader.feed(input.mid(cut));
        if (thenClose)
            reader.closed();
        QCOMPARE(reader.state(), state);
        QCOMPARE(reader.status(), status);
        QCOMPARE(reader.body(), body);
    }
}

// Answers that never end end at the limits, without the time-out (which
// never fires here), and the connection is closed at once.
void tst_OnvifDeviceClient::endlessAnswers_data()
{
    QTest::addColumn<TestSupport::RogueDevice::Mode>("mode");
    using M = TestSupport::RogueDevice::Mode;
    QTest::newRow("endless headers") << M::EndlessHeaders;
    QTest::newRow("endless header line") << M::EndlessLine;
    QTest::newRow("endless interim answers") << M::EndlessContinue;
    QTest::newRow("endless chunked body") << M::EndlessChunked;
    QTest::newRow("2 GB promised") << M::HugeLength;
}

void tst_OnvifDeviceClient::endlessAnswers()
{
    QFETCH(TestSupport::RogueDevice::Mode, mode);
    TestSupport::RogueDevice rogue(mode);
    DeviceClient client(rogue.url(), m_network);
    client.setTimeoutTimer([](int, std::function<void()>) {});
    Outcome<DnsInformation> dns;
    client.getDns(dns.callback());
    QVERIFY(dns.wait());
    QCOMPARE(errorKindName(dns.result.error.kind), errorKindName(ErrorKind::BadAnswer));
    QTRY_COMPARE(rogue.closedByClient, 1);
    QCOMPARE(rogue.connections, 1);
}

QTEST_GUILESS_MAIN(tst_OnvifDeviceClient)
#include "tst_onvifdeviceclient.moc"
