#include "app/appwarningdialog.h"
#include "app/toolsapplication.h"
#include "aptui/targetpath.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QUuid>

#include <cstdio>
#include <memory>
#include <stdexcept>

using apt::ToolsApplication;

namespace {

// An object whose event handling throws, to prove the event loop survives.
class Throwing final : public QObject
{
public:
    int seen = 0;
    bool event(QEvent *event) override
    {
        ++seen;
        if (event->type() == QEvent::User)
            throw std::runtime_error("boom");
        return QObject::event(event);
    }
};

const char kHelperMode[] = "VOSKTOOL_INSTANCE_HELPER";
const char kHelperId[] = "VOSKTOOL_INSTANCE_ID";
const char kHelperFolder[] = "VOSKTOOL_PROGRAM_FOLDER";
const char kHelperAnswer[] = "VOSKTOOL_HELPER_ANSWER";

// The second process of the single-instance tests. "hold" keeps an instance
// running until its stdin closes; "start" runs the start-up checks the way
// the program does and prints what the user would see.
int runHelper(const QByteArray &mode, int argc, char **argv)
{
    const QString id = QString::fromUtf8(qgetenv(kHelperId));
    ToolsApplication app(id, argc, argv);
    TarnGUIToolkit::SetTargetPath(qEnvironmentVariable(kHelperFolder));
    if (mode == "hold") {
        std::printf("%s\n", app.isRunning() ? "refused" : "holding");
        std::fflush(stdout);
        QFile in;
        if (in.open(stdin, QIODevice::ReadOnly))
            in.readAll();
        return 0;
    }
    // A resolution question is confirmed unless the test says "no".
    const bool confirm = qgetenv(kHelperAnswer) != "no";
    apt::AppWarningDialog::setHook([confirm](const QString &text, bool) {
        std::printf("%s\n", qPrintable(text));
        std::fflush(stdout);
        return confirm;
    });
    if (!app.init())
        return -1;
    std::printf("started %s\n", QApplication::windowIcon().isNull() ? "without icon" : "with icon");
    return 0;
}

} // namespace

class TestToolsApplication final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_runtime;
    // A program folder of our own: the shipped Setup.xml and the skin
    // plug-in, whatever the developer did to the one in build/bin.
    QTemporaryDir m_program;
    QString m_id = QStringLiteral("VOSKToolTest-") + QUuid::createUuid().toString(QUuid::WithoutBraces);

    QProcess *helper(const char *mode, QString programFolder = QString(), const QByteArray &answer = QByteArray())
    {
        if (programFolder.isEmpty())
            programFolder = m_program.path();
        auto *process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kHelperMode), QString::fromLatin1(mode));
        env.insert(QString::fromLatin1(kHelperId), m_id);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QString::fromLatin1(kHelperFolder), programFolder);
        env.insert(QString::fromLatin1(kHelperAnswer), QString::fromLatin1(answer));
        process->setProcessEnvironment(env);
        process->start(QCoreApplication::applicationFilePath(), {});
        return process;
    }

    // Output lines of a helper that runs to its end.
    static QByteArray finish(QProcess *process)
    {
        if (!process->waitForFinished(30000))
            process->kill();
        return process->readAllStandardOutput();
    }

    static bool waitForLine(QProcess *process, const QByteArray &line)
    {
        QByteArray seen;
        while (process->waitForReadyRead(15000)) {
            seen += process->readAllStandardOutput();
            if (seen.contains(line))
                return true;
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        QVERIFY(m_program.isValid());
        QVERIFY(QFile::copy(QFINDTESTDATA("../../app/Setup.xml"), m_program.filePath(QStringLiteral("Setup.xml"))));
        QVERIFY(QDir(m_program.path()).mkpath(QStringLiteral("plugins/skins")));
        QVERIFY(QFile::copy(QStringLiteral(VOSKTOOL_SKIN_PLUGIN),
                            m_program.filePath(QStringLiteral("plugins/skins/"))
                                + QFileInfo(QStringLiteral(VOSKTOOL_SKIN_PLUGIN)).fileName()));
        // The helpers keep their locks here; so does lockFilePath() below.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }

    void resolution_data()
    {
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<bool>("enough");
        QTest::newRow("full hd") << QList<QRect>{{0, 0, 1920, 1080}} << true;
        QTest::newRow("exactly 1024x768") << QList<QRect>{{0, 0, 1024, 768}} << true;
        QTest::newRow("1280x720 too low") << QList<QRect>{{0, 0, 1280, 720}} << false;
        QTest::newRow("1023 wide") << QList<QRect>{{0, 0, 1023, 900}} << false;
        QTest::newRow("stacked 1024x600 over 800x768")
            << QList<QRect>{{0, 0, 1024, 600}, {0, 600, 800, 768}} << true;
        QTest::newRow("side by side, both low")
            << QList<QRect>{{0, 0, 800, 600}, {800, 0, 800, 600}} << false;
        QTest::newRow("edges count, not sizes") << QList<QRect>{{300, 200, 800, 600}} << true;
        QTest::newRow("no screen") << QList<QRect>{} << false;
    }
    void resolution()
    {
        QFETCH(QList<QRect>, screens);
        QFETCH(bool, enough);
        QCOMPARE(ToolsApplication::isResolutionEnough(screens), enough);
    }

    void windowPlacement_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("1920x1040") << QRect(0, 0, 1920, 1040) << QSize(1417, 768) << false << QPoint();
        QTest::newRow("1366x728 fills") << QRect(0, 0, 1366, 728) << QSize(1366, 728) << true << QPoint(0, 0);
        QTest::newRow("exactly 768 high") << QRect(0, 0, 1024, 768) << QSize(1024, 768) << false << QPoint();
        QTest::newRow("low area below a panel")
            << QRect(1920, 32, 1280, 688) << QSize(1280, 688) << true << QPoint(1920, 32);
    }
    void windowPlacement()
    {
        QFETCH(QRect, available);
        QFETCH(QSize, size);
        QFETCH(bool, moved);
        QFETCH(QPoint, position);
        const ToolsApplication::WindowPlacement placement = ToolsApplication::mainWindowPlacement(available);
        QCOMPARE(placement.size, size);
        QCOMPARE(placement.position.has_value(), moved);
        if (moved)
            QCOMPARE(*placement.position, position);
    }

    void skinSearch_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        const QString skin = QStringLiteral(VOSKTOOL_SKIN_PLUGIN);
        const QString style = QStringLiteral(VOSKTOOL_STYLE_PLUGIN);
        const QString junk = QStringLiteral("junk");
        QTest::newRow("empty folder") << QStringList() << QStringLiteral("CommonSkin") << false;
        QTest::newRow("skin plug-in") << QStringList{skin} << QStringLiteral("CommonSkin") << true;
        QTest::newRow("other name") << QStringList{skin} << QStringLiteral("NightSkin") << false;
        QTest::newRow("name is case-sensitive") << QStringList{skin} << QStringLiteral("commonskin") << false;
        QTest::newRow("empty name") << QStringList{skin} << QString() << false;
        QTest::newRow("only a style and junk") << QStringList{style, junk} << QStringLiteral("CommonSkin") << false;
        QTest::newRow("skin among others")
            << QStringList{junk, style, skin} << QStringLiteral("CommonSkin") << true;
    }
    void skinSearch()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, name);
        QFETCH(bool, found);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        for (const QString &file : files) {
            if (file == QLatin1String("junk")) {
                QFile junk(folder.filePath(QStringLiteral("libjunk.so")));
                QVERIFY(junk.open(QIODevice::WriteOnly));
                junk.write("not a library");
            } else {
                QVERIFY(QFile::copy(file, folder.filePath(QFileInfo(file).fileName())));
            }
        }
        QCOMPARE(ToolsApplication::findSkinPlugin(name, folder.path()) != nullptr, found);
    }

    void commonStyleThroughTheFactory()
    {
        QCoreApplication::addLibraryPath(QFileInfo(QStringLiteral(VOSKTOOL_STYLE_PLUGIN)).absolutePath()
                                         + QStringLiteral("/.."));
        QVERIFY(QStyleFactory::keys().contains(QStringLiteral("CommonStyle")));
        const std::unique_ptr<QStyle> style(QStyleFactory::create(QStringLiteral("commonstyle")));
        QVERIFY(style);
        QCOMPARE(style->metaObject()->className(), "CommonStyle");
    }

    void toolTipText()
    {
        QPushButton plain(QStringLiteral("Apply"));
        QCOMPARE(ToolsApplication::toolTipTextFor(&plain), std::nullopt);

        QPushButton emptyTip(QStringLiteral("Apply"));
        emptyTip.setToolTip(QStringLiteral(""));
        QCOMPARE(ToolsApplication::toolTipTextFor(&emptyTip), std::optional<QString>(QStringLiteral("Apply")));

        QLabel label(QStringLiteral("192.168.1.64"));
        label.setToolTip(QStringLiteral("address"));
        QCOMPARE(ToolsApplication::toolTipTextFor(&label), std::optional<QString>(QStringLiteral("192.168.1.64")));

        QComboBox combo;
        combo.addItem(QStringLiteral("DHCP"));
        combo.setToolTip(QStringLiteral("mode"));
        QCOMPARE(ToolsApplication::toolTipTextFor(&combo), std::optional<QString>(QStringLiteral("DHCP")));

        QLineEdit edit(QStringLiteral("typed"));
        edit.setToolTip(QStringLiteral("Enter the address"));
        QCOMPARE(ToolsApplication::toolTipTextFor(&edit), std::nullopt);

        QWidget textless;
        textless.setToolTip(QStringLiteral("tip"));
        QCOMPARE(ToolsApplication::toolTipTextFor(&textless), std::nullopt);

        QPushButton noText;
        noText.setToolTip(QStringLiteral("tip"));
        QCOMPARE(ToolsApplication::toolTipTextFor(&noText), std::nullopt);

        // A greyed box shows why it is greyed, not its own text; without a
        // reason it keeps showing its text.
        QCheckBox greyed(QStringLiteral("Enable DHCP"));
        greyed.setEnabled(false);
        greyed.setToolTip(QStringLiteral("This device does not support DHCP."));
        QCOMPARE(ToolsApplication::toolTipTextFor(&greyed), std::nullopt);
        greyed.setToolTip(QStringLiteral(""));
        QCOMPARE(ToolsApplication::toolTipTextFor(&greyed), std::optional<QString>(QStringLiteral("Enable DHCP")));
    }

    void notifyShowsTheButtonTextAsToolTip()
    {
        QPushButton button(QStringLiteral("Config Export"));
        button.setToolTip(QStringLiteral("something else"));
        button.show();
        QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), button.mapToGlobal(QPoint(5, 5)));
        QVERIFY(QCoreApplication::sendEvent(&button, &event));
        QCOMPARE(QToolTip::text(), QStringLiteral("Config Export"));
        QToolTip::hideText();
    }

    void notifySwallowsFontChangesAndSurvivesExceptions()
    {
        Throwing object;
        QEvent fontChange(QEvent::ApplicationFontChange);
        QVERIFY(QCoreApplication::sendEvent(&object, &fontChange));
        QCOMPARE(object.seen, 0);

        QEvent user(QEvent::User);
        QVERIFY(!QCoreApplication::sendEvent(&object, &user));
        QCOMPARE(object.seen, 1);
        QEvent after(QEvent::DynamicPropertyChange);
        QCoreApplication::sendEvent(&object, &after);
        QCOMPARE(object.seen, 2);
    }

    void styleSheetLeavesOutTheMacSheet()
    {
        const QString sheet = ToolsApplication::applicationStyleSheet();
        QFile tool(QStringLiteral(":/TarnDesk/Qss/Qss/VOSKTool/VOSKTool.qss"));
        QVERIFY(tool.open(QIODevice::ReadOnly));
        QVERIFY(sheet.endsWith(QString::fromUtf8(tool.readAll())));
        QFile mac(QStringLiteral(":/TarnDesk/Qss/Qss/TarnGUIToolkit/MacSpecial.qss"));
        QVERIFY(mac.open(QIODevice::ReadOnly));
        QVERIFY(!sheet.contains(QString::fromUtf8(mac.readAll())));
        QVERIFY(sheet.contains(QLatin1String("aptui--PinButton")));
    }

    void languageFonts()
    {
        const QFont current = ToolsApplication::defaultFont();
        QCOMPARE(current.pointSize(), 9);
        QCOMPARE(ToolsApplication::languageFont(10, current).family(), QStringLiteral("Tahoma"));
        QCOMPARE(ToolsApplication::languageFont(9, current).family(), QStringLiteral("Batang"));
        QCOMPARE(ToolsApplication::languageFont(9, current).pointSize(), 9);
        QCOMPARE(ToolsApplication::languageFont(1, current), current);
    }

    void secondInstanceIsRefused()
    {
        QProcess *first = helper("hold");
        QVERIFY(waitForLine(first, "holding"));

        QProcess *second = helper("start");
        const QByteArray output = finish(second);
        QCOMPARE(second->exitCode(), 255);
        QVERIFY2(output.contains("VOSK is already running."), output.constData());
        QCOMPARE(first->state(), QProcess::Running);

        first->closeWriteChannel();
        QVERIFY(first->waitForFinished(30000));
        QCOMPARE(first->exitCode(), 0);

        QProcess *third = helper("start");
        QVERIFY(finish(third).contains("started"));
        QCOMPARE(third->exitCode(), 0);
        // The shipped Setup.xml names the skin, and the plug-in is found.
        QVERIFY(third->readAllStandardError().contains("[Tool]LoadSkin = CommonSkin Success"));
    }

    // An empty program folder: no Setup.xml, no plug-ins, no translations.
    // Start-up goes on with the defaults and says which skin it missed.
    void startsWithoutSettingsOrSkin()
    {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        QProcess *process = helper("start", empty.path());
        const QByteArray output = finish(process);
        QVERIFY2(output.contains("started"), output.constData());
        QCOMPARE(process->exitCode(), 0);
        const QByteArray log = process->readAllStandardError();
        QVERIFY2(log.contains("[Tool]LoadSkin = CommonSkin failed"), log.constData());
        // The style plug-in is not on this process's library path either.
        QVERIFY2(log.contains("[ToolsApplication::loadStyle]The CommonStyle does not exist."), log.constData());
    }

    // The offscreen screen (800 x 600) is below 1024 x 768: the question
    // decides, and a start over a small screen goes without the icon.
    void resolutionQuestion_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("confirmed") << QByteArray("yes") << 0;
        QTest::newRow("cancelled") << QByteArray("no") << 255;
    }
    void resolutionQuestion()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, exitCode);
        QProcess *process = helper("start", QString(), answer);
        const QByteArray output = finish(process);
        QVERIFY2(output.contains("Display resolution less than 1024*768,are you sure to start the program?"),
                 output.constData());
        QCOMPARE(process->exitCode(), exitCode);
        QCOMPARE(output.contains("started without icon"), exitCode == 0);
        QVERIFY(!output.contains("with icon"));
    }

    void killedInstanceDoesNotBlock()
    {
        QProcess *first = helper("hold");
        QVERIFY(waitForLine(first, "holding"));
        first->kill(); // no clean-up: the lock file stays behind
        QVERIFY(first->waitForFinished(30000));
        QVERIFY(QFile::exists(SharedTools::QtSingleApplication::lockFilePath(m_id)));

        QProcess *next = helper("start");
        const QByteArray output = finish(next);
        QVERIFY2(output.contains("started"), output.constData());
        QCOMPARE(next->exitCode(), 0);
    }
};

int main(int argc, char **argv)
{
    const QByteArray mode = qgetenv(kHelperMode);
    if (!mode.isEmpty())
        return runHelper(mode, argc, argv);
    ToolsApplication app(QStringLiteral("VOSKToolTest-main"), argc, argv);
    TestToolsApplication test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_toolsapplication.moc"
