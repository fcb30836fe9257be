// ONVIF devices reached over IPv6, end to end: a veth pair inside the
// test's own network namespace, the simulator's devices serving on unique
// local addresses of one end (one of them on IPv4 too) and on a link-local
// one, discovery over ff02::c between the ends. The rows, the sign-in and
// an IPv6 change through the device kind and the confirmation, as the pane
// and the console run them. Runs in a network namespace of its own, made
// inside ./test.sh's; never on a host's own interfaces.

#include "discovery/deviceinfo.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "onvif/discoveryclient.h"
#include "operations/changeconfirmer.h"
#include "operations/devicekinds.h"
#include "operations/onvifdeviceoperations.h"
#include "operations/onvifdevices.h"
#include "operations/operationrunner.h"
#include "tests/onvif/onvifsim.h"
#include "tests/operations/operationflow.h"
#include "tests/tools/privatenetwork.h"

#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QtTest>

#include <cstring>

using namespace VoskTool;

namespace {

// The tool's end and the devices' end.
const char *const kTool = "onvG";
const char *const kDevices = "onvH";
constexpr quint16 kDiscoveryPort = 34753;
constexpr quint16 kHttpPort = 18153;
constexpr quint16 kLinkLocalHttpPort = 18154;
const QByteArray kPassword = QByteArrayLiteral("Admin12345");
// Device n of the first fleet serves at fd00:5c::(n+1); the second
// fleet's one device at fe80::5c:1.
const QString kMoveTo = QStringLiteral("fd00:5c::99");
const QString kMoveDualTo = QStringLiteral("fd00:5c::98");
const QString kMoveRebootedTo = QStringLiteral("fd00:5c::97");
const QString kOutOfReach = QStringLiteral("fd00:5c::77"); // no interface holds it
const QString kLinkLocal = QStringLiteral("fe80::5c:1");

QString ula(int device)
{
    return QStringLiteral("fd00:5c::%1").arg(device + 1);
}

QString simulator()
{
    return qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH));
}

using TestSupport::hasLinkLocalIPv6;
using TestSupport::ip;

VOSK_DEVICE_INFO stored(const DeviceKey &key)
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    DeviceStore::instance()->getDevice(key, record);
    return record;
}

// The row whose IPv6 or IPv4 cell shows `address`.
DeviceKey keyOf(const QString &address)
{
    for (const VOSK_DEVICE_INFO &r : DeviceStore::instance()->getAllDevices()) {
        if (VOSK::fieldText(r.ipv6Address) == address || VOSK::fieldText(r.ipv4Address) == address)
            return DeviceKey::fromRecord(r);
    }
    return DeviceKey();
}

} // namespace

class tst_OnvifIpv6 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void rowsBeforeSignIn_data();
    void rowsBeforeSignIn();
    void signIn_data();
    void signIn();
    void ipv6Change_data();
    void ipv6Change();
    void ipv6ChangeOutOfReach();

private:
    bool signIn(const DeviceKey &key);
    QVector<OperationOutcome> run(const DeviceKey &key, const NetParams &params);
    bool confirmed(const DeviceKey &key, const NetParams &sent, int waitMs);

    bool m_made = false;
    TestSupport::OnvifSim m_ula;
    TestSupport::OnvifSim m_linkLocal;
    std::unique_ptr<OnvifDevices> m_devices;
    std::shared_ptr<OnvifDeviceOperations> m_kind;
    QMap<QString, DeviceKey> m_keys; // by the address the row first showed
};

// Four devices on unique local addresses: 0 on IPv4 (loopback) too, 1
// to 3 on IPv6 alone, 3 needing a reboot for network changes; and one
// more, on IPv6 alone, at a link-local address. Discovery runs over the veth pair only, IPv6 alone.
void tst_OnvifIpv6::initTestCase()
{
    // A namespace of the test's own: the pair is seen by no test beside it.
    QString error;
    if (!TestSupport::enterPrivateNetwork(error))
        QSKIP(qPrintable(error));
    if (!ip({QStringLiteral("link"), QStringLiteral("add"), QString::fromLatin1(kTool), QStringLiteral("type"),
             QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), QString::fromLatin1(kDevices)}))
        QSKIP("cannot make a veth pair here (needs CAP_NET_ADMIN in the namespace)");
    m_made = true;
    for (const char *name : {kTool, kDevices}) {
        QFile dad(QStringLiteral("/proc/sys/net/ipv6/conf/%1/accept_dad").arg(QString::fromLatin1(name)));
        QVERIFY(dad.open(QIODevice::WriteOnly) && dad.write("0") == 1);
    }
    // The devices' addresses and those they move to, usable at once.
    for (const QString &address : {ula(0), ula(1), ula(2), ula(3), kMoveTo, kMoveDualTo, kMoveRebootedTo, kLinkLocal}) {
        QVERIFY(ip({QStringLiteral("-6"), QStringLiteral("addr"), QStringLiteral("add"), address + QStringLiteral("/64"),
                    QStringLiteral("dev"), QString::fromLatin1(kDevices), QStringLiteral("nodad")}));
    }
    for (const char *name : {kTool, kDevices})
        QVERIFY(ip({QStringLiteral("link"), QStringLiteral("set"), QString::fromLatin1(name), QStringLiteral("up")}));
    QTRY_VERIFY_WITH_TIMEOUT(hasLinkLocalIPv6(kTool) && hasLinkLocalIPv6(kDevices), 5000);

    const QStringList common{QStringLiteral("--interfaces"), QString::fromLatin1(kDevices),
                             QStringLiteral("--onvif-behaviour"), QStringLiteral("plain")};
    QVERIFY(m_ula.start(simulator(), 4, kDiscoveryPort, kHttpPort, QStringLiteral("127.53.0.1"),
                        common + QStringList{QStringLiteral("--onvif-address6"), ula(0),
                                             QStringLiteral("--onvif-behaviour"), QStringLiteral("1-3:ipv6only"),
                                             QStringLiteral("--onvif-behaviour"), QStringLiteral("3:reboot"),
                                             QStringLiteral("--onvif-reboot-ms"), QStringLiteral("300")}));
    // Another seed: endpoints of its own.
    QVERIFY(m_linkLocal.start(simulator(), 1, kDiscoveryPort, kLinkLocalHttpPort, QStringLiteral("127.53.1.1"),
                              common + QStringList{QStringLiteral("--seed"), QStringLiteral("53"),
                                                   QStringLiteral("--onvif-address6"),
                                                   kLinkLocal + QLatin1Char('%') + QString::fromLatin1(kDevices),
                                                   QStringLiteral("--onvif-behaviour"), QStringLiteral("ipv6only")}));

    Onvif::DiscoveryOptions options;
    options.port = kDiscoveryPort;
    options.interfaces = {kTool};
    m_devices = std::make_unique<OnvifDevices>(options);
    m_devices->setCallTimeout(1500);
    DeviceStore *store = DeviceStore::instance();
    connect(m_devices.get(), &OnvifDevices::signalDeviceOnline, this, [store](const VOSK_DEVICE_INFO &r) {
        const DeviceStore::Locker locker(store);
        if (store->indexOf(DeviceKey::fromRecord(r)) >= 0)
            store->updateDevice(r);
        else
            store->addDevice(r);
    });
    connect(m_devices.get(), &OnvifDevices::signalDeviceUpdate, this,
            [store](const VOSK_DEVICE_INFO &r) { store->updateDevice(r); });
    connect(m_devices.get(), &OnvifDevices::signalDeviceOffline, this,
            [store](const VOSK_DEVICE_INFO &r) { store->removeDevice(r); });
    m_kind = std::make_shared<OnvifDeviceOperations>();
    m_kind->setCallTimeout(1500);
    DeviceKinds::instance().add(m_kind);
    QVERIFY(m_devices->start());
    QTRY_COMPARE_WITH_TIMEOUT(store->count(), 5, 10000);
    // Across the link the simulator answers from the link's address, not
    // from the devices' own: another host than their service addresses,
    // which the user confirms here.
    QVector<DeviceKey> all;
    for (const VOSK_DEVICE_INFO &r : store->getAllDevices())
        all << DeviceKey::fromRecord(r);
    m_devices->pick(all);
    for (const QString &address : {QStringLiteral("127.53.0.1"), ula(1), ula(2), ula(3), kLinkLocal}) {
        const DeviceKey key = keyOf(address);
        QVERIFY2(key.isOnvif(), qPrintable(address));
        m_keys.insert(address, key);
    }
    m_devices->setCredentials({QStringLiteral("admin"), kPassword});
}

void tst_OnvifIpv6::cleanupTestCase()
{
    if (m_kind)
        DeviceKinds::instance().remove(m_kind.get());
    m_devices.reset();
    m_ula.stop();
    m_linkLocal.stop();
    if (m_made)
        ip({QStringLiteral("link"), QStringLiteral("del"), QString::fromLatin1(kTool)});
}

bool tst_OnvifIpv6::signIn(const DeviceKey &key)
{
    return TestSupport::signInAndWait(*m_devices, key);
}

QVector<OperationOutcome> tst_OnvifIpv6::run(const DeviceKey &key, const NetParams &params)
{
    return TestSupport::runOperations(OperationKind::SetNetParams, {{key, params}}, kPassword);
}

bool tst_OnvifIpv6::confirmed(const DeviceKey &key, const NetParams &sent, int waitMs)
{
    return TestSupport::allConfirmed({{key, sent}}, waitMs);
}

void tst_OnvifIpv6::rowsBeforeSignIn_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("ipv4");
    QTest::addColumn<QString>("ipv6");
    QTest::addColumn<QString>("serviceHost");
    QTest::addColumn<int>("httpPort");
    // Both XAddrs announced: the IPv4 one is called, the IPv6 cell waits
    // for the sign-in.
    QTest::newRow("IPv4 and IPv6") << QStringLiteral("127.53.0.1") << QStringLiteral("127.53.0.1") << QString()
                                   << QStringLiteral("127.53.0.1") << int(kHttpPort);
    QTest::newRow("IPv6 alone") << ula(1) << QString() << ula(1) << ula(1) << int(kHttpPort);
    QTest::newRow("link-local alone") << kLinkLocal << QString() << kLinkLocal
                                      << kLinkLocal + QLatin1Char('%') + QString::fromLatin1(kTool)
                                      << int(kLinkLocalHttpPort);
}

// Before sign-in a row holds what discovery said: the service address's
// host in the cell of its family, the other family's cell empty. A
// link-local host is called through the interface it was heard on.
void tst_OnvifIpv6::rowsBeforeSignIn()
{
    QFETCH(QString, address);
    QFETCH(QString, ipv4);
    QFETCH(QString, ipv6);
    QFETCH(QString, serviceHost);
    QFETCH(int, httpPort);
    const DeviceKey key = m_keys.value(address);
    const VOSK_DEVICE_INFO row = stored(key);
    QCOMPARE(VOSK::fieldText(row.ipv4Address), ipv4);
    QCOMPARE(VOSK::fieldText(row.ipv6Address), ipv6);
    QCOMPARE(int(row.httpPort), httpPort);
    QVERIFY(VOSK::fieldText(row.ipv4Mask).isEmpty());
    QVERIFY(VOSK::fieldText(row.mac).isEmpty());
    OnvifTarget target;
    QVERIFY(m_devices->target(key, &target));
    QCOMPARE(target.serviceAddress.host(), serviceHost);
}

void tst_OnvifIpv6::signIn_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("ipv4");
    QTest::addColumn<QString>("ipv6");
    QTest::newRow("IPv4 and IPv6") << QStringLiteral("127.53.0.1") << QStringLiteral("127.53.0.1") << ula(0);
    QTest::newRow("IPv6 alone") << ula(2) << QString() << ula(2);
    QTest::newRow("link-local alone") << kLinkLocal << QString() << kLinkLocal;
}

// Signed in over IPv6: the IPv6 cells filled from the device, the IPv4
// address of a device with IPv4 off still empty, never invented.
void tst_OnvifIpv6::signIn()
{
    QFETCH(QString, address);
    QFETCH(QString, ipv4);
    QFETCH(QString, ipv6);
    const DeviceKey key = m_keys.value(address);
    QVERIFY(signIn(key));
    const VOSK_DEVICE_INFO row = stored(key);
    QVERIFY(VOSK::onvifFlags(row) & VOSK::OnvifSignedIn);
    QVERIFY(VOSK::onvifFlags(row) & VOSK::OnvifIpv6Reported);
    QVERIFY(!VOSK::fieldText(row.serialNumber).isEmpty());
    QVERIFY(!VOSK::fieldText(row.mac).isEmpty());
    QCOMPARE(VOSK::fieldText(row.ipv4Address), ipv4);
    QCOMPARE(VOSK::fieldText(row.ipv4Mask).isEmpty(), ipv4.isEmpty());
    QCOMPARE(VOSK::fieldText(row.ipv6Address), ipv6);
    QCOMPARE(int(row.ipv6PrefixLength), 64);
    QCOMPARE(VOSK::fieldText(row.ipv6Gateway), QStringLiteral("fe80::1"));
    QVERIFY(VOSK::fieldText(row.ipv4Gateway).isEmpty() == ipv4.isEmpty());
    QCOMPARE(row.addressInfoValid, 1);
    QVERIFY(row.capabilities & VOSK_CAP_IPV6_MODIFIABLE);
    QCOMPARE(DeviceKey::fromRecord(row), key);
}

void tst_OnvifIpv6::ipv6Change_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("moveTo");
    QTest::addColumn<QString>("serviceHost");
    QTest::addColumn<QString>("ipv4");
    QTest::addColumn<bool>("rebooted");
    // Reached at the address it gives up: it is then reached at the new one.
    QTest::newRow("IPv6 alone") << ula(1) << kMoveTo << kMoveTo << QString() << false;
    // Reached over IPv4: it stays reached there.
    QTest::newRow("IPv4 and IPv6") << QStringLiteral("127.53.0.1") << kMoveDualTo << QStringLiteral("127.53.0.1")
                                   << QStringLiteral("127.53.0.1") << false;
    // RebootNeeded: rebooted, and back at its new address.
    QTest::newRow("IPv6 alone, reboot") << ula(3) << kMoveRebootedTo << kMoveRebootedTo << QString() << true;
}

// A new IPv6 address: the kind sends it (nothing of IPv4 to a device that
// has it off), waits for the device to show it where it is now reached,
// and the row, read there, shows it: "applied".
void tst_OnvifIpv6::ipv6Change()
{
    QFETCH(QString, address);
    QFETCH(QString, moveTo);
    QFETCH(QString, serviceHost);
    QFETCH(QString, ipv4);
    QFETCH(bool, rebooted);
    const DeviceKey key = m_keys.value(address);
    QVERIFY(signIn(key));
    NetParams params = netParamsOf(stored(key));
    QCOMPARE(params.ipv4Address, ipv4);
    params.ipv6Address = moveTo;
    const QVector<OperationOutcome> outcomes = run(key, params);
    QCOMPARE(int(outcomes.at(0).status), int(OperationStatus::Done));
    QCOMPARE(outcomes.at(0).rebooted, rebooted);
    OnvifTarget target;
    QVERIFY(m_devices->target(key, &target));
    QCOMPARE(target.serviceAddress.host(), serviceHost);
    QVERIFY(confirmed(key, params, 8000));
    const VOSK_DEVICE_INFO row = stored(key);
    QCOMPARE(DeviceKey::fromRecord(row), key);
    QCOMPARE(VOSK::fieldText(row.ipv6Address), moveTo);
    QCOMPARE(VOSK::fieldText(row.ipv4Address), ipv4);
    QVERIFY(VOSK::onvifFlags(row) & VOSK::OnvifSignedIn);
}

// An IPv6 address the device takes and cannot be reached at: it announces
// it, the change was sent and not seen since (a failure), and it is never
// "applied"; the row stays where the device was signed in (an
// announcement from elsewhere moves no row).
void tst_OnvifIpv6::ipv6ChangeOutOfReach()
{
    const DeviceKey key = m_keys.value(ula(2));
    QVERIFY(signIn(key));
    const QString before = VOSK::fieldText(stored(key).ipv6Address);
    NetParams params = netParamsOf(stored(key));
    params.ipv6Address = kOutOfReach;
    m_kind->setMoveWait(1000);
    const QVector<OperationOutcome> outcomes = run(key, params);
    m_kind->setMoveWait(OnvifDeviceOperations::kMoveWaitMs);
    QCOMPARE(int(outcomes.at(0).status), int(OperationStatus::NotSeen));
    QVERIFY(!confirmed(key, params, 1500));
    QCOMPARE(VOSK::fieldText(stored(key).ipv6Address), before);
}

QTEST_MAIN(tst_OnvifIpv6)
#include "tst_onvifipv6.moc"
