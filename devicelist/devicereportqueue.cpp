#include "devicelist/devicereportqueue.h"

#include "discovery/voskhandler.h"
#include "operations/onvifdevices.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <deque>
#include <limits>
#include <map>
#include <utility>
#include <vector>

namespace VoskTool {

// What the library's thread and the GUI thread share. A report on its way
// through a handler's tap holds it too, so a report racing the queue's
// destruction finds a null owner instead of a freed object.
struct DeviceReportQueue::Shared
{
    QMutex mutex;
    std::deque<std::pair<Kind, VOSK_DEVICE_INFO>> reports;
    DeviceReportQueue *owner = nullptr;
    bool posted = false;

    // Any thread.
    void push(Kind kind, const VOSK_DEVICE_INFO &record)
    {
        QMutexLocker locker(&mutex);
        if (!owner)
            return;
        reports.emplace_back(kind, record);
        if (QThread::currentThread() == owner->thread()) {
            // The owner cannot go away under a call on its own thread.
            DeviceReportQueue *queue = owner;
            locker.unlock();
            if (!queue->m_delivering)
                queue->flush();
            return;
        }
        postLocked();
    }

    // With the mutex held and an owner: one posted delivery at a time.
    void postLocked()
    {
        if (posted)
            return;
        posted = true;
        QMetaObject::invokeMethod(owner, &DeviceReportQueue::onPosted, Qt::QueuedConnection);
    }
};

// Where a handler's three signals lead: one set of connections per handler,
// made by the first queue that listens to it and kept for the handler's
// life, and the queues listening now. A connection's context object must
// not be destroyed while another thread emits through it: Qt 6.4 tears the
// connection down under the emission (an ASan run crashed in
// QMetaObject::metacall on the library's thread as a queue was deleted).
// So these connections have no context and are never undone; a queue that
// stops listening leaves the list, under the lock the reporting thread
// takes too.
struct DeviceReportQueue::Tap
{
    QMutex mutex;
    std::vector<std::weak_ptr<Shared>> queues;

    // Any thread.
    void push(Kind kind, const VOSK_DEVICE_INFO &record)
    {
        std::vector<std::shared_ptr<Shared>> listening;
        {
            const QMutexLocker locker(&mutex);
            listening.reserve(queues.size());
            for (const std::weak_ptr<Shared> &queue : queues) {
                if (std::shared_ptr<Shared> shared = queue.lock())
                    listening.push_back(std::move(shared));
            }
        }
        // Outside the lock: a push on the queue's own thread delivers at
        // once, and the page may then listen or stop listening itself.
        for (const std::shared_ptr<Shared> &shared : listening)
            shared->push(kind, record);
    }

    void add(const std::shared_ptr<Shared> &shared)
    {
        const QMutexLocker locker(&mutex);
        queues.push_back(shared);
    }

    void remove(const Shared *shared)
    {
        const QMutexLocker locker(&mutex);
        queues.erase(std::remove_if(queues.begin(), queues.end(),
                                    [shared](const std::weak_ptr<Shared> &queue) {
                                        const std::shared_ptr<Shared> locked = queue.lock();
                                        return !locked || locked.get() == shared;
                                    }),
                     queues.end());
    }

    // The tap of a handler (VoskHandler or OnvifDevices: the same three
    // signals), connected on first use. GUI thread.
    template<typename Handler>
    static std::shared_ptr<Tap> of(Handler *handler)
    {
        // Never destroyed: the handler is a singleton that may be destroyed
        // after this function's statics at exit, and its destroyed() below
        // would then reach a map that is gone.
        static auto *const taps = new std::map<QObject *, std::shared_ptr<Tap>>;
        std::shared_ptr<Tap> &tap = (*taps)[handler];
        if (tap)
            return tap;
        tap = std::make_shared<Tap>();
        const std::shared_ptr<Tap> held = tap;
        // Without a context object: these live as long as the handler.
        connect(handler, &Handler::signalDeviceOnline,
                [held](const VOSK_DEVICE_INFO &record) { held->push(Kind::Online, record); });
        connect(handler, &Handler::signalDeviceOffline,
                [held](const VOSK_DEVICE_INFO &record) { held->push(Kind::Offline, record); });
        connect(handler, &Handler::signalDeviceUpdate,
                [held](const VOSK_DEVICE_INFO &record) { held->push(Kind::Update, record); });
        QObject *const object = handler;
        connect(handler, &QObject::destroyed, [object] { taps->erase(object); });
        return tap;
    }
};

DeviceReportQueue::DeviceReportQueue(Sink sink, QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
    , m_sink(std::move(sink))
{
    m_shared->owner = this;
}

DeviceReportQueue::~DeviceReportQueue()
{
    stopListening();
    const QMutexLocker locker(&m_shared->mutex);
    m_shared->owner = nullptr;
    m_shared->reports.clear();
}

void DeviceReportQueue::listenTo(VOSK::VoskHandler *handler)
{
    const std::shared_ptr<Tap> tap = Tap::of(handler);
    tap->add(m_shared);
    m_taps.push_back(tap);
}

void DeviceReportQueue::listenTo(OnvifDevices *devices)
{
    if (!devices)
        return;
    const std::shared_ptr<Tap> tap = Tap::of(devices);
    tap->add(m_shared);
    m_taps.push_back(tap);
}

void DeviceReportQueue::stopListening()
{
    for (const std::shared_ptr<Tap> &tap : m_taps)
        tap->remove(m_shared.get());
    m_taps.clear();
}

void DeviceReportQueue::push(Kind kind, const VOSK_DEVICE_INFO &record)
{
    m_shared->push(kind, record);
}

void DeviceReportQueue::flush()
{
    deliver(std::chrono::microseconds::max());
}

void DeviceReportQueue::discard()
{
    const QMutexLocker locker(&m_shared->mutex);
    m_shared->reports.clear();
}

int DeviceReportQueue::pending() const
{
    const QMutexLocker locker(&m_shared->mutex);
    return static_cast<int>(m_shared->reports.size());
}

void DeviceReportQueue::onPosted()
{
    // The posted flag stays up while delivering: reports arriving meanwhile
    // join the queue without posting another delivery.
    deliver(m_budget);
    const QMutexLocker locker(&m_shared->mutex);
    if (m_shared->reports.empty()) {
        m_shared->posted = false;
        return;
    }
    // The rest two turns later. The rows just added have the table laid out
    // and repainted in the next turn; delivering in that turn as well would
    // add the two costs up into one longer stall.
    QMetaObject::invokeMethod(
        this, [this] { QMetaObject::invokeMethod(this, &DeviceReportQueue::onPosted, Qt::QueuedConnection); },
        Qt::QueuedConnection);
}

void DeviceReportQueue::deliver(std::chrono::microseconds limit)
{
    // A sink that makes a report itself gets it delivered by the loop below,
    // in order, not by a nested delivery.
    if (m_delivering)
        return;
    m_delivering = true;
    QElapsedTimer clock;
    clock.start();
    const qint64 limitNs = limit == std::chrono::microseconds::max()
                               ? std::numeric_limits<qint64>::max()
                               : std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count();
    QVector<VOSK_DEVICE_INFO> run;
    while (true) {
        Kind kind = Kind::Online;
        VOSK_DEVICE_INFO single{};
        run.clear();
        {
            const QMutexLocker locker(&m_shared->mutex);
            auto &reports = m_shared->reports;
            if (reports.empty())
                break;
            kind = reports.front().first;
            if (kind == Kind::Online) {
                while (!reports.empty() && reports.front().first == Kind::Online && run.size() < m_runLength) {
                    run.append(reports.front().second);
                    reports.pop_front();
                }
            } else {
                single = reports.front().second;
                reports.pop_front();
            }
        }
        switch (kind) {
        case Kind::Online:
            if (m_sink.online)
                m_sink.online(run);
            break;
        case Kind::Offline:
            if (m_sink.offline)
                m_sink.offline(single);
            break;
        case Kind::Update:
            if (m_sink.update)
                m_sink.update(single);
            break;
        }
        if (clock.nsecsElapsed() >= limitNs)
            break;
    }
    m_delivering = false;
}

} // namespace VoskTool

#include "moc_devicereportqueue.cpp"
