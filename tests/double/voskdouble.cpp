#include "tests/double/voskdouble.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <cstring>
#include <thread>

namespace {

struct State
{
    QMutex mutex;
    QList<VoskDouble::Call> calls;
    QHash<QString, int> results;
    QHash<QString, QList<int>> queued;
    int lastError = 0;
    int lockedSeconds = 0;
    QByteArray configAnswer;
    VOSK_DeviceFindCallBack callback = nullptr;
    void *user = nullptr;
};

State &state()
{
    // Never destroyed: the handler singleton may still call in while static
    // objects are being torn down at exit.
    static State *s = new State;
    return *s;
}

QByteArray text(const char *s)
{
    return s ? QByteArray(s) : QByteArray();
}

int record(const QString &function, const QVariantList &args)
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    s.calls.append({function, args});
    QList<int> &queue = s.queued[function];
    if (!queue.isEmpty())
        return queue.takeFirst();
    return s.results.value(function, 1);
}

} // namespace

namespace VoskDouble {

void reset()
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    s.calls.clear();
    s.results.clear();
    s.queued.clear();
    s.lastError = 0;
    s.lockedSeconds = 0;
    s.configAnswer.clear();
    s.callback = nullptr;
    s.user = nullptr;
}

QList<Call> calls()
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    return s.calls;
}

int callCount(const QString &function)
{
    int n = 0;
    for (const Call &call : calls())
        n += call.function == function ? 1 : 0;
    return n;
}

QVariantList lastArgs(const QString &function)
{
    const QList<Call> all = calls();
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (it->function == function)
            return it->args;
    }
    return {};
}

void setResult(const QString &function, int result)
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    s.results[function] = result;
}

void queueResults(const QString &function, const QList<int> &results)
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    s.queued[function] = results;
}

void setLastError(int code)
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    s.lastError = code;
}

void setLockedSeconds(int seconds)
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    s.lockedSeconds = seconds;
}

void setConfigAnswer(const QByteArray &answer)
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    s.configAnswer = answer;
}

void fireRaw(const VOSK_DEVICE_INFO *record, void *user)
{
    VOSK_DeviceFindCallBack callback;
    {
        State &s = state();
        QMutexLocker locker(&s.mutex);
        callback = s.callback;
    }
    if (!callback)
        return;
    std::thread thread([=] { callback(record, user); });
    thread.join();
}

void fire(const VOSK_DEVICE_INFO &record)
{
    void *user;
    {
        State &s = state();
        QMutexLocker locker(&s.mutex);
        user = s.user;
    }
    fireRaw(&record, user);
}

bool hasCallback()
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    return s.callback != nullptr;
}

} // namespace VoskDouble

extern "C" {

int VOSK_SetLogToFile(int level, int target, int truncate)
{
    return record(QStringLiteral("VOSK_SetLogToFile"), {level, target, truncate});
}

int VOSK_SetDeviceFilterRule(int on, int reserved1, int reserved2)
{
    return record(QStringLiteral("VOSK_SetDeviceFilterRule"), {on, reserved1, reserved2});
}

int VOSK_Start_V30(VOSK_DeviceFindCallBack callback, int mode, void *user)
{
    const int result = record(QStringLiteral("VOSK_Start_V30"),
                              {QVariant::fromValue(reinterpret_cast<quintptr>(callback)), mode,
                               QVariant::fromValue(reinterpret_cast<quintptr>(user))});
    if (result >= 1) {
        State &s = state();
        QMutexLocker locker(&s.mutex);
        s.callback = callback;
        s.user = user;
    }
    return result;
}

int VOSK_SendInquiry(void)
{
    return record(QStringLiteral("VOSK_SendInquiry"), {});
}

int VOSK_Clearup(void)
{
    return record(QStringLiteral("VOSK_Clearup"), {});
}

int VOSK_Stop(void)
{
    const int result = record(QStringLiteral("VOSK_Stop"), {});
    if (result >= 1) {
        State &s = state();
        QMutexLocker locker(&s.mutex);
        s.callback = nullptr;
        s.user = nullptr;
    }
    return result;
}

int VOSK_ModifyDeviceNetParam(const char *mac, const char *password, VOSK_NET_PARAM *param)
{
    const QByteArray block = param ? QByteArray(reinterpret_cast<const char *>(param), sizeof(*param)) : QByteArray();
    return record(QStringLiteral("VOSK_ModifyDeviceNetParam"), {text(mac), text(password), block});
}

int VOSK_ActivateDevice(const char *serialNumber, const char *password)
{
    return record(QStringLiteral("VOSK_ActivateDevice"), {text(serialNumber), text(password)});
}

int VOSK_GetDeviceConfig(const char *serialNumber, unsigned int command, const void *inBuf,
                         unsigned int inSize, void *outBuf, unsigned int outSize)
{
    const int result = record(QStringLiteral("VOSK_GetDeviceConfig"),
                              {text(serialNumber), command, QVariant::fromValue(inBuf != nullptr), inSize, outSize});
    if (result >= 1 && outBuf) {
        State &s = state();
        QMutexLocker locker(&s.mutex);
        const auto n = std::min<qsizetype>(s.configAnswer.size(), outSize);
        std::memcpy(outBuf, s.configAnswer.constData(), static_cast<size_t>(n));
    }
    return result;
}

int VOSK_ResetPasswd(const char *serialNumber, const VOSK_RESET_PASSWD_PARAM *param)
{
    const QByteArray block = param ? QByteArray(reinterpret_cast<const char *>(param), sizeof(*param)) : QByteArray();
    return record(QStringLiteral("VOSK_ResetPasswd"), {text(serialNumber), block});
}

int VOSK_ResetDefaultPasswd(const char *serialNumber, const char *securityCode)
{
    return record(QStringLiteral("VOSK_ResetDefaultPasswd"), {text(serialNumber), text(securityCode)});
}

int VOSK_ChangePasswd(const char *serialNumber, const char *oldPassword, const char *newPassword)
{
    return record(QStringLiteral("VOSK_ChangePasswd"), {text(serialNumber), text(oldPassword), text(newPassword)});
}

int VOSK_ModifyDeviceNetParam_ByPair(const char *serialNumber, const char *mac, const char *password,
                                     VOSK_NET_PARAM *param)
{
    const QByteArray block = param ? QByteArray(reinterpret_cast<const char *>(param), sizeof(*param)) : QByteArray();
    return record(QStringLiteral("VOSK_ModifyDeviceNetParam_ByPair"),
                  {text(serialNumber), text(mac), text(password), block});
}

int VOSK_ActivateDevice_ByPair(const char *serialNumber, const char *mac, const char *password)
{
    return record(QStringLiteral("VOSK_ActivateDevice_ByPair"), {text(serialNumber), text(mac), text(password)});
}

int VOSK_GetDeviceConfig_ByPair(const char *serialNumber, const char *mac, unsigned int command,
                                const void *inBuf, unsigned int inSize, void *outBuf, unsigned int outSize)
{
    const int result = record(QStringLiteral("VOSK_GetDeviceConfig_ByPair"),
                              {text(serialNumber), text(mac), command, QVariant::fromValue(inBuf != nullptr), inSize,
                               outSize});
    if (result >= 1 && outBuf) {
        State &s = state();
        QMutexLocker locker(&s.mutex);
        const auto n = std::min<qsizetype>(s.configAnswer.size(), outSize);
        std::memcpy(outBuf, s.configAnswer.constData(), static_cast<size_t>(n));
    }
    return result;
}

int VOSK_ResetPasswd_ByPair(const char *serialNumber, const char *mac, const VOSK_RESET_PASSWD_PARAM *param)
{
    const QByteArray block = param ? QByteArray(reinterpret_cast<const char *>(param), sizeof(*param)) : QByteArray();
    // What the library would read from the answer file, read now: the file
    // may be gone once the call returns.
    QByteArray answer;
    if (param && param->answerFilePath[0]) {
        QFile file(QString::fromLocal8Bit(
            QByteArray(param->answerFilePath, qsizetype(qstrnlen(param->answerFilePath, sizeof param->answerFilePath)))));
        if (file.open(QIODevice::ReadOnly))
            answer = file.read(4096);
    }
    return record(QStringLiteral("VOSK_ResetPasswd_ByPair"), {text(serialNumber), text(mac), block, answer});
}

int VOSK_ResetDefaultPasswd_ByPair(const char *serialNumber, const char *mac, const char *securityCode)
{
    return record(QStringLiteral("VOSK_ResetDefaultPasswd_ByPair"),
                  {text(serialNumber), text(mac), text(securityCode)});
}

int VOSK_ChangePasswd_ByPair(const char *serialNumber, const char *mac, const char *oldPassword,
                             const char *newPassword)
{
    return record(QStringLiteral("VOSK_ChangePasswd_ByPair"),
                  {text(serialNumber), text(mac), text(oldPassword), text(newPassword)});
}

int VOSK_GetLastError(void)
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    return s.lastError;
}

int VOSK_GetLockedSeconds(void)
{
    State &s = state();
    QMutexLocker locker(&s.mutex);
    return s.lockedSeconds;
}

} // extern "C"
