#include "aptui/cfile.h"

#include "aptui/aptuilog.h"

#include <QDir>
#include <QFile>

namespace TarnGUIToolkit {

QString CFile::ReadAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcAptui).noquote() << "[CFile] cannot read" << path << file.errorString();
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

QString CFile::ReadAll(const QStringList &fileNames, const QString &folder)
{
    const QDir dir(folder);
    QString text;
    for (const QString &name : fileNames)
        text += ReadAll(dir.filePath(name));
    return text;
}

} // namespace TarnGUIToolkit
