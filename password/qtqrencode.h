#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Renders the QR symbol of a text, over libqrencode: error correction level
// M, the smallest version that holds the text, byte mode (the text's UTF-8
// bytes, which for the ASCII texts of the recovery dialogs are the text
// itself), and a quiet zone of four modules on every side.
// Any thread; one object per caller.
class QtQrEncode final
{
public:
    QtQrEncode() = default;

    void setString(const QString &text);
    QString string() const { return m_text; }

    // The symbol as a black-on-white image about `width` pixels wide: each
    // module is an integer number of pixels (at least 1, no smoothing, so a
    // scanner reads it as drawn), the quiet zone included. A null image when
    // the text is empty or too long for any QR version.
    QImage getQRCode(int width) const;

private:
    QString m_text;
};
