#pragma once

#include "aptui/cwidgetsizefactory.h"

#include <QPoint>
#include <QWidget>

namespace TarnGUIToolkit {

// Base of the title bars of frameless windows. Dragging the title with the
// left button moves its top-level window (not while that window is
// maximised); a left double click switches the window between maximised
// and normal through the title's CWidgetSizeFactory and then emits
// SignalWndSizeStatusChanged(), unless SetOpenDoubleClickEnable(false)
// was called (derived titles then do their own switching). Paints its
// style-sheet background. GUI thread only.
class CFancyTitle : public QWidget
{
    Q_OBJECT

public:
    explicit CFancyTitle(QWidget *parent = nullptr);
    ~CFancyTitle() override;

    void SetOpenDoubleClickEnable(bool enable);
    bool IsOpenDoubleClickEnable() const;

    // The factory this title maximises and restores its window with.
    CWidgetSizeFactory *GetWidgetSizeFactory();

Q_SIGNALS:
    // The window was switched between maximised and normal by the title.
    void SignalWndSizeStatusChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    CWidgetSizeFactory m_sizeFactory;
    QPoint m_dragOffset;
    bool m_dragging = false;
    bool m_doubleClickEnabled = true;
};

} // namespace TarnGUIToolkit
