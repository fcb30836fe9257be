#pragma once

// The library's logging: the Qt category "vosk.client" and, once
// VOSK_SetLogToFile has set it up, a log file. Never pass a password, key,
// answer or security code: lines are built from identifiers and codes only.

#include <QLoggingCategory>
#include <QString>

namespace VoskNet {

// Never destroyed: the library may still log while static objects are torn
// down at process exit (VOSK_Stop from a singleton's destructor).
const QLoggingCategory &lcVosk();

enum class LogLevel { Error = 1, Warning = 2, Info = 3 };

// Opens (or closes, level 0) the log file. false when it cannot be opened.
bool setLogFile(int level, bool truncate);
// The file the log goes to: $VOSK_LOG_DIR/vosk.log, else
// $XDG_STATE_HOME/vosk/vosk.log, else ~/.local/state/vosk/vosk.log.
QString logFilePath();

void logLine(LogLevel level, const QString &text);

} // namespace VoskNet
