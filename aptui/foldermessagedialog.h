#pragma once

#include "aptui/basedialog.h"

#include <QString>

#include <functional>

class QLabel;

namespace aptui {

// A message that tells the user where to look next: the message itself (as
// it stands, never read as markup), below it the folder it concerns in full
// (selectable, so that it can be copied into a terminal or a file chooser),
// and the buttons "Open Folder" (the default) and "Close".
//
// "Open Folder" asks the folder opener to show the folder; when it could,
// the dialog is accepted, otherwise it stays open, says that no program
// could open the folder and selects the path shown (the way on), ready to
// be copied. Closing by
// "Close" or the title's close button rejects.
// Built on the caller's stack and run with exec(). GUI thread only.
class FolderMessageDialog final : public BaseDialog
{
    Q_OBJECT

public:
    // Shows a folder in the desktop's file browser; whether it could.
    using FolderOpener = std::function<bool(const QString &folder)>;

    FolderMessageDialog(const QString &title, const QString &text, const QString &folder,
                        QWidget *parent = nullptr);
    ~FolderMessageDialog() override;

    // The folder as given; the dialog shows it with native separators.
    QString folder() const { return m_folder; }
    // Everything the centre shows, message and folder lines, for logs and tests.
    QString text() const;
    // True once the opener has shown the folder.
    bool folderOpened() const { return m_opened; }

    // Replaces the default opener, DesktopHandler::open on the folder's
    // file URL (which fails where the desktop has no program for folders).
    // An empty function restores it.
    void setFolderOpener(FolderOpener opener);

private:
    void onOpenFolder();

    QString m_folder;
    FolderOpener m_opener;
    QLabel *m_labelMessage = nullptr;  // centre widget's child
    QLabel *m_labelFolder = nullptr;   // centre widget's child
    QLabel *m_labelNoOpener = nullptr; // centre widget's child, shown after a failed open
    bool m_opened = false;
};

} // namespace aptui
