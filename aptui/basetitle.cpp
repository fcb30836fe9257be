#include "aptui/basetitle.h"

#include "ui_basetitle.h"

#include <QAbstractButton>
#include <QMouseEvent>

namespace aptui {

namespace {

void showButton(QAbstractButton *button, bool show)
{
    button->setVisible(show);
    button->setEnabled(show);
}

} // namespace

BaseTitle::BaseTitle(QWidget *parent)
    : BaseTitle(true, true, true, true, true, parent)
{
}

BaseTitle::BaseTitle(bool showAppButton, bool showOptionButton, bool showMinButton, bool showMaxButton,
                     bool showCloseButton, QWidget *parent)
    : CFancyTitle(parent)
    , m_ui(std::make_unique<::Ui::BaseTitle>())
{
    m_ui->setupUi(this);
    // The base would switch the window on a double click by itself, also
    // for dialogs without a maximise button or whose owner switched the
    // maximise connection off; the double click goes the button's way.
    SetOpenDoubleClickEnable(false);

    setAppButtonShow(showAppButton);
    setOptionButtonShow(showOptionButton);
    setMinButtonShow(showMinButton);
    setMaxButtonShow(showMaxButton);
    setCloseButtonShow(showCloseButton);

    connect(m_ui->btnApp, &QAbstractButton::clicked, this, &BaseTitle::signalAppButtonClicked);
    connect(m_ui->btnOption, &QAbstractButton::clicked, this, &BaseTitle::signalOptionButtonClicked);
    connect(m_ui->btnMin, &QAbstractButton::clicked, this, &BaseTitle::signalMinButtonClicked);
    connect(m_ui->btnMax, &QAbstractButton::clicked, this, &BaseTitle::signalMaxButtonClicked);
    connect(m_ui->btnClose, &QAbstractButton::clicked, this, &BaseTitle::signalCloseButtonClicked);
}

BaseTitle::~BaseTitle()
{
    while (QLayoutItem *item = m_ui->m_hlayoutCustomButtons->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

void BaseTitle::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_ui->btnMax->isEnabled() && !m_ui->btnMax->isHidden()) {
        event->accept();
        Q_EMIT signalMaxButtonClicked();
        return;
    }
    CFancyTitle::mouseDoubleClickEvent(event);
}

QString BaseTitle::title() const
{
    return m_ui->labelTitle->text();
}

void BaseTitle::setAppButtonShow(bool show)
{
    showButton(m_ui->btnApp, show);
}

void BaseTitle::setOptionButtonShow(bool show)
{
    showButton(m_ui->btnOption, show);
}

void BaseTitle::setMinButtonShow(bool show)
{
    showButton(m_ui->btnMin, show);
}

void BaseTitle::setMaxButtonShow(bool show)
{
    showButton(m_ui->btnMax, show);
}

void BaseTitle::setCloseButtonShow(bool show)
{
    showButton(m_ui->btnClose, show);
}

void BaseTitle::addCustomButton(QAbstractButton *button)
{
    if (button)
        m_ui->m_hlayoutCustomButtons->addWidget(button);
}

void BaseTitle::setTitle(const QString &title)
{
    m_ui->labelTitle->setText(title);
}

void BaseTitle::setTitleIcon(const QIcon &icon)
{
    m_ui->btnApp->setIcon(icon);
}

} // namespace aptui
