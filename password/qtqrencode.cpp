#include "password/qtqrencode.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

namespace {

constexpr int kQuietModules = 4;

struct QrCodeDeleter
{
    void operator()(QRcode *code) const { QRcode_free(code); }
};

} // namespace

void QtQrEncode::setString(const QString &text)
{
    m_text = text;
}

QImage QtQrEncode::getQRCode(int width) const
{
    const QByteArray bytes = m_text.toUtf8();
    if (bytes.isEmpty())
        return {};
    // encodeData takes the bytes as they are: encodeString would stop at a
    // zero byte, and without case sensitivity upper-case the letters.
    const std::unique_ptr<QRcode, QrCodeDeleter> code(
        QRcode_encodeData(int(bytes.size()), reinterpret_cast<const unsigned char *>(bytes.constData()), 0,
                          QR_ECLEVEL_M));
    if (!code)
        return {};
    const int modules = code->width + 2 * kQuietModules;
    const int scale = std::max(1, width / modules);
    QImage image(modules * scale, modules * scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y) {
        const unsigned char *row = code->data + std::size_t(y) * std::size_t(code->width);
        for (int x = 0; x < code->width; ++x) {
            if (row[x] & 1)
                painter.fillRect((x + kQuietModules) * scale, (y + kQuietModules) * scale, scale, scale, Qt::black);
        }
    }
    return image;
}
