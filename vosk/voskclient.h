#pragma once

// The core of the discovery library behind the C API: one instance per
// VOSK_Start_V30 .. VOSK_Stop. It owns the multicast links and a thread of
// its own that receives, feeds the device table, sends the inquiry rounds
// and calls the report callback (voskclient.cpp). Operations run on the
// caller's thread and wait for their response, which the library thread
// hands over (voskoperations.cpp).

#include "vosk/devicetable.h"
#include "vosk/inquiryplan.h"
#include "vosk/multicastlinks.h"
#include "vosk/requestexchange.h"
#include "vosk/vosk.h"
#include "vosk/wiremessage.h"

#include <QSet>

#include <atomic>
#include <deque>
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

    // Opens the sockets, joins the group and starts the thread. VOSK_OK or
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

    // Which device an operation is for: the one with that serial number or
    // MAC (the one the operation names by default), or, with both set,
    // exactly the device that reported the pair (DeviceTable::route()).
    struct Address
    {
        QByteArray serial;
        QByteArray mac;
    };

    // Operations: VOSK_OK or an error code. Any thread, blocking.
    // modify() names the device by MAC, the others by serial number, unless
    // the address carries both.
    int modify(const Address &device, const QByteArray &password, const WireRecord &params);
    int activate(const Address &device, const QByteArray &password);
    int exportKey(const Address &device, int command, QByteArray &key);
    int resetWithAnswer(const Address &device, const QByteArray &answer, const QByteArray &newPassword,
                        bool resetCameras);
    int restoreDefault(const Address &device, const QByteArray &securityCode);

private:
    // The receive loop (voskclient.cpp).
    void run();
    void wake();
    void handleDatagram(const MulticastSocket::Datagram &datagram, Family family);
    void startRound(qint64 now);
    void startBurst(qint64 now);
    void sendDueInquiries(qint64 now);
    bool remember(const QByteArray &id);
    void deliver(const DeviceTable::Events &events);

    // The route of an operation's device, or the error (voskoperations.cpp).
    int findDevice(const Address &device, Route &route) const;
    // Challenge, then the sealed operation, within one deadline
    // (voskoperations.cpp). A route found by pair names both halves;
    // otherwise byMac chooses which one the request names.
    int sealedOperation(const Route &route, Op op, bool byMac, SealedPayload &payload,
                        WireMessage *response = nullptr);

    const VOSK_DeviceFindCallBack m_callback;
    void *const m_user;
    const std::atomic<bool> *const m_filterOn;
    const qint64 m_roundInterval;

    MulticastLinks m_links;
    DeviceTable m_table;
    RequestExchange m_exchange;
    int m_wakeFd = -1;
    std::thread m_thread;
    // Set by the thread itself before its first callback; read by any
    // thread without touching m_thread, which stop() joins.
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_inquiryRequested{false};

    // Library thread only.
    InquiryPlan m_plan;
    qint64 m_nextRound = 0;
    qint64 m_nextRescan = 0;
    QSet<QByteArray> m_seenIds;
    std::deque<QByteArray> m_seenOrder;
};

} // namespace VoskNet
