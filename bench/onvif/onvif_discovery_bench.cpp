// onvif-bench-discovery [--count N] [--runs R] [--drop P] [--no-signin] [--table-reads]
//
// Starts the simulator with N ONVIF devices on loopback (all ordinary,
// both authentication schemes), then R times: a fresh discovery client
// probes and the time until every device is listed is taken (worst and
// median printed). Then, unless --no-signin, one client per device reads
// device information and network interfaces with credentials (clock read
// first, UsernameToken) and the time until all have answered is printed;
// with --table-reads also the default gateway and the network protocols,
// the four reads of the device table's sign-in, all at once per device.
// Run it inside a network namespace of its own (unshare --net) or at
// least pinned to loopback, as it is.

#include "onvif/deviceclient.h"
#include "onvif/discoveryclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QMap>
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

// Processor time (user + system) so far of every thread of a process of
// ours, seconds, by "name/thread id": which thread bounds the wall-clock
// time on an idle machine.
QMap<QString, double> threadSeconds(qint64 pid)
{
    QMap<QString, double> seconds;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + QLatin1Char('/') + tid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // The name in parentheses, then utime and stime as fields 14 and 15.
        const QByteArray text = stat.readAll();
        const qsizetype open = text.indexOf('(');
        const qsizetype close = text.lastIndexOf(')');
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (open < 0 || close < open || fields.size() < 13)
            continue;
        const QString name = QString::fromUtf8(text.mid(open + 1, close - open - 1)) + QLatin1Char('/') + tid;
        seconds.insert(name, double(fields.at(11).toLongLong() + fields.at(12).toLongLong())
                                 / double(sysconf(_SC_CLK_TCK)));
    }
    return seconds;
}

// What each thread spent since `before`, the busiest first, leaving out
// the idle ones.
QString spentSince(const QMap<QString, double> &before, const QMap<QString, double> &after)
{
    QList<QPair<double, QString>> spent;
    double total = 0;
    for (auto it = after.begin(); it != after.end(); ++it) {
        const double s = it.value() - before.value(it.key());
        total += s;
        if (s >= 0.01)
            spent.append({s, it.key().section(QLatin1Char('/'), 0, 0)});
    }
    std::sort(spent.begin(), spent.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    QStringList parts;
    for (const auto &[s, name] : std::as_const(spent))
        parts.append(QStringLiteral("%1 %2 s").arg(name).arg(s, 0, 'f', 2));
    return QStringLiteral("%1 s (%2)").arg(total, 0, 'f', 2).arg(parts.join(QStringLiteral(", ")));
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
    const QCommandLineOption tableReads(QStringLiteral("table-reads"),
                                        QStringLiteral("Sign in with the table's four reads per device."));
    parser.addOptions({countOption, runsOption, dropOption, noSignin, tableReads});
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
        const QMap<QString, double> ownBefore = threadSeconds(QCoreApplication::applicationPid());
        const QMap<QString, double> simulatorBefore = threadSeconds(simulator.processId());
        QElapsedTimer timer;
        timer.start();
        const bool fourReads = parser.isSet(tableReads);
        const int calls = int((fourReads ? 4 : 2) * devices.size());
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
            if (fourReads) {
                client->getNetworkDefaultGateway([&](const Result<NetworkGateway> &r) { answered(r.ok()); });
                client->getNetworkProtocols([&](const Result<QList<NetworkProtocol>> &r) { answered(r.ok()); });
            }
        }
        const qint64 sentAt = timer.elapsed();
        while (done < calls && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        std::printf("sign-in to %d devices (%s each): %.2f s, %d of %d calls failed "
                    "(all asked after %.2f s, half answered after %.2f s)\n",
                    int(devices.size()),
                    fourReads ? "device information, interfaces, gateway, protocols" : "device information + interfaces",
                    timer.elapsed() / 1000.0, failed, calls, sentAt / 1000.0,
                    halfAt / 1000.0);
        std::printf("  processor time of the client: %s\n",
                    qPrintable(spentSince(ownBefore, threadSeconds(QCoreApplication::applicationPid()))));
        std::printf("  processor time of the simulator: %s\n",
                    qPrintable(spentSince(simulatorBefore, threadSeconds(simulator.processId()))));
    }
    simulator.terminate();
    simulator.waitForFinished(10000);
    return 0;
}
