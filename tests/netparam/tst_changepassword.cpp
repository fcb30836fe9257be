// The pane's password change end to end: the main window with the real
// discovery library and a simulated fleet on loopback, plus one device
// whose simulator is killed after discovery (silent). Whether a password
// works is asked of the device itself, with a modification that changes
// nothing.

#include "aptui/guitextcodec.h"
#include "aptui/identityquestion.h"
#include "aptui/multistatelineedit.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "netparam/devicemodifyresultpage.h"
#include "shell/vosktoolmainpage.h"
#include "tests/netparam/resultrows.h"
#include "tests/vosk/voskfixture.h"

#include <QFile>
#include <QFrame>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include <optional>

using namespace VoskTool;
using VoskNet::WireRecord;

namespace {

constexpr quint64 kSeed = 31;
constexpr quint64 kSilentSeed = 977;
constexpr int kCount = 12;
const QByteArray kAdminPassword = QByteArrayLiteral("Admin12345");

} // namespace

class tst_ChangePassword final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    VoskTest::Devsim m_devsim;
    VoskTest::Devsim m_silentSim;
    std::vector<VoskSim::SimDevice> m_fleet;
    WireRecord m_silent;
    std::optional<VOSKToolMainPage> m_window;
    QStringList m_messages;
    QString m_markedField;
    QList<TestSupport::ResultRow> m_results;
    QList<int> m_used;

    DeviceModifyPage *pane() const { return qobject_cast<DeviceModifyPage *>(m_window->rightPane()); }
    DeviceInfoModel *model() const { return m_window->deviceDisplayPage()->model(); }
    QFrame *changeFrame() const { return pane()->findChild<QFrame *>(QStringLiteral("m_frameChangePassword")); }
    const WireRecord &record(int index) const { return m_fleet[std::size_t(index)].record(); }
    static DeviceKey keyOf(const WireRecord &r)
    {
        return {QString::fromLatin1(r.serialNumber), QString::fromLatin1(r.mac)};
    }
    QString statePath(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    // The hash of the device's password as the simulator keeps it; empty
    // while no device of the fleet has changed since the start.
    QString passwordHash(const WireRecord &r) const
    {
        QFile file(statePath("state.json"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll())
            .object()
            .value(QLatin1String("devices"))
            .toObject()
            .value(QString::fromLatin1(r.serialNumber))
            .toObject()
            .value(QLatin1String("passwordHash"))
            .toString();
    }
    // Whether the device takes `password` now: a modification that
    // changes nothing is accepted with the right one.
    static bool passwordWorks(const WireRecord &r, const QByteArray &password)
    {
        VOSK_NET_PARAM param = VoskTest::netParam(r.ipv4Address.constData(), r.ipv4Mask.constData(),
                                                  r.ipv4Gateway.constData(), r.port);
        param.dhcpEnabled = r.dhcpEnabled;
        param.httpPort = r.httpPort ? r.httpPort : 80;
        return VOSK::VoskHandler::instance()->modifyDeviceNetParam(keyOf(r), password, &param);
    }
    // Activated devices of the fleet no test has used yet.
    QList<int> take(int n)
    {
        QList<int> found;
        for (int i = 0; i < kCount && found.size() < n; ++i) {
            if (!m_used.contains(i) && !record(i).notActivated) {
                found << i;
                m_used << i;
            }
        }
        return found;
    }
    void check(const QVector<DeviceKey> &devices)
    {
        for (int row = 0; row < model()->rowCount(); ++row)
            model()->setCheckState(row, Qt::Unchecked);
        for (const DeviceKey &device : devices) {
            const int row = model()->rowOf(device);
            QVERIFY(row >= 0);
            model()->setCheckState(row, Qt::Checked);
        }
        QCOMPARE(pane()->selection().size(), devices.size());
    }
    // Opens the change form and types into it; ASCII only.
    void fill(const QString &oldPassword, const QString &newPassword, const QString &confirmation)
    {
        if (changeFrame()->isHidden())
            QTest::mouseClick(pane()->findChild<QPushButton *>(QStringLiteral("m_btnShowChangePassword")),
                              Qt::LeftButton);
        QVERIFY(!changeFrame()->isHidden());
        const struct
        {
            const char *name;
            const QString &text;
        } fields[] = {{"m_lineEditOldPassword", oldPassword},
                      {"m_lineEditNewPassword", newPassword},
                      {"m_lineEditConfirmPassword", confirmation}};
        for (const auto &field : fields) {
            auto *edit = changeFrame()->findChild<QLineEdit *>(QLatin1String(field.name));
            edit->clear();
            QTest::keyClicks(edit, field.text);
        }
    }
    void confirm()
    {
        m_messages.clear();
        m_markedField.clear();
        m_results.clear();
        QTest::mouseClick(changeFrame()->findChild<QPushButton *>(QStringLiteral("m_btnChangePassword")),
                          Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        VoskTest::pinToLoopback(47281, "239.255.86.181");
        m_fleet = VoskTest::fleet(kSeed, kCount);
        m_silent = VoskTest::fleet(kSilentSeed, 1).front().record();
        QVERIFY(!m_silent.notActivated);
        for (const VoskSim::SimDevice &device : m_fleet)
            QVERIFY(device.record().serialNumber != m_silent.serialNumber && device.record().mac != m_silent.mac);
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                                QString::number(kSeed), QStringLiteral("--state"), statePath("state.json")}));
        QVERIFY(m_silentSim.start({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--seed"),
                                   QString::number(kSilentSeed), QStringLiteral("--state"),
                                   statePath("silent.json")}));
        TarnGUIToolkit::InitGuiTextCodec(QTextCodec::codecForName("ISO-8859-1"));
        IdentityQuestion::setAsker([](QWidget *, const QString &) { return true; });
        m_window.emplace();
        m_window->resize(1400, 860);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(&*m_window));
        pane()->setMessenger([this](const PaneMessage &message) {
            m_messages << message.text;
            m_markedField = message.field ? message.field->objectName() : QString();
        });
        pane()->setDialogRunner([this](QDialog &dialog) {
            auto *page = qobject_cast<DeviceModifyResultPage *>(&dialog);
            if (!page)
                return 0;
            m_results += TestSupport::resultRows(*page, DeviceModifyResultPage::ColumnSerial);
            return 1;
        });
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), kCount + 1, 15000);
    }

    void cleanupTestCase()
    {
        IdentityQuestion::setAsker({});
        m_window.reset();
        VOSK::VoskHandler::instance()->stop();
        m_devsim.kill();
        m_silentSim.kill();
    }

    // Each refusal is said on its field and sends nothing: the device keeps
    // its password.
    void refusedBeforeSending_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("field");

        const QString admin = QString::fromLatin1(kAdminPassword);
        QTest::newRow("no old password") << "" << "Change#2026" << "Change#2026"
                                         << "Sorry, please enter the administrator password."
                                         << "m_lineEditOldPassword";
        QTest::newRow("one class") << admin << "12345678" << "12345678"
                                   << "Valid password range [8-16]. You can use a combination of numbers,lowercase, "
                                      "uppercase and special character for your password with at least two kinds "
                                      "of them contained."
                                   << "m_lineEditNewPassword";
        QTest::newRow("too short") << admin << "Ab1#" << "Ab1#" << "Valid password range [8-16]. You can use a "
                                   "combination of numbers,lowercase, uppercase and special character for your "
                                   "password with at least two kinds of them contained."
                                   << "m_lineEditNewPassword";
        QTest::newRow("mismatch") << admin << "Change#2026" << "Change#2027"
                                  << "The password you typed do not match." << "m_lineEditNewPassword";
        QTest::newRow("same as the old") << admin << admin << admin
                                         << "The new password is the same as the old one." << "m_lineEditNewPassword";
    }

    void refusedBeforeSending()
    {
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        QFETCH(QString, field);
        const int index = take(1).value(0, -1);
        QVERIFY(index >= 0);
        check({keyOf(record(index))});
        const QString hash = passwordHash(record(index));
        fill(oldPassword, newPassword, confirmation);
        confirm();
        QCOMPARE(m_messages, QStringList{message});
        QCOMPARE(m_markedField, field);
        // Nothing started (a change would keep the pane busy until its
        // answer), and the device's password is the one it had.
        QVERIFY(!pane()->isBusy());
        QCOMPARE(passwordHash(record(index)), hash);
        QVERIFY(passwordWorks(record(index), kAdminPassword));
        check({});
    }

    // The old password is refused afterwards, the new one opens the device;
    // the form forgets what was typed.
    void changeOne()
    {
        const int index = take(1).value(0, -1);
        QVERIFY(index >= 0);
        check({keyOf(record(index))});
        fill(QString::fromLatin1(kAdminPassword), QStringLiteral("Change#2026"), QStringLiteral("Change#2026"));
        confirm();
        QVERIFY(pane()->isBusy());
        QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList{QStringLiteral("Change password succeed.")}, 10000);
        QVERIFY(!pane()->isBusy());
        QVERIFY(changeFrame()->isHidden());
        QVERIFY(changeFrame()->findChild<QLineEdit *>(QStringLiteral("m_lineEditOldPassword"))->text().isEmpty());
        QVERIFY(!passwordWorks(record(index), kAdminPassword));
        QCOMPARE(VOSK::VoskHandler::instance()->getLastError(), int(VOSK_ERR_DEVICE_DENY));
        QVERIFY(passwordWorks(record(index), "Change#2026"));

        // A wrong old password is said to be one, and changes nothing.
        const QString hash = passwordHash(record(index));
        fill(QStringLiteral("Wrong#1234"), QStringLiteral("Other#2026"), QStringLiteral("Other#2026"));
        confirm();
        QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList{QStringLiteral("The old password is not correct.")}, 10000);
        QCOMPARE(m_markedField, QStringLiteral("m_lineEditOldPassword"));
        QVERIFY2(!changeFrame()->isHidden(), "the typed passwords stay for another try");
        QCOMPARE(passwordHash(record(index)), hash);
        QVERIFY(passwordWorks(record(index), "Change#2026"));
        check({});
        QVERIFY(changeFrame()->isHidden());
    }

    // Three devices that answer and one that has gone silent: every device
    // is listed, the silent one as timed out, the others changed.
    void batchWithASilentDevice()
    {
        const QList<int> three = take(3);
        QCOMPARE(three.size(), 3);
        m_silentSim.kill();
        QVector<DeviceKey> devices;
        for (int index : three)
            devices << keyOf(record(index));
        devices << keyOf(m_silent);
        check(devices);
        fill(QString::fromLatin1(kAdminPassword), QStringLiteral("Batch#2026x"), QStringLiteral("Batch#2026x"));
        confirm();
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));
        QCOMPARE(m_results.size(), 4);
        for (const TestSupport::ResultRow &row : std::as_const(m_results)) {
            if (row.name == QString::fromLatin1(m_silent.serialNumber)) {
                QVERIFY(!row.ok);
                QCOMPARE(row.result, QStringLiteral("Error2011:time out"));
            } else {
                QVERIFY2(row.ok, qPrintable(row.result));
            }
        }
        // A failure keeps the form for "Retry failed" or another try.
        QVERIFY(!changeFrame()->isHidden());
        for (int index : three) {
            QVERIFY(passwordWorks(record(index), "Batch#2026x"));
            QVERIFY(!passwordWorks(record(index), kAdminPassword));
        }
        check({});
    }
};

QTEST_MAIN(tst_ChangePassword)
#include "tst_changepassword.moc"
