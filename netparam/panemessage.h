#pragma once

#include <QPoint>
#include <QString>

#include <functional>

class QLabel;

namespace aptui {
class MultiStateLineEdit;
}

namespace VoskTool {

// One message of the right-hand pane: a field check that failed or the
// outcome of an operation. Shown as a message bubble, which marks
// `field` with the icon in `hint` when both are given.
// The kinds, numbered as the bubble's own (WarningDialog::Kind).
enum PaneMessageKind : int {
    MessageSuccess = 0,
    MessageError = 2,
};

struct PaneMessage
{
    int kind = MessageError;
    QString text;
    QPoint position;                             // global, top-left of the bubble
    aptui::MultiStateLineEdit *field = nullptr;  // marked, with
    QLabel *hint = nullptr;                      // its hint label
    bool tall = false;                           // the 310 x 160 bubble for long texts
};

// Shows a message. The main window gives the pane one that opens a bubble
// that stays until read and never takes the keyboard (the pane links
// nothing of the shell), and returns at once; tests give one that records.
using PaneMessenger = std::function<void(const PaneMessage &)>;

} // namespace VoskTool
