// The "signing in" mark of an ONVIF row against the simulator: on while a
// slow device is being read, off in the report of the end whatever the
// end was, never set by the anonymous check of discovery, and nothing left
// behind by a device that leaves in the middle of its sign-in.

#include "discovery/deviceinfo.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "onvif/discoveryclient.h"
#include "operations/onvifdevices.h"
#include "tests/onvif/onvifsim.h"

#include <QHash>
#include <QtTest>

#include <algorithm>
#include <thread>

using namespace VoskTool;

namespace {

constexpr quint16 kDiscoveryPort = 34754;
constexpr quint16 kHttpPort = 18154;
const char kBlock[] = "127.54.0.";
constexpr int kSlowMs = 600;
const QByteArray kPassword = QByteArrayLiteral("Admin12345");

QString simulator()
{
    return qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH));
}

QString addressOf(int device)
{
    return QString::fromLatin1(kBlock) + QString::number(device + 1);
}

bool signingIn(const VOSK_DEVICE_INFO &r)
{
    return VOSK::onvifFlags(r) & VOSK::OnvifSigningIn;
}

} // namespace

class tst_OnvifSignInMark : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void markWhileRead_data();
    void markWhileRead();
    void markOnReadAfterChange();
    void discoveryCheckLeavesNoMark();
    void deviceLeavesMeanwhile();

private:
    bool startSimulator();
    void watch();
    // The row of the simulator's device n (found by its address).
    std::optional<VOSK_DEVICE_INFO> row(int n) const;
    DeviceKey key(int n) const;
    // Every report of the device since the last clear, in order.
    QList<VOSK_DEVICE_INFO> reportsOf(int n) const;
    // Signs device n in and waits for its outcome.
    OperationOutcome signInAndWait(int n);

    TestSupport::OnvifSim m_sim;
    std::unique_ptr<OnvifDevices> m_devices;
    QHash<QString, VOSK_DEVICE_INFO> m_rows; // by endpoint id, as a table holds them
    QHash<QString, QList<VOSK_DEVICE_INFO>> m_reports;
    QHash<QString, OperationOutcome> m_outcomes;
    // The row as it stood when its outcome was heard.
    QHash<QString, VOSK_DEVICE_INFO> m_rowAtOutcome;
    int m_done = 0;
};

// Device 0 answers every request late; device 1 is ordinary and never
// signed in here.
bool tst_OnvifSignInMark::startSimulator()
{
    return m_sim.start(simulator(), 2, kDiscoveryPort, kHttpPort, addressOf(0),
                       {QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                        QStringLiteral("--onvif-behaviour"), QStringLiteral("0:slow=%1").arg(kSlowMs)});
}

void tst_OnvifSignInMark::initTestCase()
{
    QVERIFY(startSimulator());
    Onvif::DiscoveryOptions options;
    options.port = kDiscoveryPort;
    options.interfaces = {"lo"};
    m_devices = std::make_unique<OnvifDevices>(options);
    m_devices->setCredentials({QStringLiteral("admin"), kPassword});
    watch();
    QVERIFY(m_devices->start());
    QTRY_COMPARE_WITH_TIMEOUT(m_rows.size(), 2, 10000);
}

void tst_OnvifSignInMark::watch()
{
    OnvifDevices *devices = m_devices.get();
    auto note = [this](const VOSK_DEVICE_INFO &r) {
        const QString id = DeviceKey::fromRecord(r).endpointId;
        m_reports[id].append(r);
        return id;
    };
    connect(devices, &OnvifDevices::signalDeviceOnline, this,
            [this, note](const VOSK_DEVICE_INFO &r) { m_rows.insert(note(r), r); });
    connect(devices, &OnvifDevices::signalDeviceUpdate, this, [this, note](const VOSK_DEVICE_INFO &r) {
        const QString id = note(r);
        if (m_rows.contains(id))
            m_rows.insert(id, r);
    });
    connect(devices, &OnvifDevices::signalDeviceOffline, this,
            [this, note](const VOSK_DEVICE_INFO &r) { m_rows.remove(note(r)); });
    connect(devices, &OnvifDevices::signInFinished, this,
            [this](const DeviceKey &device, const OperationOutcome &outcome) {
                m_outcomes.insert(device.endpointId, outcome);
                if (m_rows.contains(device.endpointId))
                    m_rowAtOutcome.insert(device.endpointId, m_rows.value(device.endpointId));
            });
    connect(devices, &OnvifDevices::signInDone, this, [this] { ++m_done; });
}

std::optional<VOSK_DEVICE_INFO> tst_OnvifSignInMark::row(int n) const
{
    for (const VOSK_DEVICE_INFO &r : m_rows) {
        if (VOSK::fieldText(r.ipv4Address) == addressOf(n))
            return r;
    }
    return std::nullopt;
}

DeviceKey tst_OnvifSignInMark::key(int n) const
{
    const auto r = row(n);
    return r ? DeviceKey::fromRecord(*r) : DeviceKey();
}

QList<VOSK_DEVICE_INFO> tst_OnvifSignInMark::reportsOf(int n) const
{
    return m_reports.value(key(n).endpointId);
}

OperationOutcome tst_OnvifSignInMark::signInAndWait(int n)
{
    const DeviceKey device = key(n);
    m_outcomes.remove(device.endpointId);
    m_devices->signIn({device});
    if (!QTest::qWaitFor([&] { return m_outcomes.contains(device.endpointId); }, 20000))
        return {OperationStatus::Failed, -1};
    return m_outcomes.value(device.endpointId);
}

void tst_OnvifSignInMark::markWhileRead_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<OperationStatus>("status");
    QTest::newRow("read") << kPassword << 4000 << OperationStatus::Done;
    QTest::newRow("credentials refused") << QByteArrayLiteral("Wrong-Passw0rd") << 4000 << OperationStatus::Denied;
    // A time-out changes no cell: only the mark's end is reported.
    QTest::newRow("timed out") << kPassword << kSlowMs / 3 << OperationStatus::TimedOut;
}

// The mark is reported before the slow device has answered anything, and
// is gone from the row by the time anyone hears the outcome.
void tst_OnvifSignInMark::markWhileRead()
{
    QFETCH(QByteArray, password);
    QFETCH(int, timeoutMs);
    QFETCH(OperationStatus, status);
    const DeviceKey device = key(0);
    QVERIFY(device.isOnvif());
    m_devices->setCredentials(device, {QStringLiteral("admin"), password});
    m_devices->setCallTimeout(timeoutMs);
    const VOSK_DEVICE_INFO before = *row(0);
    m_reports.remove(device.endpointId);

    const OperationOutcome outcome = signInAndWait(0);
    m_devices->setCredentials(device, {});
    QCOMPARE(int(outcome.status), int(status));

    const QList<VOSK_DEVICE_INFO> reports = reportsOf(0);
    QVERIFY(reports.size() >= 2);
    // Marked first, with the cells the row had before.
    QVERIFY(signingIn(reports.first()));
    QCOMPARE(VOSK::fieldText(reports.first().serialNumber), VOSK::fieldText(before.serialNumber));
    QCOMPARE(VOSK::onvifFlags(reports.first()), quint8(VOSK::onvifFlags(before) | VOSK::OnvifSigningIn));
    // Unmarked by the end, before the outcome was heard.
    QVERIFY(m_rowAtOutcome.contains(device.endpointId));
    const VOSK_DEVICE_INFO atOutcome = m_rowAtOutcome.value(device.endpointId);
    QVERIFY(!signingIn(atOutcome));
    QVERIFY(!signingIn(*row(0)));
    // A time-out leaves the row as the sign-in before it left it.
    if (status != OperationStatus::TimedOut)
        QCOMPARE(bool(VOSK::onvifFlags(atOutcome) & VOSK::OnvifSignInRefused), status == OperationStatus::Denied);
    if (status == OperationStatus::Done) {
        QVERIFY(VOSK::onvifFlags(atOutcome) & VOSK::OnvifSignedIn);
        QVERIFY(!VOSK::fieldText(atOutcome.serialNumber).isEmpty());
    }
}

// A change the device took has it read again: that read is marked too.
void tst_OnvifSignInMark::markOnReadAfterChange()
{
    m_devices->setCallTimeout(4000);
    QCOMPARE(int(signInAndWait(0).status), int(OperationStatus::Done));
    const DeviceKey device = key(0);
    OnvifTarget target;
    QVERIFY(m_devices->target(device, &target));
    m_reports.remove(device.endpointId);
    m_outcomes.clear();
    // What the device kind says after a change, from its thread.
    std::thread([this, device, target] {
        m_devices->noteMoved(device, target.serviceAddress, target.credentials);
    }).join();
    QTRY_VERIFY_WITH_TIMEOUT(m_outcomes.contains(device.endpointId), 20000);
    QCOMPARE(int(m_outcomes.value(device.endpointId).status), int(OperationStatus::Done));
    const QList<VOSK_DEVICE_INFO> reports = reportsOf(0);
    QVERIFY(std::any_of(reports.cbegin(), reports.cend(), signingIn));
    QVERIFY(!signingIn(reports.last()));
    QVERIFY(VOSK::onvifFlags(reports.last()) & VOSK::OnvifSignedIn);
}

// The anonymous GetUsers of a device first heard is no sign-in: device 1,
// never signed in, was never marked (nor device 0 before its first one).
void tst_OnvifSignInMark::discoveryCheckLeavesNoMark()
{
    const QString id = key(1).endpointId;
    QVERIFY(!id.isEmpty());
    QVERIFY(!m_reports.value(id).isEmpty());
    for (const VOSK_DEVICE_INFO &r : m_reports.value(id))
        QVERIFY(!signingIn(r));
    QVERIFY(!signingIn(*row(1)));
}

// The slow device says Bye while it is being read: its row goes, the
// sign-in ends as "not found", and when it comes back its new row carries
// no mark from the old read and is read afresh.
void tst_OnvifSignInMark::deviceLeavesMeanwhile()
{
    m_devices->setCallTimeout(4000);
    const DeviceKey device = key(0);
    m_outcomes.clear();
    const int done = m_done;
    m_devices->signIn({device});
    QTRY_VERIFY_WITH_TIMEOUT(row(0) && signingIn(*row(0)), 10000);
    QVERIFY(m_sim.stop());
    QTRY_VERIFY_WITH_TIMEOUT(!row(0), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(m_done, done + 1, 5000);
    QCOMPARE(int(m_outcomes.value(device.endpointId).status), int(OperationStatus::NotFound));

    m_reports.remove(device.endpointId);
    QVERIFY(startSimulator());
    QTRY_VERIFY_WITH_TIMEOUT(row(0).has_value(), 10000);
    QCOMPARE(key(0), device); // the same endpoint, the same key
    QVERIFY(!signingIn(reportsOf(0).first()));
    QCOMPARE(int(signInAndWait(0).status), int(OperationStatus::Done));
    QVERIFY(!signingIn(*row(0)));
    QVERIFY(VOSK::onvifFlags(*row(0)) & VOSK::OnvifSignedIn);
}

QTEST_MAIN(tst_OnvifSignInMark)
#include "tst_onvifsigninmark.moc"
