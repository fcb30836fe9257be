#include "tools/cli/clioptions.h"

#include "discovery/deviceidentity.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
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
        if (at < 0 && !QHostAddress(pick).isNull()) {
            common.pickedHosts << QHostAddress(pick).toString();
            continue;
        }
        if (at <= 0 || at == pick.size() - 1) {
            writeErr(QStringLiteral("--pick takes SERIAL@MAC or an address, not %1").arg(pick));
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
    onvif.signInEvery = true;
    lines[1].fill('\0');
    if (onvif.signIn.username.isEmpty() || onvif.signIn.password.isEmpty()) {
        onvif.signIn = {};
        onvif.signInEvery = false;
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



namespace {

// The ONVIF devices picked by address when discover() signed them in: a
// row whose service is on another host shows the host it answered from
// until then, and that host still names it afterwards.
QHash<QString, DeviceKey> &pickedByHost()
{
    static QHash<QString, DeviceKey> picked;
    return picked;
}

QString macDigitsOf(const QString &mac)
{
    QString digits;
    for (const QChar c : mac) {
        if (c.isLetterOrNumber())
            digits += c.toLower();
    }
    return digits;
}

bool sameAddress(const QString &a, const QString &b)
{
    const QHostAddress x(a);
    return !a.isEmpty() && (x.isNull() ? a == b : x.isEqual(QHostAddress(b)));
}

// Whether the pick names the record: SERIAL@MAC by its halves (an ONVIF
// record's MAC in any spelling), an address by where it is listed.
bool pickNames(const VOSK_DEVICE_INFO &record, const QSet<DeviceKey> &picks, const QStringList &pickedHosts)
{
    const DeviceKey key = DeviceKey::fromRecord(record);
    if (!key.isOnvif())
        return picks.contains(key);
    const QString serial = VOSK::fieldText(record.serialNumber);
    const QString mac = macDigitsOf(VOSK::fieldText(record.mac));
    for (const DeviceKey &pick : picks) {
        if (!serial.isEmpty() && pick.serialNumber == serial && macDigitsOf(pick.mac) == mac)
            return true;
    }
    for (const QString &host : pickedHosts) {
        if (sameAddress(host, VOSK::fieldText(record.ipv4Address)) || sameAddress(host, VOSK::fieldText(record.ipv6Address))
            || pickedByHost().value(host) == key)
            return true;
    }
    return false;
}

} // namespace

QSet<DeviceKey> pickedOnvif(const QSet<DeviceKey> &picks, const QStringList &pickedHosts)
{
    QSet<DeviceKey> picked;
    for (const VOSK_DEVICE_INFO &device : DeviceStore::instance()->getAllDevices()) {
        if (VOSK::isOnvifRecord(device) && pickNames(device, picks, pickedHosts))
            picked.insert(DeviceKey::fromRecord(device));
    }
    return picked;
}

// The device a command means by a serial number (or, for an ONVIF device,
// its address or endpoint): the one online with that name, or the one
// --pick names among them. A device whose serial number or MAC another
// one announces too (or, ONVIF, its endpoint reference; or that answers
// where it was not signed in, or names another host) is refused unless
// picked (the window asks the same question; VOSK::DeviceIdentity is the
// rule), and its reason goes to standard error. GUI-less, main thread.
Lookup lookUp(const QString &serial, const QSet<DeviceKey> &picks, DeviceKey *key, VOSK_DEVICE_INFO *record,
              const QStringList &pickedHosts)
{
    const QVector<VOSK_DEVICE_INFO> all = DeviceStore::instance()->getAllDevices();
    // The devices named, and among them those picked.
    auto collect = [&](auto &&names, QVector<DeviceKey> &candidates, QVector<VOSK_DEVICE_INFO> &records) {
        for (const VOSK_DEVICE_INFO &device : all) {
            if (!names(device))
                continue;
            candidates << DeviceKey::fromRecord(device);
            records << device;
        }
    };
    QVector<DeviceKey> candidates;
    QVector<VOSK_DEVICE_INFO> records;
    collect([&serial](const VOSK_DEVICE_INFO &d) { return VOSK::fieldText(d.serialNumber) == serial; }, candidates,
            records);
    const bool bySerial = !candidates.isEmpty();
    if (!bySerial) {
        // An ONVIF device may be named by its endpoint or address instead:
        // one in factory state has no serial number yet.
        collect(
            [&serial](const VOSK_DEVICE_INFO &d) {
                return DeviceFinder::matchesOnvif(d, serial)
                    || pickedByHost().value(QHostAddress(serial).toString()) == DeviceKey::fromRecord(d);
            },
            candidates, records);
    }
    if (candidates.isEmpty())
        return Lookup::NotFound;
    QSet<DeviceKey> picked;
    for (int i = 0; i < candidates.size(); ++i) {
        if (pickNames(records.at(i), picks, pickedHosts))
            picked.insert(candidates.at(i));
    }
    // A name the user picked one device for means that device only (and
    // a serial number picked with a MAC no device shows, none).
    const bool serialPicked = std::any_of(picks.cbegin(), picks.cend(),
                                          [&serial](const DeviceKey &pick) { return pick.serialNumber == serial; });
    if (!picked.isEmpty() || (bySerial && serialPicked)) {
        for (int i = int(candidates.size()) - 1; i >= 0; --i) {
            if (!picked.contains(candidates.at(i))) {
                candidates.remove(i);
                records.remove(i);
            }
        }
        if (candidates.isEmpty())
            return Lookup::NotFound;
    }
    if ((!bySerial || !picked.isEmpty()) && candidates.size() > 1) {
        writeErr(QStringLiteral("%1 names %2 ONVIF devices; pick one with --pick and the address it is listed at")
                     .arg(terminalSafe(serial))
                     .arg(candidates.size()));
        return Lookup::Ambiguous;
    }
    const QVector<VOSK::IdentityConflict> conflicts = VOSK::DeviceIdentity::unpicked(candidates, picks + picked);
    if (!conflicts.isEmpty()) {
        writeErr(terminalSafe(VOSK::DeviceIdentity::refusal(conflicts)));
        writeErr(QStringLiteral("name the device you mean with --pick SERIAL@MAC, or an ONVIF device with --pick "
                                "and the address it is listed at"));
        return Lookup::Ambiguous;
    }
    if (record)
        *record = records.first();
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
bool discover(DeviceFinder &finder, const OnvifOptions &onvif, const CommonOptions &common,
              const QStringList &serials, int count)
{
    finder.setOnvifCredentials(onvif.signIn, onvif.signInEvery);
    finder.setProbeAddresses(onvif.probeAddresses);
    finder.acceptCertificates(onvif.acceptCertificates);
    if (!discover(finder, serials, count, common.waitMs))
        return false;
    if (!onvif.signIn.isEmpty()) {
        // Only the devices named (and, signing in every device, the picked
        // ones held back as heard): the administrator password of a
        // command goes to no other device.
        const QSet<DeviceKey> picked = pickedOnvif(common.picks, common.pickedHosts);
        for (const VOSK_DEVICE_INFO &device : finder.devices()) {
            const DeviceKey key = DeviceKey::fromRecord(device);
            for (const QString &host : common.pickedHosts) {
                if (key.isOnvif() && picked.contains(key)
                    && (sameAddress(host, VOSK::fieldText(device.ipv4Address))
                        || sameAddress(host, VOSK::fieldText(device.ipv6Address))))
                    pickedByHost().insert(host, key);
            }
        }
        QVector<DeviceKey> named;
        for (const VOSK_DEVICE_INFO &device : finder.devices()) {
            const DeviceKey key = DeviceKey::fromRecord(device);
            if (!key.isOnvif() || (VOSK::onvifFlags(device) & VOSK::OnvifSignedIn))
                continue;
            const bool isNamed = std::any_of(serials.cbegin(), serials.cend(), [&device](const QString &name) {
                return DeviceFinder::matchesOnvif(device, name);
            });
            if (picked.contains(key) || (isNamed && !onvif.signInEvery))
                named << key;
        }
        finder.signIn(named, picked);
    }
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
