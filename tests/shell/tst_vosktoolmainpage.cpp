#include "app/appwarningdialog.h"
#include "app/configuremanager.h"
#include "app/toolsapplication.h"
#include "aptui/coverwidget.h"
#include "aptui/cwidgetsizefactory.h"
#include "aptui/targetpath.h"
#include "aptui/menu.h"
#include "aptui/pinbutton.h"
#include "aptui/windowtitle.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/devicestore.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "shell/aboutdialog.h"
#include "shell/tipdialog.h"
#include "shell/vosktoolmainpage.h"
#include "tests/double/voskdouble.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using VoskTool::VOSKToolMainPage;

// The main window over the test double of the discovery library.
class TestVOSKToolMainPage final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_hints;

    void loadSetup(const QByteArray &children)
    {
        const QString path = m_dir.filePath(QStringLiteral("Setup.xml"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<Setup>" + children + "</Setup>");
        file.close();
        QVERIFY(apt::ConfigureManager::GetInstance()->load(path));
    }

    static VOSK_DEVICE_INFO record(const char *serial, const char *mac)
    {
        VOSK_DEVICE_INFO info;
        std::memset(&info, 0, sizeof info);
        std::strncpy(info.serialNumber, serial, sizeof info.serialNumber - 1);
        std::strncpy(info.mac, mac, sizeof info.mac - 1);
        std::strncpy(info.ipv4Address, "192.168.1.64", sizeof info.ipv4Address - 1);
        info.event = VOSK_EVENT_ONLINE;
        return info;
    }

    // A shown 1000 x 700 window with a 300-pixel pane.
    static void showWithPane(VOSKToolMainPage &window, QWidget *&pane)
    {
        pane = new QWidget;
        pane->setFixedWidth(300);
        window.setRightPane(pane);
        window.resize(1000, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(1000, 700));
    }

    static QWidget *narrowPane()
    {
        auto *pane = new QWidget;
        pane->setFixedWidth(100);
        return pane;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The window keeps its state where the program keeps user files.
        TarnGUIToolkit::SetTargetPath(m_dir.path());
        apt::AppWarningDialog::setHook([this](const QString &text, bool) {
            m_hints.append(text);
            return false;
        });
    }

    void init()
    {
        VOSK::VoskHandler::instance()->stop();
        VoskDouble::reset();
        // Windows come and go; the store of devices stays with the process.
        DeviceStore::instance()->clear();
        m_hints.clear();
        loadSetup(QByteArray());
    }

    void startsDiscoveryWithTheFilter_data()
    {
        QTest::addColumn<QByteArray>("filter");
        QTest::addColumn<int>("rule");
        QTest::newRow("filter on") << QByteArray("<Filter><Value>1</Value></Filter>") << 1;
        QTest::newRow("no setting") << QByteArray() << 0;
    }
    void startsDiscoveryWithTheFilter()
    {
        QFETCH(QByteArray, filter);
        QFETCH(int, rule);
        loadSetup(filter);
        VOSKToolMainPage window;
        QVERIFY(m_hints.isEmpty());
        const QList<VoskDouble::Call> calls = VoskDouble::calls();
        int filterAt = -1;
        int startAt = -1;
        for (int i = 0; i < calls.size(); ++i) {
            if (calls[i].function == QLatin1String("VOSK_SetDeviceFilterRule"))
                filterAt = i;
            else if (calls[i].function == QLatin1String("VOSK_Start_V30"))
                startAt = i;
        }
        QVERIFY(filterAt >= 0 && startAt > filterAt);
        QCOMPARE(calls[filterAt].args.value(0).toInt(), rule);

        // A report from the library's thread reaches the table.
        VoskDouble::fire(record("DS-2CD0001", "aa:bb:cc:00:00:01"));
        QTRY_COMPARE(window.deviceDisplayPage()->model()->rowCount(), 1);
    }

    void initializationFailedStillOpens()
    {
        VoskDouble::setResult(QStringLiteral("VOSK_Start_V30"), 0);
        VOSKToolMainPage window;
        QCOMPARE(m_hints, QStringList{QStringLiteral("Initialization failed.")});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.deviceDisplayPage()->model()->rowCount(), 0);
    }

    void windowShape()
    {
        VOSKToolMainPage window;
        QCOMPARE(window.objectName(), QStringLiteral("VOSKToolMainPage"));
        QCOMPARE(window.size(), QSize(833, 583));
        QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(window.windowTitle(), QStringLiteral("VOSK Tool"));
        QCOMPARE(window.windowTitleBar()->title(), QStringLiteral("VOSK Tool"));
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.menu()->objectName(), QStringLiteral("aboutMenu"));
        QVERIFY(window.menu()->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(window.menu()->windowType(), Qt::Popup);
        QVERIFY(window.menu()->testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(window.menu()->focusPolicy(), Qt::NoFocus);
        QCOMPARE(window.pinBorder()->objectName(), QStringLiteral("m_PinBorder"));
        QVERIFY(!window.isCovered());
        QVERIFY(window.cover()->isHidden());
        QVERIFY(window.rightSpacer()->isHidden());
        QCOMPARE(window.rightSpacer()->maximumWidth(), 10);
        QVERIFY(window.pinBorder()->testAttribute(Qt::WA_TransparentForMouseEvents));
        // The modification pane is the right-hand pane, folded by the pin.
        QVERIFY(qobject_cast<VoskTool::DeviceModifyPage *>(window.rightPane()));
        QCOMPARE(window.pinButton()->buddy(), window.rightPane());
        QVERIFY(!window.pinButton()->isHidden());
    }

    void pinFollowsThePane()
    {
        VOSKToolMainPage window;
        QWidget *pane = nullptr;
        showWithPane(window, pane);
        const int title = window.windowTitleBar()->height();

        QCOMPARE(window.pinBorder()->geometry(), QRect(681, title, 20, 700 - title));
        QCOMPARE(window.pinButton()->geometry(), QRect(681, 190, 20, 80));
        QCOMPARE(window.pinButton()->objectName(), QStringLiteral("m_pUnSpreadButton"));
        QVERIFY(window.rightSpacer()->isHidden());
        // The pin stands beside the table, not over its last column.
        const auto besideTable = [&window] {
            return window.deviceDisplayPage()->geometry().right() < window.pinBorder()->x();
        };
        QVERIFY(besideTable());

        QTest::mouseClick(window.pinButton(), Qt::LeftButton);
        QVERIFY(pane->isHidden());
        QVERIFY(!window.rightSpacer()->isHidden());
        QCOMPARE(window.pinBorder()->pos(), QPoint(969, title));
        QCOMPARE(window.pinButton()->pos(), QPoint(969, 190));
        QCOMPARE(window.pinButton()->objectName(), QStringLiteral("m_pSpreadButton"));
        QTRY_VERIFY(besideTable());

        QTest::mouseClick(window.pinButton(), Qt::LeftButton);
        QVERIFY(!pane->isHidden());
        QVERIFY(window.rightSpacer()->isHidden());
        QCOMPARE(window.pinButton()->pos(), QPoint(681, 190));

        // A resize moves the pin with the pane's edge.
        window.resize(1200, 800);
        QTRY_COMPARE(window.pinButton()->pos(), QPoint(881, 220));
        QCOMPARE(window.pinBorder()->height(), 800 - title);
    }

    void coverOnOffAndResize()
    {
        VOSKToolMainPage window;
        window.resize(1100, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        emit window.deviceDisplayPage()->signalCoverMainPage();
        QVERIFY(window.isCovered());
        QVERIFY(window.cover()->isVisible());
        QCOMPARE(window.cover()->geometry(), QRect(0, 0, 1100, 600));

        window.resize(1200, 700);
        QTRY_COMPARE(window.cover()->geometry(), QRect(0, 0, 1200, 700));

        emit window.deviceDisplayPage()->signalDisCoverMainPage();
        QVERIFY(!window.isCovered());
        QVERIFY(!window.cover()->isVisible());
        // The calls do not nest: the last one wins.
        window.enableCover();
        window.enableCover();
        window.disableCover();
        QVERIFY(!window.isCovered());
    }

    void exitQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("confirmed") << int(QDialog::Accepted) << true;
        QTest::newRow("cancelled") << int(QDialog::Rejected) << false;
    }
    void exitQuestion()
    {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        VOSKToolMainPage window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QString text;
        QString title;
        QSize size;
        bool coveredWhileAsking = false;
        window.setExitDialogRunner([&](VoskTool::TipDialog &dialog) {
            text = dialog.text();
            title = dialog.windowTitle();
            size = dialog.size();
            coveredWhileAsking = window.isCovered();
            return answer;
        });
        QCOMPARE(window.close(), closes);
        QCOMPARE(text, QStringLiteral("Exit the VOSK software?"));
        QCOMPARE(title, QStringLiteral("Exit"));
        QCOMPARE(size, QSize(350, 220));
        QVERIFY(coveredWhileAsking);
        QCOMPARE(window.isVisible(), !closes);
        // Closing keeps the cover to the end; staying removes it.
        QCOMPARE(window.isCovered(), closes);
    }

    // Size, place and maximised state outlive the window: a second window
    // (the next start) opens as the first was left.
    void windowStateKeptAcrossStarts_data()
    {
        QTest::addColumn<QRect>("normal");
        QTest::addColumn<bool>("maximized");
        // Within the test screen (800 x 600) and above the window's minimum
        // width with a narrow pane.
        QTest::newRow("normal") << QRect(20, 30, 775, 520) << false;
        QTest::newRow("maximised") << QRect(10, 20, 780, 480) << true;
    }

    void windowStateKeptAcrossStarts()
    {
        QFETCH(QRect, normal);
        QFETCH(bool, maximized);
        QFile::remove(VOSKToolMainPage::windowStateFile());
        QVERIFY(VOSKToolMainPage::windowStateFile().startsWith(m_dir.path()));
        {
            VOSKToolMainPage first;
            first.setRightPane(narrowPane());
            QVERIFY(!first.restoreWindowState());
            first.setGeometry(normal);
            first.show();
            QVERIFY(QTest::qWaitForWindowExposed(&first));
            if (maximized)
                first.windowTitleBar()->maxOrRestoreWindow();
            first.setExitDialogRunner([](VoskTool::TipDialog &) { return int(QDialog::Accepted); });
            QVERIFY(first.close());
        }
        VOSKToolMainPage second;
        second.setRightPane(narrowPane());
        QVERIFY(second.restoreWindowState());
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        TarnGUIToolkit::CWidgetSizeFactory *factory = second.windowTitleBar()->GetWidgetSizeFactory();
        QCOMPARE(factory->IsMaximized(&second), maximized);
        QCOMPARE(factory->NormalGeometry(&second), normal);
        // Restoring a window that opened maximised goes back to its size.
        if (maximized) {
            second.windowTitleBar()->maxOrRestoreWindow();
            QCOMPARE(second.geometry(), normal);
        }
    }

    void windowStateIgnoresGarbage()
    {
        QFile file(VOSKToolMainPage::windowStateFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[MainWindow]\ngeometry=nonsense\n");
        file.close();
        VOSKToolMainPage window;
        QVERIFY(!window.restoreWindowState());
    }

    // A kept place on a screen that is gone comes back onto one there is.
    void placeOnScreens_data()
    {
        QTest::addColumn<QRect>("kept");
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<QRect>("placed");
        const QRect primary(0, 0, 1280, 770);
        const QRect right(1280, 0, 1920, 1050);
        QTest::newRow("on its screen") << QRect(100, 50, 1000, 700) << QList<QRect>{primary} << QRect(100, 50, 1000, 700);
        QTest::newRow("on the second screen") << QRect(1400, 100, 1600, 900) << QList<QRect>{primary, right}
                                              << QRect(1400, 100, 1600, 900);
        QTest::newRow("second screen gone") << QRect(1400, 100, 1000, 700) << QList<QRect>{primary}
                                            << QRect(0, 0, 1000, 700);
        QTest::newRow("larger than the screen") << QRect(1400, 100, 1600, 900) << QList<QRect>{primary}
                                                << QRect(0, 0, 1280, 770);
        QTest::newRow("hanging past the edge") << QRect(900, 500, 1000, 700) << QList<QRect>{primary}
                                               << QRect(280, 70, 1000, 700);
        QTest::newRow("no screens") << QRect(5, 5, 10, 10) << QList<QRect>{} << QRect(5, 5, 10, 10);
    }

    void placeOnScreens()
    {
        QFETCH(QRect, kept);
        QFETCH(QList<QRect>, areas);
        QFETCH(QRect, placed);
        QCOMPARE(VOSKToolMainPage::placeOnScreens(kept, areas), placed);
    }

    // The about panel opens below the title bar and wholly inside the
    // window, even from a menu button at the window's right edge.
    void aboutMenuStaysInsideTheWindow()
    {
        VOSKToolMainPage window;
        window.setRightPane(narrowPane());
        window.setGeometry(0, 0, 790, 560);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCursor::setPos(window.mapToGlobal(QPoint(window.width() - 60, 10)));
        window.OnBtnSystemMenu();
        QTRY_VERIFY(window.menu()->isVisible());
        const QRect menu = window.menu()->geometry();
        const QRect inside = QRect(window.mapToGlobal(QPoint(0, 0)), window.size());
        QVERIFY2(inside.contains(menu), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(menu.x()).arg(menu.y()).arg(menu.width()).arg(menu.height())));
        QVERIFY(menu.top() >= window.windowTitleBar()->mapToGlobal(QPoint(0, window.windowTitleBar()->height())).y());
        window.menu()->hide();
    }

    // Under the program's style sheet the window, real pane and all, fits
    // the smallest screen the program accepts without a question (1024
    // pixels wide): nothing of it is pushed off the screen.
    void fitsTheSmallestScreen()
    {
        qApp->setStyleSheet(apt::ToolsApplication::applicationStyleSheet());
        {
            VOSKToolMainPage window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY2(window.minimumSizeHint().width() <= 1024, qPrintable(QString::number(window.minimumSizeHint().width())));
        }
        qApp->setStyleSheet(QString());
    }

    void f1AsksForHelp()
    {
        VOSKToolMainPage window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy help(&window, &VOSKToolMainPage::signalGetHelp);
        // F1 opens the manual through the about entry; no viewer starts here.
        int opened = 0;
        window.aboutAction()->setUrlOpener([&opened](const QUrl &) { return ++opened > 0; });
        QTemporaryDir programFolder;
        QFile manual(programFolder.filePath(AboutDialog::englishManualName()));
        QVERIFY(manual.open(QIODevice::WriteOnly));
        manual.close();
        window.aboutAction()->setProgramFolder(programFolder.path());
        QTest::keyClick(&window, Qt::Key_F1);
        QCOMPARE(help.count(), 1);
        // Pressed where the user usually is: in the table.
        auto *table = window.deviceDisplayPage()->findChild<QAbstractItemView *>();
        QVERIFY(table);
        QTest::keyClick(table, Qt::Key_F1);
        QCOMPARE(help.count(), 2);
        QTest::keyClick(&window, Qt::Key_F2);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(help.count(), 2);
        QCOMPARE(opened, 2);
    }
};

QTEST_MAIN(TestVOSKToolMainPage)
#include "tst_vosktoolmainpage.moc"
