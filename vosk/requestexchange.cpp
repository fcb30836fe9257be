#include "vosk/requestexchange.h"

#include "vosk/clock.h"
#include "vosk/devicetable.h"
#include "vosk/multicastlinks.h"
#include "vosk/vosk.h"

#include <chrono>

namespace VoskNet {

RequestExchange::RequestExchange(MulticastLinks &links)
    : m_links(links)
{
}

std::optional<WireMessage> RequestExchange::exchange(const Route &route, const WireMessage &request,
                                                     qint64 deadline, int &error)
{
    const QByteArray bytes = request.encode();
    if (bytes.isEmpty()) {
        error = VOSK_ERR_INVALID_ARG;
        return std::nullopt;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_pending.insert(request.id, std::nullopt);
    std::optional<WireMessage> response;
    for (;;) {
        lock.unlock();
        // Same id every time: the device answers a repeat from its cache.
        m_links.send(route.family, route.interfaceIndex, bytes);
        lock.lock();
        const qint64 wakeAt = std::min(nowMs() + kRetransmitInterval, deadline);
        m_cv.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::milliseconds(wakeAt)),
                        [&] { return m_stopping || m_pending.value(request.id).has_value(); });
        if (m_pending.value(request.id).has_value()) {
            response = m_pending.value(request.id);
            break;
        }
        if (m_stopping) {
            error = VOSK_ERR_NOT_STARTED;
            break;
        }
        if (nowMs() >= deadline) {
            error = VOSK_ERR_TIMEOUT;
            break;
        }
    }
    m_pending.remove(request.id);
    return response;
}

void RequestExchange::deliver(const WireMessage &response)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_pending.find(response.re);
        if (it == m_pending.end() || it->has_value())
            return;
        *it = response;
    }
    m_cv.notify_all();
}

void RequestExchange::stop()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_cv.notify_all();
}

} // namespace VoskNet
