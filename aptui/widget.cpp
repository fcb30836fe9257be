#include "aptui/widget.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOption>

namespace aptui {

Widget::Widget(QWidget *parent)
    : QWidget(parent)
{
}

bool Widget::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonDblClick: Q_EMIT signalDoubleClicked(); break;
    case QEvent::MouseButtonPress: Q_EMIT signalMouseClicked(); break;
    case QEvent::Enter: Q_EMIT signalMouseEnter(); break;
    case QEvent::Leave: Q_EMIT signalMouseLeave(); break;
    default: break;
    }
    return QWidget::event(event);
}

void Widget::paintEvent(QPaintEvent *event)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    painter.end();
    QWidget::paintEvent(event);
}

} // namespace aptui
