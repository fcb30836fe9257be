#pragma once

#include "discovery/devicekey.h"
#include "operations/deviceoperations.h"
#include "operations/netparams.h"
#include "operations/operationwords.h"

#include <QByteArray>
#include <QObject>
#include <QThreadPool>
#include <QVector>

#include <memory>

namespace VoskTool {

// One operation on one device of a run.
struct OperationJob
{
    DeviceKey device;
    NetParams params; // SetNetParams only: the whole block to send
};

// A password as each kind of device takes it: `local` in the front end's
// 8-bit conversion (our protocol), `utf8` for the kinds that take UTF-8
// (DeviceOperations::takesUtf8Passwords(), the ONVIF devices). The two
// differ only for non-ASCII text where the conversion is not UTF-8.
struct PasswordBytes
{
    QByteArray local;
    QByteArray utf8;

    static PasswordBytes same(const QByteArray &bytes) { return {bytes, bytes}; }
    void wipe()
    {
        local.fill('\0');
        utf8.fill('\0');
    }
};

// Runs one kind of operation on a list of devices off the calling thread:
// up to maxInFlight() operations at once on a thread pool of its own, each
// through the DeviceOperations of its device's kind (DeviceKinds), so
// that silent devices time out together instead of one after another.
// Outcomes are collected in job order whatever order they finish in.
//
// cancel() skips the jobs not yet sent (their outcome is Cancelled); those
// in flight finish and are reported. A single operation is a run of one.
//
// Lives on one thread with an event loop (the GUI thread, or the console's
// main thread); its signals come on that thread. The secrets given to
// start() are kept only while the run lasts and wiped after it.
class OperationRunner final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultInFlight = 16;
    static constexpr int kMaxInFlight = 128;

    explicit OperationRunner(QObject *parent = nullptr);
    // Cancels a run that is going and waits for the operations in flight
    // (at most one library time-out); no signal follows.
    ~OperationRunner() override;

    // How many operations may be in flight at once, 1..kMaxInFlight (out of
    // range: the default). Takes effect with the next start().
    void setMaxInFlight(int count);
    int maxInFlight() const { return m_maxInFlight; }

    // Starts the jobs and returns at once; false (and nothing started) when
    // a run is going. `password` authorises (SetNetParams, ChangePassword)
    // or is the new password (Activate); `newPassword` is ChangePassword's.
    // A run of no job finishes at once (finished() still comes, queued).
    bool start(OperationKind kind, const QVector<OperationJob> &jobs, const QByteArray &password,
               const QByteArray &newPassword = QByteArray());
    // The same, each device given the bytes of its kind (see PasswordBytes).
    bool start(OperationKind kind, const QVector<OperationJob> &jobs, const PasswordBytes &password,
               const PasswordBytes &newPassword = PasswordBytes());
    void cancel();
    bool isRunning() const { return m_running; }
    bool isCancelled() const;

    OperationKind kind() const { return m_kind; }
    QVector<OperationJob> jobs() const { return m_jobs; }
    // One per job, in job order; complete once finished() has come.
    QVector<OperationOutcome> outcomes() const { return m_outcomes; }

    // Runs an event loop until the run has finished (the console's way to
    // wait; the window never blocks).
    void waitForFinished();

Q_SIGNALS:
    // The outcome of job `index` is in (outcomes().at(index)); then progress.
    void outcomeReady(int index);
    // After each outcome, `done` of `total`.
    void progress(int done, int total);
    void finished();

private:
    struct Shared;
    // Hands the outcomes the pool's tasks have left in Shared to onOutcome.
    void takeOutcomes();
    void onOutcome(int index, OperationOutcome outcome);

    int m_maxInFlight = kDefaultInFlight;
    QThreadPool m_pool;
    std::shared_ptr<Shared> m_shared;
    OperationKind m_kind = OperationKind::SetNetParams;
    QVector<OperationJob> m_jobs;
    QVector<OperationOutcome> m_outcomes;
    int m_done = 0;
    bool m_running = false;
};

} // namespace VoskTool
