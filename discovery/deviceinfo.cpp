#include "discovery/deviceinfo.h"

namespace VOSK {

void registerMetaTypes()
{
    qRegisterMetaType<VOSK_DEVICE_INFO>("VOSK_DEVICE_INFO");
    qRegisterMetaType<DeviceInfo>("DeviceInfo");
    qRegisterMetaType<QVector<DeviceInfo>>("QVector<DeviceInfo>");
    qRegisterMetaType<DeviceKey>("DeviceKey");
}

} // namespace VOSK
