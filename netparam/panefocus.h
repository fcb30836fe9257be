#pragma once

class QWidget;

namespace VoskTool {

// Gives `target` the keyboard focus when the focus is nowhere or already in
// the right-hand pane that holds `target`, and leaves it alone elsewhere: a
// check box ticked in the table with Space refreshes the pane, and the
// arrows must go on moving through the table. GUI thread.
void focusInPane(QWidget *target);

} // namespace VoskTool
