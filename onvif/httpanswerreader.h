#pragma once

// Reads one HTTP/1.1 answer as it arrives, within hard limits, without any
// I/O: the transport feeds it what the socket gave and asks whether the
// answer is whole. Interim 1xx answers are skipped; the body is read by
// Content-Length, by chunks, or up to the peer's close. Whatever arrives,
// what it keeps stays within the limits: a header block larger than
// maxHeadBytes (every interim answer and the trailer count too) or with
// more than maxHeadFields lines, a promised or delivered body longer than
// maxBody, or a malformed status line, header or chunk fails the answer at
// once and nothing more is read. One thread; a value.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace Onvif {

struct HttpLimits
{
    qsizetype maxHeadBytes = 32 * 1024;
    int maxHeadFields = 100;
    qsizetype maxBody = 256 * 1024;
};

class HttpAnswerReader final
{
public:
    using Limits = HttpLimits;
    enum class State { NeedMore, Complete, Failed };

    explicit HttpAnswerReader(const Limits &limits = Limits());

    // Takes the next bytes; returns the state after them. Bytes after a
    // complete or failed answer are ignored.
    State feed(const QByteArray &data);
    // The peer closed the connection: an answer read up to the close is
    // complete, any other one not yet whole is cut short (Failed).
    State closed();

    State state() const { return m_state; }
    // Why the answer failed, in English for logs: "header block too large",
    // "answer too large", "answer cut short", ...
    QString failure() const { return m_failure; }
    // The failure was a limit (as opposed to a malformed or cut answer).
    bool tooLarge() const { return m_tooLarge; }
    // The final answer's status once its status line is read; else 0.
    int status() const { return m_status; }
    // The first value of the header (name in any case), or empty.
    QByteArray header(const QByteArray &name) const;
    const QByteArray &body() const { return m_body; }

private:
    enum class Phase { Head, Sized, Chunked, ChunkData, ChunkEnd, Trailer, UntilClose, Done };

    State fail(const QString &why, bool tooLarge = false);
    // The next line of the head (without CR LF) into line; false while it
    // has not all arrived. Fails the answer past the head's budget.
    bool takeLine(QByteArray *line);
    void headLine(const QByteArray &line);
    void startBody();
    bool appendBody(const char *data, qsizetype size);
    bool takeRemaining();

    const Limits m_limits;
    State m_state = State::NeedMore;
    Phase m_phase = Phase::Head;
    QString m_failure;
    bool m_tooLarge = false;
    QByteArray m_pending;  // received, not yet consumed
    qsizetype m_headBytes = 0;
    int m_headFields = 0;
    bool m_statusRead = false;
    int m_status = 0;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    qint64 m_remaining = 0;  // of the sized body or the current chunk
    QByteArray m_body;
};

} // namespace Onvif
