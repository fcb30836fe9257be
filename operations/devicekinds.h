#pragma once

#include "discovery/devicekey.h"

#include <QMutex>
#include <QVector>

#include <memory>

namespace VoskTool {

class DeviceOperations;

// Which DeviceOperations answers for a device. The discovery library's kind
// (VoskDeviceOperations) is always there and answers last, for every
// device no other kind claims; another kind registers itself once at
// start-up and is asked first. One process-wide registry.
//
// Thread-safe: the batch worker's threads look devices up while the GUI
// thread may register. An implementation, once registered, lives until
// the process ends (callers keep the pointer for a whole operation).
class DeviceKinds final
{
public:
    static DeviceKinds &instance();

    // Adds a kind, asked before every kind added earlier.
    void add(std::shared_ptr<DeviceOperations> kind);
    // Removes a kind added with add() (tests); a no-op for one not there.
    void remove(const DeviceOperations *kind);
    // The kind that answers for the device; never null.
    std::shared_ptr<DeviceOperations> operationsFor(const DeviceKey &device) const;

private:
    DeviceKinds();

    mutable QMutex m_mutex;
    QVector<std::shared_ptr<DeviceOperations>> m_kinds; // newest first
    std::shared_ptr<DeviceOperations> m_vosk;
};

} // namespace VoskTool
