#include "netparam/netparamlog.h"

Q_LOGGING_CATEGORY(lcNetParam, "vosktool.netparam", QtInfoMsg)
