#pragma once

#include <QHeaderView>
#include <QMetaObject>

namespace TarnGUIToolkit {

// The header of CTableView. A section whose header data holds 1 under
// CheckAllRole shows a check box reflecting that column's rows (none,
// some, all checked); a click on the section checks every row, or unchecks
// every row when all are checked already, instead of sorting.
//
// Checking a whole column sets the rows with the model's signals held back
// and then changes one last row normally, so listeners of per-item signals
// (QStandardItemModel::itemChanged) hear of the change once, not once per
// row, and see every row already in its new state. The header's own view
// is repainted; other views of the same model hear of the last row only.
//
// Counting the rows costs a pass over the whole column on every repaint of
// the check box, and the box is repainted whenever rows come or change. A
// model that keeps that count itself answers the column's state (a
// Qt::CheckState as int) under ColumnCheckStateRole on the section's
// header, and the header takes it from there.
class CTableHeaderView final : public QHeaderView
{
    Q_OBJECT

public:
    static constexpr int CheckAllRole = 162;
    static constexpr int ColumnCheckStateRole = 163;

    explicit CTableHeaderView(Qt::Orientation orientation, QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    // Whether that section carries the check box.
    bool hasCheckBox(int logicalIndex) const;
    // Unchecked with no rows or none checked, Checked when all are,
    // PartiallyChecked otherwise: the model's ColumnCheckStateRole answer
    // when it gives one, else a count over the rows.
    Qt::CheckState columnCheckState(int logicalIndex) const;
    // Sets every row of that column to state (see the class comment).
    void setColumnCheckState(int logicalIndex, Qt::CheckState state);

Q_SIGNALS:
    // After a click on a check-box section has changed its rows.
    void columnCheckStateToggled(int logicalIndex, Qt::CheckState state);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool toggleAt(const QPoint &position);
    void updateCheckBoxSections();

    QList<QMetaObject::Connection> m_modelConnections;
    bool m_swallowRelease = false;
};

} // namespace TarnGUIToolkit
