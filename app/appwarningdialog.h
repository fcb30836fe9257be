#pragma once

#include <QCoreApplication>
#include <QString>

#include <functional>

namespace apt {

// The application's own "Hint" message: a framed dialog of 400 x 256
// without parent, object name "APP_WARNINGDLG", whose title bar has only
// the close button. Either without buttons (a notice, closed through the
// title) or with confirm and cancel (a question). Runs modally on the GUI
// thread and returns when it closes.
class AppWarningDialog final
{
    Q_DECLARE_TR_FUNCTIONS(AppWarningDialog)

public:
    AppWarningDialog() = delete;

    // Shows the text; true when a question was confirmed. A notice always
    // returns false.
    static bool show(const QString &text, bool askConfirm);

    // Replaces the dialog for tests: the hook gets the text and whether it
    // is a question and answers in the user's place. An empty function
    // restores the dialog.
    using Hook = std::function<bool(const QString &text, bool askConfirm)>;
    static void setHook(Hook hook);
};

} // namespace apt
