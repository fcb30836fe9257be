#pragma once

// The still picture a simulated ONVIF device serves at its snapshot URI: a
// small JPEG with the device's name and the time on its own clock, so that
// a technician (or a test) sees which device answered and when. No I/O.
// Thread: any; the name and time are drawn only where a QGuiApplication
// exists (fonts need one), else the picture carries the coloured bands
// alone.

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace VoskSim {

class OnvifSnapshot final
{
public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 180;
    static constexpr int kQuality = 70;
    // A JPEG stays far below this; more would be a fault of ours.
    static constexpr int kMaxBytes = 64 * 1024;

    // The JPEG for the device called name at time (its clock, UTC); the
    // colour follows the name. Empty only when Qt's JPEG writer is missing.
    static QByteArray jpeg(const QString &name, const QDateTime &time);
};

} // namespace VoskSim
