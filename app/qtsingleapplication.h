#pragma once

#include <QApplication>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace SharedTools {

// An application object that knows whether another instance with the same
// id already runs for this user (one log-on session).
//
// The first instance holds an exclusive lock file in the user's runtime
// folder for its whole life and listens on a local server named after the
// id and the user (a channel for later use; nothing is sent today). A lock
// whose recorded process is gone counts as stale and is taken over, so an
// instance that crashed or was killed never blocks the next start.
// GUI thread only.
class QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    QtSingleApplication(const QString &id, int &argc, char **argv);
    ~QtSingleApplication() override;

    // True when another instance with this id held the lock at construction.
    bool isRunning() const { return m_running; }
    QString id() const { return m_id; }

    // The lock file and server name used for an id; for tests and
    // diagnostics.
    static QString lockFilePath(const QString &id);
    static QString serverName(const QString &id);

private:
    QString m_id;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr; // child of this, only in the first instance
    bool m_running = false;
};

} // namespace SharedTools
