// The network commands of vosktool-cli: activate, set and batch, through
// the operations core as the window's pane does.

#include "tools/cli/clicommands.h"

#include "tools/cli/clioptions.h"

#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "netparam/rules/netparamrules.h"
#include "netparam/rules/passwordpolicy.h"
#include "operations/addressclashes.h"
#include "operations/changeconfirmer.h"
#include "operations/netparams.h"
#include "operations/onvifdeviceoperations.h"
#include "operations/operationrunner.h"
#include "operations/operationwords.h"
#include "tools/cli/batchplan.h"
#include "tools/cli/devicefinder.h"
#include "discovery/terminaltext.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QScopeGuard>

#include <algorithm>
#include <limits>
#include <optional>

namespace CliCommands {

namespace {

constexpr int kDefaultParallel = VoskTool::OperationRunner::kDefaultInFlight;

// Runs the jobs through the operations core, the window's way: up to
// `parallel` devices at once, each through its kind's operations. The
// progress lines follow the order of the devices whatever order their
// answers come in.
QVector<VoskTool::OperationOutcome> runJobs(VoskTool::OperationKind kind, const QVector<VoskTool::OperationJob> &jobs,
                                            const QStringList &names, const VoskTool::PasswordBytes &password,
                                            int parallel,
                                            const VoskTool::PasswordBytes &newPassword = VoskTool::PasswordBytes())
{
    VoskTool::OperationRunner runner;
    runner.setMaxInFlight(parallel);
    QVector<bool> ready(jobs.size(), false);
    int printed = 0;
    QObject::connect(&runner, &VoskTool::OperationRunner::outcomeReady, &runner, [&](int index) {
        ready[index] = true;
        while (printed < ready.size() && ready.at(printed)) {
            writeProgress(printed + 1, int(jobs.size()), names.value(printed));
            ++printed;
        }
    });
    runner.start(kind, jobs, password, newPassword);
    runner.waitForFinished();
    return runner.outcomes();
}

// After new parameters were taken: which devices reported them within
// `waitMs` (the device finder keeps the store current meanwhile).
// `finishedAtMs`: when the wait ended (for the words of a device not seen).
QHash<DeviceKey, bool> confirmChanges(const QVector<VoskTool::OperationJob> &jobs,
                                      const QVector<VoskTool::OperationOutcome> &outcomes, int waitMs,
                                      qint64 *finishedAtMs)
{
    QVector<DeviceKey> devices;
    QVector<VoskTool::NetParams> sent;
    for (int i = 0; i < jobs.size(); ++i) {
        if (outcomes.value(i).ok()) {
            devices.append(jobs.at(i).device);
            sent.append(jobs.at(i).params);
        }
    }
    QHash<DeviceKey, bool> applied;
    if (devices.isEmpty())
        return applied;
    VoskTool::ChangeConfirmer confirmer;
    QEventLoop loop;
    QObject::connect(&confirmer, &VoskTool::ChangeConfirmer::finished, &loop, &QEventLoop::quit);
    confirmer.expect(devices, sent, waitMs);
    loop.exec();
    *finishedAtMs = confirmer.finishedAtMs();
    for (const DeviceKey &device : std::as_const(devices))
        applied.insert(device, confirmer.applied(device));
    return applied;
}

// A changed device's result: the result, and for a success the note that
// the device reported the new values (the third column). A device that
// took the change and has not reported it since is no success: its result
// says so (and the command fails).
QPair<QString, QString> changeResult(const VoskTool::OperationOutcome &outcome, bool batch, bool applied,
                                     qint64 finishedAtMs)
{
    if (!outcome.ok()) {
        return {batch ? VoskTool::batchResultWord(VoskTool::OperationKind::SetNetParams, outcome).english()
                      : failureText(Operation::Modify, false, outcome),
                QString()};
    }
    QString note = applied ? VoskTool::appliedWord().english() : QString();
    if (outcome.rebooted)
        note += (note.isEmpty() ? QString() : QStringLiteral("; ")) + VoskTool::rebootedWord().english();
    if (!applied)
        return {VoskTool::notSeenWord(outcome, finishedAtMs).english(), note};
    return {succeedText(), note};
}

// Refuses a change that gives an address held by another device found, or
// one address twice; false when there is none (or they are allowed).
// Discovery stopped listening once the named devices were seen: it first
// listens on a little (at most kClashListenMs, within --wait) so that the
// other devices, which answer the same inquiry, are known too.
constexpr int kClashListenMs = 1000;

bool refuseClashes(const QVector<VoskTool::OperationJob> &jobs, DeviceFinder &finder, bool allowed, int waitMs)
{
    finder.waitFor({}, std::numeric_limits<int>::max(), std::min(waitMs, kClashListenMs));
    QVector<VoskTool::PlannedAddress> planned;
    for (const VoskTool::OperationJob &job : jobs)
        planned.append({job.device, job.params.dhcp ? QString() : job.params.ipv4Address});
    QVector<VoskTool::HeldAddress> listed;
    for (const VOSK_DEVICE_INFO &record : finder.devices())
        listed.append({DeviceKey::fromRecord(record), VOSK::fieldText(record.ipv4Address)});
    const QVector<VoskTool::AddressClash> clashes = VoskTool::findAddressClashes(planned, listed);
    if (clashes.isEmpty())
        return false;
    for (const QString &line : VoskTool::clashMessage(clashes, false).split(QLatin1Char('\n')))
        writeErr(TerminalText::escape(line) + (allowed ? QStringLiteral(" (allowed)") : QString()));
    if (allowed)
        return false;
    writeErr(QStringLiteral("nothing was sent: an address would be given twice (--allow-conflicts sends anyway)"));
    return true;
}

bool readCount(const QCommandLineParser &parser, const QCommandLineOption &option, int low, int high, int *value)
{
    bool ok = false;
    *value = parser.value(option).toInt(&ok);
    if (!ok || *value < low || *value > high) {
        writeErr(QStringLiteral("--%1 must be %2..%3").arg(option.names().first()).arg(low).arg(high));
        return false;
    }
    return true;
}

// Standard input holds one file's text only.
bool oneFromStandardInput(const QCommandLineParser &parser, const OnvifOptions &onvif,
                          const QCommandLineOption &passwordFile)
{
    if (parser.value(onvif.credentials) == QLatin1String("-") && parser.value(passwordFile) == QLatin1String("-")) {
        writeErr(QStringLiteral("--onvif-credentials and --password-file cannot both read standard input"));
        return false;
    }
    return true;
}

// Why an ONVIF device found is sent nothing, or empty: one not activated
// is left to its kind (which says so); one whose sign-in failed has no
// cells to build its parameters from.
QString onvifRefusal(const VOSK_DEVICE_INFO &record)
{
    if (!VOSK::isOnvifRecord(record) || record.notActivated || (VOSK::onvifFlags(record) & VOSK::OnvifSignedIn))
        return QString();
    return (VOSK::onvifFlags(record) & VOSK::OnvifSignInRefused)
        ? QStringLiteral("ONVIF sign-in refused (--onvif-credentials): nothing sent.")
        : QStringLiteral("ONVIF sign-in failed: nothing sent.");
}

struct RunOptions
{
    QCommandLineOption parallel{QStringLiteral("parallel"),
                                QStringLiteral("Devices asked at once (default 16)."), QStringLiteral("n"),
                                QString::number(kDefaultParallel)};
    QCommandLineOption confirmWait{QStringLiteral("confirm-wait"),
                                   QStringLiteral("How long to wait for a changed device's report of the new "
                                                  "values, in milliseconds (default 5000)."),
                                   QStringLiteral("ms"), QString::number(VoskTool::ChangeConfirmer::kDefaultWaitMs)};
    QCommandLineOption allowConflicts{QStringLiteral("allow-conflicts"),
                                      QStringLiteral("Send even when an address would be given twice.")};
};

// The devices a command names, each looked up once: the jobs of those
// found and their names, and for every name its lookup and its job's index
// (-1 when it was not found).
struct NamedJobs
{
    QVector<VoskTool::OperationJob> jobs;
    QStringList names;
    QVector<int> jobOf;
    QVector<Lookup> lookups;
};

NamedJobs jobsForNames(const QStringList &serials, const CommonOptions &common)
{
    NamedJobs named;
    named.jobOf.fill(-1, serials.size());
    for (int i = 0; i < serials.size(); ++i) {
        DeviceKey key;
        named.lookups.append(lookUp(serials.at(i), common.picks, &key, nullptr, common.pickedHosts));
        if (named.lookups.last() == Lookup::Found) {
            named.jobOf[i] = int(named.jobs.size());
            named.jobs.append({key, {}});
            named.names.append(serials.at(i));
        }
    }
    return named;
}

// One result line per name, in the order given; the command's exit code.
int writeNamedResults(const QStringList &serials, const NamedJobs &named,
                      const QVector<VoskTool::OperationOutcome> &outcomes, Operation operation)
{
    const bool batch = serials.size() > 1;
    int failed = 0;
    for (int i = 0; i < serials.size(); ++i) {
        const int job = named.jobOf.at(i);
        QString result;
        if (job < 0)
            result = lookupFailureText(named.lookups.at(i));
        else if (outcomes.at(job).ok())
            result = succeedText();
        else
            result = failureText(operation, batch, outcomes.at(job));
        failed += result == succeedText() ? 0 : 1;
        writeResult(serials.at(i), result);
    }
    return failed == 0 ? AllDone : SomeFailed;
}

} // namespace

int activate(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    RunOptions run;
    const QCommandLineOption passwordFile = newPasswordFileOption();
    OnvifOptions onvif;
    parser.addOptions({passwordFile, run.parallel});
    parser.addOptions(onvifOptionList(onvif));
    const Parsed parsed = parse(parser, common, QStringLiteral("activate"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (!oneFromStandardInput(parser, onvif, passwordFile) || !readOnvifOptions(parser, onvif))
        return BadInput;
    const QStringList serials = parser.positionalArguments();
    if (serials.isEmpty()) {
        writeErr(QStringLiteral("activate needs the serial numbers of the devices"));
        return BadInput;
    }
    if (!parser.isSet(passwordFile)) {
        writeErr(QStringLiteral("activate needs --password-file"));
        return BadInput;
    }
    int parallel = kDefaultParallel;
    if (!readCount(parser, run.parallel, 1, VoskTool::OperationRunner::kMaxInFlight, &parallel))
        return BadInput;
    QString password;
    if (!readNewPasswordText(parser.value(passwordFile), &password))
        return BadInput;
    // The policy's range depends on the kinds of device named, known once
    // they are found; nothing is sent before it passes.
    const auto wipeText = qScopeGuard([&password] { password.fill(QLatin1Char('\0')); });
    DeviceFinder finder;
    if (!discover(finder, onvif, common, serials, 0))
        return SomeFailed;
    const NamedJobs named = jobsForNames(serials, common);
    VoskTool::PasswordBytes passwordBytes;
    if (!checkNewPassword(password, passwordTargets(named.jobs), &passwordBytes))
        return BadInput;
    // Said before anything is sent: ONVIF has nothing but clear text for
    // the first password over plain HTTP.
    for (int i = 0; i < named.jobs.size(); ++i) {
        if (VoskTool::OnvifDeviceOperations::activatesInClear(named.jobs.at(i).device))
            writeErr(QStringLiteral("%1: this ONVIF device offers no HTTPS: its new password goes to it in clear "
                                    "over HTTP, readable by anyone on the network path")
                         .arg(terminalSafe(named.names.at(i))));
    }
    const QVector<VoskTool::OperationOutcome> outcomes =
        runJobs(VoskTool::OperationKind::Activate, named.jobs, named.names, passwordBytes, parallel);
    passwordBytes.wipe();
    return writeNamedResults(serials, named, outcomes, Operation::Activate);
}

namespace {

// The administrator password of a modification: only required, as the
// window requires it. Its bytes are made once the devices are known
// (passwordBytes()): ours take the 8-bit conversion and at most 16 bytes,
// ONVIF devices UTF-8 and up to 64 characters.
bool readAdminPassword(const QCommandLineParser &parser, const QCommandLineOption &option, QString *password)
{
    if (!parser.isSet(option)) {
        writeErr(QStringLiteral("Sorry, please enter the administrator password. (--password-file)"));
        return false;
    }
    if (!readPasswordFile(parser.value(option), password))
        return false;
    if (password->isEmpty()) {
        writeErr(QStringLiteral("Sorry, please enter the administrator password."));
        return false;
    }
    return true;
}

QString paramText(const VoskTool::NetParams &params)
{
    return QStringLiteral("ip=%1 mask=%2 gateway=%3 port=%4 http=%5 dhcp=%6")
        .arg(params.ipv4Address, params.ipv4Mask, params.ipv4Gateway)
        .arg(params.port)
        .arg(params.httpPort)
        .arg(params.dhcp ? QStringLiteral("on") : QStringLiteral("off"));
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
    QCommandLineOption ipv6{QStringLiteral("ipv6"), QStringLiteral("New IPv6 address."), QStringLiteral("address")};
    QCommandLineOption ipv6Prefix{QStringLiteral("ipv6-prefix"), QStringLiteral("New IPv6 prefix length."),
                                  QStringLiteral("n")};
    QCommandLineOption ipv6Gateway{QStringLiteral("ipv6-gateway"), QStringLiteral("New IPv6 gateway."),
                                   QStringLiteral("address")};
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
    RunOptions run;
    const QCommandLineOption dhcp(QStringLiteral("dhcp"), QStringLiteral("DHCP on or off."), QStringLiteral("on|off"));
    OnvifOptions onvif;
    parser.addOptions({net.ip, net.mask, net.gateway, net.port, net.httpPort, net.ipv6, net.ipv6Prefix,
                       net.ipv6Gateway, dhcp, net.passwordFile, run.confirmWait, run.allowConflicts});
    parser.addOptions(onvifOptionList(onvif));
    const Parsed parsed = parse(parser, common, QStringLiteral("set"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (!oneFromStandardInput(parser, onvif, net.passwordFile) || !readOnvifOptions(parser, onvif))
        return BadInput;
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
    int confirmWait = 0;
    if (!readCount(parser, run.confirmWait, 0, kMaxWaitMs, &confirmWait))
        return BadInput;
    // Every value given is checked before the network is touched.
    const struct
    {
        VoskTool::NetField field;
        const QCommandLineOption &option;
    } given[] = {{VoskTool::NetField::IpAddress, net.ip}, {VoskTool::NetField::Port, net.port},
                 {VoskTool::NetField::SubnetMask, net.mask}, {VoskTool::NetField::Gateway, net.gateway},
                 {VoskTool::NetField::HttpPort, net.httpPort}, {VoskTool::NetField::Ipv6Address, net.ipv6},
                 {VoskTool::NetField::Ipv6Gateway, net.ipv6Gateway},
                 {VoskTool::NetField::PrefixLength, net.ipv6Prefix}};
    for (const auto &value : given) {
        if (!parser.isSet(value.option))
            continue;
        const QString message = BatchPlan::checkValue(int(value.field), parser.value(value.option));
        if (!message.isEmpty()) {
            writeErr(QStringLiteral("--%1: %2").arg(value.option.names().first(), message));
            return BadInput;
        }
    }
    QString password;
    if (!readAdminPassword(parser, net.passwordFile, &password))
        return BadInput;
    // Without credentials of their own, ONVIF devices are signed in as
    // the administrator the change is made as.
    if (onvif.signIn.isEmpty())
        onvif.signIn = {QStringLiteral("admin"), password.toUtf8()};

    DeviceFinder finder;
    if (!discover(finder, onvif, common, {serial}, 0))
        return SomeFailed;
    VOSK_DEVICE_INFO record;
    DeviceKey key;
    if (const Lookup lookup = lookUp(serial, common.picks, &key, &record, common.pickedHosts); lookup != Lookup::Found) {
        writeResult(serial, lookupFailureText(lookup));
        return SomeFailed;
    }
    const bool isOnvif = key.isOnvif();
    if (const QString refusal = onvifRefusal(record); !refusal.isEmpty()) {
        writeResult(serial, refusal);
        return SomeFailed;
    }
    if (isOnvif && parser.isSet(net.port)) {
        writeErr(QStringLiteral("%1: an ONVIF device has no device port (--http-port is its port)").arg(serial));
        return BadInput;
    }
    if (parser.isSet(dhcp) && !(record.capabilities & VOSK_CAP_DHCP)) {
        writeErr(QStringLiteral("%1: the device does not support DHCP").arg(serial));
        return BadInput;
    }
    if (parser.isSet(net.httpPort) && record.httpPort == 0) {
        writeErr(QStringLiteral("%1: the device has no HTTP port").arg(serial));
        return BadInput;
    }
    // The window's rules for what the form offers this device.
    const bool ipv6Given = parser.isSet(net.ipv6) || parser.isSet(net.ipv6Prefix) || parser.isSet(net.ipv6Gateway);
    if (ipv6Given && !VoskTool::ipv6Modifiable(record)) {
        writeErr(QStringLiteral("%1: the device does not allow its IPv6 parameters to be changed").arg(serial));
        return BadInput;
    }
    const bool ipv4Off = VoskTool::ipv4Off(record);
    if (ipv4Off && (parser.isSet(net.ip) || parser.isSet(net.mask) || parser.isSet(net.gateway))) {
        writeErr(QStringLiteral("%1: IPv4 is off on this device (it is reached over IPv6 alone): --ip, --mask and "
                                "--gateway do not apply")
                     .arg(serial));
        return BadInput;
    }

    // The device's own values with what was given over them, checked as a
    // whole in the window's order.
    VoskTool::NetChange change;
    auto givenText = [&parser](const QCommandLineOption &option) -> std::optional<QString> {
        return parser.isSet(option) ? std::optional<QString>(parser.value(option).trimmed()) : std::nullopt;
    };
    change.ipv4Address = givenText(net.ip);
    change.ipv4Mask = givenText(net.mask);
    change.ipv4Gateway = givenText(net.gateway);
    if (parser.isSet(net.port))
        change.port = VoskTool::portValue(parser.value(net.port));
    if (parser.isSet(net.httpPort))
        change.httpPort = VoskTool::portValue(parser.value(net.httpPort));
    if (parser.isSet(dhcp))
        change.dhcp = dhcpOn;
    change.ipv6Address = givenText(net.ipv6);
    change.ipv6Gateway = givenText(net.ipv6Gateway);
    if (parser.isSet(net.ipv6Prefix))
        change.ipv6PrefixLength = VoskTool::portValue(parser.value(net.ipv6Prefix));
    VoskTool::NetParams params = VoskTool::applyChange(VoskTool::netParamsOf(record), change);
    if (params.httpPort == 0)
        params.httpPort = 80; // as the window sends it for a device without one
    if (ipv6Given && params.dhcp) {
        // The window greys the IPv6 fields while DHCP is on.
        writeErr(QStringLiteral("%1: with DHCP on the device gets its addresses from the DHCP server: the IPv6 "
                                "options need --dhcp off")
                     .arg(serial));
        return BadInput;
    }

    VoskTool::NetParamTexts texts;
    texts.ipAddress = params.ipv4Address;
    texts.subnetMask = params.ipv4Mask;
    texts.gateway = params.ipv4Gateway;
    // ONVIF has no device port; a device may keep no gateway, and then
    // none is sent (an empty --gateway was refused above).
    texts.port = isOnvif ? QString() : QString::number(params.port);
    texts.portEnabled = !isOnvif;
    texts.gatewayOptional = isOnvif && VOSK::fieldText(record.ipv4Gateway).trimmed().isEmpty();
    texts.ipv6GatewayOptional = isOnvif && VOSK::fieldText(record.ipv6Gateway).trimmed().isEmpty();
    texts.httpPort = QString::number(params.httpPort);
    texts.httpPortEnabled = record.httpPort != 0;
    texts.ipv4Required = !ipv4Off;
    // Without an IPv6 option the IPv6 values are sent back as they are.
    texts.ipv6Enabled = ipv6Given;
    texts.ipv6Address = params.ipv6Address;
    texts.ipv6Gateway = params.ipv6Gateway;
    texts.prefixLength = QString::number(params.ipv6PrefixLength);
    const VoskTool::FieldFailure failure = VoskTool::checkSingleFields(texts);
    if (!failure.ok()) {
        writeErr(QStringLiteral("%1: %2").arg(serial, BatchPlan::fieldMessage(int(failure.field), int(failure.error))));
        return BadInput;
    }
    const QVector<VoskTool::OperationJob> jobs{{key, params}};
    if (refuseClashes(jobs, finder, parser.isSet(run.allowConflicts), common.waitMs))
        return BadInput;

    VoskTool::PasswordBytes adminBytes;
    const bool encoded = passwordBytes(password, passwordTargets(jobs), &adminBytes);
    password.fill(QChar(0));
    if (!encoded)
        return BadInput;
    const QVector<VoskTool::OperationOutcome> outcomes =
        runJobs(VoskTool::OperationKind::SetNetParams, jobs, {serial}, adminBytes, 1);
    adminBytes.wipe();
    qint64 finishedAt = 0;
    const QHash<DeviceKey, bool> applied = confirmChanges(jobs, outcomes, confirmWait, &finishedAt);
    const bool seen = applied.value(jobs.at(0).device);
    const auto [result, note] = changeResult(outcomes.at(0), false, seen, finishedAt);
    writeResult(serial, result, note);
    return outcomes.at(0).ok() && seen ? AllDone : SomeFailed;
}

int batch(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    NetOptions net;
    RunOptions run;
    const QCommandLineOption dhcp(QStringLiteral("dhcp"), QStringLiteral("Every device to DHCP."));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("Print what would be sent, send nothing."));
    const QCommandLineOption skipMissing(QStringLiteral("skip-missing"),
                                         QStringLiteral("Leave out the devices not found instead of refusing "
                                                        "the plan."));
    OnvifOptions onvif;
    parser.addOptions({net.start, net.mask, net.gateway, net.port, net.httpPort, dhcp, net.passwordFile, dryRun,
                       skipMissing, run.parallel, run.confirmWait, run.allowConflicts});
    parser.addOptions(onvifOptionList(onvif));
    const Parsed parsed = parse(parser, common, QStringLiteral("batch"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (!oneFromStandardInput(parser, onvif, net.passwordFile) || !readOnvifOptions(parser, onvif))
        return BadInput;
    if (parser.positionalArguments().size() != 1) {
        writeErr(QStringLiteral("batch takes one plan file"));
        return BadInput;
    }
    int parallel = kDefaultParallel, confirmWait = 0;
    if (!readCount(parser, run.parallel, 1, VoskTool::OperationRunner::kMaxInFlight, &parallel)
        || !readCount(parser, run.confirmWait, 0, kMaxWaitMs, &confirmWait))
        return BadInput;
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
    QString password;
    if (!parser.isSet(dryRun) && !readAdminPassword(parser, net.passwordFile, &password))
        return BadInput;
    if (onvif.signIn.isEmpty() && !password.isEmpty())
        onvif.signIn = {QStringLiteral("admin"), password.toUtf8()};

    QStringList serials;
    for (const BatchPlan::Line &line : plan)
        serials << line.serial;
    DeviceFinder finder;
    if (!discover(finder, onvif, common, serials, 0))
        return SomeFailed;

    // The whole plan is checked against the devices found before anything
    // is sent: a device not found refuses it (or is left out, and then
    // uses up no address).
    QVector<VOSK_DEVICE_INFO> records;
    QList<BatchPlan::Line> found;
    QStringList missing, ambiguous;
    QList<QPair<QString, QString>> unreadable; // ONVIF devices not signed in, and why
    for (const BatchPlan::Line &line : std::as_const(plan)) {
        VOSK_DEVICE_INFO record;
        DeviceKey key;
        const Lookup lookup = lookUp(line.serial, common.picks, &key, &record, common.pickedHosts);
        if (lookup == Lookup::Found && !onvifRefusal(record).isEmpty()) {
            unreadable.append({line.serial, onvifRefusal(record)});
        } else if (lookup == Lookup::Found) {
            records.append(record);
            found.append(line);
        } else if (lookup == Lookup::Ambiguous) {
            // Said on standard error by lookUp(); never sent, whatever the
            // options: the user names the device with --pick.
            ambiguous << line.serial;
        } else {
            missing << line.serial;
            writeErr(QStringLiteral("%1: line %2: %3: not found").arg(planPath).arg(line.lineNumber).arg(TerminalText::escape(line.serial)));
        }
    }
    if (!unreadable.isEmpty()) {
        // As for two devices of one identity: the plan may be right, the
        // credentials are not.
        for (const auto &[serial, refusal] : std::as_const(unreadable))
            writeResult(serial, refusal);
        writeErr(QStringLiteral("nothing was sent"));
        return SomeFailed;
    }
    if (!ambiguous.isEmpty()) {
        // Refused as a device that failed, not as bad input: the plan may
        // be right, the network holds two devices of one identity.
        for (const QString &serial : std::as_const(ambiguous))
            writeResult(serial, lookupFailureText(Lookup::Ambiguous));
        writeErr(QStringLiteral("nothing was sent"));
        return SomeFailed;
    }
    if (!missing.isEmpty() && !parser.isSet(skipMissing)) {
        writeErr(QStringLiteral("nothing was sent (--skip-missing leaves the devices not found out)"));
        return BadInput;
    }
    // The window's rules for what a batch may give: no address to devices
    // that keep theirs, no HTTP port when a device has none, one port only
    // to devices that share one.
    const VoskTool::BatchFieldRules rules = VoskTool::batchFieldRules(records);
    QStringList refused;
    if (!defaults.dhcp && !rules.addressEditable
        && std::any_of(found.cbegin(), found.cend(), [](const BatchPlan::Line &line) {
               return !line.ip.isEmpty() || !line.mask.isEmpty();
           }))
        refused << QStringLiteral("these devices keep their addresses (device types 0x9D00..0x9FFF): "
                                  "give no ip, mask or --start");
    if (!rules.httpPortEditable && !defaults.httpPort.isEmpty())
        refused << QStringLiteral("--http-port: a device of the plan has no HTTP port");
    if (!rules.portEditable && !defaults.port.isEmpty())
        refused << QStringLiteral("--port: the devices of the plan do not share one port; give it per line");
    for (int i = 0; i < found.size(); ++i) {
        if (VOSK::isOnvifRecord(records.at(i)) && !found.at(i).port.isEmpty())
            refused << QStringLiteral("line %1: %2: an ONVIF device has no device port")
                           .arg(found.at(i).lineNumber)
                           .arg(TerminalText::escape(found.at(i).serial));
    }
    // Addresses from --start are numbered over the devices that will be
    // sent something, in plan order.
    int numbered = 0;
    for (BatchPlan::Line &line : found) {
        if (!line.numbered)
            continue;
        line.ip = VoskTool::nextAddress(defaults.start, numbered++);
        if (line.ip.isEmpty() || !BatchPlan::checkValue(int(VoskTool::NetField::IpAddress), line.ip).isEmpty())
            refused << QStringLiteral("line %1: %2: --start %3 leaves no host address for this device")
                           .arg(line.lineNumber).arg(line.serial, defaults.start);
    }
    for (const QString &reason : std::as_const(refused))
        writeErr(planPath + QStringLiteral(": ") + reason);
    if (!refused.isEmpty()) {
        writeErr(QStringLiteral("nothing was sent"));
        return BadInput;
    }

    QVector<VoskTool::OperationJob> jobs;
    QStringList names;
    for (int i = 0; i < found.size(); ++i) {
        names.append(found.at(i).serial);
        const BatchPlan::Line &line = found.at(i);
        const VOSK_DEVICE_INFO &record = records.at(i);
        VoskTool::NetChange change;
        if (!defaults.dhcp) {
            if (!line.ip.isEmpty())
                change.ipv4Address = line.ip;
            if (!line.mask.isEmpty())
                change.ipv4Mask = line.mask;
            if (!line.gateway.isEmpty())
                change.ipv4Gateway = line.gateway;
        }
        if (VoskTool::portValue(line.port) != 0)
            change.port = VoskTool::portValue(line.port);
        if (VoskTool::portValue(line.httpPort) != 0)
            change.httpPort = VoskTool::portValue(line.httpPort);
        change.dhcp = defaults.dhcp;
        jobs.append({DeviceKey::fromRecord(record), VoskTool::applyChange(VoskTool::netParamsOf(record), change)});
    }
    if (refuseClashes(jobs, finder, parser.isSet(run.allowConflicts), common.waitMs))
        return BadInput;

    if (parser.isSet(dryRun)) {
        for (int i = 0; i < jobs.size(); ++i)
            writeOut(TerminalText::escape(names.at(i)) + QStringLiteral("\twould send ")
                     + TerminalText::escape(paramText(jobs.at(i).params)) + QLatin1Char('\n'));
        return AllDone;
    }
    VoskTool::PasswordBytes adminBytes;
    const bool encoded = passwordBytes(password, passwordTargets(jobs), &adminBytes);
    password.fill(QChar(0));
    if (!encoded)
        return BadInput;
    const QVector<VoskTool::OperationOutcome> outcomes =
        runJobs(VoskTool::OperationKind::SetNetParams, jobs, names, adminBytes, parallel);
    adminBytes.wipe();
    qint64 finishedAt = 0;
    const QHash<DeviceKey, bool> applied = confirmChanges(jobs, outcomes, confirmWait, &finishedAt);
    int failed = int(missing.size());
    int next = 0;
    for (const BatchPlan::Line &line : std::as_const(plan)) {
        if (missing.contains(line.serial)) {
            writeResult(line.serial, notFoundText());
            continue;
        }
        const VoskTool::OperationOutcome &outcome = outcomes.at(next);
        const bool seen = applied.value(jobs.at(next).device);
        failed += outcome.ok() && seen ? 0 : 1;
        const auto [result, note] = changeResult(outcome, true, seen, finishedAt);
        writeResult(line.serial, result, note);
        ++next;
    }
    return failed == 0 ? AllDone : SomeFailed;
}

int passwd(const QStringList &arguments)
{
    QCommandLineParser parser;
    CommonOptions common;
    RunOptions run;
    const QCommandLineOption oldPasswordFile(QStringLiteral("old-password-file"),
                                             QStringLiteral("File whose first line is the current administrator "
                                                            "password."),
                                             QStringLiteral("file"));
    const QCommandLineOption passwordFile = newPasswordFileOption();
    const QCommandLineOption devicesFile(QStringLiteral("devices"),
                                         QStringLiteral("File naming the devices, one serial number a line."),
                                         QStringLiteral("file"));
    const OnvifOptions onvif;
    parser.addOptions({oldPasswordFile, passwordFile, devicesFile, run.parallel, onvif.acceptCertificate});
    const Parsed parsed = parse(parser, common, QStringLiteral("passwd"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    QStringList serials = parser.positionalArguments();
    if (parser.isSet(devicesFile)) {
        if (!serials.isEmpty()) {
            writeErr(QStringLiteral("passwd takes serial numbers or --devices, not both"));
            return BadInput;
        }
        const QString path = parser.value(devicesFile);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            writeErr(QStringLiteral("cannot read the device list %1: %2").arg(path, file.errorString()));
            return BadInput;
        }
        QStringList errors;
        if (!BatchPlan::readSerials(file, &serials, &errors)) {
            for (const QString &error : std::as_const(errors))
                writeErr(path + QStringLiteral(": ") + error);
            writeErr(QStringLiteral("nothing was sent"));
            return BadInput;
        }
    } else if (serials.isEmpty()) {
        writeErr(QStringLiteral("passwd needs the serial numbers of the devices, or --devices"));
        return BadInput;
    }
    if (!parser.isSet(oldPasswordFile)) {
        writeErr(QStringLiteral("passwd needs --old-password-file, the devices' current password"));
        return BadInput;
    }
    if (!parser.isSet(passwordFile)) {
        writeErr(QStringLiteral("passwd needs --password-file, the new password"));
        return BadInput;
    }
    // Standard input holds one of them: the second read would find the
    // first one's next line, or nothing.
    if (parser.value(oldPasswordFile) == QLatin1String("-") && parser.value(passwordFile) == QLatin1String("-")) {
        writeErr(QStringLiteral("only one of --old-password-file and --password-file can be standard input"));
        return BadInput;
    }
    int parallel = kDefaultParallel;
    if (!readCount(parser, run.parallel, 1, VoskTool::OperationRunner::kMaxInFlight, &parallel))
        return BadInput;
    QString oldText, newText;
    const auto wipeTexts = qScopeGuard([&oldText, &newText] {
        oldText.fill(QLatin1Char('\0'));
        newText.fill(QLatin1Char('\0'));
    });
    if (!readPasswordFile(parser.value(oldPasswordFile), &oldText))
        return BadInput;
    if (oldText.isEmpty()) {
        writeErr(QStringLiteral("Sorry, please enter the administrator password."));
        return BadInput;
    }
    if (!readNewPasswordText(parser.value(passwordFile), &newText))
        return BadInput;
    // The device would take it and change nothing; said now, nothing is sent.
    if (newText == oldText) {
        writeErr(QStringLiteral("the new password is the old one"));
        return BadInput;
    }

    DeviceFinder finder;
    finder.acceptCertificates(parser.values(onvif.acceptCertificate));
    if (!discover(finder, serials, 0, common.waitMs))
        return SomeFailed;
    const NamedJobs named = jobsForNames(serials, common);
    // Both passwords as each kind named takes them, the new one under the
    // policy's range for those kinds; nothing is sent before both pass.
    const VoskTool::PasswordTargets targets = passwordTargets(named.jobs);
    VoskTool::PasswordBytes oldPassword, newPassword;
    if (!checkNewPassword(newText, targets, &newPassword) || !passwordBytes(oldText, targets, &oldPassword)) {
        newPassword.wipe();
        return BadInput;
    }
    const QVector<VoskTool::OperationOutcome> outcomes =
        runJobs(VoskTool::OperationKind::ChangePassword, named.jobs, named.names, oldPassword, parallel, newPassword);
    oldPassword.wipe();
    newPassword.wipe();
    return writeNamedResults(serials, named, outcomes, Operation::ChangePassword);
}

} // namespace CliCommands
