#include "app/configurekey.h"

namespace apt {

QString configureKeyName(int key)
{
    switch (key) {
    case Translator:
        return QStringLiteral("Translator");
    case Languages:
        return QStringLiteral("Languages");
    case LogLevel:
        return QStringLiteral("LogLevel");
    case VersionType:
        return QStringLiteral("VersionType");
    case PingThread:
        return QStringLiteral("PingThread");
    case TaskThread:
        return QStringLiteral("TaskThread");
    case LogSaveDay:
        return QStringLiteral("LogSaveDay");
    case Skin:
        return QStringLiteral("Skin");
    case Filter:
        return QStringLiteral("Filter");
    default:
        return QString();
    }
}

} // namespace apt
