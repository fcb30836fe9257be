#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

namespace TarnGUIToolkit {

// Maximises and restores a frameless top-level window. A frameless window
// maximised by the window system may cover the task bar, so "maximised"
// here means: the window fills the available area of its screen. The
// factory remembers the geometry the window had before, to go back to it.
// One factory serves one window at a time (the title bar that owns it).
// GUI thread only. Every operation accepts null and then does nothing.
class CWidgetSizeFactory final
{
public:
    // True when this factory maximised the window and has not restored it
    // since, or when the window system reports it maximised.
    bool IsMaximized(const QWidget *window) const;
    bool IsFullScreen(const QWidget *window) const;

    // Remembers the current (normal) geometry and fills the screen's
    // available area. Does nothing when the window is already maximised.
    void ShowMaximized(QWidget *window);

    // Leaves the maximised or full-screen state and returns to the
    // remembered geometry; a valid `size` replaces the remembered size.
    // On a window that is not maximised, a valid `size` only resizes it.
    void ShowNormal(QWidget *window, const QSize &size = QSize());

    // The geometry the window has when not maximised: the remembered one
    // while this factory keeps it maximised, the window system's normal
    // geometry while that keeps it maximised, else its geometry now.
    QRect NormalGeometry(const QWidget *window) const;

private:
    QPointer<QWidget> m_window;
    QRect m_normalGeometry;
    bool m_maximized = false;
};

} // namespace TarnGUIToolkit
