#include "password/recoveryui.h"

#include "aptui/cwarningdlg.h"
#include "aptui/desktophandler.h"
#include "aptui/foldermessagedialog.h"
#include "aptui/warningdialog.h"

#include <QFileDialog>
#include <QUrl>
#include <QWidget>

namespace VoskTool {

namespace {

RecoveryUi::HintPresenter &hintPresenter()
{
    static RecoveryUi::HintPresenter presenter;
    return presenter;
}
RecoveryUi::FileChooser &fileChooser()
{
    static RecoveryUi::FileChooser chooser;
    return chooser;
}
RecoveryUi::FolderChooser &folderChooser()
{
    static RecoveryUi::FolderChooser chooser;
    return chooser;
}
RecoveryUi::MessageBox &messageBox()
{
    static RecoveryUi::MessageBox box;
    return box;
}
RecoveryUi::FolderOpener &folderOpener()
{
    static RecoveryUi::FolderOpener opener;
    return opener;
}

RecoveryUi::FolderMessageBox &folderMessageBox()
{
    static RecoveryUi::FolderMessageBox box;
    return box;
}

} // namespace

NewPasswordRows::Reporter RecoveryUi::newPasswordReporter(QWidget *dialog, NewPasswordRows *rows)
{
    return [dialog, rows](const QString &text, bool tall) {
        Hint hint;
        hint.dialog = dialog;
        hint.text = text;
        hint.field = rows->newPassword();
        hint.hintLabel = rows->newPasswordHint();
        hint.tall = tall;
        showHint(hint);
    };
}

void RecoveryUi::showHint(const Hint &hint)
{
    if (hintPresenter()) {
        hintPresenter()(hint);
        return;
    }
    QPoint position;
    if (hint.dialog) {
        const QRect frame = hint.dialog->geometry();
        position = QPoint(frame.x() + frame.width() / 2 - 155, frame.y() + frame.height() / 2 - 60);
    }
    if (hint.tall)
        WarningDialog::showWarningTall(position, hint.kind, hint.text, hint.dialog, hint.field, hint.hintLabel);
    else
        WarningDialog::showWarning(position, hint.kind, hint.text, hint.dialog, hint.field, hint.hintLabel);
}

QString RecoveryUi::chooseFile(QWidget *parent, const QString &start)
{
    if (fileChooser())
        return fileChooser()(parent, start);
    return QFileDialog::getOpenFileName(parent, QString(), start);
}

QString RecoveryUi::chooseFolder(QWidget *parent, const QString &start)
{
    if (folderChooser())
        return folderChooser()(parent, start);
    return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
}

void RecoveryUi::showMessage(QWidget *parent, const QString &title, const QString &text)
{
    if (messageBox()) {
        messageBox()(parent, title, text);
        return;
    }
    TarnGUIToolkit::CWarningDlg::ShowMessageInfo(title, text, parent);
}

bool RecoveryUi::openFolder(const QString &folder)
{
    if (folderOpener())
        return folderOpener()(folder);
    return aptui::DesktopHandler::open(QUrl::fromLocalFile(folder));
}

void RecoveryUi::showFolderMessage(QWidget *parent, const QString &title, const QString &text, const QString &folder)
{
    if (folderMessageBox()) {
        folderMessageBox()(parent, title, text, folder);
        return;
    }
    aptui::FolderMessageDialog dialog(title, text, folder, parent);
    dialog.setFolderOpener(&RecoveryUi::openFolder);
    dialog.exec();
}

void RecoveryUi::setHintPresenter(HintPresenter presenter)
{
    hintPresenter() = std::move(presenter);
}

void RecoveryUi::setFileChooser(FileChooser chooser)
{
    fileChooser() = std::move(chooser);
}

void RecoveryUi::setFolderChooser(FolderChooser chooser)
{
    folderChooser() = std::move(chooser);
}

void RecoveryUi::setMessageBox(MessageBox box)
{
    messageBox() = std::move(box);
}

void RecoveryUi::setFolderOpener(FolderOpener opener)
{
    folderOpener() = std::move(opener);
}

void RecoveryUi::setFolderMessageBox(FolderMessageBox messageBox)
{
    folderMessageBox() = std::move(messageBox);
}

} // namespace VoskTool
