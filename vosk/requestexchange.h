#pragma once

// Request and response: an operation sends its request, repeats it under
// the same id until the response comes, the deadline passes or the library
// stops, and waits meanwhile; the library thread hands each response over
// to the request it answers.

#include "vosk/wiremessage.h"

#include <QHash>

#include <condition_variable>
#include <mutex>
#include <optional>

namespace VoskNet {

class MulticastLinks;
struct Route;

class RequestExchange final
{
public:
    // How often an unanswered request is sent again.
    static constexpr qint64 kRetransmitInterval = 400;

    explicit RequestExchange(MulticastLinks &links);

    // Any thread but the library's: the response, or nullopt with error
    // VOSK_ERR_TIMEOUT (deadline, in the steady clock's milliseconds,
    // passed), VOSK_ERR_NOT_STARTED (stopped) or VOSK_ERR_INVALID_ARG (the
    // request cannot be encoded).
    std::optional<WireMessage> exchange(const Route &route, const WireMessage &request, qint64 deadline, int &error);
    // Library thread: a response heard; ignored unless a request waits for it.
    void deliver(const WireMessage &response);
    // Wakes every waiting exchange, which fails with VOSK_ERR_NOT_STARTED.
    void stop();

private:
    MulticastLinks &m_links;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stopping = false;
    QHash<QByteArray, std::optional<WireMessage>> m_pending;  // by request id
};

} // namespace VoskNet
