#include "vosk/vosklog.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace VoskNet {

namespace {

// The window and the console program (or two consoles) share one user's
// log file. Each process keeps it open for appending (O_APPEND: every line
// lands at the end, wherever another process has got to) under a shared
// flock, which says "in use" to the others; it may start the file afresh
// only when it can take that flock exclusively, i.e. when no other process
// has the log open. Each line is one write() under an open-file-description
// record lock, so that lines of two processes never mix. Threads of one
// process are ordered by the mutex.
struct LogFile
{
    std::mutex mutex;
    int fd = -1;
    int level = 0;
};

LogFile &logFile()
{
    static LogFile *log = new LogFile;
    return *log;
}

void closeLog(LogFile &log)
{
    if (log.fd >= 0) {
        ::close(log.fd);  // drops the flock and any record lock with it
        log.fd = -1;
    }
    log.level = 0;
}

// The whole file, write-locked for the time of one line (F_OFD_SETLKW: the
// lock belongs to this open file, not to the process, so it neither meets
// the flock nor is lost when another descriptor of the file is closed).
bool lockForLine(int fd, short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    while (::fcntl(fd, type == F_UNLCK ? F_OFD_SETLK : F_OFD_SETLKW, &lock) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

void writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        left -= n;
    }
}

} // namespace

const QLoggingCategory &lcVosk()
{
    static const QLoggingCategory *category = new QLoggingCategory("vosk.client", QtInfoMsg);
    return *category;
}

QString logFilePath()
{
    QString dir = qEnvironmentVariable("VOSK_LOG_DIR");
    if (dir.isEmpty()) {
        const QString state = qEnvironmentVariable("XDG_STATE_HOME");
        dir = (state.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/state") : state)
            + QStringLiteral("/vosk");
    }
    return dir + QStringLiteral("/vosk.log");
}

QString escapeControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // C0, DEL and C1 (a device's Latin-1 texts reach us as U+0080 to
        // U+009F, and some terminals take U+009B as an escape sequence).
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f))
            out += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
        else if (u == u'\\')
            out += QStringLiteral("\\\\");
        else
            out += c;
    }
    return out;
}

bool setLogFile(int level, bool truncate)
{
    LogFile &log = logFile();
    const std::lock_guard<std::mutex> lock(log.mutex);
    closeLog(log);
    if (level == 0)
        return true;
    const QString path = logFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Readable by its owner only: the log names the devices of a site.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (truncate && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ftruncate(fd, 0) != 0)
        qCWarning(lcVosk) << "cannot start the log file afresh; appending";
    // Converting an exclusive flock to a shared one, or taking it anew:
    // from here on the others see the log in use.
    if (::flock(fd, LOCK_SH) != 0) {
        ::close(fd);
        return false;
    }
    log.fd = fd;
    log.level = level;
    return true;
}

void logLine(LogLevel level, const QString &text)
{
    const QString escaped = escapeControls(text);
    switch (level) {
    case LogLevel::Error:
    case LogLevel::Warning:
        qCWarning(lcVosk).noquote() << escaped;
        break;
    case LogLevel::Info:
        qCDebug(lcVosk).noquote() << escaped;
        break;
    }
    LogFile &log = logFile();
    const std::lock_guard<std::mutex> lock(log.mutex);
    if (log.fd < 0 || int(level) > log.level)
        return;
    const QByteArray line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + ' '
        + QByteArray(level == LogLevel::Error ? "E " : level == LogLevel::Warning ? "W " : "I ")
        + escaped.toUtf8() + '\n';
    // Without the record lock (a file system that has none) the line still
    // goes out: O_APPEND alone keeps it whole in practice.
    const bool locked = lockForLine(log.fd, F_WRLCK);
    writeAll(log.fd, line);
    if (locked)
        lockForLine(log.fd, F_UNLCK);
}

} // namespace VoskNet
