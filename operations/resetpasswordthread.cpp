#include "operations/resetpasswordthread.h"

#include "discovery/voskhandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstring>

namespace {

constexpr char kOutError[] = "out_error.txt";
constexpr char kInError[] = "in_error.txt";

// A phase's error file: removed when the phase starts, one CR LF line per
// failed device, removed again at the end when no line was written.
class PhaseErrorFile final
{
public:
    PhaseErrorFile(const QDir &folder, const char *name)
        : m_folder(folder), m_file(folder.filePath(QLatin1String(name)))
    {
        QFile::remove(m_file.fileName());
    }
    ~PhaseErrorFile()
    {
        m_file.close();
        if (!m_written)
            QFile::remove(m_file.fileName());
    }

    // Called once the phase has work to do.
    void open()
    {
        m_folder.mkpath(QStringLiteral("."));
        m_open = m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    void addLine(const QString &line)
    {
        if (m_open)
            m_file.write((line + QStringLiteral("\r\n")).toUtf8());
        m_written = true;
    }
    bool written() const { return m_written; }

private:
    QDir m_folder;
    QFile m_file;
    bool m_open = false;
    bool m_written = false;
};

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
    PhaseErrorFile errors(folder, kOutError);
    if (m_listExport.isEmpty())
        return;
    errors.open();
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
        errors.addLine(entry + QStringLiteral(" software: ") + m_mapSoftVersion.value(serial)
                       + QStringLiteral(" error code: ") + QString::number(code));
    }
    m_bErrorOccurred = errors.written();
}

void ResetPasswordThread::runReset()
{
    m_bErrorOccurred = false;
    m_failures.clear();
    const QDir folder(workingFolder());
    PhaseErrorFile errors(folder, kInError);
    if (m_mapResetParam.isEmpty())
        return;
    errors.open();
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
        errors.addLine(it.key() + QStringLiteral(" + software: ") + m_mapSoftVersion.value(it.key())
                       + QStringLiteral(" error code: ") + QString::number(code));
    }
    m_bErrorOccurred = errors.written();
    wipeParams();
}

void ResetPasswordThread::wipeParams()
{
    for (auto it = m_mapResetParam.begin(); it != m_mapResetParam.end(); ++it)
        std::memset(&it.value(), 0, sizeof(VoskTool::ResetPasswdParam));
    m_mapResetParam.clear();
}
