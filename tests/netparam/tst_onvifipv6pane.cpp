// The pane's network form with ONVIF devices reached over IPv6, end to end:
// the main window with the real discovery library and a fleet of ours,
// the real ONVIF side and kind, and the simulator's ONVIF devices serving
// on unique local addresses, one of them with IPv4 off. Runs in a network
// namespace of its own (made inside ./test.sh's), whose loopback holds
// the addresses: never on a host's own interfaces.

#include "devicelist/devicecolumn.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "onvif/discoveryclient.h"
#include "operations/devicekinds.h"
#include "operations/onvifdeviceoperations.h"
#include "operations/onvifdevices.h"
#include "operations/operationrunner.h"
#include "shell/vosktoolmainpage.h"
#include "tests/onvif/onvifsim.h"
#include "tests/tools/privatenetwork.h"
#include "tests/vosk/voskfixture.h"

#include <QHostAddress>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace VoskTool;
using VoskNet::WireRecord;

namespace {

constexpr quint64 kSeed = 57;
constexpr int kOurs = 4;
constexpr quint16 kDiscoveryPort = 34757;
constexpr quint16 kHttpPort = 18157;
const QString kPassword = QStringLiteral("Admin12345");
// ONVIF device 0 serves on IPv4 and at fd00:57::1, device 1 at fd00:57::2
// alone; the addresses they are moved to lie on loopback too.
const QString kDualV4 = QStringLiteral("127.57.0.1");
const QString kDualV6 = QStringLiteral("fd00:57::1");
const QString kAloneV6 = QStringLiteral("fd00:57::2");
const QString kDualMoveTo = QStringLiteral("fd00:57::98");
const QString kAloneMoveTo = QStringLiteral("fd00:57::99");

using TestSupport::ip;

} // namespace

class tst_OnvifIpv6Pane final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    VoskTest::Devsim m_devsim;
    TestSupport::OnvifSim m_onvifSim;
    std::vector<VoskSim::SimDevice> m_fleet;
    std::unique_ptr<OnvifDevices> m_onvif;
    std::shared_ptr<OnvifDeviceOperations> m_onvifKind;
    std::optional<VOSKToolMainPage> m_window;
    QList<PaneMessage> m_messages;
    QMap<QString, DeviceKey> m_keys; // by the address the row first showed

    DeviceModifyPage *pane() const { return qobject_cast<DeviceModifyPage *>(m_window->rightPane()); }
    DeviceInfoModel *model() const { return m_window->deviceDisplayPage()->model(); }
    QLineEdit *field(const char *name) const { return pane()->findChild<QLineEdit *>(QLatin1String(name)); }
    void setText(const char *name, const QString &text)
    {
        QLineEdit *line = field(name);
        QVERIFY2(line, name);
        QVERIFY2(line->isEnabled(), name);
        line->setText(text);
    }
    void check(const QVector<DeviceKey> &keys)
    {
        for (int row = 0; row < model()->rowCount(); ++row)
            model()->setCheckState(row, keys.contains(model()->keyAt(row)) ? Qt::Checked : Qt::Unchecked);
        QCOMPARE(pane()->selection().size(), keys.size());
    }
    void clickModify()
    {
        m_messages.clear();
        QTest::mouseClick(pane()->findChild<QPushButton *>(QStringLiteral("m_btnModify")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!pane()->isBusy(), 30000);
    }
    QString lastMessage() const { return m_messages.isEmpty() ? QString() : m_messages.last().text; }
    QString cell(const DeviceKey &key, int column) const { return model()->text(model()->rowOf(key), column); }
    // A device of ours that takes new IPv4 parameters and IPv6 ones.
    DeviceKey oursWithIpv6() const
    {
        for (const VoskSim::SimDevice &device : m_fleet) {
            const WireRecord &r = device.record();
            if (!r.notActivated && r.addressInfoValid && (r.capabilities & VOSK_CAP_IPV6_MODIFIABLE))
                return DeviceKey(QString::fromLatin1(r.serialNumber), QString::fromLatin1(r.mac));
        }
        return DeviceKey();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Addresses on loopback in a namespace of the test's own: the
        // host's and the other tests' loopback keep theirs.
        QString error;
        if (!TestSupport::enterPrivateNetwork(error))
            QSKIP(qPrintable(error));
        for (const QString &address : {kDualV6, kAloneV6, kDualMoveTo, kAloneMoveTo}) {
            QVERIFY(ip({QStringLiteral("-6"), QStringLiteral("addr"), QStringLiteral("add"),
                        address + QStringLiteral("/128"), QStringLiteral("dev"), QStringLiteral("lo"),
                        QStringLiteral("nodad")}));
        }

        VoskTest::pinToLoopback(47257, "239.255.86.157");
        m_fleet = VoskTest::fleet(kSeed, kOurs);
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kOurs), QStringLiteral("--seed"),
                                QString::number(kSeed), QStringLiteral("--state"),
                                m_dir.filePath(QStringLiteral("state.json")), QStringLiteral("--password"), kPassword}));
        QVERIFY2(!oursWithIpv6().serialNumber.isEmpty(), "the fleet needs an activated device of ours that takes IPv6");
        QVERIFY(m_onvifSim.start(qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH)), 2,
                                 kDiscoveryPort, kHttpPort, kDualV4,
                                 {QStringLiteral("--password"), kPassword, QStringLiteral("--onvif-address6"), kDualV6,
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("1:ipv6only")}));

        Onvif::DiscoveryOptions options;
        options.port = kDiscoveryPort;
        options.interfaces = {"lo"};
        m_onvif = std::make_unique<OnvifDevices>(options);
        m_onvif->setCallTimeout(5000);
        m_onvifKind = std::make_shared<OnvifDeviceOperations>();
        m_onvifKind->setCallTimeout(3000);
        m_onvifKind->setMoveWait(8000);
        DeviceKinds::instance().add(m_onvifKind);

        m_window.emplace();
        m_window->resize(1400, 860);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(&*m_window));
        pane()->setConfirmWait(10000);
        pane()->setMessenger([this](const PaneMessage &message) { m_messages.append(message); });
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), kOurs + 2, 15000);

        // Before sign-in a row holds the address discovery heard.
        for (const VOSK_DEVICE_INFO &r : DeviceStore::instance()->getAllDevices()) {
            if (!VOSK::isOnvifRecord(r))
                continue;
            for (const QString &address : {VOSK::fieldText(r.ipv4Address), VOSK::fieldText(r.ipv6Address)}) {
                if (!address.isEmpty())
                    m_keys.insert(address, DeviceKey::fromRecord(r));
            }
        }
        QVERIFY(m_keys.value(kDualV4).isOnvif());
        QVERIFY(m_keys.value(kAloneV6).isOnvif());

        QSignalSpy done(m_onvif.get(), &OnvifDevices::signInDone);
        m_onvif->setCredentials({QStringLiteral("admin"), kPassword.toUtf8()});
        m_onvif->signIn();
        QVERIFY(done.wait(30000));
        for (const QString &address : {kDualV4, kAloneV6})
            QTRY_VERIFY(!cell(m_keys.value(address), ColumnSerialNumber).isEmpty());
        QCOMPARE(cell(m_keys.value(kDualV4), ColumnIpv6Address), kDualV6);
        QVERIFY(cell(m_keys.value(kAloneV6), ColumnIpv4Address).isEmpty());
    }

    void cleanupTestCase()
    {
        m_window.reset();
        VOSK::VoskHandler::instance()->stop();
        if (m_onvifKind)
            DeviceKinds::instance().remove(m_onvifKind.get());
        m_onvif.reset();
        m_devsim.kill();
        m_onvifSim.kill();
    }

    void ipv6Change_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("moveTo");
        QTest::addColumn<int>("prefix");
        QTest::addColumn<QString>("gateway6");
        QTest::addColumn<bool>("ipv4Off");
        // IPv4 off: its IPv4 fields are greyed and not asked for.
        QTest::newRow("IPv6 alone") << kAloneV6 << kAloneMoveTo << 56 << QStringLiteral("fe80::2") << true;
        QTest::newRow("IPv4 and IPv6") << kDualV4 << kDualMoveTo << 64 << QStringLiteral("fe80::3") << false;
    }

    // A new IPv6 address, prefix length and gateway typed into the form of
    // an ONVIF row: sent, and confirmed by the device's report ("applied");
    // the row shows them and keeps its IPv4 address (none for a device
    // with IPv4 off).
    void ipv6Change()
    {
        QFETCH(QString, address);
        QFETCH(QString, moveTo);
        QFETCH(int, prefix);
        QFETCH(QString, gateway6);
        QFETCH(bool, ipv4Off);
        const DeviceKey key = m_keys.value(address);
        const QString ipv4 = cell(key, ColumnIpv4Address);
        check({key});
        for (const char *name : {"m_lineEditIpAddress", "m_lineEditSubnetMask", "m_lineEditGateway"}) {
            QCOMPARE(field(name)->isEnabled(), !ipv4Off);
            // A greyed field says why.
            QCOMPARE(field(name)->toolTip().isEmpty(), !ipv4Off);
        }
        setText("m_lineEditIPV6Address", moveTo);
        setText("m_lineEditIPV6SubnetMaskLen", QString::number(prefix));
        setText("m_lineEditIPV6Gateway", gateway6);
        setText("m_lineEditAdminPassword", kPassword);
        clickModify();
        QVERIFY2(!m_messages.isEmpty() && m_messages.last().kind == MessageSuccess, qPrintable(lastMessage()));
        QCOMPARE(cell(key, ColumnIpv6Address), moveTo);
        QCOMPARE(cell(key, ColumnIpv6Gateway), gateway6);
        QCOMPARE(cell(key, ColumnIpv4Address), ipv4);
        QCOMPARE(ipv4.isEmpty(), ipv4Off);
        OnvifTarget target;
        QVERIFY(m_onvif->target(key, &target));
        // Reached over IPv6 alone, it is called at its new address.
        if (ipv4Off)
            QCOMPARE(QHostAddress(target.serviceAddress.host()), QHostAddress(moveTo));
        check({});
    }

    void ipv4StillRequired_data()
    {
        QTest::addColumn<bool>("onvif");
        QTest::newRow("ours") << false;
        QTest::newRow("ONVIF with IPv4 on") << true;
    }

    // Where the device has IPv4, an emptied address is refused with the
    // form's words before anything is sent, IPv6 alone or not.
    void ipv4StillRequired()
    {
        QFETCH(bool, onvif);
        const DeviceKey key = onvif ? m_keys.value(kDualV4) : oursWithIpv6();
        check({key});
        QVERIFY(field("m_lineEditIPV6Address")->isEnabled());
        setText("m_lineEditIpAddress", QString());
        setText("m_lineEditIPV6Address", QStringLiteral("fd00:57::77"));
        setText("m_lineEditAdminPassword", kPassword);
        OperationRunner *runner = pane()->findChild<OperationRunner *>();
        QVERIFY(runner);
        QSignalSpy started(runner, &OperationRunner::outcomeReady);
        clickModify();
        QCOMPARE(lastMessage(), QStringLiteral("Please input IP Address."));
        // Refused before the run: nothing was asked of the device.
        QVERIFY(started.isEmpty());
        check({});
    }
};

QTEST_MAIN(tst_OnvifIpv6Pane)
#include "tst_onvifipv6pane.moc"
