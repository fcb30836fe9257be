#include "shell/shelllog.h"

Q_LOGGING_CATEGORY(lcShell, "vosktool.shell", QtInfoMsg)
