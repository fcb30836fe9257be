#pragma once

#include "discovery/devicekey.h"
#include "vosk/vosk.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>

#include <functional>

class QSocketNotifier;

// The output of `list --watch`: device events written to a file descriptor
// (standard output) without ever blocking the thread that posts them, so
// that the discovery reports keep being taken in when the reader stalls.
//
// Memory stays bounded by the number of devices: an event waits in a queue
// of one entry per device (serial number and MAC), and a later event of the
// same device takes the entry's place instead of queueing behind it. The
// reader then sees each device's latest state, not every step to it:
// "online" followed by "updated" stays "online" with the new record,
// "online" followed by "offline" before either was written is dropped, any
// other event replaces the one before. At most one line is held whole
// (the one being written). Lives on one thread with an event loop; not
// thread-safe.
class WatchOutput final : public QObject
{
    Q_OBJECT

public:
    // Turns an event into its line (with its line end).
    using Formatter = std::function<QByteArray(const VOSK_DEVICE_INFO &record, int event)>;

    // Writes `header` first. `fd` stays open and owned by the caller.
    WatchOutput(int fd, const QByteArray &header, Formatter formatter, QObject *parent = nullptr);
    ~WatchOutput() override;

    // Queues an event (VOSK_EVENT_ONLINE, _UPDATED or _OFFLINE) and writes
    // what the descriptor takes now.
    void post(const VOSK_DEVICE_INFO &record, int event);

    // Devices with an event not yet written.
    int pendingDevices() const { return int(m_order.size()); }
    // Whether anything is still to be written.
    bool idle() const { return m_chunk.isEmpty() && m_order.isEmpty(); }

    // Writes everything still queued, waiting at most `timeoutMs` each time
    // the reader does not take more; false when it gave up or the
    // descriptor failed. For the end of the run.
    bool flush(int timeoutMs);

private:
    struct Pending
    {
        VOSK_DEVICE_INFO record;
        int event = 0;
    };

    // Writes while the descriptor takes data without blocking; waits for
    // the descriptor to become writable when it does not.
    void pump();
    bool nextChunk();
    // One write of at most one pipe buffer; -1 failed, 0 would block.
    int writeSome();

    int m_fd;
    Formatter m_formatter;
    QByteArray m_chunk;
    qsizetype m_written = 0;
    QList<DeviceKey> m_order;
    QHash<DeviceKey, Pending> m_pending;
    QSocketNotifier *m_notifier = nullptr;
    bool m_failed = false;
};
