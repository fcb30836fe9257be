#pragma once

#include "discovery/devicekey.h"

#include <QCoreApplication>
#include <QSet>
#include <QString>
#include <QVector>

namespace VOSK {

// One device an operation is meant for that another online device can be
// mistaken for: they announce the same MAC address or the same serial
// number, or (ONVIF) the same endpoint reference. A hostile device can do
// that on purpose, to be sent the password meant for the other one. An
// ONVIF device is also in question alone when it was heard where it was
// not signed in (elsewhere), or names another host than the one that
// answered as its service (otherHost).
struct IdentityConflict
{
    DeviceKey device;          // the operation's target
    QVector<DeviceKey> others; // the stored devices sharing its MAC, serial number or endpoint reference
    bool elsewhere = false;
    bool otherHost = false;
};

// The one check that stands between a secret (a password, a reset answer,
// a security code, a key export) and a device whose identity is shared.
// The window's pane, its table page and the console program all call it
// before they send anything; the library then addresses the chosen device
// by both halves of its key, so the secret is sealed to that device's key
// alone. Reads DeviceStore: GUI thread (the store's thread).
class DeviceIdentity final
{
    Q_DECLARE_TR_FUNCTIONS(VOSK::DeviceIdentity)

public:
    // The targets that share their MAC address or serial number (or
    // endpoint reference) with another stored device, or are ONVIF devices
    // marked OnvifElsewhere or OnvifOtherHost, in the targets' order,
    // leaving out those in
    // `picked`: the devices the user chose explicitly for this operation
    // (confirmed in the window, named by both halves on the command line).
    // Empty: nothing stands in the way.
    static QVector<IdentityConflict> unpicked(const QVector<DeviceKey> &targets,
                                              const QSet<DeviceKey> &picked = QSet<DeviceKey>());
    // Why nothing secret goes to those devices yet: one line per conflict
    // naming the device and those it shares its identity with, then the
    // reason. Translated; device texts are quoted as they are (show it as
    // plain text). Empty for no conflict.
    static QString refusal(const QVector<IdentityConflict> &conflicts);
};

} // namespace VOSK
