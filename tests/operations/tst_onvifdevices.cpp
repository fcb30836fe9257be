// The ONVIF side of the device list end to end against the simulator's
// ONVIF devices: discovery turned into rows that show only what discovery
// said, then sign-in filling the cells on every kind of device, with the
// refusals, factory state and a silent device worded as they are.

#include "discovery/deviceinfo.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "onvif/discoveryclient.h"
#include "operations/onvifdevices.h"
#include "operations/onvifoutcome.h"
#include "tests/onvif/onvifsim.h"

#include <QHash>
#include <QtTest>

using namespace VoskTool;

namespace {

constexpr quint16 kDiscoveryPort = 34751;
constexpr quint16 kHttpPort = 18151;
constexpr int kDevices = 10;
const char kBlock[] = "127.51.0.";
const QString kPassword = QStringLiteral("Admin12345");

QString simulator()
{
    return qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH));
}

QString addressOf(int device)
{
    return QString::fromLatin1(kBlock) + QString::number(device + 1);
}

// The devices' rows as a table would hold them: the latest record of each,
// by key, from the three signals.
struct Rows
{
    QHash<QString, VOSK_DEVICE_INFO> byId;
    int online = 0;

    void watch(OnvifDevices *devices)
    {
        QObject::connect(devices, &OnvifDevices::signalDeviceOnline, devices, [this](const VOSK_DEVICE_INFO &r) {
            ++online;
            byId.insert(DeviceKey::fromRecord(r).endpointId, r);
        });
        QObject::connect(devices, &OnvifDevices::signalDeviceUpdate, devices, [this](const VOSK_DEVICE_INFO &r) {
            const QString id = DeviceKey::fromRecord(r).endpointId;
            if (byId.contains(id))
                byId.insert(id, r);
        });
        QObject::connect(devices, &OnvifDevices::signalDeviceOffline, devices,
                         [this](const VOSK_DEVICE_INFO &r) { byId.remove(DeviceKey::fromRecord(r).endpointId); });
    }
    // The row of the simulator's device n (found by its address).
    std::optional<VOSK_DEVICE_INFO> device(int n) const
    {
        for (const VOSK_DEVICE_INFO &r : byId) {
            if (VOSK::fieldText(r.ipv4Address) == addressOf(n))
                return r;
        }
        return std::nullopt;
    }
    DeviceKey key(int n) const
    {
        const auto r = device(n);
        return r ? DeviceKey::fromRecord(*r) : DeviceKey();
    }
};

} // namespace

class tst_OnvifDevices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discoveryGivesRows();
    void signIn_data();
    void signIn();
    void ownCredentialsRetried();
    void signInForAllReplacesRefusedOwnCredentials();
    void anotherHostTakesNoRow();
    void byeTakesTheRowAway();

private:
    TestSupport::OnvifSim m_sim;
    std::unique_ptr<OnvifDevices> m_devices;
    Rows m_rows;
    QHash<DeviceKey, OperationOutcome> m_outcomes;
    QList<DeviceKey> m_finishOrder;
    int m_done = 0;
};

// Ten devices: both schemes; digest only; UsernameToken only with its
// clock 7 h ahead; factory state; silent; one the test gives a wrong
// password of its own; factory state without the FactoryDefault scope;
// users hidden from anonymous callers; factory state taking any request
// (with the scope); IPv6 reported off.
void tst_OnvifDevices::initTestCase()
{
    QVERIFY(m_sim.start(simulator(), kDevices, kDiscoveryPort, kHttpPort, addressOf(0),
                        {QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("1:auth=digest"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("2:auth=wsse,clock=+7h"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("3:factory,clock=-3h"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("4:silent"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("6:factory=quiet"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("7:hiddenusers"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("8:factory,open"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("9:ipv6off")}));
    Onvif::DiscoveryOptions options;
    options.port = kDiscoveryPort;
    options.interfaces = {"lo"};
    m_devices = std::make_unique<OnvifDevices>(options);
    m_devices->setCallTimeout(1500);
    QCOMPARE(OnvifDevices::instance(), m_devices.get());
    m_rows.watch(m_devices.get());
    connect(m_devices.get(), &OnvifDevices::signInFinished, this,
            [this](const DeviceKey &key, const OperationOutcome &outcome) {
                m_outcomes.insert(key, outcome);
                m_finishOrder.append(key);
            });
    connect(m_devices.get(), &OnvifDevices::signInDone, this, [this] { ++m_done; });
    QVERIFY(m_devices->start());
}

// Before sign-in a row holds what discovery said and nothing else: address
// and HTTP port of the service, the hardware in the Device Type cell;
// serial number and MAC stay empty. The factory-state devices are not
// activated by their scope; the one without the scope turns not activated
// once it answered without credentials what a device with users refuses,
// before anyone signs in. An empty user list given to anyone is not that.
void tst_OnvifDevices::discoveryGivesRows()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_rows.byId.size(), kDevices, 10000);
    QCOMPARE(m_rows.online, kDevices);
    QTRY_COMPARE_WITH_TIMEOUT(m_rows.device(6)->notActivated, 1, 5000);
    for (int n = 0; n < kDevices; ++n) {
        const bool factory = n == 3 || n == 6 || n == 8;
        const auto row = m_rows.device(n);
        QVERIFY2(row, qPrintable(addressOf(n)));
        QVERIFY(VOSK::isOnvifRecord(*row));
        const DeviceKey key = DeviceKey::fromRecord(*row);
        QVERIFY(key.isOnvif());
        QCOMPARE(row->httpPort, kHttpPort);
        QVERIFY(!VOSK::fieldText(row->deviceDescription).isEmpty());
        QVERIFY(VOSK::fieldText(row->serialNumber).isEmpty());
        QVERIFY(VOSK::fieldText(row->mac).isEmpty());
        QVERIFY(VOSK::fieldText(row->ipv4Mask).isEmpty());
        QCOMPARE(row->addressInfoValid, 0);
        QCOMPARE(row->notActivated, factory ? 1 : 0);
        QVERIFY(!(VOSK::onvifFlags(*row) & VOSK::OnvifSignedIn));

        OnvifTarget target;
        QVERIFY(m_devices->target(key, &target));
        QCOMPARE(target.serviceAddress.host(), addressOf(n));
        QCOMPARE(target.factoryState, factory);
        QVERIFY(target.credentials.isEmpty());
    }
    QVERIFY(!m_devices->target(DeviceKey(QStringLiteral("S"), QStringLiteral("M")), nullptr));
}

void tst_OnvifDevices::signIn_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<OperationStatus>("status");
    QTest::newRow("both schemes") << 0 << OperationStatus::Done;
    QTest::newRow("digest only") << 1 << OperationStatus::Done;
    QTest::newRow("UsernameToken only, clock 7 h ahead") << 2 << OperationStatus::Done;
    QTest::newRow("factory state") << 3 << OperationStatus::NotActivated;
    QTest::newRow("silent") << 4 << OperationStatus::TimedOut;
    // Refused, and never taken for factory state.
    QTest::newRow("own wrong password") << 5 << OperationStatus::Denied;
    // It takes every request without credentials, and announces no scope.
    QTest::newRow("factory state, no scope") << 6 << OperationStatus::NotActivated;
    // An empty user list to anyone, and its users sign in.
    QTest::newRow("users hidden from anonymous callers") << 7 << OperationStatus::Done;
    // It would take the credentials too: still not activated.
    QTest::newRow("factory state taking any request") << 8 << OperationStatus::NotActivated;
    QTest::newRow("IPv6 reported off") << 9 << OperationStatus::Done;
}

// One sign-in of all: the common credentials, device 5's own (wrong) ones
// before them. Each device's outcome and cells; the silent device does not
// hold the others up (it finishes last).
void tst_OnvifDevices::signIn()
{
    QFETCH(int, device);
    QFETCH(OperationStatus, status);
    if (m_done == 0) {
        QTRY_COMPARE_WITH_TIMEOUT(m_rows.byId.size(), kDevices, 10000);
        m_devices->setCredentials({QStringLiteral("admin"), kPassword.toUtf8()});
        m_devices->setCredentials(m_rows.key(5), {QStringLiteral("admin"), QByteArrayLiteral("Wrong-Passw0rd")});
        m_devices->signIn();
        QTRY_COMPARE_WITH_TIMEOUT(m_done, 1, 15000);
        QCOMPARE(m_outcomes.size(), kDevices);
        QCOMPARE(m_finishOrder.last(), m_rows.key(4));
    }
    const DeviceKey key = m_rows.key(device);
    QVERIFY(m_outcomes.contains(key));
    QCOMPARE(int(m_outcomes.value(key).status), int(status));
    const VOSK_DEVICE_INFO row = *m_rows.device(device);
    const quint8 flags = VOSK::onvifFlags(row);
    QCOMPARE(bool(flags & VOSK::OnvifSignedIn), status == OperationStatus::Done);
    QCOMPARE(bool(flags & VOSK::OnvifSignInRefused), status == OperationStatus::Denied);
    QCOMPARE(row.notActivated, status == OperationStatus::NotActivated ? 1 : 0);
    if (status != OperationStatus::Done) {
        QVERIFY(VOSK::fieldText(row.serialNumber).isEmpty());
        QCOMPARE(row.addressInfoValid, 0);
        return;
    }
    QVERIFY(!VOSK::fieldText(row.serialNumber).isEmpty());
    QVERIFY(QRegularExpression(QStringLiteral("^([0-9a-f]{2}:){5}[0-9a-f]{2}$"))
                .match(VOSK::fieldText(row.mac)).hasMatch());
    QVERIFY(!VOSK::fieldText(row.softwareVersion).isEmpty());
    QVERIFY(!VOSK::fieldText(row.deviceDescription).isEmpty());
    QCOMPARE(VOSK::fieldText(row.ipv4Address), addressOf(device));
    QVERIFY(VOSK::fieldText(row.ipv4Mask).startsWith(QLatin1String("255.")));
    QCOMPARE(row.httpPort, kHttpPort);
    QCOMPARE(row.addressInfoValid, 1);
    QVERIFY(row.capabilities & VOSK_CAP_DHCP);
    QCOMPARE(bool(row.capabilities & VOSK_CAP_IPV6), bool(flags & VOSK::OnvifIpv6Reported));
    QCOMPARE(bool(row.capabilities & VOSK_CAP_IPV6_MODIFIABLE), bool(flags & VOSK::OnvifIpv6Reported));
    if (device == 9)
        QVERIFY(!(row.capabilities & (VOSK_CAP_IPV6 | VOSK_CAP_IPV6_MODIFIABLE)));
    QCOMPARE(row.capabilities & (VOSK_CAP_KEY_RESET | 0x80), 0);
    // The key stays the endpoint's, whatever serial number and MAC say.
    QCOMPARE(DeviceKey::fromRecord(row), key);
}

// The refused device with the right password of its own: signed in, the
// refusal's flag gone; only the devices named are read.
void tst_OnvifDevices::ownCredentialsRetried()
{
    const DeviceKey key = m_rows.key(5);
    QVERIFY(key.isOnvif());
    m_devices->setCredentials(key, {QStringLiteral("admin"), kPassword.toUtf8()});
    m_outcomes.clear();
    const int done = m_done;
    m_devices->signIn({key, DeviceKey(QStringLiteral("NOT"), QStringLiteral("ONVIF"))});
    QTRY_COMPARE_WITH_TIMEOUT(m_done, done + 1, 10000);
    QCOMPARE(m_outcomes.size(), 2);
    QCOMPARE(int(m_outcomes.value(key).status), int(OperationStatus::Done));
    QCOMPARE(int(m_outcomes.value(DeviceKey(QStringLiteral("NOT"), QStringLiteral("ONVIF"))).status),
             int(OperationStatus::NotFound));
    const quint8 flags = VOSK::onvifFlags(*m_rows.device(5));
    QVERIFY(flags & VOSK::OnvifSignedIn);
    QVERIFY(!(flags & VOSK::OnvifSignInRefused));
}

// A device given a wrong password of its own, then "for every device" the
// right one: the refused own credentials give way, those that worked stay.
void tst_OnvifDevices::signInForAllReplacesRefusedOwnCredentials()
{
    const DeviceKey refused = m_rows.key(5), worked = m_rows.key(0);
    m_devices->setCredentials(refused, {QStringLiteral("admin"), QByteArrayLiteral("Wrong-Passw0rd")});
    m_devices->setCredentials(worked, {QStringLiteral("admin"), kPassword.toUtf8()});
    m_outcomes.clear();
    int done = m_done;
    m_devices->signIn({refused, worked});
    QTRY_COMPARE_WITH_TIMEOUT(m_done, done + 1, 10000);
    QCOMPARE(int(m_outcomes.value(refused).status), int(OperationStatus::Denied));
    QCOMPARE(int(m_outcomes.value(worked).status), int(OperationStatus::Done));

    m_devices->setCredentials({QStringLiteral("admin"), kPassword.toUtf8()});
    m_outcomes.clear();
    done = m_done;
    m_devices->signIn({refused});
    QTRY_COMPARE_WITH_TIMEOUT(m_done, done + 1, 10000);
    QCOMPARE(int(m_outcomes.value(refused).status), int(OperationStatus::Done));
    QVERIFY(!(VOSK::onvifFlags(*m_rows.device(5)) & VOSK::OnvifSignInRefused));

    // The next credentials for all reach the once refused device; the one
    // whose own worked keeps them.
    m_devices->setCredentials({QStringLiteral("admin"), QByteArrayLiteral("Next-Passw0rd")});
    OnvifTarget target;
    QVERIFY(m_devices->target(refused, &target));
    QCOMPARE(target.credentials.password, QByteArrayLiteral("Next-Passw0rd"));
    QVERIFY(m_devices->target(worked, &target));
    QCOMPARE(target.credentials.password, kPassword.toUtf8());
    m_devices->setCredentials({QStringLiteral("admin"), kPassword.toUtf8()});
}

// A rogue on another address announces signed-in device 0's endpoint
// reference (a Bye for it first, then a Hello with newer metadata): device
// 0's row stays where it was signed in, the rogue gets a row of its own
// marked as heard elsewhere, and a sign-in for all sends neither of the
// two anything until the user picks one; the picked one alone is read.
void tst_OnvifDevices::anotherHostTakesNoRow()
{
    const DeviceKey device0 = m_rows.key(0);
    QVERIFY(VOSK::onvifFlags(*m_rows.device(0)) & VOSK::OnvifSignedIn);
    TestSupport::OnvifSim rogue;
    QVERIFY(rogue.start(simulator(), 1, kDiscoveryPort, kHttpPort, QStringLiteral("127.51.1.1"),
                        {QStringLiteral("--seed"), QStringLiteral("99"), QStringLiteral("--onvif-behaviour"),
                         QStringLiteral("plain"), QStringLiteral("--onvif-behaviour"),
                         QStringLiteral("0:endpoint=1/0")}));
    auto rogueRow = [this]() -> std::optional<VOSK_DEVICE_INFO> {
        for (const VOSK_DEVICE_INFO &r : std::as_const(m_rows.byId)) {
            if (VOSK::fieldText(r.ipv4Address) == QLatin1String("127.51.1.1"))
                return r;
        }
        return std::nullopt;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rogueRow().has_value(), 10000);
    QCOMPARE(VOSK::onvifEndpointGroup(*rogueRow()), VOSK::onvifEndpointGroup(*m_rows.device(0)));
    QVERIFY(VOSK::onvifFlags(*rogueRow()) & VOSK::OnvifElsewhere);
    QCOMPARE(m_rows.key(0), device0);
    const DeviceKey rogueKey = DeviceKey::fromRecord(*rogueRow());
    QVERIFY(!m_devices->mayBeSignedIn(device0));
    QVERIFY(!m_devices->mayBeSignedIn(rogueKey));

    m_outcomes.clear();
    int done = m_done;
    m_devices->signIn({device0, rogueKey});
    QTRY_COMPARE_WITH_TIMEOUT(m_done, done + 1, 10000);
    QCOMPARE(int(m_outcomes.value(device0).status), int(OperationStatus::Cancelled));
    QCOMPARE(int(m_outcomes.value(rogueKey).status), int(OperationStatus::Cancelled));
    QVERIFY(!(VOSK::onvifFlags(*rogueRow()) & VOSK::OnvifSignedIn));

    m_outcomes.clear();
    done = m_done;
    m_devices->signIn({device0}, true);
    QTRY_COMPARE_WITH_TIMEOUT(m_done, done + 1, 10000);
    QCOMPARE(int(m_outcomes.value(device0).status), int(OperationStatus::Done));
    QVERIFY(!m_outcomes.contains(rogueKey));
    QVERIFY(!(VOSK::onvifFlags(*rogueRow()) & VOSK::OnvifSignedIn));
    QVERIFY(rogue.stop());
    QTRY_VERIFY_WITH_TIMEOUT(!rogueRow().has_value(), 5000);
    QVERIFY(m_rows.device(0).has_value());
}

// Bye at the simulator's stop: every row goes offline.
void tst_OnvifDevices::byeTakesTheRowAway()
{
    QVERIFY(m_sim.stop());
    QTRY_VERIFY_WITH_TIMEOUT(m_rows.byId.size() <= 1, 5000); // a Bye may be lost on loopback too
}

QTEST_MAIN(tst_OnvifDevices)
#include "tst_onvifdevices.moc"
