#pragma once

#include "aptui/cfancytitle.h"

#include <QIcon>

class QLabel;
class QToolButton;

namespace aptui {

// The main window's title bar: icon, title text, system-menu button and
// minimise, maximise/restore and close buttons (close also on Alt+F4).
// Every action works on the title's top-level window and does nothing
// while the title is not inside one. A left double click anywhere on the
// title switches maximised/normal and emits SignalWndSizeStatusChanged().
// The maximise button is named "m_btnMaximize" while the window is normal
// and "m_btnResore" while it is maximised, for the style sheet's icons.
// GUI thread only.
class WindowTitle final : public TarnGUIToolkit::CFancyTitle
{
    Q_OBJECT

public:
    explicit WindowTitle(QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    void setTitleIcon(const QIcon &icon);

Q_SIGNALS:
    // The window was closed through the title (not emitted when the
    // window refused to close, e.g. the user declined the exit question).
    void signalCloseApp();
    void signalSystemMenu();

public Q_SLOTS:
    void minimizeWindow();
    void maxOrRestoreWindow();
    void closeWindow();
    void displaySyetemMenu();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QWidget *targetWindow() const;

    QLabel *m_labelTitle = nullptr;
    QToolButton *m_btnIcon = nullptr;
    QToolButton *m_btnMinimize = nullptr;
    QToolButton *m_btnMaximize = nullptr;
    QToolButton *m_btnClose = nullptr;
    QToolButton *m_btnSystemMenu = nullptr;
};

} // namespace aptui
