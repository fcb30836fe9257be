#pragma once

#include "app/configure.h"
#include "app/configurekey.h"
#include "aptui/cuisingleton.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

namespace apt {

// The settings of Setup.xml held in memory, in file order. Loaded once at
// start-up on the GUI thread and only read afterwards; the tool never writes
// the file. Every accessor has a default, so a missing or broken file leaves
// a working program (language 0, skin "CommonSkin", no device filter).
//
// Process-wide through GetInstance(); tests may make their own.
class ConfigureManager final : public TarnGUIToolkit::CUiSingleton<ConfigureManager>
{
public:
    ConfigureManager() = default;
    ~ConfigureManager() override = default;

    // Replaces the entries with the settings of the file: each child element
    // of the root is one entry, named after the element, valued by the text
    // of its "Value" child (empty without one). False when the file is
    // missing or malformed: the store is then empty and path() unchanged.
    bool load(const QString &path);
    // The first entry named after the key, or null.
    const Configure *find(int key) const;
    void clear();

    // The file last loaded successfully; empty until then.
    const QString &path() const { return m_path; }
    const std::vector<std::unique_ptr<Configure>> &entries() const { return m_entries; }

    // Numbers are read as decimal; a text that is not a number reads as 0.
    unsigned int getTranslator() const;  // absent: 0
    QList<unsigned int> getLanguages() const; // "0,1,9" -> 0, 1, 9; "0,,x" -> 0, 0, 0; absent or empty: none
    int getVersionType() const;          // absent or -1: 1
    int getPingThread() const;           // absent: -1
    int getTaskThread() const;           // absent: -1
    int getLogSaveDay() const;           // absent: -1
    bool getFilter() const;              // true exactly when the value reads as 1
    int getIntValue(int key) const;      // absent: -1
    // The value text of the key, or defaultValue when absent.
    QString getStringValue(int key, const QString &defaultValue = QString()) const;

private:
    std::vector<std::unique_ptr<Configure>> m_entries;
    QString m_path;
};

} // namespace apt
