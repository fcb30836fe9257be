// The right-hand pane with ONVIF rows: what it refuses and says for them,
// and a batch that mixes them with devices of ours, each kind answered by
// its own DeviceOperations (stand-ins here: the pane must need nothing of
// either kind but DeviceKinds).

#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "netparam/deviceactivepage.h"
#include "netparam/devicemodifypage.h"
#include "netparam/devicemodifyresultpage.h"
#include "netparam/devicenetparapage.h"
#include "operations/devicekinds.h"
#include "operations/deviceoperations.h"
#include "tests/netparam/resultrows.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <cstring>
#include <memory>

using namespace VoskTool;

namespace {

// One kind of device as the runner sees it: claims keys by a rule and
// records what it was sent.
class RecordingKind final : public DeviceOperations
{
public:
    explicit RecordingKind(bool onvif) : m_onvif(onvif) {}
    QString kindName() const override { return m_onvif ? QStringLiteral("fake-onvif") : QStringLiteral("fake-ours"); }
    bool handles(const DeviceKey &device) const override { return device.isOnvif() == m_onvif; }
    OperationOutcome setNetParams(const DeviceKey &device, const QByteArray &, const NetParams &params) override
    {
        const QMutexLocker locker(&m_mutex);
        m_sent.append({device, params});
        return OperationOutcome::done();
    }
    OperationOutcome activate(const DeviceKey &, const QByteArray &) override { return OperationOutcome::done(); }
    OperationOutcome changePassword(const DeviceKey &, const QByteArray &, const QByteArray &) override
    {
        return OperationOutcome::done();
    }
    OperationOutcome exportKey(const DeviceKey &, bool, QByteArray *) override
    {
        return {OperationStatus::Unsupported, 0};
    }
    OperationOutcome resetPassword(const DeviceKey &, const ResetPasswdParam &) override
    {
        return {OperationStatus::Unsupported, 0};
    }
    OperationOutcome restoreDefaultPassword(const DeviceKey &, const QByteArray &) override
    {
        return {OperationStatus::Unsupported, 0};
    }
    QVector<OperationJob> sent() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_sent;
    }

private:
    bool m_onvif;
    mutable QMutex m_mutex;
    QVector<OperationJob> m_sent;
};

VOSK_DEVICE_INFO ours(int n)
{
    VOSK_DEVICE_INFO r;
    std::memset(&r, 0, sizeof r);
    VOSK::setFieldBytes(r.serialNumber, "SN" + QByteArray::number(n));
    VOSK::setFieldBytes(r.mac, "aa:" + QByteArray::number(n));
    VOSK::setFieldBytes(r.ipv4Address, "192.168.1." + QByteArray::number(10 + n));
    VOSK::setFieldBytes(r.ipv4Mask, "255.255.255.0");
    VOSK::setFieldBytes(r.ipv4Gateway, "192.168.1.1");
    r.addressInfoValid = 1;
    r.port = 8000;
    r.httpPort = 80;
    r.capabilities = VOSK_CAP_DHCP;
    return r;
}

VOSK_DEVICE_INFO onvif(int n, quint8 flags, int notActivated = 0)
{
    VOSK_DEVICE_INFO r = VOSK::makeOnvifRecord(QStringLiteral("urn:uuid:pane-%1").arg(n));
    VOSK::setFieldBytes(r.ipv4Address, "192.168.1." + QByteArray::number(100 + n));
    r.httpPort = 8080;
    r.notActivated = static_cast<quint8>(notActivated);
    if (flags & VOSK::OnvifSignedIn) {
        VOSK::setFieldBytes(r.serialNumber, "ONVIF" + QByteArray::number(n));
        VOSK::setFieldBytes(r.ipv4Mask, "255.255.255.0");
        VOSK::setFieldBytes(r.ipv4Gateway, "192.168.1.1");
        r.addressInfoValid = 1;
        if (flags & VOSK::OnvifIpv6Reported) {
            VOSK::setFieldBytes(r.ipv6Address, "2001:db8::5");
            VOSK::setFieldBytes(r.ipv6Gateway, "2001:db8::1");
            r.ipv6PrefixLength = 64;
        }
    }
    VOSK::setOnvifFlags(r, flags);
    return r;
}

DeviceInfo infoOf(const VOSK_DEVICE_INFO &r)
{
    DeviceInfo info;
    info.ipv4Address = VOSK::fieldText(r.ipv4Address);
    info.serialNumber = VOSK::fieldText(r.serialNumber);
    info.mac = VOSK::fieldText(r.mac);
    info.endpointId = VOSK::onvifEndpointId(r);
    return info;
}

} // namespace

class TestOnvifPane final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DeviceModifyPage> m_pane;
    QStringList m_messages;

    template <typename T>
    T *child(const char *name) const
    {
        return m_pane->findChild<T *>(QLatin1String(name));
    }
    QVector<DeviceInfo> select(ModifyPage kind, const QVector<VOSK_DEVICE_INFO> &records)
    {
        QVector<DeviceInfo> infos;
        for (const VOSK_DEVICE_INFO &r : records) {
            DeviceStore::instance()->addDevice(r);
            infos << infoOf(r);
        }
        m_pane->onCurrentSelectionChange(kind, infos);
        return infos;
    }

private Q_SLOTS:
    void init()
    {
        DeviceStore::instance()->clear();
        m_messages.clear();
        m_pane = std::make_unique<DeviceModifyPage>();
        m_pane->setMessenger([this](const PaneMessage &m) { m_messages << m.text; });
        m_pane->setConfirmWait(0);
    }

    void cleanup() { m_pane.reset(); }

    void singleOnvifRow_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("modifiable");
        QTest::addColumn<bool>("ipv6");
        QTest::newRow("before sign-in") << 0 << false << false;
        QTest::newRow("sign-in refused") << int(VOSK::OnvifSignInRefused) << false << false;
        QTest::newRow("signed in, IPv4 only") << int(VOSK::OnvifSignedIn) << true << false;
        QTest::newRow("signed in, IPv6 reported") << int(VOSK::OnvifSignedIn | VOSK::OnvifIpv6Reported) << true << true;
    }

    void singleOnvifRow()
    {
        QFETCH(int, flags);
        QFETCH(bool, modifiable);
        QFETCH(bool, ipv6);
        QSignalSpy forget(m_pane.get(), &DeviceModifyPage::signalForgetPasswordRequested);
        select(ModifySingle, {onvif(1, static_cast<quint8>(flags))});

        // No device port in the standard: empty, greyed, saying why.
        auto *port = child<QLineEdit>("m_lineEditPort");
        QVERIFY(port->text().isEmpty());
        QVERIFY(!port->isEnabled());
        QVERIFY(!port->toolTip().isEmpty());
        QCOMPARE(child<QLineEdit>("m_lineEditIpAddress")->isEnabled(), modifiable);
        QCOMPARE(child<QLineEdit>("m_lineEditIPV6Address")->isEnabled(), ipv6);
        QCOMPARE(child<QPushButton>("m_btnModify")->isEnabled(), modifiable);
        // Recovery is not offered, and the pane says why.
        QVERIFY(!child<QPushButton>("m_btnLostPassword")->isVisibleTo(m_pane.get()));
        QVERIFY(child<QLabel>("m_labelOnvifNote")->isVisibleTo(m_pane.get()));
        m_pane->onForgetPassword();
        QCOMPARE(forget.count(), 0);
        QCOMPARE(m_messages.size(), 1);

        // Modify before sign-in is refused whatever the form holds.
        if (!modifiable) {
            child<QLineEdit>("m_lineEditAdminPassword")->setText(QStringLiteral("Admin12345"));
            QSignalSpy results(m_pane.get(), &DeviceModifyPage::signalModifyResult);
            m_pane->onModifyNetParas();
            QCOMPARE(m_messages.size(), 2);
            QCOMPARE(results.count(), 0);
        }

        // A device of ours afterwards gets its recovery back.
        select(ModifySingle, {ours(1)});
        QVERIFY(child<QPushButton>("m_btnLostPassword")->isVisibleTo(m_pane.get()));
        QVERIFY(!child<QLabel>("m_labelOnvifNote")->isVisibleTo(m_pane.get()));
        QVERIFY(child<QLineEdit>("m_lineEditPort")->isEnabled());
    }

    // The same device sent again after it signed in (the table does so on
    // each report of a checked device): the form and Modify open, the
    // note goes, and what was typed stays.
    void paneFollowsASignIn()
    {
        const QVector<DeviceInfo> selected = select(ModifySingle, {onvif(1, 0)});
        QVERIFY(!child<QPushButton>("m_btnModify")->isEnabled());
        const QString signInFirst = QStringLiteral("Sign in to this ONVIF device first");
        QVERIFY(child<QLabel>("m_labelOnvifNote")->text().contains(signInFirst));
        child<QLineEdit>("m_lineEditAdminPassword")->setText(QStringLiteral("typed"));

        DeviceStore::instance()->updateDevice(onvif(1, VOSK::OnvifSignedIn));
        m_pane->onCurrentSelectionChange(ModifySingle, selected);
        QVERIFY(child<QPushButton>("m_btnModify")->isEnabled());
        QVERIFY(child<QLineEdit>("m_lineEditIpAddress")->isEnabled());
        QCOMPARE(child<QLineEdit>("m_lineEditSubnetMask")->text(), QStringLiteral("255.255.255.0"));
        QVERIFY(!child<QLabel>("m_labelOnvifNote")->text().contains(signInFirst));
        QCOMPARE(child<QLineEdit>("m_lineEditAdminPassword")->text(), QStringLiteral("typed"));
    }

    void singleOnvifGateways_data()
    {
        QTest::addColumn<bool>("v6");        // the IPv6 gateway, else the IPv4 one
        QTest::addColumn<bool>("deviceHas"); // the device reports one
        QTest::addColumn<QString>("refusal"); // empty: sent
        QTest::newRow("no IPv4 gateway, left empty") << false << false << QString();
        QTest::newRow("IPv4 gateway cleared") << false << true << QStringLiteral("Gateway can not be empty");
        QTest::newRow("no IPv6 gateway, left empty") << true << false << QString();
        QTest::newRow("IPv6 gateway cleared") << true << true << QStringLiteral("IPv6 gateway not correct.");
    }

    // An ONVIF device may have no gateway: its empty field is sent as it
    // is (the kind then keeps none). One it has is not cleared that way.
    void singleOnvifGateways()
    {
        QFETCH(bool, v6);
        QFETCH(bool, deviceHas);
        QFETCH(QString, refusal);
        auto onvifKind = std::make_shared<RecordingKind>(true);
        DeviceKinds::instance().add(onvifKind);
        const auto removeKind = qScopeGuard([&] { DeviceKinds::instance().remove(onvifKind.get()); });
        VOSK_DEVICE_INFO row = onvif(1, VOSK::OnvifSignedIn | VOSK::OnvifIpv6Reported);
        if (!deviceHas && v6)
            VOSK::setFieldText(row.ipv6Gateway, QString());
        else if (!deviceHas)
            VOSK::setFieldText(row.ipv4Gateway, QString());
        select(ModifySingle, {row});
        auto *gateway = child<QLineEdit>(v6 ? "m_lineEditIPV6Gateway" : "m_lineEditGateway");
        QVERIFY(gateway->isEnabled());
        gateway->clear();
        child<QLineEdit>("m_lineEditAdminPassword")->setText(QStringLiteral("Admin12345"));
        m_pane->onModifyNetParas();
        QTRY_VERIFY(!m_pane->isBusy());
        if (!refusal.isEmpty()) {
            QCOMPARE(m_messages.value(0), refusal);
            QVERIFY(onvifKind->sent().isEmpty());
            return;
        }
        QCOMPARE(onvifKind->sent().size(), 1);
        const NetParams sent = onvifKind->sent().first().params;
        QVERIFY((v6 ? sent.ipv6Gateway : sent.ipv4Gateway).isEmpty());
        QCOMPARE(sent.ipv4Address, QStringLiteral("192.168.1.101"));
    }

    void makersActivationGetsNoForm()
    {
        select(ActivateSingle, {onvif(1, VOSK::OnvifMakersActivation, 1)});
        QVERIFY(!child<QFrame>("m_frameActive")->isVisibleTo(m_pane.get()));
        QVERIFY(!child<QFrame>("m_frameModifyPara")->isVisibleTo(m_pane.get()));
        // A factory-state ONVIF device the standard can activate: the form.
        select(ActivateBatch, {onvif(1, VOSK::OnvifMakersActivation, 1), onvif(2, 0, 1)});
        QVERIFY(child<QFrame>("m_frameActive")->isVisibleTo(m_pane.get()));
    }

    void mixedBatchGoesToEachKind()
    {
        auto oursKind = std::make_shared<RecordingKind>(false);
        auto onvifKind = std::make_shared<RecordingKind>(true);
        DeviceKinds::instance().add(oursKind);
        DeviceKinds::instance().add(onvifKind);
        const auto removeKinds = qScopeGuard([&] {
            DeviceKinds::instance().remove(oursKind.get());
            DeviceKinds::instance().remove(onvifKind.get());
        });
        const QVector<DeviceInfo> devices =
            select(ModifyBatch, {ours(1), onvif(1, VOSK::OnvifSignedIn), ours(2), onvif(2, VOSK::OnvifSignedIn)});
        // The batch's device port would reach only some of them.
        QVERIFY(!child<QLineEdit>("m_lineEditPort")->isEnabled());

        QVector<DeviceInfo> results;
        connect(m_pane.get(), &DeviceModifyPage::signalModifyResult, this,
                [&results](const QVector<DeviceInfo> &r) { results = r; });
        QList<TestSupport::ResultRow> rows;
        m_pane->setDialogRunner([&rows](QDialog &dialog) {
            if (auto *page = qobject_cast<DeviceModifyResultPage *>(&dialog))
                rows = TestSupport::resultRows(*page, DeviceModifyResultPage::ColumnSerial);
            return int(QDialog::Accepted);
        });
        child<QLineEdit>("m_lineEditStartIp")->setText(QStringLiteral("192.168.1.200"));
        child<QLineEdit>("m_lineEditSubnetMask")->setText(QStringLiteral("255.255.255.0"));
        child<QLineEdit>("m_lineEditGateway")->setText(QStringLiteral("192.168.1.1"));
        child<QLineEdit>("m_lineEditHttpPort")->setText(QStringLiteral("81"));
        child<QLineEdit>("m_lineEditAdminPassword")->setText(QStringLiteral("Admin12345"));
        m_pane->onModifyNetParas();
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));

        QCOMPARE(results.size(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(results.at(i).key(), devices.at(i).key());
        const QVector<OperationJob> sentOurs = oursKind->sent();
        const QVector<OperationJob> sentOnvif = onvifKind->sent();
        QCOMPARE(sentOurs.size(), 2);
        QCOMPARE(sentOnvif.size(), 2);
        // Numbered in table order across both kinds; each keeps its port.
        auto sentTo = [](const QVector<OperationJob> &jobs, const DeviceKey &key) {
            for (const OperationJob &job : jobs) {
                if (job.device == key)
                    return job.params;
            }
            return NetParams();
        };
        QCOMPARE(sentTo(sentOurs, devices.at(0).key()).ipv4Address, QStringLiteral("192.168.1.200"));
        QCOMPARE(sentTo(sentOnvif, devices.at(1).key()).ipv4Address, QStringLiteral("192.168.1.201"));
        QCOMPARE(sentTo(sentOurs, devices.at(2).key()).ipv4Address, QStringLiteral("192.168.1.202"));
        QCOMPARE(sentTo(sentOnvif, devices.at(3).key()).ipv4Address, QStringLiteral("192.168.1.203"));
        QCOMPARE(sentTo(sentOurs, devices.at(0).key()).port, 8000);
        QCOMPARE(sentTo(sentOnvif, devices.at(1).key()).port, 0);
        QCOMPARE(sentTo(sentOnvif, devices.at(1).key()).httpPort, 81);
        // The kinds took it and no device reported it: of either kind, not
        // seen since, and no green check.
        QCOMPARE(rows.size(), 4);
        for (const TestSupport::ResultRow &row : std::as_const(rows))
            QVERIFY2(!row.ok && row.result.startsWith(QLatin1String("sent, not seen since (")), qPrintable(row.result));
    }

    // A password too weak for the devices checked states the range that
    // applies to them: ONVIF devices alone take up to 64 characters, ours
    // (alone or among them) 16. Both forms that set a new password.
    void weakPasswordStatesTheRange_data()
    {
        QTest::addColumn<bool>("change"); // the change-password form, else the activation
        QTest::addColumn<QVector<VOSK_DEVICE_INFO>>("rows");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("range");

        const QString ourRange = QStringLiteral("Valid password range [8-16]. ");
        const QString onvifRange = QStringLiteral("Valid password range [8-64]. ");
        VOSK_DEVICE_INFO inactive = ours(1);
        inactive.notActivated = 1;
        const QVector<VOSK_DEVICE_INFO> activateOurs{inactive}, activateOnvif{onvif(1, 0, 1)},
            activateMixed{inactive, onvif(1, 0, 1)};
        const QVector<VOSK_DEVICE_INFO> changeOurs{ours(1)}, changeOnvif{onvif(1, VOSK::OnvifSignedIn)},
            changeMixed{ours(1), onvif(1, VOSK::OnvifSignedIn)};
        QTest::newRow("activation, ours only") << false << activateOurs << "12345678" << ourRange;
        QTest::newRow("activation, ONVIF only") << false << activateOnvif << "12345678" << onvifRange;
        QTest::newRow("activation, mixed") << false << activateMixed << "12345678" << ourRange;
        QTest::newRow("activation, ONVIF only, too short") << false << activateOnvif << "Ab1#" << onvifRange;
        QTest::newRow("change, ours only") << true << changeOurs << "abcdefgh" << ourRange;
        QTest::newRow("change, ONVIF only") << true << changeOnvif << "abcdefghijklmnopqrst" << onvifRange;
        QTest::newRow("change, mixed") << true << changeMixed << "abcdefgh" << ourRange;
    }

    void weakPasswordStatesTheRange()
    {
        QFETCH(bool, change);
        QFETCH(QVector<VOSK_DEVICE_INFO>, rows);
        QFETCH(QString, password);
        QFETCH(QString, range);
        const ModifyPage kind = change ? (rows.size() > 1 ? ModifyBatch : ModifySingle)
                                       : (rows.size() > 1 ? ActivateBatch : ActivateSingle);
        select(kind, rows);
        if (change) {
            child<QPushButton>("m_btnShowChangePassword")->click();
            child<QLineEdit>("m_lineEditOldPassword")->setText(QStringLiteral("Admin12345"));
        }
        QWidget *form = child<QFrame>(change ? "m_frameChangePassword" : "m_frameActive");
        form->findChild<QLineEdit *>(QStringLiteral("m_lineEditNewPassword"))->setText(password);
        form->findChild<QLineEdit *>(QStringLiteral("m_lineEditConfirmPassword"))->setText(password);
        child<QPushButton>(change ? "m_btnChangePassword" : "m_btnActive")->click();
        QCOMPARE(m_messages.size(), 1);
        QVERIFY2(m_messages.first().startsWith(range), qPrintable(m_messages.first()));
        QVERIFY(m_messages.first().contains(QLatin1String("at least two kinds")));
    }

    void batchWithAnOnvifRowNotSignedInSendsNothing()
    {
        auto onvifKind = std::make_shared<RecordingKind>(true);
        DeviceKinds::instance().add(onvifKind);
        const auto removeKind = qScopeGuard([&] { DeviceKinds::instance().remove(onvifKind.get()); });
        select(ModifyBatch, {onvif(1, VOSK::OnvifSignedIn), onvif(2, 0)});
        QVERIFY(child<QLabel>("m_labelOnvifNote")->isVisibleTo(m_pane.get()));
        child<QLineEdit>("m_lineEditAdminPassword")->setText(QStringLiteral("Admin12345"));
        m_pane->onModifyNetParas();
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(onvifKind->sent().isEmpty());
    }
};

QTEST_MAIN(TestOnvifPane)
#include "tst_onvifpane.moc"
