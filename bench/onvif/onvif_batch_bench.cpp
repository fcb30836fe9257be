// onvif-bench-batch [--count N] [--silent S] [--signin-only]
//
// The ONVIF device kind as the pane runs it: the simulator with N ONVIF
// devices on loopback, all taking HTTP digest only, the first S of them
// silent (they are discovered, and never answer HTTP). OnvifDevices lists
// them and signs in to all (time printed), then one OperationRunner batch
// gives each device a new address (16 at once, as the pane), and the time
// to the last result is printed, then the time until ChangeConfirmer saw
// every answering device at its new address. Throughout, the longest gap
// between two turns of the main thread's event loop (the GUI thread's
// stall in the window) is taken. Run it inside unshare --net.

#include "discovery/deviceinfo.h"
#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"
#include "onvif/discoveryclient.h"
#include "operations/changeconfirmer.h"
#include "operations/devicekinds.h"
#include "operations/onvifdeviceoperations.h"
#include "operations/onvifdevices.h"
#include "operations/operationrunner.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <cstring>

using namespace VoskTool;

namespace {

constexpr quint16 kDiscoveryPort = 34911;
constexpr quint16 kHttpPort = 18911;

bool startSimulator(QProcess &process, int count, int silent)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--interfaces"), QStringLiteral("lo"), QStringLiteral("--count"),
                          QStringLiteral("0"), QStringLiteral("--onvif"), QString::number(count),
                          QStringLiteral("--onvif-discovery-port"), QString::number(kDiscoveryPort),
                          QStringLiteral("--onvif-port"), QString::number(kHttpPort), QStringLiteral("--onvif-address"),
                          QStringLiteral("127.62.0.1"), QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                          QStringLiteral("--onvif-behaviour"), QStringLiteral("auth=digest"),
                          QStringLiteral("--parent"), QString::number(::getpid())};
    if (silent > 0)
        arguments << QStringLiteral("--onvif-behaviour") << QStringLiteral("0-%1:silent").arg(silent - 1);
    process.start(qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH)), arguments);
    if (!process.waitForStarted(5000))
        return false;
    QByteArray out;
    while (!out.contains("ready")) {
        if (!process.waitForReadyRead(60000))
            return false;
        out += process.readAllStandardOutput();
    }
    return true;
}

// The longest gap between two turns of this thread's event loop.
struct StallMeter
{
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    StallMeter()
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            worst = std::max(worst, now - last);
            last = now;
        });
    }
    void start()
    {
        worst = 0;
        clock.start();
        last = 0;
        timer.start();
    }
    double stop()
    {
        timer.stop();
        return double(worst) / 1e6;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("ONVIF devices."),
                                         QStringLiteral("n"), QStringLiteral("100"));
    const QCommandLineOption silentOption(QStringLiteral("silent"), QStringLiteral("Silent devices among them."),
                                          QStringLiteral("s"), QStringLiteral("10"));
    const QCommandLineOption signInOnly(QStringLiteral("signin-only"), QStringLiteral("No batch."));
    parser.addOptions({countOption, silentOption, signInOnly});
    parser.addHelpOption();
    parser.process(app);
    const int count = qBound(1, parser.value(countOption).toInt(), 4000);
    const int silent = qBound(0, parser.value(silentOption).toInt(), count);
    VOSK::registerMetaTypes();

    QProcess simulator;
    if (!startSimulator(simulator, count, silent)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    Onvif::DiscoveryOptions options;
    options.port = kDiscoveryPort;
    options.interfaces = {"lo"};
    OnvifDevices devices(options);
    DeviceStore *store = DeviceStore::instance();
    QObject::connect(&devices, &OnvifDevices::signalDeviceOnline, [store](const VOSK_DEVICE_INFO &r) { store->addDevice(r); });
    QObject::connect(&devices, &OnvifDevices::signalDeviceUpdate, [store](const VOSK_DEVICE_INFO &r) { store->updateDevice(r); });
    QObject::connect(&devices, &OnvifDevices::signalDeviceOffline, [store](const VOSK_DEVICE_INFO &r) { store->removeDevice(r); });
    auto kind = std::make_shared<OnvifDeviceOperations>();
    DeviceKinds::instance().add(kind);
    StallMeter stall;

    QElapsedTimer timer;
    timer.start();
    if (!devices.start())
        return 1;
    while (store->count() < count && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("listed %d of %d ONVIF devices: %lld ms\n", store->count(), count, timer.elapsed());

    devices.setCredentials({QStringLiteral("admin"), QByteArrayLiteral("Admin12345")});
    int refused = 0, done = 0, other = 0;
    bool signedIn = false;
    QObject::connect(&devices, &OnvifDevices::signInFinished, [&](const DeviceKey &, const OperationOutcome &o) {
        (o.ok() ? done : o.status == OperationStatus::Denied ? refused : other) += 1;
    });
    QObject::connect(&devices, &OnvifDevices::signInDone, [&signedIn] { signedIn = true; });
    stall.start();
    timer.restart();
    devices.signIn();
    while (!signedIn && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("sign-in to %d devices: %lld ms (%d read, %d refused, %d failed or timed out); longest stall %.1f ms\n",
                count, timer.elapsed(), done, refused, other, stall.stop());
    if (parser.isSet(signInOnly)) {
        simulator.kill();
        simulator.waitForFinished();
        return 0;
    }

    // Every device to a new address of a block of its own, in table order.
    QVector<OperationJob> jobs;
    const QVector<VOSK_DEVICE_INFO> records = store->getAllDevices();
    for (int i = 0; i < records.size(); ++i) {
        NetParams params = netParamsOf(records.at(i));
        if (params.ipv4Mask.isEmpty())
            params.ipv4Mask = QStringLiteral("255.0.0.0");
        params.ipv4Address = QStringLiteral("127.63.%1.%2").arg(i / 250).arg(i % 250 + 1);
        jobs.append({DeviceKey::fromRecord(records.at(i)), params});
    }
    OperationRunner runner;
    stall.start();
    timer.restart();
    runner.start(OperationKind::SetNetParams, jobs, QByteArrayLiteral("Admin12345"));
    runner.waitForFinished();
    const qint64 results = timer.elapsed();
    int ok = 0, timedOut = 0, failed = 0;
    QVector<DeviceKey> changed;
    QVector<NetParams> sent;
    for (int i = 0; i < jobs.size(); ++i) {
        const OperationOutcome &o = runner.outcomes().at(i);
        if (o.ok()) {
            ++ok;
            changed << jobs.at(i).device;
            sent << jobs.at(i).params;
        } else {
            (o.status == OperationStatus::TimedOut ? timedOut : failed) += 1;
        }
    }
    ChangeConfirmer confirmer;
    bool confirmed = false;
    QObject::connect(&confirmer, &ChangeConfirmer::finished, [&confirmed] { confirmed = true; });
    confirmer.expect(changed, sent, 10000);
    while (!confirmed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    int applied = 0;
    for (const DeviceKey &k : std::as_const(changed))
        applied += confirmer.applied(k) ? 1 : 0;
    std::printf("batch of %d (%d silent), %d at once: all results %lld ms (%d done, %d timed out, %d failed); "
                "applied %d at %lld ms; longest stall %.1f ms\n",
                int(jobs.size()), silent, runner.maxInFlight(), results, ok, timedOut, failed, applied,
                timer.elapsed(), stall.stop());
    DeviceKinds::instance().remove(kind.get());
    simulator.kill();
    simulator.waitForFinished();
    return 0;
}
