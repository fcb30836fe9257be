#include "password/serialfilename.h"

#include <QRegularExpression>

namespace VoskTool::SerialFileName {

namespace {

bool keptAsIs(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-';
}

int hexValue(QChar c)
{
    // Upper case only: the one spelling encode() writes.
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// A name part of an earlier version, read as the serial number it holds.
// A lower-case letter is refused too: where letter case is ignored, "ab1"
// may hold what was exported for "AB1".
std::optional<QString> legacySerial(const QString &part)
{
    if (part.isEmpty() || part.size() > kMaxSerialLength || part.contains(QLatin1Char('_'))
        || part.contains(QLatin1Char('%')))
        return std::nullopt;
    for (const QChar c : part) {
        if (c.unicode() > 0xFF || c.unicode() < 0x20 || c.unicode() == 0x7F || c.isLower())
            return std::nullopt;
    }
    return part;
}

} // namespace

QString encode(const QString &serialNumber)
{
    if (serialNumber.isEmpty() || serialNumber.size() > kMaxSerialLength)
        return {};
    QString name;
    name.reserve(serialNumber.size() * 3);
    for (const QChar c : serialNumber) {
        if (c.unicode() > 0xFF)
            return {};
        if (keptAsIs(c))
            name += c;
        else
            name += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
    }
    return name;
}

std::optional<QString> decode(const QString &part)
{
    QString serial;
    for (int i = 0; i < part.size(); ++i) {
        const QChar c = part.at(i);
        if (keptAsIs(c)) {
            serial += c;
            continue;
        }
        if (c != QLatin1Char('%') || i + 2 >= part.size())
            return std::nullopt;
        const int high = hexValue(part.at(i + 1));
        const int low = hexValue(part.at(i + 2));
        if (high < 0 || low < 0)
            return std::nullopt;
        const QChar decoded(char16_t(high * 16 + low));
        // "%41" for 'A' is a second name of "A": only the escapes encode()
        // writes are read, so that no serial number has two names.
        if (keptAsIs(decoded))
            return std::nullopt;
        serial += decoded;
        i += 2;
    }
    if (serial.isEmpty() || serial.size() > kMaxSerialLength)
        return std::nullopt;
    return serial;
}

QString keyFileName(const QString &serialNumber, const QDateTime &when)
{
    const QString part = encode(serialNumber);
    if (part.isEmpty())
        return {};
    return part + QLatin1Char('-') + when.toString(QStringLiteral("yyyyMMddHHmm")) + QStringLiteral(".xml");
}

std::optional<KeyFileName> parseKeyFileName(const QString &fileName)
{
    static const QRegularExpression shape(QStringLiteral("^(.+)-([0-9]{12})\\.xml$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shape.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    const QString part = match.captured(1);
    KeyFileName name;
    name.stamp = match.captured(2);
    if (const std::optional<QString> serial = decode(part)) {
        name.serialNumber = *serial;
        return name;
    }
    if (const std::optional<QString> serial = legacySerial(part)) {
        name.serialNumber = *serial;
        name.legacy = true;
        return name;
    }
    return std::nullopt;
}

} // namespace VoskTool::SerialFileName
