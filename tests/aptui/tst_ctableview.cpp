#include "aptui/ctableheaderview.h"
#include "aptui/ctableview.h"

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
};

QTEST_MAIN(TestCTableView)
#include "tst_ctableview.moc"
