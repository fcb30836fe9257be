// ONVIF rows in the table end to end: the simulator's ONVIF devices found
// by the real OnvifDevices, listed through the page beside the table's own
// rules, signed in from the page (for all, then one device with a password
// of its own that it refuses), each row's outcome in its protocol cell.

#include "devicelist/devicecolumn.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "devicelist/onvifprobedialog.h"
#include "devicelist/onvifsignindialog.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "onvif/discoveryclient.h"
#include "operations/onvifdevices.h"
#include "tests/onvif/onvifsim.h"

#include <QFile>
#include <QSet>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace VoskTool;

namespace {

constexpr quint16 kDiscoveryPort = 34761;
constexpr quint16 kHttpPort = 18161;
constexpr int kDevices = 4;
const char kBlock[] = "127.61.0.";

QString addressOf(int device)
{
    return QString::fromLatin1(kBlock) + QString::number(device + 1);
}

} // namespace

class TestOnvifRows final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    TestSupport::OnvifSim m_sim;
    std::unique_ptr<QWidget> m_host;
    std::unique_ptr<OnvifDevices> m_onvif;
    DeviceDisplayPage *m_page = nullptr;
    QStringList m_notices;

    DeviceInfoModel *model() const { return m_page->model(); }
    int rowOf(int device) const
    {
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (model()->text(row, ColumnIpv4Address) == addressOf(device))
                return row;
        }
        return -1;
    }
    QString cell(int device, int column) const { return model()->text(rowOf(device), column); }
    // Signs in from the page as the user would: the dialog answered with
    // these credentials, for all or the checked rows; waits for the end.
    // The devices read said so in their protocol cell meanwhile (as the
    // model's rows changed), and no other row did; at the end no row and
    // no stored record says so.
    void signIn(const QString &password, bool checkedOnly, const QVector<int> &read)
    {
        m_page->setSignInDialogRunner([&](OnvifSignInDialog &dialog) {
            dialog.setUserName(QStringLiteral("admin"));
            dialog.setPassword(password);
            dialog.setCheckedOnly(checkedOnly);
            dialog.confirmButton()->click();
            return dialog.result();
        });
        QSet<int> marked;
        const QMetaObject::Connection watch =
            connect(model(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex &from, const QModelIndex &to) {
                for (int n = 0; n < kDevices; ++n) {
                    const int row = rowOf(n);
                    if (row >= from.row() && row <= to.row()
                        && cell(n, ColumnProtocol) == QLatin1String("ONVIF, signing in"))
                        marked.insert(n);
                }
            });
        m_page->onOnvifSignIn();
        QVERIFY(m_page->isSigningIn());
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->isSigningIn(), 20000);
        disconnect(watch);
        QCOMPARE(marked, QSet<int>(read.cbegin(), read.cend()));
        for (int n = 0; n < kDevices; ++n) {
            QVERIFY2(!cell(n, ColumnProtocol).contains(QLatin1String("signing in")), qPrintable(addressOf(n)));
            VOSK_DEVICE_INFO stored;
            QVERIFY(DeviceStore::instance()->getDevice(model()->keyAt(rowOf(n)), stored));
            QVERIFY(!(VOSK::onvifFlags(stored) & VOSK::OnvifSigningIn));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_sim.start(qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH)), kDevices,
                            kDiscoveryPort, kHttpPort, addressOf(0),
                            {QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                             QStringLiteral("--onvif-behaviour"), QStringLiteral("1:auth=digest"),
                             QStringLiteral("--onvif-behaviour"), QStringLiteral("2:auth=wsse,clock=+5h"),
                             QStringLiteral("--onvif-behaviour"), QStringLiteral("3:factory")}));
        DeviceStore::instance()->clear();
        m_host = std::make_unique<QWidget>();
        m_page = new DeviceDisplayPage(m_dir.filePath(QStringLiteral("ColumnConfig.xml")), m_host.get());
        m_page->setNotifier([this](const QString &text, bool) { m_notices << text; });
        Onvif::DiscoveryOptions options;
        options.port = kDiscoveryPort;
        options.interfaces = {"lo"};
        m_onvif = std::make_unique<OnvifDevices>(options);
        m_onvif->setCallTimeout(1500);
        m_page->listenTo(m_onvif.get());
        QVERIFY(m_onvif->start());
    }

    void cleanupTestCase()
    {
        m_host.reset();
        m_onvif.reset();
        m_sim.kill();
    }

    void rowsShowWhatDiscoverySaid()
    {
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), kDevices, 10000);
        for (int n = 0; n < kDevices; ++n) {
            QVERIFY2(rowOf(n) >= 0, qPrintable(addressOf(n)));
            QVERIFY(model()->keyAt(rowOf(n)).isOnvif());
            QCOMPARE(cell(n, ColumnProtocol), QStringLiteral("ONVIF"));
            QCOMPARE(cell(n, ColumnHttpPort), QString::number(kHttpPort));
            for (int empty : {ColumnSerialNumber, ColumnMac, ColumnIpv4Mask, ColumnPort, ColumnIpv4Dhcp})
                QVERIFY2(cell(n, empty).isEmpty(), qPrintable(cell(n, empty)));
        }
        // Factory state is in the discovery scopes; anything else is known
        // only once signed in.
        QCOMPARE(cell(3, ColumnActivation), QStringLiteral("Not activated"));
        QCOMPARE(cell(0, ColumnActivation), QStringLiteral("Unknown until sign-in"));
    }

    void signInForAllFillsTheRows()
    {
        m_notices.clear();
        signIn(QStringLiteral("Admin12345"), false, {0, 1, 2, 3});
        for (int n = 0; n < 3; ++n) {
            QCOMPARE(cell(n, ColumnProtocol), QStringLiteral("ONVIF, signed in"));
            QVERIFY(!cell(n, ColumnSerialNumber).isEmpty());
            QVERIFY(!cell(n, ColumnMac).isEmpty());
            QVERIFY(!cell(n, ColumnIpv4Mask).isEmpty());
            QVERIFY(!cell(n, ColumnIpv4Dhcp).isEmpty());
            QVERIFY(cell(n, ColumnPort).isEmpty()); // never a device port
        }
        // The factory-state device has no user to sign in as: not read,
        // and the user is told so once, as such.
        QCOMPARE(cell(3, ColumnProtocol), QStringLiteral("ONVIF"));
        QCOMPARE(m_notices.size(), 1);
        QVERIFY2(m_notices.first().contains(QStringLiteral("not activated")), qPrintable(m_notices.first()));
    }

    void ownWrongPasswordIsRefusedAndSaidSo()
    {
        // The checked device signs in with a password of its own, wrong.
        for (int row = 0; row < model()->rowCount(); ++row)
            model()->setCheckState(row, row == rowOf(1) ? Qt::Checked : Qt::Unchecked);
        m_notices.clear();
        signIn(QStringLiteral("Wrong12345"), true, {1});
        QCOMPARE(cell(1, ColumnProtocol), QStringLiteral("ONVIF, sign-in refused"));
        QCOMPARE(m_notices.size(), 1);
        QVERIFY2(m_notices.first().contains(QStringLiteral("refused")), qPrintable(m_notices.first()));
        // The others keep what they were read with.
        QCOMPARE(cell(0, ColumnProtocol), QStringLiteral("ONVIF, signed in"));
    }

    void directedProbeTakesOnlyGoodInput()
    {
        // A reversed range is refused in the dialog and nothing is sent; a
        // good one goes out (the discovery runs: no notice).
        QStringList complaints;
        m_page->setProbeDialogRunner([&complaints](OnvifProbeDialog &dialog) {
            dialog.setText(QStringLiteral("127.61.0.4-127.61.0.1"));
            dialog.confirmButton()->click();
            complaints << dialog.complaint();
            if (dialog.result() == QDialog::Accepted)
                return dialog.result();
            dialog.setText(QStringLiteral("127.61.0.1-127.61.0.4"));
            dialog.confirmButton()->click();
            return dialog.result();
        });
        m_notices.clear();
        m_page->onOnvifProbe();
        QCOMPARE(complaints.size(), 1);
        QVERIFY(!complaints.first().isEmpty());
        QVERIFY2(m_notices.isEmpty(), qPrintable(m_notices.join(QLatin1Char('\n'))));
        QCOMPARE(model()->rowCount(), kDevices);
    }
};

QTEST_MAIN(TestOnvifRows)
#include "tst_onvifrows.moc"
