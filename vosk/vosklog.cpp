#include "vosk/vosklog.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <mutex>

namespace VoskNet {

namespace {

struct LogFile
{
    std::mutex mutex;
    std::FILE *file = nullptr;
    int level = 0;
};

LogFile &logFile()
{
    static LogFile *log = new LogFile;
    return *log;
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

bool setLogFile(int level, bool truncate)
{
    LogFile &log = logFile();
    const std::lock_guard<std::mutex> lock(log.mutex);
    if (log.file) {
        std::fclose(log.file);
        log.file = nullptr;
    }
    log.level = 0;
    if (level == 0)
        return true;
    const QString path = logFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    log.file = std::fopen(QFile::encodeName(path).constData(), truncate ? "w" : "a");
    if (!log.file)
        return false;
    log.level = level;
    return true;
}

void logLine(LogLevel level, const QString &text)
{
    switch (level) {
    case LogLevel::Error:
    case LogLevel::Warning:
        qCWarning(lcVosk).noquote() << text;
        break;
    case LogLevel::Info:
        qCDebug(lcVosk).noquote() << text;
        break;
    }
    LogFile &log = logFile();
    const std::lock_guard<std::mutex> lock(log.mutex);
    if (!log.file || int(level) > log.level)
        return;
    const QByteArray line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toLatin1() + ' '
        + QByteArray(level == LogLevel::Error ? "E " : level == LogLevel::Warning ? "W " : "I ") + text.toUtf8()
        + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), log.file);
    std::fflush(log.file);
}

} // namespace VoskNet
