#pragma once

#include "discovery/devicekey.h"
#include "vosk/vosk.h"

#include <QMetaType>
#include <QString>
#include <QVector>

// One device the user has checked in the table, and after an operation its
// result. Built from a table row; key() finds the stored VOSK_DEVICE_INFO
// again: (serialNumber, mac) for a device of ours, endpointId alone for an
// ONVIF device (whose serialNumber and mac are the texts its row shows). Passed by value, in QVector<DeviceInfo>, between
// pages and through queued signals.
struct DeviceInfo
{
    QString id;            // the row's "ID" text, e.g. "007"
    QString deviceType;    // "Device Type" text
    QString ipv4Address;   // "IPv4 Address" text
    QString serialNumber;  // "Serial Number" text
    QString mac;           // "MAC" text
    QString result = QStringLiteral("0"); // "0" until an operation sets its result text
    QString endpointId;    // an ONVIF device's key (DeviceKey), else empty

    DeviceKey key() const
    {
        if (!endpointId.isEmpty())
            return {QString(), QString(), endpointId};
        return {serialNumber, mac, QString()};
    }

    friend bool operator==(const DeviceInfo &a, const DeviceInfo &b)
    {
        return a.id == b.id && a.deviceType == b.deviceType && a.ipv4Address == b.ipv4Address
            && a.serialNumber == b.serialNumber && a.mac == b.mac && a.result == b.result
            && a.endpointId == b.endpointId;
    }
    friend bool operator!=(const DeviceInfo &a, const DeviceInfo &b) { return !(a == b); }
};

Q_DECLARE_METATYPE(VOSK_DEVICE_INFO)
Q_DECLARE_METATYPE(DeviceInfo)

namespace VOSK {
// Registers "VOSK_DEVICE_INFO", "DeviceInfo", "QVector<DeviceInfo>" and
// "DeviceKey" with the meta-type system. Call before connecting signals that
// carry them across threads. Idempotent, any thread.
void registerMetaTypes();
} // namespace VOSK
