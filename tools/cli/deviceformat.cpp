#include "tools/cli/deviceformat.h"

#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "discovery/terminaltext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace DeviceFormat {

namespace {

// The fields of a device in output order: key, value. Texts the record
// marks as unknown (address info not valid) are empty.
struct Field
{
    const char *key;
    QVariant value;
};

QList<Field> fields(const VOSK_DEVICE_INFO &r)
{
    const bool info = r.addressInfoValid == 1;
    auto infoText = [info](const QString &text) { return info ? text : QString(); };
    // ONVIF has no device port and no channel count of ours: empty (JSON
    // null), never a 0 the device did not say.
    const bool onvif = VOSK::isOnvifRecord(r);
    auto ours = [onvif](int value) { return onvif ? QVariant() : QVariant(value); };
    return {
        {"serial", VOSK::fieldText(r.serialNumber)},
        {"mac", VOSK::fieldText(r.mac)},
        {"type", VOSK::fieldText(r.deviceDescription)},
        {"activated", r.notActivated == 0},
        {"ipv4", VOSK::fieldText(r.ipv4Address)},
        {"mask", VOSK::fieldText(r.ipv4Mask)},
        {"gateway", infoText(VOSK::fieldText(r.ipv4Gateway))},
        {"port", ours(static_cast<int>(r.port))},
        // 0: the device has no HTTP port (the window says N/A); null in
        // JSON, never a port number nobody can reach.
        {"httpPort", r.httpPort == 0 ? QVariant() : QVariant(static_cast<int>(r.httpPort))},
        {"dhcp", r.dhcpEnabled == 1},
        {"softwareVersion", VOSK::fieldText(r.softwareVersion)},
        {"dspVersion", VOSK::fieldText(r.dspVersion)},
        {"startTime", VOSK::fieldText(r.startTime)},
        {"channels", ours(static_cast<int>(r.channelCount))},
        {"ipv6", infoText(VOSK::fieldText(r.ipv6Address))},
        {"ipv6Gateway", infoText(VOSK::fieldText(r.ipv6Gateway))},
        {"ipv6PrefixLength", info ? QVariant(static_cast<int>(r.ipv6PrefixLength)) : QVariant()},
        {"supportsIpv6", bool(r.capabilities & VOSK_CAP_IPV6)},
        {"supportsIpv6Change", bool(r.capabilities & VOSK_CAP_IPV6_MODIFIABLE)},
        {"supportsDhcp", bool(r.capabilities & VOSK_CAP_DHCP)},
        {"supportsKeyReset", bool(r.capabilities & VOSK_CAP_KEY_RESET)},
        // Added last: scripts that read the fields above by position keep
        // working.
        {"protocol", VOSK::isOnvifRecord(r) ? QStringLiteral("onvif") : QStringLiteral("vosk")},
    };
}

QString plainText(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return value.toString();
}

QJsonObject jsonObject(const VOSK_DEVICE_INFO &record)
{
    QJsonObject object;
    for (const Field &field : fields(record))
        object.insert(QLatin1String(field.key), QJsonValue::fromVariant(field.value));
    return object;
}

// JSON as QJsonDocument writes it escapes only C0 controls; DEL, C1
// controls (U+009B starts a terminal command like ESC [) and invisible
// format characters are escaped too. They can stand only inside strings, so
// the text stays the same JSON.
QString jsonText(const QByteArray &json)
{
    const QString text = QString::fromUtf8(json);
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (c.unicode() >= 0x7F
            && (category == QChar::Other_Control || category == QChar::Other_Format
                || category == QChar::Separator_Line || category == QChar::Separator_Paragraph))
            out += QStringLiteral("\\u") + QString::number(c.unicode(), 16).rightJustified(4, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// A cell as a spreadsheet should read it: escaped like the table, and a
// text that would start a formula ("=1+1", "=HYPERLINK(...)", "@SUM")
// behind a "'", the usual guard against formulas in CSV. Negative numbers
// do not occur in these columns.
QString guardedCell(const QString &text)
{
    QString cell = TerminalText::escape(text);
    if (!cell.isEmpty()
        && (cell.front() == QLatin1Char('=') || cell.front() == QLatin1Char('+') || cell.front() == QLatin1Char('-')
            || cell.front() == QLatin1Char('@')))
        cell.prepend(QLatin1Char('\''));
    return cell;
}

// RFC 4180: quoted when it holds a separator, quote or line break.
QString csvCell(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString csvRow(const QStringList &cells, bool raw = true)
{
    QStringList quoted;
    for (const QString &cell : cells)
        quoted << csvCell(raw ? cell : guardedCell(cell));
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}

QStringList csvKeys()
{
    QStringList keys;
    for (const Field &field : fields(VOSK_DEVICE_INFO{}))
        keys << QLatin1String(field.key);
    return keys;
}

QStringList csvValues(const VOSK_DEVICE_INFO &record)
{
    QStringList values;
    for (const Field &field : fields(record))
        values << plainText(field.value);
    return values;
}

// The columns a person reads in a terminal.
const char *const kTableKeys[] = {"serial", "type", "activated", "ipv4", "mask", "gateway",
                                  "port", "httpPort", "dhcp", "mac", "softwareVersion", "protocol"};
const char *const kTableHeaders[] = {"SERIAL", "TYPE", "ACTIVATED", "IPV4", "MASK", "GATEWAY",
                                     "PORT", "HTTP", "DHCP", "MAC", "SOFTWARE", "PROTOCOL"};
constexpr int kTableColumns = int(sizeof kTableKeys / sizeof kTableKeys[0]);

QStringList tableCells(const VOSK_DEVICE_INFO &record)
{
    const QList<Field> all = fields(record);
    QStringList cells;
    for (const char *key : kTableKeys) {
        const auto it = std::find_if(all.cbegin(), all.cend(),
                                     [key](const Field &field) { return qstrcmp(field.key, key) == 0; });
        QString cell = plainText(it->value);
        // As the window shows it: a device of ours without an HTTP port is
        // "N/A"; an ONVIF device that did not say stays empty.
        if (qstrcmp(key, "httpPort") == 0 && it->value.isNull() && !VOSK::isOnvifRecord(record))
            cell = QStringLiteral("N/A");
        cells << TerminalText::escape(cell);
    }
    return cells;
}

QString tableLine(const QStringList &cells, const QList<int> &widths)
{
    QString line;
    for (int i = 0; i < cells.size(); ++i) {
        if (i + 1 == cells.size())
            line += cells.at(i);
        else
            line += cells.at(i).leftJustified(widths.at(i)) + QLatin1String("  ");
    }
    return line + QLatin1Char('\n');
}

} // namespace

QString eventName(int event)
{
    switch (event) {
    case VOSK_EVENT_UPDATED:
        return QStringLiteral("updated");
    case VOSK_EVENT_OFFLINE:
        return QStringLiteral("offline");
    default:
        return QStringLiteral("online");
    }
}

QString list(const QList<VOSK_DEVICE_INFO> &devices, Style style, bool raw)
{
    switch (style) {
    case Style::Json: {
        QJsonArray array;
        for (const VOSK_DEVICE_INFO &record : devices)
            array.append(jsonObject(record));
        return jsonText(QJsonDocument(array).toJson(QJsonDocument::Indented));
    }
    case Style::Csv: {
        QString text = csvRow(csvKeys());
        for (const VOSK_DEVICE_INFO &record : devices)
            text += csvRow(csvValues(record), raw);
        return text;
    }
    case Style::Table:
        break;
    }
    QList<QStringList> rows;
    QStringList header;
    for (const char *title : kTableHeaders)
        header << QLatin1String(title);
    rows << header;
    for (const VOSK_DEVICE_INFO &record : devices)
        rows << tableCells(record);
    QList<int> widths(kTableColumns, 0);
    for (const QStringList &row : rows) {
        for (int i = 0; i < kTableColumns; ++i)
            widths[i] = std::max(widths.at(i), int(row.at(i).size()));
    }
    QString text;
    for (const QStringList &row : rows)
        text += tableLine(row, widths);
    return text;
}

QString watchHeader(Style style)
{
    return style == Style::Csv ? csvRow(QStringList{QStringLiteral("event")} + csvKeys()) : QString();
}

QString watchLine(const VOSK_DEVICE_INFO &record, int event, Style style, bool raw)
{
    switch (style) {
    case Style::Json: {
        QJsonObject object = jsonObject(record);
        object.insert(QStringLiteral("event"), eventName(event));
        return jsonText(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
    }
    case Style::Csv:
        return csvRow(QStringList{eventName(event)} + csvValues(record), raw);
    case Style::Table:
        break;
    }
    return (QStringList{eventName(event)} + tableCells(record)).join(QLatin1Char('\t')) + QLatin1Char('\n');
}

} // namespace DeviceFormat
