// One program writing the library's log, for tst_vosklog: two of them at
// once must not lose or mix each other's lines.
//   vosk-logprobe TAG COUNT TRUNCATE [PAUSE_AT]
// Opens the log ($VOSK_LOG_DIR/vosk.log) with truncate 0 or 1, writes
// COUNT lines "TAG n"; with PAUSE_AT, prints "ready" after that many lines
// and waits for a line on standard input before it writes the rest.

#include "vosk/vosk.h"
#include "vosk/vosklog.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 4 && argc != 5)
        return 2;
    const QString tag = QString::fromLatin1(argv[1]);
    const int count = std::atoi(argv[2]);
    const int pauseAt = argc == 5 ? std::atoi(argv[4]) : -1;
    if (VOSK_SetLogToFile(3, 0, std::atoi(argv[3])) != 1)
        return 1;
    for (int i = 0; i < count; ++i) {
        if (i == pauseAt) {
            std::printf("ready\n");
            std::fflush(stdout);
            char line[16];
            if (!std::fgets(line, sizeof line, stdin))
                return 1;
        }
        VoskNet::logLine(VoskNet::LogLevel::Info, QStringLiteral("%1 %2").arg(tag).arg(i));
    }
    return 0;
}
