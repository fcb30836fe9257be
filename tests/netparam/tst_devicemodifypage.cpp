// The right-hand pane end to end: the main window with the real discovery
// library and a simulated fleet on loopback, the pane driven through its
// widgets, its messages and result list through their seams.

#include "aptui/guitextcodec.h"
#include "aptui/multistatelineedit.h"
#include "devicelist/devicecolumn.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/devicestore.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "netparam/devicemodifyresultpage.h"
#include "operations/devicekinds.h"
#include "operations/voskdeviceoperations.h"
#include "shell/vosktoolmainpage.h"
#include "tests/vosk/voskfixture.h"

#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTextCodec>

#include <functional>
#include <optional>

using namespace VoskTool;
using VoskNet::WireRecord;

namespace {

constexpr quint64 kSeed = 11;
constexpr int kCount = 96;
const QByteArray kAdminPassword = QByteArrayLiteral("Admin12345");
const QString kNewPassword = QStringLiteral("Abcd1234!x");
constexpr int kFixedFirst = 0x9D00, kFixedLast = 0x9FFF;

struct Seen
{
    int kind;
    QString text;
    QString field; // object name of the marked field, empty when none
};

// Our devices, each answer held back a while: a second kind of device
// as the pane sees one, and time for Cancel to come first.
class SlowKind final : public DeviceOperations
{
public:
    explicit SlowKind(QSet<QString> serials) : m_serials(std::move(serials)) {}
    QString kindName() const override { return QStringLiteral("slow"); }
    bool handles(const DeviceKey &device) const override { return m_serials.contains(device.serialNumber); }
    OperationOutcome setNetParams(const DeviceKey &device, const QByteArray &password, const NetParams &params) override
    {
        QThread::msleep(150);
        return m_vosk.setNetParams(device, password, params);
    }
    OperationOutcome activate(const DeviceKey &device, const QByteArray &password) override
    {
        return m_vosk.activate(device, password);
    }
    OperationOutcome changePassword(const DeviceKey &device, const QByteArray &oldPassword,
                                    const QByteArray &newPassword) override
    {
        return m_vosk.changePassword(device, oldPassword, newPassword);
    }
    OperationOutcome exportKey(const DeviceKey &device, bool newStyle, QByteArray *key) override
    {
        return m_vosk.exportKey(device, newStyle, key);
    }
    OperationOutcome resetPassword(const DeviceKey &device, const ResetPasswdParam &block) override
    {
        return m_vosk.resetPassword(device, block);
    }
    OperationOutcome restoreDefaultPassword(const DeviceKey &device, const QByteArray &code) override
    {
        return m_vosk.restoreDefaultPassword(device, code);
    }

private:
    QSet<QString> m_serials;
    VoskDeviceOperations m_vosk;
};

struct ResultRow
{
    QString ipv4, serial, result;
    bool ok; // the success icon (no text)
};

} // namespace

class tst_DeviceModifyPage final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    VoskTest::Devsim m_devsim;
    std::vector<VoskSim::SimDevice> m_fleet;
    std::optional<VOSKToolMainPage> m_window;
    QList<Seen> m_messages;
    QList<ResultRow> m_results;
    QStringList m_resultCaptions;
    QSet<int> m_used; // fleet indices a test has changed
    // How the result list is answered (exec()'s result); by default 1.
    std::function<int(DeviceModifyResultPage &)> m_resultAnswer;

    QString statePath() const { return m_dir.filePath(QStringLiteral("state.json")); }
    DeviceModifyPage *pane() const { return qobject_cast<DeviceModifyPage *>(m_window->rightPane()); }
    DeviceDisplayPage *table() const { return m_window->deviceDisplayPage(); }
    DeviceInfoModel *model() const { return table()->model(); }
    const WireRecord &record(int index) const { return m_fleet[std::size_t(index)].record(); }
    template <typename T>
    T *child(const char *name) const
    {
        return pane()->findChild<T *>(QLatin1String(name));
    }
    QString edit(const char *name) const { return child<QLineEdit>(name)->text(); }
    void setText(const char *name, const QString &text)
    {
        QLineEdit *line = child<QLineEdit>(name);
        line->clear();
        // Key clicks are ASCII only.
        bool ascii = true;
        for (const QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii)
            QTest::keyClicks(line, text);
        else
            line->setText(text);
    }

    // Unused fleet devices that match, in fleet order.
    QList<int> pick(int n, const std::function<bool(const WireRecord &)> &pred)
    {
        QList<int> found;
        for (int i = 0; i < kCount && found.size() < n; ++i) {
            if (!m_used.contains(i) && pred(record(i))) {
                found << i;
                m_used.insert(i);
            }
        }
        return found;
    }

    int rowOf(int index) const
    {
        return model()->rowOf(QString::fromLatin1(record(index).serialNumber), QString::fromLatin1(record(index).mac));
    }
    QString cell(int index, int column) const
    {
        return model()->text(rowOf(index), column);
    }

    // Checks exactly these fleet devices in the table.
    void check(const QList<int> &indices)
    {
        for (int row = 0; row < model()->rowCount(); ++row)
            model()->setCheckState(row, Qt::Unchecked);
        for (int index : indices) {
            const int row = rowOf(index);
            QVERIFY2(row >= 0, record(index).serialNumber.constData());
            model()->setCheckState(row, Qt::Checked);
        }
        QCOMPARE(pane()->selection().size(), indices.size());
    }

    QJsonObject stateOf(int index) const
    {
        QFile file(statePath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QJsonObject devices = QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("devices")).toObject();
        return devices.value(QString::fromLatin1(record(index).serialNumber)).toObject();
    }

    void click(const char *button)
    {
        m_messages.clear();
        m_results.clear();
        m_resultCaptions.clear();
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }

    // A batch's port fields are empty, and checked, while all devices share
    // the value.
    void fillSharedPorts()
    {
        if (child<QLineEdit>("m_lineEditPort")->isEnabled())
            setText("m_lineEditPort", QStringLiteral("8000"));
        if (child<QLineEdit>("m_lineEditHttpPort")->isEnabled())
            setText("m_lineEditHttpPort", QStringLiteral("80"));
    }

    QString lastMessage() const { return m_messages.isEmpty() ? QString() : m_messages.last().text; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        VoskTest::pinToLoopback(47261, "239.255.86.161");
        m_fleet = VoskTest::fleet(kSeed, kCount);
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                                QString::number(kSeed), QStringLiteral("--state"), statePath()}));
        // Passwords go to the devices as Latin-1 here.
        TarnGUIToolkit::InitGuiTextCodec(QTextCodec::codecForName("ISO-8859-1"));
        m_window.emplace();
        m_window->resize(1400, 860);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(&*m_window));
        QVERIFY(VOSK::VoskHandler::instance()->isStarted());
        pane()->setMessenger([this](const PaneMessage &message) {
            m_messages.append({message.kind, message.text, message.field ? message.field->objectName() : QString()});
            // What the bubble does to the field, so that marks can be seen.
            if (message.field && message.hint && message.kind == MessageError) {
                message.field->setLineEditState(aptui::MultiStateLineEdit::ERROR);
                message.hint->setText(QStringLiteral("!"));
            }
        });
        pane()->setDialogRunner([this](QDialog &dialog) {
            auto *page = qobject_cast<DeviceModifyResultPage *>(&dialog);
            if (!page)
                return 0;
            QStandardItemModel *rows = page->model();
            m_resultCaptions << page->findChild<QLabel *>(QStringLiteral("m_labelDeviceAll"))->text()
                             << page->findChild<QLabel *>(QStringLiteral("m_labelDeviceFail"))->text()
                             << rows->headerData(DeviceModifyResultPage::ColumnResult, Qt::Horizontal).toString();
            for (int row = 0; row < rows->rowCount(); ++row) {
                QStandardItem *result = rows->item(row, DeviceModifyResultPage::ColumnResult);
                m_results.append({rows->item(row, DeviceModifyResultPage::ColumnIpv4)->text(),
                                  rows->item(row, DeviceModifyResultPage::ColumnSerial)->text(), result->text(),
                                  result->data(DeviceModifyResultPage::SucceededRole).toBool()});
            }
            return m_resultAnswer ? m_resultAnswer(*page) : 1;
        });
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), kCount, 15000);
    }

    void cleanupTestCase()
    {
        m_window.reset();
        VOSK::VoskHandler::instance()->stop();
        m_devsim.kill();
    }

    void paneStates_data()
    {
        QTest::addColumn<int>("activated");
        QTest::addColumn<int>("inactive");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("activeFrame");
        QTest::addColumn<bool>("modifyFrame");
        QTest::addColumn<bool>("modifyEnabled");
        QTest::addColumn<bool>("startIpShown");

        QTest::newRow("nothing") << 0 << 0 << 0 << false << true << false << false;
        QTest::newRow("one activated") << 1 << 0 << 0 << false << true << true << false;
        QTest::newRow("two activated") << 2 << 0 << 0 << false << true << true << true;
        QTest::newRow("one inactive") << 0 << 1 << 1 << true << false << false << false;
        QTest::newRow("two inactive") << 0 << 2 << 1 << true << false << false << false;
        QTest::newRow("mixed") << 1 << 1 << 1 << false << false << false << false;
    }

    void paneStates()
    {
        QFETCH(int, activated);
        QFETCH(int, inactive);
        QFETCH(int, page);
        QFETCH(bool, activeFrame);
        QFETCH(bool, modifyFrame);
        QFETCH(bool, modifyEnabled);
        QFETCH(bool, startIpShown);

        QList<int> devices;
        int wantOn = activated, wantOff = inactive;
        for (int i = 0; i < kCount && (wantOn > 0 || wantOff > 0); ++i) {
            const bool on = !record(i).notActivated;
            if (on && wantOn > 0) {
                devices << i;
                --wantOn;
            } else if (!on && wantOff > 0) {
                devices << i;
                --wantOff;
            }
        }
        // A mark left from before is cleared by every change of state (the
        // table sends a selection when the number of checked rows changes).
        check(devices.isEmpty() ? QList<int>{0} : QList<int>{});
        child<aptui::MultiStateLineEdit>("m_lineEditAdminPassword")->setLineEditState(aptui::MultiStateLineEdit::ERROR);
        check(devices);

        QCOMPARE(child<QStackedWidget>("m_stackedWidget")->currentIndex(), page);
        QCOMPARE(!child<QFrame>("m_frameActive")->isHidden(), activeFrame);
        QCOMPARE(!child<QFrame>("m_frameModifyPara")->isHidden(), modifyFrame);
        if (modifyFrame)
            QCOMPARE(child<QPushButton>("m_btnModify")->isEnabled(), modifyEnabled);
        QCOMPARE(!child<QWidget>("m_widgetStartIp")->isHidden(), startIpShown);
        if (activated + inactive != 0 && inactive == 0)
            QCOMPARE(child<QPushButton>("m_btnLostPassword")->isHidden(), activated > 1);
        if (activated == 1 && inactive == 0) {
            QCOMPARE(edit("m_lineEditSerialNumber"), QString::fromLatin1(record(devices.first()).serialNumber));
            QCOMPARE(edit("m_lineEditIpAddress"), QString::fromLatin1(record(devices.first()).ipv4Address));
        }
        if (activated && inactive) {
            // Nothing can act on a mixed selection.
            QVERIFY(!child<QPushButton>("m_btnActive")->isVisibleTo(pane()));
            QVERIFY(!child<QPushButton>("m_btnModify")->isVisibleTo(pane()));
        } else {
            QCOMPARE(child<aptui::MultiStateLineEdit>("m_lineEditAdminPassword")->state(),
                     aptui::MultiStateLineEdit::NORMAL);
        }
        check({});
    }

    void fieldChecksStopAtTheFirstAndMarkIt()
    {
        const QList<int> one = pick(1, [](const WireRecord &r) {
            return !r.notActivated && r.addressInfoValid && !r.dhcpEnabled && r.httpPort != 0;
        });
        QCOMPARE(one.size(), 1);
        check(one);
        const QJsonObject before = stateOf(one.first());

        click("m_btnModify");
        QCOMPARE(lastMessage(), QStringLiteral("Sorry, please enter the administrator password."));

        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        setText("m_lineEditIpAddress", QStringLiteral("192.168.1.0"));
        setText("m_lineEditPort", QStringLiteral("1999"));
        click("m_btnModify");
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages.first().text, QStringLiteral("IP Address not correct."));
        QCOMPARE(m_messages.first().field, QStringLiteral("m_lineEditIpAddress"));
        auto *ip = child<aptui::MultiStateLineEdit>("m_lineEditIpAddress");
        QCOMPARE(ip->state(), aptui::MultiStateLineEdit::ERROR);

        // Typing alone leaves the mark; a press in the field clears it.
        setText("m_lineEditIpAddress", QStringLiteral("192.168.1.77"));
        QCOMPARE(ip->state(), aptui::MultiStateLineEdit::ERROR);
        QTest::mousePress(ip, Qt::LeftButton);
        QCOMPARE(ip->state(), aptui::MultiStateLineEdit::NORMAL);
        QVERIFY(child<QLabel>("m_labelHintIpAddress")->text().isEmpty());

        click("m_btnModify");
        QCOMPARE(lastMessage(), QStringLiteral("Device port ranges from 2000 to 65535."));
        QCOMPARE(m_messages.first().field, QStringLiteral("m_lineEditPort"));
        // A password the 8-bit conversion cannot carry is refused, not altered.
        setText("m_lineEditPort", QStringLiteral("8000"));
        setText("m_lineEditAdminPassword", QStringLiteral("Admin\u4e2d12345"));
        click("m_btnModify");
        QCOMPARE(m_messages.first().field, QStringLiteral("m_lineEditAdminPassword"));
        QVERIFY(lastMessage().contains(QStringLiteral("cannot be sent")));
        QCOMPARE(stateOf(one.first()), before);
        check({});
    }

    void activationChecks_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message");

        QTest::newRow("empty") << "" << "Abcd1234" << "The password can not be empty.";
        QTest::newRow("mismatch before rating") << "1234" << "12345" << "The password you typed do not match.";
        QTest::newRow("one class") << "12345678" << "12345678"
                                   << "Valid password range [8-16]. You can use a combination of numbers,lowercase, "
                                      "uppercase and special character for your password with at least two kinds of "
                                      "them contained.";
        QTest::newRow("not Latin-1") << "Abcd1234\u4e2d" << "Abcd1234\u4e2d"
                                     << "The password contains a character that cannot be sent to the device.";
    }

    // Each refusal marks the new password and sends nothing.
    void activationChecks()
    {
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        int inactive = -1;
        for (int i = 0; i < kCount && inactive < 0; ++i) {
            if (record(i).notActivated && !m_used.contains(i))
                inactive = i;
        }
        QVERIFY(inactive >= 0);
        check({inactive});
        setText("m_lineEditNewPassword", password);
        setText("m_lineEditConfirmPassword", confirmation);
        click("m_btnActive");
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(lastMessage(), message);
        QCOMPARE(m_messages.first().field, QStringLiteral("m_lineEditNewPassword"));
        QCOMPARE(cell(inactive, ColumnActivation), DeviceInfoModel::tr("Not activated"));
        QVERIFY(!stateOf(inactive).value(QLatin1String("activated")).toBool());
        check({});
    }

    void activateOne()
    {
        const QList<int> one = pick(1, [](const WireRecord &r) { return r.notActivated != 0; });
        QCOMPARE(one.size(), 1);
        check(one);
        setText("m_lineEditNewPassword", kNewPassword);
        QCOMPARE(child<QLabel>("m_labelLevel")->text(), QStringLiteral("Strong"));
        setText("m_lineEditConfirmPassword", kNewPassword + QLatin1Char('y'));
        click("m_btnActive");
        QCOMPARE(lastMessage(), QStringLiteral("The password you typed do not match."));
        QCOMPARE(m_messages.last().field, QStringLiteral("m_lineEditNewPassword"));
        QCOMPARE(cell(one.first(), ColumnActivation), DeviceInfoModel::tr("Not activated"));

        setText("m_lineEditConfirmPassword", kNewPassword);
        click("m_btnActive");
        QTRY_COMPARE_WITH_TIMEOUT(lastMessage(), QStringLiteral("Activate Succeed."), 10000);
        QCOMPARE(m_messages.last().kind, int(MessageSuccess));
        QCOMPARE(cell(one.first(), ColumnActivation), DeviceInfoModel::tr("Activated"));
        // The table sent the selection again: the pane offers modification.
        QCOMPARE(child<QStackedWidget>("m_stackedWidget")->currentIndex(), 0);
        QVERIFY(!child<QFrame>("m_frameModifyPara")->isHidden());
        QTRY_VERIFY(stateOf(one.first()).value(QLatin1String("activated")).toBool());

        // The device takes that password from now on.
        VOSK_NET_PARAM param = VoskTest::netParam(record(one.first()).ipv4Address.constData(),
                                                  record(one.first()).ipv4Mask.constData(), "0.0.0.0", 8000);
        QVERIFY(VOSK::VoskHandler::instance()->modifyDeviceNetParam(record(one.first()).mac, kNewPassword.toLatin1(),
                                                                    &param));
        check({});
    }

    void activateBatchWithOneActiveAlready()
    {
        const QList<int> three = pick(3, [](const WireRecord &r) { return r.notActivated != 0; });
        QCOMPARE(three.size(), 3);
        check(three);
        QCOMPARE(child<QStackedWidget>("m_stackedWidget")->currentIndex(), 1);
        // Activated behind the pane's back: the device answers "reactive".
        QVERIFY(VOSK::VoskHandler::instance()->activateDevice(record(three.at(1)).serialNumber, "Other9876!"));

        setText("m_lineEditNewPassword", kNewPassword);
        setText("m_lineEditConfirmPassword", kNewPassword);
        click("m_btnActive");
        QCOMPARE(m_results.size(), 3);
        int failed = 0;
        for (const ResultRow &row : std::as_const(m_results)) {
            if (row.serial == QString::fromLatin1(record(three.at(1)).serialNumber)) {
                QCOMPARE(row.result, QStringLiteral("Error2021:reactive"));
                QVERIFY(!row.ok);
                ++failed;
            } else {
                QVERIFY2(row.ok, qPrintable(row.result));
            }
        }
        QCOMPARE(failed, 1);
        QCOMPARE(m_resultCaptions.at(0), QStringLiteral("Batch activate devices 3"));
        QCOMPARE(m_resultCaptions.at(1), QStringLiteral("Activate fail numbers 1"));
        QCOMPARE(m_resultCaptions.at(2), QStringLiteral("Activation"));
        for (int index : three)
            QTRY_COMPARE(cell(index, ColumnActivation), DeviceInfoModel::tr("Activated"));
        check({});
    }

    void modifyOne()
    {
        const QList<int> one = pick(1, [](const WireRecord &r) {
            return !r.notActivated && r.addressInfoValid && !r.dhcpEnabled && r.httpPort != 0
                && !(r.capabilities & VOSK_CAP_IPV6_MODIFIABLE);
        });
        QCOMPARE(one.size(), 1);
        check(one);
        setText("m_lineEditIpAddress", QStringLiteral("172.16.9.9"));
        setText("m_lineEditPort", QStringLiteral("8123"));
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        click("m_btnModify");
        QTRY_COMPARE_WITH_TIMEOUT(lastMessage(), QStringLiteral("Modify network parameters succeed."), 10000);

        QTRY_COMPARE(stateOf(one.first()).value(QLatin1String("ipv4Address")).toString(), QStringLiteral("172.16.9.9"));
        QCOMPARE(stateOf(one.first()).value(QLatin1String("port")).toInt(), 8123);
        QTRY_COMPARE(cell(one.first(), ColumnIpv4Address), QStringLiteral("172.16.9.9"));
        QTRY_COMPARE(cell(one.first(), ColumnPort).trimmed(), QStringLiteral("8123"));
        // The form keeps what was typed, the admin password included.
        QCOMPARE(edit("m_lineEditAdminPassword"), QString::fromLatin1(kAdminPassword));
        check({});
    }

    void wrongPasswordIsDenied()
    {
        const QList<int> one = pick(1, [](const WireRecord &r) {
            return !r.notActivated && r.addressInfoValid && !r.dhcpEnabled && r.httpPort != 0
                && !(r.capabilities & VOSK_CAP_IPV6_MODIFIABLE);
        });
        QCOMPARE(one.size(), 1);
        check(one);
        const QJsonObject before = stateOf(one.first());
        const QString address = cell(one.first(), ColumnIpv4Address);
        setText("m_lineEditIpAddress", QStringLiteral("172.16.9.10"));
        setText("m_lineEditAdminPassword", QStringLiteral("Wrong12345"));
        click("m_btnModify");
        QTRY_COMPARE_WITH_TIMEOUT(lastMessage(), QStringLiteral("Device deny."), 10000);
        QCOMPARE(stateOf(one.first()), before);
        QCOMPARE(cell(one.first(), ColumnIpv4Address), address);
        check({});
    }

    void batchDhcpKeepsAddresses()
    {
        const QList<int> three = pick(3, [](const WireRecord &r) {
            return !r.notActivated && (r.capabilities & VOSK_CAP_DHCP) && !r.dhcpEnabled;
        });
        QCOMPARE(three.size(), 3);
        check(three);
        child<QCheckBox>("m_checkBoxBatchDHCP")->click();
        QVERIFY(child<QCheckBox>("m_checkBoxBatchDHCP")->isChecked());
        QVERIFY(!child<QLineEdit>("m_lineEditStartIp")->isEnabled());
        QVERIFY(edit("m_lineEditStartIp").isEmpty());
        fillSharedPorts();
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        click("m_btnModify");
        QVERIFY2(m_messages.isEmpty(), qPrintable(lastMessage()));
        QCOMPARE(m_results.size(), 3);
        for (int index : three) {
            QTRY_VERIFY(stateOf(index).value(QLatin1String("dhcpEnabled")).toBool());
            QCOMPARE(stateOf(index).value(QLatin1String("ipv4Address")).toString(),
                     QString::fromLatin1(record(index).ipv4Address));
        }
        for (const ResultRow &row : std::as_const(m_results)) {
            QVERIFY2(row.ok, qPrintable(row.result));
            const int index = VoskTest::findDevice(m_fleet, [&](const WireRecord &r) {
                return QString::fromLatin1(r.serialNumber) == row.serial;
            });
            // The list shows the old addresses.
            QCOMPARE(row.ipv4, QString::fromLatin1(record(index).ipv4Address));
        }
        check({});
    }

    // Enter, either key, in a password field or on the focused button
    // confirms the pane's form as a click would (here: refused for the
    // empty password, which shows that it ran).
    void enterConfirmsTheForm_data()
    {
        QTest::addColumn<bool>("activated");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("message");
        const QString admin = QStringLiteral("Sorry, please enter the administrator password.");
        const QString empty = QStringLiteral("The password can not be empty.");
        QTest::newRow("admin password") << true << "m_lineEditAdminPassword" << int(Qt::Key_Return) << admin;
        QTest::newRow("admin password, keypad") << true << "m_lineEditAdminPassword" << int(Qt::Key_Enter) << admin;
        QTest::newRow("Modify") << true << "m_btnModify" << int(Qt::Key_Return) << admin;
        QTest::newRow("new password, keypad") << false << "m_lineEditNewPassword" << int(Qt::Key_Enter) << empty;
        QTest::newRow("confirm password") << false << "m_lineEditConfirmPassword" << int(Qt::Key_Return) << empty;
        QTest::newRow("Active, keypad") << false << "m_btnActive" << int(Qt::Key_Enter) << empty;
    }

    void enterConfirmsTheForm()
    {
        QFETCH(bool, activated);
        QFETCH(QString, widget);
        QFETCH(int, key);
        QFETCH(QString, message);
        const QList<int> one = pick(1, [activated](const WireRecord &r) { return (r.notActivated == 0) == activated; });
        QCOMPARE(one.size(), 1);
        check(one);
        m_messages.clear();
        auto *target = pane()->findChild<QWidget *>(widget);
        QVERIFY2(target && target->isVisible(), qPrintable(widget));
        QTest::keyClick(target, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(lastMessage(), message);
        check({});
    }

    // An empty HTTP port in a batch keeps each device's own.
    void batchEmptyHttpPortKeepsEachDevicesOwn()
    {
        QList<int> two = pick(1, [](const WireRecord &r) {
            return !r.notActivated && (r.capabilities & VOSK_CAP_DHCP) && !r.dhcpEnabled && r.httpPort != 0;
        });
        QCOMPARE(two.size(), 1);
        const quint16 firstPort = record(two.first()).httpPort;
        two += pick(1, [firstPort](const WireRecord &r) {
            return !r.notActivated && (r.capabilities & VOSK_CAP_DHCP) && !r.dhcpEnabled && r.httpPort != 0
                && r.httpPort != firstPort;
        });
        QCOMPARE(two.size(), 2);
        check(two);
        child<QCheckBox>("m_checkBoxBatchDHCP")->click();
        QVERIFY(child<QLineEdit>("m_lineEditHttpPort")->isEnabled());
        QVERIFY(edit("m_lineEditHttpPort").isEmpty());
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        click("m_btnModify");
        QVERIFY2(m_messages.isEmpty(), qPrintable(lastMessage()));
        QCOMPARE(m_results.size(), 2);
        for (int index : two) {
            QTRY_VERIFY(stateOf(index).value(QLatin1String("dhcpEnabled")).toBool());
            QCOMPARE(stateOf(index).value(QLatin1String("httpPort")).toInt(), int(record(index).httpPort));
        }
        check({});
    }

    void batchWithoutStartAddressKeepsAddresses()
    {
        // Devices whose address the batch form cannot set: no start address,
        // each device keeps its own; the ports still change.
        const QList<int> two = pick(2, [](const WireRecord &r) {
            return !r.notActivated && int(r.deviceTypeCode) >= kFixedFirst && int(r.deviceTypeCode) <= kFixedLast
                && r.port == 8200 && r.httpPort != 0;
        });
        QCOMPARE(two.size(), 2);
        check(two);
        QVERIFY(!child<QLineEdit>("m_lineEditStartIp")->isEnabled());
        QVERIFY(!child<QLineEdit>("m_lineEditSubnetMask")->isEnabled());
        QVERIFY(!child<QLineEdit>("m_lineEditGateway")->isEnabled());
        QVERIFY(child<QLineEdit>("m_lineEditPort")->isEnabled());
        setText("m_lineEditPort", QStringLiteral("8300"));
        setText("m_lineEditHttpPort", QStringLiteral("81"));
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        click("m_btnModify");
        QVERIFY2(m_messages.isEmpty(), qPrintable(lastMessage()));
        QCOMPARE(m_results.size(), 2);
        for (int index : two) {
            QTRY_COMPARE(stateOf(index).value(QLatin1String("port")).toInt(), 8300);
            QCOMPARE(stateOf(index).value(QLatin1String("httpPort")).toInt(), 81);
            QCOMPARE(stateOf(index).value(QLatin1String("ipv4Address")).toString(),
                     QString::fromLatin1(record(index).ipv4Address));
            QCOMPARE(stateOf(index).value(QLatin1String("ipv4Mask")).toString(),
                     QString::fromLatin1(record(index).ipv4Mask));
        }
        check({});
    }

    void batchGetsConsecutiveAddressesInTableOrder()
    {
        // At least one device whose address a batch may set, so that the
        // start field is open.
        QList<int> twenty = pick(1, [](const WireRecord &r) {
            return !r.notActivated && (int(r.deviceTypeCode) < kFixedFirst || int(r.deviceTypeCode) > kFixedLast);
        });
        twenty += pick(19, [](const WireRecord &r) { return !r.notActivated; });
        QCOMPARE(twenty.size(), 20);
        check(twenty);
        QVERIFY(child<QLineEdit>("m_lineEditStartIp")->isEnabled());

        // No room for twenty: refused before anything is sent.
        QMap<int, QJsonObject> before;
        for (int index : twenty)
            before.insert(index, stateOf(index));
        setText("m_lineEditStartIp", QStringLiteral("10.1.255.250"));
        setText("m_lineEditSubnetMask", QStringLiteral("255.255.0.0"));
        if (child<QLineEdit>("m_lineEditGateway")->isEnabled())
            setText("m_lineEditGateway", QStringLiteral("10.1.0.1"));
        fillSharedPorts();
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        click("m_btnModify");
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(m_messages.first().field, QStringLiteral("m_lineEditStartIp"));
        QVERIFY2(lastMessage().contains(QStringLiteral(" 6 devices")), qPrintable(lastMessage()));
        QVERIFY(m_results.isEmpty());
        for (int index : twenty)
            QCOMPARE(stateOf(index), before.value(index));

        setText("m_lineEditStartIp", QStringLiteral("10.1.1.250"));
        click("m_btnModify");
        QVERIFY2(m_messages.isEmpty(), qPrintable(lastMessage()));
        QCOMPARE(m_results.size(), 20);
        QCOMPARE(m_resultCaptions.at(0), QStringLiteral("Devices Number: 20"));
        QCOMPARE(m_resultCaptions.at(1), QStringLiteral("Failed Number: 0"));

        // Table order decides: the checked rows top to bottom.
        const QVector<int> rows = table()->checkedRows();
        QCOMPARE(rows.size(), 20);
        for (int i = 0; i < 20; ++i) {
            const QString expected = i < 6 ? QStringLiteral("10.1.1.%1").arg(250 + i) : QStringLiteral("10.1.2.%1").arg(i - 6);
            const ResultRow &row = m_results.at(i);
            QVERIFY2(row.ok, qPrintable(row.result));
            QCOMPARE(row.ipv4, expected);
            QCOMPARE(row.serial, model()->text(rows.at(i), ColumnSerialNumber));
            const int index = VoskTest::findDevice(m_fleet, [&](const WireRecord &r) {
                return QString::fromLatin1(r.serialNumber) == row.serial;
            });
            QTRY_COMPARE(stateOf(index).value(QLatin1String("ipv4Address")).toString(), expected);
            QCOMPARE(stateOf(index).value(QLatin1String("ipv4Mask")).toString(), QStringLiteral("255.255.0.0"));
            QTRY_COMPARE(cell(index, ColumnIpv4Address), expected);
        }
        check({});
    }

    // A new address held by a listed device is refused before anything
    // is sent, and so is one address for two devices.
    void batchThatWouldClashIsRefused()
    {
        QList<int> two = pick(2, [](const WireRecord &r) {
            return !r.notActivated && (int(r.deviceTypeCode) < kFixedFirst || int(r.deviceTypeCode) > kFixedLast);
        });
        QCOMPARE(two.size(), 2);
        // A device outside the batch whose address the batch would reuse.
        const QList<int> holder = pick(1, [](const WireRecord &r) {
            const int last = r.ipv4Address.mid(r.ipv4Address.lastIndexOf('.') + 1).toInt();
            return last >= 2 && last <= 250;
        });
        QCOMPARE(holder.size(), 1);
        check(two);
        QMap<int, QJsonObject> before;
        for (int index : two + holder)
            before.insert(index, stateOf(index));
        // The batch's two addresses end on the holder's.
        const QString held = cell(holder.first(), ColumnIpv4Address);
        QStringList parts = held.split(QLatin1Char('.'));
        parts.last() = QString::number(parts.last().toInt() - 1);
        const QString start = parts.join(QLatin1Char('.'));
        setText("m_lineEditStartIp", start);
        setText("m_lineEditSubnetMask", QStringLiteral("255.255.255.0"));
        if (child<QLineEdit>("m_lineEditGateway")->isEnabled())
            setText("m_lineEditGateway", QStringLiteral("0.0.0.0"));
        fillSharedPorts();
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        click("m_btnModify");
        QCOMPARE(m_messages.size(), 1);
        const QString holderSerial = QString::fromLatin1(record(holder.first()).serialNumber);
        QVERIFY2(lastMessage().contains(QStringLiteral(", held by ") + holderSerial), qPrintable(lastMessage()));
        QVERIFY(lastMessage().contains(held));
        QVERIFY(m_results.isEmpty());
        for (int index : two + holder)
            QCOMPARE(stateOf(index), before.value(index));
        check({});
    }

    // After a batch, each device checked alone shows its own record, as
    // the device reports it, nothing the batch form held.
    void singleFormShowsTheDeviceAfterABatch()
    {
        // One device that keeps no gateway beside one that does.
        QList<int> two = pick(1, [](const WireRecord &r) {
            return !r.notActivated && !r.addressInfoValid && !r.dhcpEnabled
                && (int(r.deviceTypeCode) < kFixedFirst || int(r.deviceTypeCode) > kFixedLast);
        });
        two += pick(1, [](const WireRecord &r) { return !r.notActivated && r.addressInfoValid && !r.dhcpEnabled; });
        QCOMPARE(two.size(), 2);
        check(two);
        setText("m_lineEditStartIp", QStringLiteral("10.77.1.10"));
        setText("m_lineEditSubnetMask", QStringLiteral("255.255.255.0"));
        QVERIFY(child<QLineEdit>("m_lineEditGateway")->isEnabled());
        setText("m_lineEditGateway", QStringLiteral("10.77.1.1"));
        fillSharedPorts();
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        click("m_btnModify");
        QVERIFY2(m_messages.isEmpty(), qPrintable(lastMessage()));
        QCOMPARE(m_results.size(), 2);
        for (const ResultRow &row : std::as_const(m_results)) {
            QVERIFY2(row.ok, qPrintable(row.result));
            // Both reported what they took.
            QCOMPARE(row.result, QStringLiteral("applied"));
        }
        for (int index : two) {
            QTRY_COMPARE(cell(index, ColumnIpv4Address).startsWith(QStringLiteral("10.77.1.")), true);
            check({index});
            const QJsonObject state = stateOf(index);
            QCOMPARE(edit("m_lineEditIpAddress"), state.value(QLatin1String("ipv4Address")).toString());
            QCOMPARE(edit("m_lineEditGateway"), state.value(QLatin1String("ipv4Gateway")).toString());
            QCOMPARE(edit("m_lineEditSerialNumber"), QString::fromLatin1(record(index).serialNumber));
        }
        // The device without address information kept no gateway.
        QVERIFY(stateOf(two.first()).value(QLatin1String("ipv4Gateway")).toString().isEmpty());
        QCOMPARE(stateOf(two.last()).value(QLatin1String("ipv4Gateway")).toString(), QStringLiteral("10.77.1.1"));
        check({});
    }

    // Cancel skips the devices not yet asked; "Retry failed" sends them
    // the same parameters; "Save" writes the list.
    void cancelMidBatchThenRetry()
    {
        const QList<int> six = pick(6, [](const WireRecord &r) {
            return !r.notActivated && r.httpPort != 0
                && (int(r.deviceTypeCode) < kFixedFirst || int(r.deviceTypeCode) > kFixedLast);
        });
        QCOMPARE(six.size(), 6);
        QSet<QString> serials;
        for (int index : six)
            serials.insert(QString::fromLatin1(record(index).serialNumber));
        auto slow = std::make_shared<SlowKind>(serials);
        DeviceKinds::instance().add(slow);
        check(six);
        pane()->setMaxInFlight(1);
        setText("m_lineEditStartIp", QStringLiteral("10.88.1.20"));
        setText("m_lineEditSubnetMask", QStringLiteral("255.255.255.0"));
        if (child<QLineEdit>("m_lineEditGateway")->isEnabled())
            setText("m_lineEditGateway", QStringLiteral("10.88.1.1"));
        fillSharedPorts();
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));

        // Cancel as soon as the waiting dialog is up: one device at a time,
        // so the first is asked and the others not yet.
        bool cancelled = false;
        std::function<void()> pressCancel = [&] {
            auto *chase = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            auto *cancel = chase ? chase->findChild<QPushButton *>(QStringLiteral("m_btnChaseCancel")) : nullptr;
            if (!cancel) {
                QTimer::singleShot(1, pressCancel);
                return;
            }
            cancel->click();
            cancelled = true;
        };
        QTimer::singleShot(0, pressCancel);
        QList<QList<ResultRow>> lists;
        const QString csv = m_dir.filePath(QStringLiteral("results.csv"));
        m_resultAnswer = [&](DeviceModifyResultPage &page) {
            lists << m_results;
            m_results.clear();
            if (lists.size() == 1)
                return int(DeviceModifyResultPage::RetryFailed);
            page.setSavePathChooser([csv](QWidget *) { return csv; });
            page.saveButton()->click();
            return 1;
        };
        click("m_btnModify");
        m_resultAnswer = nullptr;
        pane()->setMaxInFlight(16);
        DeviceKinds::instance().remove(slow.get());
        QVERIFY(cancelled);
        QCOMPARE(lists.size(), 2);
        int cancelledRows = 0;
        for (const ResultRow &row : lists.first())
            cancelledRows += row.result == QStringLiteral("Cancelled") ? 1 : 0;
        // One device at a time, each held back: the first was in flight.
        QVERIFY2(cancelledRows >= 4 && cancelledRows <= 5, qPrintable(QString::number(cancelledRows)));
        // The retry sent the cancelled ones the addresses of their places.
        QCOMPARE(lists.last().size(), 6);
        for (int i = 0; i < 6; ++i) {
            QVERIFY2(lists.last().at(i).ok, qPrintable(lists.last().at(i).result));
            QCOMPARE(lists.last().at(i).ipv4, QStringLiteral("10.88.1.%1").arg(20 + i));
        }
        QFile saved(csv);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = saved.readAll().split('\n');
        QCOMPARE(lines.first(), QByteArray("device,address,outcome\r"));
        QCOMPARE(lines.size(), 1 + 6 + 1); // the last line end leaves an empty part
        QVERIFY(lines.at(1).contains(",10.88.1.20,"));
        check({});
    }

    // Last: the simulator goes away without a word.
    // A greyed field or box says why in its tool tip; an enabled one has
    // none. The devices are only looked at, not changed.
    void greyedFieldsSayWhy()
    {
        const auto find = [this](int n, const std::function<bool(const WireRecord &)> &pred) {
            QList<int> found;
            for (int i = 0; i < kCount && found.size() < n; ++i) {
                if (!m_used.contains(i) && pred(record(i)))
                    found << i;
            }
            return found;
        };
        const auto fixed = [](const WireRecord &r) {
            return int(r.deviceTypeCode) >= kFixedFirst && int(r.deviceTypeCode) <= kFixedLast;
        };
        const auto tip = [this](const char *name) { return child<QWidget>(name)->toolTip(); };
        const auto says = [&](const char *name, const char *words) {
            return !child<QWidget>(name)->isEnabled() && tip(name).contains(QLatin1String(words));
        };

        // Ports differ: each keeps its own; the addresses stay open.
        QList<int> pair = find(1, [&](const WireRecord &r) { return !r.notActivated && !fixed(r); });
        QCOMPARE(pair.size(), 1);
        const quint16 firstPort = record(pair.first()).port;
        pair << find(1, [&](const WireRecord &r) { return !r.notActivated && r.port != firstPort; });
        QCOMPARE(pair.size(), 2);
        check(pair);
        QVERIFY2(says("m_lineEditPort", "different ports"), qPrintable(tip("m_lineEditPort")));
        QVERIFY(child<QLineEdit>("m_lineEditStartIp")->isEnabled());
        QVERIFY(tip("m_lineEditStartIp").isEmpty());
        QVERIFY(says("m_lineEditIPV6Address", "one device at a time"));
        // Batch DHCP on: the addresses come from the server.
        child<QCheckBox>("m_checkBoxBatchDHCP")->click();
        QVERIFY2(says("m_lineEditStartIp", "DHCP is on"), qPrintable(tip("m_lineEditStartIp")));
        child<QCheckBox>("m_checkBoxBatchDHCP")->click();
        QVERIFY(tip("m_lineEditStartIp").isEmpty());

        // Fixed-address types: no start address, so no gateway either.
        const QList<int> fixedPair = find(2, [&](const WireRecord &r) { return !r.notActivated && fixed(r); });
        QCOMPARE(fixedPair.size(), 2);
        check(fixedPair);
        QVERIFY2(says("m_lineEditStartIp", "fixed address"), qPrintable(tip("m_lineEditStartIp")));
        QVERIFY(says("m_lineEditSubnetMask", "fixed address"));
        QVERIFY2(says("m_lineEditGateway", "Without a start address"), qPrintable(tip("m_lineEditGateway")));

        // One device without an HTTP port among the checked ones.
        QList<int> withoutHttp = find(1, [](const WireRecord &r) { return !r.notActivated && r.httpPort == 0; });
        withoutHttp << find(1, [](const WireRecord &r) { return !r.notActivated && r.httpPort != 0; });
        QCOMPARE(withoutHttp.size(), 2);
        check(withoutHttp);
        QVERIFY2(says("m_lineEditHttpPort", "no HTTP port"), qPrintable(tip("m_lineEditHttpPort")));

        // One device without DHCP: the box says so, not its own text.
        const QList<int> noDhcp = find(1, [](const WireRecord &r) {
            return !r.notActivated && !(r.capabilities & VOSK_CAP_DHCP);
        });
        if (!noDhcp.isEmpty()) {
            check(noDhcp);
            QVERIFY2(says("m_checkBoxDHCP", "does not support DHCP"), qPrintable(tip("m_checkBoxDHCP")));
        }
        // Nothing checked: every field asks for a device.
        check({});
        QVERIFY(says("m_lineEditIpAddress", "Check a device"));
    }

    void silentDeviceTimesOut()
    {
        const QList<int> one = pick(1, [](const WireRecord &r) {
            return !r.notActivated && r.addressInfoValid && !r.dhcpEnabled && r.httpPort != 0
                && !(r.capabilities & VOSK_CAP_IPV6_MODIFIABLE);
        });
        QCOMPARE(one.size(), 1);
        check(one);
        m_devsim.kill();
        setText("m_lineEditAdminPassword", QString::fromLatin1(kAdminPassword));
        click("m_btnModify");
        QTRY_COMPARE_WITH_TIMEOUT(lastMessage(), QStringLiteral("Time out."), 10000);
        check({});
    }
};

QTEST_MAIN(tst_DeviceModifyPage)
#include "tst_devicemodifypage.moc"
