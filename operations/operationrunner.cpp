#include "operations/operationrunner.h"

#include "operations/devicekinds.h"
#include "operations/operationslog.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QMutex>

#include <atomic>
#include <utility>
#include <vector>

namespace VoskTool {

// What the pool's tasks read while the run lasts: the secrets and the
// cancel flag. Shared so that no task reads the runner itself.
struct OperationRunner::Shared
{
    OperationKind kind = OperationKind::SetNetParams;
    PasswordBytes password;
    PasswordBytes newPassword;
    std::atomic<bool> cancelled{false};

    // Outcomes travel back to the runner's thread through this locked list
    // and a posted call that carries nothing: the list's lock orders each
    // outcome's copy and its reader (a posted functor's captures would be
    // ordered only by the lock inside Qt's event queue).
    QMutex mutex;
    std::vector<std::pair<int, OperationOutcome>> finished;
    bool posted = false;

    ~Shared()
    {
        password.wipe();
        newPassword.wipe();
    }
};

namespace {

// Taken while the tasks are made and queued, and by each task before it
// reads what it was given. QThreadPool hands a task to its thread under a
// lock of its own, inside Qt, that ThreadSanitizer cannot see (a thread of
// the pool that is already running takes the next task that way); this
// one it sees. Never held across a device call.
QMutex &taskHandover()
{
    static QMutex mutex;
    return mutex;
}

OperationOutcome perform(OperationKind kind, const OperationJob &job, const PasswordBytes &passwords,
                         const PasswordBytes &newPasswords)
{
    const std::shared_ptr<DeviceOperations> operations = DeviceKinds::instance().operationsFor(job.device);
    const bool utf8 = operations->takesUtf8Passwords();
    const QByteArray &password = utf8 ? passwords.utf8 : passwords.local;
    const QByteArray &newPassword = utf8 ? newPasswords.utf8 : newPasswords.local;
    switch (kind) {
    case OperationKind::SetNetParams:
        return operations->setNetParams(job.device, password, job.params);
    case OperationKind::Activate:
        return operations->activate(job.device, password);
    case OperationKind::ChangePassword:
        return operations->changePassword(job.device, password, newPassword);
    }
    return {OperationStatus::Unsupported, 0};
}

} // namespace

OperationRunner::OperationRunner(QObject *parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(m_maxInFlight);
}

OperationRunner::~OperationRunner()
{
    if (m_shared)
        m_shared->cancelled = true;
    m_pool.clear();
    m_pool.waitForDone();
}

void OperationRunner::setMaxInFlight(int count)
{
    m_maxInFlight = count >= 1 && count <= kMaxInFlight ? count : kDefaultInFlight;
}

bool OperationRunner::isCancelled() const
{
    return m_shared && m_shared->cancelled;
}

bool OperationRunner::start(OperationKind kind, const QVector<OperationJob> &jobs, const QByteArray &password,
                            const QByteArray &newPassword)
{
    return start(kind, jobs, PasswordBytes::same(password), PasswordBytes::same(newPassword));
}

bool OperationRunner::start(OperationKind kind, const QVector<OperationJob> &jobs, const PasswordBytes &password,
                            const PasswordBytes &newPassword)
{
    if (m_running)
        return false;
    m_running = true;
    m_kind = kind;
    m_jobs = jobs;
    m_outcomes = QVector<OperationOutcome>(jobs.size(), OperationOutcome::cancelled());
    m_done = 0;
    m_shared = std::make_shared<Shared>();
    m_shared->kind = kind;
    m_shared->password = password;
    m_shared->newPassword = newPassword;
    m_pool.setMaxThreadCount(m_maxInFlight);
    qCDebug(lcOperations) << "[OperationRunner]" << jobs.size() << "devices," << m_maxInFlight << "at once";

    if (jobs.isEmpty()) {
        QMetaObject::invokeMethod(this, [this] {
            m_running = false;
            m_shared.reset();
            Q_EMIT finished();
        }, Qt::QueuedConnection);
        return true;
    }
    // Queued in job order: the pool takes them first in, first out, so
    // the devices are reached in table order.
    const QMutexLocker handover(&taskHandover());
    for (int i = 0; i < jobs.size(); ++i) {
        std::shared_ptr<Shared> shared = m_shared;
        const OperationJob job = jobs.at(i);
        m_pool.start([this, shared, job, i] {
            {
                const QMutexLocker taken(&taskHandover());
            }
            OperationOutcome outcome = shared->cancelled
                ? OperationOutcome::cancelled()
                : perform(shared->kind, job, shared->password, shared->newPassword);
            // What a later "not seen since" counts from.
            if (outcome.ok() && outcome.takenAtMs == 0)
                outcome.takenAtMs = monotonicMs();
            const QMutexLocker locker(&shared->mutex);
            shared->finished.emplace_back(i, outcome);
            if (!shared->posted) {
                shared->posted = true;
                QMetaObject::invokeMethod(this, &OperationRunner::takeOutcomes, Qt::QueuedConnection);
            }
        });
    }
    return true;
}

void OperationRunner::cancel()
{
    if (!m_running || !m_shared)
        return;
    qCDebug(lcOperations) << "[OperationRunner] cancelled after" << m_done << "of" << m_jobs.size();
    m_shared->cancelled = true;
}

void OperationRunner::takeOutcomes()
{
    if (!m_shared)
        return;
    // Held by the local reference: the last outcome resets m_shared.
    const std::shared_ptr<Shared> shared = m_shared;
    std::vector<std::pair<int, OperationOutcome>> finished;
    {
        const QMutexLocker locker(&shared->mutex);
        finished.swap(shared->finished);
        shared->posted = false;
    }
    for (const auto &[index, outcome] : finished)
        onOutcome(index, outcome);
}

void OperationRunner::onOutcome(int index, OperationOutcome outcome)
{
    if (!m_running || index < 0 || index >= m_outcomes.size())
        return;
    m_outcomes[index] = outcome;
    ++m_done;
    Q_EMIT outcomeReady(index);
    Q_EMIT progress(m_done, int(m_jobs.size()));
    if (m_done < m_jobs.size())
        return;
    m_running = false;
    // The tasks hold the last references to the secrets until they end;
    // the runner lets go of its own now.
    m_shared.reset();
    Q_EMIT finished();
}

void OperationRunner::waitForFinished()
{
    if (!m_running)
        return;
    QEventLoop loop;
    connect(this, &OperationRunner::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace VoskTool
