#include "app/configuremanager.h"

#include "app/applog.h"
#include "aptui/cgenericds.h"

namespace apt {

bool ConfigureManager::load(const QString &path)
{
    clear();
    TarnGUIToolkit::CGenericDS root;
    if (!root.LoadXML(path)) {
        qCDebug(lcApp).noquote() << "[ConfigureManager] cannot load" << path;
        return false;
    }
    m_path = path;
    const int count = root.GetChildrenCount();
    m_entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const TarnGUIToolkit::CGenericDS child = root.GetChild(i);
        const TarnGUIToolkit::CGenericDS value = child.GetChildByName(QStringLiteral("Value"));
        m_entries.push_back(std::make_unique<Configure>(child.GetName(), value.GetValue()));
    }
    return true;
}

const Configure *ConfigureManager::find(int key) const
{
    const QString name = configureKeyName(key);
    if (name.isEmpty())
        return nullptr;
    for (const auto &entry : m_entries) {
        if (entry->name() == name)
            return entry.get();
    }
    return nullptr;
}

void ConfigureManager::clear()
{
    m_entries.clear();
}

unsigned int ConfigureManager::getTranslator() const
{
    const Configure *entry = find(Translator);
    return entry ? entry->value().trimmed().toUInt() : 0U;
}

QList<unsigned int> ConfigureManager::getLanguages() const
{
    QList<unsigned int> codes;
    const Configure *entry = find(Languages);
    if (!entry)
        return codes;
    // An empty value lists nothing; otherwise every part counts, and one
    // that is not a number (an empty one too) reads as 0 like any setting.
    if (entry->value().trimmed().isEmpty())
        return codes;
    const QStringList parts = entry->value().split(QLatin1Char(','));
    for (const QString &part : parts)
        codes.append(part.trimmed().toUInt());
    return codes;
}

int ConfigureManager::getVersionType() const
{
    const int value = getIntValue(VersionType);
    return value == -1 ? 1 : value;
}

int ConfigureManager::getPingThread() const
{
    return getIntValue(PingThread);
}

int ConfigureManager::getTaskThread() const
{
    return getIntValue(TaskThread);
}

int ConfigureManager::getLogSaveDay() const
{
    return getIntValue(LogSaveDay);
}

bool ConfigureManager::getFilter() const
{
    const Configure *entry = find(Filter);
    return entry && entry->value().trimmed().toInt() == 1;
}

int ConfigureManager::getIntValue(int key) const
{
    const Configure *entry = find(key);
    return entry ? entry->value().trimmed().toInt() : -1;
}

QString ConfigureManager::getStringValue(int key, const QString &defaultValue) const
{
    const Configure *entry = find(key);
    return entry ? entry->value() : defaultValue;
}

} // namespace apt
