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

// Opens (or closes, level 0) the log file, for appending. Several
// processes may write one log at once: truncate starts the file afresh only
// when no other process has it open, and lines never mix. false when it
// cannot be opened.
bool setLogFile(int level, bool truncate);
// The file the log goes to: $VOSK_LOG_DIR/vosk.log, else
// $XDG_STATE_HOME/vosk/vosk.log, else ~/.local/state/vosk/vosk.log.
QString logFilePath();

// One line, control characters escaped (escapeControls): texts from
// devices may carry terminal escape sequences.
void logLine(LogLevel level, const QString &text);
// C0 and C1 control characters and DEL as \xNN, a backslash as \\; the
// rest unchanged.
QString escapeControls(const QString &text);

} // namespace VoskNet
