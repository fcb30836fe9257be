#include "operations/changeconfirmer.h"

#include "discovery/devicestore.h"
#include "operations/deviceoperations.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QStringList>

#include <cstring>

namespace VoskTool {

namespace {

constexpr int kPollMs = 100;

QString addressKey(const QString &text)
{
    QStringList parts = text.trimmed().split(QLatin1Char('.'));
    for (QString &part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok);
        if (ok)
            part = QString::number(value);
    }
    return parts.join(QLatin1Char('.'));
}

std::optional<NetParams> storedParams(const DeviceKey &device)
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    if (!DeviceStore::instance()->getDevice(device, record))
        return std::nullopt;
    return netParamsOf(record);
}

} // namespace

ChangeConfirmer::ChangeConfirmer(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &ChangeConfirmer::poll);
}

ChangeConfirmer::~ChangeConfirmer() = default;

void ChangeConfirmer::setReportReader(ReportReader reader)
{
    m_reader = std::move(reader);
}

bool ChangeConfirmer::shows(const NetParams &reported, const NetParams &sent)
{
    if (reported.dhcp != sent.dhcp || reported.port != sent.port)
        return false;
    // A device without an HTTP port is sent the default and keeps none.
    if (sent.httpPort != 0 && reported.httpPort != 0 && reported.httpPort != sent.httpPort)
        return false;
    if (sent.dhcp)
        return true; // the device chooses its addresses itself
    // A device without address information keeps no gateway.
    if (addressKey(reported.ipv4Address) != addressKey(sent.ipv4Address)
        || addressKey(reported.ipv4Mask) != addressKey(sent.ipv4Mask)
        || (sent.addressInfo && addressKey(reported.ipv4Gateway) != addressKey(sent.ipv4Gateway)))
        return false;
    // An IPv6 address sent counts too (a device reached over IPv6 alone has
    // no IPv4 cells to tell by), compared as an address, with its prefix
    // length where one was sent.
    if (!sent.addressInfo || sent.ipv6Address.trimmed().isEmpty())
        return true;
    QHostAddress was(sent.ipv6Address.trimmed());
    QHostAddress now(reported.ipv6Address.trimmed());
    was.setScopeId(QString());
    now.setScopeId(QString());
    if (was.isNull() ? sent.ipv6Address.trimmed() != reported.ipv6Address.trimmed() : was != now)
        return false;
    return sent.ipv6PrefixLength <= 0 || reported.ipv6PrefixLength == sent.ipv6PrefixLength;
}

void ChangeConfirmer::expect(const QVector<DeviceKey> &devices, const QVector<NetParams> &sent, int waitMs)
{
    m_timer.stop();
    m_pending.clear();
    m_applied.clear();
    m_waitMs = qMax(0, waitMs);
    for (int i = 0; i < devices.size() && i < sent.size(); ++i) {
        m_pending.insert(devices.at(i), sent.at(i));
        m_applied.insert(devices.at(i), false);
    }
    m_deadline = QDeadlineTimer(m_waitMs);
    poll();
}

void ChangeConfirmer::poll()
{
    const ReportReader reader = m_reader ? m_reader : ReportReader(storedParams);
    const int before = awaited();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        const std::optional<NetParams> reported = reader(it.key());
        if (reported && shows(*reported, it.value())) {
            m_applied[it.key()] = true;
            it = m_pending.erase(it);
        } else {
            ++it;
        }
    }
    if (awaited() != before)
        Q_EMIT awaitedChanged(awaited());
    if (m_pending.isEmpty() || m_deadline.hasExpired()) {
        finish();
        return;
    }
    if (!m_timer.isActive())
        m_timer.start();
}

void ChangeConfirmer::finish()
{
    m_finishedAtMs = monotonicMs();
    m_timer.stop();
    m_pending.clear();
    // Queued, so that a caller connecting after expect() still hears it.
    m_finishPending = true;
    QMetaObject::invokeMethod(this, [this] {
        m_finishPending = false;
        Q_EMIT finished();
    }, Qt::QueuedConnection);
}

} // namespace VoskTool
