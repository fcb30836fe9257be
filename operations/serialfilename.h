#pragma once

// How a device's serial number is written in the names of its key files
// (and of the answer files the reset service names after them), and read
// back. One serial number has exactly one name and one name stands for at
// most one serial number, so an answer file is matched to its device by
// equality, never by a part of its name.
//
// The name keeps 'A'-'Z', '0'-'9' and '-' as they are and writes every
// other character as '%' and two upper-case hex digits of its Latin-1 byte.
// That covers what no platform's file names can hold ('/', '\', ':', '*',
// '?', '"', '<', '>', '|', control characters), the escape '%' itself, a
// leading '.' (a hidden file the folder listing skips) and the '_' of the
// names earlier versions wrote. Lower-case letters are escaped as well:
// folders on Windows and macOS ignore letter case, and "ab1" and "AB1" must
// not land in one file there. Pure functions, any thread.

#include <QDateTime>
#include <QString>

#include <optional>

namespace VoskTool::SerialFileName {

// The longest serial number a device record holds (its field is 48 bytes
// with the terminating zero).
constexpr int kMaxSerialLength = 47;

// The serial number as a name part; empty when it cannot be named: an empty
// serial number, one longer than kMaxSerialLength, or one with a character
// outside Latin-1 (the library takes serial numbers as Latin-1 bytes, so no
// device has such a serial number, and a key fetched for it would be
// another device's).
QString encode(const QString &serialNumber);

// The serial number a name part stands for; nullopt unless `part` is
// exactly what encode() makes of it.
std::optional<QString> decode(const QString &part);

// "<encoded serial>-yyyyMMddHHmm.xml" with the local time `when`; empty
// when the serial number cannot be named.
QString keyFileName(const QString &serialNumber, const QDateTime &when);

// What a key or answer file name says.
struct KeyFileName
{
    QString serialNumber;
    QString stamp;        // "yyyyMMddHHmm": later exports sort after earlier ones
    bool legacy = false;  // written by an earlier version, read as it stands
};

// Reads a file name (without folder) of the form keyFileName() writes.
// Names of earlier versions wrote the serial number as it stands with '/'
// and '\' turned into '_'; such a name is read only when it is unambiguous:
// no '_' (which might have been any of three characters), no '%' (which
// this version's names use) and no lower-case letter (where letter case is
// ignored, "ab1" may hold what was exported for "AB1"). nullopt for any
// other name.
std::optional<KeyFileName> parseKeyFileName(const QString &fileName);

} // namespace VoskTool::SerialFileName
