#pragma once

// The files and blocks of the password recovery, free of widgets: the
// device key (fetched from the device, written to a key file), the answer
// copy handed to the library, the reset parameter block, and the working
// folder of the batch reset.

#include "discovery/devicekey.h"
#include "vosk/vosk.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

class QTextCodec;

namespace VoskTool {

// The 1044-byte block of VOSK_ResetPasswd: a typed key (offset 0, 256
// bytes) or the answer file's path (256, 260 bytes), the new password (516,
// 16 bytes), the reset-cameras flag (532). Texts are ended by the zero fill.
using ResetPasswdParam = VOSK_RESET_PASSWD_PARAM;

// The folder of the batch reset's key files, error lists and mismatch list:
// "C:/VoskReset" on Windows, "VoskReset" in the user's home folder elsewhere.
// In '/' separators, without a trailing one. Any thread.
QString resetWorkingFolder();

// The name of a device key file: the folder (a '/' is added when it ends in
// neither '/' nor '\'), the serial number with every '\' and '/' turned into
// '_', '-', the local time as "yyyyMMddHHmm", ".xml".
QString deviceKeyFileName(const QString &folder, const QString &serialNumber, const QDateTime &when);

// Fetches the device's reset key through the discovery handler: command 2
// with 384 bytes of key space for a new-style device, else command 1 with
// 256. Fills `key` with the key data (its stated length, at most the key
// space) and returns true; false when the library refuses (read the
// handler's getLastError() on the same thread). Blocking; any thread but
// the library's callback.
bool fetchDeviceKey(const QString &serialNumber, bool newStyle, QByteArray *key);

// Writes the key data byte for byte to `path` (created or truncated).
bool writeDeviceKeyFile(const QString &path, const QByteArray &key);

// Where the answer copy "copy.xml" goes: TarnGUIToolkit::GetUserFilePath(),
// the program's folder of a portable copy when writable, else (and always
// for an installed program) the per-user configuration folder that
// ColumnConfig.xml falls back to. The folder is made when missing.
QString answerCopyPath();

// How the answer copy went.
enum class AnswerCopy {
    Made,
    SourceUnreadable,  // the user's file cannot be opened
    TargetUnwritable,  // the copy cannot be created
};

// Recreates the answer copy at `target` from the user's answer file: the
// whole content (at most 1 MiB is read: an answer is a few hundred bytes)
// with every CR and LF at its end removed. The copy holds a reset secret:
// it is created new, readable and writable by its owner only; an existing
// copy is deleted first.
AnswerCopy makeAnswerCopy(const QString &source, const QString &target);

// Why a reset block could not be filled.
enum class ResetBlockCheck {
    Ok,
    KeyTooLong,       // the typed key takes more than 256 bytes
    PathTooLong,      // the answer file's path takes more than 260 bytes
    PasswordTooLong,  // the new password takes more than 16 bytes
};

// Fills a zero-filled block. Exactly one of keyText and answerFilePath is
// meant to be non-empty; each text is converted with `codec` (the toolkit's
// 8-bit conversion when null) and refused, never cut, when it does not fit
// its field: a cut key or path can never work and would read as a wrong one.
ResetBlockCheck fillResetBlock(ResetPasswdParam *block, const QString &keyText, const QString &answerFilePath,
                               const QByteArray &newPassword, bool resetCameras, QTextCodec *codec = nullptr);

// What the export phase of the batch reset is given for `devices`, read
// from their stored records: one entry "serial+start time" per device and
// the software version of each serial number. GUI thread (the store's).
struct ExportList
{
    QStringList entries;
    QMap<QString, QString> versions;
};
ExportList exportListFor(const QVector<DeviceKey> &devices);

// What the reset phase is given for `devices`: the reset block of every
// device with an answer file in `answersFolder`, the software versions, and
// the serial numbers without a usable answer (in the order of `devices`).
// A file answers a device when its name, with each '_' read as '/' or as
// '\', contains the serial number; the first such file in name order
// (case ignored) is taken, unless its path does not fit the block. The
// blocks hold the new password: wipe them when done. GUI thread.
struct ResetPlan
{
    QMap<QString, ResetPasswdParam> blocks;
    QMap<QString, QString> versions;
    QStringList mismatched;
};
ResetPlan matchAnswerFiles(const QVector<DeviceKey> &devices, const QString &answersFolder,
                           const QByteArray &newPassword);

// Replaces the working folder's mismatch.txt with the serial numbers, one a
// line (UTF-8, CR LF); with none it only deletes the old list. Any thread.
void writeMismatchList(const QStringList &serialNumbers);

} // namespace VoskTool
