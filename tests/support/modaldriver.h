#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

// Drives a modal dialog from inside its exec() loop: arm it right before
// the call that runs exec(). `action` gets the active modal dialog; when
// it leaves the dialog open (a check failed, or it only looked), the
// dialog is closed with Rejected, so a test can never hang on a modal loop. Checks
// belong after exec() returns, on values the action recorded.
namespace TestSupport {

// Gives up (leaving the dialog to its own end) after about two seconds
// without a modal dialog.
inline void onModal(std::function<void(QDialog *)> action, int attemptsLeft = 200, int delayMs = 0)
{
    QTimer::singleShot(delayMs, qApp, [action, attemptsLeft] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            if (attemptsLeft > 0)
                onModal(action, attemptsLeft - 1, 10);
            return;
        }
        action(dialog);
        // done(), not reject(): some dialogs refuse reject() on purpose.
        if (dialog->isVisible())
            dialog->done(QDialog::Rejected);
    });
}

} // namespace TestSupport
