#include "app/appwarningdialog.h"

#if __has_include("aptui/basedialog.h")
#include "aptui/basedialog.h"
#define VOSKTOOL_HAVE_BASEDIALOG 1
#else
#include <QMessageBox>
#endif

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

#ifdef VOSKTOOL_HAVE_BASEDIALOG
    // Only the close button in the title; confirm and cancel only for a
    // question. No parent: start-up shows it before any window exists.
    aptui::BaseDialog dialog(false, false, false, false, true, askConfirm, askConfirm, nullptr);
    dialog.setObjectName(QStringLiteral("APP_WARNINGDLG"));
    dialog.setTitle(tr("Hint"));
    dialog.setBottomVisible(askConfirm);
    dialog.setFixedSize(400, 256);
    dialog.setDefaultText(text);
    return dialog.exec() == QDialog::Accepted && askConfirm;
#else
    // Until the framed dialog exists in this tree.
    const auto buttons = askConfirm ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Close;
    return QMessageBox::information(nullptr, tr("Hint"), text, buttons) == QMessageBox::Ok && askConfirm;
#endif
}

void AppWarningDialog::setHook(Hook newHook)
{
    hook() = std::move(newHook);
}

} // namespace apt
