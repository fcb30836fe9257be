// The pane with ONVIF rows end to end: the main window with the real
// discovery library and a fleet of ours, the real OnvifDevices and ONVIF
// device kind, and the simulator's ONVIF devices, all on loopback. The
// interface's conversion is Latin-1 here, the ONVIF devices' password
// non-ASCII and longer than our protocol's 16 bytes: what the pane sends
// must be what the user typed, in the standard's UTF-8.

#include "aptui/guitextcodec.h"
#include "aptui/multistatelineedit.h"
#include "devicelist/devicecolumn.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "netparam/devicemodifyresultpage.h"
#include "onvif/devicesession.h"
#include "onvif/discoveryclient.h"
#include "operations/devicekinds.h"
#include "operations/onvifdeviceoperations.h"
#include "operations/onvifdevices.h"
#include "operations/operationrunner.h"
#include "shell/tipdialog.h"
#include "shell/vosktoolmainpage.h"
#include "tests/netparam/resultrows.h"
#include "tests/onvif/onvifsim.h"
#include "tests/vosk/voskfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>
#include <QTimer>

#include <optional>

using namespace VoskTool;
using VoskNet::WireRecord;

namespace {

constexpr quint64 kSeed = 23;
constexpr int kOurs = 8;
constexpr int kOnvif = 7;
constexpr quint16 kDiscoveryPort = 34781;
constexpr quint16 kHttpPort = 18181;
const char kBlock[] = "127.81.0.";
// Non-ASCII, and within what Latin-1 carries: our devices take it as
// Latin-1, the ONVIF devices as UTF-8, and only the encoding tells the
// two apart. Both simulators are given it.
const QString kPassword = QStringLiteral("Gr\u00fc\u00dfe-S\u00fcd-2026");
// Longer than our protocol's 16 bytes, non-ASCII: what activation gives
// the factory-state ONVIF device.
const QString kLongPassword = QStringLiteral("Neues-Passw\u00f6rt-f\u00fcr-Ger\u00e4t-3");
// Device 3 answers every request 2.5 s late: sign-in waits for it, the
// device kind's 1.2 s per call does not.
constexpr int kSlowDevice = 3;
constexpr int kFactoryDevice = 2;

QString addressOf(int device)
{
    return QString::fromLatin1(kBlock) + QString::number(device + 1);
}

} // namespace

class tst_OnvifPaneFlow final : public QObject
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
    QList<TestSupport::ResultRow> m_results;
    QVector<DeviceKey> m_onvifKeys; // by simulator device number

    DeviceModifyPage *pane() const { return qobject_cast<DeviceModifyPage *>(m_window->rightPane()); }
    DeviceInfoModel *model() const { return m_window->deviceDisplayPage()->model(); }
    template <typename T>
    T *child(const char *name) const
    {
        return pane()->findChild<T *>(QLatin1String(name));
    }
    void setText(const char *name, const QString &text)
    {
        QLineEdit *line = child<QLineEdit>(name);
        QVERIFY2(line, name);
        line->setText(text);
        QCOMPARE(line->text(), text); // not cut short by the field
    }
    void click(const char *button)
    {
        m_messages.clear();
        m_results.clear();
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }
    QString lastMessage() const { return m_messages.isEmpty() ? QString() : m_messages.last().text; }
    void check(const QVector<DeviceKey> &keys)
    {
        for (int row = 0; row < model()->rowCount(); ++row)
            model()->setCheckState(row, keys.contains(model()->keyAt(row)) ? Qt::Checked : Qt::Unchecked);
        QCOMPARE(pane()->selection().size(), keys.size());
    }
    DeviceKey ours(int index) const
    {
        const WireRecord &r = m_fleet[std::size_t(index)].record();
        return DeviceKey(QString::fromLatin1(r.serialNumber), QString::fromLatin1(r.mac));
    }
    QString cell(const DeviceKey &key, int column) const { return model()->text(model()->rowOf(key), column); }
    // Whether the device takes `password` for a call that needs a user.
    bool signsInWith(const DeviceKey &key, const QString &password) const
    {
        OnvifTarget target;
        if (!m_onvif->target(key, &target))
            return false;
        Onvif::DeviceSession session(target.serviceAddress, QStringLiteral("admin"), password, 3000);
        return session.getDeviceInformation().ok();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        VoskTest::pinToLoopback(47291, "239.255.86.191");
        m_fleet = VoskTest::fleet(kSeed, kOurs);
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kOurs), QStringLiteral("--seed"),
                                QString::number(kSeed), QStringLiteral("--state"),
                                m_dir.filePath(QStringLiteral("state.json")), QStringLiteral("--password"), kPassword}));
        QVERIFY(m_onvifSim.start(qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH)), kOnvif,
                                 kDiscoveryPort, kHttpPort, addressOf(0),
                                 {QStringLiteral("--password"), kPassword,
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("1:auth=digest,reboot"),
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("2:factory"),
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("3:slow=2500,auth=wsse"),
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("4:auth=wsse,clock=+5h"),
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("5:notapplied"),
                                  QStringLiteral("--onvif-behaviour"), QStringLiteral("6:faults=Disk%20full"),
                                  QStringLiteral("--onvif-reboot-ms"), QStringLiteral("300")}));
        // Passwords go to our devices as Latin-1 here.
        TarnGUIToolkit::InitGuiTextCodec(QTextCodec::codecForName("ISO-8859-1"));

        Onvif::DiscoveryOptions options;
        options.port = kDiscoveryPort;
        options.interfaces = {"lo"};
        // The trusted certificates in the test's own folder, not the user's.
        qputenv("VOSK_ONVIF_CERTIFICATES", m_dir.filePath(QStringLiteral("certificates.ini")).toLocal8Bit());
        m_onvif = std::make_unique<OnvifDevices>(options);
        m_onvif->setCallTimeout(12000);
        m_onvifKind = std::make_shared<OnvifDeviceOperations>();
        m_onvifKind->setCallTimeout(1200);
        m_onvifKind->setMoveWait(8000);
        m_onvifKind->setRebootWait(10000);
        DeviceKinds::instance().add(m_onvifKind);

        m_window.emplace();
        m_window->resize(1400, 860);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(&*m_window));
        pane()->setConfirmWait(10000);
        pane()->setMessenger([this](const PaneMessage &message) { m_messages.append(message); });
        pane()->setDialogRunner([this](QDialog &dialog) {
            auto *page = qobject_cast<DeviceModifyResultPage *>(&dialog);
            if (!page)
                return 0;
            m_results += TestSupport::resultRows(*page, DeviceModifyResultPage::ColumnIpv4);
            return 1;
        });
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), kOurs + kOnvif, 15000);

        m_onvifKeys.resize(kOnvif);
        for (int row = 0; row < model()->rowCount(); ++row) {
            const DeviceKey key = model()->keyAt(row);
            for (int n = 0; n < kOnvif; ++n) {
                if (key.isOnvif() && model()->text(row, ColumnIpv4Address) == addressOf(n))
                    m_onvifKeys[n] = key;
            }
        }
        for (const DeviceKey &key : std::as_const(m_onvifKeys))
            QVERIFY(key.isOnvif());

        // Signed in for every ONVIF device as the sign-in dialog does it.
        QSignalSpy done(m_onvif.get(), &OnvifDevices::signInDone);
        QHash<DeviceKey, int> signedIn;
        const QMetaObject::Connection finished =
            connect(m_onvif.get(), &OnvifDevices::signInFinished, this,
                    [&signedIn](const DeviceKey &key, const OperationOutcome &outcome) {
                        signedIn.insert(key, int(outcome.status));
                    });
        m_onvif->setCredentials({QStringLiteral("admin"), kPassword.toUtf8()});
        m_onvif->signIn();
        QVERIFY(done.wait(30000));
        disconnect(finished);
        QCOMPARE(signedIn.value(m_onvifKeys[kSlowDevice], -1), int(OperationStatus::Done));
        QTRY_VERIFY(!cell(m_onvifKeys[kSlowDevice], ColumnSerialNumber).isEmpty());
        QVERIFY(!cell(m_onvifKeys[0], ColumnSerialNumber).isEmpty());
    }

    void cleanupTestCase()
    {
        m_window.reset();
        VOSK::VoskHandler::instance()->stop();
        DeviceKinds::instance().remove(m_onvifKind.get());
        m_onvif.reset();
        m_devsim.kill();
        m_onvifSim.kill();
    }

    // One ONVIF row's new gateway, authorised by the non-ASCII password as
    // typed: it must reach the device as UTF-8 whatever the interface's
    // conversion.
    void singleChangeSendsUtf8()
    {
        const DeviceKey key = m_onvifKeys[0];
        check({key});
        setText("m_lineEditGateway", QStringLiteral("127.81.0.254"));
        setText("m_lineEditAdminPassword", kPassword);
        click("m_btnModify");
        QTRY_VERIFY_WITH_TIMEOUT(!pane()->isBusy(), 20000);
        QVERIFY2(!m_messages.isEmpty() && m_messages.last().kind == MessageSuccess, qPrintable(lastMessage()));
        QTRY_COMPARE(cell(key, ColumnIpv4Gateway), QStringLiteral("127.81.0.254"));
        check({});
    }

    // The factory-state device activated from the pane with a password
    // longer than 16 bytes: the device takes exactly that text afterwards,
    // and the network form of its row takes it too. Past the ONVIF limit
    // the fields take no more. It offers plain HTTP only: the form says,
    // before anything is sent, that the password goes in clear.
    void longPasswordForActivationAndChange()
    {
        const DeviceKey key = m_onvifKeys[kFactoryDevice];
        check({key});
        QLabel *clearText = child<QLabel>("m_labelClearText");
        QVERIFY(clearText && clearText->isVisible());
        QVERIFY(clearText->text().contains(QStringLiteral("in clear")));
        QVERIFY(kLongPassword.toUtf8().size() > 16);
        setText("m_lineEditNewPassword", kLongPassword);
        setText("m_lineEditConfirmPassword", kLongPassword);
        click("m_btnActive");
        QTRY_VERIFY_WITH_TIMEOUT(!pane()->isBusy(), 20000);
        QVERIFY2(!m_messages.isEmpty() && m_messages.last().kind == MessageSuccess, qPrintable(lastMessage()));
        QVERIFY(signsInWith(key, kLongPassword));
        QVERIFY(!signsInWith(key, kLongPassword.left(16)));

        // Read again with the new password, the row can be changed: the
        // pane follows without the row being checked again.
        QTRY_VERIFY_WITH_TIMEOUT(!cell(key, ColumnSerialNumber).isEmpty(), 15000);
        QTRY_VERIFY(child<QPushButton>("m_btnModify")->isEnabled());
        QVERIFY(child<QLineEdit>("m_lineEditGateway")->isEnabled());
        setText("m_lineEditGateway", QStringLiteral("127.81.0.253"));
        setText("m_lineEditAdminPassword", kLongPassword);
        click("m_btnModify");
        QTRY_VERIFY_WITH_TIMEOUT(!pane()->isBusy(), 20000);
        QVERIFY2(!m_messages.isEmpty() && m_messages.last().kind == MessageSuccess, qPrintable(lastMessage()));
        QTRY_COMPARE(cell(key, ColumnIpv4Gateway), QStringLiteral("127.81.0.253"));

        QLineEdit *field = child<QLineEdit>("m_lineEditAdminPassword");
        field->setText(QString(OnvifCredentials::kMaxPasswordLength + 1, QLatin1Char('a')));
        QCOMPARE(field->text().size(), OnvifCredentials::kMaxPasswordLength);
        check({});
    }

    // Two devices of ours and four ONVIF ones in one batch of new
    // addresses: each result worded; the ONVIF devices answer at their new
    // addresses (one after the reboot it needed); the slow one times out
    // while the window goes on handling events.
    void mixedBatchWithASilentOnvifDevice()
    {
        QVector<DeviceKey> keys;
        for (int i = 0; i < kOurs && keys.size() < 2; ++i) {
            const WireRecord &r = m_fleet[std::size_t(i)].record();
            if (!r.notActivated && (int(r.deviceTypeCode) < 0x9D00 || int(r.deviceTypeCode) > 0x9FFF))
                keys.append(ours(i));
        }
        QCOMPARE(keys.size(), 2);
        for (int n : {0, 1, kSlowDevice, 4})
            keys.append(m_onvifKeys[n]);
        check(keys);
        QVERIFY(child<QLineEdit>("m_lineEditStartIp")->isEnabled());
        setText("m_lineEditStartIp", QStringLiteral("127.81.1.1"));
        setText("m_lineEditSubnetMask", QStringLiteral("255.255.0.0"));
        if (child<QLineEdit>("m_lineEditGateway")->isEnabled())
            setText("m_lineEditGateway", QStringLiteral("127.81.0.254"));
        // The kinds' HTTP ports differ: the batch sets the ONVIF devices'
        // own, which they keep.
        if (child<QLineEdit>("m_lineEditHttpPort")->isEnabled())
            setText("m_lineEditHttpPort", QString::number(kHttpPort));
        setText("m_lineEditAdminPassword", kPassword);

        // Events keep coming while the slow device is still waited for.
        int ticks = 0, ticksAtLastOutcome = -1, outcomes = 0;
        QTimer ticker;
        ticker.setInterval(20);
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        OperationRunner *runner = pane()->findChild<OperationRunner *>();
        QVERIFY(runner);
        int ticksAtFirstOutcome = -1;
        const QMetaObject::Connection seen = connect(runner, &OperationRunner::outcomeReady, this, [&](int) {
            if (++outcomes == 1)
                ticksAtFirstOutcome = ticks;
            ticksAtLastOutcome = ticks;
        });
        ticker.start();
        click("m_btnModify");
        ticker.stop();
        disconnect(seen);
        QVERIFY2(m_messages.isEmpty(), qPrintable(lastMessage()));
        QCOMPARE(m_results.size(), keys.size());
        QCOMPARE(outcomes, keys.size());
        QVERIFY2(ticksAtLastOutcome > ticksAtFirstOutcome, "the window handled no event during the batch");

        int failed = 0;
        for (const TestSupport::ResultRow &row : std::as_const(m_results)) {
            QVERIFY(!row.result.isEmpty());
            failed += row.ok ? 0 : 1;
        }
        // Rows in table order; find each ONVIF device's by its new address.
        auto resultAt = [this](const QString &address) -> std::optional<TestSupport::ResultRow> {
            for (const TestSupport::ResultRow &row : std::as_const(m_results)) {
                if (row.name == address)
                    return row;
            }
            return std::nullopt;
        };
        QCOMPARE(failed, 1); // the slow device
        for (int n : {0, 1, 4}) {
            const QString moved = cell(m_onvifKeys[n], ColumnIpv4Address);
            QVERIFY2(moved.startsWith(QLatin1String("127.81.1.")), qPrintable(moved));
            const auto row = resultAt(moved);
            QVERIFY2(row && row->ok, qPrintable(moved));
            OnvifTarget target;
            QVERIFY(m_onvif->target(m_onvifKeys[n], &target));
            QCOMPARE(target.serviceAddress.host(), moved);
            QVERIFY(signsInWith(m_onvifKeys[n], kPassword));
        }
        bool slowTimedOut = false;
        for (const TestSupport::ResultRow &row : std::as_const(m_results))
            slowTimedOut = slowTimedOut || (!row.ok && row.result.contains(QLatin1String("time out")));
        QVERIFY2(slowTimedOut, "no result says the slow device timed out");
        check({});
    }

    // A device's certificate refused as changed: the window asks once,
    // showing both fingerprints; accepted, the new one is trusted from then
    // on, declined, it stays refused without being asked again.
    void changedCertificateAsked_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("declined") << false;
    }
    void changedCertificateAsked()
    {
        QFETCH(bool, accept);
        const QString endpoint = QStringLiteral("urn:uuid:certificate-") + QLatin1String(QTest::currentDataTag());
        const QByteArray first(32, '\x11');
        const QByteArray shown(32, '\x22');
        QStringList asked;
        m_window->setCertificateDialogRunner([&](TipDialog &dialog) {
            asked << dialog.text();
            return accept ? QDialog::Accepted : QDialog::Rejected;
        });
        const Onvif::DeviceClient::CertificateCheck check = m_onvif->certificateCheck(endpoint);
        QVERIFY(check(first));
        QVERIFY(!check(shown));
        QTRY_COMPARE(asked.size(), 1);
        QVERIFY(asked.first().contains(OnvifCertificates::fingerprintText(first)));
        QVERIFY(asked.first().contains(OnvifCertificates::fingerprintText(shown)));
        QCOMPARE(check(shown), accept);
        QCOMPARE(m_onvif->certificates().pinned(endpoint), accept ? shown : first);
        // The refusal's note, then the window's queued question: two rounds.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(asked.size(), 1);
        m_window->setCertificateDialogRunner({});
    }

    // What went wrong, in the result list and the pane: a device that
    // answers a change with success and keeps its address, one that faults
    // with its own reason and one moved where it cannot be seen are each
    // failed (no green check), with why; a wrong ONVIF password is worded
    // as such, not as our protocol's refusal.
    void failuresSayWhy()
    {
        const QVector<DeviceKey> keys{m_onvifKeys[4], m_onvifKeys[5], m_onvifKeys[6]};
        check(keys);
        setText("m_lineEditStartIp", QStringLiteral("10.99.2.1"));
        setText("m_lineEditSubnetMask", QStringLiteral("255.255.0.0"));
        if (child<QLineEdit>("m_lineEditGateway")->isEnabled())
            setText("m_lineEditGateway", QStringLiteral("10.99.0.254"));
        if (child<QLineEdit>("m_lineEditHttpPort")->isEnabled())
            setText("m_lineEditHttpPort", QString::number(kHttpPort));
        setText("m_lineEditAdminPassword", kPassword);
        click("m_btnModify");
        QVERIFY2(m_results.size() == keys.size(), qPrintable(lastMessage()));
        QStringList words;
        for (const TestSupport::ResultRow &row : std::as_const(m_results)) {
            QVERIFY2(!row.ok, qPrintable(row.result));
            words << row.result;
        }
        QVERIFY2(words.filter(QStringLiteral("Error3101:not applied, the device still reports dhcp=off ip=%1/16")
                                  .arg(addressOf(5))).size() == 1,
                 qPrintable(words.join(QLatin1Char('\n'))));
        QVERIFY2(words.contains(QStringLiteral("Error3005:the device says \"Disk full\"")),
                 qPrintable(words.join(QLatin1Char('\n'))));
        QVERIFY2(words.filter(QStringLiteral("sent, not seen since (")).size() == 1,
                 qPrintable(words.join(QLatin1Char('\n'))));

        check({m_onvifKeys[0]});
        setText("m_lineEditGateway", QStringLiteral("127.81.0.252"));
        setText("m_lineEditAdminPassword", QStringLiteral("Wrong-Passw0rd"));
        click("m_btnModify");
        QTRY_VERIFY_WITH_TIMEOUT(!pane()->isBusy(), 20000);
        QCOMPARE(lastMessage(), QStringLiteral("Wrong user name or password."));
        check({});
    }
};

QTEST_MAIN(tst_OnvifPaneFlow)
#include "tst_onvifpaneflow.moc"
