#include "netparam/rules/netparamrules.h"

#include <QRegularExpression>
#include <QStringList>

namespace VoskTool {

namespace {

// A part of a dotted address: ASCII digits only, value at most 255. The
// number conversion of the framework would also take blanks and a sign, and
// such a text would reach the device unchanged.
bool parseDottedPart(const QString &part, int *value)
{
    if (part.isEmpty())
        return false;
    int v = 0;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        v = v * 10 + (c.unicode() - '0');
        if (v > 255)
            return false;
    }
    *value = v;
    return true;
}

// Four parts each at most 255; the values land in `values`.
bool parseDotted(const QString &text, int values[4])
{
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (!parseDottedPart(parts.at(i), &values[i]))
            return false;
    }
    return true;
}

bool isHexGroup(const QString &part)
{
    // Hex digits only (no "0x", no blanks), value at most FFFF.
    if (part.isEmpty())
        return false;
    uint v = 0;
    for (const QChar c : part) {
        const ushort u = c.unicode();
        int d;
        if (u >= '0' && u <= '9')
            d = u - '0';
        else if (u >= 'a' && u <= 'f')
            d = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        else
            return false;
        v = v * 16 + uint(d);
        if (v > 0xFFFF)
            return false;
    }
    return true;
}

} // namespace

bool isValidIpv4Address(const QString &text)
{
    int v[4];
    return parseDotted(text, v) && v[3] != 0;
}

bool isValidSubnetMask(const QString &text)
{
    static const QRegularExpression mask(QRegularExpression::anchoredPattern(QStringLiteral(
            "(254|252|248|240|224|192|128|0)\\.0\\.0\\.0|"
            "255\\.(254|252|248|240|224|192|128|0)\\.0\\.0|"
            "255\\.255\\.(254|252|248|240|224|192|128|0)\\.0|"
            "255\\.255\\.255\\.(254|252|248|240|224|192|128|0)")));
    return mask.match(text).hasMatch();
}

bool isValidGateway(const QString &text)
{
    if (text.split(QLatin1Char('.'), Qt::KeepEmptyParts).size() != 4)
        return false;
    if (text == QLatin1String("0.0.0.0"))
        return true;
    int v[4];
    return parseDotted(text, v) && v[3] != 0 && v[3] != 255;
}

bool isValidIpv6Address(const QString &input)
{
    if (input.trimmed() == QLatin1String("::"))
        return true;
    if (input.size() > kMaxIpv6TextLength)
        return false;

    QString text = input;
    const int zone = text.lastIndexOf(QLatin1Char('%'));
    if (zone >= 0)
        text.truncate(zone);

    const QStringList parts = text.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    const int count = int(parts.size());
    if (count < 3 || count > 8)
        return false;

    const int compressions = int(text.count(QLatin1String("::")));
    if (count == 8 && compressions > 1)
        return false;
    if (compressions != 1 && count < (text.contains(QLatin1Char('.')) ? 7 : 8))
        return false;

    const bool ipv4Tail = parts.last().contains(QLatin1Char('.'));
    const int fill = 9 - count - (ipv4Tail ? 1 : 0);

    int groups = 0;
    for (int i = count - 1; i >= 0; --i) {
        const QString &part = parts.at(i);
        if (part.isEmpty()) {
            if (i == count - 1) {
                if (!parts.at(i - 1).isEmpty())
                    return false;
                groups += 1;
            } else if (i == 0) {
                if (!parts.at(1).isEmpty())
                    return false;
                groups += 1;
            } else {
                groups += fill;
            }
        } else if (isHexGroup(part)) {
            groups += 1;
        } else if (i == count - 1 && isValidIpv4Address(part)) {
            groups += 2;
        } else {
            return false;
        }
        if (groups > 8)
            return false;
    }
    return true;
}

int portValue(const QString &text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    return ok ? v : 0;
}

bool isValidDevicePort(const QString &text)
{
    const int v = portValue(text);
    return v >= 2000 && v <= 65535;
}

bool isValidHttpPort(const QString &text)
{
    const int v = portValue(text);
    return v >= 1 && v <= 65535;
}

bool isValidPrefixLength(const QString &rawText)
{
    if (rawText.isEmpty())
        return false;
    bool ok = false;
    const int v = rawText.trimmed().toInt(&ok, 10);
    return ok && v >= 0 && v <= 127;
}

FieldError checkField(NetField field, const NetParamTexts &t)
{
    auto address = [](const QString &raw, bool (*rule)(const QString &)) {
        const QString text = raw.trimmed();
        if (text.isEmpty())
            return FieldError::Empty;
        return rule(text) ? FieldError::None : FieldError::Invalid;
    };
    auto number = [](const QString &emptyTest, bool valid) {
        if (emptyTest.isEmpty())
            return FieldError::Empty;
        return valid ? FieldError::None : FieldError::Invalid;
    };

    switch (field) {
    case NetField::StartIp:
        return address(t.startIp, isValidIpv4Address);
    case NetField::IpAddress:
        return address(t.ipAddress, isValidIpv4Address);
    case NetField::SubnetMask:
        return address(t.subnetMask, isValidSubnetMask);
    case NetField::Gateway:
        return address(t.gateway, isValidGateway);
    case NetField::Ipv6Address:
        return address(t.ipv6Address, isValidIpv6Address);
    case NetField::Ipv6Gateway:
        return address(t.ipv6Gateway, isValidIpv6Address);
    case NetField::Port:
        // A device without a device port (ONVIF has none) shows the field
        // empty and greyed: nothing to check, nothing is sent.
        if (!t.portEnabled && t.port.trimmed().isEmpty())
            return FieldError::None;
        return number(t.port.trimmed(), isValidDevicePort(t.port));
    case NetField::HttpPort:
        if (!t.httpPortEnabled)
            return FieldError::None;
        return number(t.httpPort.trimmed(), isValidHttpPort(t.httpPort));
    case NetField::PrefixLength:
        return number(t.prefixLength, isValidPrefixLength(t.prefixLength));
    case NetField::None:
        break;
    }
    return FieldError::None;
}

FieldFailure checkSingleFields(const NetParamTexts &t)
{
    const bool v4 = t.ipv4Required, v6 = t.ipv6Enabled;
    // A gateway the device may do without is checked only when there is one.
    const bool gateway = !t.gatewayOptional || !t.gateway.trimmed().isEmpty();
    const bool gateway6 = !t.ipv6GatewayOptional || !t.ipv6Gateway.trimmed().isEmpty();
    const std::pair<NetField, bool> order[] = {
        {NetField::IpAddress, v4},         {NetField::Port, true},
        {NetField::SubnetMask, v4},        {NetField::Gateway, v4 && gateway},
        {NetField::Ipv6Address, v6},       {NetField::Ipv6Gateway, v6 && gateway6},
        {NetField::PrefixLength, v6},      {NetField::HttpPort, true},
    };
    for (const auto &[field, checked] : order) {
        if (!checked)
            continue;
        const FieldError error = checkField(field, t);
        if (error != FieldError::None)
            return {field, error};
    }
    return {};
}

FieldFailure checkBatchFields(const NetParamTexts &t)
{
    const std::pair<NetField, bool> order[] = {
        {NetField::StartIp, t.startIpEnabled}, {NetField::Port, t.portEnabled},
        {NetField::SubnetMask, t.subnetMaskEnabled}, {NetField::Gateway, t.gatewayEnabled},
        {NetField::HttpPort, t.httpPortEnabled},
    };
    for (const auto &[field, enabled] : order) {
        if (!enabled)
            continue;
        // An empty port of a batch is no value for all: each device keeps
        // its own (the devices of a batch rarely share one HTTP port).
        if (field == NetField::Port && t.port.trimmed().isEmpty())
            continue;
        if (field == NetField::HttpPort && t.httpPort.trimmed().isEmpty())
            continue;
        const FieldError error = checkField(field, t);
        if (error != FieldError::None)
            return {field, error};
    }
    return {};
}

int batchAddressRoom(const QString &start)
{
    const QString text = start.trimmed();
    int v[4];
    if (!isValidIpv4Address(text) || !parseDotted(text, v))
        return 0;
    // Indices up to 255 - w keep the third part; with one carry the fourth
    // part runs through 0..255 once more, as long as the third can grow.
    return (256 - v[3]) + (v[2] < 255 ? 256 : 0);
}

QString nextAddress(const QString &start, int index)
{
    if (index < 0 || index >= batchAddressRoom(start))
        return QString();
    QStringList parts = start.trimmed().split(QLatin1Char('.'), Qt::KeepEmptyParts);
    int v[4];
    parseDotted(parts.join(QLatin1Char('.')), v);
    const int sum = v[3] + index;
    if (sum <= 255) {
        parts[3] = QString::number(sum);
    } else {
        parts[2] = QString::number(v[2] + 1);
        parts[3] = QString::number(sum - 256);
    }
    return parts.join(QLatin1Char('.'));
}

} // namespace VoskTool
