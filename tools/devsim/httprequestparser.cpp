#include "tools/devsim/httprequestparser.h"

#include <cstring>

namespace VoskSim {

namespace {

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127 || std::strchr("()<>@,;:\\\"/[]?={}", c))
            return false;
    }
    return true;
}

} // namespace

QByteArray HttpRequestParser::Request::header(const QByteArray &lowerName) const
{
    for (const auto &h : headers) {
        if (h.first == lowerName)
            return h.second;
    }
    return QByteArray();
}

bool HttpRequestParser::Request::keepAlive() const
{
    const QByteArray connection = header("connection").toLower();
    if (minorVersion == 0)
        return connection.contains("keep-alive");
    return !connection.contains("close");
}

HttpRequestParser::State HttpRequestParser::feed(const QByteArray &bytes)
{
    if (m_state == State::Failed)
        return m_state;
    m_buffer += bytes;
    if (m_state == State::Complete)
        return m_state;
    return m_state = parse();
}

bool HttpRequestParser::expectsContinue() const
{
    return m_headDone && m_state == State::NeedMore
        && m_request.header("expect").compare("100-continue", Qt::CaseInsensitive) == 0;
}

HttpRequestParser::State HttpRequestParser::next()
{
    if (m_state != State::Complete)
        return m_state;
    m_request = Request();
    m_headDone = false;
    m_bodyLength = 0;
    return m_state = parse();
}

HttpRequestParser::State HttpRequestParser::fail(int status)
{
    m_errorStatus = status;
    m_buffer.clear();
    return State::Failed;
}

HttpRequestParser::State HttpRequestParser::parse()
{
    if (!m_headDone) {
        // Empty lines before a request are allowed (RFC 9112 section 2.2).
        while (m_buffer.startsWith("\r\n"))
            m_buffer.remove(0, 2);
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return m_buffer.size() > kMaxHead ? fail(431) : State::NeedMore;
        if (end + 4 > kMaxHead)
            return fail(431);
        const QList<QByteArray> lines = m_buffer.left(end).split('\n');
        m_buffer.remove(0, end + 4);

        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() != 3 || !isToken(requestLine[0]) || requestLine[1].isEmpty())
            return fail(400);
        const QByteArray &version = requestLine[2];
        if (!version.startsWith("HTTP/1.") || version.size() != 8 || (version[7] != '0' && version[7] != '1'))
            return fail(505);
        m_request.method = requestLine[0];
        m_request.target = requestLine[1];
        m_request.minorVersion = version[7] - '0';

        if (lines.size() - 1 > kMaxHeaders)
            return fail(431);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QByteArray line = lines[i];
            if (line.endsWith('\r'))
                line.chop(1);
            const qsizetype colon = line.indexOf(':');
            // Obsolete line folding and names with spaces are refused: they
            // are how requests get smuggled past proxies.
            if (colon <= 0 || !isToken(line.left(colon)))
                return fail(400);
            m_request.headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
        }
        if (!m_request.header("transfer-encoding").isEmpty())
            return fail(501);
        QByteArray length;
        for (const auto &h : std::as_const(m_request.headers)) {
            if (h.first != "content-length")
                continue;
            if (!length.isNull() && length != h.second)
                return fail(400);
            length = h.second;
        }
        if (length.isNull()) {
            if (m_request.method == "POST" || m_request.method == "PUT")
                return fail(411);
            m_bodyLength = 0;
        } else {
            bool ok = false;
            const qlonglong value = length.toLongLong(&ok);
            if (!ok || value < 0 || length.startsWith('+'))
                return fail(400);
            if (value > kMaxBody)
                return fail(413);
            m_bodyLength = qsizetype(value);
        }
        m_headDone = true;
    }
    if (m_buffer.size() < m_bodyLength)
        return State::NeedMore;
    m_request.body = m_buffer.left(m_bodyLength);
    m_buffer.remove(0, m_bodyLength);
    return State::Complete;
}

} // namespace VoskSim
