#include "discovery/deviceidentity.h"

#include "discovery/devicestore.h"

#include <QStringList>

namespace VOSK {

QVector<IdentityConflict> DeviceIdentity::unpicked(const QVector<DeviceKey> &targets, const QSet<DeviceKey> &picked)
{
    QVector<IdentityConflict> conflicts;
    DeviceStore *store = DeviceStore::instance();
    for (const DeviceKey &target : targets) {
        if (picked.contains(target))
            continue;
        QVector<DeviceKey> others = store->sharingIdentity(target);
        if (!others.isEmpty())
            conflicts.append({target, std::move(others)});
    }
    return conflicts;
}

QString DeviceIdentity::refusal(const QVector<IdentityConflict> &conflicts)
{
    if (conflicts.isEmpty())
        return QString();
    auto name = [](const DeviceKey &key) {
        return tr("%1 (MAC %2)").arg(key.serialNumber, key.mac);
    };
    QStringList lines;
    for (const IdentityConflict &conflict : conflicts) {
        QStringList others;
        for (const DeviceKey &other : conflict.others)
            others << name(other);
        lines << tr("%1 shares its MAC address or serial number with %2.")
                     .arg(name(conflict.device), others.join(QStringLiteral(", ")));
    }
    lines << tr("A password could reach the wrong device: nothing is sent to these devices until you choose the "
                "one you mean.");
    return lines.join(QLatin1Char('\n'));
}

} // namespace VOSK
