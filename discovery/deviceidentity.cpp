#include "discovery/deviceidentity.h"

#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"

#include <QStringList>

namespace VOSK {

QVector<IdentityConflict> DeviceIdentity::unpicked(const QVector<DeviceKey> &targets, const QSet<DeviceKey> &picked)
{
    QVector<IdentityConflict> conflicts;
    DeviceStore *store = DeviceStore::instance();
    for (const DeviceKey &target : targets) {
        if (picked.contains(target))
            continue;
        IdentityConflict conflict{target, store->sharingIdentity(target)};
        VOSK_DEVICE_INFO record;
        if (target.isOnvif() && store->getDevice(target, record)) {
            conflict.elsewhere = VOSK::onvifFlags(record) & VOSK::OnvifElsewhere;
            conflict.otherHost = VOSK::onvifFlags(record) & VOSK::OnvifOtherHost;
        }
        if (!conflict.others.isEmpty() || conflict.elsewhere || conflict.otherHost)
            conflicts.append(std::move(conflict));
    }
    return conflicts;
}

QString DeviceIdentity::refusal(const QVector<IdentityConflict> &conflicts)
{
    if (conflicts.isEmpty())
        return QString();
    DeviceStore *store = DeviceStore::instance();
    // An ONVIF row is named by what it shows: its serial number and MAC
    // once signed in, its address always.
    auto name = [store](const DeviceKey &key) {
        VOSK_DEVICE_INFO record;
        if (!key.isOnvif() || !store->getDevice(key, record))
            return tr("%1 (MAC %2)").arg(key.serialNumber, key.mac);
        QString address = fieldText(record.ipv4Address);
        if (address.isEmpty())
            address = fieldText(record.ipv6Address);
        const QString serial = fieldText(record.serialNumber);
        if (serial.isEmpty())
            return tr("the ONVIF device at %1").arg(address);
        return tr("%1 (MAC %2, ONVIF at %3)").arg(serial, fieldText(record.mac), address);
    };
    auto group = [store](const DeviceKey &key) {
        VOSK_DEVICE_INFO record;
        return key.isOnvif() && store->getDevice(key, record) ? onvifEndpointGroup(record) : QString();
    };
    QStringList lines;
    for (const IdentityConflict &conflict : conflicts) {
        QStringList others, twins;
        const QString own = group(conflict.device);
        for (const DeviceKey &other : conflict.others) {
            if (!own.isEmpty() && group(other) == own)
                twins << name(other);
            else
                others << name(other);
        }
        if (!others.isEmpty())
            lines << tr("%1 shares its MAC address or serial number with %2.")
                         .arg(name(conflict.device), others.join(QStringLiteral(", ")));
        if (!twins.isEmpty())
            lines << tr("%1 is announced with the same endpoint reference as %2.")
                         .arg(name(conflict.device), twins.join(QStringLiteral(", ")));
        if (conflict.elsewhere)
            lines << tr("%1 answers at an address other than the one it was signed in at.").arg(name(conflict.device));
        if (conflict.otherHost)
            lines << tr("%1 gives another host than the one that answered as its service address.")
                         .arg(name(conflict.device));
    }
    lines << tr("A password could reach the wrong device: nothing is sent to these devices until you choose the "
                "one you mean.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace VOSK
