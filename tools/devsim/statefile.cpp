#include "tools/devsim/statefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace VoskSim {

namespace {

QString temporarySuffix()
{
    return QStringLiteral(".tmp-");
}

// Whether a process with that id still runs (then its temporary may be a
// save in progress, and is left alone).
bool processAlive(qint64 pid)
{
    if (pid <= 0 || pid > 0x3fffffff)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

StateFile::StateFile(const QString &path)
    : m_path(path)
{
}

bool StateFile::load(QJsonObject &content, QString &error)
{
    removeStaleTemporaries();
    content = QJsonObject();
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the state file %1").arg(m_path);
        return false;
    }
    content = QJsonDocument::fromJson(file.readAll()).object();
    return true;
}

bool StateFile::save(const QJsonObject &content, QString &error)
{
    removeStaleTemporaries();
    const QByteArray temporary = QFile::encodeName(m_path + temporarySuffix() + QString::number(::getpid()));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = QStringLiteral("cannot write %1").arg(m_path);
        return false;
    }
    const bool written = writeAll(fd, QJsonDocument(content).toJson(QJsonDocument::Compact)) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    // Renamed into place only when complete: a reader sees the old file or
    // the new one, never a part.
    if (!written || !closed || ::rename(temporary.constData(), QFile::encodeName(m_path).constData()) != 0) {
        ::unlink(temporary.constData());
        error = QStringLiteral("cannot write %1").arg(m_path);
        return false;
    }
    return true;
}

void StateFile::removeStaleTemporaries() const
{
    const QFileInfo info(m_path);
    const QString prefix = info.fileName() + temporarySuffix();
    QDir dir = info.absoluteDir();
    const QStringList names = dir.entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        bool ok = false;
        const qint64 pid = QStringView(name).mid(prefix.size()).toLongLong(&ok);
        // Only names this class makes: the prefix and a process id, nothing else.
        if (ok && QString::number(pid) == QStringView(name).mid(prefix.size()) && !processAlive(pid))
            dir.remove(name);
    }
}

} // namespace VoskSim
