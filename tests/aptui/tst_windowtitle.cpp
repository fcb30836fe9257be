#include "aptui/windowtitle.h"

#include <QCloseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using aptui::WindowTitle;

namespace {

// A frameless top-level window with the title on top; it can refuse to
// close, as the main window does when the exit question is declined.
class TitledWindow final : public QWidget
{
public:
    TitledWindow()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        title = new WindowTitle(this);
        layout->addWidget(title);
        layout->addStretch();
        setGeometry(40, 50, 400, 300);
    }

    WindowTitle *title = nullptr;
    bool refuseClose = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (refuseClose)
            event->ignore();
        else
            event->accept();
    }
};

QToolButton *maximizeButton(const WindowTitle *title)
{
    // The maximise button is the only one that changes its name.
    for (QToolButton *button : title->findChildren<QToolButton *>()) {
        if (button->objectName() == QLatin1String("m_btnMaximize") || button->objectName() == QLatin1String("m_btnResore"))
            return button;
    }
    return nullptr;
}

} // namespace

class TestWindowTitle final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void doubleClickTogglesAndRenames_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("double click") << false;
        QTest::newRow("maximise button") << true;
    }

    void doubleClickTogglesAndRenames()
    {
        QFETCH(bool, byButton);
        TitledWindow window;
        // The renamed button must pick up its look at once.
        window.setStyleSheet(QStringLiteral("QToolButton#m_btnResore { color: #f74248; }"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect normal = window.geometry();
        const QColor accent(QStringLiteral("#f74248"));
        QToolButton *button = maximizeButton(window.title);
        QVERIFY(button);
        QSignalSpy sizeChanged(window.title, &WindowTitle::SignalWndSizeStatusChanged);
        auto toggle = [&] {
            if (byButton)
                QTest::mouseClick(button, Qt::LeftButton); // queued: settle below
            else
                QTest::mouseDClick(window.title, Qt::LeftButton, {}, QPoint(200, 10));
        };

        toggle();
        QTRY_COMPARE(button->objectName(), QStringLiteral("m_btnResore"));
        QVERIFY(window.title->GetWidgetSizeFactory()->IsMaximized(&window));
        QVERIFY(window.geometry() != normal);
        QCOMPARE(button->palette().color(QPalette::ButtonText), accent);

        toggle();
        QTRY_COMPARE(button->objectName(), QStringLiteral("m_btnMaximize"));
        QVERIFY(!window.title->GetWidgetSizeFactory()->IsMaximized(&window));
        QCOMPARE(window.geometry(), normal);
        QVERIFY(button->palette().color(QPalette::ButtonText) != accent);
        QCOMPARE(sizeChanged.count(), byButton ? 0 : 2);
    }

    void otherButtonsDoubleClickIgnored()
    {
        TitledWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy sizeChanged(window.title, &WindowTitle::SignalWndSizeStatusChanged);
        QTest::mouseDClick(window.title, Qt::RightButton, {}, QPoint(200, 10));
        QVERIFY(!window.title->GetWidgetSizeFactory()->IsMaximized(&window));
        QCOMPARE(sizeChanged.count(), 0);
    }

    void closeWindow_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::newRow("closes") << false;
        QTest::newRow("refused") << true;
    }

    void closeWindow()
    {
        QFETCH(bool, refuse);
        TitledWindow window;
        window.refuseClose = refuse;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy closeApp(window.title, &WindowTitle::signalCloseApp);
        auto *close = window.title->findChild<QToolButton *>(QStringLiteral("m_btnClose"));
        QVERIFY(close);
        QTest::mouseClick(close, Qt::LeftButton);
        QCOMPARE(window.isVisible(), refuse);
        QCOMPARE(closeApp.count(), refuse ? 0 : 1);
    }

    void altF4Closes()
    {
        TitledWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy closeApp(window.title, &WindowTitle::signalCloseApp);
        // A button's shortcut animates a click, which lands a moment later.
        QTest::keyClick(&window, Qt::Key_F4, Qt::AltModifier);
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(closeApp.count(), 1);
    }

    void withoutWindowNothingHappens()
    {
        WindowTitle title;
        title.show();
        QSignalSpy closeApp(&title, &WindowTitle::signalCloseApp);
        QSignalSpy sizeChanged(&title, &WindowTitle::SignalWndSizeStatusChanged);
        title.closeWindow();
        title.maxOrRestoreWindow();
        QTest::mouseDClick(&title, Qt::LeftButton, {}, QPoint(20, 10));
        QVERIFY(title.isVisible());
        QCOMPARE(closeApp.count(), 0);
        QCOMPARE(sizeChanged.count(), 0);
        QCOMPARE(maximizeButton(&title)->objectName(), QStringLiteral("m_btnMaximize"));
    }

    void systemMenuButtonEmits()
    {
        TitledWindow window;
        QSignalSpy menu(window.title, &WindowTitle::signalSystemMenu);
        window.show();
        QTest::mouseClick(window.title->findChild<QToolButton *>(QStringLiteral("m_btnSystemMenu")), Qt::LeftButton);
        QCOMPARE(menu.count(), 1);
        QCOMPARE(window.title->height(), 35);
    }
};

QTEST_MAIN(TestWindowTitle)
#include "tst_windowtitle.moc"
