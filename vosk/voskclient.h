#pragma once

// The core of the discovery library behind the C API: one instance per
// VOSK_Start_V30 .. VOSK_Stop. It owns the multicast socket and a thread of
// its own that receives, keeps the device table, sends the inquiry rounds
// and calls the report callback. Operations run on the caller's thread and
// wait for their response, which the library thread hands over.

#include "vosk/multicastsocket.h"
#include "vosk/vosk.h"
#include "vosk/wiremessage.h"

#include <QHash>
#include <QSet>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace VoskNet {

struct SealedPayload;

class VoskClient final
{
public:
    // filterOn: read for every report (VOSK_SetDeviceFilterRule).
    VoskClient(VOSK_DeviceFindCallBack callback, void *user, const std::atomic<bool> *filterOn);
    ~VoskClient();
    VoskClient(const VoskClient &) = delete;
    VoskClient &operator=(const VoskClient &) = delete;

    // Opens the socket, joins the group and starts the thread. VOSK_OK or
    // VOSK_ERR_NETWORK.
    int start();
    // Ends the thread and wakes every waiting operation (which then fail
    // with VOSK_ERR_NOT_STARTED). No callback runs after it returns.
    void stop();
    // Whether the caller is the library's own thread (inside the callback).
    // Any thread, also while stop() runs.
    bool onLibraryThread() const;

    // Thread-safe; the library thread does the sending.
    void requestInquiry();
    void clearup();

    // Operations: VOSK_OK or an error code. Any thread, blocking.
    int modify(const QByteArray &mac, const QByteArray &password, const WireRecord &params);
    int activate(const QByteArray &serial, const QByteArray &password);
    int exportKey(const QByteArray &serial, int command, QByteArray &key);
    int resetWithAnswer(const QByteArray &serial, const QByteArray &answer, const QByteArray &newPassword,
                        bool resetCameras);
    int restoreDefault(const QByteArray &serial, const QByteArray &securityCode);

private:
    struct Device
    {
        WireRecord record;
        QByteArray publicKey;
        QByteArray boot;
        quint32 seq = 0;
        int interfaceIndex = 0;
        Family family = Family::V4;
        qint64 lastHeardRound = 0;
        bool reported = false;
    };
    struct Route
    {
        int interfaceIndex = 0;
        Family family = Family::V4;
        QByteArray publicKey;
        QByteArray serial;
        QByteArray mac;
    };

    void run();
    void wake();
    void handleDatagram(const MulticastSocket::Datagram &datagram, Family family);
    void handleReport(const WireMessage &message, int interfaceIndex, Family family);
    void startRound(qint64 now);
    void scheduleInquiries(qint64 now);
    void sendInquiry();
    void rescanInterfaces();
    bool remember(const QByteArray &id);
    // With m_devicesMutex held: drops the devices that went offline by
    // silence, to make room in a full table.
    void forgetSilentDevices();
    void deliver(const std::vector<VOSK_DEVICE_INFO> &events);

    bool findRoute(const QByteArray *serial, const QByteArray *mac, Route &route);
    std::optional<WireMessage> exchange(const Route &route, const WireMessage &request, qint64 deadline, int &error);
    MulticastSocket &socketFor(Family family) { return family == Family::V6 ? m_socket6 : m_socket; }
    const QList<NetInterface> &interfacesFor(Family family) const
    {
        return family == Family::V6 ? m_interfaces6 : m_interfaces;
    }
    // Challenge, then the sealed operation, within one deadline.
    int sealedOperation(const Route &route, Op op, bool byMac, SealedPayload &payload,
                        WireMessage *response = nullptr);

    const VOSK_DeviceFindCallBack m_callback;
    void *const m_user;
    const std::atomic<bool> *const m_filterOn;
    const NetConfig m_config;
    const qint64 m_roundInterval;

    MulticastSocket m_socket;
    MulticastSocket m_socket6;  // link-local IPv6; not open when the host has none
    int m_wakeFd = -1;
    std::thread m_thread;
    // Set by the thread itself before its first callback; read by any
    // thread without touching m_thread, which stop() joins.
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_inquiryRequested{false};

    // Library thread only.
    QList<NetInterface> m_interfaces;
    QList<NetInterface> m_interfaces6;
    std::vector<qint64> m_inquiryTimes;
    qint64 m_nextRound = 0;
    qint64 m_nextRescan = 0;
    QSet<QByteArray> m_seenIds;
    std::deque<QByteArray> m_seenOrder;

    // The device table: the library thread writes, operations read routes.
    std::mutex m_devicesMutex;
    QHash<QByteArray, Device> m_devices;  // by MAC
    qint64 m_round = 0;
    qint64 m_lastSweepRound = -1;

    // Responses awaited by operations, by request id.
    std::mutex m_pendingMutex;
    std::condition_variable m_pendingCv;
    QHash<QByteArray, std::optional<WireMessage>> m_pending;
};

} // namespace VoskNet
