#include "tools/cli/batchplan.h"

#include "netparam/rules/netparamrules.h"
#include "operations/operationwords.h"
#include "operations/serialfilename.h"
#include "tools/cli/linereader.h"
#include "discovery/terminaltext.h"

#include <QHash>
#include <QIODevice>

namespace BatchPlan {

namespace {

using VoskTool::FieldError;
using VoskTool::NetField;

// A plan has no business being large; 5000 devices is the largest fleet
// the simulator makes.
constexpr int kMaxLines = 100000;
constexpr int kColumns = 6;
// A line is a serial number and five addresses or ports: a few dozen bytes.
constexpr int kMaxLineBytes = 1024;
// A plan that is wrong throughout needs its first faults shown, not all.
constexpr int kMaxFaults = 100;
// How much of a serial number a message quotes.
constexpr int kQuotedSerial = VoskTool::SerialFileName::kMaxSerialLength;

// A line holds text: a NUL, another control character but the tab, or DEL
// says it is binary data (and a NUL would cut the serial number short).
bool isBinary(const QByteArray &line)
{
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F)
            return true;
    }
    return false;
}

// One CSV record of one line: cells split at commas, a quoted cell may hold
// commas and doubled quotes. False for an unterminated quote.
bool splitCsv(const QString &line, QStringList *cells)
{
    cells->clear();
    QString cell;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                cell += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            *cells << cell.trimmed();
            cell.clear();
        } else {
            cell += c;
        }
    }
    *cells << cell.trimmed();
    return !quoted;
}

VoskTool::NetParamTexts textsWith(NetField field, const QString &text)
{
    VoskTool::NetParamTexts texts;
    switch (field) {
    case NetField::StartIp: texts.startIp = text; break;
    case NetField::IpAddress: texts.ipAddress = text; break;
    case NetField::SubnetMask: texts.subnetMask = text; break;
    case NetField::Gateway: texts.gateway = text; break;
    case NetField::Port: texts.port = text; break;
    case NetField::HttpPort: texts.httpPort = text; break;
    case NetField::Ipv6Address: texts.ipv6Address = text; break;
    case NetField::Ipv6Gateway: texts.ipv6Gateway = text; break;
    case NetField::PrefixLength: texts.prefixLength = text; break;
    default: break;
    }
    return texts;
}

} // namespace

QString fieldMessage(int field, int error)
{
    // The form's own words, in English.
    return VoskTool::fieldMessage(NetField(field), FieldError(error)).english();
}

QString checkValue(int field, const QString &text)
{
    const FieldError error = VoskTool::checkField(NetField(field), textsWith(NetField(field), text));
    return error == FieldError::None ? QString() : fieldMessage(field, int(error));
}

bool read(QIODevice &in, const Defaults &defaults, QList<Line> *lines, QStringList *errors)
{
    lines->clear();
    errors->clear();
    auto fault = [errors](int number, const QString &text) {
        *errors << QStringLiteral("line %1: %2").arg(number).arg(text);
    };
    auto tooManyFaults = [errors]() {
        if (errors->size() < kMaxFaults)
            return false;
        *errors << QStringLiteral("more than %1 faults: the rest of the plan was not read").arg(kMaxFaults);
        return true;
    };

    bool startUsable = !defaults.start.isEmpty();
    if (startUsable) {
        const QString message = checkValue(int(NetField::StartIp), defaults.start);
        if (!message.isEmpty())
            *errors << QStringLiteral("--start: ") + message;
        startUsable = message.isEmpty();
    }

    QHash<QString, int> serialLines;
    QHash<QString, int> addressLines;
    int number = 0;
    bool first = true;
    LineReader reader(in, kMaxLineBytes);
    QByteArray bytes;
    for (LineReader::Status status; (status = reader.next(&bytes)) != LineReader::Status::End;) {
        ++number;
        if (number > kMaxLines) {
            *errors << QStringLiteral("more than %1 lines").arg(kMaxLines);
            return false;
        }
        if (tooManyFaults())
            return false;
        // Neither kind of line is quoted back: it is no plan line.
        if (status == LineReader::Status::TooLong) {
            fault(number, QStringLiteral("longer than %1 bytes (not read)").arg(kMaxLineBytes));
            continue;
        }
        if (isBinary(bytes)) {
            fault(number, QStringLiteral("binary data or a NUL byte (not read)"));
            continue;
        }
        QString text = QString::fromUtf8(bytes);
        if (first && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1); // a spreadsheet's byte-order mark
        if (text.trimmed().isEmpty() || text.trimmed().startsWith(QLatin1Char('#')))
            continue;
        QStringList cells;
        if (!splitCsv(text, &cells)) {
            fault(number, QStringLiteral("unterminated quote"));
            continue;
        }
        if (first && cells.first().compare(QLatin1String("serial"), Qt::CaseInsensitive) == 0) {
            first = false;
            continue;
        }
        first = false;
        if (cells.size() > kColumns) {
            fault(number, QStringLiteral("more than %1 fields (serial,ip,mask,gateway,port,http_port)").arg(kColumns));
            continue;
        }
        while (cells.size() < kColumns)
            cells << QString();

        Line line;
        line.lineNumber = number;
        line.serial = cells.at(0);
        auto pick = [](const QString &cell, const QString &fallback) { return cell.isEmpty() ? fallback : cell; };
        line.ip = cells.at(1);
        line.mask = pick(cells.at(2), defaults.mask);
        line.gateway = pick(cells.at(3), defaults.gateway);
        line.port = pick(cells.at(4), defaults.port);
        line.httpPort = pick(cells.at(5), defaults.httpPort);

        const QString who = TerminalText::excerpt(line.serial, kQuotedSerial) + QStringLiteral(": ");
        if (line.serial.isEmpty()) {
            fault(number, QStringLiteral("no serial number"));
            continue;
        }
        if (line.serial.size() > kQuotedSerial) {
            fault(number, who + QStringLiteral("longer than any serial number (%1 characters)").arg(kQuotedSerial));
            continue;
        }
        if (serialLines.contains(line.serial)) {
            fault(number, who + QStringLiteral("planned already on line %1").arg(serialLines.value(line.serial)));
            continue;
        }
        serialLines.insert(line.serial, number);

        if (defaults.dhcp) {
            if (!line.ip.isEmpty() || !line.mask.isEmpty() || !line.gateway.isEmpty())
                fault(number, who + QStringLiteral("with DHCP the device keeps its addresses: leave ip, mask "
                                                   "and gateway empty"));
        } else if (line.ip.isEmpty()) {
            // The device's place in the plan numbers its address, as the
            // window numbers the checked devices.
            if (defaults.start.isEmpty()) {
                fault(number, who + fieldMessage(int(NetField::IpAddress), int(FieldError::Empty))
                          + QStringLiteral(" (or give --start)"));
            } else if (!startUsable) {
                // Said once, above.
            } else if (line.numbered = true;
                       (line.ip = VoskTool::nextAddress(defaults.start, int(lines->size()))).isEmpty()) {
                fault(number, who + QStringLiteral("--start %1 leaves no address for this device")
                                        .arg(defaults.start));
            } else if (!checkValue(int(NetField::IpAddress), line.ip).isEmpty()) {
                // Counting on past x.y.z.255 gives x.y.(z+1).0, which is no
                // host's address; the window would send it.
                fault(number, who + QStringLiteral("--start %1 gives this device %2, which is not a host address")
                                        .arg(defaults.start, line.ip));
                line.ip.clear();
            }
        }
        const struct
        {
            NetField field;
            const QString &text;
        } checks[] = {{NetField::IpAddress, line.ip},   {NetField::SubnetMask, line.mask},
                      {NetField::Gateway, line.gateway}, {NetField::Port, line.port},
                      {NetField::HttpPort, line.httpPort}};
        for (const auto &check : checks) {
            if (check.text.isEmpty())
                continue;
            const QString message = checkValue(int(check.field), check.text);
            if (!message.isEmpty())
                fault(number, who + message);
        }
        if (!line.ip.isEmpty()) {
            // Two devices on one address would both be unreachable; "010"
            // and "10" are the same part.
            QStringList parts = line.ip.trimmed().split(QLatin1Char('.'));
            for (QString &part : parts)
                part = QString::number(part.toUInt());
            const QString address = parts.join(QLatin1Char('.'));
            if (addressLines.contains(address))
                fault(number, who + QStringLiteral("address %1 is planned on line %2 already")
                                        .arg(TerminalText::excerpt(line.ip, kQuotedSerial))
                                        .arg(addressLines.value(address)));
            addressLines.insert(address, number);
        }
        lines->append(line);
    }
    if (errors->isEmpty() && lines->isEmpty())
        *errors << QStringLiteral("the plan names no device");
    return errors->isEmpty();
}

bool readSerials(QIODevice &in, QStringList *serials, QStringList *errors)
{
    serials->clear();
    errors->clear();
    QHash<QString, int> serialLines;
    int number = 0;
    bool first = true;
    LineReader reader(in, kMaxLineBytes);
    QByteArray bytes;
    for (LineReader::Status status; (status = reader.next(&bytes)) != LineReader::Status::End;) {
        ++number;
        if (number > kMaxLines) {
            *errors << QStringLiteral("more than %1 lines").arg(kMaxLines);
            return false;
        }
        if (errors->size() >= kMaxFaults) {
            *errors << QStringLiteral("more than %1 faults: the rest of the list was not read").arg(kMaxFaults);
            return false;
        }
        auto fault = [errors, number](const QString &text) {
            *errors << QStringLiteral("line %1: %2").arg(number).arg(text);
        };
        if (status == LineReader::Status::TooLong) {
            fault(QStringLiteral("longer than %1 bytes (not read)").arg(kMaxLineBytes));
            continue;
        }
        if (isBinary(bytes)) {
            fault(QStringLiteral("binary data or a NUL byte (not read)"));
            continue;
        }
        QString text = QString::fromUtf8(bytes);
        if (first && text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        if (text.trimmed().isEmpty() || text.trimmed().startsWith(QLatin1Char('#')))
            continue;
        QStringList cells;
        if (!splitCsv(text, &cells)) {
            fault(QStringLiteral("unterminated quote"));
            continue;
        }
        const QString serial = cells.first();
        if (first && serial.compare(QLatin1String("serial"), Qt::CaseInsensitive) == 0) {
            first = false;
            continue;
        }
        first = false;
        const QString who = TerminalText::excerpt(serial, kQuotedSerial) + QStringLiteral(": ");
        if (serial.isEmpty()) {
            fault(QStringLiteral("no serial number"));
        } else if (serial.size() > kQuotedSerial) {
            fault(who + QStringLiteral("longer than any serial number (%1 characters)").arg(kQuotedSerial));
        } else if (serialLines.contains(serial)) {
            fault(who + QStringLiteral("listed already on line %1").arg(serialLines.value(serial)));
        } else {
            serialLines.insert(serial, number);
            serials->append(serial);
        }
    }
    if (errors->isEmpty() && serials->isEmpty())
        *errors << QStringLiteral("the list names no device");
    return errors->isEmpty();
}

} // namespace BatchPlan
