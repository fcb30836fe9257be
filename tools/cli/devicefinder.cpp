#include "tools/cli/devicefinder.h"

#include "discovery/deviceinfo.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "tools/cli/clioptions.h"
#include "discovery/terminaltext.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>

DeviceFinder::DeviceFinder(Kinds kinds, QObject *parent)
    : QObject(parent)
{
    VOSK::registerMetaTypes();
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    // Direct: take() runs on the library's thread and only copies.
    for (auto signal : {&VOSK::VoskHandler::signalDeviceOnline, &VOSK::VoskHandler::signalDeviceUpdate,
                        &VOSK::VoskHandler::signalDeviceOffline})
        connect(handler, signal, this, &DeviceFinder::take, Qt::DirectConnection);
    if (kinds == Kinds::OursOnly)
        return;
    // The ONVIF side reports on this thread: direct calls.
    m_onvif = std::make_unique<VoskTool::OnvifDevices>();
    connect(m_onvif.get(), &VoskTool::OnvifDevices::signalDeviceOnline, this, &DeviceFinder::onOnline);
    connect(m_onvif.get(), &VoskTool::OnvifDevices::signalDeviceUpdate, this, &DeviceFinder::onUpdate);
    connect(m_onvif.get(), &VoskTool::OnvifDevices::signalDeviceOffline, this, &DeviceFinder::onOffline);
    connect(m_onvif.get(), &VoskTool::OnvifDevices::signInFinished, this,
            [this](const DeviceKey &device, const VoskTool::OperationOutcome &outcome) {
                if (outcome.status == VoskTool::OperationStatus::Denied
                    || outcome.status == VoskTool::OperationStatus::Locked)
                    noteRefused(device);
                m_signingIn.remove(device.endpointId);
                if (m_signInLoop && m_signingIn.isEmpty())
                    m_signInLoop->quit();
            });
    connect(m_onvif.get(), &VoskTool::OnvifDevices::certificateRefused, this, &DeviceFinder::writeRefusals);
}

void DeviceFinder::acceptCertificates(const QStringList &endpointsOrFingerprints)
{
    if (!m_onvif)
        return;
    for (const QString &value : endpointsOrFingerprints)
        m_onvif->certificates().acceptWhenSeen(value);
}

// Each refused certificate once, as soon as it is refused: before the
// result lines, which then say the call failed.
void DeviceFinder::writeRefusals()
{
    using Certificates = VoskTool::OnvifCertificates;
    for (const Certificates::Refusal &r : m_onvif->certificates().refusals()) {
        const QString seen = r.endpoint + QLatin1Char('|') + QString::fromLatin1(r.presented.toHex());
        if (m_refusalsWritten.contains(seen))
            continue;
        m_refusalsWritten.insert(seen);
        VoskTool::OnvifTarget target;
        const bool listed = m_onvif->target(DeviceKey(QString(), QString(), VOSK::onvifEndpointId(r.endpoint)), &target);
        using CliCommands::terminalSafe;
        const QString endpoint = terminalSafe(r.endpoint);
        CliCommands::writeErr(QStringLiteral("ONVIF device %1(%2) shows another HTTPS certificate than the one trusted for it: "
                                "trusted SHA-256 %3, shown %4; nothing was sent to it. If the device was replaced "
                                "or reset, accept the new one with --accept-certificate %2")
                     .arg(listed ? terminalSafe(target.serviceAddress.host()) + QLatin1Char(' ') : QString(), endpoint,
                          Certificates::fingerprintText(r.pinned), Certificates::fingerprintText(r.presented)));
    }
}

// A refusal is said at once, naming the device by where it answers and
// its endpoint (it has no serial number before a sign-in): a row left
// empty says nothing of why.
void DeviceFinder::noteRefused(const DeviceKey &device)
{
    VoskTool::OnvifTarget target;
    if (!m_onvif->target(device, &target))
        return;
    ++m_refusedSignIns;
    const QString line = QStringLiteral("vosktool-cli: %1 (%2): ONVIF sign-in refused: wrong user name or password\n")
                             .arg(TerminalText::escape(target.serviceAddress.host()),
                                  TerminalText::escape(target.endpointReference));
    std::fputs(line.toLocal8Bit().constData(), stderr);
}

DeviceFinder::~DeviceFinder()
{
    // The handler outlives this object (it is a process-wide singleton);
    // stopping here means no report is queued for an object that is gone.
    VOSK::VoskHandler::instance()->stop();
    if (m_onvif)
        m_onvif->stop();
}

void DeviceFinder::setOnvifCredentials(const VoskTool::OnvifCredentials &credentials, bool everyDevice)
{
    if (!m_onvif)
        return;
    m_onvif->setCredentials(credentials);
    m_signInOnFound = everyDevice && !credentials.isEmpty();
}

void DeviceFinder::signIn(const QVector<DeviceKey> &devices, const QSet<DeviceKey> &picked)
{
    if (!m_onvif || devices.isEmpty())
        return;
    m_onvif->pick(QVector<DeviceKey>(picked.cbegin(), picked.cend()));
    for (const DeviceKey &key : devices)
        m_signingIn.insert(key.endpointId);
    m_onvif->signIn(devices);
}

void DeviceFinder::setProbeAddresses(const QList<QHostAddress> &addresses)
{
    m_probeAddresses = addresses;
}

bool DeviceFinder::start()
{
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    if (!handler->start()) {
        m_lastError = handler->getLastError();
        return false;
    }
    // Our own protocol decides: an interface WS-Discovery cannot use costs
    // the ONVIF devices only.
    if (m_onvif && m_onvif->start() && !m_probeAddresses.isEmpty())
        m_onvif->probeAddresses(m_probeAddresses);
    return true;
}

void DeviceFinder::waitForSignIns(int windowMs)
{
    if (m_signingIn.isEmpty())
        return;
    QEventLoop loop;
    QTimer window;
    window.setSingleShot(true);
    connect(&window, &QTimer::timeout, &loop, &QEventLoop::quit);
    window.start(windowMs);
    m_signInLoop = &loop;
    loop.exec();
    m_signInLoop = nullptr;
}

void DeviceFinder::waitFor(const QStringList &serials, int count, int windowMs)
{
    m_waitSerials = serials;
    m_waitCount = serials.isEmpty() ? count : 0;
    if (satisfied())
        return;
    QEventLoop loop;
    QTimer window;
    window.setSingleShot(true);
    connect(&window, &QTimer::timeout, &loop, &QEventLoop::quit);
    window.start(windowMs);
    m_waitLoop = &loop;
    loop.exec();
    m_waitLoop = nullptr;
}

bool DeviceFinder::satisfied() const
{
    if (!m_waitSerials.isEmpty()) {
        for (const QString &serial : m_waitSerials) {
            if (!find(serial, nullptr))
                return false;
        }
        return true;
    }
    return m_waitCount > 0 && DeviceStore::instance()->count() >= m_waitCount;
}

QList<VOSK_DEVICE_INFO> DeviceFinder::devices() const
{
    const QVector<VOSK_DEVICE_INFO> all = DeviceStore::instance()->getAllDevices();
    return QList<VOSK_DEVICE_INFO>(all.cbegin(), all.cend());
}

bool DeviceFinder::find(const QString &serialNumber, VOSK_DEVICE_INFO *record) const
{
    const QVector<VOSK_DEVICE_INFO> all = DeviceStore::instance()->getAllDevices();
    for (const VOSK_DEVICE_INFO &device : all) {
        if (matches(device, serialNumber)) {
            if (record)
                *record = device;
            return true;
        }
    }
    return false;
}

void DeviceFinder::take(const VOSK_DEVICE_INFO &record)
{
    const QMutexLocker locker(&m_inboxMutex);
    m_inbox.push_back(record);
    if (m_drainPosted)
        return;
    m_drainPosted = true;
    QMetaObject::invokeMethod(this, &DeviceFinder::drain, Qt::QueuedConnection);
}

void DeviceFinder::drain()
{
    std::vector<VOSK_DEVICE_INFO> reports;
    {
        const QMutexLocker locker(&m_inboxMutex);
        reports.swap(m_inbox);
        m_drainPosted = false;
    }
    for (const VOSK_DEVICE_INFO &record : reports) {
        switch (record.event) {
        case VOSK_EVENT_UPDATED:
            onUpdate(record);
            break;
        case VOSK_EVENT_OFFLINE:
            onOffline(record);
            break;
        default:
            onOnline(record);
            break;
        }
    }
}

bool DeviceFinder::matches(const VOSK_DEVICE_INFO &record, const QString &name)
{
    return VOSK::fieldText(record.serialNumber) == name || matchesOnvif(record, name);
}

bool DeviceFinder::matchesOnvif(const VOSK_DEVICE_INFO &record, const QString &name)
{
    if (!VOSK::isOnvifRecord(record) || name.isEmpty())
        return false;
    const QString id = VOSK::onvifEndpointId(record);
    const QHostAddress address(name);
    const QString ipv6 = VOSK::fieldText(record.ipv6Address);
    return VOSK::fieldText(record.ipv4Address) == name || id == name.toLower()
        || VOSK::onvifEndpointGroup(record) == VOSK::onvifEndpointId(name)
        || (!address.isNull() && !ipv6.isEmpty() && address.isEqual(QHostAddress(ipv6)));
}

void DeviceFinder::onOnline(const VOSK_DEVICE_INFO &record)
{
    // A device seen again after a restart replaces its record.
    DeviceStore *store = DeviceStore::instance();
    const DeviceKey key = DeviceKey::fromRecord(record);
    {
        const DeviceStore::Locker locker(store);
        if (store->indexOf(key) >= 0)
            store->updateDevice(record);
        else
            store->addDevice(record);
    }
    if (key.isOnvif() && m_signInOnFound && !m_signingIn.contains(key.endpointId)) {
        m_signingIn.insert(key.endpointId);
        m_onvif->signIn({key});
    }
    Q_EMIT deviceEvent(record, VOSK_EVENT_ONLINE);
    if (m_waitLoop && satisfied())
        m_waitLoop->quit();
}

namespace {

// Whether two reports of an ONVIF device differ in the mark of a sign-in
// running at most: the mark is a passing state the window's table shows,
// and nothing the console writes (`list --watch` would print the same
// line again, twice per sign-in).
bool sameButForSigningIn(VOSK_DEVICE_INFO a, VOSK_DEVICE_INFO b)
{
    for (VOSK_DEVICE_INFO *r : {&a, &b}) {
        r->event = 0;
        VOSK::setOnvifFlags(*r, quint8(VOSK::onvifFlags(*r) & ~VOSK::OnvifSigningIn));
    }
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

void DeviceFinder::onUpdate(const VOSK_DEVICE_INFO &record)
{
    DeviceStore *store = DeviceStore::instance();
    VOSK_DEVICE_INFO before;
    const bool markOnly = VOSK::isOnvifRecord(record) && store->getDevice(DeviceKey::fromRecord(record), before)
        && sameButForSigningIn(before, record);
    store->updateDevice(record);
    if (!markOnly)
        Q_EMIT deviceEvent(record, VOSK_EVENT_UPDATED);
    // An ONVIF device's serial number comes with its sign-in's update.
    if (m_waitLoop && satisfied())
        m_waitLoop->quit();
}

void DeviceFinder::onOffline(const VOSK_DEVICE_INFO &record)
{
    DeviceStore::instance()->removeDevice(record);
    Q_EMIT deviceEvent(record, VOSK_EVENT_OFFLINE);
}
