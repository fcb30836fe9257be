#pragma once

#include "discovery/recordfields.h"
#include "vosk/vosk.h"

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

// What identifies one device in the store, the table model and the pages:
// its serial number and MAC texts, compared exactly (case and spaces count).
// Passed by value, also through queued signals and as item data.
struct DeviceKey
{
    QString serialNumber;
    QString mac;

    // The key of a record: both fields read as Latin-1 up to their first
    // zero byte, bounded by the field's width.
    static DeviceKey fromRecord(const VOSK_DEVICE_INFO &record)
    {
        return {VOSK::fieldText(record.serialNumber), VOSK::fieldText(record.mac)};
    }

    friend bool operator==(const DeviceKey &a, const DeviceKey &b)
    {
        return a.serialNumber == b.serialNumber && a.mac == b.mac;
    }
    friend bool operator!=(const DeviceKey &a, const DeviceKey &b) { return !(a == b); }
};

inline size_t qHash(const DeviceKey &key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.serialNumber, key.mac);
}

Q_DECLARE_METATYPE(DeviceKey)
