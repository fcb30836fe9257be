#pragma once

// The files and blocks of the password recovery, free of widgets: the
// device key (fetched from the device, written to a key file), the answer
// copy handed to the library, the reset parameter block, and the working
// folder of the batch reset.

#include "discovery/devicekey.h"
#include "operations/deviceoperations.h"
#include "vosk/vosk.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

class QTemporaryFile;
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

// The path of a device key file: the folder (a '/' is added when it ends in
// neither '/' nor '\'), then SerialFileName::keyFileName(): the serial
// number escaped so that no two serial numbers share a name, '-', the local
// time as "yyyyMMddHHmm", ".xml". Empty when the serial number cannot be
// named (see SerialFileName::encode).
QString deviceKeyFileName(const QString &folder, const QString &serialNumber, const QDateTime &when);

// Fetches the device's reset key through the operations of its kind
// (DeviceKinds), addressed by both halves of its key, so that a device
// sharing its serial number neither answers nor is asked: the new-style
// key (384 bytes of key space) for a new-style device, else the old one
// (256). Fills `key` with the key data (its stated length, at most the key
// space) on Done; otherwise the outcome carries the device's error code.
// Blocking; any thread but the one delivering the device reports.
OperationOutcome fetchDeviceKey(const DeviceKey &device, bool newStyle, QByteArray *key);

// Writes the key data byte for byte to `path` (created or truncated). False
// when the file cannot be written whole; `error` then says why.
bool writeDeviceKeyFile(const QString &path, const QByteArray &key, QString *error = nullptr);

// The most an answer file holds: the library reads no more than this.
constexpr qint64 kMaxAnswerFileBytes = 1000;

// Why a file is no usable answer.
enum class AnswerFileCheck {
    Ok,
    Unreadable,   // missing, or cannot be opened
    NotRegular,   // a folder, FIFO, socket or device (also behind a link)
    Empty,
    TooLarge,     // more than kMaxAnswerFileBytes
    NotAnAnswer,  // binary, or holds no answer of the reset service
};

// Reads an answer file without trusting it: only a regular file (a link is
// followed only to one) of 1..kMaxAnswerFileBytes bytes, opened so that it
// never blocks (a FIFO is refused before it is opened), whose text holds an
// answer of the reset service ("RA1." and at least 16 base64url
// characters) and no binary byte. `content` gets the file's bytes on Ok.
// Blocking only on the disk; any thread.
AnswerFileCheck readAnswerFile(const QString &path, QByteArray *content);

// Whether a text holds an answer, as readAnswerFile() requires.
bool looksLikeAnswer(const QByteArray &text);

// The reason for a result line ("the answer file is ...").
QString answerFileProblem(AnswerFileCheck check);

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
// whole content, read by readAnswerFile() (anything that is not an answer
// is SourceUnreadable, so junk never reaches the device and its lockout
// count), with every CR and LF at its end removed. The copy holds a reset secret:
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

// Points a filled block at another answer file, converted and limited as
// fillResetBlock() does; false, with the block unchanged, when the path
// does not fit.
bool setResetBlockAnswerFile(ResetPasswdParam *block, const QString &answerFilePath, QTextCodec *codec = nullptr);

// Writes checked answer bytes to a file of our own for the library to read
// (a QTemporaryFile: a new name, readable by its owner only, removed when
// `file` goes). The library then reads exactly what was checked, whatever
// happens to the user's file meanwhile. False when it cannot be written.
bool writeAnswerForSending(const QByteArray &content, QTemporaryFile &file);

// One device of the export phase: its serial number, the text of its
// start time and its whole key (the key is asked of that device alone).
// The error line names it as entry(): serial "+" start time.
struct ExportEntry
{
    QString serialNumber;
    QString startTime;
    DeviceKey device;
    QString entry() const { return serialNumber + QLatin1Char('+') + startTime; }
};

// What the export phase of the batch reset is given for `devices`, read
// from their stored records: one entry per device and the software version
// of each serial number. GUI thread (the store's).
struct ExportList
{
    QVector<ExportEntry> entries;
    QMap<QString, QString> versions;
};
ExportList exportListFor(const QVector<DeviceKey> &devices);

// What the reset phase is given for `devices`: the reset block of every
// device with a usable answer file in `answersFolder`, the answer file and
// the device (both halves of its key) of each block, the software
// versions, the serial numbers without a usable answer (in the order of
// `devices`) and, for those that had a file under their name that is no
// usable answer, why. Of two devices listed under one serial number only
// the first is given a block: an answer file answers the one key exported
// under that name, and the export phase exports the first one's.
//
// A file answers a device when its name, read by
// SerialFileName::parseKeyFileName(), stands for exactly the device's
// serial number. Of several, the newest export (the latest stamp in the
// name) that readAnswerFile() accepts is taken, and only when its path fits
// the block. The blocks hold the new password: wipe them when done. GUI
// thread.
struct ResetPlan
{
    QMap<QString, ResetPasswdParam> blocks;
    QMap<QString, QString> answerFiles;
    QMap<QString, DeviceKey> devices;
    QMap<QString, QString> versions;
    QStringList mismatched;
    QMap<QString, QString> problems;
};
ResetPlan matchAnswerFiles(const QVector<DeviceKey> &devices, const QString &answersFolder,
                           const QByteArray &newPassword);

// What became of one device in a phase of the batch reset.
struct RecoveryOutcome
{
    QString serialNumber;
    bool done = false;
    // The library's error when it refused; 0 when nothing was sent or the
    // failure came after (a key file not written).
    int errorCode = 0;
    // Why, when the failure is not the library's.
    QString problem;
};

// Replaces the working folder's mismatch.txt with the serial numbers, one a
// line (UTF-8, CR LF), whole or not at all; with none it only deletes the
// old list. False when the list could not be written. Any thread.
bool writeMismatchList(const QStringList &serialNumbers);

} // namespace VoskTool

Q_DECLARE_METATYPE(VoskTool::RecoveryOutcome)
