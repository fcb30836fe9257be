#include "aptui/coverwidget.h"

#include <QHBoxLayout>

namespace aptui {

CoverWidget::CoverWidget(QWidget *parent)
    : Widget(parent)
    , m_cover(new Widget(this))
{
    m_cover->setObjectName(QStringLiteral("m_cover"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_cover);
    setAttribute(Qt::WA_TranslucentBackground);
}

} // namespace aptui
