#include "onvif/httpanswerreader.h"

namespace Onvif {

namespace {

// A chunk-size line holds a hex size and perhaps extensions: nothing a
// device needs more room for.
constexpr qsizetype kMaxChunkLine = 1024;

bool hexSize(const QByteArray &text, qint64 *out)
{
    if (text.isEmpty() || text.size() > 15)
        return false;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 16);
    if (!ok || value < 0)
        return false;
    *out = value;
    return true;
}

} // namespace

HttpAnswerReader::HttpAnswerReader(const Limits &limits)
    : m_limits(limits)
{
}

QByteArray HttpAnswerReader::header(const QByteArray &name) const
{
    for (const auto &[key, value] : m_headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return QByteArray();
}

HttpAnswerReader::State HttpAnswerReader::fail(const QString &why, bool tooLarge)
{
    m_state = State::Failed;
    m_failure = why;
    m_tooLarge = tooLarge;
    m_phase = Phase::Done;
    m_pending.clear();
    m_body.clear();
    m_headers.clear();
    return m_state;
}

bool HttpAnswerReader::takeLine(QByteArray *line)
{
    const qsizetype end = m_pending.indexOf('\n');
    const qsizetype budget = m_phase == Phase::Chunked ? kMaxChunkLine : m_limits.maxHeadBytes - m_headBytes;
    if (end < 0) {
        // The line is still arriving: it must fit in what is left.
        if (m_pending.size() > budget)
            fail(m_phase == Phase::Chunked ? QStringLiteral("chunk size line too long")
                                           : QStringLiteral("header block too large"),
                 m_phase != Phase::Chunked);
        return false;
    }
    if (end + 1 > budget) {
        fail(m_phase == Phase::Chunked ? QStringLiteral("chunk size line too long")
                                       : QStringLiteral("header block too large"),
             m_phase != Phase::Chunked);
        return false;
    }
    if (m_phase != Phase::Chunked)
        m_headBytes += end + 1;
    *line = m_pending.left(end);
    if (line->endsWith('\r'))
        line->chop(1);
    m_pending.remove(0, end + 1);
    return true;
}

void HttpAnswerReader::headLine(const QByteArray &line)
{
    if (!m_statusRead) {
        // "HTTP/1.1 200 OK"; the reason phrase may be empty or missing.
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        const int status = parts.value(1).toInt(&ok);
        if (!line.startsWith("HTTP/1.") || parts.size() < 2 || !ok || status < 100 || status > 999) {
            fail(QStringLiteral("not an HTTP answer"));
            return;
        }
        m_status = status;
        m_statusRead = true;
        return;
    }
    if (line.isEmpty()) {
        if (m_status < 200) {
            // An interim answer (100 Continue): the real one follows, on
            // the same budget.
            m_statusRead = false;
            m_headers.clear();
            return;
        }
        startBody();
        return;
    }
    if (++m_headFields > m_limits.maxHeadFields) {
        fail(QStringLiteral("too many header fields"), true);
        return;
    }
    if ((line.startsWith(' ') || line.startsWith('\t')) && !m_headers.isEmpty()) {
        // An obsolete folded line continues the value before it.
        m_headers.last().second += ' ' + line.trimmed();
        return;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) {
        fail(QStringLiteral("malformed header field"));
        return;
    }
    m_headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
}

void HttpAnswerReader::startBody()
{
    if (m_status == 204 || m_status == 304) {
        m_phase = Phase::Done;
        m_state = State::Complete;
        return;
    }
    if (header("Transfer-Encoding").toLower().contains("chunked")) {
        m_phase = Phase::Chunked;
        return;
    }
    QByteArray length;
    for (const auto &[key, value] : std::as_const(m_headers)) {
        if (key.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        if (!length.isNull() && value != length) {
            fail(QStringLiteral("conflicting lengths"));
            return;
        }
        length = value;
    }
    if (length.isNull()) {
        m_phase = Phase::UntilClose;
        return;
    }
    bool ok = false;
    const qint64 size = length.toLongLong(&ok);
    if (!ok || size < 0) {
        fail(QStringLiteral("malformed length"));
        return;
    }
    if (size > m_limits.maxBody) {
        fail(QStringLiteral("answer too large"), true);
        return;
    }
    m_remaining = size;
    m_phase = Phase::Sized;
    if (size == 0) {
        m_phase = Phase::Done;
        m_state = State::Complete;
    }
}

bool HttpAnswerReader::appendBody(const char *data, qsizetype size)
{
    if (m_body.size() + size > m_limits.maxBody) {
        fail(QStringLiteral("answer too large"), true);
        return false;
    }
    m_body.append(data, size);
    return true;
}

// What has arrived of the m_remaining body bytes (a length's or a
// chunk's) goes into the body; true once they are all in. False while more
// must arrive, and when the body outgrew its limit (the answer failed).
bool HttpAnswerReader::takeRemaining()
{
    const qsizetype take = qsizetype(qMin<qint64>(m_remaining, m_pending.size()));
    if (take > 0) {
        if (!appendBody(m_pending.constData(), take))
            return false;
        m_pending.remove(0, take);
        m_remaining -= take;
    }
    return m_remaining == 0;
}

HttpAnswerReader::State HttpAnswerReader::feed(const QByteArray &data)
{
    if (m_state != State::NeedMore)
        return m_state;
    m_pending += data;
    // Each pass consumes from m_pending or ends the loop, so the work is
    // linear in what arrived.
    while (m_state == State::NeedMore) {
        switch (m_phase) {
        case Phase::Head:
        case Phase::Trailer: {
            QByteArray line;
            if (!takeLine(&line))
                return m_state;
            if (m_phase == Phase::Trailer) {
                if (line.isEmpty()) {
                    m_phase = Phase::Done;
                    m_state = State::Complete;
                } else if (++m_headFields > m_limits.maxHeadFields) {
                    fail(QStringLiteral("too many header fields"), true);
                }
                break;
            }
            headLine(line);
            break;
        }
        case Phase::Sized:
            if (!takeRemaining())
                return m_state;
            m_phase = Phase::Done;
            m_state = State::Complete;
            break;
        case Phase::Chunked: {
            QByteArray line;
            if (!takeLine(&line))
                return m_state;
            const qsizetype semicolon = line.indexOf(';');
            qint64 size = 0;
            if (!hexSize((semicolon < 0 ? line : line.left(semicolon)).trimmed(), &size)) {
                fail(QStringLiteral("malformed chunk"));
                break;
            }
            if (size == 0) {
                m_phase = Phase::Trailer;
            } else if (m_body.size() + size > m_limits.maxBody) {
                fail(QStringLiteral("answer too large"), true);
            } else {
                m_remaining = size;
                m_phase = Phase::ChunkData;
            }
            break;
        }
        case Phase::ChunkData:
            if (!takeRemaining())
                return m_state;
            m_phase = Phase::ChunkEnd;
            break;
        case Phase::ChunkEnd:
            if (m_pending.size() < 2) {
                if (m_pending.startsWith('\n')) {
                    m_pending.remove(0, 1);
                    m_phase = Phase::Chunked;
                    break;
                }
                return m_state;
            }
            if (m_pending.startsWith("\r\n")) {
                m_pending.remove(0, 2);
            } else if (m_pending.startsWith('\n')) {
                m_pending.remove(0, 1);
            } else {
                fail(QStringLiteral("malformed chunk"));
                break;
            }
            m_phase = Phase::Chunked;
            break;
        case Phase::UntilClose:
            if (m_pending.isEmpty())
                return m_state;
            if (!appendBody(m_pending.constData(), m_pending.size()))
                return m_state;
            m_pending.clear();
            break;
        case Phase::Done:
            return m_state;
        }
    }
    if (m_state == State::Complete)
        m_pending.clear();
    return m_state;
}

HttpAnswerReader::State HttpAnswerReader::closed()
{
    if (m_state != State::NeedMore)
        return m_state;
    if (m_phase == Phase::UntilClose) {
        m_phase = Phase::Done;
        m_state = State::Complete;
        return m_state;
    }
    return fail(QStringLiteral("answer cut short"));
}

} // namespace Onvif
