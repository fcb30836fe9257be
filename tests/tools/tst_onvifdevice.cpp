// The simulated ONVIF device's rules with the clock in the test's hand:
// both authentication schemes and their refusals (skewed clocks, replayed
// nonces, stale digests), factory state, RebootNeeded, argument checks
// that leave the device unchanged, hostile envelopes, and probe matching;
// commissioning (time, NTP, hostname, users, factory default) read back,
// and the media service with its snapshot.

#include "onvifrequests.h"

#include "tools/devsim/onvifbehaviour.h"
#include "tools/devsim/onvifdevice.h"

#include <QImage>
#include <QTest>

using namespace TestSupport;
using VoskSim::OnvifBehaviour;
using VoskSim::OnvifDevice;
using VoskSim::OnvifSoap;

namespace {

const QByteArray kPassword = QByteArrayLiteral("Admin12345");
constexpr qint64 kNow = 1800000000000;  // 2027-01-15
const QByteArray kTarget = QByteArrayLiteral("/onvif/device_service");

OnvifDevice makeDevice(const QString &rule = QString(), int index = 3, const QString &ipv6 = QString())
{
    OnvifDevice::Options o;
    o.seed = 7;
    o.index = index;
    o.adminPassword = kPassword;
    o.address = 0x7F010004;
    o.ipv6Address = ipv6;
    QString error;
    const auto plain = OnvifBehaviour::parseRule(QStringLiteral("plain"), error);
    plain->apply(o.behaviour);
    if (!rule.isEmpty()) {
        const auto parsed = OnvifBehaviour::parseRule(rule, error);
        if (!parsed)
            qFatal("bad rule");
        parsed->apply(o.behaviour);
    }
    return OnvifDevice(o);
}

QString op(const QString &name, const QString &inner = QString())
{
    return inner.isEmpty() ? QStringLiteral("<tds:%1/>").arg(name)
                           : QStringLiteral("<tds:%1>%2</tds:%1>").arg(name, inner);
}

int nonceCounter = 0;
QByteArray freshNonce()
{
    return QByteArray::number(++nonceCounter).rightJustified(16, 'n');
}

// A request signed with a UsernameToken made from the device's own clock.
OnvifDevice::HttpReply signedCall(OnvifDevice &device, const QString &body, const QString &user = QStringLiteral("admin"),
                                  const QByteArray &password = kPassword, qint64 now = kNow)
{
    const QString header = onvifUsernameToken(user, password, device.deviceTimeMs(now), freshNonce());
    return device.handleHttp("POST", kTarget, QByteArray(), onvifEnvelope(body, header), now);
}

OnvifDevice::HttpReply anonymousCall(OnvifDevice &device, const QString &body, qint64 now = kNow)
{
    return device.handleHttp("POST", kTarget, QByteArray(), onvifEnvelope(body), now);
}

OnvifSoap::Element payloadOf(const QByteArray &body)
{
    OnvifSoap::Message message;
    if (OnvifSoap::parse(body, message) != OnvifSoap::ParseError::None)
        return OnvifSoap::Element();
    return message.payload;
}

QString setAddress(const QString &address, const QString &prefix = QStringLiteral("16"))
{
    return op(QStringLiteral("SetNetworkInterfaces"),
              QStringLiteral("<tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface>"
                             "<tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled>"
                             "<tt:Manual><tt:Address>%1</tt:Address><tt:PrefixLength>%2</tt:PrefixLength></tt:Manual>"
                             "<tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface>")
                  .arg(address, prefix));
}

} // namespace

class tst_OnvifDevice : public QObject
{
    Q_OBJECT

private slots:
    void dateAndTimeIsAnonymousAndShowsTheDeviceClock();
    void authentication_data();
    void authentication();
    void usernameTokenFollowsTheDeviceClock_data();
    void usernameTokenFollowsTheDeviceClock();
    void replayedCredentialsAreRefused();
    void expiredDigestNonceIsStale();
    void emptyBodyDrawsAChallenge();
    void factoryStateAllowsOnlySetUp_data();
    void factoryStateAllowsOnlySetUp();
    void ipv6Service_data();
    void ipv6Service();
    void rebootNeeded_data();
    void rebootNeeded();
    void badArgumentsLeaveTheDeviceUnchanged_data();
    void badArgumentsLeaveTheDeviceUnchanged();
    void userLevels();
    void unsupportedAndFaultyAnswers();
    void hostileEnvelopes_data();
    void hostileEnvelopes();
    void silentAndSlow();
    void hostileAnswers_data();
    void hostileAnswers();
    void probeMatching_data();
    void probeMatching();
    void identityIsStablePerSeed();
    void behaviourRules_data();
    void behaviourRules();
    void commissioningIsReadBack_data();
    void commissioningIsReadBack();
    void factoryDefault_data();
    void factoryDefault();
    void repeatedNonces_data();
    void repeatedNonces();
    void mediaAndSnapshot();
};

void tst_OnvifDevice::commissioningIsReadBack_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QString>("readBack");  // in the read's answer once the change is taken
    QTest::addColumn<QString>("fault");     // the change's fault subcode; "" when taken

    const QString time = QStringLiteral("<tds:DateTimeType>%1</tds:DateTimeType><tds:DaylightSavings>false</tds:DaylightSavings>%2");
    const QString zone = QStringLiteral("<tds:TimeZone><tt:TZ>%1</tt:TZ></tds:TimeZone>");
    const QString utc = QStringLiteral("<tds:UTCDateTime><tt:Time><tt:Hour>3</tt:Hour><tt:Minute>4</tt:Minute><tt:Second>5</tt:Second>"
                                       "</tt:Time><tt:Date><tt:Year>2030</tt:Year><tt:Month>2</tt:Month><tt:Day>%1</tt:Day></tt:Date></tds:UTCDateTime>");
    const QString ntp = QStringLiteral("<tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual><tt:Type>%1</tt:Type><tt:%2>%3</tt:%2></tds:NTPManual>");
    const QString dateTime = QStringLiteral("GetSystemDateAndTime");
    QTest::newRow("hostname") << op(QStringLiteral("SetHostname"), QStringLiteral("<tds:Name>cam-007</tds:Name>"))
                              << "GetHostname" << "<tt:Name>cam-007</tt:Name>" << "";
    QTest::newRow("hostname with a domain") << op(QStringLiteral("SetHostname"), QStringLiteral("<tds:Name>cam.site</tds:Name>"))
                                            << "GetHostname" << "cam.site" << "InvalidHostname";
    QTest::newRow("NTP by name") << op(QStringLiteral("SetNTP"), ntp.arg(QStringLiteral("DNS"), QStringLiteral("DNSname"), QStringLiteral("ntp.example.org")))
                                 << "GetNTP" << "<tt:DNSname>ntp.example.org</tt:DNSname>" << "";
    QTest::newRow("NTP at no address") << op(QStringLiteral("SetNTP"), ntp.arg(QStringLiteral("IPv4"), QStringLiteral("IPv4Address"), QStringLiteral("192.0.2.300")))
                                       << "GetNTP" << "192.0.2.300" << "InvalidIPv4Address";
    QTest::newRow("time zone") << op(QStringLiteral("SetSystemDateAndTime"), time.arg(QStringLiteral("Manual"), zone.arg(QStringLiteral("CET-1CEST,M3.5.0,M10.5.0/3"))))
                               << dateTime << "<tt:TZ>CET-1CEST,M3.5.0,M10.5.0/3</tt:TZ>" << "";
    QTest::newRow("no time zone") << op(QStringLiteral("SetSystemDateAndTime"), time.arg(QStringLiteral("Manual"), zone.arg(QStringLiteral("Mars+1:99x"))))
                                  << dateTime << "Mars" << "InvalidTimeZone";
    QTest::newRow("clock") << op(QStringLiteral("SetSystemDateAndTime"), time.arg(QStringLiteral("Manual"), utc.arg(2)))
                           << dateTime << "<tt:Year>2030</tt:Year>" << "";
    QTest::newRow("February 30th") << op(QStringLiteral("SetSystemDateAndTime"), time.arg(QStringLiteral("Manual"), utc.arg(30)))
                                   << dateTime << "<tt:Year>2030</tt:Year>" << "InvalidDateTime";
    QTest::newRow("NTP time without a server") << op(QStringLiteral("SetSystemDateAndTime"), time.arg(QStringLiteral("NTP"), QString()))
                                               << dateTime << "<tt:DateTimeType>NTP" << "NtpServerUndefined";
    QTest::newRow("the last administrator deleted") << op(QStringLiteral("DeleteUsers"), QStringLiteral("<tds:Username>admin</tds:Username>"))
                                                    << "GetUsers" << "" << "FixedUser";
    QTest::newRow("nobody deleted") << op(QStringLiteral("DeleteUsers"), QStringLiteral("<tds:Username>nobody</tds:Username>"))
                                    << "GetUsers" << "" << "UsernameMissing";
    QTest::newRow("factory default of no kind") << op(QStringLiteral("SetSystemFactoryDefault"), QStringLiteral("<tds:FactoryDefault>Medium</tds:FactoryDefault>"))
                                                << "GetUsers" << "" << "InvalidArgVal";
}

void tst_OnvifDevice::commissioningIsReadBack()
{
    QFETCH(QString, change);
    QFETCH(QString, read);
    QFETCH(QString, readBack);
    QFETCH(QString, fault);
    OnvifDevice device = makeDevice();
    const QByteArray before = signedCall(device, op(read)).body;
    const OnvifDevice::HttpReply reply = signedCall(device, change);
    QCOMPARE(onvifFaultSubcode(reply.body), fault);
    QCOMPARE(reply.status, fault.isEmpty() ? 200 : 400);
    const QByteArray after = signedCall(device, op(read)).body;
    if (fault.isEmpty()) {
        QVERIFY2(after.contains(readBack.toUtf8()), after.constData());
    } else {
        // Refused whole: the device reads as before (but for its clock).
        QVERIFY(readBack.isEmpty() || !after.contains(readBack.toUtf8()));
        if (read != QLatin1String("GetSystemDateAndTime"))
            QCOMPARE(after, before);
    }
}

void tst_OnvifDevice::factoryDefault_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("address");   // after the reboot
    QTest::addColumn<QString>("hostname");
    QTest::newRow("soft keeps the network") << "Soft" << "127.1.9.9" << "cam-moved";
    QTest::newRow("hard resets it") << "Hard" << "127.1.0.4" << "ipc-004";
}

void tst_OnvifDevice::factoryDefault()
{
    QFETCH(QString, kind);
    QFETCH(QString, address);
    QFETCH(QString, hostname);
    OnvifDevice device = makeDevice(QStringLiteral("clock=+5h"));
    QCOMPARE(signedCall(device, setAddress(QStringLiteral("127.1.9.9"))).status, 200);
    QCOMPARE(signedCall(device, op(QStringLiteral("SetHostname"), QStringLiteral("<tds:Name>cam-moved</tds:Name>"))).status, 200);
    QCOMPARE(signedCall(device, op(QStringLiteral("SetNTP"),
                                   QStringLiteral("<tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual><tt:Type>IPv4</tt:Type>"
                                                  "<tt:IPv4Address>192.0.2.123</tt:IPv4Address></tds:NTPManual>")))
                 .status,
             200);
    const qint64 clock = device.deviceTimeMs(kNow);
    QCOMPARE(signedCall(device, op(QStringLiteral("SetSystemDateAndTime"),
                                   QStringLiteral("<tds:DateTimeType>NTP</tds:DateTimeType><tds:DaylightSavings>true</tds:DaylightSavings>")))
                 .status,
             200);
    const OnvifDevice::HttpReply reply =
        signedCall(device, op(QStringLiteral("SetSystemFactoryDefault"), QStringLiteral("<tds:FactoryDefault>%1</tds:FactoryDefault>").arg(kind)));
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.after, OnvifDevice::After::Reboot);
    device.reboot();
    // No users: the old administrator is refused, anyone may set it up.
    QVERIFY(device.factoryState());
    QVERIFY(device.scopes().contains(QStringLiteral("onvif://www.onvif.org/Profile/Q/FactoryDefault")));
    QCOMPARE(signedCall(device, op(QStringLiteral("GetHostname"))).status, 401);
    QVERIFY(!anonymousCall(device, op(QStringLiteral("GetUsers"))).body.contains("Username"));
    QCOMPARE(device.addressText(), address);
    QVERIFY(signedCall(device, op(QStringLiteral("CreateUsers"),
                                  QStringLiteral("<tds:User><tt:Username>admin</tt:Username><tt:Password>Other-123</tt:Password>"
                                                 "<tt:UserLevel>Administrator</tt:UserLevel></tds:User>")))
                .status == 200);
    const QByteArray name = signedCall(device, op(QStringLiteral("GetHostname")), QStringLiteral("admin"), "Other-123").body;
    QVERIFY2(name.contains(QStringLiteral("<tt:Name>%1</tt:Name>").arg(hostname).toUtf8()), name.constData());
    QVERIFY(!signedCall(device, op(QStringLiteral("GetNTP")), QStringLiteral("admin"), "Other-123").body.contains("192.0.2.123"));
    const QByteArray time = anonymousCall(device, op(QStringLiteral("GetSystemDateAndTime"))).body;
    QVERIFY(time.contains("<tt:DateTimeType>Manual<") && time.contains("<tt:DaylightSavings>false<"));
    // The clock runs on where NTP set it.
    QCOMPARE(device.deviceTimeMs(kNow), kNow);
    QVERIFY(clock != kNow);
}

void tst_OnvifDevice::repeatedNonces_data()
{
    // A client whose nonces repeat within a second: met within that second
    // and from that client only.
    QTest::addColumn<qint64>("createdLaterMs");
    QTest::addColumn<qint64>("sentLaterMs");
    QTest::addColumn<QString>("peer");
    QTest::addColumn<int>("status");
    QTest::newRow("the same token, same client, same second") << qint64(0) << qint64(300) << "127.0.0.1" << 200;
    QTest::newRow("another Created, same second") << qint64(1) << qint64(300) << "127.0.0.1" << 200;
    QTest::newRow("the same token from another client") << qint64(0) << qint64(300) << "127.0.0.2" << 401;
    QTest::newRow("another Created in the next second") << qint64(1000) << qint64(1000) << "127.0.0.1" << 401;
    QTest::newRow("the same token a second later") << qint64(0) << qint64(1000) << "127.0.0.1" << 401;
}

void tst_OnvifDevice::repeatedNonces()
{
    QFETCH(qint64, createdLaterMs);
    QFETCH(qint64, sentLaterMs);
    QFETCH(QString, peer);
    QFETCH(int, status);
    OnvifDevice device = makeDevice(QStringLiteral("clock=+5h"));
    auto send = [&](qint64 createdMs, qint64 now, const QString &from) {
        const QString header = onvifUsernameToken(QStringLiteral("admin"), kPassword, createdMs, "clock-seeded");
        return device.handleHttp("POST", kTarget, QByteArray(), onvifEnvelope(op(QStringLiteral("SetHostname"),
                                 QStringLiteral("<tds:Name>cam-1</tds:Name>")), header), now, from).status;
    };
    const qint64 created = device.deviceTimeMs(kNow);
    QCOMPARE(send(created, kNow, QStringLiteral("127.0.0.1")), 200);
    QCOMPARE(send(created + createdLaterMs, kNow + sentLaterMs, peer), status);
}

void tst_OnvifDevice::mediaAndSnapshot()
{
    OnvifDevice device = makeDevice(QStringLiteral("auth=wsse"));
    const QByteArray services = anonymousCall(device, op(QStringLiteral("GetServices"),
                                                         QStringLiteral("<tds:IncludeCapability>true</tds:IncludeCapability>"))).body;
    QCOMPARE(services.count("<tds:Service>"), 2);
    QVERIFY(services.contains("<tds:XAddr>http://127.1.0.4/onvif/media_service</tds:XAddr>"));
    QVERIFY(services.contains("SnapshotUri=\"true\""));

    const QString media = QStringLiteral("<trt:%1 xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\">%2</trt:%1>");
    const QString token = QStringLiteral("<trt:ProfileToken>Profile_1</trt:ProfileToken>");
    QCOMPARE(anonymousCall(device, media.arg(QStringLiteral("GetProfiles"), QString())).status, 400);
    QVERIFY(signedCall(device, media.arg(QStringLiteral("GetProfiles"), QString())).body.contains("token=\"Profile_1\""));
    const QByteArray stream = signedCall(device, media.arg(QStringLiteral("GetStreamUri"), token)).body;
    QVERIFY2(stream.contains("<tt:Uri>rtsp://127.1.0.4:554/Streaming/Profile_1</tt:Uri>"), stream.constData());
    QCOMPARE(onvifFaultSubcode(signedCall(device, media.arg(QStringLiteral("GetSnapshotUri"),
                                                            QStringLiteral("<trt:ProfileToken>Other</trt:ProfileToken>"))).body),
             QStringLiteral("NoProfile"));
    QVERIFY(signedCall(device, media.arg(QStringLiteral("GetSnapshotUri"), token))
                .body.contains("<tt:Uri>http://127.1.0.4/onvif/snapshot.jpg</tt:Uri>"));

    // The picture: HTTP digest even on a device whose SOAP takes only
    // UsernameToken (a GET has no header to carry one).
    const QByteArray path = OnvifDevice::snapshotPath();
    const OnvifDevice::HttpReply refused = device.handleHttp("GET", path, QByteArray(), QByteArray(), kNow);
    QCOMPARE(refused.status, 401);
    QVERIFY(!refused.challenges.isEmpty());
    const QByteArray wrong = onvifDigestAuthorization(refused.challenges.first(), "admin", "wrong", "GET", path);
    QCOMPARE(device.handleHttp("GET", path, wrong, QByteArray(), kNow).status, 401);
    const QByteArray right = onvifDigestAuthorization(refused.challenges.first(), "admin", kPassword, "GET", path);
    const OnvifDevice::HttpReply picture = device.handleHttp("GET", path, right, QByteArray(), kNow);
    QCOMPARE(picture.status, 200);
    QCOMPARE(picture.contentType, QByteArray("image/jpeg"));
    const QImage image = QImage::fromData(picture.body, "JPEG");
    QCOMPARE(image.size(), QSize(320, 180));
}

void tst_OnvifDevice::dateAndTimeIsAnonymousAndShowsTheDeviceClock()
{
    OnvifDevice device = makeDevice(QStringLiteral("clock=+5h"));
    const OnvifDevice::HttpReply reply = anonymousCall(device, op(QStringLiteral("GetSystemDateAndTime")));
    QCOMPARE(reply.status, 200);
    const OnvifSoap::Element payload = payloadOf(reply.body);
    const OnvifSoap::Element *utc = payload.child(OnvifSoap::kDevice, u"SystemDateAndTime")
                                        ->child(OnvifSoap::kSchema, u"UTCDateTime");
    QVERIFY(utc);
    const QDateTime expected = QDateTime::fromMSecsSinceEpoch(kNow + 5 * 3600 * 1000, Qt::UTC);
    QCOMPARE(utc->child(OnvifSoap::kSchema, u"Time")->childText(OnvifSoap::kSchema, u"Hour").toInt(),
             expected.time().hour());
    QCOMPARE(utc->child(OnvifSoap::kSchema, u"Date")->childText(OnvifSoap::kSchema, u"Day").toInt(),
             expected.date().day());
}

void tst_OnvifDevice::authentication_data()
{
    QTest::addColumn<QString>("auth");
    QTest::addColumn<QString>("credentials");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("challenges");

    QTest::newRow("both, none") << "both" << "none" << 401 << 2;
    QTest::newRow("both, token") << "both" << "token" << 200 << 0;
    QTest::newRow("both, digest SHA-256") << "both" << "sha256" << 200 << 0;
    QTest::newRow("both, digest MD5") << "both" << "md5" << 200 << 0;
    QTest::newRow("both, token wrong password") << "both" << "token-wrong" << 401 << 2;
    QTest::newRow("both, digest wrong password") << "both" << "md5-wrong" << 401 << 2;
    QTest::newRow("both, token in plain text") << "both" << "token-text" << 401 << 2;
    QTest::newRow("digest, token ignored") << "digest" << "token" << 401 << 2;
    QTest::newRow("digest, digest") << "digest" << "sha256" << 200 << 0;
    QTest::newRow("digest, unknown user") << "digest" << "md5-nobody" << 401 << 2;
    QTest::newRow("wsse, none") << "wsse" << "none" << 400 << 0;
    QTest::newRow("wsse, token") << "wsse" << "token" << 200 << 0;
    QTest::newRow("wsse, digest ignored") << "wsse" << "md5" << 400 << 0;
    QTest::newRow("wsse, token wrong password") << "wsse" << "token-wrong" << 400 << 0;
}

void tst_OnvifDevice::authentication()
{
    QFETCH(QString, auth);
    QFETCH(QString, credentials);
    QFETCH(int, status);
    QFETCH(int, challenges);

    OnvifDevice device = makeDevice(QStringLiteral("auth=") + auth);
    const QString body = op(QStringLiteral("GetDeviceInformation"));
    QString header;
    QByteArray authorization;
    if (credentials.startsWith(QLatin1String("token"))) {
        const QByteArray password = credentials == QLatin1String("token-wrong") ? "wrong" : kPassword;
        header = onvifUsernameToken(QStringLiteral("admin"), password, device.deviceTimeMs(kNow), freshNonce(),
                                    credentials != QLatin1String("token-text"));
    } else if (credentials != QLatin1String("none")) {
        // A challenge of a device that takes digest, or one made up for a
        // device that never sends any.
        OnvifDevice::HttpReply first = anonymousCall(device, body);
        QByteArray challenge = first.challenges.value(credentials.startsWith(QLatin1String("sha")) ? 0 : 1);
        if (challenge.isEmpty())
            challenge = "Digest realm=\"ONVIF device\", qop=\"auth\", nonce=\"00ff\"";
        const QByteArray user = credentials.endsWith(QLatin1String("nobody")) ? "nobody" : "admin";
        const QByteArray password = credentials.endsWith(QLatin1String("wrong")) ? "wrong" : kPassword;
        authorization = onvifDigestAuthorization(challenge, user, password, "POST", kTarget);
    }
    const OnvifDevice::HttpReply reply =
        device.handleHttp("POST", kTarget, authorization, onvifEnvelope(body, header), kNow);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.challenges.size(), challenges);
    if (status == 200) {
        QCOMPARE(payloadOf(reply.body).childText(OnvifSoap::kDevice, u"SerialNumber"), device.serialNumber());
    } else {
        QCOMPARE(onvifFaultSubcode(reply.body), QStringLiteral("NotAuthorized"));
        QVERIFY(!reply.body.contains(device.serialNumber().toLatin1()));
    }
    if (challenges == 2) {
        QVERIFY(reply.challenges[0].contains("algorithm=SHA-256"));
        QVERIFY(reply.challenges[1].contains("algorithm=MD5"));
    }
}

void tst_OnvifDevice::usernameTokenFollowsTheDeviceClock_data()
{
    QTest::addColumn<QString>("clock");
    QTest::addColumn<qint64>("createdOffsetMs");  // from the device's clock
    QTest::addColumn<bool>("accepted");

    QTest::newRow("device clock") << "+0" << qint64(0) << true;
    QTest::newRow("hours ahead, signed with its clock") << "+7h" << qint64(0) << true;
    QTest::newRow("hours behind, signed with its clock") << "-3h" << qint64(0) << true;
    QTest::newRow("hours ahead, signed with the true time") << "+7h" << qint64(-7 * 3600 * 1000) << false;
    QTest::newRow("within the tolerance") << "+2h" << qint64(59000) << true;
    QTest::newRow("past the tolerance") << "+2h" << qint64(61000) << false;
    QTest::newRow("too old") << "-1h" << qint64(-61000) << false;
}

void tst_OnvifDevice::usernameTokenFollowsTheDeviceClock()
{
    QFETCH(QString, clock);
    QFETCH(qint64, createdOffsetMs);
    QFETCH(bool, accepted);

    OnvifDevice device = makeDevice(QStringLiteral("auth=wsse,clock=") + clock);
    const QString header =
        onvifUsernameToken(QStringLiteral("admin"), kPassword, device.deviceTimeMs(kNow) + createdOffsetMs, freshNonce());
    const OnvifDevice::HttpReply reply = device.handleHttp(
        "POST", kTarget, QByteArray(), onvifEnvelope(op(QStringLiteral("GetHostname")), header), kNow);
    QCOMPARE(reply.status == 200, accepted);
}

void tst_OnvifDevice::replayedCredentialsAreRefused()
{
    OnvifDevice device = makeDevice();
    const QByteArray request =
        onvifEnvelope(op(QStringLiteral("GetScopes")),
                      onvifUsernameToken(QStringLiteral("admin"), kPassword, device.deviceTimeMs(kNow), "fixed-nonce"));
    QCOMPARE(device.handleHttp("POST", kTarget, QByteArray(), request, kNow).status, 200);
    QCOMPARE(device.handleHttp("POST", kTarget, QByteArray(), request, kNow + 1000).status, 401);

    // Digest: each nonce count is taken once, in any order (requests sent
    // in parallel overtake each other).
    const QByteArray body = onvifEnvelope(op(QStringLiteral("GetScopes")));
    const QByteArray challenge = device.handleHttp("POST", kTarget, QByteArray(), body, kNow).challenges.first();
    const QByteArray first = onvifDigestAuthorization(challenge, "admin", kPassword, "POST", kTarget, "00000001");
    const QByteArray second = onvifDigestAuthorization(challenge, "admin", kPassword, "POST", kTarget, "00000002");
    QCOMPARE(device.handleHttp("POST", kTarget, first, body, kNow).status, 200);
    QCOMPARE(device.handleHttp("POST", kTarget, first, body, kNow).status, 401);
    QCOMPARE(device.handleHttp("POST", kTarget, second, body, kNow).status, 200);
    const QByteArray fourth = onvifDigestAuthorization(challenge, "admin", kPassword, "POST", kTarget, "00000004");
    const QByteArray third = onvifDigestAuthorization(challenge, "admin", kPassword, "POST", kTarget, "00000003");
    QCOMPARE(device.handleHttp("POST", kTarget, fourth, body, kNow).status, 200);
    QCOMPARE(device.handleHttp("POST", kTarget, third, body, kNow).status, 200);
    QCOMPARE(device.handleHttp("POST", kTarget, fourth, body, kNow).status, 401);
    // Made for another resource: refused.
    const QByteArray elsewhere = onvifDigestAuthorization(challenge, "admin", kPassword, "POST", "/other", "00000005");
    QCOMPARE(device.handleHttp("POST", kTarget, elsewhere, body, kNow).status, 401);
}

void tst_OnvifDevice::expiredDigestNonceIsStale()
{
    OnvifDevice device = makeDevice(QStringLiteral("auth=digest"));
    const QByteArray body = onvifEnvelope(op(QStringLiteral("GetDNS")));
    const QByteArray challenge = device.handleHttp("POST", kTarget, QByteArray(), body, kNow).challenges.first();
    const QByteArray authorization = onvifDigestAuthorization(challenge, "admin", kPassword, "POST", kTarget);
    const qint64 later = kNow + VoskSim::HttpDigest::kNonceLifetimeMs + 1;
    const OnvifDevice::HttpReply reply = device.handleHttp("POST", kTarget, authorization, body, later);
    QCOMPARE(reply.status, 401);
    QVERIFY(reply.challenges.first().contains("stale=true"));
}

void tst_OnvifDevice::emptyBodyDrawsAChallenge()
{
    OnvifDevice device = makeDevice();
    const OnvifDevice::HttpReply probe = device.handleHttp("POST", kTarget, QByteArray(), QByteArray(), kNow);
    QCOMPARE(probe.status, 401);
    QCOMPARE(probe.challenges.size(), 2);
    // With credentials an empty body is what it is: no envelope.
    const QByteArray authorization = onvifDigestAuthorization(probe.challenges.first(), "admin", kPassword, "POST", kTarget);
    QCOMPARE(onvifFaultSubcode(device.handleHttp("POST", kTarget, authorization, QByteArray(), kNow).body),
             QStringLiteral("WellFormed"));
    OnvifDevice tokenOnly = makeDevice(QStringLiteral("auth=wsse"));
    QCOMPARE(tokenOnly.handleHttp("POST", kTarget, QByteArray(), QByteArray(), kNow).status, 400);
}

void tst_OnvifDevice::factoryStateAllowsOnlySetUp_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<bool>("stateScopes");
    QTest::addColumn<bool>("open"); // takes any request without credentials
    QTest::newRow("announced") << "factory" << true << false;
    QTest::newRow("announced, taking any request") << "factory,open" << true << true;
    // As some makers' devices: no scope; only its anonymous answers tell.
    QTest::newRow("quiet") << "factory=quiet" << false << true;
}

void tst_OnvifDevice::factoryStateAllowsOnlySetUp()
{
    QFETCH(QString, rule);
    QFETCH(bool, stateScopes);
    QFETCH(bool, open);
    const QString factoryScope = QStringLiteral("onvif://www.onvif.org/Profile/Q/FactoryDefault");
    const QString operationalScope = QStringLiteral("onvif://www.onvif.org/Profile/Q/Operational");
    OnvifDevice device = makeDevice(rule);
    QVERIFY(device.factoryState());
    QCOMPARE(device.scopes().contains(factoryScope), stateScopes);
    QVERIFY(!device.scopes().contains(operationalScope));
    const OnvifSoap::Element factoryProbe = payloadOf(onvifEnvelope(
        QStringLiteral("<d:Probe xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><d:Scopes>%1</d:Scopes>"
                       "</d:Probe>")
            .arg(factoryScope)));
    QVERIFY(factoryProbe.is(OnvifSoap::kDiscovery, u"Probe"));
    QCOMPARE(device.matches(factoryProbe), stateScopes);
    QCOMPARE(anonymousCall(device, op(QStringLiteral("GetDeviceInformation"))).status, open ? 200 : 401);
    OnvifDevice::HttpReply users = anonymousCall(device, op(QStringLiteral("GetUsers")));
    QCOMPARE(users.status, 200);
    QVERIFY(payloadOf(users.body).children.empty());

    // An operator first: still no administrator, still open.
    const QString createOperator = op(QStringLiteral("CreateUsers"),
                                      QStringLiteral("<tds:User><tt:Username>op</tt:Username><tt:Password>Op123456</tt:Password>"
                                                     "<tt:UserLevel>Operator</tt:UserLevel></tds:User>"));
    QCOMPARE(anonymousCall(device, createOperator).status, 200);
    QVERIFY(device.factoryState());
    // Credentials for a user that does not exist yet do not get in the way.
    const QString createAdmin = op(QStringLiteral("CreateUsers"),
                                   QStringLiteral("<tds:User><tt:Username>boss</tt:Username><tt:Password>New-Pass1</tt:Password>"
                                                  "<tt:UserLevel>Administrator</tt:UserLevel></tds:User>"));
    QCOMPARE(signedCall(device, createAdmin, QStringLiteral("boss"), "New-Pass1").status, 200);
    QVERIFY(!device.factoryState());
    QVERIFY(!device.scopes().contains(factoryScope));
    QCOMPARE(device.scopes().contains(operationalScope), stateScopes);

    QCOMPARE(anonymousCall(device, op(QStringLiteral("GetUsers"))).status, 401);
    QCOMPARE(anonymousCall(device, createOperator).status, 401);
    users = signedCall(device, op(QStringLiteral("GetUsers")), QStringLiteral("boss"), "New-Pass1");
    QCOMPARE(users.status, 200);
    QCOMPARE(payloadOf(users.body).children.size(), std::size_t(2));
    QVERIFY(!users.body.contains("New-Pass1"));
}

void tst_OnvifDevice::ipv6Service_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("xaddrs");
    QTest::newRow("IPv4 and IPv6")
        << QString() << QStringLiteral("fd00:5c::4")
        << QStringList{QStringLiteral("http://127.1.0.4/onvif/device_service"),
                       QStringLiteral("http://[fd00:5c::4]/onvif/device_service")};
    QTest::newRow("IPv6 alone") << QStringLiteral("ipv6only") << QStringLiteral("fd00:5c::4")
                                << QStringList{QStringLiteral("http://[fd00:5c::4]/onvif/device_service")};
    QTest::newRow("link-local alone") << QStringLiteral("ipv6only") << QStringLiteral("fe80::5c:4")
                                      << QStringList{QStringLiteral("http://[fe80::5c:4]/onvif/device_service")};
}

// A device with an IPv6 address serves there (its XAddrs say so), reports
// it, and moves to a new manual one as it moves to a new IPv4 address. One
// with IPv4 off reports no IPv4 address and keeps its IPv6 on.
void tst_OnvifDevice::ipv6Service()
{
    QFETCH(QString, rule);
    QFETCH(QString, address);
    QFETCH(QStringList, xaddrs);
    const bool ipv4 = rule.isEmpty();
    OnvifDevice device = makeDevice(rule, 3, address);
    QCOMPARE(device.serviceAddresses(), xaddrs);
    QCOMPARE(device.ipv4Enabled(), ipv4);
    QCOMPARE(device.ipv6Address(), address);
    QVERIFY(device.hello().contains(xaddrs.join(u' ').toLatin1()));

    OnvifDevice::HttpReply reply = signedCall(device, op(QStringLiteral("GetNetworkInterfaces")));
    QCOMPARE(reply.status, 200);
    const OnvifSoap::Element interfaces = payloadOf(reply.body);
    const OnvifSoap::Element *nic = interfaces.child(OnvifSoap::kDevice, u"NetworkInterfaces");
    QVERIFY(nic);
    const OnvifSoap::Element *v4 = nic->child(OnvifSoap::kSchema, u"IPv4");
    QVERIFY(v4);
    QCOMPARE(v4->childText(OnvifSoap::kSchema, u"Enabled"), ipv4 ? QStringLiteral("true") : QStringLiteral("false"));
    QCOMPARE(reply.body.contains("127.1.0.4"), ipv4);
    QVERIFY(reply.body.contains(address.toLatin1()));

    // IPv6 off would leave a device without IPv4 unreachable.
    const QString ipv6Off = op(QStringLiteral("SetNetworkInterfaces"),
                               QStringLiteral("<tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface>"
                                              "<tt:IPv6><tt:Enabled>false</tt:Enabled></tt:IPv6></tds:NetworkInterface>"));
    reply = signedCall(device, ipv6Off);
    QCOMPARE(reply.status, ipv4 ? 200 : 400);
    if (ipv4)
        return;
    QCOMPARE(device.ipv6Address(), address);

    const QString moveTo = op(QStringLiteral("SetNetworkInterfaces"),
                              QStringLiteral("<tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface><tt:IPv6>"
                                             "<tt:Manual><tt:Address>fd00:5c::99</tt:Address><tt:PrefixLength>64"
                                             "</tt:PrefixLength></tt:Manual></tt:IPv6></tds:NetworkInterface>"));
    const QByteArray before = device.hello();
    reply = signedCall(device, moveTo);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.after, OnvifDevice::After::Move);
    QCOMPARE(device.ipv6Address(), QStringLiteral("fd00:5c::99"));
    QCOMPARE(device.serviceAddresses(), QStringList{QStringLiteral("http://[fd00:5c::99]/onvif/device_service")});
    // New XAddrs, a new metadata version: clients replace what they knew.
    const QByteArray after = device.hello();
    QVERIFY(after.contains("http://[fd00:5c::99]/onvif/device_service"));
    QVERIFY(payloadOf(after).childText(OnvifSoap::kDiscovery, u"MetadataVersion")
            != payloadOf(before).childText(OnvifSoap::kDiscovery, u"MetadataVersion"));
}

void tst_OnvifDevice::rebootNeeded_data()
{
    QTest::addColumn<bool>("rebootNeeded");
    QTest::newRow("applied at once") << false;
    QTest::newRow("applied at the reboot") << true;
}

void tst_OnvifDevice::rebootNeeded()
{
    QFETCH(bool, rebootNeeded);
    OnvifDevice device = makeDevice(rebootNeeded ? QStringLiteral("reboot") : QString());
    const QString before = device.serviceAddress();
    OnvifDevice::HttpReply reply = signedCall(device, setAddress(QStringLiteral("127.1.9.9")));
    QCOMPARE(reply.status, 200);
    QCOMPARE(payloadOf(reply.body).childText(OnvifSoap::kDevice, u"RebootNeeded"),
             rebootNeeded ? QStringLiteral("true") : QStringLiteral("false"));
    QCOMPARE(reply.after, rebootNeeded ? OnvifDevice::After::Nothing : OnvifDevice::After::Move);
    QCOMPARE(device.addressText(), rebootNeeded ? QStringLiteral("127.1.0.4") : QStringLiteral("127.1.9.9"));
    QCOMPARE(device.rebootPending(), rebootNeeded);

    // The interfaces read back show what is in force.
    reply = signedCall(device, op(QStringLiteral("GetNetworkInterfaces")));
    QVERIFY(reply.body.contains(device.addressText().toLatin1()));

    reply = signedCall(device, op(QStringLiteral("SystemReboot")));
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.after, OnvifDevice::After::Reboot);
    device.reboot();
    QCOMPARE(device.addressText(), QStringLiteral("127.1.9.9"));
    QVERIFY(!device.rebootPending());
    QVERIFY(device.serviceAddress() != before);
    QVERIFY(device.hello().contains(device.serviceAddress().toLatin1()));
}

void tst_OnvifDevice::badArgumentsLeaveTheDeviceUnchanged_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("subcode");

    QTest::newRow("address out of range") << setAddress(QStringLiteral("192.0.2.300")) << "InvalidIPv4Address";
    QTest::newRow("address not dotted") << setAddress(QStringLiteral("0x7f.1")) << "InvalidIPv4Address";
    QTest::newRow("multicast address") << setAddress(QStringLiteral("239.1.1.1")) << "InvalidIPv4Address";
    QTest::newRow("network address") << setAddress(QStringLiteral("127.1.0.0")) << "InvalidIPv4Address";
    QTest::newRow("broadcast address") << setAddress(QStringLiteral("127.1.255.255")) << "InvalidIPv4Address";
    QTest::newRow("prefix 33") << setAddress(QStringLiteral("127.1.9.9"), QStringLiteral("33")) << "InvalidIPv4Address";
    QTest::newRow("prefix /24") << setAddress(QStringLiteral("127.1.9.9"), QStringLiteral("/24")) << "InvalidIPv4Address";
    QTest::newRow("wrong interface")
        << QString(setAddress(QStringLiteral("127.1.9.9")).replace(QStringLiteral(">eth0<"), QStringLiteral(">eth9<")))
        << "InvalidNetworkInterface";
    QTest::newRow("gateway") << op(QStringLiteral("SetNetworkDefaultGateway"),
                                   QStringLiteral("<tds:IPv4Address>10.0.0</tds:IPv4Address>"))
                             << "InvalidGatewayAddress";
    QTest::newRow("dns type") << op(QStringLiteral("SetDNS"),
                                    QStringLiteral("<tds:FromDHCP>false</tds:FromDHCP><tds:DNSManual><tt:Type>IPv5</tt:Type>"
                                                   "<tt:IPv4Address>10.0.0.1</tt:IPv4Address></tds:DNSManual>"))
                              << "InvalidIPv4Address";
    QTest::newRow("https on") << op(QStringLiteral("SetNetworkProtocols"),
                                    QStringLiteral("<tds:NetworkProtocols><tt:Name>HTTPS</tt:Name><tt:Enabled>true</tt:Enabled>"
                                                   "<tt:Port>443</tt:Port></tds:NetworkProtocols>"))
                              << "ServiceNotSupported";
    QTest::newRow("http and rtsp on one port")
        << op(QStringLiteral("SetNetworkProtocols"),
              QStringLiteral("<tds:NetworkProtocols><tt:Name>HTTP</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>8000</tt:Port>"
                             "</tds:NetworkProtocols><tds:NetworkProtocols><tt:Name>RTSP</tt:Name><tt:Enabled>true</tt:Enabled>"
                             "<tt:Port>8000</tt:Port></tds:NetworkProtocols>"))
        << "PortAlreadyInUse";
    QTest::newRow("user clash")
        << op(QStringLiteral("CreateUsers"), QStringLiteral("<tds:User><tt:Username>admin</tt:Username><tt:Password>x1</tt:Password>"
                                                            "<tt:UserLevel>User</tt:UserLevel></tds:User>"))
        << "UsernameClash";
    QTest::newRow("anonymous user")
        << op(QStringLiteral("CreateUsers"), QStringLiteral("<tds:User><tt:Username>anon</tt:Username><tt:Password>x1</tt:Password>"
                                                            "<tt:UserLevel>Anonymous</tt:UserLevel></tds:User>"))
        << "AnonymousNotAllowed";
    QTest::newRow("second user of a request clashes, first not created")
        << op(QStringLiteral("CreateUsers"),
              QStringLiteral("<tds:User><tt:Username>u1</tt:Username><tt:Password>x1</tt:Password><tt:UserLevel>User</tt:UserLevel></tds:User>"
                             "<tds:User><tt:Username>u1</tt:Username><tt:Password>x2</tt:Password><tt:UserLevel>User</tt:UserLevel></tds:User>"))
        << "UsernameClash";
    QTest::newRow("unknown user")
        << op(QStringLiteral("SetUser"), QStringLiteral("<tds:User><tt:Username>ghost</tt:Username><tt:Password>x1</tt:Password>"
                                                        "<tt:UserLevel>User</tt:UserLevel></tds:User>"))
        << "UsernameMissing";
    QTest::newRow("last administrator demoted")
        << op(QStringLiteral("SetUser"), QStringLiteral("<tds:User><tt:Username>admin</tt:Username>"
                                                        "<tt:UserLevel>User</tt:UserLevel></tds:User>"))
        << "FixedUser";
}

void tst_OnvifDevice::badArgumentsLeaveTheDeviceUnchanged()
{
    QFETCH(QString, body);
    QFETCH(QString, subcode);
    OnvifDevice device = makeDevice();
    auto snapshot = [&] {
        QByteArray all;
        for (const char *name : {"GetNetworkInterfaces", "GetNetworkDefaultGateway", "GetDNS", "GetNetworkProtocols", "GetUsers"})
            all += signedCall(device, op(QString::fromLatin1(name))).body;
        return all;
    };
    const QByteArray before = snapshot();
    const OnvifDevice::HttpReply reply = signedCall(device, body);
    QCOMPARE(reply.status, 400);
    QCOMPARE(onvifFaultSubcode(reply.body), subcode);
    QCOMPARE(reply.after, OnvifDevice::After::Nothing);
    QCOMPARE(snapshot(), before);
    // The old password still works, and only it.
    QCOMPARE(signedCall(device, op(QStringLiteral("GetUsers"))).status, 200);
}

void tst_OnvifDevice::userLevels()
{
    OnvifDevice device = makeDevice();
    QCOMPARE(signedCall(device, op(QStringLiteral("CreateUsers"),
                                   QStringLiteral("<tds:User><tt:Username>viewer</tt:Username><tt:Password>View-123</tt:Password>"
                                                  "<tt:UserLevel>User</tt:UserLevel></tds:User>")))
                 .status,
             200);
    QCOMPARE(signedCall(device, op(QStringLiteral("GetDeviceInformation")), QStringLiteral("viewer"), "View-123").status, 200);
    const OnvifDevice::HttpReply denied =
        signedCall(device, setAddress(QStringLiteral("127.1.9.9")), QStringLiteral("viewer"), "View-123");
    QCOMPARE(denied.status, 400);
    QCOMPARE(onvifFaultSubcode(denied.body), QStringLiteral("NotAuthorized"));
    QCOMPARE(device.addressText(), QStringLiteral("127.1.0.4"));

    // SetUser: a new password takes effect at once, the old one stops.
    QCOMPARE(signedCall(device, op(QStringLiteral("SetUser"),
                                   QStringLiteral("<tds:User><tt:Username>admin</tt:Username><tt:Password>Changed-1</tt:Password>"
                                                  "<tt:UserLevel>Administrator</tt:UserLevel></tds:User>")))
                 .status,
             200);
    QCOMPARE(signedCall(device, op(QStringLiteral("GetUsers"))).status, 401);
    QCOMPARE(signedCall(device, op(QStringLiteral("GetUsers")), QStringLiteral("admin"), "Changed-1").status, 200);
}

void tst_OnvifDevice::unsupportedAndFaultyAnswers()
{
    OnvifDevice device = makeDevice(QStringLiteral("faults"));
    OnvifDevice::HttpReply reply = signedCall(device, op(QStringLiteral("GetZeroConfiguration")));
    QCOMPARE(reply.status, 500);
    QCOMPARE(onvifFaultSubcode(reply.body), QStringLiteral("ActionNotSupported"));
    reply = signedCall(device, QStringLiteral("<GetImagingSettings xmlns=\"http://www.onvif.org/ver20/imaging/wsdl\"/>"));
    QCOMPARE(onvifFaultSubcode(reply.body), QStringLiteral("ActionNotSupported"));

    // A faulty device reads fine and fails every change.
    QCOMPARE(signedCall(device, op(QStringLiteral("GetDNS"))).status, 200);
    reply = signedCall(device, setAddress(QStringLiteral("127.1.9.9")));
    QCOMPARE(reply.status, 500);
    QCOMPARE(onvifFaultSubcode(reply.body), QStringLiteral("Action"));
    QCOMPARE(device.addressText(), QStringLiteral("127.1.0.4"));
    // Its faults still come after the authentication.
    QCOMPARE(anonymousCall(device, op(QStringLiteral("SystemReboot"))).status, 401);
}

void tst_OnvifDevice::hostileEnvelopes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("code");  // innermost subcode, or the code

    const QByteArray getInfo = onvifEnvelope(op(QStringLiteral("GetDeviceInformation")));
    QTest::newRow("entity expansion")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>"
                      "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><x>&b;</x></s:Body></s:Envelope>")
        << 400 << "WellFormed";
    QTest::newRow("external entity")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                      "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><x>&x;</x></s:Body></s:Envelope>")
        << 400 << "WellFormed";
    QTest::newRow("processing instruction")
        << QByteArray(getInfo).insert(getInfo.indexOf("<s:Body>"), "<?evil now?>") << 400 << "WellFormed";
    QTest::newRow("not XML") << QByteArray("GET / HTTP/1.1") << 400 << "WellFormed";
    QTest::newRow("truncated") << getInfo.left(getInfo.size() - 10) << 400 << "WellFormed";
    QTest::newRow("deeply nested")
        << onvifEnvelope(QString(QStringLiteral("<a>")).repeated(200) + QString(QStringLiteral("</a>")).repeated(200))
        << 400 << "WellFormed";
    QTest::newRow("oversized") << onvifEnvelope(QStringLiteral("<tds:GetDNS>%1</tds:GetDNS>").arg(QString(70000, QLatin1Char('x'))))
                               << 400 << "WellFormed";
    QTest::newRow("SOAP 1.1")
        << QByteArray("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>"
                      "<GetDeviceInformation xmlns=\"http://www.onvif.org/ver10/device/wsdl\"/></e:Body></e:Envelope>")
        << 500 << "VersionMismatch";
    QTest::newRow("device element in a wrong namespace")
        << onvifEnvelope(QStringLiteral("<GetDeviceInformation xmlns=\"http://www.onvif.org/ver10/devicex/wsdl\"/>"))
        << 500 << "ActionNotSupported";
    QTest::newRow("header that must be understood")
        << onvifEnvelope(op(QStringLiteral("GetSystemDateAndTime")),
                         QStringLiteral("<x:Trace xmlns:x=\"urn:x\" s:mustUnderstand=\"true\"/>"))
        << 500 << "MustUnderstand";
    QTest::newRow("empty body") << onvifEnvelope(QString()) << 400 << "InvalidArgs";
}

void tst_OnvifDevice::hostileEnvelopes()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QString, code);
    OnvifDevice device = makeDevice();
    const OnvifDevice::HttpReply reply = device.handleHttp("POST", kTarget, QByteArray(), body, kNow);
    QCOMPARE(reply.status, status);
    QString found = onvifFaultSubcode(reply.body);
    QCOMPARE(found, code);
    QVERIFY(!reply.body.contains("root:"));
}

void tst_OnvifDevice::silentAndSlow()
{
    OnvifDevice silent = makeDevice(QStringLiteral("silent"));
    QVERIFY(anonymousCall(silent, op(QStringLiteral("GetSystemDateAndTime"))).silent);
    OnvifDevice slow = makeDevice(QStringLiteral("slow=1500"));
    const OnvifDevice::HttpReply reply = anonymousCall(slow, op(QStringLiteral("GetSystemDateAndTime")));
    QVERIFY(!reply.silent);
    QCOMPARE(reply.delayMs, 1500);
    QCOMPARE(reply.status, 200);
}

void tst_OnvifDevice::hostileAnswers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("parsed");  // OnvifSoap::ParseError of the HTTP answer
    QTest::addColumn<int>("parsedDatagram");

    using E = OnvifSoap::ParseError;
    // The largest datagram UDP carries is within our reader's bound.
    QTest::newRow("oversized") << "oversized" << int(E::TooLarge) << int(E::None);
    QTest::newRow("nested") << "nested" << int(E::TooLarge) << int(E::TooLarge);
    QTest::newRow("entities") << "entities" << int(E::Forbidden) << int(E::Forbidden);
    QTest::newRow("namespace") << "namespace" << int(E::None) << int(E::None);
}

void tst_OnvifDevice::hostileAnswers()
{
    // What the tests of clients get to refuse; our own reader refuses it
    // too, the spoofed namespace by finding no answer it knows.
    QFETCH(QString, kind);
    QFETCH(int, parsed);
    QFETCH(int, parsedDatagram);
    OnvifDevice device = makeDevice(QStringLiteral("hostile=") + kind);
    const OnvifDevice::HttpReply reply = anonymousCall(device, op(QStringLiteral("GetSystemDateAndTime")));
    QCOMPARE(reply.status, 200);
    const QByteArray datagram = device.probeMatches(QStringLiteral("urn:uuid:1"));
    QVERIFY(datagram.size() <= 65507);
    for (const auto &[answer, expected] : {std::pair{reply.body, parsed}, std::pair{datagram, parsedDatagram}}) {
        OnvifSoap::Message message;
        QCOMPARE(int(OnvifSoap::parse(answer, message)), expected);
        if (kind == QLatin1String("namespace")) {
            QVERIFY(!message.payload.is(OnvifSoap::kDevice, u"GetSystemDateAndTimeResponse"));
            QVERIFY(!message.payload.is(OnvifSoap::kDiscovery, u"ProbeMatches"));
            QVERIFY(answer.contains("<tds:") || answer.contains("<d:"));
        }
    }
    if (kind == QLatin1String("oversized")) {
        QVERIFY(reply.body.size() > 2 * 1024 * 1024);
        QVERIFY(datagram.size() > 60000);
    }
    // Faults and refusals stay as they are: only answers are spoiled.
    QCOMPARE(onvifFaultSubcode(anonymousCall(device, op(QStringLiteral("GetUsers"))).body),
             QStringLiteral("NotAuthorized"));
}

void tst_OnvifDevice::probeMatching_data()
{
    QTest::addColumn<QString>("probe");
    QTest::addColumn<bool>("matches");

    const QString d = QStringLiteral("xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"");
    const QString dn = QStringLiteral("xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"");
    auto probe = [&](const QString &inner) { return QStringLiteral("<d:Probe %1 %2>%3</d:Probe>").arg(d, dn, inner); };
    QTest::newRow("everything") << probe(QString()) << true;
    QTest::newRow("empty types and scopes") << probe(QStringLiteral("<d:Types/><d:Scopes/>")) << true;
    QTest::newRow("transmitter") << probe(QStringLiteral("<d:Types>dn:NetworkVideoTransmitter</d:Types>")) << true;
    QTest::newRow("transmitter, other prefix")
        << QStringLiteral("<d:Probe %1 xmlns:x=\"http://www.onvif.org/ver10/network/wsdl\"><d:Types>x:NetworkVideoTransmitter</d:Types></d:Probe>").arg(d)
        << true;
    QTest::newRow("device and transmitter")
        << probe(QStringLiteral("<d:Types xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">tds:Device dn:NetworkVideoTransmitter</d:Types>"))
        << true;
    QTest::newRow("right name, wrong namespace")
        << QStringLiteral("<d:Probe %1 xmlns:dn=\"urn:other\"><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe>").arg(d)
        << false;
    QTest::newRow("undeclared prefix") << probe(QStringLiteral("<d:Types>zz:NetworkVideoTransmitter</d:Types>")) << false;
    QTest::newRow("printer") << probe(QStringLiteral("<d:Types>dn:Printer</d:Types>")) << false;
    QTest::newRow("scope prefix") << probe(QStringLiteral("<d:Scopes>onvif://www.onvif.org/type</d:Scopes>")) << true;
    QTest::newRow("scope, authority in capitals")
        << probe(QStringLiteral("<d:Scopes>ONVIF://WWW.ONVIF.ORG/hardware/CV-IPC2140</d:Scopes>")) << true;
    QTest::newRow("scope, part of a segment") << probe(QStringLiteral("<d:Scopes>onvif://www.onvif.org/hardware/CV</d:Scopes>"))
                                              << false;
    QTest::newRow("scope, percent-encoded name")
        << probe(QStringLiteral("<d:Scopes>onvif://www.onvif.org/name/Camera%20001</d:Scopes>")) << true;
    QTest::newRow("scope of another device") << probe(QStringLiteral("<d:Scopes>onvif://www.onvif.org/name/Camera%20002</d:Scopes>"))
                                             << false;
    QTest::newRow("strcmp0, exact")
        << probe(QStringLiteral("<d:Scopes MatchBy=\"http://schemas.xmlsoap.org/ws/2005/04/discovery/strcmp0\">"
                                "onvif://www.onvif.org/Profile/Streaming</d:Scopes>"))
        << true;
    QTest::newRow("strcmp0, prefix only")
        << probe(QStringLiteral("<d:Scopes MatchBy=\"http://schemas.xmlsoap.org/ws/2005/04/discovery/strcmp0\">"
                                "onvif://www.onvif.org/Profile</d:Scopes>"))
        << false;
    // Profile Q's probe for devices still waiting for their administrator.
    QTest::newRow("factory-state probe, device in use")
        << probe(QStringLiteral("<d:Scopes>onvif://www.onvif.org/Profile/Q/FactoryDefault</d:Scopes>")) << false;
    QTest::newRow("operational probe, device in use")
        << probe(QStringLiteral("<d:Scopes>onvif://www.onvif.org/Profile/Q/Operational</d:Scopes>")) << true;
    QTest::newRow("unknown rule") << probe(QStringLiteral("<d:Scopes MatchBy=\"urn:regex\">onvif://www.onvif.org/</d:Scopes>"))
                                  << false;
}

void tst_OnvifDevice::probeMatching()
{
    QFETCH(QString, probe);
    QFETCH(bool, matches);
    OnvifDevice device = makeDevice(QString(), 0);  // "Camera 001", CV-IPC2140
    const OnvifSoap::Element payload = payloadOf(onvifEnvelope(probe));
    QVERIFY(payload.is(OnvifSoap::kDiscovery, u"Probe"));
    QCOMPARE(device.matches(payload), matches);
}

void tst_OnvifDevice::identityIsStablePerSeed()
{
    OnvifDevice a = makeDevice(QString(), 5);
    OnvifDevice b = makeDevice(QString(), 5);
    OnvifDevice c = makeDevice(QString(), 6);
    QCOMPARE(a.endpoint(), b.endpoint());
    QCOMPARE(a.serialNumber(), b.serialNumber());
    QCOMPARE(a.hardwareAddress(), b.hardwareAddress());
    QVERIFY(a.endpoint() != c.endpoint());
    QVERIFY(a.hardwareAddress() != c.hardwareAddress());
    QVERIFY(a.endpoint().startsWith(QLatin1String("urn:uuid:")));
    // The seeded behaviours are the same every time too.
    const OnvifBehaviour x = OnvifBehaviour::seeded(9, 11);
    const OnvifBehaviour y = OnvifBehaviour::seeded(9, 11);
    QCOMPARE(int(x.auth), int(y.auth));
    QCOMPARE(x.clockOffsetSeconds, y.clockOffsetSeconds);
    QCOMPARE(x.factory, y.factory);
}

void tst_OnvifDevice::behaviourRules_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("covers");

    QTest::newRow("all devices") << "silent" << 7 << true << true;
    QTest::newRow("one device") << "3:factory" << 3 << true << true;
    QTest::newRow("outside the range") << "0-9:auth=digest" << 10 << true << false;
    QTest::newRow("several items") << "2-4:auth=wsse,clock=-90m,reboot,slow=200" << 4 << true << true;
    QTest::newRow("backwards range") << "9-2:silent" << 3 << false << false;
    QTest::newRow("unknown item") << "loud" << 0 << false << false;
    QTest::newRow("unknown auth") << "auth=basic" << 0 << false << false;
    QTest::newRow("clock too far") << "clock=+9999h" << 0 << false << false;
    QTest::newRow("slow too long") << "slow=999999" << 0 << false << false;
    QTest::newRow("empty") << "4:" << 4 << false << false;
    QTest::newRow("hostile") << "7:hostile=entities" << 7 << true << true;
    QTest::newRow("unknown hostility") << "hostile=rude" << 0 << false << false;
    QTest::newRow("quiet factory state") << "5:factory=quiet" << 5 << true << true;
    QTest::newRow("unknown factory state") << "factory=loud" << 0 << false << false;
    QTest::newRow("IPv6 alone") << "1-2:ipv6only" << 2 << true << true;
}

void tst_OnvifDevice::behaviourRules()
{
    QFETCH(QString, rule);
    QFETCH(int, index);
    QFETCH(bool, valid);
    QFETCH(bool, covers);
    QString error;
    const std::optional<OnvifBehaviour::Rule> parsed = OnvifBehaviour::parseRule(rule, error);
    QCOMPARE(parsed.has_value(), valid);
    QCOMPARE(error.isEmpty(), valid);
    if (!parsed)
        return;
    QCOMPARE(parsed->covers(index), covers);
    OnvifBehaviour b;
    parsed->apply(b);
    if (rule.contains(QLatin1String("clock=-90m")))
        QCOMPARE(b.clockOffsetSeconds, qint64(-5400));
}

QTEST_GUILESS_MAIN(tst_OnvifDevice)
#include "tst_onvifdevice.moc"
