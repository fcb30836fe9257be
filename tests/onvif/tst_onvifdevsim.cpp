// The ONVIF library end to end against the simulator's ONVIF devices:
// discovery with loss and duplicates, sign-in whatever the device's clock
// and scheme, a wrong password, and a device in factory state activated.

#include "onvif/deviceclient.h"
#include "onvif/devicesession.h"
#include "onvif/discoveryclient.h"
#include "calloutcome.h"
#include "onvifsim.h"

#include <QNetworkAccessManager>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace Onvif;
template <typename T>
using Outcome = TestSupport::CallOutcome<T>;

namespace {

const QString kPassword = QStringLiteral("Admin12345");

// The simulator of this build; VOSK_DEVSIM names another one to try.
QString simulator()
{
    return qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH));
}

DiscoveryOptions loopback(quint16 port)
{
    DiscoveryOptions o;
    o.port = port;
    o.interfaces = {"lo"};
    return o;
}

QUrl serviceOf(int device, const char *block, quint16 httpPort)
{
    return QUrl(QStringLiteral("http://%1.%2:%3/onvif/device_service")
                    .arg(QString::fromLatin1(block))
                    .arg(device + 1)
                    .arg(httpPort));
}

} // namespace

class tst_OnvifDevsim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discoveryWithLoss();
    void signsIn_data();
    void signsIn();
    void factoryStateActivated();
    void sessionsOnWorkerThreads();
    void settingsReadBack();
    void newAddress_data();
    void newAddress();

private:
    TestSupport::OnvifSim m_auth;  // the fleet of signsIn, started once
};

void tst_OnvifDevsim::initTestCase()
{
    // A build whose simulator has no ONVIF devices yet has nothing to test.
    QProcess help;
    help.start(simulator(), {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(10000));
    if (!help.readAllStandardOutput().contains("--onvif"))
        QSKIP("this simulator has no ONVIF devices");
}

// 10% of datagrams lost each way, two Probes a round and three rounds: all
// 60 found, each once, however often it answered.
void tst_OnvifDevsim::discoveryWithLoss()
{
    TestSupport::OnvifSim sim;
    QVERIFY(sim.start(simulator(), 60, 34701, 18101, QStringLiteral("127.41.0.1"),
                      {QStringLiteral("--drop"), QStringLiteral("0.1")}));
    DiscoveryClient client(loopback(34701));
    QSignalSpy found(&client, &DiscoveryClient::deviceFound);
    QSignalSpy finished(&client, &DiscoveryClient::probeFinished);
    QVERIFY(client.start());
    client.probe();
    QVERIFY(finished.wait(10000));
    QTRY_COMPARE_WITH_TIMEOUT(client.devices().size(), 60, 5000);
    QCOMPARE(found.size(), 60);
    QSet<QString> hosts;
    for (const DiscoveredDevice &d : client.devices()) {
        QVERIFY(d.isNetworkVideoTransmitter());
        QVERIFY(d.endpoint.startsWith(QLatin1String("urn:uuid:")));
        hosts.insert(d.serviceAddress().host());
    }
    QCOMPARE(hosts.size(), 60);
    QCOMPARE(client.malformedCount(), 0);

    // Bye at stop: every device leaves the list.
    QSignalSpy lost(&client, &DiscoveryClient::deviceLost);
    QVERIFY(sim.stop());
    QTRY_VERIFY_WITH_TIMEOUT(lost.size() >= 50, 5000);  // Byes are lost too
}

void tst_OnvifDevsim::signsIn_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<DeviceClient::AuthMethod>("method");
    QTest::newRow("both, clock right") << 0 << DeviceClient::AuthMethod::UsernameToken;
    QTest::newRow("digest only") << 1 << DeviceClient::AuthMethod::HttpDigest;
    QTest::newRow("UsernameToken only") << 2 << DeviceClient::AuthMethod::UsernameToken;
    QTest::newRow("UsernameToken only, clock 7 h ahead") << 3 << DeviceClient::AuthMethod::UsernameToken;
    QTest::newRow("both, clock 9 h behind") << 4 << DeviceClient::AuthMethod::UsernameToken;
    QTest::newRow("digest only, clock 5 h ahead") << 5 << DeviceClient::AuthMethod::HttpDigest;
}

// Device information and interfaces with the right password; NotAuthorized
// with a wrong one, on every kind of device.
void tst_OnvifDevsim::signsIn()
{
    QFETCH(int, device);
    QFETCH(DeviceClient::AuthMethod, method);
    static bool started = false;
    if (!started) {
        QVERIFY(m_auth.start(simulator(), 6, 34702, 18102, QStringLiteral("127.42.0.1"),
                             {QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                              QStringLiteral("--onvif-behaviour"), QStringLiteral("1:auth=digest"),
                              QStringLiteral("--onvif-behaviour"), QStringLiteral("2:auth=wsse"),
                              QStringLiteral("--onvif-behaviour"), QStringLiteral("3:auth=wsse,clock=+7h"),
                              QStringLiteral("--onvif-behaviour"), QStringLiteral("4:auth=both,clock=-9h"),
                              QStringLiteral("--onvif-behaviour"), QStringLiteral("5:auth=digest,clock=+5h")}));
        started = true;
    }
    QNetworkAccessManager *network = DeviceClient::makeNetworkManager(this);
    DeviceClient client(serviceOf(device, "127.42.0", 18102), network);
    client.setCredentials(QStringLiteral("admin"), kPassword);
    Outcome<DeviceInformation> info;
    Outcome<QList<NetworkInterface>> interfaces;
    client.getDeviceInformation(info.callback());
    client.getNetworkInterfaces(interfaces.callback());
    QVERIFY(info.wait() && interfaces.wait());
    QVERIFY2(info.result.ok(), qPrintable(errorKindName(info.result.error.kind) + u' ' + info.result.error.reason));
    QVERIFY(!info.result.value.serialNumber.isEmpty());
    QVERIFY(interfaces.result.ok());
    QCOMPARE(interfaces.result.value.size(), 1);
    QCOMPARE(interfaces.result.value.constFirst().ipv4->manual.constFirst().address, serviceOf(device, "127.42.0", 0).host());
    QCOMPARE(client.authMethod(), method);

    DeviceClient wrong(serviceOf(device, "127.42.0", 18102), network);
    wrong.setCredentials(QStringLiteral("admin"), QStringLiteral("not-the-password"));
    Outcome<DeviceInformation> refused;
    wrong.getDeviceInformation(refused.callback());
    QVERIFY(refused.wait());
    QCOMPARE(errorKindName(refused.result.error.kind), errorKindName(ErrorKind::NotAuthorized));
    delete network;
}

// No user yet: discovery says FactoryDefault, GetUsers answers anyone;
// CreateUsers makes the administrator; from then on anonymous calls are
// refused and the new credentials sign in.
void tst_OnvifDevsim::factoryStateActivated()
{
    TestSupport::OnvifSim sim;
    QVERIFY(sim.start(simulator(), 2, 34703, 18103, QStringLiteral("127.43.0.1"),
                      {QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                       QStringLiteral("--onvif-behaviour"), QStringLiteral("1:factory,clock=-3h")}));
    DiscoveryClient discovery(loopback(34703));
    QVERIFY(discovery.start());
    discovery.probe();
    QTRY_COMPARE_WITH_TIMEOUT(discovery.devices().size(), 2, 5000);
    const QUrl url = serviceOf(1, "127.43.0", 18103);
    bool factory = false;
    for (const DiscoveredDevice &d : discovery.devices()) {
        if (d.serviceAddress() == url)
            factory = isFactoryDefault(d.scopes);
        else
            QVERIFY(!isFactoryDefault(d.scopes));
    }
    QVERIFY(factory);

    QNetworkAccessManager *network = DeviceClient::makeNetworkManager(this);
    DeviceClient anonymous(url, network);
    Outcome<QList<User>> none;
    anonymous.getUsers(none.callback());
    QVERIFY(none.wait());
    QVERIFY2(none.result.ok(), qPrintable(none.result.error.reason));
    QVERIFY(none.result.value.isEmpty());

    const QString password = QStringLiteral("Fresh-Passw0rd");
    Outcome<NoValue> created;
    anonymous.createUsers({{QStringLiteral("admin"), password, UserLevel::Administrator}}, created.callback());
    QVERIFY(created.wait());
    QVERIFY2(created.result.ok(), qPrintable(created.result.error.reason));

    Outcome<QList<User>> refused;
    anonymous.getUsers(refused.callback());
    QVERIFY(refused.wait());
    QCOMPARE(errorKindName(refused.result.error.kind), errorKindName(ErrorKind::NotAuthorized));

    DeviceClient admin(url, network);
    admin.setCredentials(QStringLiteral("admin"), password);
    Outcome<QList<User>> users;
    admin.getUsers(users.callback());
    QVERIFY(users.wait());
    QVERIFY2(users.result.ok(), qPrintable(users.result.error.reason));
    QCOMPARE(users.result.value.size(), 1);
    QCOMPARE(users.result.value.constFirst().username, QStringLiteral("admin"));
    QCOMPARE(users.result.value.constFirst().level, UserLevel::Administrator);
    // Its clock is hours off: the token was signed on it.
    QVERIFY(qAbs(admin.clockOffsetMs() + 3 * 3600 * 1000) < 5000);
    delete network;
}

// Blocking sessions on plain threads, several at once, as a thread pool
// runs a batch: each signs in and reads; a wrong password fails alone.
void tst_OnvifDevsim::sessionsOnWorkerThreads()
{
    TestSupport::OnvifSim sim;
    QVERIFY(sim.start(simulator(), 8, 34706, 18106, QStringLiteral("127.47.0.1"),
                      {QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                       QStringLiteral("--onvif-behaviour"), QStringLiteral("0-3:auth=digest"),
                       QStringLiteral("--onvif-behaviour"), QStringLiteral("4-7:auth=wsse,clock=+4h")}));
    std::atomic<int> signedIn{0};
    std::atomic<int> refused{0};
    std::vector<std::thread> pool;
    for (int i = 0; i < 9; ++i) {
        pool.emplace_back([i, &signedIn, &refused] {
            const bool wrong = i == 8;
            DeviceSession session(serviceOf(wrong ? 5 : i, "127.47.0", 18106), QStringLiteral("admin"),
                                  wrong ? QStringLiteral("nope") : kPassword);
            const Result<DeviceInformation> info = session.getDeviceInformation();
            const Result<QList<NetworkInterface>> nics = session.getNetworkInterfaces();
            if (info.ok() && nics.ok() && !nics.value.isEmpty())
                ++signedIn;
            if (info.error.kind == ErrorKind::NotAuthorized && nics.error.kind == ErrorKind::NotAuthorized)
                ++refused;
        });
    }
    for (std::thread &t : pool)
        t.join();
    QCOMPARE(signedIn.load(), 8);
    QCOMPARE(refused.load(), 1);
}

// Gateway, DNS and HTTP port set and read back; a new HTTP port moves the
// service there.
void tst_OnvifDevsim::settingsReadBack()
{
    TestSupport::OnvifSim sim;
    QVERIFY(sim.start(simulator(), 1, 34707, 18107, QStringLiteral("127.48.0.1"),
                      {QStringLiteral("--onvif-behaviour"), QStringLiteral("plain")}));
    DeviceSession session(serviceOf(0, "127.48.0", 18107), QStringLiteral("admin"), kPassword);
    QVERIFY(session.setNetworkDefaultGateway({{QStringLiteral("127.48.0.254")}, {}}).ok());
    const Result<NetworkGateway> gateway = session.getNetworkDefaultGateway();
    QVERIFY(gateway.ok());
    QCOMPARE(gateway.value.ipv4, QStringList{QStringLiteral("127.48.0.254")});

    DnsInformation dns;
    dns.searchDomains = {QStringLiteral("site.example")};
    dns.manualServers = {QStringLiteral("192.0.2.53"), QStringLiteral("2001:db8::53")};
    const Result<NoValue> setDns = session.setDns(dns);
    QVERIFY2(setDns.ok(), qPrintable(setDns.error.reason));
    const Result<DnsInformation> readDns = session.getDns();
    QVERIFY(readDns.ok());
    QVERIFY(!readDns.value.fromDhcp);
    QCOMPARE(readDns.value.manualServers, dns.manualServers);
    QCOMPARE(readDns.value.searchDomains, dns.searchDomains);

    const Result<QList<NetworkProtocol>> protocols = session.getNetworkProtocols();
    QVERIFY(protocols.ok());
    QCOMPARE(httpPort(protocols.value), 18107);
    QList<NetworkProtocol> changed = protocols.value;
    for (NetworkProtocol &p : changed) {
        if (p.name == QLatin1String("HTTP"))
            p.ports = {18117};
    }
    const Result<NoValue> setProtocols = session.setNetworkProtocols(changed);
    QVERIFY2(setProtocols.ok(), qPrintable(setProtocols.error.reason));
    DeviceSession moved(serviceOf(0, "127.48.0", 18117), QStringLiteral("admin"), kPassword);
    Result<QList<NetworkProtocol>> after;
    QTRY_VERIFY_WITH_TIMEOUT((after = moved.getNetworkProtocols()).ok(), 5000);
    QCOMPARE(httpPort(after.value), 18117);
}

void tst_OnvifDevsim::newAddress_data()
{
    QTest::addColumn<bool>("reboot");
    QTest::newRow("applied at once") << false;
    QTest::newRow("RebootNeeded") << true;
}

// SetNetworkInterfaces to a new address: with RebootNeeded the device
// keeps its address until SystemReboot, says Bye, and comes back with a
// Hello at the new one; without, it moves at once. The same client, told
// the new address, signs in there (its clock and scheme kept).
void tst_OnvifDevsim::newAddress()
{
    QFETCH(bool, reboot);
    const quint16 port = reboot ? 34705 : 34704;
    const quint16 http = reboot ? 18105 : 18104;
    const QString block = reboot ? QStringLiteral("127.46.0.") : QStringLiteral("127.45.0.");
    TestSupport::OnvifSim sim;
    QVERIFY(sim.start(simulator(), 1, port, http, block + u'1',
                      {QStringLiteral("--onvif-reboot-ms"), QStringLiteral("200"), QStringLiteral("--onvif-behaviour"),
                       reboot ? QStringLiteral("0:auth=digest,clock=+2h,reboot") : QStringLiteral("0:auth=wsse,clock=-2h")}));
    DiscoveryClient discovery(loopback(port));
    QSignalSpy found(&discovery, &DiscoveryClient::deviceFound);
    QSignalSpy changed(&discovery, &DiscoveryClient::deviceChanged);
    QSignalSpy lost(&discovery, &DiscoveryClient::deviceLost);
    QVERIFY(discovery.start());
    discovery.probe();
    QTRY_COMPARE_WITH_TIMEOUT(discovery.devices().size(), 1, 5000);
    const QString endpoint = discovery.devices().constFirst().endpoint;
    const QUrl oldUrl = discovery.devices().constFirst().serviceAddress();

    QNetworkAccessManager *network = DeviceClient::makeNetworkManager(this);
    DeviceClient client(oldUrl, network);
    client.setCredentials(QStringLiteral("admin"), kPassword);
    Outcome<QList<NetworkInterface>> interfaces;
    client.getNetworkInterfaces(interfaces.callback());
    QVERIFY(interfaces.wait());
    QVERIFY2(interfaces.result.ok(), qPrintable(interfaces.result.error.reason));
    const NetworkInterface nic = interfaces.result.value.constFirst();
    const QString newAddress = block + QStringLiteral("200");
    NetworkInterfaceSettings settings;
    settings.ipv4Enabled = true;
    settings.ipv4Dhcp = false;
    settings.ipv4Manual = {{newAddress, nic.ipv4->manual.constFirst().prefixLength}};
    Outcome<bool> set;
    client.setNetworkInterfaces(nic.token, settings, set.callback());
    QVERIFY(set.wait());
    QVERIFY2(set.result.ok(), qPrintable(set.result.error.reason));
    QCOMPARE(set.result.value, reboot);

    if (reboot) {
        // Still at the old address until the reboot.
        Outcome<DeviceInformation> before;
        client.getDeviceInformation(before.callback());
        QVERIFY(before.wait());
        QVERIFY(before.result.ok());
        Outcome<QString> rebooted;
        client.systemReboot(rebooted.callback());
        QVERIFY(rebooted.wait());
        QVERIFY(rebooted.result.ok());
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 5000);
    }
    // Heard again (Hello) with the new service address: from there, so
    // listed as that host's (the old entry stays until its Bye or silence).
    auto heardAtNew = [&discovery, &endpoint, &newAddress] {
        const QList<DiscoveredDevice> all = discovery.devices();
        return std::any_of(all.cbegin(), all.cend(), [&](const DiscoveredDevice &d) {
            return d.endpoint == endpoint && d.serviceAddress().host() == newAddress;
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(heardAtNew(), 10000);
    QVERIFY(found.size() + changed.size() >= 2);

    QUrl newUrl = oldUrl;
    newUrl.setHost(newAddress);
    client.setServiceAddress(newUrl);
    Outcome<DeviceInformation> after;
    client.getDeviceInformation(after.callback());
    QVERIFY(after.wait());
    QVERIFY2(after.result.ok(), qPrintable(after.result.error.reason));
    QCOMPARE(client.authMethod(), reboot ? DeviceClient::AuthMethod::HttpDigest : DeviceClient::AuthMethod::UsernameToken);
    delete network;
}

QTEST_GUILESS_MAIN(tst_OnvifDevsim)
#include "tst_onvifdevsim.moc"
