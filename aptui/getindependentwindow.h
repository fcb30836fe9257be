#pragma once

class QWidget;

namespace TarnGUIToolkit {

// The top-level window that holds `widget` (the widget itself when it is a
// window). Returns `fallback` when `widget` is null. GUI thread only.
QWidget *GetIndependentWindow(const QWidget *widget, QWidget *fallback = nullptr);

} // namespace TarnGUIToolkit
