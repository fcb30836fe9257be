#pragma once

#include "aptui/cdlgabout.h"

#include <QString>
#include <QUrl>

#include <functional>

// The entry of the main window's menu: the program's name, version and
// build number, and "User Help", which opens the user manual in the
// desktop's PDF viewer (also on F1 through onGetHelp()).
//
// The manual of the configured language ("Translator" 0: "VOSK User
// Manual.pdf", 1: the Chinese "VOSK用户手册.pdf") is looked for in the
// current working folder first, then beside the program. Another language
// opens the working folder itself. When nothing can be opened, the window
// is covered (signalCover) while "No user manual found." is shown, and
// uncovered (signalDiscover) after it.
// GUI thread only.
class AboutDialog final : public aptui::CDlgAbout
{
    Q_OBJECT

public:
    // Opens a URL with the desktop's handler; true when it could.
    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit AboutDialog(QObject *parent = nullptr);

    // The manual file names by language.
    static QString englishManualName();
    static QString chineseManualName();

    // Replaces QDesktopServices::openUrl (tests).
    void setUrlOpener(UrlOpener opener);
    // Where "beside the program" is; QCoreApplication::applicationDirPath()
    // unless set (tests).
    void setProgramFolder(const QString &folder);

    // The file to open for `language`: the manual found first, or empty
    // when neither folder has it; the working folder for a language
    // without a manual.
    QString manualPath(unsigned int language) const;

Q_SIGNALS:
    void signalCover();
    void signalDiscover();

public Q_SLOTS:
    // True when the manual (or, for another language, the folder) opened.
    bool onGetHelp();

private:
    UrlOpener m_urlOpener;
    QString m_programFolder;
};
