#pragma once

#include "discovery/devicekey.h"
#include "vosk/vosk.h"

#include <QByteArray>
#include <QThread>
#include <QVector>

namespace VoskTool {

// The library calls of a batch, off the GUI thread: one device at a time in
// the given order, each call blocking up to the library's time-out, so that a
// batch with silent devices does not freeze the window. The worker touches
// neither the device store nor any widget; the pane applies the outcomes on
// the GUI thread once finished() has been emitted.
class BatchWorker final : public QThread
{
    Q_OBJECT

public:
    enum class Kind {
        Modify,   // VOSK_ModifyDeviceNetParam_ByPair
        Activate, // VOSK_ActivateDevice_ByPair
    };
    struct Job
    {
        // The device, by both halves of its key: a second device sharing
        // its MAC or serial number can neither answer nor read the request.
        DeviceKey target;
        VOSK_NET_PARAM param; // Modify only
    };
    struct Outcome
    {
        bool ok = false;
        int error = 0; // the library's last error after a failure
    };

    // The password bytes are kept only while the worker lives.
    BatchWorker(Kind kind, const QByteArray &password, const QVector<Job> &jobs, QObject *parent = nullptr);
    ~BatchWorker() override;

    // One per job, in order; complete once the thread has finished.
    QVector<Outcome> outcomes() const { return m_outcomes; }

Q_SIGNALS:
    // After each device, from the worker's thread.
    void signalProgress(int done, int total);

protected:
    void run() override;

private:
    const Kind m_kind;
    QByteArray m_password;
    QVector<Job> m_jobs;
    QVector<Outcome> m_outcomes;
};

} // namespace VoskTool
