#include "password/resetpasswordthread.h"

#include "discovery/voskhandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstring>

namespace {

constexpr char kOutError[] = "out_error.txt";
constexpr char kInError[] = "in_error.txt";

} // namespace

ResetPasswordThread::ResetPasswordThread(QObject *parent)
    : QThread(parent)
{
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

void ResetPasswordThread::run()
{
    if (m_iType == TypeExport)
        runExport();
    else
        runReset();
}

void ResetPasswordThread::runExport()
{
    m_bErrorOccurred = false;
    m_failures.clear();
    const QDir folder(workingFolder());
    const QString errorPath = folder.filePath(QLatin1String(kOutError));
    QFile::remove(errorPath);
    if (m_listExport.isEmpty())
        return;
    folder.mkpath(QStringLiteral("."));
    QFile errors(errorPath);
    const bool errorsOpen = errors.open(QIODevice::WriteOnly | QIODevice::Truncate);
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    for (const QString &entry : std::as_const(m_listExport)) {
        const QString serial = entry.section(QLatin1Char('+'), 0, 0);
        QByteArray key;
        if (VoskTool::fetchDeviceKey(serial, false, &key)) {
            // A key file that cannot be written is passed over: the device's
            // key is still there to export again.
            VoskTool::writeDeviceKeyFile(
                VoskTool::deviceKeyFileName(folder.path(), serial, QDateTime::currentDateTime()), key);
            continue;
        }
        const int code = handler->getLastError();
        m_failures.insert(serial, code);
        const QString line = entry + QStringLiteral(" software: ") + m_mapSoftVersion.value(serial)
            + QStringLiteral(" error code: ") + QString::number(code) + QStringLiteral("\r\n");
        if (errorsOpen)
            errors.write(line.toUtf8());
        m_bErrorOccurred = true;
    }
    errors.close();
    if (!m_bErrorOccurred)
        QFile::remove(errorPath);
}

void ResetPasswordThread::runReset()
{
    m_bErrorOccurred = false;
    m_failures.clear();
    const QDir folder(workingFolder());
    const QString errorPath = folder.filePath(QLatin1String(kInError));
    QFile::remove(errorPath);
    if (m_mapResetParam.isEmpty())
        return;
    folder.mkpath(QStringLiteral("."));
    QFile errors(errorPath);
    const bool errorsOpen = errors.open(QIODevice::WriteOnly | QIODevice::Truncate);
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    // QMap walks its keys in ascending order of their character codes.
    for (auto it = m_mapResetParam.cbegin(); it != m_mapResetParam.cend(); ++it) {
        VoskTool::ResetPasswdParam block = it.value();
        const bool done = handler->resetPasswd(it.key().toLatin1(), &block);
        std::memset(&block, 0, sizeof block);
        if (done)
            continue;
        const int code = handler->getLastError();
        m_failures.insert(it.key(), code);
        const QString line = it.key() + QStringLiteral(" + software: ") + m_mapSoftVersion.value(it.key())
            + QStringLiteral(" error code: ") + QString::number(code) + QStringLiteral("\r\n");
        if (errorsOpen)
            errors.write(line.toUtf8());
        m_bErrorOccurred = true;
    }
    errors.close();
    if (!m_bErrorOccurred)
        QFile::remove(errorPath);
    wipeParams();
}

void ResetPasswordThread::wipeParams()
{
    for (auto it = m_mapResetParam.begin(); it != m_mapResetParam.end(); ++it)
        std::memset(&it.value(), 0, sizeof(VoskTool::ResetPasswdParam));
    m_mapResetParam.clear();
}
