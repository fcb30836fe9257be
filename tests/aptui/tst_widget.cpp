#include "aptui/coverwidget.h"
#include "aptui/widget.h"

#include <QEnterEvent>
#include <QLayout>
#include <QSignalSpy>
#include <QTest>

class TestWidget final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mouseSignals()
    {
        aptui::Widget widget;
        widget.resize(50, 50);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QSignalSpy clicked(&widget, &aptui::Widget::signalMouseClicked);
        QSignalSpy doubleClicked(&widget, &aptui::Widget::signalDoubleClicked);
        QSignalSpy entered(&widget, &aptui::Widget::signalMouseEnter);
        QSignalSpy left(&widget, &aptui::Widget::signalMouseLeave);
        QTest::mouseClick(&widget, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QTest::mouseDClick(&widget, Qt::LeftButton);
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QCoreApplication::sendEvent(&widget, &enter);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&widget, &leave);
        QCOMPARE(doubleClicked.count(), 1);
        QCOMPARE(entered.count(), 1);
        QCOMPARE(left.count(), 1);
    }

    void paintsStyleSheetBackground()
    {
        aptui::Widget widget;
        widget.setStyleSheet(QStringLiteral("aptui--Widget { background: rgb(247, 66, 72); }"));
        widget.resize(20, 20);
        const QImage image = widget.grab().toImage();
        QCOMPARE(image.pixelColor(10, 10), QColor(247, 66, 72));
    }

    void coverHoldsInnerWidget()
    {
        aptui::CoverWidget cover;
        QWidget *inner = cover.findChild<QWidget *>(QStringLiteral("m_cover"));
        QCOMPARE(inner, cover.cover());
        QCOMPARE(cover.layout()->contentsMargins(), QMargins());
        QVERIFY(cover.testAttribute(Qt::WA_TranslucentBackground));
    }
};

QTEST_MAIN(TestWidget)
#include "tst_widget.moc"
