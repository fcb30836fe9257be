#include "aptui/windowtitle.h"

#include "aptui/chboxlayout.h"
#include "aptui/cwidgetitem.h"
#include "aptui/getindependentwindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>

namespace aptui {

namespace {

QToolButton *makeTitleButton(const QString &name, Qt::FocusPolicy focus, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setFixedSize(24, 24);
    button->setFocusPolicy(focus);
    return button;
}

} // namespace

WindowTitle::WindowTitle(QWidget *parent)
    : CFancyTitle(parent)
{
    setFixedHeight(35);
    // The title switches the window itself (with the button renaming).
    SetOpenDoubleClickEnable(false);

    m_labelTitle = new QLabel(this);
    m_labelTitle->setObjectName(QStringLiteral("m_labelTitle"));
    m_labelTitle->setTextFormat(Qt::PlainText);
    m_btnIcon = makeTitleButton(QStringLiteral("m_btnIcon"), Qt::NoFocus, this);
    m_btnMinimize = makeTitleButton(QStringLiteral("m_btnMinimize"), Qt::NoFocus, this);
    m_btnMaximize = makeTitleButton(QStringLiteral("m_btnMaximize"), Qt::NoFocus, this);
    m_btnClose = makeTitleButton(QStringLiteral("m_btnClose"), Qt::NoFocus, this);
    m_btnSystemMenu = makeTitleButton(QStringLiteral("m_btnSystemMenu"), Qt::NoFocus, this);
    m_btnClose->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));

    auto *buttons = new QWidget(this);
    auto *buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->setSpacing(0);
    buttonLayout->addStretch();
    buttonLayout->addWidget(m_btnSystemMenu);
    buttonLayout->addSpacing(12);
    buttonLayout->addWidget(m_btnMinimize);
    buttonLayout->addWidget(m_btnMaximize);
    buttonLayout->addWidget(m_btnClose);

    auto *layout = new TarnGUIToolkit::CHBoxLayout(this);
    layout->SetLayoutContentsMargins(4, 0, 4, 0);
    layout->SetLayoutSpacing(10);
    layout->AddWidget(m_btnIcon);
    layout->AddItem(new TarnGUIToolkit::CWidgetItem(m_labelTitle, Qt::AlignLeft | Qt::AlignVCenter));
    layout->AddItem(new QSpacerItem(5, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
    layout->AddWidget(buttons, 1);

    connect(m_btnMinimize, &QToolButton::clicked, this, &WindowTitle::minimizeWindow);
    // Queued: the button must finish its click before the window (and the
    // button's own geometry) changes under it.
    connect(m_btnMaximize, &QToolButton::clicked, this, &WindowTitle::maxOrRestoreWindow, Qt::QueuedConnection);
    connect(m_btnClose, &QToolButton::clicked, this, &WindowTitle::closeWindow);
    connect(m_btnSystemMenu, &QToolButton::clicked, this, &WindowTitle::displaySyetemMenu);
}

QString WindowTitle::title() const
{
    return m_labelTitle->text();
}

void WindowTitle::setTitle(const QString &title)
{
    m_labelTitle->setText(title);
}

void WindowTitle::setTitleIcon(const QIcon &icon)
{
    m_btnIcon->setIcon(icon);
}

QWidget *WindowTitle::targetWindow() const
{
    QWidget *window = TarnGUIToolkit::GetIndependentWindow(this);
    // A title that is a window of its own has no window to act on.
    return window == this ? nullptr : window;
}

void WindowTitle::minimizeWindow()
{
    if (QWidget *window = targetWindow())
        window->showMinimized();
}

void WindowTitle::maxOrRestoreWindow()
{
    QWidget *window = targetWindow();
    if (!window)
        return;
    TarnGUIToolkit::CWidgetSizeFactory *factory = GetWidgetSizeFactory();
    if (factory->IsMaximized(window)) {
        factory->ShowNormal(window, QSize());
        m_btnMaximize->setObjectName(QStringLiteral("m_btnMaximize"));
    } else {
        factory->ShowMaximized(window);
        m_btnMaximize->setObjectName(QStringLiteral("m_btnResore"));
    }
    // Style sheets do not notice a new object name by themselves.
    m_btnMaximize->style()->unpolish(m_btnMaximize);
    m_btnMaximize->style()->polish(m_btnMaximize);
    m_btnMaximize->update();
}

void WindowTitle::closeWindow()
{
    QWidget *window = targetWindow();
    if (!window)
        return;
    // close() runs the window's own close handling (the exit question);
    // only a window that really closed counts as the application closing.
    if (window->close())
        Q_EMIT signalCloseApp();
}

void WindowTitle::displaySyetemMenu()
{
    Q_EMIT signalSystemMenu();
}

void WindowTitle::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    if (!targetWindow())
        return;
    maxOrRestoreWindow();
    Q_EMIT SignalWndSizeStatusChanged();
}

} // namespace aptui
