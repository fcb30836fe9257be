// Times the spreadsheet export of N device rows (default 10000) and reports
// the process's peak memory before and after it. Prints one line per run
// and the median; asserts nothing.
//
//   bench_export [ROWS] [RUNS]

#include "export/excelmanager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// Peak resident set size so far, in KiB (VmHWM).
long peakKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// A device table of `rows` devices with texts like the real ones: 22
// columns, the first the check column.
void fill(QStandardItemModel &model, int rows)
{
    model.setColumnCount(22);
    QStringList header{QString()};
    for (const char *name : {"ID", "Device Type", "Activate", "IPv4 Address", "Port", "Soft Vision", "IPv4 GateWay",
                             "HttpPort", "Serial Number", "IPv4 Mask", "MAC", "Channel NO", "DSP Vision", "Start Time",
                             "IPv6 Address", "IPv6 GateWay", "IPv6 Prefix Length", "Is Support IPv6",
                             "Is Support Mod IPv6", "Is Support DHCP", "IPv4 DHCP"})
        header.append(QString::fromLatin1(name));
    model.setHorizontalHeaderLabels(header);
    for (int r = 0; r < rows; ++r) {
        const QStringList texts{
            QString(), QStringLiteral("%1").arg(r + 1, 3, 10, QLatin1Char('0')), QStringLiteral("VC-2120A"),
            r % 5 ? QStringLiteral("Activated") : QStringLiteral("Not activated"),
            QStringLiteral("10.%1.%2.%3").arg(r / 65536).arg(r / 256 % 256).arg(r % 256), QStringLiteral("8000"),
            QStringLiteral("V5.6.3 build 220112"), QStringLiteral("10.0.0.1"), QStringLiteral("80"),
            QStringLiteral("VC-2120A%1").arg(r, 12, 10, QLatin1Char('0')), QStringLiteral("255.0.0.0"),
            QStringLiteral("00-16-3e-%1-%2-%3").arg(r / 65536 % 256, 2, 16, QLatin1Char('0')).arg(r / 256 % 256, 2, 16, QLatin1Char('0')).arg(r % 256, 2, 16, QLatin1Char('0')),
            QStringLiteral("1"), QStringLiteral("V7.3 build 211208"), QStringLiteral("2026-12-07 09:%1:%2").arg(r / 60 % 60, 2, 10, QLatin1Char('0')).arg(r % 60, 2, 10, QLatin1Char('0')),
            QStringLiteral("fe80::216:3eff:fe00:%1").arg(r, 0, 16), QStringLiteral("::"), QStringLiteral("64"),
            QStringLiteral("Yes"), QStringLiteral("Yes"), QStringLiteral("Yes"), QStringLiteral("OFF")};
        QList<QStandardItem *> items;
        for (const QString &text : texts)
            items.append(new QStandardItem(text));
        model.appendRow(items);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;

    QStandardItemModel model;
    fill(model, rows);
    QList<int> all;
    for (int r = 0; r < rows; ++r)
        all.append(r);
    const long before = peakKib();

    QTemporaryDir dir;
    VoskTool::ExcelManager manager;
    QList<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const bool saved = manager.exportToExcel(QStringLiteral("devices%1").arg(run), dir.path() + QLatin1Char('/'),
                                                 &model, all);
        const double ms = timer.nsecsElapsed() / 1e6;
        times.append(ms);
        const qint64 size = QFile(dir.filePath(QStringLiteral("devices%1.xls").arg(run))).size();
        std::printf("rows %d  run %d  %s  %.1f ms  file %.2f MB\n", rows, run + 1, saved ? "saved" : "FAILED", ms,
                    size / 1048576.0);
    }
    std::sort(times.begin(), times.end());
    const long after = peakKib();
    std::printf("rows %d  median %.1f ms  peak memory %.1f MB before the exports (model), %.1f MB after "
                "(+%.1f MB)\n",
                rows, times.at(times.size() / 2), before / 1024.0, after / 1024.0, (after - before) / 1024.0);
    return 0;
}
