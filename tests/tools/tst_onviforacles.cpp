// Independent ONVIF clients against the device simulator, so that what it
// speaks is ONVIF and not merely what our own client expects: Debian's
// onvif-util (discovery, sign-in, device information) and the npm
// registry's "onvif" package (discovery, device information, network
// interfaces, SetNetworkInterfaces with and without a reboot, CreateUsers
// on a device in factory state), and both for commissioning: network
// settings, time, users, media, reboot and factory default, each read back. The test makes a network namespace of its
// own (loopback with a multicast route), so the clients' probes, which go
// out of the default route, reach the simulator and nothing else, and tests
// running beside it never see its devices.

#include "privatenetwork.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <unistd.h>

namespace {

const QString kPassword = QStringLiteral("Admin12345");

// The fleet: five devices on 127.1.0.1 .. 127.1.0.5, port 80.
const QStringList kBehaviours = {
    QStringLiteral("plain"),
    QStringLiteral("1:auth=digest"),
    QStringLiteral("2:factory"),
    QStringLiteral("3:auth=wsse,clock=+5h"),
    QStringLiteral("4:reboot"),
    QStringLiteral("5:plain"),  // onvif-util changes its password, then reboots it
    QStringLiteral("6:plain"),  // the npm package's users, reboot and factory default
};

QString deviceAddress(int index)
{
    return QStringLiteral("127.1.0.%1").arg(index + 1);
}

} // namespace

class tst_OnvifOracles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void onvifUtilDiscovers();
    void onvifUtilReadsDeviceInformation_data();
    void onvifUtilReadsDeviceInformation();
    void onvifUtilReportsAWrongPassword();
    void onvifUtilDiscoversFromAnotherNamespace();
    void onvifUtilCommissions_data();
    void onvifUtilCommissions();
    void npmDiscovers();
    void npmReadsDeviceInformation_data();
    void npmReadsDeviceInformation();
    void npmCreatesTheFirstAdministrator();
    void npmCommissions_data();
    void npmCommissions();
    void npmMovesDevices_data();
    void npmMovesDevices();

private:
    QByteArray run(const QString &program, const QStringList &arguments, const QByteArray &input, int &exitCode,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    QJsonObject oracle(const QStringList &arguments);
    // netns: run it in that namespace ("" for this one).
    QString onvifUtil(const QStringList &arguments, const QByteArray &input, int &exitCode, bool signIn,
                      const QString &netns = QString());

    bool makePeer();
    void removePeer();

    QProcess m_simulator;
    QUdpSocket m_listener;  // what the devices announce
    bool m_haveNode = false;
    // A second namespace joined by a veth pair (vp-PID here, vq-PID
    // there), where clients probe from another subnet's interface.
    QString m_peer;
};

QByteArray tst_OnvifOracles::run(const QString &program, const QStringList &arguments, const QByteArray &input,
                                 int &exitCode, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) {
        exitCode = -1;
        return QByteArray();
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        exitCode = -2;
    } else {
        exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
    }
    const QByteArray err = process.readAllStandardError();
    if (!err.isEmpty())
        qInfo().noquote() << program << "said:" << err.trimmed();
    return process.readAllStandardOutput();
}

// onvif-util 1.4.4 has two faults of its own, seen here: about one run in
// twenty dies of SIGSEGV during its discovery, before it prints anything
// (never under gdb or valgrind: a race), and its UsernameToken nonces
// repeat within one second (a clock-seeded generator), which a strict
// device refuses as a replay; the simulator takes them again within that
// second from the same client only (docs/devsim-onvif.md). Such a run,
// and one whose calls went unanswered in its own short time, is tried
// again, at most three times in all; an answer that is wrong every time
// still fails.
QString tst_OnvifOracles::onvifUtil(const QStringList &arguments, const QByteArray &input, int &exitCode, bool signIn,
                                   const QString &netns)
{
    QString out;
    for (int attempt = 0; attempt < 3; ++attempt) {
        // `ip netns exec` execs the program: its death is this process's.
        out = netns.isEmpty()
            ? QString::fromUtf8(run(QStringLiteral("onvif-util"), arguments, input, exitCode))
            : QString::fromUtf8(run(QStringLiteral("ip"),
                                    QStringList{QStringLiteral("netns"), QStringLiteral("exec"), netns,
                                                QStringLiteral("onvif-util")}
                                        + arguments,
                                    input, exitCode));
        const bool crashed = exitCode == -3;
        const bool replayed = signIn && out.contains(QStringLiteral("NotAuthorized"));
        // Its HTTP exchange gives up after a short time of its own: on a
        // loaded machine (the suite runs in parallel) a first call can end
        // with no answer at all.
        const bool unanswered = out.contains(QStringLiteral("No XML reply"));
        if (!crashed && !replayed && !unanswered)
            break;
        qInfo() << "onvif-util" << (crashed ? "crashed" : replayed ? "was refused" : "had no answer") << "on attempt"
                << attempt + 1;
    }
    return out;
}

QJsonObject tst_OnvifOracles::oracle(const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NODE_PATH"), QStringLiteral(VOSK_ORACLE_DIR "/node_modules"));
    environment.insert(QStringLiteral("ORACLE_PASSWORD"), kPassword);
    int exitCode = 0;
    const QByteArray out = run(QStringLiteral("node"), QStringList{QStringLiteral(VOSK_ORACLE_SCRIPT)} + arguments,
                               QByteArray(), exitCode, environment);
    if (exitCode != 0)
        return QJsonObject{{QStringLiteral("error"), exitCode}};
    return QJsonDocument::fromJson(out).object();
}

bool tst_OnvifOracles::makePeer()
{
    const QString pid = QString::number(::getpid());
    const QString ns = QStringLiteral("onvif-oracle-") + pid;
    const QString here = QStringLiteral("vp") + pid;
    const QString there = QStringLiteral("vq") + pid;
    const QList<QStringList> steps = {
        {QStringLiteral("netns"), QStringLiteral("add"), ns},
        {QStringLiteral("link"), QStringLiteral("add"), here, QStringLiteral("type"), QStringLiteral("veth"),
         QStringLiteral("peer"), QStringLiteral("name"), there, QStringLiteral("netns"), ns},
        {QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("10.77.0.1/24"), QStringLiteral("dev"), here},
        {QStringLiteral("link"), QStringLiteral("set"), here, QStringLiteral("up")},
        {QStringLiteral("-n"), ns, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")},
        {QStringLiteral("-n"), ns, QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("10.77.0.2/24"),
         QStringLiteral("dev"), there},
        {QStringLiteral("-n"), ns, QStringLiteral("link"), QStringLiteral("set"), there, QStringLiteral("up")},
        {QStringLiteral("-n"), ns, QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("224.0.0.0/4"),
         QStringLiteral("dev"), there},
    };
    for (const QStringList &step : steps) {
        QProcess ip;
        ip.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        ip.start(QStringLiteral("ip"), step);
        if (!ip.waitForFinished(10000) || ip.exitCode() != 0)
            return false;
        if (step.at(0) == QLatin1String("netns"))
            m_peer = ns;  // made: removePeer() deletes it (and the pair with it)
    }
    return true;
}

void tst_OnvifOracles::removePeer()
{
    if (!m_peer.isEmpty())
        QProcess::execute(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), m_peer});
    m_peer.clear();
}

void tst_OnvifOracles::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("onvif-util")).isEmpty())
        QFAIL("onvif-util is missing (Debian package onvif-tools, in scripts/packages.txt)");
    m_haveNode = !QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty()
        && QFile::exists(QStringLiteral(VOSK_ORACLE_DIR "/node_modules/onvif/package.json"));

    QString error;
    if (!TestSupport::enterPrivateNetwork(error))
        QSKIP(qPrintable(error));

    const QNetworkInterface lo = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
    QVERIFY(m_listener.bind(QHostAddress::AnyIPv4, 3702, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    QVERIFY(m_listener.joinMulticastGroup(QHostAddress(QStringLiteral("239.255.255.250")), lo));

    // Making namespaces takes real root (CI has it); without, the test
    // that needs the second one skips.
    const bool peer = makePeer();
    if (!peer)
        removePeer();
    const QString interfaces = peer ? QStringLiteral("lo,vp") + QString::number(::getpid()) : QStringLiteral("lo");
    QStringList arguments{QStringLiteral("--count"), QStringLiteral("0"), QStringLiteral("--onvif"),
                          QString::number(kBehaviours.size()), QStringLiteral("--interfaces"), interfaces,
                          QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--onvif-reboot-ms"),
                          QStringLiteral("300"), QStringLiteral("--parent"), QString::number(::getpid())};
    for (const QString &rule : kBehaviours)
        arguments << QStringLiteral("--onvif-behaviour") << rule;
    m_simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_simulator.start(QStringLiteral(VOSK_DEVSIM_PATH), arguments);
    QVERIFY(m_simulator.waitForStarted(5000));
    QByteArray out;
    while (!out.contains("ready")) {
        QVERIFY2(m_simulator.waitForReadyRead(10000), "the simulator did not get ready");
        out += m_simulator.readAllStandardOutput();
    }
    // Every device says Hello within WS-Discovery's 500 ms.
    QTRY_VERIFY_WITH_TIMEOUT(m_listener.hasPendingDatagrams(), 5000);
}

void tst_OnvifOracles::cleanupTestCase()
{
    if (m_simulator.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_simulator.processId()), SIGTERM);
        QVERIFY(m_simulator.waitForFinished(5000));
        QCOMPARE(m_simulator.exitCode(), 0);
    }
    removePeer();
}

void tst_OnvifOracles::onvifUtilDiscovers()
{
    int exitCode = 0;
    const QString out = onvifUtil({QStringLiteral("-a")}, QByteArray(), exitCode, false);
    QCOMPARE(exitCode, 0);
    QVERIFY2(out.contains(QStringLiteral("Found %1 cameras").arg(kBehaviours.size())), qPrintable(out));
    for (int i = 0; i < kBehaviours.size(); ++i)
        QVERIFY2(out.contains(deviceAddress(i) + QStringLiteral(" (Camera 00%1 ").arg(i + 1)), qPrintable(out));
}

void tst_OnvifOracles::onvifUtilReadsDeviceInformation_data()
{
    QTest::addColumn<int>("device");
    QTest::newRow("digest and UsernameToken") << 0;
    QTest::newRow("UsernameToken only, clock five hours ahead") << 3;
}

void tst_OnvifOracles::onvifUtilReadsDeviceInformation()
{
    QFETCH(int, device);
    int exitCode = 0;
    const QString out = onvifUtil({QStringLiteral("-u"), QStringLiteral("admin"), QStringLiteral("-p"), kPassword,
                                   deviceAddress(device)},
                                  "get time\nquit\n", exitCode, true);
    QCOMPARE(exitCode, 0);
    QVERIFY2(out.contains(QStringLiteral("successfully connected to host")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("name:   Camera 00%1").arg(device + 1)), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("serial: ")), qPrintable(out));
    QVERIFY2(out.contains(QStringLiteral("Timezone:    UTC0")), qPrintable(out));
}

void tst_OnvifOracles::onvifUtilReportsAWrongPassword()
{
    int exitCode = 0;
    const QString out = onvifUtil({QStringLiteral("-u"), QStringLiteral("admin"), QStringLiteral("-p"),
                                   QStringLiteral("wrong"), deviceAddress(0)},
                                  "quit\n", exitCode, false);
    QVERIFY(exitCode != 0);
    QVERIFY2(out.contains(QStringLiteral("NotAuthorized")), qPrintable(out));
}

void tst_OnvifOracles::onvifUtilDiscoversFromAnotherNamespace()
{
    // Probes from 10.77.0.2 over the veth pair: the answers must leave
    // with a source address the other side accepts.
    if (m_peer.isEmpty())
        QSKIP("needs root to make a second network namespace (CI runs it as root)");
    int exitCode = 0;
    const QString out = onvifUtil({QStringLiteral("-a")}, QByteArray(), exitCode, false, m_peer);
    QCOMPARE(exitCode, 0);
    QVERIFY2(out.contains(QStringLiteral("Found %1 cameras").arg(kBehaviours.size())), qPrintable(out));
}

void tst_OnvifOracles::onvifUtilCommissions_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");  // a pattern in what it prints
    QTest::newRow("network") << 0 << kPassword << QByteArray("set dns 192.0.2.53\nget network\n")
                             << "DNS: +192\\.0\\.2\\.53";
    QTest::newRow("media") << 0 << kPassword << QByteArray("get rtsp\n") << "rtsp://127\\.1\\.0\\.1:554/Streaming/Profile_1";
    QTest::newRow("time, clock five hours ahead") << 3 << kPassword << QByteArray("sync_time\nget time\n")
                                                  << "synchronized[^\\n]*\\n(.*\\n)*.*Time Offset: -?[01] seconds";
    QTest::newRow("password") << 5 << kPassword << QByteArray("set password Changed-123\n") << "Admin password has been reset";
    QTest::newRow("reboot") << 5 << "Changed-123" << QByteArray("reboot\nyes\n") << "Camera is rebooting";
}

void tst_OnvifOracles::onvifUtilCommissions()
{
    QFETCH(int, device);
    QFETCH(QString, password);
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    while (m_listener.hasPendingDatagrams())
        m_listener.receiveDatagram();
    int exitCode = 0;
    const QString out = onvifUtil({QStringLiteral("-u"), QStringLiteral("admin"), QStringLiteral("-p"), password,
                                   deviceAddress(device)},
                                  input + "quit\n", exitCode, true);
    QVERIFY2(!out.contains(QStringLiteral("ERROR")), qPrintable(out));
    QVERIFY2(QRegularExpression(expected).match(out).hasMatch(), qPrintable(out));
    if (!input.startsWith("reboot"))
        return;
    // Back: its Hello from its own address.
    bool hello = false;
    QTRY_VERIFY_WITH_TIMEOUT((
        [&] {
            while (m_listener.hasPendingDatagrams()) {
                const QNetworkDatagram d = m_listener.receiveDatagram();
                hello = hello || (d.data().contains("discovery/Hello<") && d.senderAddress() == QHostAddress(deviceAddress(device)));
            }
            return hello;
        }()),
        5000);
}

void tst_OnvifOracles::npmDiscovers()
{
    if (!m_haveNode)
        QSKIP("node or the oracle's npm packages are missing (./test.sh installs them)");
    const QJsonObject result = oracle({QStringLiteral("discover"), QStringLiteral("1500")});
    const QJsonArray devices = result.value(QStringLiteral("devices")).toArray();
    QCOMPARE(devices.size(), kBehaviours.size());
    QStringList endpoints;
    QStringList xaddrs;
    for (const QJsonValue &d : devices) {
        endpoints << d[QStringLiteral("endpoint")].toString();
        xaddrs << d[QStringLiteral("xaddrs")].toString();
    }
    endpoints.removeDuplicates();
    QCOMPARE(endpoints.size(), kBehaviours.size());
    for (const QString &e : std::as_const(endpoints))
        QVERIFY2(e.startsWith(QLatin1String("urn:uuid:")), qPrintable(e));
    for (int i = 0; i < kBehaviours.size(); ++i)
        QVERIFY(xaddrs.contains(QStringLiteral("http://%1/onvif/device_service").arg(deviceAddress(i))));
    for (const QJsonValue &d : devices) {
        const QJsonArray scopes = d[QStringLiteral("scopes")].toArray();
        const bool factory = d[QStringLiteral("xaddrs")].toString().contains(deviceAddress(2));
        QCOMPARE(scopes.contains(QStringLiteral("onvif://www.onvif.org/Profile/Q/FactoryDefault")), factory);
    }
}

void tst_OnvifOracles::npmReadsDeviceInformation_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("digest and UsernameToken") << 0 << "-" << true;
    QTest::newRow("digest only") << 1 << "-" << true;
    QTest::newRow("UsernameToken only, clock five hours ahead") << 3 << "-" << true;
    QTest::newRow("digest only, wrong password") << 1 << "wrong" << false;
    QTest::newRow("UsernameToken only, wrong password") << 3 << "wrong" << false;
}

void tst_OnvifOracles::npmReadsDeviceInformation()
{
    QFETCH(int, device);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    if (!m_haveNode)
        QSKIP("node or the oracle's npm packages are missing (./test.sh installs them)");
    const QJsonObject info =
        oracle({QStringLiteral("info"), deviceAddress(device), QStringLiteral("80"), QStringLiteral("admin"), password});
    QCOMPARE(info.contains(QStringLiteral("error")), !accepted);
    if (!accepted)
        return;
    QVERIFY(!info.value(QStringLiteral("manufacturer")).toString().isEmpty());
    QVERIFY(!info.value(QStringLiteral("serialNumber")).toString().isEmpty());
    QCOMPARE(info.value(QStringLiteral("address")).toString(), deviceAddress(device));
    QCOMPARE(info.value(QStringLiteral("prefixLength")).toInt(), 16);
    QVERIFY(info.value(QStringLiteral("hardwareAddress")).toString().startsWith(QLatin1String("02:5e:")));
}

void tst_OnvifOracles::npmCreatesTheFirstAdministrator()
{
    if (!m_haveNode)
        QSKIP("node or the oracle's npm packages are missing (./test.sh installs them)");
    const QJsonObject result =
        oracle({QStringLiteral("createusers"), deviceAddress(2), QStringLiteral("80"), QStringLiteral("installer"),
                QStringLiteral("-")});
    QVERIFY2(!result.contains(QStringLiteral("error")), "CreateUsers failed");
    const QJsonArray users = result.value(QStringLiteral("users")).toArray();
    QCOMPARE(users.size(), 1);
    QCOMPARE(users[0][QStringLiteral("username")].toString(), QStringLiteral("installer"));
    QCOMPARE(users[0][QStringLiteral("userLevel")].toString(), QStringLiteral("Administrator"));
    QVERIFY(result.value(QStringLiteral("anonymousRefused")).toBool());
}

void tst_OnvifOracles::npmCommissions_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("services") << "services" << 0
                              << "http://www.onvif.org/ver10/device/wsdl http://www.onvif.org/ver10/media/wsdl";
    QTest::newRow("NTP, digest only") << "ntp" << 1 << "192.0.2.123";
    QTest::newRow("time, clock five hours ahead") << "time" << 3 << "in step CET-1";
    QTest::newRow("hostname") << "hostname" << 0 << "ipc-001";
    QTest::newRow("media") << "media" << 0
                           << "Profile_1 rtsp://127.1.0.1:554/Streaming/Profile_1 http://127.1.0.1/onvif/snapshot.jpg";
    QTest::newRow("users") << "users" << 6 << "admin";
    QTest::newRow("reboot") << "reboot" << 6 << "back";
    QTest::newRow("factory default, the first administrator anew") << "factory" << 6 << "installer";
}

void tst_OnvifOracles::npmCommissions()
{
    QFETCH(QString, command);
    QFETCH(int, device);
    QFETCH(QString, readBack);
    if (!m_haveNode)
        QSKIP("node or the oracle's npm packages are missing (./test.sh installs them)");
    const QJsonObject result =
        oracle({command, deviceAddress(device), QStringLiteral("80"), QStringLiteral("admin"), QStringLiteral("-")});
    QCOMPARE(result.value(QStringLiteral("readBack")).toString(), readBack);
}

void tst_OnvifOracles::npmMovesDevices_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("newAddress");
    QTest::addColumn<bool>("rebootNeeded");
    QTest::newRow("at once") << 0 << "127.1.5.5" << false;
    QTest::newRow("after a reboot") << 4 << "127.1.6.6" << true;
}

void tst_OnvifOracles::npmMovesDevices()
{
    QFETCH(int, device);
    QFETCH(QString, newAddress);
    QFETCH(bool, rebootNeeded);
    if (!m_haveNode)
        QSKIP("node or the oracle's npm packages are missing (./test.sh installs them)");
    while (m_listener.hasPendingDatagrams())
        m_listener.receiveDatagram();

    const QJsonObject result = oracle({QStringLiteral("setip"), deviceAddress(device), QStringLiteral("80"),
                                       QStringLiteral("admin"), QStringLiteral("-"), newAddress, QStringLiteral("16")});
    QVERIFY2(!result.contains(QStringLiteral("error")), "SetNetworkInterfaces failed");
    QCOMPARE(result.value(QStringLiteral("rebootNeeded")).toBool(), rebootNeeded);
    QCOMPARE(result.value(QStringLiteral("address")).toString(), newAddress);

    // It announced itself from the new address, and the old one is gone.
    const QByteArray xaddr = QStringLiteral("http://%1/onvif/device_service").arg(newAddress).toUtf8();
    bool hello = false;
    bool bye = false;
    while (m_listener.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_listener.receiveDatagram();
        hello = hello || (d.data().contains("discovery/Hello<") && d.data().contains(xaddr)
                          && d.senderAddress() == QHostAddress(newAddress));
        bye = bye || d.data().contains("discovery/Bye<");
    }
    QVERIFY(hello);
    QCOMPARE(bye, rebootNeeded);  // a reboot says Bye first
    QTcpSocket old;
    old.connectToHost(QHostAddress(deviceAddress(device)), 80);
    QVERIFY(!old.waitForConnected(2000));
}

QTEST_GUILESS_MAIN(tst_OnvifOracles)
#include "tst_onviforacles.moc"
