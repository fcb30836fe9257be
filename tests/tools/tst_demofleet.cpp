// The demo fleet as ./run.sh starts it (start_demo_fleet in
// scripts/common.sh), inside a network namespace of the test's own: it
// stays on loopback whatever VOSK_INTERFACES says, and its ONVIF devices
// answer where and as the README says. A veth pair stands for the network
// the fleet must never show up on.

#include "tests/onvif/calloutcome.h"
#include "onvif/deviceclient.h"
#include "onvif/devicetypes.h"
#include "onvif/discoveryclient.h"
#include "privatenetwork.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Onvif;

namespace {

const char *const kOther = "demo0";
const char *const kPeer = "demo1";

bool ip(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("ip"), arguments) == 0;
}

QString serviceAddress(int index)
{
    return QStringLiteral("http://127.1.0.%1:8080/onvif/device_service").arg(index + 1);
}

} // namespace

class tst_DemoFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pinnedToLoopback();
    void onvifDevices_data();
    void onvifDevices();

private:
    // Up to `windows` listening windows, until all four are listed.
    QList<DiscoveredDevice> discover(const QByteArray &interface, int windows);

    QTemporaryDir m_home;
    QProcess m_script;
    qint64 m_fleetPid = 0;
    QList<DiscoveredDevice> m_found;
};

void tst_DemoFleet::initTestCase()
{
    QString error;
    if (!TestSupport::enterPrivateNetwork(error))
        QSKIP(qPrintable(error));
    QVERIFY(ip({QStringLiteral("link"), QStringLiteral("add"), QString::fromLatin1(kOther), QStringLiteral("type"),
                QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), QString::fromLatin1(kPeer)}));
    QVERIFY(ip({QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("10.98.0.1/24"), QStringLiteral("dev"),
                QString::fromLatin1(kOther)}));
    for (const char *name : {kOther, kPeer})
        QVERIFY(ip({QStringLiteral("link"), QStringLiteral("set"), QString::fromLatin1(name), QStringLiteral("up")}));

    QVERIFY(m_home.isValid());
    // The script is told to use the other interface: it must not listen.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VOSK_INTERFACES"), QString::fromLatin1(kOther));
    m_script.setProcessEnvironment(environment);
    m_script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // bash waits for the fleet; the fleet ends with bash (it watches its
    // parent), and bash with the test.
    m_script.start(QStringLiteral("bash"),
                   {QStringLiteral("-c"),
                    QStringLiteral("source \"$1\"; start_demo_fleet \"$2\" \"$3\"; echo \"pid $demo_fleet_pid\"; "
                                   "wait \"$demo_fleet_pid\""),
                    QStringLiteral("demo"), QStringLiteral(VOSKTOOL_COMMON_SH), QStringLiteral(VOSK_DEVSIM_DIR),
                    m_home.filePath(QStringLiteral("devsim-demo.json"))});
    QVERIFY(m_script.waitForStarted(5000));
    QByteArray out;
    while (!out.contains("ready")) {
        QVERIFY2(m_script.waitForReadyRead(20000), out.constData());
        out += m_script.readAllStandardOutput();
    }
    QVERIFY2(out.contains("onvif 4"), out.constData());
    const int at = out.indexOf("pid ");
    QVERIFY(at >= 0);
    m_fleetPid = out.mid(at + 4, out.indexOf('\n', at) - at - 4).toLongLong();
    QVERIFY(m_fleetPid > 0);
    m_found = discover("lo", 5);
}

void tst_DemoFleet::cleanupTestCase()
{
    if (m_script.state() != QProcess::NotRunning) {
        m_script.terminate();
        QVERIFY(m_script.waitForFinished(10000));
    }
}

QList<DiscoveredDevice> tst_DemoFleet::discover(const QByteArray &interface, int windows)
{
    DiscoveryOptions options;
    options.interfaces = {interface};
    options.probeRounds = 2;
    options.listenTailMs = 700;
    DiscoveryClient client(options);
    QSignalSpy finished(&client, &DiscoveryClient::probeFinished);
    if (!client.start())
        return {};
    for (int i = 0; i < windows && client.devices().size() < 4; ++i) {
        client.probe();
        finished.wait(10000);
    }
    return client.devices();
}

// The whole simulator names loopback, and a client on the other interface
// hears none of its ONVIF devices.
void tst_DemoFleet::pinnedToLoopback()
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(m_fleetPid));
    QVERIFY(cmdline.open(QIODevice::ReadOnly));
    const QList<QByteArray> arguments = cmdline.readAll().split('\0');
    const int at = int(arguments.indexOf("--interfaces"));
    QVERIFY(at >= 0 && at + 1 < arguments.size());
    QCOMPARE(arguments.at(at + 1), QByteArray("lo"));
    QCOMPARE(arguments.count("--interfaces"), 1);

    QCOMPARE(m_found.size(), 4);
    QVERIFY(discover(kOther, 1).isEmpty());
}

void tst_DemoFleet::onvifDevices_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("factory");
    QTest::addColumn<int>("auth");  // DeviceClient::AuthMethod; None: refused, no user yet
    QTest::addColumn<int>("clockHours");
    using A = DeviceClient::AuthMethod;
    QTest::newRow("ordinary") << 0 << false << int(A::UsernameToken) << 0;
    QTest::newRow("factory state") << 1 << true << int(A::None) << 0;
    QTest::newRow("digest only") << 2 << false << int(A::HttpDigest) << 0;
    QTest::newRow("token only, clock ahead") << 3 << false << int(A::UsernameToken) << 3;
}

void tst_DemoFleet::onvifDevices()
{
    QFETCH(int, index);
    QFETCH(bool, factory);
    QFETCH(int, auth);
    QFETCH(int, clockHours);
    const auto found = std::find_if(m_found.begin(), m_found.end(), [&](const DiscoveredDevice &d) {
        return d.serviceAddress() == QUrl(serviceAddress(index));
    });
    QVERIFY2(found != m_found.end(), qPrintable(serviceAddress(index)));
    QCOMPARE(isFactoryDefault(found->scopes), factory);

    QNetworkAccessManager *network = DeviceClient::makeNetworkManager(this);
    DeviceClient client(found->serviceAddress(), network);
    client.setCredentials(QStringLiteral("admin"), QStringLiteral("Admin12345"));
    TestSupport::CallOutcome<DeviceInformation> information;
    client.getDeviceInformation(information.callback());
    QVERIFY(information.wait());
    if (factory) {
        QCOMPARE(information.result.error.kind, ErrorKind::NotAuthorized);
        return;
    }
    QVERIFY2(information.result.ok(), qPrintable(information.result.error.reason));
    QCOMPARE(int(client.authMethod()), auth);
    QVERIFY(qAbs(client.clockOffsetMs() - clockHours * 3600 * 1000LL) < 60 * 1000);
}

QTEST_GUILESS_MAIN(tst_DemoFleet)
#include "tst_demofleet.moc"
