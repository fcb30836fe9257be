#include "aptui/desktophandler.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace aptui {

namespace DesktopHandler {

bool namesProgramFor(const QString &mimeType)
{
    // xdg-mime answers from the desktop's own associations (mimeapps.list,
    // then the installed programs' MimeType lines): the same list xdg-open
    // chooses from.
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return true;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(3000) || query.exitStatus() != QProcess::NormalExit) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

bool open(const QUrl &url)
{
    if (url.isLocalFile()) {
        const QFileInfo info(url.toLocalFile());
        const QString type = info.isDir() ? QStringLiteral("inode/directory")
                                          : QMimeDatabase().mimeTypeForFile(info).name();
        if (!namesProgramFor(type))
            return false;
    }
    return QDesktopServices::openUrl(url);
}

} // namespace DesktopHandler

} // namespace aptui
