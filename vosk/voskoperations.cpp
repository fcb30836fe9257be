// The operations of VoskClient: each finds the device's route, and sends
// its request (after a challenge for the sealed ones) through the request
// exchange on the caller's thread.

#include "vosk/voskclient.h"

#include "vosk/clock.h"
#include "vosk/sealedpayload.h"
#include "vosk/vosklog.h"

namespace VoskNet {

namespace {

// Timing of docs/protocol.md.
constexpr qint64 kOperationTimeout = 3000;
// A state-changing request goes out only with this much of the timeout
// left: sent at the last moment, it could take effect while the caller is
// told 2011, and a retry would then meet "already active".
constexpr qint64 kOperationWindow = 1000;

int statusToError(quint32 status)
{
    switch (status) {
    case kStatusDone: return VOSK_OK;
    case kStatusBadParam: return VOSK_ERR_INVALID_ARG;
    case kStatusReactive: return VOSK_ERR_REACTIVE;
    default: return VOSK_ERR_DEVICE_DENY;
    }
}

void logResult(const QString &what, const QByteArray &target, int result)
{
    logLine(result == VOSK_ERR_TIMEOUT ? LogLevel::Warning : LogLevel::Info,
            QStringLiteral("%1 %2: %3").arg(what, QString::fromLatin1(target)).arg(result));
}

// What a request names: both halves for a route found by pair, so that a
// device sharing one of them ignores it; else the one the operation uses.
template <typename Message>
void setTargets(Message &message, const Route &route, bool byMac)
{
    if (route.byPair || byMac)
        message.targetMac = route.mac;
    if (route.byPair || !byMac)
        message.targetSerial = route.serial;
}

QByteArray logTarget(const VoskClient::Address &device)
{
    if (device.serial.isEmpty())
        return device.mac;
    if (device.mac.isEmpty())
        return device.serial;
    return device.serial + '/' + device.mac;
}

} // namespace

int VoskClient::findDevice(const Address &device, Route &route) const
{
    return m_table.route(device.serial.isEmpty() ? nullptr : &device.serial,
                         device.mac.isEmpty() ? nullptr : &device.mac, route);
}

int VoskClient::sealedOperation(const Route &route, Op op, bool byMac, SealedPayload &payload,
                                WireMessage *responseOut)
{
    const qint64 deadline = nowMs() + kOperationTimeout;
    WireMessage challenge;
    challenge.type = MessageType::Request;
    challenge.id = WireMessage::newId();
    challenge.op = Op::Challenge;
    setTargets(challenge, route, byMac);
    int error = VOSK_OK;
    const std::optional<WireMessage> nonce = m_exchange.exchange(route, challenge, deadline - kOperationWindow, error);
    if (!nonce)
        return error;
    if (nonce->status != kStatusDone)
        return statusToError(nonce->status);
    if (nonce->nonce.size() != kNonceSize)
        return VOSK_ERR_DEVICE_DENY;

    WireMessage request;
    request.type = MessageType::Request;
    request.id = WireMessage::newId();
    request.op = op;
    setTargets(request, route, byMac);
    payload.id = request.id;
    payload.op = op;
    setTargets(payload, route, byMac);
    payload.nonce = nonce->nonce;
    request.sealed = payload.seal(route.publicKey);
    payload.wipe();
    if (request.sealed.isEmpty())
        return VOSK_ERR_INVALID_ARG;
    const std::optional<WireMessage> response = m_exchange.exchange(route, request, deadline, error);
    if (!response)
        return error;
    if (responseOut)
        *responseOut = *response;
    return statusToError(response->status);
}

int VoskClient::modify(const Address &device, const QByteArray &password, const WireRecord &params)
{
    Route route;
    if (const int error = findDevice(device, route))
        return error;
    SealedPayload payload;
    payload.password = password;
    payload.hasNetParams = true;
    payload.netParams = params;
    const int result = sealedOperation(route, Op::Modify, true, payload);
    logResult(QStringLiteral("modify"), logTarget(device), result);
    return result;
}

int VoskClient::activate(const Address &device, const QByteArray &password)
{
    Route route;
    if (const int error = findDevice(device, route))
        return error;
    SealedPayload payload;
    payload.password = password;
    const int result = sealedOperation(route, Op::Activate, false, payload);
    logResult(QStringLiteral("activate"), logTarget(device), result);
    return result;
}

int VoskClient::exportKey(const Address &device, int command, QByteArray &key)
{
    Route route;
    if (const int error = findDevice(device, route))
        return error;
    WireMessage request;
    request.type = MessageType::Request;
    request.id = WireMessage::newId();
    request.op = Op::ExportKey;
    setTargets(request, route, false);
    request.keyCommand = quint8(command);
    int error = VOSK_OK;
    const std::optional<WireMessage> response = m_exchange.exchange(route, request, nowMs() + kOperationTimeout, error);
    if (!response)
        return error;
    if (response->status != kStatusDone)
        return statusToError(response->status);
    // The key space of the caller's answer block, less its length word.
    const int room = (command == VOSK_CMD_EXPORT_KEY ? VOSK_KEY_ANSWER_SIZE_V1 : VOSK_KEY_ANSWER_SIZE_V2)
        - int(sizeof(VOSK_KEY_ANSWER::length));
    if (response->key.isEmpty() || response->key.size() > room || response->key.contains('\0'))
        return VOSK_ERR_DEVICE_DENY;
    key = response->key;
    logLine(LogLevel::Info, QStringLiteral("key %1 of %2 exported").arg(command).arg(QString::fromLatin1(logTarget(device))));
    return VOSK_OK;
}

int VoskClient::resetWithAnswer(const Address &device, const QByteArray &answer, const QByteArray &newPassword,
                                bool resetCameras)
{
    Route route;
    if (const int error = findDevice(device, route))
        return error;
    SealedPayload payload;
    payload.answer = answer;
    payload.newPassword = newPassword;
    payload.resetCameras = resetCameras;
    const int result = sealedOperation(route, Op::ResetWithAnswer, false, payload);
    logResult(QStringLiteral("password reset"), logTarget(device), result);
    return result;
}

int VoskClient::restoreDefault(const Address &device, const QByteArray &securityCode)
{
    Route route;
    if (const int error = findDevice(device, route))
        return error;
    SealedPayload payload;
    payload.securityCode = securityCode;
    const int result = sealedOperation(route, Op::RestoreDefault, false, payload);
    logResult(QStringLiteral("default password restore"), logTarget(device), result);
    return result;
}

} // namespace VoskNet
