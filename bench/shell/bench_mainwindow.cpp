// bench_mainwindow [--runs R] [--offscreen] [COUNT...]
// The real main window against a simulated fleet: for each COUNT (default
// 1000 and 5000) it starts vosk-devsim with that many devices, builds the
// window (which starts discovery), shows it, and prints the time from
// building the window to the last row listed, the time from show() to the
// window's first frame, the longest stall of the GUI event loop from that
// frame until shortly after the last row (wall clock, and the CPU time the
// GUI thread spent in the longest busy stretch: on a loaded machine the wall
// clock includes waiting for a core), the program's peak memory and its CPU
// time. Stalls count from the first frame on: before it there is no window
// to answer, and painting a whole window the first time (with the rows found
// meanwhile) is the first frame's cost, printed beside. Each run is a fresh process, so that peaks and singletons do not
// carry over.
//
// Before anything else it moves itself into a private network namespace of
// its own (unshare(2); a user namespace too when not root) with only
// loopback up, and pins discovery to it (VOSK_INTERFACES=lo): the simulated
// devices never reach a real network.
//
// The window runs as the program runs it: on an X server (an Xvfb the bench
// starts inside its namespace), with the program's application object, its
// skin plug-in, style and style sheet. The offscreen platform with Qt's
// default style (--offscreen, what this bench measured until then) paints
// and flushes differently, and its figures are not what a user sees.

#include "app/appwarningdialog.h"
#include "app/toolsapplication.h"
#include "aptui/targetpath.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "shell/vosktoolmainpage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

bool writeProcFile(const char *path, const QByteArray &text)
{
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.constData(), static_cast<size_t>(text.size())) == text.size();
    ::close(fd);
    return ok;
}

// A network namespace with nothing but loopback, entered by this process
// (and inherited by the processes it starts).
bool enterPrivateNetwork()
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    const int flags = uid == 0 ? CLONE_NEWNET : CLONE_NEWUSER | CLONE_NEWNET;
    if (::unshare(flags) != 0) {
        std::fprintf(stderr, "bench_mainwindow: unshare: %s\n", std::strerror(errno));
        return false;
    }
    if (uid != 0) {
        writeProcFile("/proc/self/setgroups", "deny");
        if (!writeProcFile("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1")
            || !writeProcFile("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1")) {
            std::fprintf(stderr, "bench_mainwindow: cannot map the user: %s\n", std::strerror(errno));
            return false;
        }
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!up)
        std::fprintf(stderr, "bench_mainwindow: cannot bring loopback up: %s\n", std::strerror(errno));
    return up;
}

struct Figures
{
    double allRowsSeconds = -1;  // -1: not all rows within the limit
    double firstFrameMs = -1;    // from show() to the end of the first expose
    double longestStallMs = 0;   // longest wall-clock gap between two ticks
    double longestBusyMs = 0;    // most CPU time the GUI thread spent between two ticks
    double cpuSeconds = 0;       // the whole process, user and system
    double peakMemoryMb = 0;
    int rows = 0;
};

// CPU time of the calling thread. On a busy machine the wall-clock gap
// between two ticks includes the time the thread waited for a core; the CPU
// time it spent in that gap is the work that held the event loop up.
qint64 threadCpuNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

bool startSimulator(QProcess &devsim, int count)
{
    devsim.setProgram(QStringLiteral(VOSK_DEVSIM_PATH));
    devsim.setArguments({QStringLiteral("--count"), QString::number(count), QStringLiteral("--seed"),
                         QStringLiteral("1"), QStringLiteral("--interfaces"), QStringLiteral("lo")});
    devsim.setProcessChannelMode(QProcess::SeparateChannels);
    devsim.start();
    if (!devsim.waitForStarted(5000))
        return false;
    QByteArray out;
    while (!out.contains("ready")) {
        if (!devsim.waitForReadyRead(20000))
            return false;
        out += devsim.readAllStandardOutput();
    }
    return true;
}

// Notes the first expose of a window, which paints it the first time.
class ExposeWatcher final : public QObject
{
public:
    bool exposed = false;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose)
            exposed = true;
        return QObject::eventFilter(watched, event);
    }
};

// One measurement, in this process.
int runOnce(int count, int limitSeconds)
{
    QProcess devsim;
    if (!startSimulator(devsim, count)) {
        std::fprintf(stderr, "bench_mainwindow: the simulator did not start\n");
        return 1;
    }
    // Let the devices' start-up announcements pass: what is measured is the
    // tool starting among running devices and finding them by inquiry.
    QThread::msleep(800);
    QCoreApplication::processEvents();

    Figures figures;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 lastTickCpu = 0;
    qint64 allRowsAt = -1;
    qint64 shownAt = 0;
    qint64 shownCpu = 0;
    bool framed = false;
    ExposeWatcher expose;
    // A loop of its own: quitting the application would close the window,
    // and the window asks before it closes.
    QEventLoop loop;
    const qint64 gapsOverNs = qEnvironmentVariableIntValue("BENCH_GAPS_MS") * 1'000'000LL;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    clock.start();
    {
        VoskTool::VOSKToolMainPage window;
        VoskTool::DeviceInfoModel *model = window.deviceDisplayPage()->model();
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &window, [&] {
            if (allRowsAt < 0 && model->rowCount() >= count)
                allRowsAt = clock.nsecsElapsed();
        });
        QObject::connect(&ticker, &QTimer::timeout, &window, [&] {
            const qint64 now = clock.nsecsElapsed();
            const qint64 cpuNow = threadCpuNs();
            if (!framed) {
                // The first tick after the first expose has been handled.
                if (expose.exposed) {
                    framed = true;
                    figures.firstFrameMs = (now - shownAt) / 1e6;
                    if (gapsOverNs > 0)
                        std::fprintf(stderr, "first frame %.1f ms, busy %.1f ms, at %.3f s, %d rows\n",
                                     figures.firstFrameMs, (cpuNow - shownCpu) / 1e6, now / 1e9, model->rowCount());
                }
                lastTick = now;
                lastTickCpu = cpuNow;
                return;
            }
            // Where the long gaps fall (BENCH_GAPS_MS=8: every gap over 8 ms,
            // with the rows listed by then), to find what causes them.
            if (gapsOverNs > 0 && now - lastTick > gapsOverNs)
                std::fprintf(stderr, "gap %.1f ms, busy %.1f ms, at %.3f s, %d rows\n", (now - lastTick) / 1e6,
                             (cpuNow - lastTickCpu) / 1e6, now / 1e9, model->rowCount());
            figures.longestStallMs = std::max(figures.longestStallMs, (now - lastTick) / 1e6);
            figures.longestBusyMs = std::max(figures.longestBusyMs, (cpuNow - lastTickCpu) / 1e6);
            lastTick = now;
            lastTickCpu = cpuNow;
            // A little past the last row, to include the repaint after it.
            if ((allRowsAt >= 0 && now - allRowsAt > 200'000'000) || now > limitSeconds * 1'000'000'000LL)
                loop.quit();
        });
        // Placed as the program places it.
        window.resize(1280, 800);
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            const auto placement = apt::ToolsApplication::mainWindowPlacement(screen->availableGeometry());
            window.resize(placement.size);
        }
        window.winId(); // the window handle, to watch before it is shown
        window.windowHandle()->installEventFilter(&expose);
        shownAt = clock.nsecsElapsed();
        shownCpu = threadCpuNs();
        window.show();
        lastTick = clock.nsecsElapsed();
        lastTickCpu = threadCpuNs();
        ticker.start();
        loop.exec();
        ticker.stop();
        figures.rows = model->rowCount();
    }
    if (allRowsAt >= 0)
        figures.allRowsSeconds = allRowsAt / 1e9;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    figures.peakMemoryMb = usage.ru_maxrss / 1024.0;
    figures.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
                         + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    ::kill(pid_t(devsim.processId()), SIGTERM);
    devsim.waitForFinished(10000);
    std::printf("%d %.3f %.1f %.1f %.1f %.2f %d %.1f\n", count, figures.allRowsSeconds, figures.longestStallMs,
                figures.longestBusyMs, figures.peakMemoryMb, figures.cpuSeconds, figures.rows, figures.firstFrameMs);
    return 0;
}

// An X server of our own, started inside the private namespace (its
// abstract socket is the namespace's): the display name (":N"), empty when it
// did not start. Xvfb picks a free display and writes its number to the
// descriptor -displayfd names, here its standard output.
QString startXvfb(QProcess &xvfb)
{
    xvfb.setProgram(QStringLiteral("Xvfb"));
    xvfb.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"), QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                       QStringLiteral("tcp"), QStringLiteral("-noreset")});
    xvfb.setProcessChannelMode(QProcess::SeparateChannels);
    xvfb.setStandardErrorFile(QProcess::nullDevice());
    xvfb.start();
    if (!xvfb.waitForStarted(5000))
        return QString();
    QByteArray out;
    while (!out.contains('\n')) {
        if (!xvfb.waitForReadyRead(10000))
            return QString();
        out += xvfb.readAllStandardOutput();
    }
    return QLatin1Char(':') + QString::fromLatin1(out.trimmed());
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
    // A run of one fleet, started by the loop below inside its namespace.
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
        // A failed start would otherwise wait for a click on a message box.
        apt::AppWarningDialog::setHook([](const QString &text, bool) {
            std::fprintf(stderr, "bench_mainwindow: %s\n", qPrintable(text));
            return false;
        });
        if (std::strcmp(argv[4], "offscreen") == 0) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QApplication app(argc, argv);
            return runOnce(std::atoi(argv[2]), std::atoi(argv[3]));
        }
        // As main() does, with the program's folder (its plug-ins, Setup.xml
        // and ColumnConfig.xml) and an instance name of this run's own.
        qputenv("QT_QPA_PLATFORM", "xcb");
        apt::ToolsApplication app(QStringLiteral("VOSKToolBench%1").arg(::getpid()), argc, argv);
        TarnGUIToolkit::SetTargetPath(QStringLiteral(VOSKTOOL_PROGRAM_DIR));
        QCoreApplication::addLibraryPath(QDir::toNativeSeparators(TarnGUIToolkit::GetPluginPath()));
        if (!app.init())
            return 1;
        return runOnce(std::atoi(argv[2]), std::atoi(argv[3]));
    }

    if (!enterPrivateNetwork())
        return 1;
    qputenv("VOSK_INTERFACES", "lo");
    QCoreApplication app(argc, argv);
    int runs = 3;
    bool offscreen = false;
    QList<int> counts;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--offscreen"))
            offscreen = true;
        else
            counts << args.at(i).toInt();
    }
    if (counts.isEmpty())
        counts = {1000, 5000};
    if (runs < 1 || std::any_of(counts.cbegin(), counts.cend(), [](int n) { return n < 1 || n > 16384; })) {
        std::fprintf(stderr, "usage: bench_mainwindow [--runs R] [--offscreen] [COUNT...]\n");
        return 2;
    }
    QProcess xvfb;
    QString display;
    if (!offscreen) {
        display = startXvfb(xvfb);
        if (display.isEmpty()) {
            std::fprintf(stderr, "bench_mainwindow: Xvfb did not start\n");
            return 1;
        }
    }

    std::printf("the main window against vosk-devsim over loopback, %s, %d run(s) each: median (worst)\n",
                offscreen ? "offscreen, Qt's default style" : "Xvfb, the program's skin, style and style sheet",
                runs);
    std::printf("%7s  %-18s  %-18s  %-18s  %-18s  %-18s  %-14s\n", "devices", "all rows listed", "first frame",
                "longest stall", "longest busy", "peak memory", "CPU time");
    const auto worst = [](const std::vector<double> &v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); };
    int port = 47600;
    for (const int count : counts) {
        std::vector<double> seconds, frames, stalls, busy, memory, cpu;
        int missing = 0;
        for (int run = 0; run < runs; ++run) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            // Each run on its own port: nothing late from the last one.
            environment.insert(QStringLiteral("VOSK_PORT"), QString::number(port++));
            if (!offscreen)
                environment.insert(QStringLiteral("DISPLAY"), display);
            child.setProcessEnvironment(environment);
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--child"), QString::number(count), QStringLiteral("30"),
                         offscreen ? QStringLiteral("offscreen") : QStringLiteral("xcb")});
            child.waitForFinished(120000);
            const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
            if (child.exitCode() != 0 || fields.size() != 8) {
                std::fprintf(stderr, "bench_mainwindow: run of %d devices failed\n", count);
                return 1;
            }
            const double allRows = fields.at(1).toDouble();
            if (allRows < 0)
                ++missing;
            else
                seconds.push_back(allRows);
            frames.push_back(fields.at(7).toDouble());
            stalls.push_back(fields.at(2).toDouble());
            busy.push_back(fields.at(3).toDouble());
            memory.push_back(fields.at(4).toDouble());
            cpu.push_back(fields.at(5).toDouble());
        }
        std::printf("%7d  %5.3f s (%5.3f s)%s %5.1f ms (%5.1f ms)  %5.1f ms (%5.1f ms)  %5.1f ms (%5.1f ms)  "
                    "%5.1f MB (%5.1f MB)  %4.2f s (%4.2f s)\n",
                    count, median(seconds), worst(seconds), missing ? "*" : " ", median(frames), worst(frames),
                    median(stalls), worst(stalls),
                    median(busy), worst(busy), median(memory), worst(memory), median(cpu), worst(cpu));
        if (missing)
            std::printf("         * %d run(s) did not list every device within 30 s\n", missing);
        std::fflush(stdout);
    }
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }
    return 0;
}
