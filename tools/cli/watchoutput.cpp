#include "tools/cli/watchoutput.h"

#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

WatchOutput::WatchOutput(int fd, const QByteArray &header, Formatter formatter, QObject *parent)
    : QObject(parent), m_fd(fd), m_formatter(std::move(formatter)), m_chunk(header)
{
    m_notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Write, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &WatchOutput::pump);
    pump();
}

WatchOutput::~WatchOutput() = default;

void WatchOutput::post(const VOSK_DEVICE_INFO &record, int event)
{
    if (m_failed)
        return;
    const DeviceKey key = DeviceKey::fromRecord(record);
    const auto it = m_pending.find(key);
    if (it == m_pending.end()) {
        m_pending.insert(key, {record, event});
        m_order.append(key);
    } else if (it->event == VOSK_EVENT_ONLINE && event == VOSK_EVENT_OFFLINE) {
        // The reader never heard of it: nothing to tell.
        m_pending.erase(it);
        m_order.removeOne(key);
    } else {
        it->record = record;
        if (!(it->event == VOSK_EVENT_ONLINE && event == VOSK_EVENT_UPDATED))
            it->event = event;
    }
    pump();
}

bool WatchOutput::nextChunk()
{
    if (m_order.isEmpty())
        return false;
    const Pending pending = m_pending.take(m_order.takeFirst());
    m_chunk = m_formatter(pending.record, pending.event);
    m_written = 0;
    return true;
}

int WatchOutput::writeSome()
{
    // At most PIPE_BUF bytes: poll() said there is room for that much in
    // a pipe, so the write cannot block even on a blocking descriptor
    // (which standard output is, and must stay for the shell's sake).
    const std::size_t size = std::min<std::size_t>(std::size_t(m_chunk.size() - m_written), PIPE_BUF);
    for (;;) {
        pollfd ready = {m_fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, 0);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled < 0 || (ready.revents & (POLLERR | POLLNVAL)))
            return -1;
        if (!(ready.revents & POLLOUT))
            return 0;
        const ssize_t n = ::write(m_fd, m_chunk.constData() + m_written, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
        return int(n);
    }
}

void WatchOutput::pump()
{
    while (!m_failed) {
        if (m_written >= m_chunk.size() && !nextChunk()) {
            m_chunk.clear();
            m_written = 0;
            m_notifier->setEnabled(false);
            return;
        }
        const int n = writeSome();
        if (n < 0) {
            // The reader is gone: nothing written from now on is read.
            m_failed = true;
            m_pending.clear();
            m_order.clear();
            m_chunk.clear();
            m_notifier->setEnabled(false);
            return;
        }
        if (n == 0) {
            m_notifier->setEnabled(true);
            return;
        }
        m_written += n;
    }
}

bool WatchOutput::flush(int timeoutMs)
{
    m_notifier->setEnabled(false);
    while (!m_failed) {
        pump();
        if (idle() || m_failed)
            break;
        pollfd ready = {m_fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, timeoutMs);
        if (polled == 0)
            return false;
        if (polled < 0 && errno != EINTR)
            return false;
    }
    return !m_failed;
}
