#include "tools/cli/clicommands.h"

#include "tools/cli/clioptions.h"

#include "discovery/deviceidentity.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "discovery/voskhandler.h"
#include "netparam/rules/passwordpolicy.h"
#include "netparam/rules/netparamrules.h"
#include "operations/addressclashes.h"
#include "operations/changeconfirmer.h"
#include "operations/netparams.h"
#include "operations/operationrunner.h"
#include "operations/operationwords.h"
#include "operations/voskdeviceoperations.h"
#include "operations/recoveryfiles.h"
#include "operations/resetpasswordthread.h"
#include "tools/cli/batchplan.h"
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
#include <limits>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace CliCommands {

namespace {

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

} // namespace

QString usage()
{
    return QStringLiteral(
        "Usage: vosktool-cli COMMAND [OPTIONS]\n"
        "\n"
        "Commands:\n"
        "  list [--json|--csv [--raw]] [--watch] [--expect N]\n"
        "      The devices on the network; --watch prints online, updated and\n"
        "      offline events until interrupted (a reader that falls behind gets\n"
        "      each device's latest event); --expect N stops listening once N\n"
        "      devices are seen. Control characters in device fields are\n"
        "      escaped, and a CSV cell starting with = + - @ gets a ' before it;\n"
        "      --raw writes CSV cells as the devices sent them.\n"
        "  activate SERIAL... --password-file FILE\n"
        "      Activates the devices with the new administrator password on the\n"
        "      first line of FILE ('-' reads standard input).\n"
        "  set SERIAL [--ip A] [--mask M] [--gateway G] [--port P] [--http-port P]\n"
        "      [--dhcp on|off] --password-file FILE\n"
        "      Changes the network parameters of one device; what is not given\n"
        "      keeps the device's value. FILE holds the administrator password.\n"
        "      An address held by another device found is refused unless\n"
        "      --allow-conflicts; the result says whether the device then\n"
        "      reported the new values (applied) within --confirm-wait MS.\n"
        "  batch PLAN.csv [--start A] [--mask M] [--gateway G] [--port P]\n"
        "      [--http-port P] [--dhcp] --password-file FILE [--dry-run]\n"
        "      Changes many devices: one line per device,\n"
        "      serial,ip,mask,gateway,port,http_port; an empty cell takes the\n"
        "      option's value, an empty ip the next address from --start. The\n"
        "      whole plan is checked before anything is sent; --dry-run prints\n"
        "      what would be sent. A device not found refuses the plan unless\n"
        "      --skip-missing (then it uses up no address); --parallel N asks N\n"
        "      devices at once (default 16); --allow-conflicts and\n"
        "      --confirm-wait as for set.\n"
        "  restore SERIAL --code-file FILE\n"
        "      Restores the default password of a device with the security code\n"
        "      the reset service gave for it (first line of FILE).\n"
        "  export-keys [SERIAL...] [--expect N]\n"
        "      Writes the reset key file of each device (default: every device\n"
        "      found) to the working folder of the batch reset, for the reset\n"
        "      service; keys that cannot be read are listed in out_error.txt.\n"
        "  reset --answers DIR --password-file FILE [SERIAL...] [--expect N]\n"
        "      Resets the devices with the reset service's answer files in DIR to\n"
        "      the new password on the first line of FILE; refusals go to\n"
        "      in_error.txt, devices without an answer to mismatch.txt.\n"
        "\n"
        "Every command: --interfaces NAMES (else VOSK_INTERFACES, else every\n"
        "interface), --wait MS (how long to listen for devices, default 3000),\n"
        "--pick SERIAL@MAC (repeatable: the device meant by SERIAL is the one\n"
        "announcing MAC; a device whose serial number or MAC another device\n"
        "announces too gets nothing without it).\n"
        "Results go to standard output, one line per device (serial number, a\n"
        "tab, the result); progress and errors to standard error.\n"
        "Exit codes: 0 every device done, 1 some device failed, 2 bad input.\n");
}


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

} // namespace CliCommands
