#include "app/qtsingleapplication.h"

#include "app/applog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace SharedTools {

namespace {

// The id may hold any characters; the file and server names use a hash of
// it together with the user, so that two users on one machine never see
// each other's instance.
QString instanceKey(const QString &id)
{
    const QByteArray user = QByteArray::number(static_cast<qulonglong>(::getuid()));
    const QByteArray hash =
        QCryptographicHash::hash(id.toUtf8() + '\0' + user, QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("qtsingleapp-%1").arg(QString::fromLatin1(hash));
}

} // namespace

QString QtSingleApplication::lockFilePath(const QString &id)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(instanceKey(id) + QStringLiteral(".lock"));
}

QString QtSingleApplication::serverName(const QString &id)
{
    return instanceKey(id);
}

QtSingleApplication::QtSingleApplication(const QString &id, int &argc, char **argv)
    : QApplication(argc, argv)
    , m_id(id)
    , m_lock(std::make_unique<QLockFile>(lockFilePath(id)))
{
    // Any lock whose owner process is dead is stale at once; a living
    // owner's lock is never stale, however old.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(100)) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            m_running = true;
            qCDebug(lcApp) << "[QtSingleApplication] another instance holds" << lockFilePath(id);
            return;
        }
        // The folder is not writable or similar: we cannot tell, and
        // refusing to start over it would lock the user out.
        qCWarning(lcApp) << "[QtSingleApplication] cannot use the instance lock" << lockFilePath(id)
                         << m_lock->error();
        return;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption | QLocalServer::AbstractNamespaceOption);
    // Only the lock holder gets here, so a leftover server name belongs to a
    // dead instance.
    QLocalServer::removeServer(serverName(id));
    if (!m_server->listen(serverName(id)))
        qCDebug(lcApp) << "[QtSingleApplication] no local server:" << m_server->errorString();
}

QtSingleApplication::~QtSingleApplication()
{
    if (m_server)
        m_server->close();
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
}

} // namespace SharedTools
