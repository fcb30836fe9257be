#include "shell/aboutdialog.h"

#include "app/configuremanager.h"
#include "aptui/basedialog.h"
#include "aptui/desktophandler.h"
#include "aptui/foldermessagedialog.h"
#include "aptui/targetpath.h"
#include "shell/shelllog.h"

#include <QDir>
#include <QFileInfo>

#ifndef VOSKTOOL_VERSION
#define VOSKTOOL_VERSION "1.0.0"
#endif

namespace {

bool openWithDesktop(const QUrl &url)
{
    // The desktop's opener starts whether or not a program for the file or
    // folder exists; ask first, so that the user is told and shown the way.
    if (aptui::DesktopHandler::open(url))
        return true;
    qCInfo(lcShell) << "[AboutDialog] the desktop opened nothing for" << url;
    return false;
}

} // namespace

AboutDialog::AboutDialog(QObject *parent)
    : CDlgAbout(parent)
    , m_urlOpener(openWithDesktop)
{
    setName(tr("VOSK"));
    setConerBtnText(tr("User Help"));
    showBtns(false);
    setVersion(tr("V%1 Build %2").arg(QStringLiteral(VOSKTOOL_VERSION)).arg(buildNumber()));
    connect(this, &CDlgAbout::signalConerBtnClicked, this, &AboutDialog::onGetHelp);
}

QString AboutDialog::englishManualName()
{
    return QStringLiteral("VOSK User Manual.pdf");
}

QString AboutDialog::chineseManualName()
{
    return QStringLiteral("VOSK用户手册.pdf");
}

void AboutDialog::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = opener ? std::move(opener) : UrlOpener(openWithDesktop);
}

void AboutDialog::setHintDialogRunner(DialogRunner runner)
{
    m_hintDialogRunner = std::move(runner);
}

void AboutDialog::setProgramFolder(const QString &folder)
{
    m_programFolder = folder;
}

QString AboutDialog::programFolder() const
{
    return m_programFolder.isEmpty() ? TarnGUIToolkit::GetTargetPath() : m_programFolder;
}

bool AboutDialog::desktopHasPdfViewer()
{
    return aptui::DesktopHandler::namesProgramFor(QStringLiteral("application/pdf"));
}

QString AboutDialog::manualPath(unsigned int language) const
{
    QString name;
    if (language == 0)
        name = englishManualName();
    else if (language == 1)
        name = chineseManualName();
    else
        return QDir::currentPath();

    // A program started from a desktop launcher runs in the home folder:
    // the manual installed with the program must still be found (beside it
    // in the build folder, in share/vosktool when installed).
    for (const QString &folder : {QDir::currentPath(), programFolder()}) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

bool AboutDialog::onGetHelp()
{
    const unsigned int language = apt::ConfigureManager::GetInstance()->getTranslator();
    const QString path = manualPath(language);
    if (!path.isEmpty() && m_urlOpener(QUrl::fromLocalFile(path)))
        return true;

    emit signalCover();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        qCInfo(lcShell) << "[AboutDialog] no user manual for language" << language;
        showNoManual(language == 1 ? chineseManualName() : englishManualName());
    } else {
        qCInfo(lcShell) << "[AboutDialog] the user manual did not open:" << path;
        showNoViewer(path);
    }
    emit signalDiscover();
    return false;
}

int AboutDialog::runHint(aptui::BaseDialog &dialog)
{
    dialog.setObjectName(QStringLiteral("APP_WARNINGDLG"));
    dialog.setTitle(tr("Hint"));
    return m_hintDialogRunner ? m_hintDialogRunner(dialog) : dialog.exec();
}

void AboutDialog::showNoManual(const QString &name)
{
    // The text the user knows stays first; where it was looked for is the
    // next step (put the file there, or start the program elsewhere).
    const QString where = tr("\"%1\" is looked for in the working folder (%2) and beside the program (%3).")
                              .arg(name, QDir::toNativeSeparators(QDir::currentPath()),
                                   QDir::toNativeSeparators(QDir::cleanPath(programFolder())));
    aptui::BaseDialog dialog(false, false, false, false, true, false, false, nullptr);
    dialog.setBottomVisible(false);
    dialog.setFixedSize(420, 240);
    dialog.setDefaultText(tr("No user manual found.") + QStringLiteral("\n\n") + where);
    runHint(dialog);
}

void AboutDialog::showNoViewer(const QString &manual)
{
    const QString text = tr("No program to open PDF files is installed, so the user manual cannot be shown. "
                            "The manual is \"%1\" in this folder:")
                             .arg(QFileInfo(manual).fileName());
    aptui::FolderMessageDialog dialog(tr("Hint"), text, QFileInfo(manual).absolutePath());
    dialog.setFolderOpener([this](const QString &folder) { return m_urlOpener(QUrl::fromLocalFile(folder)); });
    runHint(dialog);
}
