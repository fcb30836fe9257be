#include "aptui/ctableheaderview.h"
#include "aptui/ctableview.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

using TarnGUIToolkit::CTableHeaderView;
using TarnGUIToolkit::CTableView;

namespace {

void fill(QStandardItemModel &model, int rows)
{
    model.setColumnCount(2);
    for (int row = 0; row < rows; ++row) {
        auto *check = new QStandardItem;
        check->setCheckable(true);
        check->setCheckState(Qt::Unchecked);
        model.appendRow({check, new QStandardItem(QString::number(row))});
    }
    model.setHeaderData(0, Qt::Horizontal, 1, CTableHeaderView::CheckAllRole);
}

int checkedCount(const QStandardItemModel &model)
{
    int n = 0;
    for (int row = 0; row < model.rowCount(); ++row)
        n += model.item(row, 0)->checkState() == Qt::Checked;
    return n;
}

QPoint sectionPoint(const QHeaderView *header, int logical)
{
    return QPoint(header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2, header->height() / 2);
}

// Counts the paint events a widget gets.
class PaintCounter final : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

class TestCTableView final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void gridLine()
    {
        CTableView view;
        view.ShowGridLine(false);
        QVERIFY(!view.showGrid());
        static_cast<TarnGUIToolkit::CAbstractItemView &>(view).ShowGridLine(true);
        QVERIFY(view.showGrid());
    }

    void headerClickChecksAllOnce()
    {
        QStandardItemModel model;
        fill(model, 1000);
        CTableView view;
        view.setModel(&model);
        view.setSortingEnabled(true);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        CTableHeaderView *header = view.tableHeader();
        QVERIFY(header->hasCheckBox(0));
        QVERIFY(!header->hasCheckBox(1));

        // Whoever counts the checked rows on each change hears it once and
        // finds every row in its final state.
        QList<int> seen;
        connect(&model, &QStandardItemModel::itemChanged, &view,
                [&](QStandardItem *) { seen << checkedCount(model); });
        QSignalSpy clicked(header, &QHeaderView::sectionClicked);
        QSignalSpy pressed(header, &QHeaderView::sectionPressed);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sectionPoint(header, 0));
        QCOMPARE(seen, QList<int>{1000});
        QCOMPARE(header->columnCheckState(0), Qt::Checked);
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(pressed.count(), 0);
        QCOMPARE(changed.count(), 1);

        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sectionPoint(header, 0));
        QCOMPARE(seen, (QList<int>{1000, 0}));
        QCOMPARE(header->columnCheckState(0), Qt::Unchecked);

        // From a partial selection the click checks the rest.
        model.item(10, 0)->setCheckState(Qt::Checked);
        model.item(20, 0)->setCheckState(Qt::Checked);
        QCOMPARE(header->columnCheckState(0), Qt::PartiallyChecked);
        seen.clear();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sectionPoint(header, 0));
        QCOMPARE(seen, QList<int>{1000});

        // Other sections still sort.
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sectionPoint(header, 1));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 1);
    }

    void singleChangeAndEmptyModel()
    {
        QStandardItemModel model;
        fill(model, 0);
        CTableView view;
        view.setModel(&model);
        CTableHeaderView *header = view.tableHeader();
        QCOMPARE(header->columnCheckState(0), Qt::Unchecked);
        header->setColumnCheckState(0, Qt::Checked); // nothing to do, nothing breaks

        fill(model, 1);
        QSignalSpy items(&model, &QStandardItemModel::itemChanged);
        header->setColumnCheckState(0, Qt::Checked);
        QCOMPARE(items.count(), 1);
        QCOMPARE(header->columnCheckState(0), Qt::Checked);
        header->setColumnCheckState(0, Qt::Checked);
        QCOMPARE(items.count(), 1);
    }

    // Rows appended below the visible ones grow the scroll range without a
    // repaint of the cells; anything that may show is painted.
    void appendsOutOfSightSkipTheRepaint_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("repaints");
        QTest::newRow("append out of sight") << 0 << false;
        QTest::newRow("insert at the top") << 1 << true;
        QTest::newRow("remove a row") << 2 << true;
        QTest::newRow("sort") << 3 << true;
        QTest::newRow("append, then remove") << 4 << true;
    }

    void appendsOutOfSightSkipTheRepaint()
    {
        QFETCH(int, change);
        QFETCH(bool, repaints);
        QStandardItemModel model;
        fill(model, 50);
        CTableView view;
        view.setModel(&model);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCoreApplication::processEvents();
        PaintCounter counter;
        view.viewport()->installEventFilter(&counter);
        const int maximum = view.verticalScrollBar()->maximum();

        const auto append = [&model](int n) {
            for (int i = 0; i < n; ++i)
                model.appendRow({new QStandardItem, new QStandardItem(QStringLiteral("new"))});
        };
        switch (change) {
        case 0: append(10); break;
        case 1: model.insertRow(0, {new QStandardItem, new QStandardItem(QStringLiteral("top"))}); break;
        case 2: model.removeRow(0); break;
        case 3: model.sort(1, Qt::DescendingOrder); break;
        case 4: append(3); model.removeRow(0); break;
        }
        if (repaints) {
            QTRY_VERIFY(counter.paints > 0);
        } else {
            // Laid out again (the scroll range grew), and nothing painted.
            QTRY_VERIFY(view.verticalScrollBar()->maximum() > maximum);
            QCoreApplication::processEvents();
            QCOMPARE(counter.paints, 0);
        }
    }

    void firstRowsOfAnEmptyTableArePainted()
    {
        QStandardItemModel model;
        fill(model, 0);
        CTableView view;
        view.setModel(&model);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCoreApplication::processEvents();
        PaintCounter counter;
        view.viewport()->installEventFilter(&counter);
        fill(model, 3);
        QTRY_VERIFY(counter.paints > 0);
    }
};

QTEST_MAIN(TestCTableView)
#include "tst_ctableview.moc"
