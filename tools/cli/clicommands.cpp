#include "tools/cli/clicommands.h"

#include "discovery/deviceidentity.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "netparam/rules/passwordpolicy.h"
#include "netparam/rules/netparamrules.h"
#include "password/recoveryfiles.h"
#include "password/resetpasswordthread.h"
#include "tools/cli/batchplan.h"
#include "tools/cli/clihelp.h"
#include "tools/cli/devicefinder.h"
#include "tools/cli/deviceformat.h"
#include "tools/cli/terminaltext.h"
#include "tools/cli/watchoutput.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace CliCommands {

namespace {

constexpr int kDefaultWaitMs = 3000;
constexpr int kMaxWaitMs = 3600 * 1000;
// A password file holds one line; anything longer is not one.
constexpr qint64 kMaxPasswordFileBytes = 4096;
constexpr int kMaxSecurityCodeLength = 32;
// How long the watch mode's last lines wait for a stalled reader at the end.
constexpr int kWatchFlushMs = 2000;
// How long the library's first inquiry and its repeats take to be
// answered (the last repeat 840 ms after the start, plus its window).
constexpr qint64 kIdentityGraceMs = 1000;

void writeOut(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void writeErr(const QString &text)
{
    std::fprintf(stderr, "vosktool-cli: %s\n", text.toLocal8Bit().constData());
}

// The options every command shares, and the parse that reports a bad
// command line as bad input.
struct CommonOptions
{
    QCommandLineOption interfaces{QStringLiteral("interfaces"),
                                  QStringLiteral("Comma-separated interfaces to use (default: VOSK_INTERFACES, "
                                                 "else every interface)."),
                                  QStringLiteral("names")};
    QCommandLineOption wait{QStringLiteral("wait"),
                            QStringLiteral("How long to listen for devices, in milliseconds (default 3000)."),
                            QStringLiteral("ms"), QString::number(kDefaultWaitMs)};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show the usage.")};
    QCommandLineOption pick{QStringLiteral("pick"),
                            QStringLiteral("The device meant by SERIAL is the one announcing MAC, although another "
                                           "device shares its serial number or MAC (repeatable)."),
                            QStringLiteral("SERIAL@MAC")};
    int waitMs = kDefaultWaitMs;
    // The devices the user chose by both halves of their key.
    QSet<DeviceKey> picks;
};

enum class Parsed { Ok, Help, Bad };

Parsed parse(QCommandLineParser &parser, CommonOptions &common, const QString &command,
             const QStringList &arguments)
{
    parser.addOptions({common.interfaces, common.wait, common.help, common.pick});
    if (!parser.parse(QStringList{command} + arguments)) {
        writeErr(CliHelp::parserError(parser.errorText()));
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

// The device's answer worded as the window words it: a single device's
// result differs from a batch row's, and a modification's from an
// activation's.
enum class Operation { Modify, Activate };

QString succeedText()
{
    return QStringLiteral("Succeed");
}

QString failureText(Operation operation, bool batch, int code)
{
    if (!batch) {
        if (code == VOSK_ERR_DEVICE_DENY)
            return QStringLiteral("Device deny.");
        if (code == VOSK_ERR_TIMEOUT)
            return QStringLiteral("Time out.");
        return QStringLiteral("Error%1:others").arg(code);
    }
    if (operation == Operation::Modify) {
        if (code == VOSK_ERR_DEVICE_DENY)
            return QStringLiteral("Error%1:device deny").arg(code);
        if (code == VOSK_ERR_TIMEOUT)
            return QStringLiteral("Error%1:time out").arg(code);
        return QStringLiteral("Error%1:others").arg(code);
    }
    if (code == VOSK_ERR_DEVICE_DENY)
        return QStringLiteral("Error%1:Device deny.").arg(code);
    if (code == VOSK_ERR_REACTIVE)
        return QStringLiteral("Error%1:reactive").arg(code);
    return QStringLiteral("Error%1:others").arg(code);
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

enum class Lookup { Found, NotFound, Ambiguous };

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
        const DeviceKey candidate = DeviceKey::fromRecord(device);
        if (candidate.serialNumber != serial || (picked && !picks.contains(candidate)))
            continue;
        if (record && candidates.isEmpty())
            *record = device;
        candidates << candidate;
    }
    if (candidates.isEmpty())
        return Lookup::NotFound;
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

void writeProgress(int done, int total, const QString &serial)
{
    std::fprintf(stderr, "[%d/%d] %s\n", done, total, TerminalText::escape(serial).toLocal8Bit().constData());
}

// Starts discovery and listens until the serial numbers (or `count`
// devices) are seen or the window ends.
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
int g_stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
}

int watch(DeviceFinder &finder, DeviceFormat::Style style, bool raw)
{
    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return SomeFailed;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    QSocketNotifier stop(g_stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);

    // Written past stdio from here on: a reader that stalls must not stop
    // this thread, which takes in the reports.
    std::fflush(stdout);
    WatchOutput output(STDOUT_FILENO, DeviceFormat::watchHeader(style).toLocal8Bit(),
                       [style, raw](const VOSK_DEVICE_INFO &record, int event) {
                           return DeviceFormat::watchLine(record, event, style, raw).toLocal8Bit();
                       });
    QObject::connect(&finder, &DeviceFinder::deviceEvent, &output, &WatchOutput::post);
    if (!finder.start()) {
        writeErr(QStringLiteral("discovery did not start, error %1 (no usable interface?)").arg(finder.lastError()));
        return SomeFailed;
    }
    QCoreApplication::exec();
    if (!output.flush(kWatchFlushMs))
        writeErr(QStringLiteral("the last events were not written: the output was not read"));
    return AllDone;
}

// Runs a batch reset worker, writing each device's result line as soon as
// the device is finished: a run that is killed has written every result it
// had. The discovery reports go on meanwhile. Returns how many failed.
int runRecoveryWorker(ResetPasswordThread &worker,
                      const std::function<QString(const VoskTool::RecoveryOutcome &)> &resultText)
{
    int failed = 0;
    QEventLoop loop;
    QObject::connect(&worker, &ResetPasswordThread::signalDeviceDone, &loop,
                     [&failed, &resultText](const VoskTool::RecoveryOutcome &outcome) {
                         failed += outcome.done ? 0 : 1;
                         writeResult(outcome.serialNumber, resultText(outcome));
                     }, Qt::QueuedConnection);
    // Queued after the last device's signal, so it ends the loop after it.
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker.start();
    loop.exec();
    worker.wait();
    if (!worker.errorFileWritten())
        writeErr(QStringLiteral("the error list could not be written in %1")
                     .arg(QDir::toNativeSeparators(ResetPasswordThread::workingFolder())));
    return failed;
}

// A new administrator password from its file, checked by the window's
// policy and converted for the device. The file is typed once: it is its
// own confirmation.
bool readNewPassword(const QString &path, QByteArray *bytes)
{
    QString password;
    if (!readPasswordFile(path, &password))
        return false;
    switch (VoskTool::checkNewPassword(password, password, nullptr)) {
    case VoskTool::NewPasswordCheck::Accepted:
        break;
    case VoskTool::NewPasswordCheck::Empty:
        writeErr(QStringLiteral("The password can not be empty."));
        return false;
    case VoskTool::NewPasswordCheck::NotRepresentable:
        writeErr(QStringLiteral("the password holds a character the device cannot take"));
        return false;
    case VoskTool::NewPasswordCheck::Mismatch:
    case VoskTool::NewPasswordCheck::TooLong:
    case VoskTool::NewPasswordCheck::TooWeak:
        writeErr(QStringLiteral("Valid password range [8-16]. You can use a combination of numbers,lowercase, "
                                "uppercase and special character for your password with at least two kinds of "
                                "them contained."));
        return false;
    }
    VoskTool::encodePassword(password, nullptr, bytes);
    return true;
}

// The devices a recovery command works on: the named ones that were found
// (the others get their result line and count as failed), or every device
// found, in order of serial number. False when discovery did not start.
bool recoveryDevices(DeviceFinder &finder, const QStringList &serials, int expect, int waitMs,
                     const QSet<DeviceKey> &picks, QVector<DeviceKey> *devices, int *notFound)
{
    if (!discover(finder, serials, serials.isEmpty() ? expect : 0, waitMs))
        return false;
    *notFound = 0;
    if (serials.isEmpty()) {
        QVector<DeviceKey> found;
        for (const VOSK_DEVICE_INFO &record : finder.devices())
            found.append(DeviceKey::fromRecord(record));
        std::sort(found.begin(), found.end(),
                  [](const DeviceKey &a, const DeviceKey &b) { return a.serialNumber < b.serialNumber; });
        // Every device found, but those whose identity another shares
        // unless picked: nothing goes to them unasked.
        for (const DeviceKey &device : std::as_const(found)) {
            const QVector<VOSK::IdentityConflict> conflicts = VOSK::DeviceIdentity::unpicked({device}, picks);
            if (conflicts.isEmpty()) {
                devices->append(device);
                continue;
            }
            writeErr(terminalSafe(VOSK::DeviceIdentity::refusal(conflicts)));
            writeResult(device.serialNumber, ambiguousText());
            ++*notFound;
        }
        return true;
    }
    for (const QString &serial : serials) {
        DeviceKey key;
        const Lookup lookup = lookUp(serial, picks, &key, nullptr);
        if (lookup == Lookup::Found) {
            devices->append(key);
        } else {
            writeResult(serial, lookupFailureText(lookup));
            ++*notFound;
        }
    }
    return true;
}

QCommandLineOption expectOption()
{
    return QCommandLineOption(QStringLiteral("expect"), QStringLiteral("Stop listening after N devices."),
                              QStringLiteral("n"), QStringLiteral("0"));
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

} // namespace

int list(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("JSON output."));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("CSV output."));
    const QCommandLineOption watchOption(QStringLiteral("watch"), QStringLiteral("Print events as they come."));
    const QCommandLineOption rawOption(QStringLiteral("raw"),
                                       QStringLiteral("CSV cells as the devices sent them, unguarded."));
    const QCommandLineOption expect = expectOption();
    parser.addOptions({json, csv, watchOption, rawOption, expect});
    const Parsed parsed = parse(parser, common, QStringLiteral("list"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (!parser.positionalArguments().isEmpty()) {
        writeErr(QStringLiteral("list takes no arguments"));
        return BadInput;
    }
    if (parser.isSet(json) && parser.isSet(csv)) {
        writeErr(QStringLiteral("--json and --csv exclude each other"));
        return BadInput;
    }
    if (parser.isSet(rawOption) && !parser.isSet(csv)) {
        writeErr(QStringLiteral("--raw goes with --csv"));
        return BadInput;
    }
    const bool raw = parser.isSet(rawOption);
    int count = 0;
    if (!readExpect(parser, expect, &count))
        return BadInput;
    const DeviceFormat::Style style = parser.isSet(json) ? DeviceFormat::Style::Json
        : parser.isSet(csv)                               ? DeviceFormat::Style::Csv
                                                          : DeviceFormat::Style::Table;

    DeviceFinder finder;
    if (parser.isSet(watchOption))
        return watch(finder, style, raw);
    if (!discover(finder, {}, count, common.waitMs))
        return SomeFailed;
    QList<VOSK_DEVICE_INFO> devices = finder.devices();
    // Scripts compare lists from run to run: a fixed order, not arrival.
    std::sort(devices.begin(), devices.end(), [](const VOSK_DEVICE_INFO &a, const VOSK_DEVICE_INFO &b) {
        return VOSK::fieldText(a.serialNumber) < VOSK::fieldText(b.serialNumber);
    });
    writeOut(DeviceFormat::list(devices, style, raw));
    return AllDone;
}

int activate(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("File whose first line is the new password."),
                                          QStringLiteral("file"));
    parser.addOption(passwordFile);
    const Parsed parsed = parse(parser, common, QStringLiteral("activate"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    const QStringList serials = parser.positionalArguments();
    if (serials.isEmpty()) {
        writeErr(QStringLiteral("activate needs the serial numbers of the devices"));
        return BadInput;
    }
    if (!parser.isSet(passwordFile)) {
        writeErr(QStringLiteral("activate needs --password-file"));
        return BadInput;
    }
    QByteArray passwordBytes;
    if (!readNewPassword(parser.value(passwordFile), &passwordBytes))
        return BadInput;

    DeviceFinder finder;
    if (!discover(finder, serials, 0, common.waitMs))
        return SomeFailed;
    const bool batch = serials.size() > 1;
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    int failed = 0;
    for (int i = 0; i < serials.size(); ++i) {
        const QString &serial = serials.at(i);
        writeProgress(i + 1, int(serials.size()), serial);
        QString result;
        DeviceKey key;
        const Lookup lookup = lookUp(serial, common.picks, &key, nullptr);
        if (lookup != Lookup::Found)
            result = lookupFailureText(lookup);
        else if (handler->activateDevice(key, passwordBytes))
            result = succeedText();
        else
            result = failureText(Operation::Activate, batch, handler->getLastError());
        failed += result == succeedText() ? 0 : 1;
        writeResult(serial, result);
    }
    return failed == 0 ? AllDone : SomeFailed;
}

namespace {

// The administrator password of a modification: only required, as the
// window requires it, and convertible for the device.
bool readAdminPassword(const QCommandLineParser &parser, const QCommandLineOption &option, QByteArray *bytes)
{
    if (!parser.isSet(option)) {
        writeErr(QStringLiteral("Sorry, please enter the administrator password. (--password-file)"));
        return false;
    }
    QString password;
    if (!readPasswordFile(parser.value(option), &password))
        return false;
    if (password.isEmpty()) {
        writeErr(QStringLiteral("Sorry, please enter the administrator password."));
        return false;
    }
    switch (VoskTool::encodePassword(password, nullptr, bytes)) {
    case VoskTool::PasswordEncoding::Ok:
        return true;
    case VoskTool::PasswordEncoding::NotRepresentable:
        writeErr(QStringLiteral("the password holds a character the device cannot take"));
        return false;
    case VoskTool::PasswordEncoding::TooLong:
        writeErr(QStringLiteral("the password is longer than a device takes"));
        return false;
    }
    return false;
}

QString paramText(const VOSK_NET_PARAM &param)
{
    return QStringLiteral("ip=%1 mask=%2 gateway=%3 port=%4 http=%5 dhcp=%6")
        .arg(VOSK::fieldText(param.ipv4Address), VOSK::fieldText(param.ipv4Mask), VOSK::fieldText(param.ipv4Gateway))
        .arg(param.port)
        .arg(param.httpPort)
        .arg(param.dhcpEnabled ? QStringLiteral("on") : QStringLiteral("off"));
}

struct NetOptions
{
    QCommandLineOption ip{QStringLiteral("ip"), QStringLiteral("New IPv4 address."), QStringLiteral("address")};
    QCommandLineOption start{QStringLiteral("start"), QStringLiteral("First address of a batch."),
                             QStringLiteral("address")};
    QCommandLineOption mask{QStringLiteral("mask"), QStringLiteral("New subnet mask."), QStringLiteral("mask")};
    QCommandLineOption gateway{QStringLiteral("gateway"), QStringLiteral("New gateway."), QStringLiteral("address")};
    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("New device port."), QStringLiteral("port")};
    QCommandLineOption httpPort{QStringLiteral("http-port"), QStringLiteral("New HTTP port."),
                                QStringLiteral("port")};
    QCommandLineOption passwordFile{QStringLiteral("password-file"),
                                    QStringLiteral("File whose first line is the administrator password."),
                                    QStringLiteral("file")};
};

} // namespace

int set(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    NetOptions net;
    const QCommandLineOption dhcp(QStringLiteral("dhcp"), QStringLiteral("DHCP on or off."), QStringLiteral("on|off"));
    parser.addOptions({net.ip, net.mask, net.gateway, net.port, net.httpPort, dhcp, net.passwordFile});
    const Parsed parsed = parse(parser, common, QStringLiteral("set"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (parser.positionalArguments().size() != 1) {
        writeErr(QStringLiteral("set takes the serial number of one device"));
        return BadInput;
    }
    const QString serial = parser.positionalArguments().first();
    if (parser.isSet(dhcp) && parser.value(dhcp) != QLatin1String("on") && parser.value(dhcp) != QLatin1String("off")) {
        writeErr(QStringLiteral("--dhcp takes on or off"));
        return BadInput;
    }
    const bool dhcpOn = parser.value(dhcp) == QLatin1String("on");
    if (dhcpOn && parser.isSet(net.ip)) {
        writeErr(QStringLiteral("with DHCP on the device keeps its address: --ip and --dhcp on exclude each other"));
        return BadInput;
    }
    // Every value given is checked before the network is touched.
    const struct
    {
        VoskTool::NetField field;
        const QCommandLineOption &option;
    } given[] = {{VoskTool::NetField::IpAddress, net.ip}, {VoskTool::NetField::Port, net.port},
                 {VoskTool::NetField::SubnetMask, net.mask}, {VoskTool::NetField::Gateway, net.gateway},
                 {VoskTool::NetField::HttpPort, net.httpPort}};
    for (const auto &value : given) {
        if (!parser.isSet(value.option))
            continue;
        const QString message = BatchPlan::checkValue(int(value.field), parser.value(value.option));
        if (!message.isEmpty()) {
            writeErr(QStringLiteral("--%1: %2").arg(value.option.names().first(), message));
            return BadInput;
        }
    }
    QByteArray password;
    if (!readAdminPassword(parser, net.passwordFile, &password))
        return BadInput;

    DeviceFinder finder;
    if (!discover(finder, {serial}, 0, common.waitMs))
        return SomeFailed;
    VOSK_DEVICE_INFO record;
    DeviceKey key;
    if (const Lookup lookup = lookUp(serial, common.picks, &key, &record); lookup != Lookup::Found) {
        writeResult(serial, lookupFailureText(lookup));
        return SomeFailed;
    }
    if (parser.isSet(dhcp) && !(record.capabilities & VOSK_CAP_DHCP)) {
        writeErr(QStringLiteral("%1: the device does not support DHCP").arg(serial));
        return BadInput;
    }
    if (parser.isSet(net.httpPort) && record.httpPort == 0) {
        writeErr(QStringLiteral("%1: the device has no HTTP port").arg(serial));
        return BadInput;
    }
    const QString mac = VOSK::fieldText(record.mac);
    VOSK_NET_PARAM current;
    std::memset(&current, 0, sizeof current);
    DeviceStore::instance()->getNetParam(serial, mac, current);

    // The form of the window: the device's values, overwritten by what was
    // given, checked as a whole in the window's order.
    auto valueOf = [&parser](const QCommandLineOption &option, const QString &fallback) {
        return parser.isSet(option) ? parser.value(option).trimmed() : fallback;
    };
    VoskTool::NetParamTexts texts;
    texts.ipAddress = valueOf(net.ip, VOSK::fieldText(current.ipv4Address));
    texts.subnetMask = valueOf(net.mask, VOSK::fieldText(current.ipv4Mask));
    texts.gateway = valueOf(net.gateway, VOSK::fieldText(current.ipv4Gateway));
    texts.port = valueOf(net.port, QString::number(current.port));
    texts.httpPort = valueOf(net.httpPort, QString::number(current.httpPort));
    texts.httpPortEnabled = record.httpPort != 0;
    texts.ipv6Enabled = false; // the IPv6 values are sent back as they are
    const VoskTool::FieldFailure failure = VoskTool::checkSingleFields(texts);
    if (!failure.ok()) {
        writeErr(QStringLiteral("%1: %2").arg(serial, BatchPlan::fieldMessage(int(failure.field), int(failure.error))));
        return BadInput;
    }

    VOSK_NET_PARAM param;
    std::memset(&param, 0, sizeof param);
    VOSK::setFieldText(param.ipv4Address, texts.ipAddress);
    VOSK::setFieldText(param.ipv4Mask, texts.subnetMask);
    VOSK::setFieldText(param.ipv4Gateway, texts.gateway);
    param.port = static_cast<quint16>(VoskTool::portValue(texts.port));
    param.httpPort = static_cast<quint16>(VoskTool::portValue(texts.httpPort));
    if (param.httpPort == 0)
        param.httpPort = 80;
    param.dhcpEnabled = parser.isSet(dhcp) ? (dhcpOn ? 1 : 0) : current.dhcpEnabled;
    if (record.addressInfoValid == 1) {
        VOSK::copyField(param.ipv6Address, record.ipv6Address);
        VOSK::copyField(param.ipv6Gateway, record.ipv6Gateway);
        param.ipv6PrefixLength = record.ipv6PrefixLength;
    }

    writeProgress(1, 1, serial);
    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    if (!handler->modifyDeviceNetParam(key, password, &param)) {
        writeResult(serial, failureText(Operation::Modify, false, handler->getLastError()));
        return SomeFailed;
    }
    writeResult(serial, succeedText());
    return AllDone;
}

int batch(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    NetOptions net;
    const QCommandLineOption dhcp(QStringLiteral("dhcp"), QStringLiteral("Every device to DHCP."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("Print what would be sent, send nothing."));
    parser.addOptions({net.start, net.mask, net.gateway, net.port, net.httpPort, dhcp, net.passwordFile, dryRun});
    const Parsed parsed = parse(parser, common, QStringLiteral("batch"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (parser.positionalArguments().size() != 1) {
        writeErr(QStringLiteral("batch takes one plan file"));
        return BadInput;
    }
    const QString planPath = parser.positionalArguments().first();
    BatchPlan::Defaults defaults;
    defaults.start = parser.value(net.start).trimmed();
    defaults.mask = parser.value(net.mask).trimmed();
    defaults.gateway = parser.value(net.gateway).trimmed();
    defaults.port = parser.value(net.port).trimmed();
    defaults.httpPort = parser.value(net.httpPort).trimmed();
    defaults.dhcp = parser.isSet(dhcp);

    QFile planFile(planPath);
    if (!planFile.open(QIODevice::ReadOnly)) {
        writeErr(QStringLiteral("cannot read the plan %1: %2").arg(planPath, planFile.errorString()));
        return BadInput;
    }
    QList<BatchPlan::Line> plan;
    QStringList errors;
    if (!BatchPlan::read(planFile, defaults, &plan, &errors)) {
        for (const QString &error : errors)
            writeErr(planPath + QStringLiteral(": ") + error);
        writeErr(QStringLiteral("nothing was sent"));
        return BadInput;
    }
    QByteArray password;
    if (!parser.isSet(dryRun) && !readAdminPassword(parser, net.passwordFile, &password))
        return BadInput;

    QStringList serials;
    for (const BatchPlan::Line &line : plan)
        serials << line.serial;
    DeviceFinder finder;
    if (!discover(finder, serials, 0, common.waitMs))
        return SomeFailed;

    VOSK::VoskHandler *handler = VOSK::VoskHandler::instance();
    int failed = 0;
    for (int i = 0; i < plan.size(); ++i) {
        const BatchPlan::Line &line = plan.at(i);
        VOSK_DEVICE_INFO record;
        DeviceKey key;
        if (const Lookup lookup = lookUp(line.serial, common.picks, &key, &record); lookup != Lookup::Found) {
            writeResult(line.serial, lookupFailureText(lookup));
            ++failed;
            continue;
        }
        // The device's stored block with the plan's values over it, as the
        // window's batch builds it.
        const QString mac = VOSK::fieldText(record.mac);
        VOSK_NET_PARAM param;
        std::memset(&param, 0, sizeof param);
        DeviceStore::instance()->getNetParam(line.serial, mac, param);
        if (!defaults.dhcp) {
            VOSK::setFieldText(param.ipv4Address, line.ip);
            if (!line.mask.isEmpty())
                VOSK::setFieldText(param.ipv4Mask, line.mask);
            if (!line.gateway.isEmpty())
                VOSK::setFieldText(param.ipv4Gateway, line.gateway);
        }
        if (VoskTool::portValue(line.port) != 0)
            param.port = static_cast<quint16>(VoskTool::portValue(line.port));
        // A device without an HTTP port keeps it, as the window's disabled
        // field keeps it.
        if (VoskTool::portValue(line.httpPort) != 0 && record.httpPort != 0)
            param.httpPort = static_cast<quint16>(VoskTool::portValue(line.httpPort));
        param.dhcpEnabled = defaults.dhcp ? 1 : 0;

        if (parser.isSet(dryRun)) {
            // The values kept come from the device's own record.
            writeOut(TerminalText::escape(line.serial) + QStringLiteral("\twould send ")
                     + TerminalText::escape(paramText(param)) + QLatin1Char('\n'));
            continue;
        }
        writeProgress(i + 1, int(plan.size()), line.serial);
        QString result;
        if (handler->modifyDeviceNetParam(key, password, &param)) {
            result = succeedText();
            DeviceStore::instance()->setNetParam(line.serial, mac, param);
        } else {
            result = failureText(Operation::Modify, true, handler->getLastError());
            ++failed;
        }
        writeResult(line.serial, result);
    }
    return failed == 0 ? AllDone : SomeFailed;
}

int restore(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    const QCommandLineOption codeFile(QStringLiteral("code-file"),
                                      QStringLiteral("File whose first line is the security code."),
                                      QStringLiteral("file"));
    parser.addOption(codeFile);
    const Parsed parsed = parse(parser, common, QStringLiteral("restore"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (parser.positionalArguments().size() != 1) {
        writeErr(QStringLiteral("restore takes the serial number of one device"));
        return BadInput;
    }
    const QString serial = parser.positionalArguments().first();
    if (!parser.isSet(codeFile)) {
        writeErr(QStringLiteral("restore needs --code-file"));
        return BadInput;
    }
    // The security code is a secret like a password: read from a file.
    QString code;
    if (!readPasswordFile(parser.value(codeFile), &code))
        return BadInput;
    code = code.trimmed();
    if (code.isEmpty()) {
        writeErr(QStringLiteral("Please input security code."));
        return BadInput;
    }
    // The dialog's field takes 32 characters; the code goes to the device
    // as Latin-1, where a character outside it would become '?'.
    if (code.size() > kMaxSecurityCodeLength || QString::fromLatin1(code.toLatin1()) != code) {
        writeErr(QStringLiteral("the security code is not one the reset service gives (at most %1 Latin-1 "
                                "characters)").arg(kMaxSecurityCodeLength));
        return BadInput;
    }

    DeviceFinder finder;
    if (!discover(finder, {serial}, 0, common.waitMs))
        return SomeFailed;
    DeviceKey key;
    if (const Lookup lookup = lookUp(serial, common.picks, &key, nullptr); lookup != Lookup::Found) {
        writeResult(serial, lookupFailureText(lookup));
        return SomeFailed;
    }
    writeProgress(1, 1, serial);
    // The window shows no error code here either: the device says only
    // that it refused.
    if (!VOSK::VoskHandler::instance()->resetDefaultPasswd(key, code.toLatin1())) {
        writeResult(serial, QStringLiteral("Restore password failed."));
        return SomeFailed;
    }
    writeResult(serial, QStringLiteral("Restore password succeed."));
    return AllDone;
}

int exportKeys(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    const QCommandLineOption expect = expectOption();
    parser.addOption(expect);
    const Parsed parsed = parse(parser, common, QStringLiteral("export-keys"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    int count = 0;
    if (!readExpect(parser, expect, &count))
        return BadInput;

    DeviceFinder finder;
    QVector<DeviceKey> devices;
    int failed = 0;
    if (!recoveryDevices(finder, parser.positionalArguments(), count, common.waitMs, common.picks, &devices, &failed))
        return SomeFailed;
    if (devices.isEmpty()) {
        writeErr(QStringLiteral("no device to export"));
        return SomeFailed;
    }
    const VoskTool::ExportList list = VoskTool::exportListFor(devices);
    ResetPasswordThread worker;
    worker.setType(ResetPasswordThread::TypeExport);
    worker.setExportList(list.entries);
    worker.setSoftVersions(list.versions);
    failed += runRecoveryWorker(worker, [](const VoskTool::RecoveryOutcome &outcome) {
        if (outcome.done)
            return QStringLiteral("Exported");
        if (!outcome.problem.isEmpty())
            return QStringLiteral("Not exported: %1.").arg(outcome.problem);
        return QStringLiteral("Error%1").arg(outcome.errorCode);
    });
    const QString folder = QDir::toNativeSeparators(ResetPasswordThread::workingFolder());
    std::fprintf(stderr, "vosktool-cli: key files in %s%s\n", folder.toLocal8Bit().constData(),
                 worker.errorOccurred() ? " (see out_error.txt)" : "");
    return failed == 0 ? AllDone : SomeFailed;
}

int reset(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    const QCommandLineOption answers(QStringLiteral("answers"),
                                     QStringLiteral("Folder of the reset service's answer files."),
                                     QStringLiteral("dir"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("File whose first line is the new password."),
                                          QStringLiteral("file"));
    const QCommandLineOption expect = expectOption();
    parser.addOptions({answers, passwordFile, expect});
    const Parsed parsed = parse(parser, common, QStringLiteral("reset"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    int count = 0;
    if (!readExpect(parser, expect, &count))
        return BadInput;
    if (!parser.isSet(answers) || parser.value(answers).isEmpty()) {
        writeErr(QStringLiteral("reset needs --answers, the folder of the answer files"));
        return BadInput;
    }
    const QString answersFolder = parser.value(answers);
    if (!QFileInfo(answersFolder).isDir()) {
        writeErr(QStringLiteral("the answers folder %1 does not exist").arg(answersFolder));
        return BadInput;
    }
    if (!parser.isSet(passwordFile)) {
        writeErr(QStringLiteral("reset needs --password-file"));
        return BadInput;
    }
    QByteArray password;
    if (!readNewPassword(parser.value(passwordFile), &password))
        return BadInput;

    DeviceFinder finder;
    QVector<DeviceKey> devices;
    int failed = 0;
    if (!recoveryDevices(finder, parser.positionalArguments(), count, common.waitMs, common.picks, &devices,
                         &failed)) {
        password.fill('\0');
        return SomeFailed;
    }
    VoskTool::ResetPlan plan = VoskTool::matchAnswerFiles(devices, answersFolder, password);
    password.fill('\0');
    // Known before anything is sent: written first, so that a cut run
    // still has them.
    for (const QString &serial : std::as_const(plan.mismatched)) {
        const QString problem = plan.problems.value(serial);
        writeResult(serial, problem.isEmpty() ? QStringLiteral("No answer file.")
                                              : QStringLiteral("No usable answer file: %1.").arg(problem));
        ++failed;
    }
    if (!VoskTool::writeMismatchList(plan.mismatched))
        writeErr(QStringLiteral("mismatch.txt could not be written in %1")
                     .arg(QDir::toNativeSeparators(ResetPasswordThread::workingFolder())));
    ResetPasswordThread worker;
    worker.setType(ResetPasswordThread::TypeReset);
    worker.setResetParams(plan.blocks);
    worker.setAnswerFiles(plan.answerFiles);
    worker.setSoftVersions(plan.versions);
    // The worker holds the only copy now, and wipes it when it is done.
    for (VoskTool::ResetPasswdParam &block : plan.blocks)
        std::memset(&block, 0, sizeof block);
    plan.blocks.clear();
    failed += runRecoveryWorker(worker, [](const VoskTool::RecoveryOutcome &outcome) {
        if (outcome.done)
            return succeedText();
        if (!outcome.problem.isEmpty())
            return QStringLiteral("Not reset: %1.").arg(outcome.problem);
        return failureText(Operation::Modify, true, outcome.errorCode);
    });
    if (worker.errorOccurred() || !plan.mismatched.isEmpty()) {
        const QString folder = QDir::toNativeSeparators(ResetPasswordThread::workingFolder());
        std::fprintf(stderr, "vosktool-cli: see in_error.txt or mismatch.txt in %s\n",
                     folder.toLocal8Bit().constData());
    }
    return failed == 0 ? AllDone : SomeFailed;
}

} // namespace CliCommands
