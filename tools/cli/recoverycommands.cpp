// The recovery commands of vosktool-cli: restore, export-keys and reset,
// with the window's working folder and files.

#include "tools/cli/clicommands.h"

#include "tools/cli/clioptions.h"

#include "discovery/deviceidentity.h"
#include "discovery/devicestore.h"
#include "operations/devicekinds.h"
#include "operations/recoveryfiles.h"
#include "operations/resetpasswordthread.h"
#include "tools/cli/devicefinder.h"
#include "discovery/terminaltext.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace CliCommands {

namespace {

int runRecoveryWorker(ResetPasswordThread &worker,
                      const std::function<QString(const VoskTool::RecoveryOutcome &)> &resultText)
{
    int failed = 0;
    int written = 0;
    // Each device's line as soon as it is finished, read from the worker's
    // results (the signal carries no copy).
    const auto writeFinished = [&] {
        const QVector<VoskTool::RecoveryOutcome> outcomes = worker.outcomes();
        for (; written < outcomes.size(); ++written) {
            const VoskTool::RecoveryOutcome &outcome = outcomes.at(written);
            failed += outcome.done ? 0 : 1;
            writeResult(outcome.serialNumber, resultText(outcome));
        }
    };
    QEventLoop loop;
    QObject::connect(&worker, &ResetPasswordThread::signalDeviceDone, &loop, writeFinished, Qt::QueuedConnection);
    // Queued after the last device's signal, so it ends the loop after it.
    QObject::connect(&worker, &ResetPasswordThread::signalPhaseEnded, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    worker.start();
    loop.exec();
    worker.wait();
    writeFinished();
    if (!worker.errorFileWritten())
        writeErr(QStringLiteral("the error list could not be written in %1")
                     .arg(QDir::toNativeSeparators(ResetPasswordThread::workingFolder())));
    return failed;
}

// A new administrator password from its file, checked by the window's
// policy and converted for the device. The file is typed once: it is its
// own confirmation.

bool recoveryDevices(DeviceFinder &finder, const QStringList &serials, int expect, int waitMs,
                     const QSet<DeviceKey> &picks, QVector<DeviceKey> *devices, int *notFound)
{
    if (!discover(finder, serials, serials.isEmpty() ? expect : 0, waitMs))
        return false;
    *notFound = 0;
    if (serials.isEmpty()) {
        QVector<DeviceKey> found;
        for (const VOSK_DEVICE_INFO &record : finder.devices())
            found.append(DeviceKey::fromRecord(record));
        // By serial number, then MAC: two devices that share a serial number
        // come in the same order to export-keys and reset, so that the one
        // whose key was exported is the one its answer is sent to.
        std::sort(found.begin(), found.end(), [](const DeviceKey &a, const DeviceKey &b) {
            return a.serialNumber != b.serialNumber ? a.serialNumber < b.serialNumber : a.mac < b.mac;
        });
        // Every device found, but those whose identity another shares
        // unless picked: nothing goes to them unasked.
        for (const DeviceKey &device : std::as_const(found)) {
            const QVector<VOSK::IdentityConflict> conflicts = VOSK::DeviceIdentity::unpicked({device}, picks);
            if (conflicts.isEmpty()) {
                devices->append(device);
                continue;
            }
            writeErr(terminalSafe(VOSK::DeviceIdentity::refusal(conflicts)));
            writeResult(device.serialNumber, ambiguousText());
            ++*notFound;
        }
        return true;
    }
    for (const QString &serial : serials) {
        DeviceKey key;
        const Lookup lookup = lookUp(serial, picks, &key, nullptr);
        if (lookup == Lookup::Found) {
            devices->append(key);
        } else {
            writeResult(serial, lookupFailureText(lookup));
            ++*notFound;
        }
    }
    return true;
}


} // namespace

int restore(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    const QCommandLineOption codeFile(QStringLiteral("code-file"),
                                      QStringLiteral("File whose first line is the security code."),
                                      QStringLiteral("file"));
    parser.addOption(codeFile);
    const Parsed parsed = parse(parser, common, QStringLiteral("restore"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (parser.positionalArguments().size() != 1) {
        writeErr(QStringLiteral("restore takes the serial number of one device"));
        return BadInput;
    }
    const QString serial = parser.positionalArguments().first();
    if (!parser.isSet(codeFile)) {
        writeErr(QStringLiteral("restore needs --code-file"));
        return BadInput;
    }
    // The security code is a secret like a password: read from a file.
    QString code;
    if (!readPasswordFile(parser.value(codeFile), &code))
        return BadInput;
    code = code.trimmed();
    if (code.isEmpty()) {
        writeErr(QStringLiteral("Please input security code."));
        return BadInput;
    }
    // The dialog's field takes 32 characters; the code goes to the device
    // as Latin-1, where a character outside it would become '?'.
    if (code.size() > kMaxSecurityCodeLength || QString::fromLatin1(code.toLatin1()) != code) {
        writeErr(QStringLiteral("the security code is not one the reset service gives (at most %1 Latin-1 "
                                "characters)").arg(kMaxSecurityCodeLength));
        return BadInput;
    }

    DeviceFinder finder(DeviceFinder::Kinds::OursOnly);
    if (!discover(finder, {serial}, 0, common.waitMs))
        return SomeFailed;
    DeviceKey key;
    if (const Lookup lookup = lookUp(serial, common.picks, &key, nullptr); lookup != Lookup::Found) {
        writeResult(serial, lookupFailureText(lookup));
        return SomeFailed;
    }
    writeProgress(1, 1, serial);
    // The window shows no error code here either: the device says only
    // that it refused.
    if (!VoskTool::DeviceKinds::instance().operationsFor(key)->restoreDefaultPassword(key, code.toLatin1()).ok()) {
        writeResult(serial, QStringLiteral("Restore password failed."));
        return SomeFailed;
    }
    writeResult(serial, QStringLiteral("Restore password succeed."));
    return AllDone;
}

int exportKeys(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    const QCommandLineOption expect = expectOption();
    parser.addOption(expect);
    const Parsed parsed = parse(parser, common, QStringLiteral("export-keys"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    int count = 0;
    if (!readExpect(parser, expect, &count))
        return BadInput;

    DeviceFinder finder(DeviceFinder::Kinds::OursOnly);
    QVector<DeviceKey> devices;
    int failed = 0;
    if (!recoveryDevices(finder, parser.positionalArguments(), count, common.waitMs, common.picks, &devices, &failed))
        return SomeFailed;
    if (devices.isEmpty()) {
        writeErr(QStringLiteral("no device to export"));
        return SomeFailed;
    }
    const VoskTool::ExportList list = VoskTool::exportListFor(devices);
    ResetPasswordThread worker;
    worker.setType(ResetPasswordThread::TypeExport);
    worker.setExportList(list.entries);
    worker.setSoftVersions(list.versions);
    failed += runRecoveryWorker(worker, [](const VoskTool::RecoveryOutcome &outcome) {
        if (outcome.done)
            return QStringLiteral("Exported");
        if (!outcome.problem.isEmpty())
            return QStringLiteral("Not exported: %1.").arg(outcome.problem);
        return QStringLiteral("Error%1").arg(outcome.errorCode);
    });
    const QString folder = QDir::toNativeSeparators(ResetPasswordThread::workingFolder());
    std::fprintf(stderr, "vosktool-cli: key files in %s%s\n", folder.toLocal8Bit().constData(),
                 worker.errorOccurred() ? " (see out_error.txt)" : "");
    return failed == 0 ? AllDone : SomeFailed;
}

int reset(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    const QCommandLineOption answers(QStringLiteral("answers"),
                                     QStringLiteral("Folder of the reset service's answer files."),
                                     QStringLiteral("dir"));
    const QCommandLineOption passwordFile = newPasswordFileOption();
    const QCommandLineOption expect = expectOption();
    parser.addOptions({answers, passwordFile, expect});
    const Parsed parsed = parse(parser, common, QStringLiteral("reset"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    int count = 0;
    if (!readExpect(parser, expect, &count))
        return BadInput;
    if (!parser.isSet(answers) || parser.value(answers).isEmpty()) {
        writeErr(QStringLiteral("reset needs --answers, the folder of the answer files"));
        return BadInput;
    }
    const QString answersFolder = parser.value(answers);
    if (!QFileInfo(answersFolder).isDir()) {
        writeErr(QStringLiteral("the answers folder %1 does not exist").arg(answersFolder));
        return BadInput;
    }
    if (!parser.isSet(passwordFile)) {
        writeErr(QStringLiteral("reset needs --password-file"));
        return BadInput;
    }
    QByteArray password;
    if (!readNewPassword(parser.value(passwordFile), &password))
        return BadInput;

    DeviceFinder finder(DeviceFinder::Kinds::OursOnly);
    QVector<DeviceKey> devices;
    int failed = 0;
    if (!recoveryDevices(finder, parser.positionalArguments(), count, common.waitMs, common.picks, &devices,
                         &failed)) {
        password.fill('\0');
        return SomeFailed;
    }
    VoskTool::ResetPlan plan = VoskTool::matchAnswerFiles(devices, answersFolder, password);
    password.fill('\0');
    // Known before anything is sent: written first, so that a cut run
    // still has them.
    for (const QString &serial : std::as_const(plan.mismatched)) {
        const QString problem = plan.problems.value(serial);
        writeResult(serial, problem.isEmpty() ? QStringLiteral("No answer file.")
                                              : QStringLiteral("No usable answer file: %1.").arg(problem));
        ++failed;
    }
    if (!VoskTool::writeMismatchList(plan.mismatched))
        writeErr(QStringLiteral("mismatch.txt could not be written in %1")
                     .arg(QDir::toNativeSeparators(ResetPasswordThread::workingFolder())));
    ResetPasswordThread worker;
    worker.setType(ResetPasswordThread::TypeReset);
    worker.setResetParams(plan.blocks);
    worker.setAnswerFiles(plan.answerFiles);
    worker.setResetDevices(plan.devices);
    worker.setSoftVersions(plan.versions);
    // The worker holds the only copy now, and wipes it when it is done.
    for (VoskTool::ResetPasswdParam &block : plan.blocks)
        std::memset(&block, 0, sizeof block);
    plan.blocks.clear();
    failed += runRecoveryWorker(worker, [](const VoskTool::RecoveryOutcome &outcome) {
        if (outcome.done)
            return succeedText();
        if (!outcome.problem.isEmpty())
            return QStringLiteral("Not reset: %1.").arg(outcome.problem);
        return failureText(Operation::Modify, true, outcome.errorCode);
    });
    if (worker.errorOccurred() || !plan.mismatched.isEmpty()) {
        const QString folder = QDir::toNativeSeparators(ResetPasswordThread::workingFolder());
        std::fprintf(stderr, "vosktool-cli: see in_error.txt or mismatch.txt in %s\n",
                     folder.toLocal8Bit().constData());
    }
    return failed == 0 ? AllDone : SomeFailed;
}


} // namespace CliCommands
