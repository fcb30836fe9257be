// Two devices that announce one MAC, end to end in the main window: two
// simulators (seeds 256 apart share device 0's MAC, not its serial number
// or key) with the real library on loopback. Both are listed and marked;
// a modification of one asks first, sends nothing when declined, and when
// confirmed changes that device alone.

#include "aptui/guitextcodec.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "aptui/identityquestion.h"
#include "shell/vosktoolmainpage.h"
#include "tests/vosk/voskfixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include <optional>

using namespace VoskTool;
using VoskNet::WireRecord;

namespace {

const QString kAdminPassword = QStringLiteral("Admin12345");

VoskSim::SimDevice device0(quint64 seed)
{
    return VoskTest::fleet(seed, 1).front();
}

// A device the single form can modify without more than an address.
bool plainlyModifiable(const WireRecord &r)
{
    return !r.notActivated && r.addressInfoValid && !r.dhcpEnabled && r.httpPort != 0
        && !(r.capabilities & VOSK_CAP_IPV6_MODIFIABLE);
}

} // namespace

class tst_IdentityFlow final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    VoskTest::Devsim m_simA;
    VoskTest::Devsim m_simB;
    quint64 m_seed = 0;
    std::optional<VOSKToolMainPage> m_window;
    QStringList m_messages;
    QStringList m_questions;
    bool m_answer = false;

    DeviceModifyPage *pane() const { return qobject_cast<DeviceModifyPage *>(m_window->rightPane()); }
    DeviceInfoModel *model() const { return m_window->deviceDisplayPage()->model(); }
    QString statePath(char which) const { return m_dir.filePath(QStringLiteral("state-%1.json").arg(which)); }
    DeviceKey keyOf(quint64 seed) const
    {
        const WireRecord r = device0(seed).record();
        return {QString::fromLatin1(r.serialNumber), QString::fromLatin1(r.mac)};
    }
    // What the simulator saved of its device; empty before any change.
    QJsonObject stateOf(char which, quint64 seed) const
    {
        QFile file(statePath(which));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll())
            .object()
            .value(QLatin1String("devices"))
            .toObject()
            .value(keyOf(seed).serialNumber)
            .toObject();
    }
    void setText(const char *name, const QString &text)
    {
        auto *line = pane()->findChild<QLineEdit *>(QLatin1String(name));
        line->clear();
        QTest::keyClicks(line, text);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        VoskTest::pinToLoopback(47243, "239.255.86.143");
        for (quint64 seed = 1; seed < 250 && !m_seed; ++seed) {
            if (!device0(seed).record().notActivated && plainlyModifiable(device0(seed + 256).record()))
                m_seed = seed;
        }
        QVERIFY(m_seed);
        QCOMPARE(keyOf(m_seed).mac, keyOf(m_seed + 256).mac);
        for (auto [sim, seed, which] : {std::tuple{&m_simA, m_seed, 'a'}, std::tuple{&m_simB, m_seed + 256, 'b'}})
            QVERIFY(sim->start({QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--seed"),
                                QString::number(seed), QStringLiteral("--state"), statePath(which)}));
        TarnGUIToolkit::InitGuiTextCodec(QTextCodec::codecForName("ISO-8859-1"));
        IdentityQuestion::setAsker([this](QWidget *, const QString &text) {
            m_questions << text;
            return m_answer;
        });
        m_window.emplace();
        m_window->resize(1400, 860);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(&*m_window));
        pane()->setMessenger([this](const PaneMessage &message) { m_messages << message.text; });
    }

    void cleanupTestCase()
    {
        IdentityQuestion::setAsker({});
        m_window.reset();
        VOSK::VoskHandler::instance()->stop();
        m_simA.kill();
        m_simB.kill();
    }

    void bothAreListedAndMarked()
    {
        QTRY_COMPARE_WITH_TIMEOUT(model()->rowCount(), 2, 15000);
        for (quint64 seed : {m_seed, m_seed + 256}) {
            const int row = model()->rowOf(keyOf(seed));
            QVERIFY(row >= 0);
            QVERIFY(model()->isAmbiguous(row));
        }
    }

    void modifyGoesOnlyToTheConfirmedDevice_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("declined") << false;
        QTest::newRow("confirmed") << true;
    }

    void modifyGoesOnlyToTheConfirmedDevice()
    {
        QFETCH(bool, confirm);
        const QJsonObject stateA = stateOf('a', m_seed);
        const QJsonObject stateB = stateOf('b', m_seed + 256);
        const int row = model()->rowOf(keyOf(m_seed + 256));
        model()->setCheckState(row, Qt::Checked);
        QCOMPARE(pane()->selection().size(), 1);
        setText("m_lineEditIpAddress", QStringLiteral("172.16.44.4"));
        setText("m_lineEditAdminPassword", kAdminPassword);
        m_answer = confirm;
        m_questions.clear();
        m_messages.clear();
        QTest::mouseClick(pane()->findChild<QPushButton *>(QStringLiteral("m_btnModify")), Qt::LeftButton);

        QCOMPARE(m_questions.size(), 1);
        QVERIFY(m_questions.first().contains(keyOf(m_seed).serialNumber));
        QVERIFY(m_questions.first().contains(keyOf(m_seed + 256).serialNumber));
        if (confirm) {
            // The change runs off the GUI thread; its message comes when done.
            QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList{QStringLiteral("Modify network parameters succeed.")},
                                      10000);
            QTRY_COMPARE(stateOf('b', m_seed + 256).value(QLatin1String("ipv4Address")).toString(),
                         QStringLiteral("172.16.44.4"));
            QTRY_COMPARE(model()->text(row, ColumnIpv4Address), QStringLiteral("172.16.44.4"));
        } else {
            QVERIFY(m_messages.isEmpty());
            QTest::qWait(300);
            QCOMPARE(stateOf('b', m_seed + 256), stateB);
        }
        // The device the form was not for never changed.
        QCOMPARE(stateOf('a', m_seed), stateA);
        model()->setCheckState(row, Qt::Unchecked);
    }
};

QTEST_MAIN(tst_IdentityFlow)
#include "tst_identityflow.moc"
