#pragma once

#include "vosk/vosk.h"

#include <QObject>
#include <QVector>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace VOSK {
class VoskHandler;
}

namespace VoskTool {

class OnvifDevices;

// Carries the discovery handler's reports to the GUI thread in runs.
//
// The handler reports each device from the library's thread. Delivered as
// one queued call each, a burst of thousands of answers costs thousands of
// separate table insertions, each followed by a new layout of the table.
// Here the reports collect in one queue and a single posted call delivers
// them: consecutive online reports go to the sink as one run, offline and
// update reports one by one, all in the order they were made. A turn of the
// event loop delivers for at most the turn budget; what is left waits for
// the next turn, so that painting and input go on during a burst.
//
// A report made on the queue's own thread is delivered at once, after
// whatever is still queued: the direct call it was before.
//
// Owned by and used on the GUI thread; push() and the handler's signals may
// come from any thread.
class DeviceReportQueue final : public QObject
{
    Q_OBJECT

public:
    struct Sink
    {
        std::function<void(const QVector<VOSK_DEVICE_INFO> &)> online;
        std::function<void(const VOSK_DEVICE_INFO &)> offline;
        std::function<void(const VOSK_DEVICE_INFO &)> update;
    };
    enum class Kind { Online, Offline, Update };

    explicit DeviceReportQueue(Sink sink, QObject *parent = nullptr);
    ~DeviceReportQueue() override;

    // Takes the handler's three signals from now on: the reporting thread
    // only copies the record into the queue. See stopListening().
    void listenTo(VOSK::VoskHandler *handler);
    // The same for the ONVIF side's records (its signals come from the GUI
    // thread, and are then delivered at once). Null is ignored.
    void listenTo(OnvifDevices *devices);
    // Takes no more reports from the handlers listened to, but for one the
    // handler's thread may be handing over at that moment; what is queued
    // stays queued (discard() drops it). Also done by the destructor, after
    // which anything still handed over is dropped.
    void stopListening();
    // Any thread. Queues one report and, when the queue was idle, posts its
    // delivery; on the queue's thread delivers at once (see the class).
    void push(Kind kind, const VOSK_DEVICE_INFO &record);

    // Delivers everything queued now, whatever the budget.
    void flush();
    // Forgets every queued report (the table is being rebuilt from scratch).
    void discard();
    int pending() const;

    // Longest time one turn spends delivering (default 3 ms).
    void setTurnBudget(std::chrono::microseconds budget) { m_budget = budget; }
    // Most online reports handed to the sink in one run (default 64): the
    // step at which the budget is checked.
    void setRunLength(int rows) { m_runLength = rows > 0 ? rows : 1; }

private:
    struct Shared;
    struct Tap;

    // Delivers until the queue is empty or the limit has passed.
    void deliver(std::chrono::microseconds limit);
    Q_INVOKABLE void onPosted();

    std::shared_ptr<Shared> m_shared;
    std::vector<std::shared_ptr<Tap>> m_taps; // the handlers' taps joined
    Sink m_sink;
    std::chrono::microseconds m_budget{3000};
    int m_runLength = 64;
    bool m_delivering = false;
};

} // namespace VoskTool
