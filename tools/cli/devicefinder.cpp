#include "tools/cli/devicefinder.h"

#include "discovery/deviceinfo.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"

#include <QEventLoop>
#include <QTimer>

DeviceFinder::DeviceFinder(QObject *parent)
    : QObject(parent)
{
    VOSK::registerMetaTypes();
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    // Direct: take() runs on the library's thread and only copies.
    for (auto signal : {&VOSK::VoskHandler::signalDeviceOnline, &VOSK::VoskHandler::signalDeviceUpdate,
                        &VOSK::VoskHandler::signalDeviceOffline})
        connect(handler, signal, this, &DeviceFinder::take, Qt::DirectConnection);
}

DeviceFinder::~DeviceFinder()
{
    // The handler outlives this object (it is a process-wide singleton);
    // stopping here means no report is queued for an object that is gone.
    VOSK::VoskHandler::instance()->stop();
}

bool DeviceFinder::start()
{
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    if (handler->start())
        return true;
    m_lastError = handler->getLastError();
    return false;
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
        if (VOSK::fieldText(device.serialNumber) == serialNumber) {
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

void DeviceFinder::onOnline(const VOSK_DEVICE_INFO &record)
{
    // A device seen again after a restart replaces its record.
    DeviceStore *store = DeviceStore::instance();
    {
        const DeviceStore::Locker locker(store);
        if (store->indexOf(VOSK::fieldText(record.serialNumber), VOSK::fieldText(record.mac)) >= 0)
            store->updateDevice(record);
        else
            store->addDevice(record);
    }
    Q_EMIT deviceEvent(record, VOSK_EVENT_ONLINE);
    if (m_waitLoop && satisfied())
        m_waitLoop->quit();
}

void DeviceFinder::onUpdate(const VOSK_DEVICE_INFO &record)
{
    DeviceStore::instance()->updateDevice(record);
    Q_EMIT deviceEvent(record, VOSK_EVENT_UPDATED);
}

void DeviceFinder::onOffline(const VOSK_DEVICE_INFO &record)
{
    DeviceStore::instance()->removeDevice(record);
    Q_EMIT deviceEvent(record, VOSK_EVENT_OFFLINE);
}
