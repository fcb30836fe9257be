#pragma once

#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "vosk/vosk.h"

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

#include <utility>

// What identifies one device in the store, the table model and the pages.
// A device of our own protocol: its serial number and MAC texts, compared
// exactly (case and spaces count), endpointId empty. An ONVIF device: its
// endpoint id alone (onvifrecord.h), serial number and MAC empty, since it
// is listed before anyone has signed in to read them and they may change.
// Passed by value, also through queued signals and as item data.
struct DeviceKey
{
    DeviceKey() = default;
    DeviceKey(QString serial, QString macText, QString endpoint = QString())
        : serialNumber(std::move(serial)), mac(std::move(macText)), endpointId(std::move(endpoint))
    {
    }

    QString serialNumber;
    QString mac;
    QString endpointId;

    bool isOnvif() const { return !endpointId.isEmpty(); }

    // The key of a record: an ONVIF record's endpoint id, else both fields
    // read as Latin-1 up to their first zero byte, bounded by the field's
    // width.
    static DeviceKey fromRecord(const VOSK_DEVICE_INFO &record)
    {
        if (VOSK::isOnvifRecord(record))
            return {QString(), QString(), VOSK::onvifEndpointId(record)};
        return {VOSK::fieldText(record.serialNumber), VOSK::fieldText(record.mac), QString()};
    }

    friend bool operator==(const DeviceKey &a, const DeviceKey &b)
    {
        return a.serialNumber == b.serialNumber && a.mac == b.mac && a.endpointId == b.endpointId;
    }
    friend bool operator!=(const DeviceKey &a, const DeviceKey &b) { return !(a == b); }
};

inline size_t qHash(const DeviceKey &key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.serialNumber, key.mac, key.endpointId);
}

Q_DECLARE_METATYPE(DeviceKey)
