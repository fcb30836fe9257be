#include "operations/operationwords.h"

#include "operations/onvifoutcome.h"

#include <QCoreApplication>

#include <optional>

namespace VoskTool {

namespace {

// The words of the pane keep the pane's context: the translations made
// for it there serve the window unchanged.
const char kPane[] = "VoskTool::DeviceModifyPage";
const char kForm[] = "VoskTool::DeviceNetParaPage";

LocalText text(const char *context, const char *source, QStringList arguments = {})
{
    return {context, source, std::move(arguments)};
}

// All at once: an argument holding "%1" (a serial number may) must not be
// filled again by the next one.
QString fill(const QString &text, const QStringList &arguments)
{
    switch (arguments.size()) {
    case 0: return text;
    case 1: return text.arg(arguments.at(0));
    case 2: return text.arg(arguments.at(0), arguments.at(1));
    case 3: return text.arg(arguments.at(0), arguments.at(1), arguments.at(2));
    default: return text.arg(arguments.at(0), arguments.at(1), arguments.at(2), arguments.at(3));
    }
}

// An ONVIF device's code: its refusals are of a user name and password,
// not of our protocol's administrator password.
bool isOnvifCode(int code)
{
    return code >= kOnvifCodeBase && code < kOnvifCodeBase + 1000;
}

int roundedSeconds(qint64 ms)
{
    return int(qMax<qint64>(0, ms + 500) / 1000);
}

// The words a failure of any operation may end in: the device's own
// reason, what it still reports, or that it was not seen since.
std::optional<LocalText> deviceWords(const OperationOutcome &outcome)
{
    const QStringList code{QString::number(outcome.code)};
    switch (outcome.status) {
    case OperationStatus::NotSeen:
        return notSeenWord(roundedSeconds(outcome.waitedMs));
    case OperationStatus::NotApplied:
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:not applied, the device still reports %2"),
                    {code.first(), outcome.detail});
    case OperationStatus::Failed:
        if (!outcome.detail.isEmpty())
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:the device says \"%2\""),
                        {code.first(), outcome.detail});
        break;
    default:
        break;
    }
    return std::nullopt;
}

} // namespace

QString deviceText(const QString &text)
{
    QString out;
    out.reserve(qMin<qsizetype>(text.size(), kMaxDeviceTextLength + 8));
    bool blank = false;
    for (const QChar c : text) {
        if (out.size() >= kMaxDeviceTextLength) {
            if (out.back().isHighSurrogate())
                out.chop(1); // not half a character
            out += QLatin1String("...");
            break;
        }
        const ushort u = c.unicode();
        if (u == ' ' || u == '\t' || u == '\n' || u == '\r') {
            // Line breaks of a multi-line reason read as one blank.
            if (!blank && !out.isEmpty())
                out += QLatin1Char(' ');
            blank = true;
            continue;
        }
        blank = false;
        // Shown, not obeyed: a C0 control as its picture (ESC as U+241B),
        // which no terminal or table takes for a command and the console
        // does not escape again; any other control or format character
        // as U+FFFD.
        const QChar::Category category = c.category();
        if (u < 0x20)
            out += QChar(ushort(0x2400 + u));
        else if (u == 0x7f)
            out += QChar(ushort(0x2421));
        else if (category == QChar::Other_Control || category == QChar::Other_Format
                 || category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            out += QChar(QChar::ReplacementCharacter);
        else
            out += c;
    }
    while (out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    return out;
}

QString LocalText::translated() const
{
    if (!source)
        return QString();
    return fill(QCoreApplication::translate(context, source), arguments);
}

QString LocalText::english() const
{
    if (!source)
        return QString();
    return fill(QString::fromUtf8(source), arguments);
}

LocalText successWord()
{
    return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Succeed"));
}

LocalText batchResultWord(OperationKind kind, const OperationOutcome &outcome)
{
    const QStringList code{QString::number(outcome.code)};
    if (const std::optional<LocalText> words = deviceWords(outcome))
        return *words;
    switch (outcome.status) {
    case OperationStatus::Done:
        return successWord();
    case OperationStatus::Cancelled:
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Cancelled"));
    case OperationStatus::Unsupported:
        if (outcome.code == kOnvifMakersActivationCode)
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:activate it with its maker's tool"),
                        code);
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Not supported by this device"));
    case OperationStatus::Locked:
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:Device locked, try again in %2 s."),
                    {QString::number(outcome.code), QString::number(outcome.lockedSeconds)});
    case OperationStatus::NotActivated:
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:Device not activated."), code);
    default:
        break;
    }
    if (kind == OperationKind::ChangePassword && outcome.status == OperationStatus::Denied) {
        // A password change is refused only for its authorisation: the
        // old password is wrong (a device that is not activated says so).
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:wrong old password"), code);
    }
    if (outcome.status == OperationStatus::Denied && isOnvifCode(outcome.code))
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:wrong user name or password"), code);
    if (kind == OperationKind::Activate) {
        if (outcome.status == OperationStatus::Denied)
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:Device deny."), code);
        if (outcome.status == OperationStatus::AlreadyActive)
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:reactive"), code);
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:others"), code);
    }
    if (outcome.status == OperationStatus::Denied)
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:device deny"), code);
    if (outcome.status == OperationStatus::TimedOut)
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:time out"), code);
    return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:others"), code);
}

LocalText singleResultWord(OperationKind kind, const OperationOutcome &outcome)
{
    if (const std::optional<LocalText> words = deviceWords(outcome))
        return *words;
    switch (outcome.status) {
    case OperationStatus::Done:
        switch (kind) {
        case OperationKind::SetNetParams:
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Modify network parameters succeed."));
        case OperationKind::Activate:
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Activate Succeed."));
        case OperationKind::ChangePassword:
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Change password succeed."));
        }
        break;
    case OperationStatus::Denied:
        if (kind == OperationKind::ChangePassword)
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "The old password is not correct."));
        if (isOnvifCode(outcome.code))
            return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Wrong user name or password."));
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Device deny."));
    case OperationStatus::Locked:
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Device locked, try again in %1 s."),
                    {QString::number(outcome.lockedSeconds)});
    case OperationStatus::NotActivated:
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Device not activated."));
    case OperationStatus::TimedOut:
        return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Time out."));
    case OperationStatus::Cancelled:
    case OperationStatus::Unsupported:
        return batchResultWord(kind, outcome);
    default:
        break;
    }
    return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "Error%1:others"),
                {QString::number(outcome.code)});
}

bool singleFailureKeepsCode(const OperationOutcome &outcome)
{
    return !outcome.ok() && outcome.status != OperationStatus::Denied && outcome.status != OperationStatus::Locked
        && outcome.status != OperationStatus::NotActivated && outcome.status != OperationStatus::TimedOut;
}

LocalText fieldMessage(NetField field, FieldError error)
{
    const bool empty = error == FieldError::Empty;
    switch (field) {
    case NetField::StartIp:
    case NetField::IpAddress:
        return empty ? text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "Please input IP Address."))
                     : text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "IP Address not correct."));
    case NetField::SubnetMask:
        return empty ? text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "Subnet mask can not be empty."))
                     : text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "Subnet Mask not correct."));
    case NetField::Gateway:
        return empty ? text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "Gateway can not be empty"))
                     : text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "Gateway not correct."));
    case NetField::Port:
        return text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "Device port ranges from 2000 to 65535."));
    case NetField::HttpPort:
        return text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "Http port ranges from 1 to 65535."));
    case NetField::Ipv6Address:
        return text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "IPv6 Address not correct."));
    case NetField::Ipv6Gateway:
        return text(kForm, QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "IPv6 gateway not correct."));
    case NetField::PrefixLength:
        return text(kForm,
                    QT_TRANSLATE_NOOP("VoskTool::DeviceNetParaPage", "IPv6 prefix length ranges from 0 to 127."));
    case NetField::None:
        break;
    }
    return {};
}

LocalText appliedWord()
{
    return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "applied"));
}

LocalText rebootedWord()
{
    return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "restarted to apply it"));
}

LocalText notSeenWord(const OperationOutcome &outcome, qint64 untilMs)
{
    const qint64 since = outcome.takenAtMs > 0 ? untilMs - outcome.takenAtMs : 0;
    return notSeenWord(roundedSeconds(qMax<qint64>(since, 0) + outcome.waitedMs));
}

LocalText notSeenWord(int seconds)
{
    return text(kPane, QT_TRANSLATE_NOOP("VoskTool::DeviceModifyPage", "sent, not seen since (%1 s)"),
                {QString::number(seconds)});
}

} // namespace VoskTool
