#include "operations/addressclashes.h"

#include <QHash>
#include <QStringList>

namespace VoskTool {

namespace {

// The address as one number-like text, or empty when it is none: the parts
// as numbers, so "192.168.001.010" and "192.168.1.10" meet.
QString normalised(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return QString();
    QStringList numbers;
    for (const QString &part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok);
        if (!ok || value > 255)
            return QString();
        numbers << QString::number(value);
    }
    const QString address = numbers.join(QLatin1Char('.'));
    return address == QLatin1String("0.0.0.0") ? QString() : address;
}

} // namespace

QVector<AddressClash> findAddressClashes(const QVector<PlannedAddress> &planned,
                                         const QVector<HeldAddress> &listed)
{
    QHash<DeviceKey, QString> newAddress; // devices of the change that move
    QHash<DeviceKey, bool> inChange;
    for (const PlannedAddress &plan : planned) {
        inChange.insert(plan.device, true);
        const QString address = normalised(plan.address);
        if (!address.isEmpty())
            newAddress.insert(plan.device, address);
    }
    // Who holds what after the change, apart from the new addresses: every
    // listed device that does not move away.
    QHash<QString, DeviceKey> holders;
    QHash<DeviceKey, QString> own; // what each listed device holds now
    for (const HeldAddress &held : listed) {
        const QString address = normalised(held.address);
        if (address.isEmpty())
            continue;
        own.insert(held.device, address);
        const auto moving = newAddress.constFind(held.device);
        if (moving != newAddress.cend() && moving.value() != address)
            continue;
        if (!holders.contains(address))
            holders.insert(address, held.device);
    }

    QVector<AddressClash> clashes;
    QHash<QString, DeviceKey> given;
    for (const PlannedAddress &plan : planned) {
        const QString address = normalised(plan.address);
        if (address.isEmpty())
            continue;
        // A device that keeps the address it holds is given nothing: should
        // another device hold it too, that was so before the change, and
        // which of them was listed first must not decide whether a change
        // of, say, its port is refused.
        const bool keeps = own.value(plan.device) == address;
        const auto holder = holders.constFind(address);
        if (!keeps && holder != holders.cend() && holder.value() != plan.device) {
            clashes.append({plan.device, plan.address.trimmed(), holder.value(), false});
            continue;
        }
        const auto twice = given.constFind(address);
        if (twice != given.cend()) {
            clashes.append({plan.device, plan.address.trimmed(), twice.value(), true});
            continue;
        }
        given.insert(address, plan.device);
    }
    return clashes;
}

QString clashMessage(const QVector<AddressClash> &clashes, bool translated)
{
    QStringList lines;
    for (const AddressClash &clash : clashes) {
        const LocalText line{"VoskTool::AddressClashes",
                             clash.holderInChange
                                 ? QT_TRANSLATE_NOOP("VoskTool::AddressClashes", "%1 would get %2, given to %3 too")
                                 : QT_TRANSLATE_NOOP("VoskTool::AddressClashes", "%1 would get %2, held by %3"),
                             {clash.device.serialNumber, clash.address, clash.holder.serialNumber}};
        lines << (translated ? line.translated() : line.english());
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace VoskTool
