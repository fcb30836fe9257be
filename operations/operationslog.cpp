#include "operations/operationslog.h"

Q_LOGGING_CATEGORY(lcOperations, "vosktool.operations", QtInfoMsg)
