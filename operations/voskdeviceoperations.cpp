#include "operations/voskdeviceoperations.h"

#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"

#include <cstring>

namespace VoskTool {

namespace {

OperationOutcome outcomeOf(bool ok, VOSK::VoskHandler *handler)
{
    if (ok)
        return OperationOutcome::done();
    const int error = handler->getLastError();
    return {VoskDeviceOperations::statusOf(error), error};
}

} // namespace

OperationStatus VoskDeviceOperations::statusOf(int libraryError)
{
    switch (libraryError) {
    case VOSK_OK:
        return OperationStatus::Done;
    case VOSK_ERR_DEVICE_DENY:
        return OperationStatus::Denied;
    case VOSK_ERR_TIMEOUT:
        return OperationStatus::TimedOut;
    case VOSK_ERR_REACTIVE:
        return OperationStatus::AlreadyActive;
    case VOSK_ERR_NO_SUCH_DEVICE:
        return OperationStatus::NotFound;
    default:
        return OperationStatus::Failed;
    }
}

VOSK_NET_PARAM VoskDeviceOperations::blockOf(const NetParams &params)
{
    VOSK_NET_PARAM block;
    std::memset(&block, 0, sizeof block);
    VOSK::setFieldText(block.ipv4Address, params.ipv4Address);
    VOSK::setFieldText(block.ipv4Mask, params.ipv4Mask);
    VOSK::setFieldText(block.ipv4Gateway, params.ipv4Gateway);
    VOSK::setFieldText(block.ipv6Address, params.ipv6Address);
    VOSK::setFieldText(block.ipv6Gateway, params.ipv6Gateway);
    block.ipv6PrefixLength = quint8(params.ipv6PrefixLength);
    block.port = quint16(params.port);
    block.httpPort = quint16(params.httpPort);
    block.dhcpEnabled = params.dhcp ? 1 : 0;
    return block;
}

QString VoskDeviceOperations::kindName() const
{
    return QStringLiteral("vosk");
}

bool VoskDeviceOperations::handles(const DeviceKey &) const
{
    return true;
}

OperationOutcome VoskDeviceOperations::setNetParams(const DeviceKey &device, const QByteArray &password,
                                                   const NetParams &params)
{
    VOSK_NET_PARAM block = blockOf(params);
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    return outcomeOf(handler->modifyDeviceNetParam(device, password, &block), handler);
}

OperationOutcome VoskDeviceOperations::activate(const DeviceKey &device, const QByteArray &password)
{
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    return outcomeOf(handler->activateDevice(device, password), handler);
}

OperationOutcome VoskDeviceOperations::changePassword(const DeviceKey &, const QByteArray &, const QByteArray &)
{
    // The library offers no password change yet.
    return {OperationStatus::Unsupported, 0};
}

OperationOutcome VoskDeviceOperations::exportKey(const DeviceKey &device, bool newStyle, QByteArray *key)
{
    VOSK_KEY_ANSWER answer;
    std::memset(&answer, 0, sizeof answer);
    const unsigned command = newStyle ? VOSK_CMD_EXPORT_KEY_V2 : VOSK_CMD_EXPORT_KEY;
    const unsigned size = newStyle ? VOSK_KEY_ANSWER_SIZE_V2 : VOSK_KEY_ANSWER_SIZE_V1;
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    if (!handler->getDeviceConfig(device, command, &answer, size))
        return outcomeOf(false, handler);
    const unsigned space = size - unsigned(sizeof answer.length);
    *key = QByteArray(reinterpret_cast<const char *>(answer.keyData), qsizetype(qMin(answer.length, space)));
    return OperationOutcome::done();
}

OperationOutcome VoskDeviceOperations::resetPassword(const DeviceKey &device, const ResetPasswdParam &block)
{
    // The library takes the block by address; a copy keeps the caller's
    // block untouched whatever the library does with it.
    ResetPasswdParam copy = block;
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    const bool ok = handler->resetPasswd(device, &copy);
    std::memset(&copy, 0, sizeof copy);
    return outcomeOf(ok, handler);
}

OperationOutcome VoskDeviceOperations::restoreDefaultPassword(const DeviceKey &device,
                                                             const QByteArray &securityCode)
{
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    return outcomeOf(handler->resetDefaultPasswd(device, securityCode), handler);
}

} // namespace VoskTool
