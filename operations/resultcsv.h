#pragma once

#include <QString>
#include <QVector>

class QIODevice;

namespace VoskTool {

// One line of a saved result list.
struct ResultLine
{
    QString device;  // serial number
    QString address; // IPv4 address shown for it
    QString outcome; // the result words
};

// Writes the lines as CSV (RFC 4180: a header "device,address,outcome",
// CRLF line ends, cells with a comma, quote or line break quoted, quotes
// doubled), UTF-8. A cell that a spreadsheet would read as a formula
// (starting with = + - @) gets a leading apostrophe: a serial number comes
// from the network. False when the device could not be written.
bool writeResultCsv(QIODevice &out, const QVector<ResultLine> &lines);

} // namespace VoskTool
