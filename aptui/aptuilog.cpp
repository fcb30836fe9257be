#include "aptui/aptuilog.h"

Q_LOGGING_CATEGORY(lcAptui, "vosktool.aptui", QtInfoMsg)
