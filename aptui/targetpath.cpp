#include "aptui/targetpath.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace TarnGUIToolkit {

namespace {

QMutex &overrideMutex()
{
    static QMutex mutex;
    return mutex;
}

QString &overrideFolder()
{
    static QString folder;
    return folder;
}

QString withTrailingSlash(const QString &folder)
{
    QString path = QDir::fromNativeSeparators(folder);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

} // namespace

QString GetTargetPath()
{
    {
        const QMutexLocker locker(&overrideMutex());
        if (!overrideFolder().isEmpty())
            return overrideFolder();
    }
    return withTrailingSlash(QCoreApplication::applicationDirPath());
}

QString GetTargetPathFile(const QString &fileName)
{
    return GetTargetPath() + fileName;
}

void SetTargetPath(const QString &folder)
{
    const QMutexLocker locker(&overrideMutex());
    overrideFolder() = folder.isEmpty() ? QString() : withTrailingSlash(folder);
}

} // namespace TarnGUIToolkit
