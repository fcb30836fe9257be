#include "aptui/ctableheaderview.h"
#include "aptui/ctableview.h"
#include "devicelist/devicecolumn.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "devicelist/onvifsignindialog.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "operations/onvifdevices.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "aptui/identityquestion.h"
#include "tests/double/voskdouble.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

using namespace VoskTool;

namespace {

VOSK_DEVICE_INFO makeRecord(const QByteArray &serial, const QByteArray &mac, int notActivated = 0,
                            const QByteArray &ip = "192.168.1.64", int httpPort = 80)
{
    VOSK_DEVICE_INFO r;
    std::memset(&r, 0, sizeof r);
    VOSK::setFieldBytes(r.serialNumber, serial);
    VOSK::setFieldBytes(r.mac, mac);
    VOSK::setFieldBytes(r.ipv4Address, ip);
    VOSK::setFieldBytes(r.ipv4Mask, "255.255.255.0");
    VOSK::setFieldBytes(r.deviceDescription, "IPC-" + serial);
    r.port = 8000;
    r.httpPort = static_cast<quint16>(httpPort);
    r.notActivated = static_cast<quint8>(notActivated);
    return r;
}

DeviceInfo infoOf(const QString &id, const VOSK_DEVICE_INFO &r)
{
    DeviceInfo info;
    info.id = id;
    info.deviceType = VOSK::fieldText(r.deviceDescription);
    info.ipv4Address = VOSK::fieldText(r.ipv4Address);
    info.serialNumber = VOSK::fieldText(r.serialNumber);
    info.mac = VOSK::fieldText(r.mac);
    return info;
}

VOSK_DEVICE_INFO makeOnvif(int number, quint8 flags = 0, int notActivated = 0)
{
    VOSK_DEVICE_INFO r = VOSK::makeOnvifRecord(QStringLiteral("urn:uuid:onvif-%1").arg(number));
    VOSK::setFieldBytes(r.ipv4Address, "127.1.0." + QByteArray::number(number));
    VOSK::setFieldBytes(r.deviceDescription, "Camera " + QByteArray::number(number));
    r.httpPort = 8080;
    r.notActivated = static_cast<quint8>(notActivated);
    VOSK::setOnvifFlags(r, flags);
    if (flags & VOSK::OnvifSignedIn) {
        VOSK::setFieldBytes(r.serialNumber, "ONVIF-SN-" + QByteArray::number(number));
        VOSK::setFieldBytes(r.mac, "02:00:00:00:00:0" + QByteArray::number(number));
    }
    return r;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDeviceDisplayPage final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_host;
    DeviceDisplayPage *m_page = nullptr;
    std::unique_ptr<QSignalSpy> m_spy;

    QString configPath() const { return m_dir.filePath(QStringLiteral("ColumnConfig.xml")); }
    DeviceInfoModel *model() const { return m_page->model(); }

    void check(int row, bool on)
    {
        model()->setCheckState(row, on ? Qt::Checked : Qt::Unchecked);
    }

    // The last selection sent: kind and devices.
    ModifyPage lastKind() const { return m_spy->constLast().at(0).value<ModifyPage>(); }
    QVector<DeviceInfo> lastDevices() const { return m_spy->constLast().at(1).value<QVector<DeviceInfo>>(); }

    QString countText() const
    {
        return m_page->findChild<QLabel *>(QStringLiteral("m_labelDeviceCountValue"))->text();
    }

    bool actionButtonsEnabled() const
    {
        const auto *reset = m_page->findChild<QPushButton *>(QStringLiteral("m_btnConfigReset"));
        const auto *exportInfo = m_page->findChild<QPushButton *>(QStringLiteral("m_btnExportDeviceInfo"));
        const auto *exportFile = m_page->findChild<QPushButton *>(QStringLiteral("m_btnConfigExportFile"));
        Q_ASSERT(reset->isEnabled() == exportInfo->isEnabled() && reset->isEnabled() == exportFile->isEnabled());
        return reset->isEnabled();
    }

    // The logical column (DeviceColumn) the page's model shows at `column`.
    int columnAt(int column) const
    {
        for (int id = 0; id < DeviceColumnCount; ++id) {
            if (m_page->model()->columnIndex(id) == column)
                return id;
        }
        return -1;
    }

private Q_SLOTS:
    void init()
    {
        VoskDouble::reset();
        DeviceStore::instance()->clear();
        QFile::remove(configPath());
        QVERIFY(QFile::copy(QStringLiteral(VOSKTOOL_SHIPPED_COLUMN_CONFIG), configPath()));
        QFile::setPermissions(configPath(), QFile::ReadOwner | QFile::WriteOwner);
        m_host = std::make_unique<QWidget>();
        m_page = new DeviceDisplayPage(configPath(), m_host.get());
        m_spy = std::make_unique<QSignalSpy>(m_page, &DeviceDisplayPage::signalCurrentSelectionModelChange);
    }

    void cleanup()
    {
        m_spy.reset();
        m_host.reset();
        VOSK::VoskHandler::instance()->stop();
    }

    void construction()
    {
        TarnGUIToolkit::CTableView *table = m_page->tableView();
        QCOMPARE(table->objectName(), QStringLiteral("m_tableViewVosk"));
        QCOMPARE(m_page->objectName(), QStringLiteral("DeviceDisplayPage"));
        QCOMPARE(countText(), QStringLiteral("0"));
        QVERIFY(!actionButtonsEnabled());
        QVERIFY(m_page->findChild<QPushButton *>(QStringLiteral("m_btnRefreshDeviceInfo"))->isEnabled());
        QVERIFY(m_page->findChild<QPushButton *>(QStringLiteral("m_btnConfigReset"))
                    ->styleSheet().contains(QStringLiteral("#f74248")));
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(!table->showGrid());
        QVERIFY(table->isSortingEnabled());
        QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), model()->columnIndex(ColumnId));
        QCOMPARE(table->focusPolicy(), Qt::StrongFocus); // reached by Tab (keyboardChecksRows)
        QCOMPARE(m_spy->count(), 0);
    }

    void clickingARowCheckBox()
    {
        m_host->resize(900, 400);
        m_page->resize(900, 400);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        m_page->onDeviceLogin(makeRecord("SN1", "m1"));
        TarnGUIToolkit::CTableView *table = m_page->tableView();
        const QModelIndex cell = model()->index(0, model()->columnIndex(ColumnCheck));
        QStyleOptionViewItem option;
        option.initFrom(table->viewport());
        option.rect = table->visualRect(cell);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = table->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, table);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, box.center());
        QCOMPARE(m_page->checkedRows(), QVector<int>{0});
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(lastKind(), ModifySingle);
    }

    // A device is listed once per key; another that announces the same MAC
    // or serial number gets its own row, and both are marked while both
    // are there.
    void sharedIdentityListsBothAndMarksThem_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QByteArray>("mac");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<bool>("onvif"); // the second is an ONVIF row whose sign-in shows serial and MAC
        QTest::newRow("same device again") << QByteArray("SN1") << QByteArray("m1") << 1 << false << false;
        QTest::newRow("same MAC, other serial") << QByteArray("SN-other") << QByteArray("m1") << 2 << true << false;
        QTest::newRow("same serial, other MAC") << QByteArray("SN1") << QByteArray("m9") << 2 << true << false;
        QTest::newRow("unrelated") << QByteArray("SN2") << QByteArray("m2") << 2 << false << false;
        QTest::newRow("ONVIF, our serial") << QByteArray("SN1") << QByteArray("02:00:00:00:00:09") << 2 << true
                                           << true;
        QTest::newRow("ONVIF, unrelated") << QByteArray("SN7") << QByteArray("02:00:00:00:00:09") << 2 << false
                                          << true;
    }

    void sharedIdentityListsBothAndMarksThem()
    {
        QFETCH(QByteArray, serial);
        QFETCH(QByteArray, mac);
        QFETCH(int, rows);
        QFETCH(bool, marked);
        QFETCH(bool, onvif);
        const VOSK_DEVICE_INFO first = makeRecord("SN1", "m1");
        VOSK_DEVICE_INFO second = onvif ? VOSK::makeOnvifRecord(QStringLiteral("urn:uuid:x")) : makeRecord(serial, mac);
        m_page->onDeviceLogin(first);
        // The second arrives in a run of reports, as the queue delivers them.
        m_page->onDevicesLogin({second, makeRecord("SN3", "m3")});
        if (onvif) {
            QVERIFY(!model()->isAmbiguous(model()->rowOf(DeviceKey::fromRecord(first))));
            VOSK::setFieldBytes(second.serialNumber, serial);
            VOSK::setFieldBytes(second.mac, mac);
            m_page->onDeviceUpdate(second);
        }
        QCOMPARE(model()->rowCount(), rows + 1);
        QCOMPARE(DeviceStore::instance()->count(), rows + 1);
        QCOMPARE(countText(), QString::number(rows + 1));
        const int firstRow = model()->rowOf(DeviceKey::fromRecord(first));
        const int secondRow = model()->rowOf(DeviceKey::fromRecord(second));
        QCOMPARE(model()->isAmbiguous(firstRow), marked);
        QCOMPARE(model()->isAmbiguous(secondRow), marked);
        QVERIFY(!model()->isAmbiguous(model()->rowOf(DeviceKey{QStringLiteral("SN3"), QStringLiteral("m3")})));
        const QModelIndex macCell = model()->index(firstRow, model()->columnIndex(ColumnMac));
        QCOMPARE(model()->data(macCell, Qt::ToolTipRole).isValid(), marked);
        QCOMPARE(model()->data(macCell, Qt::ForegroundRole).value<QBrush>().color() == QColor(Qt::red), marked);
        if (rows == 1)
            return;
        // The other one leaves: the one that stays stands alone again.
        m_page->onDeviceLogout(second);
        QVERIFY(!model()->isAmbiguous(model()->rowOf(DeviceKey::fromRecord(first))));
        QVERIFY(!model()->data(model()->index(model()->rowOf(DeviceKey::fromRecord(first)), 0), Qt::ToolTipRole)
                     .isValid());
    }

    // Config Export with a device of a shared identity checked: the
    // question comes first, and a "no" sends nothing.
    void sharedIdentityExportAsksFirst()
    {
        m_page->onDeviceLogin(makeRecord("SN1", "m1"));
        m_page->onDeviceLogin(makeRecord("SN2", "m1"));
        check(1, true);
        QString asked;
        IdentityQuestion::setAsker([&asked](QWidget *, const QString &text) {
            asked = text;
            return false;
        });
        m_page->onConfigExportFile();
        IdentityQuestion::setAsker({});
        QVERIFY(asked.contains(QStringLiteral("SN2")) && asked.contains(QStringLiteral("SN1")));
        QCOMPARE(VoskDouble::callCount(QStringLiteral("VOSK_GetDeviceConfig")), 0);
        QCOMPARE(VoskDouble::callCount(QStringLiteral("VOSK_GetDeviceConfig_ByPair")), 0);
    }

    void selectionSequence()
    {
        const VOSK_DEVICE_INFO a = makeRecord("SNA", "ma", 0, "10.0.0.1");
        const VOSK_DEVICE_INFO b = makeRecord("SNB", "mb", 1, "10.0.0.2");
        m_page->onDeviceLogin(a);
        m_page->onDeviceLogin(b);

        check(0, true);
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(lastKind(), ModifySingle);
        QCOMPARE(lastDevices(), QVector<DeviceInfo>{infoOf(QStringLiteral("001"), a)});
        QVERIFY(actionButtonsEnabled());

        check(1, true);
        QCOMPARE(m_spy->count(), 2);
        QCOMPARE(lastKind(), ModifyMixed);
        QCOMPARE(lastDevices(), (QVector<DeviceInfo>{infoOf(QStringLiteral("001"), a), infoOf(QStringLiteral("002"), b)}));

        check(0, false);
        QCOMPARE(m_spy->count(), 3);
        QCOMPARE(lastKind(), ActivateSingle);
        QCOMPARE(lastDevices(), QVector<DeviceInfo>{infoOf(QStringLiteral("002"), b)});

        check(1, false);
        QCOMPARE(m_spy->count(), 4);
        QCOMPARE(lastKind(), ModifySingle);
        QVERIFY(lastDevices().isEmpty());
        QVERIFY(!actionButtonsEnabled());

        // Changes of other cells send nothing.
        m_page->onDeviceUpdate(makeRecord("SNA", "ma", 1, "10.0.0.9"));
        QCOMPARE(m_spy->count(), 4);
    }

    void selectionKinds_data()
    {
        QTest::addColumn<QList<int>>("states"); // notActivated per device; -1: not in the store
        QTest::addColumn<int>("kind");          // -1: nothing sent for the last check
        QTest::newRow("one activated") << QList<int>{0} << int(ModifySingle);
        QTest::newRow("one not activated") << QList<int>{1} << int(ActivateSingle);
        QTest::newRow("one unknown state") << QList<int>{2} << -1;
        QTest::newRow("one missing from the store") << QList<int>{-1} << int(ModifySingle);
        QTest::newRow("all activated") << QList<int>{0, 0, 0} << int(ModifyBatch);
        QTest::newRow("none activated") << QList<int>{1, 1} << int(ActivateBatch);
        QTest::newRow("mixed") << QList<int>{1, 0} << int(ModifyMixed);
        QTest::newRow("unknown states only") << QList<int>{2, 5} << -1;
        QTest::newRow("unknown state takes no part") << QList<int>{2, 1} << int(ActivateBatch);
        QTest::newRow("missing counts as activated") << QList<int>{-1, 1} << int(ModifyMixed);
    }

    void selectionKinds()
    {
        QFETCH(QList<int>, states);
        QFETCH(int, kind);
        QVector<VOSK_DEVICE_INFO> records;
        for (int i = 0; i < states.size(); ++i) {
            const QByteArray n = QByteArray::number(i);
            records << makeRecord("SN" + n, "m" + n, qMax(0, states.at(i)));
            m_page->onDeviceLogin(records.constLast());
            if (states.at(i) < 0)
                DeviceStore::instance()->removeDevice(records.constLast());
        }
        for (int i = 0; i + 1 < states.size(); ++i)
            check(i, true);
        const qsizetype before = m_spy->count();
        check(static_cast<int>(states.size()) - 1, true);
        QVERIFY(actionButtonsEnabled());
        if (kind < 0) {
            QCOMPARE(m_spy->count(), before);
            return;
        }
        QCOMPARE(m_spy->count(), before + 1);
        QCOMPARE(int(lastKind()), kind);
        const QVector<DeviceInfo> devices = lastDevices();
        QCOMPARE(devices.size(), states.size());
        for (int i = 0; i < devices.size(); ++i)
            QCOMPARE(devices.at(i), infoOf(QString::asprintf("%03d", i + 1), records.at(i)));
    }

    void headerCheckAllSendsOnce()
    {
        for (int i = 0; i < 1000; ++i) {
            const QByteArray n = QByteArray::number(i);
            m_page->onDeviceLogin(makeRecord("SN" + n, "m" + n));
        }
        auto *header = static_cast<TarnGUIToolkit::CTableHeaderView *>(m_page->tableView()->horizontalHeader());
        const int column = model()->columnIndex(ColumnCheck);
        QCOMPARE(header->columnCheckState(column), Qt::Unchecked);
        header->setColumnCheckState(column, Qt::Checked);
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(lastKind(), ModifyBatch);
        QCOMPARE(lastDevices().size(), 1000);
        // The box follows rows that come and go after a check-all.
        QCOMPARE(header->columnCheckState(column), Qt::Checked);
        m_page->onDevicesLogin({makeRecord("SNX", "mx")});
        QCOMPARE(header->columnCheckState(column), Qt::PartiallyChecked);
        m_page->onDeviceLogout(makeRecord("SNX", "mx"));
        QCOMPARE(header->columnCheckState(column), Qt::Checked);
        m_spy->clear();
        header->setColumnCheckState(column, Qt::Unchecked);
        QCOMPARE(m_spy->count(), 1);
        QVERIFY(lastDevices().isEmpty());
        QCOMPARE(header->columnCheckState(column), Qt::Unchecked);
        check(3, true);
        m_page->onDeviceLogout(makeRecord("SN3", "m3"));
        QCOMPARE(header->columnCheckState(column), Qt::Unchecked);
    }

    void offlineAlwaysResendsSelection()
    {
        const VOSK_DEVICE_INFO a = makeRecord("SNA", "ma");
        m_page->onDeviceLogin(a);
        m_page->onDeviceLogin(makeRecord("SNB", "mb"));
        m_page->onDeviceLogin(makeRecord("SNC", "mc"));
        check(0, true);
        m_spy->clear();

        m_page->onDeviceLogout(makeRecord("SNC", "mc"));
        QCOMPARE(countText(), QStringLiteral("2"));
        QCOMPARE(DeviceStore::instance()->count(), 2);
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(lastKind(), ModifySingle);
        QCOMPARE(lastDevices(), QVector<DeviceInfo>{infoOf(QStringLiteral("001"), a)});

        m_page->onDeviceLogout(a);
        QCOMPARE(countText(), QStringLiteral("1"));
        QCOMPARE(m_spy->count(), 2);
        QVERIFY(lastDevices().isEmpty());
        QVERIFY(!actionButtonsEnabled());
        // The remaining row was renumbered.
        QCOMPARE(model()->text(0, ColumnId), QStringLiteral("001"));
    }

    // A batch of new addresses: devices say goodbye and come back (ONVIF
    // ones by Bye and Hello), the rows after them renumber, reports and a
    // sort reorder the rest. Each check stays on its device throughout,
    // and the pane is told of every change of the checked devices.
    void checkFollowsItsDeviceThroughARenumberingBatch()
    {
        QVector<VOSK_DEVICE_INFO> records;
        for (int i = 0; i < 5; ++i)
            records << makeRecord("SN" + QByteArray::number(i), "m" + QByteArray::number(i), 0,
                                  "192.168.1." + QByteArray::number(20 - i));
        records << makeOnvif(1, VOSK::OnvifSignedIn);
        m_page->onDevicesLogin(records);
        auto keyOf = [](const VOSK_DEVICE_INFO &r) { return DeviceKey::fromRecord(r); };
        const QSet<DeviceKey> picked{keyOf(records[1]), keyOf(records[3]), keyOf(records[5])};
        for (const DeviceKey &key : picked)
            model()->setCheckState(model()->rowOf(key), Qt::Checked);
        auto checkedNow = [this] {
            const QVector<DeviceKey> keys = m_page->checkedDevices();
            return QSet<DeviceKey>(keys.cbegin(), keys.cend());
        };

        VOSK_DEVICE_INFO moved = records[1];
        VOSK::setFieldBytes(moved.ipv4Address, "10.0.0.1");
        VOSK_DEVICE_INFO onvifMoved = records[5];
        VOSK::setFieldBytes(onvifMoved.ipv4Address, "10.0.0.2");
        m_page->onDeviceLogout(records[1]);
        m_page->onDeviceLogout(records[5]);
        // SN2 took SN1's ID, SN3 (checked) SN2's.
        QCOMPARE(model()->text(model()->rowOf(keyOf(records[3])), ColumnId), QStringLiteral("003"));
        QCOMPARE(model()->checkState(model()->rowOf(keyOf(records[2]))), Qt::Unchecked);
        QCOMPARE(lastDevices().size(), 1);
        m_page->onDeviceLogin(moved);
        m_page->onDevicesLogin({onvifMoved});
        QCOMPARE(checkedNow(), picked);
        QCOMPARE(model()->text(model()->rowOf(keyOf(moved)), ColumnId), QStringLiteral("005"));
        QCOMPARE(lastDevices().size(), 3);

        m_page->onDeviceUpdate(records[0]);
        model()->sort(model()->columnIndex(ColumnIpv4Address));
        QCOMPARE(checkedNow(), picked);
        // A report of a checked device reaches the pane, once per burst.
        m_spy->clear();
        m_page->onDeviceUpdate(moved);
        m_page->onDeviceUpdate(records[3]);
        QTRY_COMPARE(m_spy->count(), 1);
        QCOMPARE(lastDevices().size(), 3);

        // Once the user picks again, a device away comes back unchecked.
        m_page->onDeviceLogout(records[3]);
        check(model()->rowOf(keyOf(records[0])), true);
        m_page->onDeviceLogin(records[3]);
        QCOMPARE(model()->checkState(model()->rowOf(keyOf(records[3]))), Qt::Unchecked);
    }

    // Without a mouse: Tab reaches the table, the arrows move, Space checks
    // the current row and nothing else.
    void keyboardChecksRows()
    {
        m_page->onDeviceLogin(makeRecord("A", "a"));
        m_page->onDeviceLogin(makeRecord("B", "b"));
        m_host->show();
        m_host->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
        TarnGUIToolkit::CTableView *table = m_page->tableView();
        table->setFocus();
        QTest::keyClick(table, Qt::Key_Down);
        QTest::keyClick(table, Qt::Key_Space);
        QCOMPARE(m_page->checkedDevices(), QVector<DeviceKey>{DeviceKey(QStringLiteral("B"), QStringLiteral("b"))});
        QTest::keyClick(table, Qt::Key_Space);
        QVERIFY(m_page->checkedDevices().isEmpty());
    }

    void refreshClearsAndInquires()
    {
        m_page->onDeviceLogin(makeRecord("SNA", "ma"));
        m_page->onDeviceLogin(makeRecord("SNB", "mb"));
        check(0, true);
        check(1, true);
        m_spy->clear();
        VoskDouble::reset();

        m_page->findChild<QPushButton *>(QStringLiteral("m_btnRefreshDeviceInfo"))->click();
        QCOMPARE(model()->rowCount(), 0);
        QCOMPARE(DeviceStore::instance()->count(), 0);
        QCOMPARE(countText(), QStringLiteral("0"));
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(lastKind(), ModifySingle);
        QVERIFY(lastDevices().isEmpty());
        QVERIFY(!actionButtonsEnabled());
        QStringList order;
        for (const VoskDouble::Call &call : VoskDouble::calls())
            order << call.function;
        QCOMPARE(order, (QStringList{QStringLiteral("VOSK_Clearup"), QStringLiteral("VOSK_SendInquiry")}));

        // The devices come back unchecked; the next check sends at once.
        m_page->onDeviceLogin(makeRecord("SNA", "ma"));
        QCOMPARE(m_page->checkedRows(), QVector<int>{});
        check(0, true);
        QCOMPARE(m_spy->count(), 2);
        QCOMPARE(lastKind(), ModifySingle);
    }

    void resultsRefreshSucceededRows()
    {
        const VOSK_DEVICE_INFO a = makeRecord("SNA", "ma", 1, "10.0.0.1");
        const VOSK_DEVICE_INFO b = makeRecord("SNB", "mb", 1, "10.0.0.2");
        m_page->onDeviceLogin(a);
        m_page->onDeviceLogin(b);
        check(0, true);
        QCOMPARE(lastKind(), ActivateSingle);

        // The pane writes the store, then reports: only successes refresh.
        DeviceStore *store = DeviceStore::instance();
        QVERIFY(store->setActivated(QStringLiteral("SNA"), QStringLiteral("ma"), 0));
        QVERIFY(store->setActivated(QStringLiteral("SNB"), QStringLiteral("mb"), 0));
        DeviceInfo okA = infoOf(QStringLiteral("001"), a);
        okA.result = QStringLiteral("Succeed");
        DeviceInfo failedB = infoOf(QStringLiteral("002"), b);
        failedB.result = QStringLiteral("Error2009:others");
        DeviceInfo unknown = okA;
        unknown.mac = QStringLiteral("gone");
        const qsizetype before = m_spy->count();
        m_page->onDevicesActiveResult({okA, failedB, unknown});
        QCOMPARE(model()->text(0, ColumnActivation), QStringLiteral("Activated"));
        QCOMPARE(model()->text(1, ColumnActivation), QStringLiteral("Not activated"));
        QCOMPARE(m_spy->count(), before + 1);
        QCOMPARE(lastKind(), ModifySingle);

        // Modification results refresh rows and send nothing.
        VOSK_NET_PARAM param;
        std::memset(&param, 0, sizeof param);
        QVERIFY(store->getNetParam(QStringLiteral("SNA"), QStringLiteral("ma"), param));
        VOSK::setFieldBytes(param.ipv4Address, "10.0.0.77");
        QVERIFY(store->setNetParam(QStringLiteral("SNA"), QStringLiteral("ma"), param));
        m_page->onDevicesModifyResult({okA});
        QCOMPARE(model()->text(0, ColumnIpv4Address), QStringLiteral("10.0.0.77"));
        QCOMPARE(model()->checkState(0), Qt::Checked);
        QCOMPARE(m_spy->count(), before + 1);
    }

    void headerDrag()
    {
        m_host->resize(900, 400);
        m_host->show();
        QHeaderView *header = m_page->tableView()->horizontalHeader();
        const QByteArray before = readFile(configPath());

        m_page->onHeaderPress(0);
        QVERIFY(!header->sectionsMovable());
        m_page->onHeaderPress(1);
        QVERIFY(!header->sectionsMovable());
        m_page->onHeaderPress(5);
        QVERIFY(header->sectionsMovable());

        // Onto the check or ID column's place: undone, file untouched.
        header->moveSection(5, 0);
        QCOMPARE(header->visualIndex(5), 5);
        QCOMPARE(header->logicalIndex(0), 0);
        header->moveSection(5, 1);
        QCOMPARE(header->visualIndex(5), 5);
        QCOMPARE(readFile(configPath()), before);

        const int moved = columnAt(5);
        const int passed = columnAt(8);
        header->moveSection(5, 8);
        QCOMPARE(header->visualIndex(5), 8);
        DeviceInfoModel reloaded(configPath());
        QCOMPARE(reloaded.columnIndex(moved), 8);
        QCOMPARE(reloaded.columnIndex(passed), 7);
    }

    void headerDragWithTheMouse()
    {
        m_host->resize(1200, 400);
        m_page->resize(1200, 400);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        QHeaderView *header = m_page->tableView()->horizontalHeader();
        QWidget *viewport = header->viewport();
        const int y = header->height() / 2;
        auto centreOf = [&](int visual) {
            return QPoint(header->sectionViewportPosition(header->logicalIndex(visual))
                              + header->sectionSize(header->logicalIndex(visual)) / 2,
                          y);
        };
        auto drag = [&](int fromVisual, const QPoint &to) {
            const QPoint from = centreOf(fromVisual);
            QTest::mousePress(viewport, Qt::LeftButton, {}, from);
            QTest::mouseMove(viewport, from + QPoint(10, 0));
            QTest::mouseMove(viewport, to);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
        };
        // Dropped onto the ID column's place: back where it was.
        drag(5, QPoint(header->sectionViewportPosition(1) + 5, y));
        QCOMPARE(header->visualIndex(5), 5);
        QCOMPARE(header->logicalIndex(1), 1);
        // The ID column itself cannot be picked up.
        drag(1, centreOf(6));
        QCOMPARE(header->visualIndex(1), 1);
        // An ordinary drag moves and is saved.
        const int moved = columnAt(3);
        drag(3, centreOf(6) + QPoint(header->sectionSize(6) / 2 - 2, 0));
        QVERIFY(header->visualIndex(3) > 3);
        DeviceInfoModel reloaded(configPath());
        QCOMPARE(reloaded.columnIndex(moved), header->visualIndex(3));
    }

    void doubleClickOpensWebPage_data()
    {
        QTest::addColumn<QByteArray>("ip");
        QTest::addColumn<int>("httpPort");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("url"); // empty: nothing opened
        QTest::newRow("port N/A is 80") << QByteArray("192.168.1.64") << 0 << int(ColumnIpv4Address)
                                        << QStringLiteral("http://192.168.1.64:80");
        QTest::newRow("http port") << QByteArray("10.1.2.3") << 8080 << int(ColumnIpv4Address)
                                   << QStringLiteral("http://10.1.2.3:8080");
        QTest::newRow("other column") << QByteArray("10.1.2.3") << 80 << int(ColumnMac) << QString();
        QTest::newRow("check column") << QByteArray("10.1.2.3") << 80 << int(ColumnCheck) << QString();
        QTest::newRow("address with a path") << QByteArray("1.2.3.4/x") << 80 << int(ColumnIpv4Address) << QString();
        QTest::newRow("host name") << QByteArray("example.com") << 80 << int(ColumnIpv4Address) << QString();
        QTest::newRow("empty address") << QByteArray() << 80 << int(ColumnIpv4Address) << QString();
    }

    void doubleClickOpensWebPage()
    {
        QFETCH(QByteArray, ip);
        QFETCH(int, httpPort);
        QFETCH(int, column);
        QFETCH(QString, url);
        QList<QUrl> opened;
        m_page->setUrlOpener([&opened](const QUrl &u) {
            opened << u;
            return true;
        });
        m_page->onDeviceLogin(makeRecord("SN1", "m1", 0, ip, httpPort));
        Q_EMIT m_page->tableView()->doubleClicked(model()->index(0, model()->columnIndex(column)));
        if (url.isEmpty())
            QVERIFY(opened.isEmpty());
        else
            QCOMPARE(opened, QList<QUrl>{QUrl(url)});
    }

    void pointingHandOverAddress()
    {
        m_host->resize(900, 400);
        m_page->resize(900, 400);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        m_page->onDeviceLogin(makeRecord("SN1", "m1"));
        TarnGUIToolkit::CTableView *table = m_page->tableView();
        QWidget *viewport = table->viewport();
        auto moveTo = [&](int logical) {
            const QPoint at = table->visualRect(model()->index(0, model()->columnIndex(logical))).center();
            QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(viewport, &move);
        };
        moveTo(ColumnIpv4Address);
        QCOMPARE(viewport->cursor().shape(), Qt::PointingHandCursor);
        moveTo(ColumnDeviceType);
        QCOMPARE(viewport->cursor().shape(), Qt::ArrowCursor);
    }

    void sortByHeaderClick()
    {
        m_host->resize(900, 400);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
        m_page->onDeviceLogin(makeRecord("A", "a", 0, "192.168.1.10"));
        m_page->onDeviceLogin(makeRecord("B", "b", 0, "192.168.1.9"));
        m_page->onDeviceLogin(makeRecord("C", "c", 0, "10.0.0.1"));
        QHeaderView *header = m_page->tableView()->horizontalHeader();
        const int column = model()->columnIndex(ColumnIpv4Address);
        const QPoint at(header->sectionViewportPosition(column) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), column);
        QStringList order;
        for (int row = 0; row < model()->rowCount(); ++row)
            order << model()->text(row, ColumnSerialNumber);
        const QStringList ascending{QStringLiteral("C"), QStringLiteral("B"), QStringLiteral("A")};
        const QStringList descending{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
        QCOMPARE(order, header->sortIndicatorOrder() == Qt::AscendingOrder ? ascending : descending);
    }

    void reportsFromTheHandler()
    {
        VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
        connect(handler, &VOSK::VoskHandler::signalDeviceOnline, m_page, &DeviceDisplayPage::onDeviceLogin);
        connect(handler, &VOSK::VoskHandler::signalDeviceOffline, m_page, &DeviceDisplayPage::onDeviceLogout);
        connect(handler, &VOSK::VoskHandler::signalDeviceUpdate, m_page, &DeviceDisplayPage::onDeviceUpdate);
        QVERIFY(handler->start());

        VOSK_DEVICE_INFO r = makeRecord("SN1", "m1");
        r.event = VOSK_EVENT_ONLINE;
        VoskDouble::fire(r);
        QTRY_COMPARE(model()->rowCount(), 1);
        r.event = VOSK_EVENT_UPDATED;
        VOSK::setFieldBytes(r.ipv4Address, "10.9.9.9");
        VoskDouble::fire(r);
        QTRY_COMPARE(model()->text(0, ColumnIpv4Address), QStringLiteral("10.9.9.9"));
        r.event = VOSK_EVENT_OFFLINE;
        VoskDouble::fire(r);
        QTRY_COMPARE(model()->rowCount(), 0);
        QCOMPARE(countText(), QStringLiteral("0"));
        QCOMPARE(m_spy->count(), 1);
    }

    // Under the program's table style sheet, every column opens wide enough
    // for its whole title (sort arrow included) and for the widest values
    // devices report, so nothing is cut or wrapped at the first start; the
    // title is also the header's tool tip, for a column the user narrows.
    void columnsOpenWideEnough()
    {
        QFile sheet(QStringLiteral(":/TarnDesk/Qss/Qss/TarnGUIToolkit/TableView.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        auto host = std::make_unique<QWidget>();
        auto *page = new DeviceDisplayPage(configPath(), host.get());

        VOSK_DEVICE_INFO r = makeRecord("VC-2120A000100012", "02-5e-01-00-ff-0f", 1, "192.168.100.200");
        VOSK::setFieldBytes(r.deviceDescription, "VC-2120A");
        VOSK::setFieldBytes(r.ipv4Mask, "255.255.255.128");
        VOSK::setFieldBytes(r.ipv4Gateway, "192.168.100.254");
        VOSK::setFieldBytes(r.softwareVersion, "V5.5.7 build 260507");
        VOSK::setFieldBytes(r.dspVersion, "V7.3 build 261128");
        VOSK::setFieldBytes(r.startTime, "2026-12-06 23:59:58");
        VOSK::setFieldBytes(r.ipv6Address, "fe80::5e:1:ff0f");
        VOSK::setFieldBytes(r.ipv6Gateway, "fe80::1");
        r.ipv6PrefixLength = 64;
        r.addressInfoValid = 1;
        r.capabilities = VOSK_CAP_IPV6 | VOSK_CAP_IPV6_MODIFIABLE | VOSK_CAP_DHCP;
        r.channelCount = 16;
        r.port = 65535;
        page->model()->addDevice(r);

        TarnGUIToolkit::CTableView *table = page->tableView();
        const QAbstractItemView *view = table;
        QHeaderView *header = table->horizontalHeader();
        for (int logical = ColumnId; logical < DeviceColumnCount; ++logical) {
            const int column = page->model()->columnIndex(logical);
            const QString title = page->model()->headerData(column, Qt::Horizontal).toString();
            const int width = table->columnWidth(column);
            QVERIFY2(width >= header->sectionSizeHint(column),
                     qPrintable(QStringLiteral("%1: %2 < title %3").arg(title).arg(width).arg(header->sectionSizeHint(column))));
            QVERIFY2(width >= view->sizeHintForColumn(column),
                     qPrintable(QStringLiteral("%1: %2 < cells %3").arg(title).arg(width).arg(view->sizeHintForColumn(column))));
            QCOMPARE(page->model()->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString(), title);
        }
        host.reset();
        qApp->setStyleSheet(QString());
    }

    // However narrow the window makes the page, the buttons keep room for
    // their whole text under the program's button style (padding included).
    void onvifRowsFromTheOnvifSide()
    {
        OnvifDevices onvif;
        m_page->listenTo(&onvif);
        m_page->onDeviceLogin(makeRecord("SNA", "ma"));
        // The ONVIF side reports on the GUI thread: delivered at once.
        Q_EMIT onvif.signalDeviceOnline(makeOnvif(1));
        Q_EMIT onvif.signalDeviceOnline(makeOnvif(1)); // heard again: one row
        QCOMPARE(model()->rowCount(), 2);
        QCOMPARE(countText(), QStringLiteral("2"));
        const DeviceKey key = DeviceKey::fromRecord(makeOnvif(1));
        QCOMPARE(model()->rowOf(key), 1);

        // Checked before sign-in: the key is the endpoint, the texts empty.
        check(1, true);
        QCOMPARE(lastKind(), ModifySingle);
        DeviceInfo info = lastDevices().value(0);
        QCOMPARE(info.endpointId, key.endpointId);
        QVERIFY(info.serialNumber.isEmpty());
        QCOMPARE(info.key(), key);

        // Signed in: the same row shows what was read; the selection, sent
        // again, carries the shown serial number beside the endpoint.
        Q_EMIT onvif.signalDeviceUpdate(makeOnvif(1, VOSK::OnvifSignedIn));
        QCOMPARE(model()->rowCount(), 2);
        QCOMPARE(model()->text(1, ColumnSerialNumber), QStringLiteral("ONVIF-SN-1"));
        check(0, true);
        QCOMPARE(lastKind(), ModifyBatch);
        info = lastDevices().value(1);
        QCOMPARE(info.serialNumber, QStringLiteral("ONVIF-SN-1"));
        QCOMPARE(info.key(), key);
        QCOMPARE(lastDevices().value(0).key(), (DeviceKey{QStringLiteral("SNA"), QStringLiteral("ma")}));

        // A factory-state ONVIF device joins the activation choice as ours.
        Q_EMIT onvif.signalDeviceOnline(makeOnvif(2, 0, 1));
        check(0, false);
        check(1, false);
        check(2, true);
        QCOMPARE(lastKind(), ActivateSingle);

        // Refresh: our devices are asked again, the ONVIF rows stay as their
        // discovery keeps them (signed in still), unchecked.
        m_page->onManualUpdate();
        QCOMPARE(model()->rowCount(), 2);
        QCOMPARE(countText(), QStringLiteral("2"));
        QCOMPARE(model()->text(model()->rowOf(key), ColumnSerialNumber), QStringLiteral("ONVIF-SN-1"));
        QCOMPARE(m_page->checkedRows(), QVector<int>{});
        QCOMPARE(DeviceStore::instance()->count(), 2);

        Q_EMIT onvif.signalDeviceOffline(makeOnvif(1));
        QCOMPARE(model()->rowOf(key), -1);
        QCOMPARE(DeviceStore::instance()->indexOf(key), -1);
    }

    void onvifSignInFromThePage()
    {
        OnvifDevices onvif;
        m_page->listenTo(&onvif);
        m_page->onDeviceLogin(makeRecord("SNA", "ma"));
        for (int n = 1; n <= 3; ++n)
            Q_EMIT onvif.signalDeviceOnline(makeOnvif(n));
        check(0, true); // ours: never part of an ONVIF sign-in
        check(2, true);
        QStringList notices;
        m_page->setNotifier([&notices](const QString &text, bool) { notices << text; });
        bool offeredChecked = false;
        bool refusedEmptyName = false;
        m_page->setSignInDialogRunner([&](OnvifSignInDialog &dialog) {
            offeredChecked = dialog.checkedOnly();
            dialog.setUserName(QStringLiteral("  "));
            dialog.confirmButton()->click();
            refusedEmptyName = dialog.result() != QDialog::Accepted && !dialog.complaint().isEmpty();
            dialog.setUserName(QStringLiteral("operator"));
            dialog.setPassword(QStringLiteral("secret"));
            dialog.confirmButton()->click();
            return dialog.result();
        });
        m_page->onOnvifSignIn();
        QVERIFY(offeredChecked); // checked ONVIF rows are the first choice
        QVERIFY(refusedEmptyName);
        if (m_page->isSigningIn()) {
            // The ONVIF side answers later: refusals are summed up once.
            const QVector<DeviceKey> all = m_page->onvifDevices();
            Q_EMIT onvif.signInFinished(all.at(0), {OperationStatus::Denied, 0});
            Q_EMIT onvif.signInDone();
            QCOMPARE(notices.size(), 1);
        }
        QVERIFY(!m_page->isSigningIn());

        // No ONVIF row at all: nothing to ask, and the user is told why.
        for (int n = 1; n <= 3; ++n)
            Q_EMIT onvif.signalDeviceOffline(makeOnvif(n));
        notices.clear();
        m_page->onOnvifSignIn();
        QCOMPARE(notices.size(), 1);
    }

    void recoveryLeavesOnvifRowsOut()
    {
        OnvifDevices onvif;
        m_page->listenTo(&onvif);
        Q_EMIT onvif.signalDeviceOnline(makeOnvif(1, VOSK::OnvifSignedIn));
        QStringList notices;
        m_page->setNotifier([&notices](const QString &text, bool) { notices << text; });
        QSignalSpy exports(m_page, &DeviceDisplayPage::signalConfigExportRequested);
        QSignalSpy resets(m_page, &DeviceDisplayPage::signalConfigResetRequested);
        check(0, true);
        m_page->findChild<QPushButton *>(QStringLiteral("m_btnConfigExportFile"))->click();
        m_page->findChild<QPushButton *>(QStringLiteral("m_btnConfigReset"))->click();
        QCOMPARE(exports.count(), 0);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(notices.size(), 2);

        // Beside a device of ours: it alone goes on.
        m_page->onDeviceLogin(makeRecord("SNA", "ma"));
        check(1, true);
        m_page->findChild<QPushButton *>(QStringLiteral("m_btnConfigExportFile"))->click();
        QCOMPARE(exports.count(), 1);
        QCOMPARE(exports.constLast().at(0).value<QVector<DeviceKey>>(),
                 (QVector<DeviceKey>{{QStringLiteral("SNA"), QStringLiteral("ma")}}));
    }

    void buttonsKeepTheirText()
    {
        QFile sheet(QStringLiteral(":/TarnDesk/Qss/Qss/TarnGUIToolkit/Common.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
        QWidget host;
        auto *page = new DeviceDisplayPage(configPath(), &host);
        host.resize(200, 400);
        page->resize(200, 400);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        for (const char *name : {"m_btnConfigReset", "m_btnExportDeviceInfo", "m_btnRefreshDeviceInfo",
                                 "m_btnConfigExportFile"}) {
            auto *button = page->findChild<QPushButton *>(QLatin1String(name));
            QVERIFY2(button->width() >= button->sizeHint().width(), name);
            QVERIFY2(button->width() >= 90, name);
        }
        qApp->setStyleSheet(QString());
    }
};

QTEST_MAIN(TestDeviceDisplayPage)
#include "tst_devicedisplaypage.moc"
