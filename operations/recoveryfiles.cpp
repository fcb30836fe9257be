#include "operations/recoveryfiles.h"

#include "aptui/guitextcodec.h"
#include "aptui/targetpath.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace VoskTool {

namespace {

constexpr qint64 kMaxAnswerRead = 1 << 20;
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

// An answer file as the matching reads it: key file names write '/' and
// '\' of a serial number as '_', so its name is read back both ways.
struct AnswerFile
{
    QString path;
    QString withSlashes;
    QString withBackslashes;
};

QVector<AnswerFile> listAnswerFiles(const QString &folder)
{
    QVector<AnswerFile> files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
        QString slashes = info.fileName();
        QString backslashes = slashes;
        slashes.replace(QLatin1Char('_'), QLatin1Char('/'));
        backslashes.replace(QLatin1Char('_'), QLatin1Char('\\'));
        files.append({info.absoluteFilePath(), slashes, backslashes});
    }
    return files;
}

} // namespace

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
    QString name = folder;
    if (!name.isEmpty() && !name.endsWith(QLatin1Char('/')) && !name.endsWith(QLatin1Char('\\')))
        name += QLatin1Char('/');
    QString serial = serialNumber;
    serial.replace(QLatin1Char('\\'), QLatin1Char('_')).replace(QLatin1Char('/'), QLatin1Char('_'));
    return name + serial + QLatin1Char('-') + when.toString(QStringLiteral("yyyyMMddHHmm")) + QStringLiteral(".xml");
}

bool fetchDeviceKey(const QString &serialNumber, bool newStyle, QByteArray *key)
{
    VOSK_KEY_ANSWER answer;
    std::memset(&answer, 0, sizeof answer);
    const unsigned command = newStyle ? VOSK_CMD_EXPORT_KEY_V2 : VOSK_CMD_EXPORT_KEY;
    const unsigned size = newStyle ? VOSK_KEY_ANSWER_SIZE_V2 : VOSK_KEY_ANSWER_SIZE_V1;
    if (!VOSK::VoskHandler::instance()->getDeviceConfig(serialNumber.toLatin1(), command, nullptr, 0, &answer,
                                                        size))
        return false;
    // A length beyond the key space would read past what the library filled.
    const quint32 length = std::min<quint32>(answer.length, size - 4);
    *key = QByteArray(reinterpret_cast<const char *>(answer.keyData), int(length));
    return true;
}

bool writeDeviceKeyFile(const QString &path, const QByteArray &key)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(key) == key.size();
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
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return AnswerCopy::SourceUnreadable;
    QByteArray content = in.read(kMaxAnswerRead);
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

ExportList exportListFor(const QVector<DeviceKey> &devices)
{
    ExportList list;
    for (const DeviceKey &device : devices) {
        const StoredTexts texts = storedTexts(device);
        list.entries << device.serialNumber + QLatin1Char('+') + texts.startTime;
        list.versions.insert(device.serialNumber, texts.softwareVersion);
    }
    return list;
}

ResetPlan matchAnswerFiles(const QVector<DeviceKey> &devices, const QString &answersFolder,
                           const QByteArray &newPassword)
{
    ResetPlan plan;
    // Listed once: the same listing serves every device.
    const QVector<AnswerFile> files = listAnswerFiles(answersFolder);
    for (const DeviceKey &device : devices) {
        const QString serial = device.serialNumber;
        plan.versions.insert(serial, storedTexts(device).softwareVersion);
        bool matched = false;
        for (const AnswerFile &file : files) {
            if (!file.withSlashes.contains(serial) && !file.withBackslashes.contains(serial))
                continue;
            ResetPasswdParam block;
            // A path the library's field cannot hold is no usable answer.
            if (fillResetBlock(&block, QString(), file.path, newPassword, false, TarnGUIToolkit::GuiTextCodec())
                != ResetBlockCheck::Ok)
                continue;
            plan.blocks.insert(serial, block);
            std::memset(&block, 0, sizeof block);
            matched = true;
            break;
        }
        if (!matched)
            plan.mismatched << serial;
    }
    return plan;
}

void writeMismatchList(const QStringList &serialNumbers)
{
    const QDir folder(resetWorkingFolder());
    const QString path = folder.filePath(QLatin1String(kMismatch));
    QFile::remove(path);
    if (serialNumbers.isEmpty())
        return;
    folder.mkpath(QStringLiteral("."));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(serialNumbers.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
}

} // namespace VoskTool
