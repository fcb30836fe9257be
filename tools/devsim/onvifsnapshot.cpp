#include "tools/devsim/onvifsnapshot.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

namespace VoskSim {

QByteArray OnvifSnapshot::jpeg(const QString &name, const QDateTime &time)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    // A hue of the name's own: two devices side by side differ at a glance.
    const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1);
    const QColor base = QColor::fromHsv(quint8(digest[0]) * 359 / 255, 120, 150);
    image.fill(base);
    {
        QPainter painter(&image);
        painter.fillRect(0, kHeight - 48, kWidth, 48, base.darker(250));
        // The seconds as a bar that grows through the minute: the picture
        // changes between refreshes even where no text can be drawn.
        painter.fillRect(0, kHeight - 52, kWidth * (time.time().second() + 1) / 60, 4, Qt::white);
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
            painter.setPen(Qt::white);
            QFont font = painter.font();
            font.setPixelSize(22);
            painter.setFont(font);
            painter.drawText(QRect(10, kHeight - 46, kWidth - 20, 24), Qt::AlignLeft | Qt::AlignVCenter, name);
            font.setPixelSize(14);
            painter.setFont(font);
            painter.drawText(QRect(10, kHeight - 22, kWidth - 20, 20), Qt::AlignLeft | Qt::AlignVCenter,
                             time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")));
        }
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(kQuality);
    if (!writer.write(image))
        return QByteArray();
    return out.size() <= kMaxBytes ? out : QByteArray();
}

} // namespace VoskSim
