// bench_netparam [--count N] [--silent S] [--runs R]
// A batch modification of N simulated devices through the right-hand pane
// of the main window, with the real library on loopback: the time from the
// Modify click to the result list, all devices answering and with S of them
// silent (their simulator killed after discovery), the longest stall of the
// GUI event loop meanwhile, the time from Cancel to the dialog's end in a
// batch with silent devices, and the stall during a one-device change of a
// silent device. One line per run, then the median (the runs with silent
// devices are made once each, within the minute before the library drops
// them). Run it in a private network namespace (see bench/README.md).

#include "aptui/guitextcodec.h"
#include "devicelist/devicecolumn.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/voskhandler.h"
#include "netparam/devicemodifypage.h"
#include "netparam/devicemodifyresultpage.h"
#include "shell/vosktoolmainpage.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTextCodec>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace VoskTool;

namespace {

bool startSimulator(QProcess &process, int count, int seed)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(VOSK_DEVSIM_PATH),
                  {QStringLiteral("--interfaces"), QStringLiteral("lo"), QStringLiteral("--count"),
                   QString::number(count), QStringLiteral("--seed"), QString::number(seed)});
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

void waitFor(const std::function<bool()> &done, int limitMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The longest gap between two turns of the GUI event loop while it runs:
// a zero timer fires on every turn.
class StallMeter final
{
public:
    StallMeter()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stopMs()
    {
        m_timer.stop();
        return double(m_longest) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

struct Run
{
    qint64 ms = 0;
    int devices = 0;
    int failed = 0;
    double stallMs = 0;
    qint64 cancelMs = -1; // Cancel pressed to the dialog's end
};

// Checks the activated rows, `fromSilent` of them from the second fleet
// (MACs 02-5e-02-...), and modifies them as one batch.
Run runBatch(VOSKToolMainPage &window, int count, int fromSilent, int startThird, int cancelAfterMs = -1)
{
    DeviceDisplayPage *table = window.deviceDisplayPage();
    DeviceInfoModel *model = table->model();
    auto *pane = qobject_cast<DeviceModifyPage *>(window.rightPane());
    const QString activated = DeviceInfoModel::tr("Activated");
    int chosen = 0, silent = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        model->setCheckState(row, Qt::Unchecked);
    for (int row = 0; row < model->rowCount() && chosen < count; ++row) {
        if (model->text(row, ColumnActivation).trimmed() != activated)
            continue;
        const bool fromSecond = model->text(row, ColumnMac).startsWith(QLatin1String("02-5e-02"));
        if (fromSecond && silent >= fromSilent)
            continue;
        if (!fromSecond && chosen - silent >= count - fromSilent)
            continue;
        model->setCheckState(row, Qt::Checked);
        ++chosen;
        silent += fromSecond ? 1 : 0;
    }

    auto set = [pane](const char *name, const QString &text) {
        auto *edit = pane->findChild<QLineEdit *>(QLatin1String(name));
        if (edit->isEnabled())
            edit->setText(text);
    };
    set("m_lineEditStartIp", QStringLiteral("10.%1.0.1").arg(startThird));
    set("m_lineEditSubnetMask", QStringLiteral("255.255.0.0"));
    set("m_lineEditGateway", QStringLiteral("10.%1.0.254").arg(startThird));
    set("m_lineEditPort", QStringLiteral("8000"));
    set("m_lineEditHttpPort", QStringLiteral("80"));
    set("m_lineEditAdminPassword", QStringLiteral("Admin12345"));

    Run run;
    QElapsedTimer timer;
    QElapsedTimer cancelClock;
    StallMeter stalls;
    pane->setDialogRunner([&](QDialog &dialog) {
        run.ms = timer.elapsed();
        run.stallMs = stalls.stopMs();
        if (cancelClock.isValid())
            run.cancelMs = cancelClock.elapsed();
        if (auto *page = qobject_cast<DeviceModifyResultPage *>(&dialog)) {
            run.devices = page->model()->rowCount();
            for (int row = 0; row < run.devices; ++row)
                run.failed += page->model()
                                  ->item(row, DeviceModifyResultPage::ColumnResult)
                                  ->data(DeviceModifyResultPage::SucceededRole)
                                  .toBool()
                    ? 0
                    : 1;
        }
        return 1;
    });
    pane->setMessenger([](const PaneMessage &message) {
        std::fprintf(stderr, "bench_netparam: message: %s\n", qPrintable(message.text));
    });
    if (cancelAfterMs >= 0) {
        QTimer::singleShot(cancelAfterMs, [&cancelClock] {
            auto *chase = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (auto *cancel = chase ? chase->findChild<QPushButton *>(QStringLiteral("m_btnChaseCancel")) : nullptr) {
                cancelClock.start();
                cancel->click();
            }
        });
    }
    timer.start();
    stalls.start();
    pane->findChild<QPushButton *>(QStringLiteral("m_btnModify"))->click();
    return run;
}

// One device of the second (silent) fleet changed alone: the pane works
// off the GUI thread until the library gives up; the longest stall of the
// event loop meanwhile and the time to the message.
Run runSingleSilent(VOSKToolMainPage &window)
{
    DeviceDisplayPage *table = window.deviceDisplayPage();
    DeviceInfoModel *model = table->model();
    auto *pane = qobject_cast<DeviceModifyPage *>(window.rightPane());
    for (int row = 0; row < model->rowCount(); ++row)
        model->setCheckState(row, Qt::Unchecked);
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->text(row, ColumnMac).startsWith(QLatin1String("02-5e-02"))
            && model->text(row, ColumnActivation).trimmed() == DeviceInfoModel::tr("Activated")) {
            model->setCheckState(row, Qt::Checked);
            break;
        }
    }
    pane->findChild<QLineEdit *>(QStringLiteral("m_lineEditAdminPassword"))->setText(QStringLiteral("Admin12345"));
    Run run;
    bool said = false;
    pane->setMessenger([&said](const PaneMessage &) { said = true; });
    StallMeter stalls;
    QElapsedTimer timer;
    timer.start();
    stalls.start();
    pane->findChild<QPushButton *>(QStringLiteral("m_btnModify"))->click();
    waitFor([&] { return said; }, 20000);
    run.ms = timer.elapsed();
    run.stallMs = stalls.stopMs();
    run.devices = 1;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VOSK_INTERFACES", "lo");
    qputenv("VOSK_PORT", "47262");
    qputenv("VOSK_GROUP", "239.255.86.162");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Devices in the batch."),
                                         QStringLiteral("n"), QStringLiteral("250"));
    const QCommandLineOption silentOption(QStringLiteral("silent"), QStringLiteral("Silent devices among them."),
                                          QStringLiteral("n"), QStringLiteral("25"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs of each kind."),
                                        QStringLiteral("n"), QStringLiteral("3"));
    parser.addOptions({countOption, silentOption, runsOption});
    parser.process(app);
    const int count = parser.value(countOption).toInt();
    const int silentCount = parser.value(silentOption).toInt();
    const int runs = std::max(1, parser.value(runsOption).toInt());

    TarnGUIToolkit::InitGuiTextCodec(QTextCodec::codecForName("ISO-8859-1"));
    // About four in five simulated devices are activated; the batch takes
    // activated ones only.
    QProcess answering, silent;
    if (!startSimulator(answering, count * 3 / 2, 1) || !startSimulator(silent, std::max(1, silentCount * 2), 2)) {
        std::fprintf(stderr, "bench_netparam: the simulator did not start\n");
        return 1;
    }
    VOSKToolMainPage window;
    window.resize(1400, 860);
    window.show();
    const int expected = count * 3 / 2 + std::max(1, silentCount * 2);
    waitFor([&] { return window.deviceDisplayPage()->model()->rowCount() >= expected; }, 30000);
    std::printf("devices found: %d of %d\n", window.deviceDisplayPage()->model()->rowCount(), expected);

    int third = 1;
    QList<qint64> times;
    QList<double> stallsAll;
    for (int r = 0; r < runs; ++r) {
        const Run run = runBatch(window, count, 0, third++);
        times << run.ms;
        stallsAll << run.stallMs;
        std::printf("all answering      run %d: %d devices, %d failed, %lld ms, longest stall %.1f ms\n", r + 1,
                    run.devices, run.failed, static_cast<long long>(run.ms), run.stallMs);
        std::fflush(stdout);
    }
    std::sort(times.begin(), times.end());
    std::sort(stallsAll.begin(), stallsAll.end());
    std::printf("all answering      median: %lld ms, longest stall %.1f ms\n",
                static_cast<long long>(times.at(times.size() / 2)), stallsAll.at(stallsAll.size() / 2));

    // Gone without a word: still in the table, silent to requests. The
    // library drops them after about a minute: these runs follow at once.
    silent.kill();
    silent.waitForFinished(5000);
    Run run = runBatch(window, count, silentCount, third++);
    std::printf("with silent        %d devices (%d silent), %d failed, %lld ms, longest stall %.1f ms\n", run.devices,
                silentCount, run.failed, static_cast<long long>(run.ms), run.stallMs);
    run = runBatch(window, count, silentCount, third++, 300);
    std::printf("cancel at 300 ms   %d devices (%d silent), %d not done, dialog ended %lld ms after Cancel, "
                "longest stall %.1f ms\n",
                run.devices, silentCount, run.failed, static_cast<long long>(run.cancelMs), run.stallMs);
    run = runSingleSilent(window);
    std::printf("one silent device  message after %lld ms, longest stall %.1f ms\n", static_cast<long long>(run.ms),
                run.stallMs);
    std::fflush(stdout);
    answering.terminate();
    answering.waitForFinished(5000);
    return 0;
}
