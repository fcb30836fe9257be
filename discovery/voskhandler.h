#pragma once

#include "discovery/deviceinfo.h"
#include "discovery/singleton.h"
#include "vosk/vosk.h"

#include <QByteArray>
#include <QObject>

namespace VOSK {

using Singleton::CSingleton;

// The only caller of the discovery library. One per process
// (CSingleton<VoskHandler>::instance(), made on the GUI thread).
//
// The library reports devices on a thread of its own; the report callback
// checks the record and emits one of the three signals there with a copy of
// it, so receivers living on the GUI thread get it as a queued call
// (register the meta types first, VOSK::registerMetaTypes()).
//
// The wrappers return true when the library returns 1 or more. After a
// false, getLastError() tells why. They take no lock and may be called from
// any thread.
class VoskHandler final : public QObject, public CSingleton<VoskHandler>
{
    Q_OBJECT

public:
    ~VoskHandler() override;

    // Starts discovery. True at once when started already.
    bool start();
    // Stops discovery. True at once when not started; on failure stays
    // started and returns false.
    bool stop();
    bool isStarted() const { return m_started; }

    bool sendInquiry();
    bool clearup();
    // Note the order: the library receives (b, a, c).
    bool setLogToFile(int a, int b, int c);
    // Any non-zero library result is success. A failure is logged with the
    // library's error code.
    bool setDeviceFilterRule(bool on);

    bool modifyDeviceNetParam(const QByteArray &mac, const QByteArray &password, VOSK_NET_PARAM *param);
    bool activateDevice(const QByteArray &serialNumber, const QByteArray &password);
    bool getDeviceConfig(const QByteArray &serialNumber, unsigned int command, const void *inBuf,
                         unsigned int inSize, void *answer, unsigned int answerSize);
    bool resetPasswd(const QByteArray &serialNumber, const VOSK_RESET_PASSWD_PARAM *param);
    bool resetDefaultPasswd(const QByteArray &serialNumber, const QByteArray &securityCode);

    // The same operations for exactly the device with that key (serial
    // number and MAC, sent as Latin-1): the *_ByPair calls of the library.
    // Every operation that sends a secret for a device the user picked goes
    // this way, so that a second device announcing the same MAC or serial
    // number can neither answer nor open it. A key no device has reported
    // fails with VOSK_ERR_NO_SUCH_DEVICE.
    bool modifyDeviceNetParam(const DeviceKey &device, const QByteArray &password, VOSK_NET_PARAM *param);
    bool activateDevice(const DeviceKey &device, const QByteArray &password);
    bool getDeviceConfig(const DeviceKey &device, unsigned int command, void *answer, unsigned int answerSize);
    bool resetPasswd(const DeviceKey &device, const VOSK_RESET_PASSWD_PARAM *param);
    bool resetDefaultPasswd(const DeviceKey &device, const QByteArray &securityCode);

    // The calling thread's last library error, as the library returns it.
    int getLastError();

Q_SIGNALS:
    void signalDeviceOnline(VOSK_DEVICE_INFO struDevInfo);
    void signalDeviceOffline(VOSK_DEVICE_INFO struDevInfo);
    void signalDeviceUpdate(VOSK_DEVICE_INFO struDevInfo);

private:
    friend class Singleton::CSingleton<VoskHandler>;
    VoskHandler();

    // Runs on the library's thread.
    static void callback(const VOSK_DEVICE_INFO *record, void *user);

    bool m_started = false;
};

} // namespace VOSK
