#include "aptui/treeviewwithleftpixmapdelegate.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

namespace {

// Records the state of every item the view's style is asked to draw.
class RecordingStyle final : public QProxyStyle
{
public:
    mutable QList<QStyle::State> states;
    mutable QList<QStyleOptionViewItem::Position> positions;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_ItemViewItem) {
            states << option->state;
            if (const auto *item = qstyleoption_cast<const QStyleOptionViewItem *>(option))
                positions << item->decorationPosition;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

class TestTreeViewWithLeftPixmapDelegate final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void selectedPaintsAsHovered_data()
    {
        QTest::addColumn<int>("inState");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("mouseOver");
        QTest::newRow("selected") << int(QStyle::State_Selected | QStyle::State_Enabled) << false << true;
        QTest::newRow("plain") << int(QStyle::State_Enabled) << false << false;
        QTest::newRow("hovered") << int(QStyle::State_MouseOver | QStyle::State_Enabled) << false << true;
    }

    void selectedPaintsAsHovered()
    {
        QFETCH(int, inState);
        QFETCH(bool, selected);
        QFETCH(bool, mouseOver);
        RecordingStyle style;
        QTableView view;
        view.setStyle(&style);
        QStandardItemModel model(1, 1);
        model.setItem(0, 0, new QStandardItem(QStringLiteral("x")));
        view.setModel(&model);
        aptui::TreeViewWithLeftPixmapDelegate delegate(&view);

        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.widget = &view;
        option.rect = QRect(0, 0, 80, 20);
        option.state = QStyle::State(inState);
        QImage image(80, 20, QImage::Format_ARGB32);
        QPainter painter(&image);
        delegate.paint(&painter, option, model.index(0, 0));
        QCOMPARE(style.states.size(), 1);
        QCOMPARE(bool(style.states.at(0) & QStyle::State_Selected), selected);
        QCOMPARE(bool(style.states.at(0) & QStyle::State_MouseOver), mouseOver);
        QVERIFY(style.states.at(0) & QStyle::State_Enabled);
    }

    void baseDelegateUsesHooks()
    {
        RecordingStyle style;
        QTableView view;
        view.setStyle(&style);
        QStandardItemModel model(1, 1);
        view.setModel(&model);
        TarnGUIToolkit::CTableDelegate base(&view);
        QStyleOptionViewItem option;
        option.widget = &view;
        option.rect = QRect(0, 0, 80, 20);
        QImage image(80, 20, QImage::Format_ARGB32);
        QPainter painter(&image);
        base.paint(&painter, option, model.index(0, 0));
        QCOMPARE(style.positions, QList<QStyleOptionViewItem::Position>{QStyleOptionViewItem::Top});
    }
};

QTEST_MAIN(TestTreeViewWithLeftPixmapDelegate)
#include "tst_treeviewwithleftpixmapdelegate.moc"
