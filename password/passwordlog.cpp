#include "password/passwordlog.h"

Q_LOGGING_CATEGORY(lcPassword, "vosktool.password", QtInfoMsg)
