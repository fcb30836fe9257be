#include "devicelist/devicelistlog.h"

Q_LOGGING_CATEGORY(lcDeviceList, "vosktool.devicelist", QtInfoMsg)
