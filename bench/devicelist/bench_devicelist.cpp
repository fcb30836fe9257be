// bench_devicelist [ROWS...]
// Times the device table page with many devices: adding them as online
// reports (one call each, and in runs of 64 as the page's report queue
// hands them over), checking and unchecking all of them from the header's
// check box (with the selection sent to a listener), and a refresh. Prints
// one line per step: rows, step, wall-clock and CPU milliseconds, selections
// sent; after the online reports also the heap they took per device.

#include "aptui/ctableheaderview.h"
#include "aptui/ctableview.h"
#include "devicelist/devicedisplaypage.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"
#include "tests/double/voskdouble.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <malloc.h>

namespace {

VOSK_DEVICE_INFO record(int i)
{
    VOSK_DEVICE_INFO r;
    std::memset(&r, 0, sizeof r);
    VOSK::setFieldBytes(r.serialNumber, "SN" + QByteArray::number(i));
    VOSK::setFieldBytes(r.mac, "mac-" + QByteArray::number(i));
    VOSK::setFieldText(r.ipv4Address, QStringLiteral("10.%1.%2.%3").arg(i / 65536).arg(i / 256 % 256).arg(i % 256));
    r.port = 8000;
    r.httpPort = 80;
    r.notActivated = static_cast<quint8>(i % 2);
    return r;
}

// Bytes of heap in use (glibc), small blocks and mapped ones.
double heapBytes()
{
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// The process's CPU time: on a busy machine the wall clock also counts the
// time spent waiting for a core.
double cpuMs()
{
    return std::clock() * 1000.0 / CLOCKS_PER_SEC;
}

struct Timer
{
    QElapsedTimer wall;
    double cpuStart = 0;
    void restart()
    {
        wall.start();
        cpuStart = cpuMs();
    }
};

void report(int rows, const char *step, const Timer &timer, int selections)
{
    std::printf("%6d  %-26s %9.2f ms  %9.2f ms CPU  %d selection(s)\n", rows, step, timer.wall.nsecsElapsed() / 1e6,
                cpuMs() - timer.cpuStart, selections);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The library stand-in answers every call with success.
    VoskDouble::reset();
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {100, 1000, 5000};

    QTemporaryDir dir;
    for (const int rows : sizes) {
        DeviceStore::instance()->clear();
        VoskTool::DeviceDisplayPage page(dir.filePath(QStringLiteral("ColumnConfig.xml")), nullptr);
        int selections = 0;
        QObject::connect(&page, &VoskTool::DeviceDisplayPage::signalCurrentSelectionModelChange, &page,
                         [&selections] { ++selections; });
        auto *header = static_cast<TarnGUIToolkit::CTableHeaderView *>(page.tableView()->horizontalHeader());
        const int checkColumn = page.model()->columnIndex(VoskTool::ColumnCheck);

        const double heapBefore = heapBytes();
        Timer timer;
        timer.restart();
        for (int i = 0; i < rows; ++i)
            page.onDeviceLogin(record(i));
        report(rows, "online reports", timer, selections);
        std::printf("%6d  %-26s %9.0f bytes\n", rows, "heap per device", (heapBytes() - heapBefore) / rows);

        page.onManualUpdate();
        selections = 0;
        QVector<VOSK_DEVICE_INFO> run;
        timer.restart();
        for (int i = 0; i < rows; ++i) {
            run.append(record(i));
            if (run.size() == 64 || i + 1 == rows) {
                page.onDevicesLogin(run);
                run.clear();
            }
        }
        report(rows, "online reports, runs of 64", timer, selections);

        selections = 0;
        timer.restart();
        header->setColumnCheckState(checkColumn, Qt::Checked);
        report(rows, "check all", timer, selections);

        selections = 0;
        timer.restart();
        header->setColumnCheckState(checkColumn, Qt::Unchecked);
        report(rows, "uncheck all", timer, selections);

        selections = 0;
        timer.restart();
        page.onManualUpdate();
        report(rows, "refresh", timer, selections);
    }
    return 0;
}
