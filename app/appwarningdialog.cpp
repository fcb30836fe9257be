#include "app/appwarningdialog.h"

#include "aptui/basedialog.h"

namespace apt {

namespace {

AppWarningDialog::Hook &hook()
{
    static AppWarningDialog::Hook instance;
    return instance;
}

} // namespace

bool AppWarningDialog::show(const QString &text, bool askConfirm)
{
    if (hook())
        return hook()(text, askConfirm);

    // Only the close button in the title; confirm and cancel only for a
    // question. No parent: start-up shows it before any window exists.
    aptui::BaseDialog dialog(false, false, false, false, true, askConfirm, askConfirm, nullptr);
    dialog.setObjectName(QStringLiteral("APP_WARNINGDLG"));
    dialog.setTitle(tr("Hint"));
    dialog.setBottomVisible(askConfirm);
    dialog.setFixedSize(400, 256);
    dialog.setDefaultText(text);
    return dialog.exec() == QDialog::Accepted && askConfirm;
}

void AppWarningDialog::setHook(Hook newHook)
{
    hook() = std::move(newHook);
}

} // namespace apt
