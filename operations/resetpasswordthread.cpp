#include "operations/resetpasswordthread.h"

#include "operations/devicekinds.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>

#include <cstring>

namespace {

constexpr char kOutError[] = "out_error.txt";
constexpr char kInError[] = "in_error.txt";

// A phase's error file: removed when the phase starts, one CR LF line per
// failed device, removed again at the end when no line was written. Every
// line rewrites the file whole through a temporary that replaces it: a run
// killed at any moment leaves the lines written so far, complete.
class PhaseErrorFile final
{
public:
    PhaseErrorFile(const QDir &folder, const char *name)
        : m_folder(folder), m_path(folder.filePath(QLatin1String(name)))
    {
        QFile::remove(m_path);
    }
    ~PhaseErrorFile()
    {
        if (m_lines.isEmpty())
            QFile::remove(m_path);
    }

    // False when the file could not be written; the line is kept for the
    // next try all the same.
    bool addLine(const QString &line)
    {
        m_lines += (line + QStringLiteral("\r\n")).toUtf8();
        m_folder.mkpath(QStringLiteral("."));
        QSaveFile file(m_path);
        return file.open(QIODevice::WriteOnly) && file.write(m_lines) == m_lines.size() && file.commit();
    }
    bool written() const { return !m_lines.isEmpty(); }

private:
    QDir m_folder;
    QString m_path;
    QByteArray m_lines;
};

// The serial number as the library is given it: Latin-1. A serial number
// that is not Latin-1 would reach the library as another one.
bool sendable(const QString &serial)
{
    return !serial.isEmpty() && QString::fromLatin1(serial.toLatin1()) == serial;
}

// The blocks hold the new password.
void wipe(QMap<QString, VoskTool::ResetPasswdParam> &params)
{
    for (auto it = params.begin(); it != params.end(); ++it)
        std::memset(&it.value(), 0, sizeof(VoskTool::ResetPasswdParam));
    params.clear();
}

} // namespace

ResetPasswordThread::ResetPasswordThread(QObject *parent)
    : QThread(parent)
{
    qRegisterMetaType<VoskTool::RecoveryOutcome>();
}

ResetPasswordThread::~ResetPasswordThread()
{
    wait();
    wipeParams();
}

QString ResetPasswordThread::workingFolder()
{
    return VoskTool::resetWorkingFolder();
}

bool ResetPasswordThread::errorOccurred() const
{
    const QMutexLocker locker(&m_mutex);
    return m_bErrorOccurred;
}

QVector<VoskTool::RecoveryOutcome> ResetPasswordThread::outcomes() const
{
    const QMutexLocker locker(&m_mutex);
    // A list of its own, not a shared one: once the reader has let go of a
    // shared list, the worker appends in place, and Qt finds the list
    // unshared by a relaxed load, which does not order the reader's last
    // reads before that write.
    return QVector<VoskTool::RecoveryOutcome>(m_outcomes.cbegin(), m_outcomes.cend());
}

bool ResetPasswordThread::errorFileWritten() const
{
    const QMutexLocker locker(&m_mutex);
    return m_errorFileWritten;
}

void ResetPasswordThread::run()
{
    setResults(false, true);
    {
        const QMutexLocker locker(&m_mutex);
        m_outcomes.clear();
    }
    if (m_iType == TypeExport)
        runExport();
    else
        runReset();
    // Under the lock, so that whoever takes it next (a reader of the
    // results, the destructor after wait()) comes after all this thread
    // did, the emission included.
    const QMutexLocker locker(&m_mutex);
    Q_EMIT signalPhaseEnded();
}

void ResetPasswordThread::setResults(bool errorOccurred, bool errorFileWritten)
{
    const QMutexLocker locker(&m_mutex);
    m_bErrorOccurred = errorOccurred;
    m_errorFileWritten = errorFileWritten;
}

void ResetPasswordThread::finishDevice(const VoskTool::RecoveryOutcome &outcome)
{
    {
        const QMutexLocker locker(&m_mutex);
        m_outcomes.append(outcome);
    }
    Q_EMIT signalDeviceDone();
}

void ResetPasswordThread::runExport()
{
    const QDir folder(workingFolder());
    PhaseErrorFile errors(folder, kOutError);
    if (m_listExport.isEmpty())
        return;
    folder.mkpath(QStringLiteral("."));
    bool fileWritten = true;
    QSet<QString> seen;
    for (const VoskTool::ExportEntry &entry : std::as_const(m_listExport)) {
        VoskTool::RecoveryOutcome outcome;
        outcome.serialNumber = entry.serialNumber;
        const QString path =
            VoskTool::deviceKeyFileName(folder.path(), entry.serialNumber, QDateTime::currentDateTime());
        QByteArray key;
        VoskTool::OperationOutcome fetched;
        if (!sendable(entry.serialNumber) || path.isEmpty()) {
            outcome.problem = QStringLiteral("the serial number cannot be written in a file name");
        } else if (seen.contains(entry.serialNumber)) {
            // One serial number, one key file: a second device under the
            // same serial number would overwrite the first one's key.
            outcome.problem = QStringLiteral("the serial number is listed twice");
        } else if (fetched = VoskTool::fetchDeviceKey(entry.device, false, &key); !fetched.ok()) {
            outcome.errorCode = fetched.code;
        } else if (key.isEmpty()) {
            outcome.problem = QStringLiteral("the device gave an empty key");
        } else {
            QString error;
            outcome.done = VoskTool::writeDeviceKeyFile(path, key, &error);
            if (!outcome.done)
                outcome.problem = QStringLiteral("the key file was not written: %1").arg(error);
        }
        seen.insert(entry.serialNumber);
        if (!outcome.done) {
            const QString why = outcome.problem.isEmpty()
                ? QStringLiteral(" error code: ") + QString::number(outcome.errorCode)
                : QStringLiteral(" error: ") + outcome.problem;
            fileWritten &= errors.addLine(entry.entry() + QStringLiteral(" software: ")
                                          + m_mapSoftVersion.value(entry.serialNumber) + why);
        }
        finishDevice(outcome);
    }
    setResults(errors.written(), fileWritten);
}

void ResetPasswordThread::runReset()
{
    const QDir folder(workingFolder());
    PhaseErrorFile errors(folder, kInError);
    QMap<QString, VoskTool::ResetPasswdParam> params;
    {
        const QMutexLocker locker(&m_mutex);
        params.swap(m_mapResetParam);
    }
    if (params.isEmpty())
        return;
    bool fileWritten = true;
    // QMap walks its keys in ascending order of their character codes.
    for (auto it = params.cbegin(); it != params.cend(); ++it) {
        VoskTool::RecoveryOutcome outcome;
        outcome.serialNumber = it.key();
        // Read again: the folder is the user's and may have changed since
        // the files were matched, and a file that is no answer must never
        // reach the device (it would count toward its lockout).
        const auto answer = m_answerFiles.constFind(it.key());
        QByteArray content;
        const VoskTool::AnswerFileCheck check = answer == m_answerFiles.cend()
            ? VoskTool::AnswerFileCheck::Ok
            : VoskTool::readAnswerFile(answer.value(), &content);
        const auto device = m_resetDevices.constFind(it.key());
        if (!sendable(it.key())) {
            outcome.problem = QStringLiteral("the serial number cannot be sent to the device");
        } else if (device == m_resetDevices.cend() || device->serialNumber != it.key()) {
            // Addressed by the serial number alone the block could reach a
            // device that shares it.
            outcome.problem = QStringLiteral("the device of the answer is not known");
        } else if (check != VoskTool::AnswerFileCheck::Ok) {
            outcome.problem = VoskTool::answerFileProblem(check);
        } else if (!sendChecked(*device, it.value(), content, &outcome)) {
            outcome.problem = QStringLiteral("the answer could not be handed to the library");
        }
        if (!outcome.done) {
            const QString why = outcome.problem.isEmpty()
                ? QStringLiteral(" error code: ") + QString::number(outcome.errorCode)
                : QStringLiteral(" error: ") + outcome.problem;
            fileWritten &= errors.addLine(it.key() + QStringLiteral(" + software: ")
                                          + m_mapSoftVersion.value(it.key()) + why);
        }
        content.fill('\0');
        finishDevice(outcome);
    }
    setResults(errors.written(), fileWritten);
    wipe(params);
}

// The library reads the answer from a file. Given the user's file, it would
// read it a second time, after our check: a file replaced in between (the
// folder is the user's, and a sync client or another program may write it)
// would reach the device unchecked. It gets a copy of the bytes just
// checked instead, in a file of our own that only we can change.
bool ResetPasswordThread::sendChecked(const DeviceKey &device, VoskTool::ResetPasswdParam block,
                                      const QByteArray &content, VoskTool::RecoveryOutcome *outcome)
{
    QTemporaryFile copy;
    if (!content.isEmpty()) {
        if (!VoskTool::writeAnswerForSending(content, copy)
            || !VoskTool::setResetBlockAnswerFile(&block, copy.fileName())) {
            std::memset(&block, 0, sizeof block);
            return false;
        }
    }
    const VoskTool::OperationOutcome reset =
        VoskTool::DeviceKinds::instance().operationsFor(device)->resetPassword(device, block);
    std::memset(&block, 0, sizeof block);
    outcome->done = reset.ok();
    if (!outcome->done)
        outcome->errorCode = reset.code;
    return true;
}

void ResetPasswordThread::wipeParams()
{
    const QMutexLocker locker(&m_mutex);
    wipe(m_mapResetParam);
}
