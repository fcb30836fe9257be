#include "aptui/cfancytitle.h"
#include "aptui/chboxlayout.h"
#include "aptui/cwidgetitem.h"

#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

using TarnGUIToolkit::CFancyTitle;

namespace {

void sendMouse(QWidget *widget, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(widget->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestCFancyTitle final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dragMovesWindow_data()
    {
        QTest::addColumn<bool>("maximised");
        QTest::newRow("normal") << false;
        QTest::newRow("maximised stays") << true;
    }

    void dragMovesWindow()
    {
        QFETCH(bool, maximised);
        QWidget window;
        window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        auto *title = new CFancyTitle(&window);
        title->setGeometry(0, 0, 300, 30);
        window.setGeometry(100, 100, 300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (maximised)
            title->GetWidgetSizeFactory()->ShowMaximized(&window);
        const QPoint start = window.pos();

        sendMouse(title, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
        // Global positions follow the window; compute the drag target first.
        const QPoint to = title->mapToGlobal(QPoint(10, 10)) + QPoint(50, 30);
        QMouseEvent move(QEvent::MouseMove, QPointF(title->mapFromGlobal(to)), QPointF(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(title, &move);
        sendMouse(title, QEvent::MouseButtonRelease, title->mapFromGlobal(to), Qt::LeftButton, Qt::NoButton);

        QCOMPARE(window.pos(), maximised ? start : start + QPoint(50, 30));
    }

    void doubleClickSwitchesUnlessDisabled_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("enabled") << true;
        QTest::newRow("disabled") << false;
    }

    void doubleClickSwitchesUnlessDisabled()
    {
        QFETCH(bool, enabled);
        QWidget window;
        window.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        auto *title = new CFancyTitle(&window);
        title->SetOpenDoubleClickEnable(enabled);
        title->setGeometry(0, 0, 300, 30);
        window.setGeometry(100, 100, 300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect normal = window.geometry();
        QSignalSpy changed(title, &CFancyTitle::SignalWndSizeStatusChanged);

        QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(title->GetWidgetSizeFactory()->IsMaximized(&window), enabled);
        QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(title->GetWidgetSizeFactory()->IsMaximized(&window), false);
        QCOMPARE(window.geometry(), normal);
        QCOMPARE(changed.count(), enabled ? 2 : 0);
    }

    void restoreWithSize()
    {
        QWidget window;
        window.setGeometry(30, 40, 300, 200);
        TarnGUIToolkit::CWidgetSizeFactory factory;
        factory.ShowMaximized(&window);
        factory.ShowMaximized(&window); // already maximised: the normal geometry is kept
        QVERIFY(factory.IsMaximized(&window));
        factory.ShowNormal(&window, QSize(320, 240));
        QCOMPARE(window.geometry(), QRect(30, 40, 320, 240));
        QVERIFY(!factory.IsMaximized(nullptr));
        factory.ShowNormal(nullptr);
    }

    void layoutAdoptsItemWidgets()
    {
        QWidget host;
        auto *layout = new TarnGUIToolkit::CHBoxLayout(&host);
        auto *label = new QLabel(QStringLiteral("t"));
        layout->AddItem(new TarnGUIToolkit::CWidgetItem(label, Qt::AlignLeft));
        layout->AddItem(nullptr);
        QCOMPARE(label->parentWidget(), &host);
        QCOMPARE(layout->count(), 1);
        QCOMPARE(layout->itemAt(0)->alignment(), Qt::Alignment(Qt::AlignLeft));
    }
};

QTEST_MAIN(TestCFancyTitle)
#include "tst_cfancytitle.moc"
