// Workbooks written by ExcelManager, read back cell for cell by two
// readers that share no code with the writer or with each other:
// python3-xlrd (strict about the container and the record layout) and
// LibreOffice headless, converting to CSV. All workbooks go through one
// LibreOffice run and one Python run.

#include "aptui/itemroles.h"
#include "export/excelmanager.h"
#include "export/xlsworkbook.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using VoskTool::ExcelManager;

namespace {

using Table = QList<QStringList>;

// Reads every workbook named on the command line with xlrd and, when a CSV
// of the same base name exists in the second argument's folder, that too.
const char kReaderScript[] = R"PY(
import csv, json, os, sys, xlrd
out = {}
csvdir = sys.argv[1]
for path in sys.argv[2:]:
    base = os.path.splitext(os.path.basename(path))[0]
    book = xlrd.open_workbook(path)
    sheets = [s.name for s in book.sheets()]
    sheet = book.sheet_by_index(0)
    cells = [[sheet.cell_value(r, c) if c < sheet.row_len(r) else '' for c in range(sheet.ncols)]
             for r in range(sheet.nrows)]
    types = sorted({sheet.cell_type(r, c) for r in range(sheet.nrows) for c in range(sheet.row_len(r))})
    entry = {'sheets': sheets, 'xlrd': cells, 'types': types}
    csvpath = os.path.join(csvdir, base + '.csv')
    if os.path.exists(csvpath):
        with open(csvpath, newline='', encoding='utf-8') as f:
            entry['csv'] = [row for row in csv.reader(f)]
    out[base] = entry
json.dump(out, sys.stdout)
)PY";

Table fromJson(const QJsonArray &rows)
{
    Table table;
    for (const QJsonValue &row : rows) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells.append(cell.isDouble() ? QString::number(cell.toDouble()) : cell.toString());
        table.append(cells);
    }
    return table;
}

// LibreOffice may drop empty cells at the end of a CSV line and empty
// lines at the end of the sheet; compare both sides on that footing.
Table trimmedForCsv(Table table)
{
    for (QStringList &row : table) {
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
    }
    while (!table.isEmpty() && table.last().isEmpty())
        table.removeLast();
    return table;
}

struct Case
{
    QString name;
    QStringList header;
    Table rows;
    QList<int> order; // the model rows to export; empty: all, in order
    // The body as the file should hold it, where it differs from `rows`.
    Table written = {};
    // Columns (of `header`) whose cells give their number (NumberRole):
    // written as numbers, read back as numbers.
    QList<int> numbers = {};
};

QStandardItemModel *modelOf(const Case &c, QObject *parent)
{
    auto *model = new QStandardItemModel(0, c.header.size() + 1, parent);
    model->setHorizontalHeaderLabels(QStringList{QString()} + c.header);
    for (const QStringList &row : c.rows) {
        QList<QStandardItem *> items{new QStandardItem(QStringLiteral("check"))};
        for (const QString &text : row) {
            items.append(new QStandardItem(text));
            bool number = false;
            const int value = text.trimmed().toInt(&number);
            if (number && c.numbers.contains(int(items.size()) - 2))
                items.last()->setData(value, aptui::NumberRole);
        }
        model->appendRow(items);
    }
    return model;
}

QString repeated(const QString &unit, int count)
{
    QString text;
    while (text.size() < count)
        text += unit;
    return text.left(count);
}

QList<Case> cases()
{
    QList<Case> list;
    list.append({QStringLiteral("chinese"),
                 {QStringLiteral("设备类型"), QStringLiteral("Serial Number"), QStringLiteral("IPv4 地址")},
                 {{QStringLiteral("网络摄像机"), QStringLiteral("DS-2CD2042WD0120160312CCWR"), QStringLiteral("192.168.1.64")},
                  {QStringLiteral("硬盘录像机"), QStringLiteral("N/A"), QString()},
                  {QStringLiteral("Café €, \"quoted\"; x"), QStringLiteral("line\none"), QStringLiteral(" 001 ")}},
                 {2, 0}});
    // A device's line break and escape sequence are written escaped, as
    // the console writes them.
    list.last().written = {list.last().rows.at(2), list.last().rows.at(0)};
    list.last().written[0][1] = QStringLiteral("line\\x0Aone");
    list.append({QStringLiteral("numbers"),
                 {QStringLiteral("Port"), QStringLiteral("HttpPort"), QStringLiteral("Device Type")},
                 {{QStringLiteral(" 8000"), QStringLiteral("80"), QStringLiteral("IPC\x1b]0;owned\x07")},
                  {QStringLiteral("65535"), QStringLiteral("N/A"), QStringLiteral("NVR")}},
                 {},
                 {{QStringLiteral("8000"), QStringLiteral("80"), QStringLiteral("IPC\\x1B]0;owned\\x07")},
                  {QStringLiteral("65535"), QStringLiteral("N/A"), QStringLiteral("NVR")}},
                 {0, 1}});
    list.append({QStringLiteral("long-cell"),
                 {QStringLiteral("Device Type"), QStringLiteral("Note")},
                 {{QStringLiteral("A"), repeated(QStringLiteral("0123456789abcdefghij"), 300)},
                  {QStringLiteral("B"), repeated(QStringLiteral("中文字符"), 300)}},
                 {}});
    list.append({QStringLiteral("header-only"), {QStringLiteral("ID"), QStringLiteral("Serial Number")}, {}, {}});
    // Long strings cross CONTINUE records, once in one-byte and once in
    // two-byte characters, with surrogate pairs at every position.
    list.append({QStringLiteral("continued"),
                 {QStringLiteral("A"), QStringLiteral("B")},
                 {{repeated(QStringLiteral("x"), 9000), repeated(QStringLiteral("é"), 9001)},
                  {repeated(QStringLiteral("\U0001F600y"), 9003), repeated(QStringLiteral("\U0001F600"), 9002)},
                  {repeated(QStringLiteral("字"), 12001), QStringLiteral("end")}},
                 {}});

    Case large{QStringLiteral("large-10000"), {}, {}, {}};
    for (int c = 0; c < 21; ++c)
        large.header.append(QStringLiteral("Column %1").arg(c + 1));
    for (int r = 0; r < 10000; ++r) {
        QStringList row;
        for (int c = 0; c < 21; ++c)
            row.append(c % 3 == 0 ? QStringLiteral("%1").arg(r, 3, 10, QLatin1Char('0'))
                                  : QStringLiteral("r%1c%2 设备").arg(r).arg(c));
        large.rows.append(row);
    }
    list.append(large);

    // A full sheet: over 7 MB of cells, so the container needs DIFAT
    // sectors (more FAT sectors than the header has slots for).
    Case full{QStringLiteral("full-sheet"), {}, {}, {}};
    for (int c = 0; c < 8; ++c)
        full.header.append(QStringLiteral("C%1").arg(c));
    for (int r = 0; r < VoskTool::XlsWorkbook::MaxRows - 1; ++r)
        full.rows.append(QStringList(8, QStringLiteral("v%1").arg(r % 7)));
    list.append(full);
    return list;
}

} // namespace

class TestXlsReaders final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bothReadersSeeEveryCell()
    {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        // Debian's interpreter: python3-xlrd is a Debian package, and a
        // python3 of its own earlier on PATH would not see it.
        const QString python = QFile::exists(QStringLiteral("/usr/bin/python3"))
                                   ? QStringLiteral("/usr/bin/python3")
                                   : QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (soffice.isEmpty() || python.isEmpty())
            QFAIL("soffice and python3 (with xlrd) are needed: see scripts/packages.txt");

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path() + QLatin1Char('/');
        const QString csvDir = dir.filePath(QStringLiteral("csv"));
        QVERIFY(QDir().mkpath(csvDir));

        const QList<Case> all = cases();
        QStringList files;
        ExcelManager manager;
        for (const Case &c : all) {
            QStandardItemModel *model = modelOf(c, this);
            QList<int> rows = c.order;
            for (int r = 0; c.order.isEmpty() && r < c.rows.size(); ++r)
                rows.append(r);
            QVERIFY2(manager.exportToExcel(c.name, folder, model, rows), qPrintable(c.name));
            files.append(folder + c.name + QStringLiteral(".xls"));
        }

        // One LibreOffice run for all files, with a profile of its own.
        QProcess office;
        office.setProcessChannelMode(QProcess::MergedChannels);
        office.start(soffice, QStringList{QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                                          QStringLiteral("--headless"), QStringLiteral("--norestore"),
                                          QStringLiteral("--convert-to"),
                                          QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"),
                                          QStringLiteral("--outdir"), csvDir}
                              + files);
        QVERIFY(office.waitForFinished(400000));
        const QByteArray officeOutput = office.readAll();

        QProcess reader;
        reader.start(python, QStringList{QStringLiteral("-c"), QString::fromUtf8(kReaderScript), csvDir} + files);
        QVERIFY(reader.waitForFinished(120000));
        QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
        const QJsonObject result = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();

        for (const Case &c : all) {
            const QJsonObject entry = result.value(c.name).toObject();
            QVERIFY2(!entry.isEmpty(), qPrintable(c.name));
            Table expected{QStringList(c.header).replaceInStrings(QStringLiteral("Serial Number"),
                                                                  QStringLiteral("Device Serial Number"))};
            if (!c.written.isEmpty())
                expected += c.written;
            else if (c.order.isEmpty())
                expected += c.rows;
            for (int r : c.order) {
                if (c.written.isEmpty())
                    expected.append(c.rows.at(r));
            }

            QCOMPARE(entry.value(QStringLiteral("sheets")).toArray(), QJsonArray{c.name});
            // Text cells (xlrd type 1), and numbers (type 2) where given.
            if (!c.numbers.isEmpty())
                QCOMPARE(entry.value(QStringLiteral("types")).toArray(), (QJsonArray{1, 2}));
            else if (!c.rows.isEmpty() || !c.header.isEmpty())
                QCOMPARE(entry.value(QStringLiteral("types")).toArray(), QJsonArray{1});
            const Table xlrdCells = fromJson(entry.value(QStringLiteral("xlrd")).toArray());
            QCOMPARE(xlrdCells.size(), expected.size());
            for (int r = 0; r < expected.size(); ++r)
                QCOMPARE(xlrdCells.at(r), expected.at(r));

            QVERIFY2(entry.contains(QStringLiteral("csv")),
                     qPrintable(c.name + QStringLiteral(": LibreOffice wrote no CSV: ") + QString::fromUtf8(officeOutput)));
            const Table csvCells = trimmedForCsv(fromJson(entry.value(QStringLiteral("csv")).toArray()));
            const Table expectedCsv = trimmedForCsv(expected);
            QCOMPARE(csvCells.size(), expectedCsv.size());
            for (int r = 0; r < expectedCsv.size(); ++r)
                QCOMPARE(csvCells.at(r), expectedCsv.at(r));
        }
    }
};

QTEST_MAIN(TestXlsReaders)
#include "tst_xlsreaders.moc"
