#include "operations/recoveryfiles.h"

#include "aptui/guitextcodec.h"
#include "aptui/targetpath.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "operations/devicekinds.h"
#include "operations/serialfilename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace VoskTool {

namespace {

// An answer token: the service's marker, then base64url.
constexpr char kAnswerMarker[] = "RA1.";
constexpr int kMinAnswerTokenLength = 16;
constexpr char kAnswerCopyName[] = "copy.xml";
constexpr char kMismatch[] = "mismatch.txt";

bool copyField(char *field, std::size_t size, const QByteArray &bytes)
{
    if (std::size_t(bytes.size()) > size)
        return false;
    std::memcpy(field, bytes.constData(), std::size_t(bytes.size()));
    return true;
}

struct StoredTexts
{
    QString startTime;
    QString softwareVersion;
};

StoredTexts storedTexts(const DeviceKey &device)
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    DeviceStore::instance()->getDevice(device, record);
    return {VOSK::fieldText(record.startTime), VOSK::fieldText(record.softwareVersion)};
}

bool isBase64Url(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// An answer file of the folder: its path and what its name says.
struct AnswerFile
{
    QString path;
    SerialFileName::KeyFileName name;
};

// The folder's files that are named like key files, newest export first
// (the service names each answer after its key file). Whether a file is a
// regular one is left to readAnswerFile(): the listing follows links.
QHash<QString, QVector<AnswerFile>> listAnswerFiles(const QString &folder)
{
    QVector<AnswerFile> files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::System | QDir::Hidden,
                                                            QDir::Name | QDir::IgnoreCase)) {
        if (const auto name = SerialFileName::parseKeyFileName(info.fileName()))
            files.append({info.absoluteFilePath(), *name});
    }
    // Newest first; for one stamp, this version's names before old ones.
    std::stable_sort(files.begin(), files.end(), [](const AnswerFile &a, const AnswerFile &b) {
        if (a.name.stamp != b.name.stamp)
            return a.name.stamp > b.name.stamp;
        return !a.name.legacy && b.name.legacy;
    });
    QHash<QString, QVector<AnswerFile>> bySerial;
    for (const AnswerFile &file : std::as_const(files))
        bySerial[file.name.serialNumber].append(file);
    return bySerial;
}

} // namespace

AnswerFileCheck readAnswerFile(const QString &path, QByteArray *content)
{
    content->clear();
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    // Looked at before it is opened: opening a FIFO blocks, and opening a
    // device may already act on it.
    struct stat before;
    if (::stat(native.constData(), &before) != 0)
        return AnswerFileCheck::Unreadable;
    if (!S_ISREG(before.st_mode))
        return AnswerFileCheck::NotRegular;
    // O_NONBLOCK: should the name be swapped for a FIFO in between, the
    // open returns instead of waiting for a writer; fstat below refuses it.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return AnswerFileCheck::Unreadable;
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != before.st_dev
        || opened.st_ino != before.st_ino) {
        ::close(fd);
        return AnswerFileCheck::NotRegular;
    }
    QByteArray bytes(int(kMaxAnswerFileBytes) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return AnswerFileCheck::Unreadable;
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
#else
    const QFileInfo info(path);
    if (!info.exists())
        return AnswerFileCheck::Unreadable;
    if (!info.isFile())
        return AnswerFileCheck::NotRegular;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return AnswerFileCheck::Unreadable;
    QByteArray bytes = file.read(kMaxAnswerFileBytes + 1);
#endif
    if (bytes.isEmpty())
        return AnswerFileCheck::Empty;
    if (bytes.size() > kMaxAnswerFileBytes)
        return AnswerFileCheck::TooLarge;
    if (!looksLikeAnswer(bytes))
        return AnswerFileCheck::NotAnAnswer;
    *content = bytes;
    return AnswerFileCheck::Ok;
}

bool looksLikeAnswer(const QByteArray &text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\r' && c != '\n') || u == 0x7F)
            return false;
    }
    constexpr qsizetype markerLength = qsizetype(sizeof kAnswerMarker) - 1;
    for (qsizetype at = text.indexOf(kAnswerMarker); at >= 0; at = text.indexOf(kAnswerMarker, at + 1)) {
        qsizetype end = at + markerLength;
        while (end < text.size() && isBase64Url(text.at(end)))
            ++end;
        if (end - at - markerLength >= kMinAnswerTokenLength)
            return true;
    }
    return false;
}

QString answerFileProblem(AnswerFileCheck check)
{
    switch (check) {
    case AnswerFileCheck::Ok:
        break;
    case AnswerFileCheck::Unreadable:
        return QStringLiteral("the answer file cannot be read");
    case AnswerFileCheck::NotRegular:
        return QStringLiteral("the answer file is not a regular file");
    case AnswerFileCheck::Empty:
        return QStringLiteral("the answer file is empty");
    case AnswerFileCheck::TooLarge:
        return QStringLiteral("the answer file is larger than %1 bytes").arg(kMaxAnswerFileBytes);
    case AnswerFileCheck::NotAnAnswer:
        return QStringLiteral("the answer file holds no answer");
    }
    return QString();
}

QString resetWorkingFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:/VoskReset");
#else
    return QDir::homePath() + QStringLiteral("/VoskReset");
#endif
}

QString deviceKeyFileName(const QString &folder, const QString &serialNumber, const QDateTime &when)
{
    const QString name = SerialFileName::keyFileName(serialNumber, when);
    if (name.isEmpty())
        return {};
    QString path = folder;
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('/');
    return path + name;
}

OperationOutcome fetchDeviceKey(const DeviceKey &device, bool newStyle, QByteArray *key)
{
    return DeviceKinds::instance().operationsFor(device)->exportKey(device, newStyle, key);
}

bool writeDeviceKeyFile(const QString &path, const QByteArray &key, QString *error)
{
    if (path.isEmpty()) {
        if (error)
            *error = QStringLiteral("no file name");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // A full disk shows only when the data leaves the buffer.
    if (file.write(key) != key.size() || !file.flush()) {
        if (error)
            *error = file.errorString();
        file.close();
        QFile::remove(path);
        return false;
    }
    return true;
}

QString answerCopyPath()
{
    // The rule of every file the program writes: an installed program
    // never writes into its own tree, not even as root.
    const QString path = TarnGUIToolkit::GetUserFilePath(QLatin1String(kAnswerCopyName));
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

AnswerCopy makeAnswerCopy(const QString &source, const QString &target)
{
    QFile::remove(target);
    QByteArray content;
    if (readAnswerFile(source, &content) != AnswerFileCheck::Ok)
        return AnswerCopy::SourceUnreadable;
    while (content.endsWith('\n') || content.endsWith('\r'))
        content.chop(1);
    // NewOnly: created by us just now, so nobody else's file or link is
    // written through, and with the owner-only permissions from the start.
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return AnswerCopy::TargetUnwritable;
    if (out.write(content) != content.size()) {
        out.close();
        QFile::remove(target);
        return AnswerCopy::TargetUnwritable;
    }
    return AnswerCopy::Made;
}

ResetBlockCheck fillResetBlock(ResetPasswdParam *block, const QString &keyText, const QString &answerFilePath,
                               const QByteArray &newPassword, bool resetCameras, QTextCodec *codec)
{
    std::memset(block, 0, sizeof *block);
    if (!copyField(block->keyText, sizeof block->keyText, TarnGUIToolkit::ConvertFromUnicode(keyText, codec)))
        return ResetBlockCheck::KeyTooLong;
    if (!copyField(block->answerFilePath, sizeof block->answerFilePath,
                   TarnGUIToolkit::ConvertFromUnicode(answerFilePath, codec))) {
        std::memset(block, 0, sizeof *block);
        return ResetBlockCheck::PathTooLong;
    }
    if (!copyField(block->newPassword, sizeof block->newPassword, newPassword)) {
        std::memset(block, 0, sizeof *block);
        return ResetBlockCheck::PasswordTooLong;
    }
    block->resetCameras = resetCameras ? 1 : 0;
    return ResetBlockCheck::Ok;
}

bool setResetBlockAnswerFile(ResetPasswdParam *block, const QString &answerFilePath, QTextCodec *codec)
{
    const QByteArray path = TarnGUIToolkit::ConvertFromUnicode(answerFilePath, codec);
    if (std::size_t(path.size()) > sizeof block->answerFilePath)
        return false;
    std::memset(block->answerFilePath, 0, sizeof block->answerFilePath);
    return copyField(block->answerFilePath, sizeof block->answerFilePath, path);
}

bool writeAnswerForSending(const QByteArray &content, QTemporaryFile &file)
{
    if (!file.open())
        return false;
    const bool written = file.write(content) == content.size() && file.flush();
    file.close();
    return written;
}

ExportList exportListFor(const QVector<DeviceKey> &devices)
{
    ExportList list;
    for (const DeviceKey &device : devices) {
        const StoredTexts texts = storedTexts(device);
        list.entries.append({device.serialNumber, texts.startTime, device});
        list.versions.insert(device.serialNumber, texts.softwareVersion);
    }
    return list;
}

ResetPlan matchAnswerFiles(const QVector<DeviceKey> &devices, const QString &answersFolder,
                           const QByteArray &newPassword)
{
    ResetPlan plan;
    // Listed once: the same listing serves every device.
    const QHash<QString, QVector<AnswerFile>> files = listAnswerFiles(answersFolder);
    for (const DeviceKey &device : devices) {
        const QString serial = device.serialNumber;
        if (plan.devices.contains(serial)) {
            // One answer file per serial number, made for one device's key:
            // sent to the second device it would only be refused, and count
            // toward that device's lockout.
            plan.mismatched << serial;
            plan.problems.insert(serial, QStringLiteral("another device of the list has the same serial number"));
            continue;
        }
        if (plan.mismatched.contains(serial))
            continue; // listed once, with the first device's reason
        plan.versions.insert(serial, storedTexts(device).softwareVersion);
        QString problem;
        bool matched = false;
        for (const AnswerFile &file : files.value(serial)) {
            QByteArray content;
            const AnswerFileCheck check = readAnswerFile(file.path, &content);
            content.fill('\0');
            if (check != AnswerFileCheck::Ok) {
                // The newest file's reason is the one worth telling.
                if (problem.isEmpty())
                    problem = answerFileProblem(check);
                continue;
            }
            ResetPasswdParam block;
            // A path the library's field cannot hold is no usable answer.
            if (fillResetBlock(&block, QString(), file.path, newPassword, false, TarnGUIToolkit::GuiTextCodec())
                != ResetBlockCheck::Ok) {
                if (problem.isEmpty())
                    problem = QStringLiteral("the answer file's path is longer than 260 bytes");
                continue;
            }
            plan.blocks.insert(serial, block);
            plan.answerFiles.insert(serial, file.path);
            plan.devices.insert(serial, device);
            std::memset(&block, 0, sizeof block);
            matched = true;
            break;
        }
        if (!matched) {
            plan.mismatched << serial;
            if (!problem.isEmpty())
                plan.problems.insert(serial, problem);
        }
    }
    return plan;
}

bool writeMismatchList(const QStringList &serialNumbers)
{
    const QDir folder(resetWorkingFolder());
    const QString path = folder.filePath(QLatin1String(kMismatch));
    QFile::remove(path);
    if (serialNumbers.isEmpty())
        return true;
    folder.mkpath(QStringLiteral("."));
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(serialNumbers.join(QStringLiteral("\r\n")).toUtf8() + "\r\n") >= 0
        && file.commit();
}

} // namespace VoskTool
