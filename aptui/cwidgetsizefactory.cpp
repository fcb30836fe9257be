#include "aptui/cwidgetsizefactory.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace TarnGUIToolkit {

namespace {

QRect availableAreaFor(const QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

bool CWidgetSizeFactory::IsMaximized(const QWidget *window) const
{
    if (!window)
        return false;
    return window->isMaximized() || (m_maximized && m_window == window);
}

bool CWidgetSizeFactory::IsFullScreen(const QWidget *window) const
{
    return window && window->isFullScreen();
}

void CWidgetSizeFactory::ShowMaximized(QWidget *window)
{
    if (!window || IsMaximized(window))
        return;
    const QRect area = availableAreaFor(window);
    if (!area.isValid()) {
        // No screen to measure: leave it to the window system.
        window->showMaximized();
        return;
    }
    m_window = window;
    m_normalGeometry = window->geometry();
    m_maximized = true;
    window->setGeometry(area);
}

void CWidgetSizeFactory::ShowNormal(QWidget *window, const QSize &size)
{
    if (!window)
        return;
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        window->setWindowState(window->windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen));

    if (m_maximized && m_window == window) {
        m_maximized = false;
        QRect geometry = m_normalGeometry;
        if (size.isValid())
            geometry.setSize(size);
        window->setGeometry(geometry);
        return;
    }
    if (size.isValid())
        window->resize(size);
}

QRect CWidgetSizeFactory::NormalGeometry(const QWidget *window) const
{
    if (!window)
        return QRect();
    if (m_maximized && m_window == window)
        return m_normalGeometry;
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return window->normalGeometry();
    return window->geometry();
}

} // namespace TarnGUIToolkit
