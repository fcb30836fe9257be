#include "devicelist/devicereportqueue.h"

#include "discovery/voskhandler.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>

#include <deque>
#include <limits>
#include <utility>

namespace VoskTool {

// What the library's thread and the GUI thread share. The connections to the
// handler hold it too, so a report racing the queue's destruction finds a
// null owner instead of a freed object.
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

DeviceReportQueue::DeviceReportQueue(Sink sink, QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
    , m_sink(std::move(sink))
{
    m_shared->owner = this;
}

DeviceReportQueue::~DeviceReportQueue()
{
    const QMutexLocker locker(&m_shared->mutex);
    m_shared->owner = nullptr;
    m_shared->reports.clear();
}

void DeviceReportQueue::listenTo(VOSK::VoskHandler *handler)
{
    const std::shared_ptr<Shared> shared = m_shared;
    // Direct: the copy into the queue happens on the reporting thread, and
    // only the queue's one posted call crosses to this thread.
    connect(
        handler, &VOSK::VoskHandler::signalDeviceOnline, this,
        [shared](const VOSK_DEVICE_INFO &record) { shared->push(Kind::Online, record); }, Qt::DirectConnection);
    connect(
        handler, &VOSK::VoskHandler::signalDeviceOffline, this,
        [shared](const VOSK_DEVICE_INFO &record) { shared->push(Kind::Offline, record); }, Qt::DirectConnection);
    connect(
        handler, &VOSK::VoskHandler::signalDeviceUpdate, this,
        [shared](const VOSK_DEVICE_INFO &record) { shared->push(Kind::Update, record); }, Qt::DirectConnection);
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
