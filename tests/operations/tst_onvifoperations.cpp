// The ONVIF device kind end to end through the operations core, as the pane
// and the console run it (OperationRunner on its threads, ChangeConfirmer
// reading the store): against one simulator holding devices of both kinds.

#include "discovery/deviceinfo.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "onvif/deviceclient.h"
#include "onvif/discoveryclient.h"
#include "operations/changeconfirmer.h"
#include "operations/devicekinds.h"
#include "operations/onvifdeviceoperations.h"
#include "operations/onvifdevices.h"
#include "operations/onvifoutcome.h"
#include "operations/operationrunner.h"
#include "tests/onvif/calloutcome.h"
#include "tests/operations/operationflow.h"
#include "tests/vosk/voskfixture.h"

#include <QNetworkAccessManager>
#include <QtTest>

#include <optional>

#include <cstring>

using namespace VoskTool;

namespace {

constexpr int kVoskPort = 47262;
const char kVoskGroup[] = "239.255.86.162";
constexpr quint16 kDiscoveryPort = 34752;
constexpr quint16 kHttpPort = 18152;
const char kBlock[] = "127.52.0.";
constexpr int kOurs = 4;
constexpr int kOnvif = 11;
const QByteArray kPassword = QByteArrayLiteral("Admin12345");

QString addressOf(int device)
{
    return QString::fromLatin1(kBlock) + QString::number(device + 1);
}

QUrl serviceOf(const QString &host)
{
    return QUrl(QStringLiteral("http://%1:%2/onvif/device_service").arg(host).arg(kHttpPort));
}

// The store kept as the table page keeps it, from both kinds' reports.
template <typename Source>
void feedStore(QObject *context, Source *source)
{
    QObject::connect(source, &Source::signalDeviceOnline, context, [](const VOSK_DEVICE_INFO &r) {
        DeviceStore *store = DeviceStore::instance();
        const DeviceStore::Locker locker(store);
        if (store->indexOf(DeviceKey::fromRecord(r)) >= 0)
            store->updateDevice(r);
        else
            store->addDevice(r);
    });
    QObject::connect(source, &Source::signalDeviceUpdate, context,
                     [](const VOSK_DEVICE_INFO &r) { DeviceStore::instance()->updateDevice(r); });
    QObject::connect(source, &Source::signalDeviceOffline, context,
                     [](const VOSK_DEVICE_INFO &r) { DeviceStore::instance()->removeDevice(r); });
}

VOSK_DEVICE_INFO stored(const DeviceKey &key)
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    DeviceStore::instance()->getDevice(key, record);
    return record;
}

} // namespace

class tst_OnvifOperations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void setNetParams_data();
    void setNetParams();
    void httpPortMoves();
    void outOfReachNotSeen();
    void unappliedChangeFails_data();
    void unappliedChangeFails();
    void emptyCellsKeepValues();
    void activateThenAnonymousRefused_data();
    void activateThenAnonymousRefused();
    void passwordChangedOldRefused();
    void mixedBatch();

private:
    // The ONVIF device at the simulator's address n, by its row.
    DeviceKey onvifKey(int n) const;
    QVector<OperationOutcome> run(OperationKind kind, const QVector<OperationJob> &jobs, const QByteArray &password,
                                  const QByteArray &newPassword = QByteArray());
    bool signIn(const DeviceKey &key);
    // Waits for the store to show what was sent; true when it did.
    bool confirmed(const QVector<OperationJob> &jobs, int waitMs = 8000);
    static NetParams withAddress(const DeviceKey &key, const QString &address);

    VoskTest::Devsim m_sim;
    std::unique_ptr<OnvifDevices> m_devices;
    std::shared_ptr<OnvifDeviceOperations> m_kind;
    QMap<int, DeviceKey> m_onvif; // by the simulator's device number
    QList<DeviceKey> m_ours;      // activated devices of our protocol
};

// Our devices and nine ONVIF ones in one simulator: 0 ordinary, 1 needs a
// reboot, 2 silent, 3 for a wrong password, 4 in factory state, 5 for a
// password change, 6 and 7 digest only for the mixed batch, 8 in factory
// state without the FactoryDefault scope; 9 answers SetNetworkInterfaces
// with an empty success and changes nothing, 10 the same for its gateway.
void tst_OnvifOperations::initTestCase()
{
    if (!VoskTest::foreignInterfaces().isEmpty())
        QSKIP("needs the private network namespace of ./test.sh");
    VoskTest::pinToLoopback(kVoskPort, kVoskGroup);
    VOSK::registerMetaTypes();
    const QStringList behaviours{QStringLiteral("plain"),         QStringLiteral("1:reboot"),
                                 QStringLiteral("2:silent"),      QStringLiteral("4:factory"),
                                 QStringLiteral("6-7:auth=digest"), QStringLiteral("8:factory=quiet"),
                                 QStringLiteral("9:notapplied"),  QStringLiteral("10:gatewaynoop")};
    QStringList arguments{QStringLiteral("--count"), QString::number(kOurs), QStringLiteral("--seed"),
                          QStringLiteral("21"), QStringLiteral("--onvif"), QString::number(kOnvif),
                          QStringLiteral("--onvif-discovery-port"), QString::number(kDiscoveryPort),
                          QStringLiteral("--onvif-port"), QString::number(kHttpPort),
                          QStringLiteral("--onvif-address"), addressOf(0),
                          QStringLiteral("--onvif-reboot-ms"), QStringLiteral("300")};
    for (const QString &b : behaviours)
        arguments << QStringLiteral("--onvif-behaviour") << b;
    QVERIFY(m_sim.start(arguments));

    Onvif::DiscoveryOptions options;
    options.port = kDiscoveryPort;
    options.interfaces = {"lo"};
    m_devices = std::make_unique<OnvifDevices>(options);
    m_devices->setCallTimeout(1500);
    feedStore(this, m_devices.get());
    feedStore(this, VOSK::VoskHandler::instance());
    m_kind = std::make_shared<OnvifDeviceOperations>();
    m_kind->setCallTimeout(1500);
    DeviceKinds::instance().add(m_kind);
    QVERIFY(m_devices->start());
    QVERIFY(VOSK::VoskHandler::instance()->start());
    QTRY_COMPARE_WITH_TIMEOUT(DeviceStore::instance()->count(), kOurs + kOnvif, 10000);
    for (const VOSK_DEVICE_INFO &r : DeviceStore::instance()->getAllDevices()) {
        if (!VOSK::isOnvifRecord(r)) {
            if (!r.notActivated)
                m_ours << DeviceKey::fromRecord(r);
            continue;
        }
        const int n = VOSK::fieldText(r.ipv4Address).section(QLatin1Char('.'), 3).toInt() - 1;
        m_onvif.insert(n, DeviceKey::fromRecord(r));
    }
    QCOMPARE(m_onvif.size(), kOnvif);
    QVERIFY2(m_ours.size() >= 2, "the fleet needs two activated devices of ours");
    m_devices->setCredentials({QStringLiteral("admin"), kPassword});
}

void tst_OnvifOperations::cleanupTestCase()
{
    if (m_kind)
        DeviceKinds::instance().remove(m_kind.get());
    VOSK::VoskHandler::instance()->stop();
}

DeviceKey tst_OnvifOperations::onvifKey(int n) const
{
    return m_onvif.value(n);
}

QVector<OperationOutcome> tst_OnvifOperations::run(OperationKind kind, const QVector<OperationJob> &jobs,
                                                   const QByteArray &password, const QByteArray &newPassword)
{
    return TestSupport::runOperations(kind, jobs, password, newPassword);
}

bool tst_OnvifOperations::signIn(const DeviceKey &key)
{
    return TestSupport::signInAndWait(*m_devices, key);
}

bool tst_OnvifOperations::confirmed(const QVector<OperationJob> &jobs, int waitMs)
{
    return TestSupport::allConfirmed(jobs, waitMs);
}

NetParams tst_OnvifOperations::withAddress(const DeviceKey &key, const QString &address)
{
    NetParams params = netParamsOf(stored(key));
    params.ipv4Address = address;
    return params;
}

void tst_OnvifOperations::setNetParams_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("rebooted");
    QTest::newRow("moves at once") << 0 << QStringLiteral("127.52.0.100") << kPassword
                                   << int(OperationStatus::Done) << false;
    QTest::newRow("RebootNeeded") << 1 << QStringLiteral("127.52.0.101") << kPassword
                                  << int(OperationStatus::Done) << true;
    QTest::newRow("silent") << 2 << QStringLiteral("127.52.0.102") << kPassword
                            << int(OperationStatus::TimedOut) << false;
    QTest::newRow("wrong password") << 3 << QStringLiteral("127.52.0.103") << QByteArrayLiteral("Not-The-0ne")
                                    << int(OperationStatus::Denied) << false;
}

// A new address: Done once the device took it; "applied" once it answers
// at the new address with it (the row, under the same key, shows it and
// the kind reaches it there). A silent device times out; a wrong password
// is Denied and changes nothing.
void tst_OnvifOperations::setNetParams()
{
    QFETCH(int, device);
    QFETCH(QString, address);
    QFETCH(QByteArray, password);
    QFETCH(int, status);
    QFETCH(bool, rebooted);
    const DeviceKey key = onvifKey(device);
    if (device != 2)
        QVERIFY(signIn(key));
    const QVector<OperationJob> jobs{{key, withAddress(key, address)}};
    const QVector<OperationOutcome> outcomes = run(OperationKind::SetNetParams, jobs, password);
    QCOMPARE(int(outcomes.at(0).status), status);
    QCOMPARE(outcomes.at(0).rebooted, rebooted);
    OnvifTarget target;
    QVERIFY(m_devices->target(key, &target));
    if (status != int(OperationStatus::Done)) {
        QCOMPARE(target.serviceAddress.host(), addressOf(device));
        QCOMPARE(VOSK::fieldText(stored(key).ipv4Address), addressOf(device));
        return;
    }
    QCOMPARE(target.serviceAddress.host(), address);
    QVERIFY(confirmed(jobs));
    const VOSK_DEVICE_INFO row = stored(key);
    QCOMPARE(DeviceKey::fromRecord(row), key);
    QCOMPARE(VOSK::fieldText(row.ipv4Address), address);
    QVERIFY(VOSK::onvifFlags(row) & VOSK::OnvifSignedIn);
}

// A new HTTP port (SetNetworkProtocols): the device answers on it at once;
// the row reads it back from there. Nothing else is sent: the address
// stays.
void tst_OnvifOperations::httpPortMoves()
{
    const DeviceKey key = onvifKey(0);
    NetParams params = netParamsOf(stored(key));
    const QString address = params.ipv4Address;
    params.httpPort = kHttpPort + 1;
    const QVector<OperationJob> jobs{{key, params}};
    const QVector<OperationOutcome> outcomes = run(OperationKind::SetNetParams, jobs, kPassword);
    QCOMPARE(int(outcomes.at(0).status), int(OperationStatus::Done));
    OnvifTarget target;
    QVERIFY(m_devices->target(key, &target));
    QCOMPARE(target.serviceAddress.port(), kHttpPort + 1);
    QCOMPARE(target.serviceAddress.host(), address);
    QVERIFY(confirmed(jobs));
    QCOMPARE(stored(key).httpPort, kHttpPort + 1);
}

// A device that takes an address it cannot be reached at (another subnet)
// announces it, and is not read there: the change was sent, and is not
// seen since, which is no success. Its announcement from the new address
// is a move the tool did not see: a row of its own beside the one that
// stays where the device was signed in, marked as heard elsewhere.
void tst_OnvifOperations::outOfReachNotSeen()
{
    const DeviceKey key = onvifKey(3);
    QVERIFY(signIn(key));
    const QString before = VOSK::fieldText(stored(key).ipv4Address);
    const QVector<OperationJob> jobs{{key, withAddress(key, QStringLiteral("10.99.0.3"))}};
    m_kind->setMoveWait(1000);
    const QVector<OperationOutcome> outcomes = run(OperationKind::SetNetParams, jobs, kPassword);
    m_kind->setMoveWait(OnvifDeviceOperations::kMoveWaitMs);
    QCOMPARE(int(outcomes.at(0).status), int(OperationStatus::NotSeen));
    QVERIFY(outcomes.at(0).waitedMs >= 1000);
    QCOMPARE(batchResultWord(OperationKind::SetNetParams, outcomes.at(0)).english(),
             notSeenWord((outcomes.at(0).waitedMs + 500) / 1000).english());
    const QString group = VOSK::onvifEndpointGroup(stored(key));
    auto announced = [&group, &key]() -> std::optional<VOSK_DEVICE_INFO> {
        for (const VOSK_DEVICE_INFO &r : DeviceStore::instance()->getAllDevices()) {
            if (VOSK::onvifEndpointGroup(r) == group && DeviceKey::fromRecord(r) != key)
                return r;
        }
        return std::nullopt;
    };
    QTRY_VERIFY_WITH_TIMEOUT(announced().has_value(), 5000);
    QVERIFY(VOSK::onvifFlags(*announced()) & VOSK::OnvifElsewhere);
    QVERIFY(!(VOSK::onvifFlags(*announced()) & VOSK::OnvifSignedIn));
    QVERIFY(!confirmed(jobs, 1500));
    QCOMPARE(VOSK::fieldText(stored(key).ipv4Address), before);
}

void tst_OnvifOperations::unappliedChangeFails_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("detail");
    QTest::newRow("empty success, nothing changed")
        << 9 << QStringLiteral("127.52.0.109") << QString() << QStringLiteral("dhcp=off ip=127.52.0.10/16");
    QTest::newRow("gateway that did nothing")
        << 10 << QString() << QStringLiteral("127.52.0.254") << QStringLiteral("gateway=127.52.255.254");
}

// A change the device answered with success and does not show: a failure
// saying what the device still reports, with no reboot it did not ask
// for. The row keeps the device's address.
void tst_OnvifOperations::unappliedChangeFails()
{
    QFETCH(int, device);
    QFETCH(QString, address);
    QFETCH(QString, gateway);
    QFETCH(QString, detail);
    const DeviceKey key = onvifKey(device);
    QVERIFY(signIn(key));
    NetParams params = netParamsOf(stored(key));
    if (!address.isEmpty())
        params.ipv4Address = address;
    if (!gateway.isEmpty())
        params.ipv4Gateway = gateway;
    m_kind->setMoveWait(1000);
    const QVector<OperationOutcome> outcomes = run(OperationKind::SetNetParams, {{key, params}}, kPassword);
    m_kind->setMoveWait(OnvifDeviceOperations::kMoveWaitMs);
    const OperationOutcome &outcome = outcomes.at(0);
    QCOMPARE(int(outcome.status), int(OperationStatus::NotApplied));
    QCOMPARE(outcome.code, kOnvifNotAppliedCode);
    QCOMPARE(outcome.detail, detail);
    QVERIFY(!outcome.rebooted);
    OnvifTarget target;
    QVERIFY(m_devices->target(key, &target));
    QCOMPARE(target.serviceAddress.host(), addressOf(device));
    QVERIFY(signIn(key));
    QCOMPARE(VOSK::fieldText(stored(key).ipv4Address), addressOf(device));
}

// A row without mask and gateway (not read since a move) sends nothing for
// them: the device keeps its gateway rather than losing it to an empty cell.
void tst_OnvifOperations::emptyCellsKeepValues()
{
    const DeviceKey key = onvifKey(7);
    QVERIFY(signIn(key));
    const QString gateway = VOSK::fieldText(stored(key).ipv4Gateway);
    QVERIFY(!gateway.isEmpty());
    NetParams params = netParamsOf(stored(key));
    params.ipv4Gateway.clear();
    params.ipv4Mask.clear();
    QCOMPARE(int(run(OperationKind::SetNetParams, {{key, params}}, kPassword).at(0).status), int(OperationStatus::Done));
    QVERIFY(signIn(key));
    QCOMPARE(VOSK::fieldText(stored(key).ipv4Gateway), gateway);
    QVERIFY(!VOSK::fieldText(stored(key).ipv4Mask).isEmpty());
}

void tst_OnvifOperations::activateThenAnonymousRefused_data()
{
    QTest::addColumn<int>("device");
    QTest::newRow("FactoryDefault scope") << 4;
    // Not activated because it answered GetUsers without credentials when
    // first heard; nobody signed in to it.
    QTest::newRow("no state scope") << 8;
}

// Factory state: activation makes the administrator; from then on the
// device refuses anonymous calls, its row is activated and signed in, and
// activating again is refused as for an active device.
void tst_OnvifOperations::activateThenAnonymousRefused()
{
    QFETCH(int, device);
    const DeviceKey key = onvifKey(device);
    QTRY_COMPARE_WITH_TIMEOUT(stored(key).notActivated, 1, 5000);
    QVERIFY(!(VOSK::onvifFlags(stored(key)) & VOSK::OnvifSignedIn));
    OnvifTarget before;
    QVERIFY(m_devices->target(key, &before));
    QVERIFY(before.factoryState);
    const QByteArray fresh = QByteArrayLiteral("Fresh-Passw0rd");
    QVector<OperationOutcome> outcomes = run(OperationKind::Activate, {{key, {}}}, fresh);
    QCOMPARE(int(outcomes.at(0).status), int(OperationStatus::Done));
    QTRY_COMPARE_WITH_TIMEOUT(stored(key).notActivated, 0, 5000);
    // Read with the credentials it was given: signed in.
    QTRY_VERIFY_WITH_TIMEOUT(VOSK::onvifFlags(stored(key)) & VOSK::OnvifSignedIn, 5000);

    QNetworkAccessManager *network = Onvif::DeviceClient::makeNetworkManager(this);
    Onvif::DeviceClient anonymous(serviceOf(addressOf(device)), network);
    TestSupport::CallOutcome<QList<Onvif::User>> users;
    anonymous.getUsers(users.callback());
    QVERIFY(users.wait());
    QCOMPARE(Onvif::errorKindName(users.result.error.kind), Onvif::errorKindName(Onvif::ErrorKind::NotAuthorized));

    outcomes = run(OperationKind::Activate, {{key, {}}}, fresh);
    QCOMPARE(int(outcomes.at(0).status), int(OperationStatus::AlreadyActive));
    // Not a network change: the words of an operation ONVIF lacks.
    QByteArray key2;
    QCOMPARE(int(m_kind->exportKey(key, true, &key2).status), int(OperationStatus::Unsupported));
    delete network;
}

// SetUser: the new password signs in, the old one is refused.
void tst_OnvifOperations::passwordChangedOldRefused()
{
    const DeviceKey key = onvifKey(5);
    const QByteArray next = QByteArrayLiteral("Next-Passw0rd");
    QVector<OperationOutcome> outcomes =
        run(OperationKind::ChangePassword, {{key, {}}}, QByteArrayLiteral("Not-The-0ne"), next);
    QCOMPARE(int(outcomes.at(0).status), int(OperationStatus::Denied));
    outcomes = run(OperationKind::ChangePassword, {{key, {}}}, kPassword, next);
    QCOMPARE(int(outcomes.at(0).status), int(OperationStatus::Done));

    QNetworkAccessManager *network = Onvif::DeviceClient::makeNetworkManager(this);
    Onvif::DeviceClient old(serviceOf(addressOf(5)), network);
    old.setCredentials(QStringLiteral("admin"), QString::fromUtf8(kPassword));
    TestSupport::CallOutcome<Onvif::DeviceInformation> refused;
    old.getDeviceInformation(refused.callback());
    QVERIFY(refused.wait());
    QCOMPARE(Onvif::errorKindName(refused.result.error.kind), Onvif::errorKindName(Onvif::ErrorKind::NotAuthorized));
    Onvif::DeviceClient now(serviceOf(addressOf(5)), network);
    now.setCredentials(QStringLiteral("admin"), QString::fromUtf8(next));
    TestSupport::CallOutcome<Onvif::DeviceInformation> taken;
    now.getDeviceInformation(taken.callback());
    QVERIFY(taken.wait());
    QVERIFY(taken.result.ok());
    // The row follows: the device's own credentials are the new ones.
    OnvifTarget target;
    QVERIFY(m_devices->target(key, &target));
    QCOMPARE(target.credentials.password, next);
    delete network;
}

// One batch of both kinds, in table order: two of ours, two ONVIF devices
// with digest only, and the silent ONVIF device. Each outcome in its place,
// and every device that took its address reports it ("applied").
void tst_OnvifOperations::mixedBatch()
{
    QVERIFY(signIn(onvifKey(6)));
    QVERIFY(signIn(onvifKey(7)));
    QVector<OperationJob> jobs{
        {m_ours.at(0), withAddress(m_ours.at(0), QStringLiteral("192.168.77.20"))},
        {onvifKey(6), withAddress(onvifKey(6), QStringLiteral("127.52.0.106"))},
        {onvifKey(2), withAddress(onvifKey(2), QStringLiteral("127.52.0.105"))},
        {m_ours.at(1), withAddress(m_ours.at(1), QStringLiteral("192.168.77.21"))},
        {onvifKey(7), withAddress(onvifKey(7), QStringLiteral("127.52.0.107"))},
    };
    const QVector<OperationOutcome> outcomes = run(OperationKind::SetNetParams, jobs, kPassword);
    QCOMPARE(outcomes.size(), jobs.size());
    for (int i = 0; i < jobs.size(); ++i) {
        const int expected = int(i == 2 ? OperationStatus::TimedOut : OperationStatus::Done);
        QVERIFY2(int(outcomes.at(i).status) == expected, qPrintable(QString::number(i)));
    }
    jobs.remove(2);
    QVERIFY(confirmed(jobs));
}

QTEST_MAIN(tst_OnvifOperations)
#include "tst_onvifoperations.moc"
