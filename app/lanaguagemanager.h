#pragma once

#include "aptui/cuisingleton.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QTranslator;

namespace apt {

class ConfigureManager;

// Chooses the language from the configuration (the Translator setting) and
// installs its translation files from GetTargetPath() + "translations/" on
// the application: the tool's file, then Qt's own (Chinese only), then the
// toolkit's. The last installed is searched first, so the toolkit's file
// overrides Qt's, which overrides the tool's, for the same source text.
//
// Process-wide through GetInstance(), which reads ConfigureManager's
// instance; the first call must come after Setup.xml is loaded and after
// the application object exists, on the GUI thread. Translators are removed
// and deleted with the manager.
class LanaguageManager final : public TarnGUIToolkit::CUiSingleton<LanaguageManager>
{
public:
    // Installs the translations of `config`'s language found in
    // `translationsFolder` (which ends in '/').
    LanaguageManager(const ConfigureManager &config, const QString &translationsFolder);
    ~LanaguageManager() override;

    int language() const { return m_language; }
    // English/United States for 0, Chinese/China for 1, the system locale
    // otherwise.
    QLocale locale() const { return m_locale; }
    // Full paths of the files asked for, in installation order; an entry is
    // there even when its file did not load.
    QStringList translatorFiles() const;
    // The files of translatorFiles() that loaded.
    QStringList loadedFiles() const { return m_loadedFiles; }

private:
    friend class TarnGUIToolkit::CUiSingleton<LanaguageManager>;
    LanaguageManager();

    void loadTranslators(const ConfigureManager &config, const QString &translationsFolder);
    void install(const QString &folder, const QString &fileName);

    QLocale m_locale;
    std::vector<std::unique_ptr<QTranslator>> m_translators;
    QStringList m_files;
    QStringList m_loadedFiles;
    int m_language = 0;
};

} // namespace apt
