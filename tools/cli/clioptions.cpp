#include "tools/cli/clioptions.h"

#include "discovery/deviceidentity.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "onvif/discoveryclient.h"
#include "netparam/rules/passwordpolicy.h"
#include "operations/operationwords.h"
#include "operations/voskdeviceoperations.h"
#include "tools/cli/clicommands.h"
#include "tools/cli/clihelp.h"
#include "tools/cli/devicefinder.h"
#include "discovery/terminaltext.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>

namespace CliCommands {

void writeOut(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void writeErr(const QString &text)
{
    std::fprintf(stderr, "vosktool-cli: %s\n", text.toLocal8Bit().constData());
}



Parsed parse(QCommandLineParser &parser, CommonOptions &common, const QString &command,
             const QStringList &arguments)
{
    parser.addOptions({common.interfaces, common.wait, common.help, common.pick});
    if (!parser.parse(QStringList{command} + arguments)) {
        QString error = CliHelp::parserError(parser.errorText());
        // A mistyped option gets the guess a mistyped command gets.
        const QStringList unknown = parser.unknownOptionNames();
        const QString guess = unknown.isEmpty() ? QString() : CliHelp::closestOption(command, unknown.first());
        if (!guess.isEmpty())
            error += QStringLiteral(" (did you mean '%1'?)").arg(guess);
        writeErr(error);
        std::fputs(CliHelp::hint(command).toLocal8Bit().constData(), stderr);
        return Parsed::Bad;
    }
    if (parser.isSet(common.help)) {
        writeOut(CliHelp::commandHelp(command));
        return Parsed::Help;
    }
    bool ok = false;
    common.waitMs = parser.value(common.wait).toInt(&ok);
    if (!ok || common.waitMs < 0 || common.waitMs > kMaxWaitMs) {
        writeErr(QStringLiteral("--wait must be 0..%1 milliseconds").arg(kMaxWaitMs));
        return Parsed::Bad;
    }
    for (const QString &pick : parser.values(common.pick)) {
        // A MAC text has no '@'; a serial number might.
        const int at = int(pick.lastIndexOf(QLatin1Char('@')));
        if (at <= 0 || at == pick.size() - 1) {
            writeErr(QStringLiteral("--pick takes SERIAL@MAC, not %1").arg(pick));
            return Parsed::Bad;
        }
        common.picks.insert(DeviceKey{pick.left(at), pick.mid(at + 1)});
    }
    // The library reads its interfaces when discovery starts.
    if (parser.isSet(common.interfaces))
        qputenv("VOSK_INTERFACES", parser.value(common.interfaces).toLocal8Bit());
    return Parsed::Ok;
}

// The first line of a password file ("-" reads standard input), without
// its line end. The password never appears on the command line, where
// every user of the machine can read it.
bool readPasswordFile(const QString &path, QString *password)
{
    QFile file(path);
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : file.open(QIODevice::ReadOnly);
    if (!opened) {
        writeErr(QStringLiteral("cannot read the password file %1: %2").arg(path, file.errorString()));
        return false;
    }
    QByteArray line = file.readLine(kMaxPasswordFileBytes + 1);
    if (line.size() > kMaxPasswordFileBytes) {
        writeErr(QStringLiteral("the password file %1 does not hold a password on its first line").arg(path));
        return false;
    }
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    *password = QString::fromUtf8(line);
    return true;
}

QList<QCommandLineOption> onvifOptionList(const OnvifOptions &onvif)
{
    return {onvif.credentials, onvif.probe, onvif.acceptCertificate};
}

bool readOnvifOptions(const QCommandLineParser &parser, OnvifOptions &onvif)
{
    onvif.acceptCertificates = parser.values(onvif.acceptCertificate);
    for (const QString &value : parser.values(onvif.probe)) {
        const QStringList ends = value.split(QLatin1Char('-'));
        QHostAddress first, last;
        if (ends.size() > 2 || !first.setAddress(ends.first().trimmed())
            || !last.setAddress(ends.last().trimmed())) {
            writeErr(QStringLiteral("--probe takes an address or a range A-B, not %1").arg(terminalSafe(value)));
            return false;
        }
        const QList<QHostAddress> range = ends.size() == 1
            ? QList<QHostAddress>{first}
            : Onvif::DiscoveryClient::addressRange(first, last, kMaxProbeAddresses);
        if (range.isEmpty() || onvif.probeAddresses.size() + range.size() > kMaxProbeAddresses) {
            writeErr(QStringLiteral("--probe %1: IPv4 ranges from low to high, %2 addresses at most in all")
                         .arg(terminalSafe(value))
                         .arg(kMaxProbeAddresses));
            return false;
        }
        onvif.probeAddresses += range;
    }
    if (!parser.isSet(onvif.credentials))
        return true;
    const QString path = parser.value(onvif.credentials);
    QFile file(path);
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : file.open(QIODevice::ReadOnly);
    if (!opened) {
        writeErr(QStringLiteral("cannot read the ONVIF credentials file %1: %2").arg(path, file.errorString()));
        return false;
    }
    QByteArray lines[2];
    for (QByteArray &line : lines) {
        line = file.readLine(kMaxPasswordFileBytes + 1);
        if (line.size() > kMaxPasswordFileBytes)
            line.clear();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
    }
    onvif.signIn.username = QString::fromUtf8(lines[0]).trimmed();
    onvif.signIn.password = lines[1];
    lines[1].fill('\0');
    if (onvif.signIn.username.isEmpty() || onvif.signIn.password.isEmpty()) {
        onvif.signIn = {};
        writeErr(QStringLiteral("the ONVIF credentials file %1 holds no user name on its first line and "
                                "password on its second").arg(path));
        return false;
    }
    return true;
}

// The device's answer worded as the window words it: a single device's
// result differs from a batch row's, and a modification's from an
// activation's.


QString succeedText()
{
    return QStringLiteral("Succeed");
}

QString failureText(Operation operation, bool batch, int code)
{
    return failureText(operation, batch, VoskTool::OperationOutcome{VoskTool::VoskDeviceOperations::statusOf(code), code});
}

QString failureText(Operation operation, bool batch, const VoskTool::OperationOutcome &outcome)
{
    // The operations core's words, in English: the window shows the same
    // ones translated.
    const VoskTool::OperationKind kind = operation == Operation::Modify ? VoskTool::OperationKind::SetNetParams
        : operation == Operation::Activate                               ? VoskTool::OperationKind::Activate
                                                                         : VoskTool::OperationKind::ChangePassword;
    return batch ? VoskTool::batchResultWord(kind, outcome).english()
                 : VoskTool::singleResultWord(kind, outcome).english();
}

QString notFoundText()
{
    return QStringLiteral("Device not found.");
}

// The identity refusal quotes texts the devices sent: control characters
// (an escape sequence in a serial number) must not reach the terminal.
// Its own line breaks stay.
QString terminalSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u != '\n' && (u < 0x20 || (u >= 0x7f && u <= 0x9f)))
            safe += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            safe += c;
    }
    return safe;
}

QString ambiguousText()
{
    return QStringLiteral("Identity shared with another device: nothing sent.");
}



// The device a command means by a serial number: the one online with that
// serial number, or the one --pick names with it. A device whose serial
// number or MAC another one announces too is refused unless picked (the
// window asks the same question; VOSK::DeviceIdentity is the rule), and
// its reason goes to standard error. GUI-less, main thread.
Lookup lookUp(const QString &serial, const QSet<DeviceKey> &picks, DeviceKey *key, VOSK_DEVICE_INFO *record)
{
    // A serial number the user picked a MAC for means that pair only.
    bool picked = false;
    for (const DeviceKey &pick : picks)
        picked = picked || pick.serialNumber == serial;
    QVector<DeviceKey> candidates;
    for (const VOSK_DEVICE_INFO &device : DeviceStore::instance()->getAllDevices()) {
        // An ONVIF device's key is its endpoint: its serial number is in
        // the record only.
        const DeviceKey candidate = DeviceKey::fromRecord(device);
        if (VOSK::fieldText(device.serialNumber) != serial || (picked && !picks.contains(candidate)))
            continue;
        if (record && candidates.isEmpty())
            *record = device;
        candidates << candidate;
    }
    if (candidates.isEmpty()) {
        // An ONVIF device may be named by its endpoint or address instead:
        // one in factory state has no serial number yet.
        for (const VOSK_DEVICE_INFO &device : DeviceStore::instance()->getAllDevices()) {
            if (!DeviceFinder::matchesOnvif(device, serial))
                continue;
            if (record && candidates.isEmpty())
                *record = device;
            candidates << DeviceKey::fromRecord(device);
        }
        if (candidates.size() > 1) {
            writeErr(QStringLiteral("%1 names %2 ONVIF devices; name one by its serial number or endpoint")
                         .arg(terminalSafe(serial))
                         .arg(candidates.size()));
            return Lookup::Ambiguous;
        }
        if (candidates.isEmpty())
            return Lookup::NotFound;
        *key = candidates.first();
        return Lookup::Found;
    }
    const QVector<VOSK::IdentityConflict> conflicts = VOSK::DeviceIdentity::unpicked(candidates, picks);
    if (!conflicts.isEmpty()) {
        writeErr(terminalSafe(VOSK::DeviceIdentity::refusal(conflicts)));
        writeErr(QStringLiteral("name the device you mean with --pick SERIAL@MAC"));
        return Lookup::Ambiguous;
    }
    *key = candidates.first();
    return Lookup::Found;
}

// The result line of a device that was not looked up as Found.
QString lookupFailureText(Lookup lookup)
{
    return lookup == Lookup::Ambiguous ? ambiguousText() : notFoundText();
}

// A serial number is the device's own text: escaped, it can neither reach
// the terminal as a command nor add a tab or a line to the result lines.
void writeResult(const QString &serial, const QString &result)
{
    writeOut(TerminalText::escape(serial) + QLatin1Char('\t') + TerminalText::escape(result) + QLatin1Char('\n'));
}

// The same with a third column (whether a changed device reported the new
// values), when there is one.
void writeResult(const QString &serial, const QString &result, const QString &note)
{
    if (note.isEmpty()) {
        writeResult(serial, result);
        return;
    }
    writeOut(TerminalText::escape(serial) + QLatin1Char('\t') + TerminalText::escape(result) + QLatin1Char('\t')
             + TerminalText::escape(note) + QLatin1Char('\n'));
}

void writeProgress(int done, int total, const QString &serial)
{
    std::fprintf(stderr, "[%d/%d] %s\n", done, total, TerminalText::escape(serial).toLocal8Bit().constData());
}

// Starts discovery and listens until the serial numbers (or `count`
// devices) are seen or the window ends.
bool discover(DeviceFinder &finder, const OnvifOptions &onvif, const QStringList &serials, int count, int waitMs)
{
    finder.setOnvifCredentials(onvif.signIn);
    finder.setProbeAddresses(onvif.probeAddresses);
    finder.acceptCertificates(onvif.acceptCertificates);
    if (!discover(finder, serials, count, waitMs))
        return false;
    finder.waitForSignIns(kSignInWaitMs);
    return true;
}

bool discover(DeviceFinder &finder, const QStringList &serials, int count, int waitMs)
{
    if (!finder.start()) {
        writeErr(QStringLiteral("discovery did not start, error %1 (no usable interface?)").arg(finder.lastError()));
        return false;
    }
    QElapsedTimer listening;
    listening.start();
    finder.waitFor(serials, count, waitMs);
    // A named device may be the first of two that share its serial number
    // or MAC: listen to the end of the first inquiry's repeats, so that the
    // second is heard too and the identity check can see both.
    if (!serials.isEmpty()) {
        const qint64 rest = std::min<qint64>(kIdentityGraceMs, waitMs) - listening.elapsed();
        if (rest > 0)
            finder.waitFor({}, 0, int(rest));
    }
    std::fprintf(stderr, "vosktool-cli: %d device(s) found\n", int(finder.devices().size()));
    return true;
}

// SIGINT and SIGTERM end the watch mode through the event loop, so that
// discovery stops in order and the output is complete.

bool readNewPassword(const QString &path, QByteArray *bytes)
{
    QString password;
    if (!readNewPasswordText(path, &password))
        return false;
    VoskTool::PasswordBytes converted;
    const bool accepted = checkNewPassword(password, VoskTool::PasswordTargets(), &converted);
    password.fill(QLatin1Char('\0'));
    if (accepted)
        *bytes = converted.local;
    converted.wipe();
    return accepted;
}

bool readNewPasswordText(const QString &path, QString *password)
{
    if (!readPasswordFile(path, password))
        return false;
    if (password->isEmpty()) {
        writeErr(QStringLiteral("The password can not be empty."));
        return false;
    }
    return true;
}

VoskTool::PasswordTargets passwordTargets(const QVector<VoskTool::OperationJob> &jobs)
{
    VoskTool::PasswordTargets targets;
    targets.local = jobs.isEmpty();
    for (const VoskTool::OperationJob &job : jobs) {
        if (job.device.isOnvif())
            targets.utf8MaxCharacters = VoskTool::OnvifCredentials::kMaxPasswordLength;
        else
            targets.local = true;
    }
    return targets;
}

bool checkNewPassword(const QString &password, const VoskTool::PasswordTargets &targets,
                      VoskTool::PasswordBytes *bytes)
{
    switch (VoskTool::checkNewPassword(password, password, nullptr, targets)) {
    case VoskTool::NewPasswordCheck::Accepted:
        return passwordBytes(password, targets, bytes);
    case VoskTool::NewPasswordCheck::Empty:
        writeErr(QStringLiteral("The password can not be empty."));
        return false;
    case VoskTool::NewPasswordCheck::NotRepresentable:
        writeErr(QStringLiteral("the password holds a character the device cannot take"));
        return false;
    case VoskTool::NewPasswordCheck::Mismatch:
    case VoskTool::NewPasswordCheck::TooLong:
    case VoskTool::NewPasswordCheck::TooWeak:
        break;
    }
    // ONVIF devices alone take longer passwords than ours; where ours are
    // among the targets their range binds.
    if (!targets.local && targets.utf8MaxCharacters > 0) {
        writeErr(QStringLiteral("Valid password range [8-%1]. You can use a combination of numbers, lowercase, "
                                "uppercase and special characters for your password, with at least two kinds of "
                                "them contained.")
                     .arg(targets.utf8MaxCharacters));
    } else {
        writeErr(QStringLiteral("Valid password range [8-16]. You can use a combination of numbers,lowercase, "
                                "uppercase and special character for your password with at least two kinds of "
                                "them contained."));
    }
    return false;
}

bool passwordBytes(const QString &password, const VoskTool::PasswordTargets &targets, VoskTool::PasswordBytes *bytes)
{
    // Ours take the 8-bit conversion, ONVIF devices the standard's UTF-8:
    // each kind is sent the bytes that match the same typed text.
    VoskTool::PasswordEncoding encoding = VoskTool::PasswordEncoding::Ok;
    if (targets.local)
        encoding = VoskTool::encodePassword(password, nullptr, &bytes->local);
    if (encoding == VoskTool::PasswordEncoding::Ok && targets.utf8MaxCharacters > 0)
        encoding = VoskTool::encodeUtf8Password(password, targets.utf8MaxCharacters, &bytes->utf8);
    switch (encoding) {
    case VoskTool::PasswordEncoding::Ok:
        return true;
    case VoskTool::PasswordEncoding::NotRepresentable:
        writeErr(QStringLiteral("the password holds a character the device cannot take"));
        break;
    case VoskTool::PasswordEncoding::TooLong:
        writeErr(QStringLiteral("the password is longer than a device takes"));
        break;
    }
    bytes->wipe();
    return false;
}

// The devices a recovery command works on: the named ones that were found
// (the others get their result line and count as failed), or every device
// found, in order of serial number. False when discovery did not start.

QCommandLineOption expectOption()
{
    return QCommandLineOption(QStringLiteral("expect"), QStringLiteral("Stop listening after N devices."),
                              QStringLiteral("n"), QStringLiteral("0"));
}

QCommandLineOption newPasswordFileOption()
{
    return QCommandLineOption(QStringLiteral("password-file"),
                              QStringLiteral("File whose first line is the new password."), QStringLiteral("file"));
}

bool readExpect(const QCommandLineParser &parser, const QCommandLineOption &option, int *count)
{
    bool ok = false;
    *count = parser.value(option).toInt(&ok);
    if (!ok || *count < 0) {
        writeErr(QStringLiteral("--expect must be a number of devices"));
        return false;
    }
    return true;
}


} // namespace CliCommands
