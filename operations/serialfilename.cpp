#include "operations/serialfilename.h"

#include <QByteArray>
#include <QRegularExpression>

namespace VoskTool::SerialFileName {

namespace {

// What toPercentEncoding() would keep but a name must not: lower-case
// letters (folders that ignore case), '.' (a leading one hides the file),
// and '_' and '~'. Left are 'A'-'Z', '0'-'9' and '-'.
const QByteArray kAlsoEscaped = QByteArrayLiteral("abcdefghijklmnopqrstuvwxyz._~");

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
    const QByteArray latin1 = serialNumber.toLatin1();
    if (QString::fromLatin1(latin1) != serialNumber)
        return {};
    // Upper-case hex digits, the only spelling decode() reads.
    return QString::fromLatin1(latin1.toPercentEncoding(QByteArray(), kAlsoEscaped));
}

std::optional<QString> decode(const QString &part)
{
    // fromPercentEncoding() also reads "%41" for 'A', lower-case hex and a
    // stray '%': only a part that encodes back to itself is one serial
    // number's one name.
    const QString serial = QString::fromLatin1(QByteArray::fromPercentEncoding(part.toLatin1()));
    const QString name = encode(serial);
    if (name.isEmpty() || name != part)
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
