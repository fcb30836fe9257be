// The C interface of the discovery library (vosk.h) over VoskClient.

#include "vosk/vosk.h"

#include "vosk/recordtext.h"
#include "vosk/voskclient.h"
#include "vosk/vosklog.h"

#include <sodium.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

using VoskNet::TextWidth;
using VoskNet::VoskClient;
using VoskNet::fieldBytes;

namespace {

// Never destroyed: VOSK_Stop runs from a singleton's destructor during
// static destruction, possibly after our own statics would be gone.
struct Library
{
    std::mutex mutex;
    std::shared_ptr<VoskClient> client;
    // The client a VOSK_Stop is ending right now; `stopped` is signalled
    // when it is gone, so that every other VOSK_Stop (and a new start)
    // waits for its last callback too.
    std::shared_ptr<VoskClient> stopping;
    std::condition_variable stopped;
    std::atomic<bool> filterOn{false};
};

Library &library()
{
    static Library *lib = new Library;
    return *lib;
}

thread_local int t_lastError = VOSK_OK;

int fail(int code)
{
    t_lastError = code;
    return 0;
}

// Operations hold their own reference, so a concurrent VOSK_Stop cannot
// pull the client away under them; they just fail with NOT_STARTED.
std::shared_ptr<VoskClient> currentClient()
{
    Library &lib = library();
    const std::lock_guard<std::mutex> lock(lib.mutex);
    return lib.client;
}

// The client for a blocking operation, or the error. The library thread
// itself receives the responses, so an operation from inside the callback
// could only wait for its own timeout while discovery stood still.
int operationClient(std::shared_ptr<VoskClient> &client)
{
    client = currentClient();
    if (!client)
        return VOSK_ERR_NOT_STARTED;
    if (client->onLibraryThread())
        return VOSK_ERR_WRONG_THREAD;
    return VOSK_OK;
}

// Overwrites a secret the caller's bytes were copied into.
struct SecretWiper
{
    QByteArray *secrets[3] = {};
    ~SecretWiper()
    {
        for (QByteArray *secret : secrets) {
            if (secret && !secret->isEmpty())
                sodium_memzero(secret->data(), std::size_t(secret->size()));
        }
    }
};

// A zero-terminated string of 1..max bytes.
bool boundedText(const char *text, std::size_t max, QByteArray &out)
{
    if (!text)
        return false;
    const void *end = std::memchr(text, 0, max + 1);
    if (!end)
        return false;
    out = QByteArray(text, int(static_cast<const char *>(end) - text));
    return !out.isEmpty();
}

int finish(int code)
{
    return code == VOSK_OK ? 1 : fail(code);
}

// Which halves of a device's identity a call names.
enum class Names { Serial, Mac, Both };

// The device a call is for, from the caller's texts; false for a null,
// empty or overlong one among those it names.
bool readAddress(Names names, const char *serialNumber, const char *mac, VoskClient::Address &address)
{
    if (names != Names::Mac && !boundedText(serialNumber, TextWidth::serialNumber, address.serial))
        return false;
    if (names != Names::Serial && !boundedText(mac, TextWidth::mac, address.mac))
        return false;
    return true;
}

} // namespace

int VOSK_SetLogToFile(int level, int target, int truncate)
{
    if (level < 0 || level > 3 || target != 0 || (truncate != 0 && truncate != 1))
        return fail(VOSK_ERR_INVALID_ARG);
    if (!VoskNet::setLogFile(level, truncate == 1))
        return fail(VOSK_ERR_INVALID_ARG);
    return 1;
}

int VOSK_SetDeviceFilterRule(int on, int reserved1, int reserved2)
{
    if ((on != 0 && on != 1) || reserved1 != 0 || reserved2 != 0)
        return fail(VOSK_ERR_INVALID_ARG);
    library().filterOn = on == 1;
    return 1;
}

int VOSK_Start_V30(VOSK_DeviceFindCallBack callback, int mode, void *user)
{
    if (!callback || mode != 1)
        return fail(VOSK_ERR_INVALID_ARG);
    if (sodium_init() < 0)
        return fail(VOSK_ERR_NETWORK);
    Library &lib = library();
    std::unique_lock<std::mutex> lock(lib.mutex);
    if (lib.client)
        return fail(VOSK_ERR_ALREADY_STARTED);
    if (lib.stopping) {
        // The callback of a client being stopped cannot wait for itself.
        if (lib.stopping->onLibraryThread())
            return fail(VOSK_ERR_WRONG_THREAD);
        lib.stopped.wait(lock, [&] { return !lib.stopping; });
        if (lib.client)
            return fail(VOSK_ERR_ALREADY_STARTED);
    }
    auto client = std::make_shared<VoskClient>(callback, user, &lib.filterOn);
    const int result = client->start();
    if (result != VOSK_OK)
        return fail(result);
    lib.client = std::move(client);
    return 1;
}

int VOSK_SendInquiry(void)
{
    const std::shared_ptr<VoskClient> client = currentClient();
    if (!client)
        return fail(VOSK_ERR_NOT_STARTED);
    client->requestInquiry();
    return 1;
}

int VOSK_Clearup(void)
{
    const std::shared_ptr<VoskClient> client = currentClient();
    if (!client)
        return fail(VOSK_ERR_NOT_STARTED);
    client->clearup();
    return 1;
}

int VOSK_Stop(void)
{
    Library &lib = library();
    std::unique_lock<std::mutex> lock(lib.mutex);
    if (!lib.client) {
        // Another thread is stopping: "no callback after it returns" holds
        // for this caller too, so wait for that stop to end.
        if (lib.stopping) {
            if (lib.stopping->onLibraryThread())
                return fail(VOSK_ERR_WRONG_THREAD);
            lib.stopped.wait(lock, [&] { return !lib.stopping; });
        }
        return 1;
    }
    // Joining our own thread from the callback would deadlock.
    if (lib.client->onLibraryThread())
        return fail(VOSK_ERR_WRONG_THREAD);
    const std::shared_ptr<VoskClient> client = std::move(lib.client);
    lib.stopping = client;
    lock.unlock();
    client->stop();
    lock.lock();
    lib.stopping.reset();
    lock.unlock();
    lib.stopped.notify_all();
    return 1;
}

namespace {

// The operations behind both forms of each call: by the one half of the
// identity that call names, or (ByPair) by both.
int modifyDevice(Names names, const char *serialNumber, const char *mac, const char *password,
                 VOSK_NET_PARAM *param)
{
    VoskClient::Address device;
    QByteArray passwordBytes;
    if (!readAddress(names, serialNumber, mac, device) || !boundedText(password, VoskNet::kMaxSecret, passwordBytes)
        || !param)
        return fail(VOSK_ERR_INVALID_ARG);
    VoskNet::WireRecord params;
    params.ipv4Address = fieldBytes(param->ipv4Address);
    params.ipv4Mask = fieldBytes(param->ipv4Mask);
    params.ipv4Gateway = fieldBytes(param->ipv4Gateway);
    params.ipv6Address = fieldBytes(param->ipv6Address);
    params.ipv6Gateway = fieldBytes(param->ipv6Gateway);
    params.port = param->port;
    params.ipv6PrefixLength = param->ipv6PrefixLength;
    params.dhcpEnabled = param->dhcpEnabled != 0;
    params.httpPort = param->httpPort;
    // A full 16-byte IPv4 field has no terminator: no address is that long.
    if (params.ipv4Address.size() > TextWidth::ipv4Address || params.ipv4Mask.size() > TextWidth::ipv4Mask
        || params.ipv4Gateway.size() > TextWidth::ipv4Gateway || params.ipv6Address.size() > TextWidth::ipv6Address
        || params.ipv6Gateway.size() > TextWidth::ipv6Gateway || params.ipv6PrefixLength > 128
        || param->dhcpEnabled > 1)
        return fail(VOSK_ERR_INVALID_ARG);
    const SecretWiper wiper{{&passwordBytes}};
    std::shared_ptr<VoskClient> client;
    if (const int error = operationClient(client))
        return fail(error);
    return finish(client->modify(device, passwordBytes, params));
}

int activateDevice(Names names, const char *serialNumber, const char *mac, const char *password)
{
    VoskClient::Address device;
    QByteArray passwordBytes;
    if (!readAddress(names, serialNumber, mac, device) || !boundedText(password, VoskNet::kMaxSecret, passwordBytes))
        return fail(VOSK_ERR_INVALID_ARG);
    const SecretWiper wiper{{&passwordBytes}};
    std::shared_ptr<VoskClient> client;
    if (const int error = operationClient(client))
        return fail(error);
    return finish(client->activate(device, passwordBytes));
}

int getDeviceConfig(Names names, const char *serialNumber, const char *mac, unsigned int command,
                    const void *inBuf, unsigned int inSize, void *outBuf, unsigned int outSize)
{
    VoskClient::Address device;
    if (!readAddress(names, serialNumber, mac, device) || inBuf || inSize != 0 || !outBuf)
        return fail(VOSK_ERR_INVALID_ARG);
    if (!(command == VOSK_CMD_EXPORT_KEY && outSize >= VOSK_KEY_ANSWER_SIZE_V1)
        && !(command == VOSK_CMD_EXPORT_KEY_V2 && outSize >= VOSK_KEY_ANSWER_SIZE_V2))
        return fail(VOSK_ERR_INVALID_ARG);
    std::shared_ptr<VoskClient> client;
    if (const int error = operationClient(client))
        return fail(error);
    QByteArray key;
    const int result = client->exportKey(device, int(command), key);
    if (result != VOSK_OK)
        return fail(result);
    const std::size_t room = command == VOSK_CMD_EXPORT_KEY ? VOSK_KEY_ANSWER_SIZE_V1 : VOSK_KEY_ANSWER_SIZE_V2;
    auto *out = static_cast<unsigned char *>(outBuf);
    std::memset(out, 0, room);
    const uint32_t length = uint32_t(key.size());
    std::memcpy(out, &length, sizeof length);
    std::memcpy(out + 4, key.constData(), std::size_t(key.size()));
    return 1;
}

int resetPasswd(Names names, const char *serialNumber, const char *mac, const VOSK_RESET_PASSWD_PARAM *param)
{
    VoskClient::Address device;
    if (!readAddress(names, serialNumber, mac, device) || !param)
        return fail(VOSK_ERR_INVALID_ARG);
    // The block's texts end at the zero fill or at their field's end.
    QByteArray keyText = fieldBytes(param->keyText);
    const QByteArray path = fieldBytes(param->answerFilePath);
    QByteArray newPassword = fieldBytes(param->newPassword);
    QByteArray answer;
    const SecretWiper wiper{{&keyText, &newPassword, &answer}};
    if (newPassword.isEmpty() || keyText.isEmpty() == path.isEmpty() || param->resetCameras > 1)
        return fail(VOSK_ERR_INVALID_ARG);
    answer = keyText;
    if (!path.isEmpty()) {
        std::FILE *file = std::fopen(path.constData(), "rb");
        if (!file)
            return fail(VOSK_ERR_INVALID_ARG);
        answer.resize(VoskNet::kMaxAnswer + 1);
        const std::size_t n = std::fread(answer.data(), 1, std::size_t(answer.size()), file);
        std::fclose(file);
        answer.resize(int(n));
        if (answer.isEmpty() || answer.size() > VoskNet::kMaxAnswer)
            return fail(VOSK_ERR_INVALID_ARG);
    }
    std::shared_ptr<VoskClient> client;
    if (const int error = operationClient(client))
        return fail(error);
    return finish(client->resetWithAnswer(device, answer, newPassword, param->resetCameras == 1));
}

int resetDefaultPasswd(Names names, const char *serialNumber, const char *mac, const char *securityCode)
{
    VoskClient::Address device;
    QByteArray code;
    if (!readAddress(names, serialNumber, mac, device) || !boundedText(securityCode, VoskNet::kMaxSecret, code))
        return fail(VOSK_ERR_INVALID_ARG);
    const SecretWiper wiper{{&code}};
    std::shared_ptr<VoskClient> client;
    if (const int error = operationClient(client))
        return fail(error);
    return finish(client->restoreDefault(device, code));
}

} // namespace

int VOSK_ModifyDeviceNetParam(const char *mac, const char *password, VOSK_NET_PARAM *param)
{
    return modifyDevice(Names::Mac, nullptr, mac, password, param);
}

int VOSK_ActivateDevice(const char *serialNumber, const char *password)
{
    return activateDevice(Names::Serial, serialNumber, nullptr, password);
}

int VOSK_GetDeviceConfig(const char *serialNumber, unsigned int command, const void *inBuf, unsigned int inSize,
                         void *outBuf, unsigned int outSize)
{
    return getDeviceConfig(Names::Serial, serialNumber, nullptr, command, inBuf, inSize, outBuf, outSize);
}

int VOSK_ResetPasswd(const char *serialNumber, const VOSK_RESET_PASSWD_PARAM *param)
{
    return resetPasswd(Names::Serial, serialNumber, nullptr, param);
}

int VOSK_ResetDefaultPasswd(const char *serialNumber, const char *securityCode)
{
    return resetDefaultPasswd(Names::Serial, serialNumber, nullptr, securityCode);
}

int VOSK_ModifyDeviceNetParam_ByPair(const char *serialNumber, const char *mac, const char *password,
                                     VOSK_NET_PARAM *param)
{
    return modifyDevice(Names::Both, serialNumber, mac, password, param);
}

int VOSK_ActivateDevice_ByPair(const char *serialNumber, const char *mac, const char *password)
{
    return activateDevice(Names::Both, serialNumber, mac, password);
}

int VOSK_GetDeviceConfig_ByPair(const char *serialNumber, const char *mac, unsigned int command,
                                const void *inBuf, unsigned int inSize, void *outBuf, unsigned int outSize)
{
    return getDeviceConfig(Names::Both, serialNumber, mac, command, inBuf, inSize, outBuf, outSize);
}

int VOSK_ResetPasswd_ByPair(const char *serialNumber, const char *mac, const VOSK_RESET_PASSWD_PARAM *param)
{
    return resetPasswd(Names::Both, serialNumber, mac, param);
}

int VOSK_ResetDefaultPasswd_ByPair(const char *serialNumber, const char *mac, const char *securityCode)
{
    return resetDefaultPasswd(Names::Both, serialNumber, mac, securityCode);
}

int VOSK_GetLastError(void)
{
    return t_lastError;
}
