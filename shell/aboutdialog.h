#pragma once

#include "aptui/cdlgabout.h"

#include <QString>
#include <QUrl>

#include <functional>

namespace aptui {
class BaseDialog;
}

// The entry of the main window's menu: the program's name, version and
// build number, and "User Help", which opens the user manual in the
// desktop's PDF viewer (also on F1 through onGetHelp()).
//
// The manual of the configured language ("Translator" 0: "VOSK User
// Manual.pdf", 1: the Chinese "VOSK用户手册.pdf") is looked for in the
// current working folder first, then beside the program. Another language
// opens the working folder itself. When the manual cannot be shown, the
// window is covered (signalCover) while a hint says why, and uncovered
// (signalDiscover) after it:
// - no manual in either folder: "No user manual found.", with the file
//   name and the two folders it was looked for in;
// - the manual is there but nothing opens it (no program for PDF files):
//   that cause, the manual's path, and "Open Folder" for its folder.
// GUI thread only.
class AboutDialog final : public aptui::CDlgAbout
{
    Q_OBJECT

public:
    // Opens a URL with the desktop's handler; true when it could. The
    // default refuses a PDF file when the desktop names no program for PDF
    // files (the desktop's own opener would start and fail unseen), and
    // otherwise asks QDesktopServices::openUrl.
    using UrlOpener = std::function<bool(const QUrl &)>;
    // How a hint runs: by default dialog.exec(). Tests answer in the user's
    // place; the runner sees the dialog fully set up and the window covered.
    using DialogRunner = std::function<int(aptui::BaseDialog &dialog)>;

    explicit AboutDialog(QObject *parent = nullptr);

    // The manual file names by language.
    static QString englishManualName();
    static QString chineseManualName();

    // Replaces the URL opener (tests); it also opens the manual's folder.
    void setUrlOpener(UrlOpener opener);
    void setHintDialogRunner(DialogRunner runner);
    // Where "beside the program" is; TarnGUIToolkit::GetTargetPath() unless
    // set (tests).
    void setProgramFolder(const QString &folder);

    // The file to open for `language`: the manual found first, or empty
    // when neither folder has it; the working folder for a language
    // without a manual.
    QString manualPath(unsigned int language) const;

    // Whether the desktop names a program for PDF files: false only when
    // it was asked (xdg-mime) and answered none; true when it cannot be
    // asked, so that the desktop's opener still gets its chance.
    static bool desktopHasPdfViewer();

Q_SIGNALS:
    void signalCover();
    void signalDiscover();

public Q_SLOTS:
    // True when the manual (or, for another language, the folder) opened.
    bool onGetHelp();

private:
    QString programFolder() const;
    int runHint(aptui::BaseDialog &dialog);
    void showNoManual(const QString &name);
    void showNoViewer(const QString &manual);

    UrlOpener m_urlOpener;
    DialogRunner m_hintDialogRunner;
    QString m_programFolder;
};
