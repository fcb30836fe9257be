#include "aptui/ctableheaderview.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionButton>

namespace TarnGUIToolkit {

CTableHeaderView::CTableHeaderView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
}

void CTableHeaderView::setModel(QAbstractItemModel *newModel)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_modelConnections))
        disconnect(connection);
    m_modelConnections.clear();
    QHeaderView::setModel(newModel);
    if (!newModel)
        return;
    // The check box mirrors the rows, so any change of them may change it;
    // nothing else the header shows depends on the rows.
    auto repaint = [this] { updateCheckBoxSections(); };
    m_modelConnections << connect(newModel, &QAbstractItemModel::dataChanged, this, repaint)
                       << connect(newModel, &QAbstractItemModel::rowsInserted, this, repaint)
                       << connect(newModel, &QAbstractItemModel::rowsRemoved, this, repaint)
                       << connect(newModel, &QAbstractItemModel::modelReset, this, repaint)
                       << connect(newModel, &QAbstractItemModel::layoutChanged, this, repaint);
}

void CTableHeaderView::updateCheckBoxSections()
{
    // Only the check-box sections: a header with a style sheet costs about a
    // millisecond to paint whole, and rows arriving in a burst repaint it on
    // every turn of the event loop.
    const int sections = count();
    for (int logicalIndex = 0; logicalIndex < sections; ++logicalIndex) {
        if (hasCheckBox(logicalIndex))
            updateSection(logicalIndex);
    }
}

bool CTableHeaderView::hasCheckBox(int logicalIndex) const
{
    return model() && logicalIndex >= 0
        && model()->headerData(logicalIndex, orientation(), CheckAllRole).toInt() == 1;
}

Qt::CheckState CTableHeaderView::columnCheckState(int logicalIndex) const
{
    const QAbstractItemModel *m = model();
    if (!m || orientation() != Qt::Horizontal)
        return Qt::Unchecked;
    bool known = false;
    const int state = m->headerData(logicalIndex, Qt::Horizontal, ColumnCheckStateRole).toInt(&known);
    if (known && state >= Qt::Unchecked && state <= Qt::Checked)
        return static_cast<Qt::CheckState>(state);
    const int rows = m->rowCount(rootIndex());
    int checked = 0;
    for (int row = 0; row < rows; ++row) {
        if (m->index(row, logicalIndex, rootIndex()).data(Qt::CheckStateRole).toInt() == Qt::Checked)
            ++checked;
    }
    if (checked == 0)
        return Qt::Unchecked;
    return checked == rows ? Qt::Checked : Qt::PartiallyChecked;
}

void CTableHeaderView::setColumnCheckState(int logicalIndex, Qt::CheckState state)
{
    QAbstractItemModel *m = model();
    if (!m || orientation() != Qt::Horizontal)
        return;
    QList<QPersistentModelIndex> changing;
    const int rows = m->rowCount(rootIndex());
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = m->index(row, logicalIndex, rootIndex());
        if (index.data(Qt::CheckStateRole).toInt() != state)
            changing << index;
    }
    if (changing.isEmpty())
        return;
    const QPersistentModelIndex last = changing.takeLast();
    if (!changing.isEmpty()) {
        const QSignalBlocker blocker(m);
        for (const QPersistentModelIndex &index : std::as_const(changing))
            m->setData(index, state, Qt::CheckStateRole);
    }
    // No dataChanged for the silent rows: QStandardItemModel turns every
    // dataChanged into one itemChanged per cell of its range. The view
    // paints from the model, so a repaint shows them.
    if (auto *view = qobject_cast<QAbstractItemView *>(parentWidget()))
        view->viewport()->update();
    // The one change every listener hears, with all other rows set already.
    m->setData(last, state, Qt::CheckStateRole);
}

void CTableHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (!hasCheckBox(logicalIndex))
        return;
    QStyleOptionButton option;
    option.initFrom(this);
    const int width = style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, this);
    const int height = style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this);
    option.rect = QRect(rect.x() + (rect.width() - width) / 2, rect.y() + (rect.height() - height) / 2, width,
                        height);
    option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    switch (columnCheckState(logicalIndex)) {
    case Qt::Checked: option.state |= QStyle::State_On; break;
    case Qt::PartiallyChecked: option.state |= QStyle::State_NoChange; break;
    case Qt::Unchecked: option.state |= QStyle::State_Off; break;
    }
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, painter, this);
}

bool CTableHeaderView::toggleAt(const QPoint &position)
{
    const int logicalIndex = logicalIndexAt(position);
    if (!hasCheckBox(logicalIndex))
        return false;
    const Qt::CheckState next = columnCheckState(logicalIndex) == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    setColumnCheckState(logicalIndex, next);
    viewport()->update();
    Q_EMIT columnCheckStateToggled(logicalIndex, next);
    return true;
}

void CTableHeaderView::mousePressEvent(QMouseEvent *event)
{
    // A check-box section neither sorts nor starts a drag.
    if (event->button() == Qt::LeftButton && toggleAt(event->position().toPoint())) {
        m_swallowRelease = true;
        event->accept();
        return;
    }
    QHeaderView::mousePressEvent(event);
}

void CTableHeaderView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_swallowRelease) {
        m_swallowRelease = false;
        event->accept();
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}

void CTableHeaderView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second click of a double click toggles again, as a check box does.
    if (event->button() == Qt::LeftButton && toggleAt(event->position().toPoint())) {
        m_swallowRelease = true;
        event->accept();
        return;
    }
    QHeaderView::mouseDoubleClickEvent(event);
}

} // namespace TarnGUIToolkit
