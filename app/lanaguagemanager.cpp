#include "app/lanaguagemanager.h"

#include "app/applog.h"
#include "app/configuremanager.h"
#include "aptui/targetpath.h"

#include <QCoreApplication>
#include <QTranslator>

namespace apt {

LanaguageManager::LanaguageManager()
    : LanaguageManager(*ConfigureManager::GetInstance(),
                       TarnGUIToolkit::GetTargetPath() + QStringLiteral("translations/"))
{
}

LanaguageManager::LanaguageManager(const ConfigureManager &config, const QString &translationsFolder)
{
    loadTranslators(config, translationsFolder);
}

LanaguageManager::~LanaguageManager()
{
    // The application may already be gone at process end; a translator
    // removes itself from a living one when deleted.
    for (auto &translator : m_translators) {
        if (QCoreApplication::instance())
            QCoreApplication::removeTranslator(translator.get());
    }
}

QStringList LanaguageManager::translatorFiles() const
{
    return m_files;
}

void LanaguageManager::loadTranslators(const ConfigureManager &config, const QString &translationsFolder)
{
    m_language = static_cast<int>(config.getTranslator());
    QString toolFile;
    QString qtFile;
    QString thirdFile;
    switch (m_language) {
    case 0:
        toolFile = QStringLiteral("vosktool_en.qm");
        thirdFile = QStringLiteral("DeviceMonitor_en.qm");
        m_locale = QLocale(QLocale::English, QLocale::UnitedStates);
        break;
    case 1:
        toolFile = QStringLiteral("vosktool_zh.qm");
        qtFile = QStringLiteral("qt_zh_CN.qm");
        thirdFile = QStringLiteral("TarnGUIToolkit_zh.qm");
        m_locale = QLocale(QLocale::Chinese, QLocale::China);
        break;
    default:
        // Codes 9 and 10 only choose a font; the texts stay in the source
        // language and the locale stays the system's.
        break;
    }
    install(translationsFolder, toolFile);
    if (!qtFile.isEmpty())
        install(translationsFolder, qtFile);
    install(translationsFolder, thirdFile);
}

void LanaguageManager::install(const QString &folder, const QString &fileName)
{
    auto translator = std::make_unique<QTranslator>();
    if (!fileName.isEmpty()) {
        const QString path = folder + fileName;
        m_files.append(path);
        if (translator->load(path))
            m_loadedFiles.append(path);
        else
            qCDebug(lcApp).noquote() << "[LanaguageManager] no translation" << path;
    }
    // Installed even when empty, so the order of the list stays that of the
    // files whatever is missing.
    if (QCoreApplication::instance())
        QCoreApplication::installTranslator(translator.get());
    m_translators.push_back(std::move(translator));
}

} // namespace apt
