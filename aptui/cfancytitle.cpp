#include "aptui/cfancytitle.h"

#include "aptui/getindependentwindow.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace TarnGUIToolkit {

CFancyTitle::CFancyTitle(QWidget *parent)
    : QWidget(parent)
{
}

CFancyTitle::~CFancyTitle() = default;

void CFancyTitle::SetOpenDoubleClickEnable(bool enable)
{
    m_doubleClickEnabled = enable;
}

bool CFancyTitle::IsOpenDoubleClickEnable() const
{
    return m_doubleClickEnabled;
}

CWidgetSizeFactory *CFancyTitle::GetWidgetSizeFactory()
{
    return &m_sizeFactory;
}

void CFancyTitle::mousePressEvent(QMouseEvent *event)
{
    QWidget *window = GetIndependentWindow(this);
    // A title that is its own window has nothing to drag.
    if (event->button() == Qt::LeftButton && window && window != this && !m_sizeFactory.IsMaximized(window)) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - window->pos();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CFancyTitle::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        if (QWidget *window = GetIndependentWindow(this))
            window->move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void CFancyTitle::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void CFancyTitle::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_dragging = false;
    if (!m_doubleClickEnabled || event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    QWidget *window = GetIndependentWindow(this);
    if (!window || window == this)
        return;
    if (m_sizeFactory.IsMaximized(window))
        m_sizeFactory.ShowNormal(window);
    else
        m_sizeFactory.ShowMaximized(window);
    Q_EMIT SignalWndSizeStatusChanged();
}

void CFancyTitle::paintEvent(QPaintEvent *event)
{
    // A QWidget subclass draws no style-sheet background on its own.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QWidget::paintEvent(event);
}

} // namespace TarnGUIToolkit
