#pragma once

// An HTTP/1.1 request reader for the simulated ONVIF devices: bytes in as
// they arrive, one request out at a time. Bounded: the head (request line
// and headers) and the body have fixed limits, a body needs a
// Content-Length, and anything else is refused with the status to answer.
// No I/O.

#include <QByteArray>
#include <QList>
#include <QPair>

namespace VoskSim {

class HttpRequestParser final
{
public:
    static constexpr int kMaxHead = 8 * 1024;
    static constexpr int kMaxHeaders = 64;
    static constexpr int kMaxBody = 64 * 1024;

    struct Request
    {
        QByteArray method;
        QByteArray target;
        int minorVersion = 1;  // HTTP/1.x
        QList<QPair<QByteArray, QByteArray>> headers;  // names in lower case
        QByteArray body;

        // The first value of a header ("" if absent).
        QByteArray header(const QByteArray &lowerName) const;
        // HTTP/1.1 without "Connection: close", or 1.0 with keep-alive.
        bool keepAlive() const;
    };

    enum class State {
        NeedMore,
        Complete,  // request() holds it; call next() before feeding on
        Failed,    // errorStatus() says what to answer; the connection ends
    };

    // Appends received bytes and reads as far as they go.
    State feed(const QByteArray &bytes);
    State state() const { return m_state; }
    const Request &request() const { return m_request; }
    // 400, 411 (no length), 413 (body), 431 (head), 501 (transfer coding),
    // 505 (not HTTP/1.x).
    int errorStatus() const { return m_errorStatus; }
    // True once the head is read and the client waits for "100 Continue".
    bool expectsContinue() const;
    // Drops the finished request and reads the next from what is buffered
    // (a pipelined request).
    State next();

private:
    State parse();
    State fail(int status);

    QByteArray m_buffer;
    Request m_request;
    State m_state = State::NeedMore;
    bool m_headDone = false;
    qsizetype m_bodyLength = 0;
    int m_errorStatus = 0;
};

} // namespace VoskSim
