#pragma once

#include <QByteArray>

class QIODevice;

// Reads a text file line by line with a bound on every line: a longer line
// is read on to its end in small pieces and dropped, so that one line of
// any size costs no more memory than the bound.
class LineReader final
{
public:
    // `in` is open for reading and outlives the reader.
    LineReader(QIODevice &in, int maxLineBytes);

    enum class Status {
        Line,     // `line` holds the next line without its LF or CR LF
        TooLong,  // the next line had more than maxLineBytes bytes (line end
                  // not counted); skipped
        End,      // nothing left
    };
    // The next line. A last line without '\n' is a line too.
    Status next(QByteArray *line);

private:
    QIODevice &m_in;
    int m_maxLineBytes;
};
