#pragma once

// The steps the ONVIF operation tests take the way the pane and the
// console take them: a sign-in waited for, a run of the operations core,
// and the confirmer's word on the devices changed.

#include "operations/changeconfirmer.h"
#include "operations/onvifdevices.h"
#include "operations/operationrunner.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

namespace TestSupport {

// Signs in to the device and waits for the sign-in's end; false when it
// did not end within `limitMs`.
inline bool signInAndWait(VoskTool::OnvifDevices &devices, const DeviceKey &key, int limitMs = 10000)
{
    bool done = false;
    const QMetaObject::Connection c =
        QObject::connect(&devices, &VoskTool::OnvifDevices::signInDone, &devices, [&done] { done = true; });
    devices.signIn({key});
    const bool ok = QTest::qWaitFor([&done] { return done; }, limitMs);
    QObject::disconnect(c);
    return ok;
}

// Runs the jobs through the operations core and returns their outcomes.
inline QVector<VoskTool::OperationOutcome> runOperations(VoskTool::OperationKind kind,
                                                         const QVector<VoskTool::OperationJob> &jobs,
                                                         const QByteArray &password,
                                                         const QByteArray &newPassword = QByteArray())
{
    VoskTool::OperationRunner runner;
    runner.start(kind, jobs, password, newPassword);
    runner.waitForFinished();
    return runner.outcomes();
}

// Whether the confirmer saw every device of the jobs with what was sent
// within `waitMs`.
inline bool allConfirmed(const QVector<VoskTool::OperationJob> &jobs, int waitMs)
{
    QVector<DeviceKey> keys;
    QVector<VoskTool::NetParams> sent;
    for (const VoskTool::OperationJob &job : jobs) {
        keys << job.device;
        sent << job.params;
    }
    VoskTool::ChangeConfirmer confirmer;
    QSignalSpy finished(&confirmer, &VoskTool::ChangeConfirmer::finished);
    confirmer.expect(keys, sent, waitMs);
    if (!finished.wait(waitMs + 2000))
        return false;
    return std::all_of(keys.cbegin(), keys.cend(), [&](const DeviceKey &k) { return confirmer.applied(k); });
}

} // namespace TestSupport
