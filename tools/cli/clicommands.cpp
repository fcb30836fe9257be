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
#include "discovery/terminaltext.h"
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
    OnvifOptions onvif;
    parser.addOptions({json, csv, watchOption, rawOption, expect});
    parser.addOptions(onvifOptionList(onvif));
    const Parsed parsed = parse(parser, common, QStringLiteral("list"), arguments);
    if (parsed != Parsed::Ok)
        return parsed == Parsed::Help ? AllDone : BadInput;
    if (!readOnvifOptions(parser, onvif))
        return BadInput;
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
    if (parser.isSet(watchOption)) {
        finder.setOnvifCredentials(onvif.signIn, onvif.signInEvery);
        finder.setProbeAddresses(onvif.probeAddresses);
        return watch(finder, style, raw);
    }
    if (!discover(finder, onvif, common, {}, count))
        return SomeFailed;
    QList<VOSK_DEVICE_INFO> devices = finder.devices();
    // Scripts compare lists from run to run: a fixed order, not arrival.
    // ONVIF devices not signed in have no serial number: by address.
    std::stable_sort(devices.begin(), devices.end(), [](const VOSK_DEVICE_INFO &a, const VOSK_DEVICE_INFO &b) {
        const QString sa = VOSK::fieldText(a.serialNumber), sb = VOSK::fieldText(b.serialNumber);
        if (sa != sb)
            return sa < sb;
        return VOSK::fieldText(a.ipv4Address) < VOSK::fieldText(b.ipv4Address);
    });
    writeOut(DeviceFormat::list(devices, style, raw));
    // The credentials given did not open every device: the list is not
    // what was asked for (each refusal was said on standard error).
    return finder.refusedSignIns() > 0 ? SomeFailed : AllDone;
}

} // namespace CliCommands
