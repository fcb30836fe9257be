#include "password/batchreset.h"

#include "aptui/cchasedialog.h"
#include "aptui/guitextcodec.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "password/recoveryfiles.h"
#include "password/recoveryui.h"
#include "password/resetpasswordthread.h"
#include "password/resetpasswordwidget.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QStringList>

#include <cstring>

namespace VoskTool {

namespace {

constexpr char kMismatch[] = "mismatch.txt";

QString hintTitle()
{
    return QCoreApplication::translate("VoskTool::BatchReset", "Hint");
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

// Runs the worker behind the waiting dialog until it has ended.
void runBehindWaitingDialog(QWidget *page, ResetPasswordThread &worker)
{
    TarnGUIToolkit::CChaseDialog waiting(
        page, QStringLiteral(":/CommonSkin/Loading/Images/Public/Control/Loading/Loading.gif"),
        QCoreApplication::translate("VoskTool::BatchReset", "Loading..."), false);
    QObject::connect(&worker, &QThread::finished, &waiting, &TarnGUIToolkit::CChaseDialog::OnImmediatelyStopChase);
    worker.start(QThread::InheritPriority);
    waiting.exec();
    worker.wait();
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

void runConfigExport(QWidget *page, const QVector<DeviceKey> &devices)
{
    QStringList entries;
    QMap<QString, QString> versions;
    for (const DeviceKey &device : devices) {
        const StoredTexts texts = storedTexts(device);
        entries << device.serialNumber + QLatin1Char('+') + texts.startTime;
        versions.insert(device.serialNumber, texts.softwareVersion);
    }
    if (versions.isEmpty())
        return;
    ResetPasswordThread worker;
    worker.setType(ResetPasswordThread::TypeExport);
    worker.setExportList(entries);
    worker.setSoftVersions(versions);
    runBehindWaitingDialog(page, worker);
    const QString text = worker.errorOccurred()
        ? QCoreApplication::translate("VoskTool::BatchReset", "Part failed.Please check\"out_error\" file")
        : QCoreApplication::translate("VoskTool::BatchReset", "Exported");
    RecoveryUi::showMessage(page, hintTitle(), text);
    RecoveryUi::openFolder(ResetPasswordThread::workingFolder());
}

void runConfigReset(QWidget *page, const QVector<DeviceKey> &devices)
{
    ResetPasswordWidget input(page);
    if (input.exec() != QDialog::Accepted)
        return;
    QByteArray password = input.passwordBytes();
    // Listed once: the same listing serves every device.
    const QVector<AnswerFile> files = listAnswerFiles(input.folder());

    QMap<QString, ResetPasswdParam> blocks;
    QMap<QString, QString> versions;
    QSet<QString> matched;
    for (const DeviceKey &device : devices) {
        const QString serial = device.serialNumber;
        versions.insert(serial, storedTexts(device).softwareVersion);
        for (const AnswerFile &file : files) {
            if (!file.withSlashes.contains(serial) && !file.withBackslashes.contains(serial))
                continue;
            ResetPasswdParam block;
            // A path the library's field cannot hold is no usable answer.
            if (fillResetBlock(&block, QString(), file.path, password, false,
                               TarnGUIToolkit::GuiTextCodec())
                != ResetBlockCheck::Ok)
                continue;
            blocks.insert(serial, block);
            std::memset(&block, 0, sizeof block);
            matched.insert(serial);
            break;
        }
    }
    password.fill('\0');

    ResetPasswordThread worker;
    worker.setType(ResetPasswordThread::TypeReset);
    worker.setResetParams(blocks);
    worker.setSoftVersions(versions);
    // The worker holds the only copy now, and wipes it when it is done.
    blocks.clear();
    runBehindWaitingDialog(page, worker);

    QStringList mismatched;
    for (const DeviceKey &device : devices) {
        if (!matched.contains(device.serialNumber))
            mismatched << device.serialNumber;
    }
    const QDir folder(ResetPasswordThread::workingFolder());
    const QString mismatchPath = folder.filePath(QLatin1String(kMismatch));
    QFile::remove(mismatchPath);
    if (!mismatched.isEmpty()) {
        folder.mkpath(QStringLiteral("."));
        QFile file(mismatchPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(mismatched.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
    }
    if (worker.errorOccurred() || !mismatched.isEmpty()) {
        RecoveryUi::showMessage(page, hintTitle(),
                                QCoreApplication::translate("VoskTool::BatchReset",
                                                            "Part failed.Please check\"in_error\" or \"mismatch\" file"));
        RecoveryUi::openFolder(ResetPasswordThread::workingFolder());
    } else {
        RecoveryUi::showMessage(page, hintTitle(), QCoreApplication::translate("VoskTool::BatchReset", "Successed"));
    }
}

} // namespace VoskTool
