#include "shell/aboutdialog.h"

#include "app/configuremanager.h"
#include "aptui/basedialog.h"
#include "aptui/targetpath.h"
#include "shell/shelllog.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#ifndef VOSKTOOL_VERSION
#define VOSKTOOL_VERSION "1.0.0"
#endif

AboutDialog::AboutDialog(QObject *parent)
    : CDlgAbout(parent)
    , m_urlOpener([](const QUrl &url) { return QDesktopServices::openUrl(url); })
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
    m_urlOpener = std::move(opener);
}

void AboutDialog::setProgramFolder(const QString &folder)
{
    m_programFolder = folder;
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
    const QString programFolder = m_programFolder.isEmpty() ? TarnGUIToolkit::GetTargetPath() : m_programFolder;
    for (const QString &folder : {QDir::currentPath(), programFolder}) {
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
    if (!path.isEmpty() && m_urlOpener && m_urlOpener(QUrl::fromLocalFile(path)))
        return true;

    qCInfo(lcShell) << "[AboutDialog] no user manual for language" << language;
    emit signalCover();
    aptui::BaseDialog dialog(false, false, false, false, true, false, false, nullptr);
    dialog.setObjectName(QStringLiteral("APP_WARNINGDLG"));
    dialog.setTitle(tr("Hint"));
    dialog.setBottomVisible(false);
    dialog.setFixedSize(350, 220);
    dialog.setDefaultText(tr("No user manual found."));
    dialog.exec();
    emit signalDiscover();
    return false;
}
