#include "operations/devicekinds.h"

#include "operations/voskdeviceoperations.h"

#include <QMutexLocker>

namespace VoskTool {

DeviceKinds &DeviceKinds::instance()
{
    static DeviceKinds kinds;
    return kinds;
}

DeviceKinds::DeviceKinds()
    : m_vosk(std::make_shared<VoskDeviceOperations>())
{
}

void DeviceKinds::add(std::shared_ptr<DeviceOperations> kind)
{
    if (!kind)
        return;
    QMutexLocker locker(&m_mutex);
    m_kinds.prepend(std::move(kind));
}

void DeviceKinds::remove(const DeviceOperations *kind)
{
    QMutexLocker locker(&m_mutex);
    m_kinds.removeIf([kind](const std::shared_ptr<DeviceOperations> &k) { return k.get() == kind; });
}

std::shared_ptr<DeviceOperations> DeviceKinds::operationsFor(const DeviceKey &device) const
{
    QMutexLocker locker(&m_mutex);
    for (const std::shared_ptr<DeviceOperations> &kind : m_kinds) {
        if (kind->handles(device))
            return kind;
    }
    return m_vosk;
}

} // namespace VoskTool
