#pragma once

#include "aptui/newpasswordrows.h"

// The recovery dialogs' ways out to the user and the desktop, each behind a
// replaceable function so that tests drive them without bubbles, file
// choosers, message boxes or a file browser. Replace with set…(); an empty
// function restores the default. GUI thread only.

#include <QString>

#include <functional>

class QLabel;
class QWidget;

namespace aptui {
class MultiStateLineEdit;
}

namespace VoskTool {

class RecoveryUi final
{
public:
    // Message kinds of the bubbles (WarningDialog's).
    enum Kind : int { KindSuccess = 0, KindError = 2 };

    // A self-closing bubble centred over `dialog` (top-left corner at the
    // dialog's centre less (155, 60)); with a field and its hint label, the
    // field is marked. `tall` for the long policy text. Returns when it has
    // closed.
    struct Hint
    {
        QWidget *dialog = nullptr;
        int kind = KindError;
        QString text;
        aptui::MultiStateLineEdit *field = nullptr;
        QLabel *hintLabel = nullptr;
        bool tall = false;
    };
    using HintPresenter = std::function<void(const Hint &)>;
    // The open-file chooser: (parent, start location) -> chosen path or empty.
    using FileChooser = std::function<QString(QWidget *, const QString &)>;
    // The folder chooser: (parent, start location) -> chosen folder or empty.
    using FolderChooser = std::function<QString(QWidget *, const QString &)>;
    // A modal message box: (parent, title, text).
    using MessageBox = std::function<void(QWidget *, const QString &, const QString &)>;
    // Shows a folder in the desktop's file browser; whether it could.
    using FolderOpener = std::function<bool(const QString &)>;
    // A modal message about files in a folder: (parent, title, text, folder).
    using FolderMessageBox = std::function<void(QWidget *, const QString &, const QString &, const QString &)>;

    static void showHint(const Hint &hint);
    // What a dialog's NewPasswordRows reports through: the hint on the rows'
    // new-password field, centred over `dialog`.
    static NewPasswordRows::Reporter newPasswordReporter(QWidget *dialog, NewPasswordRows *rows);
    static QString chooseFile(QWidget *parent, const QString &start);
    static QString chooseFolder(QWidget *parent, const QString &start);
    static void showMessage(QWidget *parent, const QString &title, const QString &text);
    static bool openFolder(const QString &folder);
    // The text as it stands, then the folder's path and "Open Folder",
    // which shows it through openFolder() (aptui::FolderMessageDialog).
    // Returns when it has closed.
    static void showFolderMessage(QWidget *parent, const QString &title, const QString &text,
                                  const QString &folder);

    static void setHintPresenter(HintPresenter presenter);
    static void setFileChooser(FileChooser chooser);
    static void setFolderChooser(FolderChooser chooser);
    static void setMessageBox(MessageBox messageBox);
    static void setFolderOpener(FolderOpener opener);
    static void setFolderMessageBox(FolderMessageBox messageBox);
};

} // namespace VoskTool
