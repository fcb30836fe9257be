#include "discovery/voskhandler.h"

#include "discovery/discoverylog.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"

#include <algorithm>
#include <cstring>

namespace VOSK {

namespace {

// The text fields the report check looks at. A report is kept when at least
// one of them ends within its own span (and within 64 bytes): a zero byte
// past the span belongs to the next field, so it cannot vouch for this one.
// That also keeps the check inside the 500-byte record.
constexpr std::size_t kSanityWindow = 64;
struct CheckedField
{
    std::size_t offset;
    std::size_t width;
};
#define VOSK_CHECKED_FIELD(name) CheckedField{offsetof(VOSK_DEVICE_INFO, name), sizeof(VOSK_DEVICE_INFO::name)}
constexpr CheckedField kCheckedFields[] = {
    VOSK_CHECKED_FIELD(leadingText),
    VOSK_CHECKED_FIELD(serialNumber),
    VOSK_CHECKED_FIELD(mac),
    VOSK_CHECKED_FIELD(ipv4Address),
    VOSK_CHECKED_FIELD(ipv4Mask),
    VOSK_CHECKED_FIELD(softwareVersion),
    VOSK_CHECKED_FIELD(dspVersion),
    VOSK_CHECKED_FIELD(startTime),
};
#undef VOSK_CHECKED_FIELD

bool hasSaneText(const VOSK_DEVICE_INFO &record)
{
    const auto *bytes = reinterpret_cast<const char *>(&record);
    for (const CheckedField &field : kCheckedFields) {
        if (std::memchr(bytes + field.offset, 0, std::min(field.width, kSanityWindow)))
            return true;
    }
    return false;
}

} // namespace

VoskHandler::VoskHandler()
{
    setLogToFile(0, 3, 1);
}

VoskHandler::~VoskHandler()
{
    stop();
}

bool VoskHandler::start()
{
    if (m_started)
        return true;
    if (VOSK_Start_V30(&VoskHandler::callback, 1, this) < 1)
        return false;
    m_started = true;
    return true;
}

bool VoskHandler::stop()
{
    if (!m_started)
        return true;
    if (VOSK_Stop() < 1)
        return false;
    m_started = false;
    return true;
}

bool VoskHandler::sendInquiry()
{
    return VOSK_SendInquiry() >= 1;
}

bool VoskHandler::clearup()
{
    return VOSK_Clearup() >= 1;
}

bool VoskHandler::setLogToFile(int a, int b, int c)
{
    return VOSK_SetLogToFile(b, a, c) >= 1;
}

bool VoskHandler::setDeviceFilterRule(bool on)
{
    if (VOSK_SetDeviceFilterRule(on ? 1 : 0, 0, 0) != 0)
        return true;
    const int code = VOSK_GetLastError();
    qCDebug(lcDiscovery).nospace() << "[VoskHandler] " << reinterpret_cast<const void *>(&VOSK_SetDeviceFilterRule)
                                   << " error " << code;
    return false;
}

bool VoskHandler::modifyDeviceNetParam(const QByteArray &mac, const QByteArray &password, VOSK_NET_PARAM *param)
{
    return VOSK_ModifyDeviceNetParam(mac.constData(), password.constData(), param) >= 1;
}

bool VoskHandler::activateDevice(const QByteArray &serialNumber, const QByteArray &password)
{
    return VOSK_ActivateDevice(serialNumber.constData(), password.constData()) >= 1;
}

bool VoskHandler::getDeviceConfig(const QByteArray &serialNumber, unsigned int command, const void *inBuf,
                                  unsigned int inSize, void *answer, unsigned int answerSize)
{
    return VOSK_GetDeviceConfig(serialNumber.constData(), command, inBuf, inSize, answer, answerSize) >= 1;
}

bool VoskHandler::resetPasswd(const QByteArray &serialNumber, const VOSK_RESET_PASSWD_PARAM *param)
{
    return VOSK_ResetPasswd(serialNumber.constData(), param) >= 1;
}

bool VoskHandler::resetDefaultPasswd(const QByteArray &serialNumber, const QByteArray &securityCode)
{
    return VOSK_ResetDefaultPasswd(serialNumber.constData(), securityCode.constData()) >= 1;
}

bool VoskHandler::changePassword(const QByteArray &serialNumber, const QByteArray &oldPassword,
                                 const QByteArray &newPassword)
{
    return VOSK_ChangePasswd(serialNumber.constData(), oldPassword.constData(), newPassword.constData()) >= 1;
}

bool VoskHandler::modifyDeviceNetParam(const DeviceKey &device, const QByteArray &password, VOSK_NET_PARAM *param)
{
    return VOSK_ModifyDeviceNetParam_ByPair(device.serialNumber.toLatin1().constData(),
                                            device.mac.toLatin1().constData(), password.constData(), param)
        >= 1;
}

bool VoskHandler::activateDevice(const DeviceKey &device, const QByteArray &password)
{
    return VOSK_ActivateDevice_ByPair(device.serialNumber.toLatin1().constData(), device.mac.toLatin1().constData(),
                                      password.constData())
        >= 1;
}

bool VoskHandler::getDeviceConfig(const DeviceKey &device, unsigned int command, void *answer,
                                  unsigned int answerSize)
{
    return VOSK_GetDeviceConfig_ByPair(device.serialNumber.toLatin1().constData(), device.mac.toLatin1().constData(),
                                       command, nullptr, 0, answer, answerSize)
        >= 1;
}

bool VoskHandler::resetPasswd(const DeviceKey &device, const VOSK_RESET_PASSWD_PARAM *param)
{
    return VOSK_ResetPasswd_ByPair(device.serialNumber.toLatin1().constData(), device.mac.toLatin1().constData(),
                                   param)
        >= 1;
}

bool VoskHandler::resetDefaultPasswd(const DeviceKey &device, const QByteArray &securityCode)
{
    return VOSK_ResetDefaultPasswd_ByPair(device.serialNumber.toLatin1().constData(),
                                          device.mac.toLatin1().constData(), securityCode.constData())
        >= 1;
}

bool VoskHandler::changePassword(const DeviceKey &device, const QByteArray &oldPassword,
                                 const QByteArray &newPassword)
{
    return VOSK_ChangePasswd_ByPair(device.serialNumber.toLatin1().constData(), device.mac.toLatin1().constData(),
                                    oldPassword.constData(), newPassword.constData())
        >= 1;
}

int VoskHandler::getLastError()
{
    return VOSK_GetLastError();
}

int VoskHandler::getLockedSeconds()
{
    return VOSK_GetLockedSeconds();
}

void VoskHandler::callback(const VOSK_DEVICE_INFO *record, void *user)
{
    // Library thread: check, copy into the signal, nothing else.
    if (!record || !user)
        return;
    if (!hasSaneText(*record))
        return;
    // The ONVIF side's mark: a record of ours never carries it, and one
    // that did would be keyed as somebody's ONVIF row.
    if (isOnvifRecord(*record))
        return;
    auto *handler = static_cast<VoskHandler *>(user);
    switch (record->event) {
    case VOSK_EVENT_UPDATED:
        Q_EMIT handler->signalDeviceUpdate(*record);
        break;
    case VOSK_EVENT_OFFLINE:
        Q_EMIT handler->signalDeviceOffline(*record);
        break;
    case VOSK_EVENT_ONLINE:
    case VOSK_EVENT_ONLINE_AGAIN:
        // Off unless asked for (vosktool.discovery.debug): the one trace of
        // what an installed program found, for the package test and for
        // a technician's bug report. Quoted: QDebug then escapes the control
        // characters a device may put in its serial number, which would
        // otherwise reach the terminal.
        qCDebug(lcDiscovery) << "[VoskHandler] online" << fieldText(record->serialNumber);
        Q_EMIT handler->signalDeviceOnline(*record);
        break;
    default:
        break;
    }
}

} // namespace VOSK
