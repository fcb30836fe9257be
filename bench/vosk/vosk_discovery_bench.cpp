// Discovery benchmark: the time from VOSK_Start_V30 to the online callback
// of the last of N simulated devices, without loss and with 5% loss each
// way (or only the --loss given), as the median and worst of several runs,
// with the found/expected count, the count found by the first inquiry burst
// alone (before the next round asks again), and the datagrams the kernel
// dropped from the library's full receive buffer. --twins splits the fleet
// over two simulators whose devices share MACs in pairs (seeds 256 apart),
// so that twins are measured against the loss like any device. Everything
// runs over loopback only (VOSK_INTERFACES=lo); run it inside
// `unshare --net` (bench/README.md).
//   vosk-bench-discovery [--count N] [--runs R] [--limit SECONDS] [--loss P] [--legacy] [--twins]

#include "vosk/vosk.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

struct Counter
{
    std::atomic<int> online{0};
    std::atomic<qint64> lastMs{0};
    QElapsedTimer clock;
};

void onReport(const VOSK_DEVICE_INFO *record, void *user)
{
    auto *counter = static_cast<Counter *>(user);
    if (record->event == VOSK_EVENT_ONLINE) {
        counter->lastMs = counter->clock.elapsed();
        ++counter->online;
    }
}

struct Run
{
    double seconds = 0;  // until the last device, or the limit
    int found = 0;
    int firstBurst = 0;  // found before the follow-up round
    qint64 dropped = 0;  // by the library's full receive buffer
};

// The first burst (eight inquiries within 0.84 s and their answer windows)
// is over by then, and the follow-up round, 5 s after the start, not yet due.
constexpr qint64 kFirstBurstMs = 2500;

// The sockets of this process (the library's), by inode.
QSet<QByteArray> ownSockets()
{
    QSet<QByteArray> inodes;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &name : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(name));
        if (target.contains(QLatin1String("socket:[")))
            inodes.insert(target.section(QLatin1Char('['), 1).section(QLatin1Char(']'), 0, 0).toLatin1());
    }
    return inodes;
}

// The kernel's count of datagrams dropped on arrival at these sockets
// (last column of /proc/net/udp and udp6).
qint64 droppedDatagrams(const QSet<QByteArray> &inodes)
{
    qint64 dropped = 0;
    for (const char *table : {"/proc/self/net/udp", "/proc/self/net/udp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        file.readLine();
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().simplified().split(' ');
            if (fields.size() >= 13 && inodes.contains(fields.at(9)))
                dropped += fields.last().toLongLong();
        }
    }
    return dropped;
}

bool startDevsim(QProcess &process, int count, int seed, double loss, bool legacy)
{
    // VOSK_DEVSIM names another simulator build (an earlier version's devices).
    process.setProgram(qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH)));
    QStringList arguments{QStringLiteral("--count"), QString::number(count), QStringLiteral("--seed"),
                          QString::number(seed), QStringLiteral("--drop"), QString::number(loss),
                          QStringLiteral("--interfaces"), QStringLiteral("lo"), QStringLiteral("--parent"),
                          QString::number(QCoreApplication::applicationPid())};
    if (legacy)
        arguments << QStringLiteral("--legacy");
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted(5000))
        return false;
    QByteArray out;
    while (!out.contains("ready")) {
        if (!process.waitForReadyRead(10000))
            return false;
        out += process.readAllStandardOutput();
    }
    return true;
}

Run measure(int count, int seed, double loss, int port, int limitSeconds, bool legacy, bool twins)
{
    qputenv("VOSK_PORT", QByteArray::number(port));
    // Twins: device i of seed s and of seed s + 256 share a MAC, not a
    // serial number.
    QProcess devsim, twin;
    Run run;
    const int first = twins ? count / 2 : count;
    if (!startDevsim(devsim, first, seed, loss, legacy)
        || (twins && !startDevsim(twin, count - first, seed + 256, loss, legacy))) {
        std::fprintf(stderr, "the simulator did not start\n");
        return run;
    }
    // Let the start-up hellos pass: the measurement is of discovery by
    // inquiry, as when the tool starts among running devices.
    QThread::msleep(count > 5000 ? 2000 : 800);
    Counter counter;
    counter.clock.start();
    if (VOSK_Start_V30(&onReport, 1, &counter) != 1) {
        std::fprintf(stderr, "VOSK_Start_V30 failed: %d\n", VOSK_GetLastError());
        return run;
    }
    const QSet<QByteArray> sockets = ownSockets();
    const qint64 droppedBefore = droppedDatagrams(sockets);
    bool burstOver = false;
    while (counter.online < count && counter.clock.elapsed() < limitSeconds * 1000) {
        if (!burstOver && counter.clock.elapsed() >= kFirstBurstMs) {
            burstOver = true;
            run.firstBurst = counter.online;
        }
        QThread::msleep(5);
    }
    if (!burstOver)
        run.firstBurst = counter.online;
    run.dropped = droppedDatagrams(sockets) - droppedBefore;
    VOSK_Stop();
    run.found = counter.online;
    run.seconds = (run.found == count ? counter.lastMs.load() : counter.clock.elapsed()) / 1000.0;
    for (QProcess *process : {&devsim, &twin}) {
        if (process->state() != QProcess::NotRunning) {
            ::kill(pid_t(process->processId()), SIGTERM);
            process->waitForFinished(10000);
        }
    }
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int count = 1000;
    int runs = 5;
    int limit = 40;
    std::vector<double> losses{0.0, 0.05};
    bool legacy = false;
    bool twins = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == QLatin1String("--legacy"))
            legacy = true;
        else if (args[i] == QLatin1String("--twins"))
            twins = true;
        else if (args[i] == QLatin1String("--count") && hasValue)
            count = args[++i].toInt();
        else if (args[i] == QLatin1String("--runs") && hasValue)
            runs = args[++i].toInt();
        else if (args[i] == QLatin1String("--limit") && hasValue)
            limit = args[++i].toInt();
        else if (args[i] == QLatin1String("--loss") && hasValue)
            losses = {args[++i].toDouble()};
        else
            count = 0;
    }
    if (count < (twins ? 2 : 1) || count > 16384 || runs < 1 || limit < 1 || losses.front() < 0
        || losses.front() >= 1) {
        std::fprintf(stderr, "usage: vosk-bench-discovery [--count 1..16384] [--runs R] [--limit SECONDS] "
                             "[--loss 0..0.99] [--legacy] [--twins]\n");
        return 2;
    }
    qputenv("VOSK_INTERFACES", "lo");
    qputenv("VOSK_GROUP", "239.255.86.200");
    VOSK_SetDeviceFilterRule(0, 0, 0);

    std::printf("discovery of %d simulated%s devices%s over loopback, %d runs each, limit %d s\n", count,
                legacy ? " older" : "", twins ? " in MAC-sharing pairs" : "", runs, limit);
    int port = 47400;
    for (const double loss : losses) {
        std::vector<double> seconds;
        int foundTotal = 0;
        int firstBurstTotal = 0;
        qint64 droppedTotal = 0;
        std::printf("loss %.0f%%:", loss * 100);
        for (int run = 0; run < runs; ++run) {
            const Run result = measure(count, run + 1, loss, port++, limit, legacy, twins);
            seconds.push_back(result.seconds);
            foundTotal += result.found;
            firstBurstTotal += result.firstBurst;
            droppedTotal += result.dropped;
            std::printf(" %.2fs(%d/%d, first burst %d)", result.seconds, result.found, count, result.firstBurst);
            std::fflush(stdout);
        }
        std::printf("\n  median %.2f s, worst %.2f s to the last online callback, found %d/%d over all runs "
                    "(%d by the first burst alone), %lld datagrams dropped by a full receive buffer\n",
                    median(seconds), *std::max_element(seconds.begin(), seconds.end()), foundTotal, count * runs,
                    firstBurstTotal, droppedTotal);
    }
    return 0;
}
