#include "aptui/targetpath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

// Where an installed tree keeps the program's files, relative to the
// executable's folder; the build defines them from the install layout.
#ifndef VOSKTOOL_DATA_FROM_BIN
#define VOSKTOOL_DATA_FROM_BIN "../share/vosktool"
#endif
#ifndef VOSKTOOL_PLUGINS_FROM_BIN
#define VOSKTOOL_PLUGINS_FROM_BIN "../lib/vosktool/plugins"
#endif

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

QString overridden()
{
    const QMutexLocker locker(&overrideMutex());
    return overrideFolder();
}

// The installed data folder beside the executable's bin folder, or empty.
// The build folder (build/bin) has no share/vosktool beside it, so a
// program run from there keeps using its own folder.
QString installedDataFolder()
{
    const QString bin = QCoreApplication::applicationDirPath();
    if (QFileInfo(bin).fileName() != QLatin1String("bin"))
        return QString();
    const QString data = QDir::cleanPath(bin + QLatin1Char('/') + QLatin1String(VOSKTOOL_DATA_FROM_BIN));
    return QFileInfo(data).isDir() ? withTrailingSlash(data) : QString();
}

} // namespace

QString GetTargetPath()
{
    const QString folder = overridden();
    if (!folder.isEmpty())
        return folder;
    const QString installed = installedDataFolder();
    return installed.isEmpty() ? withTrailingSlash(QCoreApplication::applicationDirPath()) : installed;
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

bool IsInstalledLayout()
{
    return overridden().isEmpty() && !installedDataFolder().isEmpty();
}

QString GetPluginPath()
{
    if (!IsInstalledLayout())
        return GetTargetPath() + QStringLiteral("plugins/");
    return withTrailingSlash(QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                                             + QLatin1String(VOSKTOOL_PLUGINS_FROM_BIN)));
}

QString GetUserFilePath(const QString &fileName)
{
    const QString programDir = GetTargetPath();
    // A tree the package manager installed is never written to, not even
    // by root, who may write anywhere.
    bool useProgramDir = !IsInstalledLayout();
    if (useProgramDir) {
        const QFileInfo file(programDir + fileName);
        useProgramDir = QFileInfo(programDir).isWritable() && (!file.exists() || file.isWritable());
    }
    return ResolveUserFilePath(programDir, useProgramDir,
                               QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation), fileName);
}

QString ResolveUserFilePath(const QString &programDir, bool useProgramDir, const QString &userDir,
                            const QString &fileName)
{
    const QString programFile = QDir(programDir).filePath(fileName);
    if (useProgramDir || userDir.isEmpty())
        return programFile;
    const QString userFile = QDir(userDir).filePath(fileName);
    if (!QFileInfo::exists(userFile) && QFileInfo::exists(programFile)) {
        QDir().mkpath(userDir);
        // The shipped copy is read-only; the user's copy must not be.
        if (QFile::copy(programFile, userFile))
            QFile::setPermissions(userFile, QFile::permissions(userFile) | QFileDevice::WriteOwner);
        else
            return programFile;
    }
    return userFile;
}

} // namespace TarnGUIToolkit
