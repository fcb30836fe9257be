#include "tools/cli/linereader.h"

#include <QIODevice>

namespace {

// The piece a dropped line is read in.
constexpr qint64 kSkipChunk = 64 * 1024;

} // namespace

LineReader::LineReader(QIODevice &in, int maxLineBytes)
    : m_in(in), m_maxLineBytes(maxLineBytes)
{
}

LineReader::Status LineReader::next(QByteArray *line)
{
    line->clear();
    if (m_in.atEnd())
        return Status::End;
    // readLine(n) stops after n - 1 bytes or at the line's end: room for the
    // bound, CR LF and one byte more, which tells a line that is too long.
    QByteArray read = m_in.readLine(qint64(m_maxLineBytes) + 3);
    if (read.endsWith('\n')) {
        read.chop(read.endsWith("\r\n") ? 2 : 1);
        if (read.size() <= m_maxLineBytes) {
            *line = read;
            return Status::Line;
        }
        return Status::TooLong;
    }
    if (read.size() <= m_maxLineBytes) {
        *line = read;
        return Status::Line;
    }
    while (!m_in.atEnd()) {
        read = m_in.readLine(kSkipChunk);
        if (read.isEmpty() || read.endsWith('\n'))
            break;
    }
    return Status::TooLong;
}
