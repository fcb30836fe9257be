#pragma once

#include "vosk/vosk.h"

#include <QList>
#include <QString>

// How the console program writes devices: a table for people, JSON and CSV
// for scripts. Every format has the same fields under the same keys.
//
// Device fields are the devices' own words and reach terminals and
// spreadsheets: the table writes them through TerminalText::escape(); JSON
// writes every control and format character as a \u escape (the same
// data); CSV escapes them as the table does and puts a "'" before a cell
// that starts with '=', '+', '-' or '@', so that a spreadsheet reads it as
// text rather than a formula. `raw` leaves CSV cells as the devices sent
// them (quoted only where CSV needs it).
namespace DeviceFormat {

enum class Style { Table, Json, Csv };

// One line of text per call for the watch mode ("online", "updated",
// "offline" events), or a whole document for a one-off list. Texts end in
// a newline.

// The list of `devices`: a table with a header, a JSON array of objects,
// or CSV with a header line.
QString list(const QList<VOSK_DEVICE_INFO> &devices, Style style, bool raw = false);

// The header of the watch mode's output (CSV only; empty otherwise).
QString watchHeader(Style style);
// One event of the watch mode: a table line, one JSON object on one line
// (JSON Lines), or one CSV row; each starts with the event.
QString watchLine(const VOSK_DEVICE_INFO &record, int event, Style style, bool raw = false);

// "online", "updated" or "offline".
QString eventName(int event);

} // namespace DeviceFormat
