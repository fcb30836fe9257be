// vosktool-cli against hostile input: plan files built to hurt, device
// fields that carry terminal commands or spreadsheet formulas, a reader
// that stops reading the watch output, and runs that are cut short or
// cannot write their files.

#include "discovery/onvifrecord.h"
#include "discovery/terminaltext.h"
#include "tests/vosk/voskfixture.h"
#include "tools/cli/batchplan.h"
#include "tools/cli/deviceformat.h"
#include "tools/cli/watchoutput.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <QProcess>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace VoskTest;

namespace {

constexpr int kPort = 47271;
const char kGroup[] = "239.255.86.171";
constexpr quint64 kSeed = 23;
constexpr int kCount = 12;

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

VOSK_DEVICE_INFO device(const char *serial, const char *type, const char *mac = "02-00-00-00-00-01")
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    std::strncpy(record.serialNumber, serial, sizeof record.serialNumber - 1);
    std::strncpy(record.deviceDescription, type, sizeof record.deviceDescription - 1);
    std::strncpy(record.mac, mac, sizeof record.mac - 1);
    std::strncpy(record.ipv4Address, "10.0.0.7", sizeof record.ipv4Address - 1);
    record.port = 8000;
    return record;
}

bool hasControl(const QByteArray &text, bool allowLineEnds)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (allowLineEnds && (c == '\n' || c == '\t'))
            continue;
        if (u < 0x20 || u == 0x7F)
            return true;
    }
    // C1 controls as UTF-8 (U+0080..U+009F).
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (static_cast<unsigned char>(text.at(i)) == 0xC2 && static_cast<unsigned char>(text.at(i + 1)) >= 0x80
            && static_cast<unsigned char>(text.at(i + 1)) <= 0x9F)
            return true;
    }
    return false;
}

} // namespace

class TestHostileInput final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Plans that are no plans: refused with the line number, never quoted
    // whole, never with a control character in a message.
    void planLines_data()
    {
        QTest::addColumn<QByteArray>("plan");
        QTest::addColumn<QStringList>("errors");
        const QByteArray good = "S1,10.0.0.1\n";
        QTest::newRow("a 10 MB line") << good + QByteArray(10 << 20, 'A') + "\nS2,10.0.0.2\n"
                                      << QStringList{S("line 2: longer than 1024 bytes (not read)")};
        QTest::newRow("10 MB without a line end") << good + QByteArray(10 << 20, 'A')
                                                  << QStringList{S("line 2: longer than 1024 bytes (not read)")};
        QTest::newRow("a line of 1025 bytes") << QByteArray(1025, 'B') + "\r\n" + good
                                              << QStringList{S("line 1: longer than 1024 bytes (not read)")};
        QTest::newRow("binary") << good + QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0\n", 11)
                                << QStringList{S("line 2: binary data or a NUL byte (not read)")};
        QTest::newRow("NUL inside a serial") << QByteArray("S1\0X,10.0.0.1\nS2,10.0.0.2\n", 26)
                                             << QStringList{S("line 1: binary data or a NUL byte (not read)")};
        QTest::newRow("escape sequence in a serial") << QByteArray("S\x1b]0;owned\x07,10.0.0.1\n")
                                                     << QStringList{S("line 1: binary data or a NUL byte (not read)")};
        QTest::newRow("a serial no device has")
            << QByteArray(60, 'S') + ",10.0.0.1\n"
            << QStringList{S("line 1: ") + QString(47, QLatin1Char('S'))
                           + S("...: longer than any serial number (47 characters)")};
        QTest::newRow("a bad address quoted escaped")
            << QByteArray("S\xe2\x80\xae" "1,10.0.0.300\n")
            << QStringList{S("line 1: S\\u{202E}1: IP Address not correct.")};
    }
    void planLines()
    {
        QFETCH(QByteArray, plan);
        QFETCH(QStringList, errors);
        QBuffer buffer(&plan);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        BatchPlan::Defaults defaults;
        defaults.mask = QStringLiteral("255.0.0.0");
        QList<BatchPlan::Line> lines;
        QStringList got;
        QVERIFY(!BatchPlan::read(buffer, defaults, &lines, &got));
        QCOMPARE(got, errors);
    }

    void planFaultsBounded()
    {
        QByteArray plan;
        for (int i = 0; i < 5000; ++i)
            plan += "S" + QByteArray::number(i) + ",10." + QByteArray::number(i / 250) + '.'
                + QByteArray::number(i % 250 + 1) + ".1,,,1999\n";
        QBuffer buffer(&plan);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QList<BatchPlan::Line> lines;
        QStringList errors;
        QVERIFY(!BatchPlan::read(buffer, BatchPlan::Defaults{}, &lines, &errors));
        QCOMPARE(errors.size(), 101);
        QVERIFY(errors.last().startsWith(QLatin1String("more than 100 faults")));
    }

    void escape_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("plain") << S("VC-2120A 001/Z\u00e9") << S("VC-2120A 001/Z\u00e9");
        QTest::newRow("window title") << S("cam\x1b]0;owned\x07") << S("cam\\x1B]0;owned\\x07");
        QTest::newRow("C1 CSI") << S("a\u009b2Jb") << S("a\\x9B2Jb");
        QTest::newRow("forged result line") << S("S1\tSucceed\nS2") << S("S1\\x09Succeed\\x0AS2");
        QTest::newRow("backslash") << S("AB\\x1B") << S("AB\\\\x1B");
        QTest::newRow("direction override") << S("abc\u202edef") << S("abc\\u{202E}def");
        QTest::newRow("DEL and CR") << S("a\x7f\rb") << S("a\\x7F\\x0Db");
        QTest::newRow("emoji kept") << S("cam \U0001F4F7") << S("cam \U0001F4F7");
    }
    void escape()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(TerminalText::escape(text), escaped);
    }

    // A device's fields through every output form.
    void deviceFields()
    {
        const QList<VOSK_DEVICE_INFO> devices{
            device("=1+1", "cam\x1b]0;owned\x07", "@SUM(A1)"),
            device("-2+3", "=HYPERLINK(\"http://x\",\"y\")", "02-00-00-00-00-02"),
            device("VS1", "a\x9b" "2J", "+02-00")};  // C1 CSI, as the Latin-1 record holds it
        // The table for people: no control character reaches the terminal.
        const QByteArray table = DeviceFormat::list(devices, DeviceFormat::Style::Table).toUtf8();
        QVERIFY(!hasControl(table, true));
        QVERIFY(table.contains("cam\\x1B]0;owned\\x07"));

        // CSV: formulas read as text, unless --raw.
        const QString csv = DeviceFormat::list(devices, DeviceFormat::Style::Csv);
        QVERIFY(!hasControl(csv.toUtf8(), true));
        const QStringList rows = csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(rows.at(1).startsWith(S("'=1+1,'@SUM(A1),cam\\x1B]0;owned\\x07,")));
        QVERIFY(rows.at(2).startsWith(S("'-2+3,02-00-00-00-00-02,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",")));
        QVERIFY(rows.at(3).startsWith(S("VS1,'+02-00,")));
        const QString raw = DeviceFormat::list(devices, DeviceFormat::Style::Csv, true);
        QVERIFY(raw.contains(S("\n=1+1,@SUM(A1),cam\x1b]0;owned\x07,")));

        // JSON: the same data, every control character as an escape.
        const QString json = DeviceFormat::list(devices, DeviceFormat::Style::Json);
        QVERIFY(!hasControl(json.toUtf8(), true));
        const QJsonArray array = QJsonDocument::fromJson(json.toUtf8()).array();
        QCOMPARE(array.size(), 3);
        QCOMPARE(array.at(0)[QLatin1String("type")].toString(), S("cam\x1b]0;owned\x07"));
        QCOMPARE(array.at(2)[QLatin1String("type")].toString(), QString::fromLatin1("a\x9b" "2J"));
        const QString line = DeviceFormat::watchLine(devices.at(2), VOSK_EVENT_UPDATED, DeviceFormat::Style::Json);
        QVERIFY(!hasControl(line.toUtf8(), true));
        QCOMPARE(QJsonDocument::fromJson(line.toUtf8())[QLatin1String("type")].toString(),
                 QString::fromLatin1("a\x9b" "2J"));
    }

    // The HTTP port as the window shows it: "N/A" for a device of ours
    // without one, empty for an ONVIF device that did not say; never a 0
    // (JSON: null).
    void httpPortAsTheWindowShowsIt()
    {
        VOSK_DEVICE_INFO web = device("SN1", "IPC");
        web.httpPort = 80;
        VOSK_DEVICE_INFO onvif = VOSK::makeOnvifRecord(S("urn:uuid:http-port"));
        std::strncpy(onvif.serialNumber, "SN2", sizeof onvif.serialNumber - 1);
        const QList<VOSK_DEVICE_INFO> devices{device("SN0", "IPC"), web, onvif};
        const QStringList lines = DeviceFormat::list(devices, DeviceFormat::Style::Table).split(QLatin1Char('\n'));
        const int at = int(lines.at(0).indexOf(S("HTTP")));
        QVERIFY(at > 0);
        QCOMPARE(lines.at(1).mid(at, 4).trimmed(), S("N/A"));
        QCOMPARE(lines.at(2).mid(at, 4).trimmed(), S("80"));
        QCOMPARE(lines.at(3).mid(at, 4).trimmed(), QString());
        const QJsonArray json = QJsonDocument::fromJson(DeviceFormat::list(devices, DeviceFormat::Style::Json).toUtf8()).array();
        QVERIFY(json.at(0)[QLatin1String("httpPort")].isNull());
        QCOMPARE(json.at(1)[QLatin1String("httpPort")].toInt(), 80);
    }

    // A reader that stops reading: memory stays at one entry per device,
    // and once it reads again it learns each device's latest state.
    void watchStalled()
    {
        int fds[2];
        QVERIFY(::pipe2(fds, O_CLOEXEC) == 0);
        // The reading end only: the writer must cope with a blocking one.
        QVERIFY(::fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0);
        constexpr int kDevices = 20;
        constexpr int kRounds = 20000;
        {
            WatchOutput output(fds[1], "event,serial\n", [](const VOSK_DEVICE_INFO &record, int event) {
                return DeviceFormat::eventName(event).toUtf8() + ',' + QByteArray(record.serialNumber) + ','
                    + QByteArray::number(record.port) + '\n';
            });
            int most = 0;
            for (int round = 0; round < kRounds; ++round) {
                for (int i = 0; i < kDevices; ++i) {
                    VOSK_DEVICE_INFO record = device(QByteArray("S" + QByteArray::number(i)).constData(), "cam");
                    record.port = round;
                    output.post(record, round == 0 ? VOSK_EVENT_ONLINE : VOSK_EVENT_UPDATED);
                }
                most = std::max(most, output.pendingDevices());
            }
            // The pipe (64 KiB) filled long ago: the rest waited, coalesced.
            QVERIFY(most <= kDevices);
            QVERIFY(!output.idle());
            // Device 0 goes, device 1 comes back: the latest state wins.
            VOSK_DEVICE_INFO gone = device("S0", "cam");
            gone.port = -1;
            output.post(gone, VOSK_EVENT_OFFLINE);

            QByteArray read;
            QHash<QByteArray, QByteArray> last;
            char chunk[65536];
            while (!output.idle()) {
                const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
                QVERIFY(n > 0 || errno == EAGAIN);
                if (n > 0)
                    read.append(chunk, n);
                QCoreApplication::processEvents();
            }
            ::close(fds[1]);
            for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;)
                read.append(chunk, n);
            QVERIFY(read.startsWith("event,serial\n"));
            for (const QByteArray &line : read.split('\n')) {
                const QList<QByteArray> cells = line.split(',');
                if (cells.size() == 3)
                    last.insert(cells.at(1), cells.at(0) + ',' + cells.at(2));
            }
            QCOMPARE(last.size(), kDevices);
            QCOMPARE(last.value("S0"), QByteArray("offline,-1"));
            for (int i = 1; i < kDevices; ++i)
                QCOMPARE(last.value("S" + QByteArray::number(i)), "updated," + QByteArray::number(kRounds - 1));
        }
        ::close(fds[0]);
    }

    // The key export cut short by SIGKILL: every result it printed is
    // matched by what out_error.txt holds, whole lines only.
    void killedExport()
    {
        if (!foreignInterfaces().isEmpty())
            QSKIP("needs the private network namespace of ./test.sh");
        pinToLoopback(kPort, kGroup);
        Devsim devsim;
        // Every answer late: the run is still going when it is killed.
        QVERIFY(devsim.start({S("--count"), QString::number(kCount), S("--seed"), QString::number(kSeed),
                              S("--delay"), S("300")}));
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(S("HOME"), home.path());
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(S(VOSKTOOL_CLI_PATH), {S("export-keys"), S("--expect"), QString::number(kCount), S("--wait"),
                                         S("60000")});
        QVERIFY(cli.waitForStarted(10000));
        QByteArray out;
        while (out.count('\n') < kCount / 2 && cli.waitForReadyRead(60000))
            out += cli.readAllStandardOutput();
        QVERIFY2(out.count('\n') >= kCount / 2, out.constData());
        ::kill(pid_t(cli.processId()), SIGKILL);
        QVERIFY(cli.waitForFinished(10000));
        out += cli.readAllStandardOutput();
        QVERIFY(out.count('\n') < kCount);

        const QDir work(home.filePath(S("VoskReset")));
        QFile errors(work.filePath(S("out_error.txt")));
        QByteArray list;
        if (errors.open(QIODevice::ReadOnly))
            list = errors.readAll();
        QStringList failedPrinted;
        int exported = 0;
        for (const QByteArray &line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QList<QByteArray> cells = line.split('\t');
            QCOMPARE(cells.size(), 2);
            if (cells.at(1) == "Exported") {
                ++exported;
                const QString prefix = QString::fromLatin1(cells.at(0)).replace(S("/"), S("%2F")) + S("-");
                QCOMPARE(work.entryList({prefix + S("*.xml")}, QDir::Files).size(), 1);
            } else {
                failedPrinted << QString::fromLatin1(cells.at(0));
            }
        }
        QVERIFY2(!failedPrinted.isEmpty() && exported > 0, out.constData());
        QVERIFY(list.endsWith("\r\n"));
        const QList<QByteArray> lines = list.trimmed().split('\n');
        QVERIFY(lines.size() >= failedPrinted.size());
        for (int i = 0; i < failedPrinted.size(); ++i)
            QVERIFY2(lines.at(i).startsWith(failedPrinted.at(i).toLatin1() + '+'), list.constData());
    }

    // A working folder that cannot be written: no "Exported", exit 1.
    void exportUnwritable()
    {
        if (!foreignInterfaces().isEmpty())
            QSKIP("needs the private network namespace of ./test.sh");
        pinToLoopback(kPort, kGroup);
        Devsim devsim;
        QVERIFY(devsim.start({S("--count"), S("4"), S("--seed"), QString::number(kSeed)}));
        QTemporaryDir home;
        QVERIFY(home.isValid());
        // Even root cannot make a folder where a file stands.
        QFile blocker(home.filePath(S("VoskReset")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(S("HOME"), home.path());
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(S(VOSKTOOL_CLI_PATH), {S("export-keys"), S("--expect"), S("4"), S("--wait"), S("60000")});
        QVERIFY(cli.waitForFinished(120000));
        QCOMPARE(cli.exitCode(), 1);
        const QByteArray out = cli.readAllStandardOutput();
        QCOMPARE(out.count('\n'), 4);
        QVERIFY2(!out.contains("\tExported"), out.constData());
        QVERIFY(cli.readAllStandardError().contains("the error list could not be written"));
    }
};

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
