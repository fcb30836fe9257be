#pragma once

#include "discovery/devicekey.h"
#include "operations/netparams.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <functional>
#include <optional>

namespace VoskTool {

// After devices took new network parameters, waits for each to report
// them: "applied" when its report shows the values sent, "sent, not seen
// since" when it has not within the stated time. A device's report is what
// the device store holds for it (kept current by the table page in the
// window, by the device finder in the console), read every 100 ms and at
// once when the wait starts.
//
// What counts: the DHCP flag, the device and HTTP ports, and, without
// DHCP, the IPv4 address, mask and gateway and the IPv6 address and prefix
// length (addresses compared as numbers; the gateway and IPv6 only of a
// device that keeps address information, the HTTP port only of one that
// has one).
// One thread with an event loop; finished() comes on it.
class ChangeConfirmer final : public QObject
{
    Q_OBJECT

public:
    // Reads a device's latest report; nothing when the device is not
    // listed. By default the DeviceStore's record.
    using ReportReader = std::function<std::optional<NetParams>(const DeviceKey &device)>;

    static constexpr int kDefaultWaitMs = 5000;

    explicit ChangeConfirmer(QObject *parent = nullptr);
    ~ChangeConfirmer() override;

    // Test seam (and a second kind's reports): where reports are read.
    void setReportReader(ReportReader reader);

    // Whether a report shows the values of a change.
    static bool shows(const NetParams &reported, const NetParams &sent);

    // Starts waiting for these devices, at most `waitMs`; a wait still
    // going is dropped. finished() comes once every device reported or the
    // time is up (queued, also when there is nothing to wait for).
    void expect(const QVector<DeviceKey> &devices, const QVector<NetParams> &sent, int waitMs = kDefaultWaitMs);
    // When the last wait ended (monotonicMs()): a device that had not
    // reported by then was not seen for that long since it took the change
    // (notSeenWord(outcome, finishedAtMs())).
    qint64 finishedAtMs() const { return m_finishedAtMs; }
    bool isWaiting() const { return m_timer.isActive() || m_finishPending; }
    int waitMs() const { return m_waitMs; }
    // Whether the device reported the values sent; complete after finished().
    bool applied(const DeviceKey &device) const { return m_applied.value(device, false); }
    // How many devices of the wait have not reported the values yet.
    int awaited() const { return int(m_pending.size()); }

Q_SIGNALS:
    void finished();
    // awaited() went down: a device reported what it was sent.
    void awaitedChanged(int awaited);

private:
    void poll();
    void finish();

    ReportReader m_reader;
    QTimer m_timer;
    QDeadlineTimer m_deadline;
    int m_waitMs = kDefaultWaitMs;
    bool m_finishPending = false;
    qint64 m_finishedAtMs = 0;
    QHash<DeviceKey, NetParams> m_pending;
    QHash<DeviceKey, bool> m_applied;
};

} // namespace VoskTool
