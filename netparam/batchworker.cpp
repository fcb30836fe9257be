#include "netparam/batchworker.h"

#include "discovery/voskhandler.h"

namespace VoskTool {

BatchWorker::BatchWorker(Kind kind, const QByteArray &password, const QVector<Job> &jobs, QObject *parent)
    : QThread(parent)
    , m_kind(kind)
    , m_password(password)
    , m_jobs(jobs)
{
}

BatchWorker::~BatchWorker()
{
    wait();
    m_password.fill('\0');
}

void BatchWorker::run()
{
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    const int total = int(m_jobs.size());
    QVector<Outcome> outcomes(total);
    for (int i = 0; i < total; ++i) {
        Job &job = m_jobs[i];
        const bool ok = m_kind == Kind::Modify ? handler->modifyDeviceNetParam(job.target, m_password, &job.param)
                                               : handler->activateDevice(job.target, m_password);
        outcomes[i].ok = ok;
        // The library keeps its last error per thread: read it on this one.
        outcomes[i].error = ok ? 0 : handler->getLastError();
        outcomes[i].lockedSeconds = ok ? 0 : handler->getLockedSeconds();
        Q_EMIT signalProgress(i + 1, total);
    }
    m_outcomes = outcomes;
}

} // namespace VoskTool
