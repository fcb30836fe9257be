// onvif-bench-discovery [--count N] [--runs R] [--drop P] [--no-signin]
//
// Starts the simulator with N ONVIF devices on loopback (all ordinary,
// both authentication schemes), then R times: a fresh discovery client
// probes and the time until every device is listed is taken (worst and
// median printed). Then, unless --no-signin, one client per device reads
// device information and network interfaces with credentials (clock read
// first, UsernameToken) and the time until all have answered is printed.
// Run it inside a network namespace of its own (unshare --net) or at
// least pinned to loopback, as it is.

#include "onvif/deviceclient.h"
#include "onvif/discoveryclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

using namespace Onvif;

namespace {

constexpr quint16 kDiscoveryPort = 34901;
constexpr quint16 kHttpPort = 18901;

bool startSimulator(QProcess &process, int count, double drop)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // VOSK_DEVSIM names another simulator build to measure against.
    process.start(qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH)),
                  {QStringLiteral("--interfaces"), QStringLiteral("lo"), QStringLiteral("--count"), QStringLiteral("0"),
                   QStringLiteral("--onvif"), QString::number(count), QStringLiteral("--onvif-discovery-port"),
                   QString::number(kDiscoveryPort), QStringLiteral("--onvif-port"), QString::number(kHttpPort),
                   QStringLiteral("--onvif-address"), QStringLiteral("127.61.0.1"), QStringLiteral("--onvif-behaviour"),
                   QStringLiteral("plain"), QStringLiteral("--drop"), QString::number(drop),
                   QStringLiteral("--parent"), QString::number(::getpid())});
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

// Processor time (user + system) so far, seconds: of this process, or of
// another one of ours by its id.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // utime and stime are fields 14 and 15, after the command in parentheses.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Until every device is listed or the limit: the elapsed ms, or -1.
qint64 discoverAll(int count, QList<DiscoveredDevice> *devices)
{
    DiscoveryOptions options;
    options.port = kDiscoveryPort;
    options.interfaces = {"lo"};
    DiscoveryClient client(options);
    if (!client.start())
        return -1;
    QElapsedTimer timer;
    timer.start();
    client.probe();
    while (client.devices().size() < count && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const qint64 elapsed = client.devices().size() >= count ? timer.elapsed() : -1;
    if (devices)
        *devices = client.devices();
    if (elapsed < 0)
        std::printf("  found %d of %d\n", int(client.devices().size()), count);
    return elapsed;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Devices."), QStringLiteral("N"),
                                         QStringLiteral("1000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs."), QStringLiteral("R"),
                                        QStringLiteral("5"));
    const QCommandLineOption dropOption(QStringLiteral("drop"), QStringLiteral("Datagram loss."), QStringLiteral("P"),
                                        QStringLiteral("0"));
    const QCommandLineOption noSignin(QStringLiteral("no-signin"), QStringLiteral("Discovery only."));
    parser.addOptions({countOption, runsOption, dropOption, noSignin});
    parser.addHelpOption();
    parser.process(app);
    const int count = parser.value(countOption).toInt();
    const int runs = qMax(1, parser.value(runsOption).toInt());
    const double drop = parser.value(dropOption).toDouble();

    // One connection per device at once.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    QProcess simulator;
    if (!startSimulator(simulator, count, drop)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    QList<qint64> times;
    QList<DiscoveredDevice> devices;
    int complete = 0;
    for (int run = 0; run < runs; ++run) {
        const qint64 ms = discoverAll(count, &devices);
        times.append(ms < 0 ? 10000 : ms);
        complete += ms >= 0;
    }
    std::sort(times.begin(), times.end());
    std::printf("discovery of %d ONVIF devices, %.0f%% loss, %d runs: median %.2f s, worst %.2f s, %d/%d runs found all\n",
                count, drop * 100, runs, times.at(times.size() / 2) / 1000.0, times.constLast() / 1000.0, complete, runs);

    if (!parser.isSet(noSignin)) {
        QNetworkAccessManager *network = DeviceClient::makeNetworkManager(&app);
        QList<DeviceClient *> clients;
        int done = 0;
        int failed = 0;
        qint64 halfAt = -1;
        const double ownBefore = cpuSeconds();
        const double simulatorBefore = cpuSeconds(simulator.processId());
        QElapsedTimer timer;
        timer.start();
        const int calls = int(2 * devices.size());
        auto answered = [&](bool ok) {
            ++done;
            failed += !ok;
            if (done * 2 >= calls && halfAt < 0)
                halfAt = timer.elapsed();

        };
        for (const DiscoveredDevice &d : std::as_const(devices)) {
            auto *client = new DeviceClient(d.serviceAddress(), network, &app);
            client->setCredentials(QStringLiteral("admin"), QStringLiteral("Admin12345"));
            client->setTimeout(10000);
            clients.append(client);
            client->getDeviceInformation([&](const Result<DeviceInformation> &r) { answered(r.ok()); });
            client->getNetworkInterfaces([&](const Result<QList<NetworkInterface>> &r) { answered(r.ok()); });
        }
        const qint64 sentAt = timer.elapsed();
        while (done < calls && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        std::printf("sign-in to %d devices (device information + interfaces each): %.2f s, %d of %d calls failed "
                    "(all asked after %.2f s, half answered after %.2f s)\n",
                    int(devices.size()), timer.elapsed() / 1000.0, failed, calls, sentAt / 1000.0,
                    halfAt / 1000.0);
        std::printf("  processor time: client %.2f s, simulator %.2f s\n", cpuSeconds() - ownBefore,
                    cpuSeconds(simulator.processId()) - simulatorBefore);
    }
    simulator.terminate();
    simulator.waitForFinished(10000);
    return 0;
}
