#pragma once

#include <QLoggingCategory>

// The password recovery's log lines ("vosktool.password"). Never a key,
// answer, password or security code.
Q_DECLARE_LOGGING_CATEGORY(lcPassword)
