// Discovery benchmark: the time from VOSK_Start_V30 to the online callback
// of the last of N simulated devices, without loss and with 5% loss each
// way, as the median of several runs, with the found/expected count.
// Everything runs over loopback only (VOSK_INTERFACES=lo); run it inside
// `unshare --net` (bench/README.md).
//   vosk-bench-discovery [--count N] [--runs R] [--limit SECONDS]

#include "vosk/vosk.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
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
};

bool startDevsim(QProcess &process, int count, int seed, double loss)
{
    process.setProgram(QStringLiteral(VOSK_DEVSIM_PATH));
    process.setArguments({QStringLiteral("--count"), QString::number(count), QStringLiteral("--seed"),
                          QString::number(seed), QStringLiteral("--drop"), QString::number(loss),
                          QStringLiteral("--interfaces"), QStringLiteral("lo")});
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

Run measure(int count, int seed, double loss, int port, int limitSeconds)
{
    qputenv("VOSK_PORT", QByteArray::number(port));
    QProcess devsim;
    Run run;
    if (!startDevsim(devsim, count, seed, loss)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return run;
    }
    // Let the start-up hellos pass: the measurement is of discovery by
    // inquiry, as when the tool starts among running devices.
    QThread::msleep(800);
    Counter counter;
    counter.clock.start();
    if (VOSK_Start_V30(&onReport, 1, &counter) != 1) {
        std::fprintf(stderr, "VOSK_Start_V30 failed: %d\n", VOSK_GetLastError());
        return run;
    }
    while (counter.online < count && counter.clock.elapsed() < limitSeconds * 1000)
        QThread::msleep(5);
    VOSK_Stop();
    run.found = counter.online;
    run.seconds = (run.found == count ? counter.lastMs.load() : counter.clock.elapsed()) / 1000.0;
    ::kill(pid_t(devsim.processId()), SIGTERM);
    devsim.waitForFinished(10000);
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
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--count"))
            count = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--limit"))
            limit = args[i + 1].toInt();
    }
    if (count < 1 || count > 5000 || runs < 1 || limit < 1) {
        std::fprintf(stderr, "usage: vosk-bench-discovery [--count 1..5000] [--runs R] [--limit SECONDS]\n");
        return 2;
    }
    qputenv("VOSK_INTERFACES", "lo");
    qputenv("VOSK_GROUP", "239.255.86.200");
    VOSK_SetDeviceFilterRule(0, 0, 0);

    std::printf("discovery of %d simulated devices over loopback, %d runs each, limit %d s\n", count, runs, limit);
    int port = 47400;
    for (const double loss : {0.0, 0.05}) {
        std::vector<double> seconds;
        int foundTotal = 0;
        std::printf("loss %.0f%%:", loss * 100);
        for (int run = 0; run < runs; ++run) {
            const Run result = measure(count, run + 1, loss, port++, limit);
            seconds.push_back(result.seconds);
            foundTotal += result.found;
            std::printf(" %.2fs(%d/%d)", result.seconds, result.found, count);
            std::fflush(stdout);
        }
        std::printf("\n  median %.2f s to the last online callback, found %d/%d over all runs\n", median(seconds),
                    foundTotal, count * runs);
    }
    return 0;
}
