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

// The lockout's length: what a device that says 2010 without key 23 is
// taken to mean (the longest lockout there is).
constexpr int kDefaultLockoutSeconds = 60;

// The operations run on their caller's thread, and VOSK_GetLockedSeconds
// answers for that thread, as VOSK_GetLastError does.
thread_local int t_lockedSeconds = 0;

int statusToError(const WireMessage &response)
{
    t_lockedSeconds = 0;
    switch (response.status) {
    case kStatusDone: return VOSK_OK;
    case kStatusBadParam: return VOSK_ERR_INVALID_ARG;
    case kStatusReactive: return VOSK_ERR_REACTIVE;
    case kStatusNotActivated: return VOSK_ERR_NOT_ACTIVATED;
    case kStatusLocked:
        t_lockedSeconds = response.retryAfter ? int(response.retryAfter) : kDefaultLockoutSeconds;
        return VOSK_ERR_LOCKED;
    default: return VOSK_ERR_DEVICE_DENY;
    }
}

void logResult(const QString &what, const QByteArray &target, int result)
{
    logLine(result == VOSK_ERR_TIMEOUT ? LogLevel::Warning : LogLevel::Info,
            QStringLiteral("%1 %2: %3").arg(what, QString::fromLatin1(target)).arg(result));
}

} // namespace

int VoskClient::sealedOperation(const Route &route, Op op, bool byMac, SealedPayload &payload,
                                WireMessage *responseOut)
{
    const qint64 deadline = nowMs() + kOperationTimeout;
    const QByteArray &target = byMac ? route.mac : route.serial;
    WireMessage challenge;
    challenge.type = MessageType::Request;
    challenge.id = WireMessage::newId();
    challenge.op = Op::Challenge;
    (byMac ? challenge.targetMac : challenge.targetSerial) = target;
    int error = VOSK_OK;
    const std::optional<WireMessage> nonce = m_exchange.exchange(route, challenge, deadline - kOperationWindow, error);
    if (!nonce)
        return error;
    if (nonce->status != kStatusDone)
        return statusToError(*nonce);
    if (nonce->nonce.size() != kNonceSize)
        return VOSK_ERR_DEVICE_DENY;

    WireMessage request;
    request.type = MessageType::Request;
    request.id = WireMessage::newId();
    request.op = op;
    (byMac ? request.targetMac : request.targetSerial) = target;
    payload.id = request.id;
    payload.op = op;
    (byMac ? payload.targetMac : payload.targetSerial) = target;
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
    return statusToError(*response);
}

int VoskClient::lockedSeconds()
{
    return t_lockedSeconds;
}

int VoskClient::modify(const QByteArray &mac, const QByteArray &password, const WireRecord &params)
{
    Route route;
    if (!m_table.findRoute(nullptr, &mac, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.password = password;
    payload.hasNetParams = true;
    payload.netParams = params;
    const int result = sealedOperation(route, Op::Modify, true, payload);
    logResult(QStringLiteral("modify"), mac, result);
    return result;
}

int VoskClient::activate(const QByteArray &serial, const QByteArray &password)
{
    Route route;
    if (!m_table.findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.password = password;
    const int result = sealedOperation(route, Op::Activate, false, payload);
    logResult(QStringLiteral("activate"), serial, result);
    return result;
}

int VoskClient::exportKey(const QByteArray &serial, int command, QByteArray &key)
{
    Route route;
    if (!m_table.findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    WireMessage request;
    request.type = MessageType::Request;
    request.id = WireMessage::newId();
    request.op = Op::ExportKey;
    request.targetSerial = route.serial;
    request.keyCommand = quint8(command);
    int error = VOSK_OK;
    const std::optional<WireMessage> response = m_exchange.exchange(route, request, nowMs() + kOperationTimeout, error);
    if (!response)
        return error;
    if (response->status != kStatusDone)
        return statusToError(*response);
    // The key space of the caller's answer block, less its length word.
    const int room = (command == VOSK_CMD_EXPORT_KEY ? VOSK_KEY_ANSWER_SIZE_V1 : VOSK_KEY_ANSWER_SIZE_V2)
        - int(sizeof(VOSK_KEY_ANSWER::length));
    if (response->key.isEmpty() || response->key.size() > room || response->key.contains('\0'))
        return VOSK_ERR_DEVICE_DENY;
    key = response->key;
    logLine(LogLevel::Info, QStringLiteral("key %1 of %2 exported").arg(command).arg(QString::fromLatin1(serial)));
    return VOSK_OK;
}

int VoskClient::resetWithAnswer(const QByteArray &serial, const QByteArray &answer, const QByteArray &newPassword,
                                bool resetCameras)
{
    Route route;
    if (!m_table.findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.answer = answer;
    payload.newPassword = newPassword;
    payload.resetCameras = resetCameras;
    const int result = sealedOperation(route, Op::ResetWithAnswer, false, payload);
    logResult(QStringLiteral("password reset"), serial, result);
    return result;
}

int VoskClient::restoreDefault(const QByteArray &serial, const QByteArray &securityCode)
{
    Route route;
    if (!m_table.findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.securityCode = securityCode;
    const int result = sealedOperation(route, Op::RestoreDefault, false, payload);
    logResult(QStringLiteral("default password restore"), serial, result);
    return result;
}

int VoskClient::changePassword(const QByteArray &serial, const QByteArray &oldPassword,
                               const QByteArray &newPassword)
{
    Route route;
    if (!m_table.findRoute(&serial, nullptr, route))
        return VOSK_ERR_NO_SUCH_DEVICE;
    SealedPayload payload;
    payload.password = oldPassword;
    payload.newPassword = newPassword;
    const int result = sealedOperation(route, Op::ChangePassword, false, payload);
    logResult(QStringLiteral("password change"), serial, result);
    return result;
}

} // namespace VoskNet
