// vosktool-cli with ONVIF devices beside ours, as a script runs it: one
// simulator holding both kinds, the credentials given on standard input.

#include "tests/tools/clirun.h"
#include "tests/vosk/voskfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>

using namespace VoskTest;

namespace {

constexpr int kPort = 47263;
const char kGroup[] = "239.255.86.163";
constexpr int kOnvifPort = 34753;
constexpr int kHttpPort = 18153;
constexpr int kOurs = 4;
constexpr int kOnvif = 8;
const QByteArray kCredentials = QByteArrayLiteral("admin\nAdmin12345\n");

QString onvifAddress(int n)
{
    return QStringLiteral("127.53.0.%1").arg(n + 1);
}

using CliTest::Run;

Run cli(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    return CliTest::run(arguments, input, CliTest::onvifEnvironment(kOnvifPort));
}

QStringList listAll(int count = kOurs + kOnvif)
{
    return {QStringLiteral("list"), QStringLiteral("--json"), QStringLiteral("--expect"), QString::number(count),
            QStringLiteral("--wait"), QStringLiteral("60000")};
}

QJsonObject byAddress(const QJsonArray &devices, const QString &address)
{
    for (const QJsonValue &device : devices) {
        if (device[QLatin1String("ipv4")].toString() == address)
            return device.toObject();
    }
    return {};
}

} // namespace

class TestCliOnvif final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void listBesideOurs();
    void listTellsTheTruth();
    void changeFailures_data();
    void changeFailures();
    void badInput_data();
    void badInput();
    void setRebootNeeded();
    void activateByAddress();
    void mixedBatch();
    void passwordRange_data();
    void passwordRange();
    void longPasswordForOnvifOnly();
    void rogues_data();
    void rogues();

private:
    QString file(const QByteArray &text);
    QJsonArray list(const QByteArray &credentials = kCredentials, int count = kOurs + kOnvif);

    Devsim m_sim;
    QTemporaryDir m_files;
    int m_fileCount = 0;
};

// Our devices and eight ONVIF ones: 0 ordinary, 1 needs a reboot for a
// network change, 2 in factory state, 3 digest only; devices we did not
// write: 4 hides its users from anonymous callers, 5 in factory state
// takes any request, 6 faults every change with its own reason, 7 reports
// IPv6 off.
void TestCliOnvif::initTestCase()
{
    if (!foreignInterfaces().isEmpty())
        QSKIP("needs the private network namespace of ./test.sh");
    pinToLoopback(kPort, kGroup);
    QVERIFY(m_files.isValid());
    QVERIFY(m_sim.start({QStringLiteral("--count"), QString::number(kOurs), QStringLiteral("--seed"),
                         QStringLiteral("31"), QStringLiteral("--onvif"), QString::number(kOnvif),
                         QStringLiteral("--onvif-discovery-port"), QString::number(kOnvifPort),
                         QStringLiteral("--onvif-port"), QString::number(kHttpPort), QStringLiteral("--onvif-address"),
                         onvifAddress(0), QStringLiteral("--onvif-reboot-ms"), QStringLiteral("300"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("1:reboot"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("2:factory"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("3:auth=digest"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("4:hiddenusers"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("5:factory,open"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("6:faults=Disk%0Afull%C2%9B2J"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("7:ipv6off")}));
}

QString TestCliOnvif::file(const QByteArray &text)
{
    const QString path = m_files.filePath(QStringLiteral("f%1").arg(++m_fileCount));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
    return path;
}

QJsonArray TestCliOnvif::list(const QByteArray &credentials, int count)
{
    const Run run = cli(listAll(count) + QStringList{QStringLiteral("--onvif-credentials"), QStringLiteral("-")},
                        credentials);
    return QJsonDocument::fromJson(run.out).array();
}

// Both kinds in one list, told apart by the last field. Before sign-in an
// ONVIF device shows what discovery says (no serial number, no MAC); signed
// in, its cells; the factory-state device is not activated either way.
// Wrong credentials still list the devices. The credentials never reach
// the output.
void TestCliOnvif::listBesideOurs()
{
    Run run = cli(listAll());
    QCOMPARE(run.code, 0);
    QJsonArray devices = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(devices.size(), kOurs + kOnvif);
    int ours = 0;
    for (const QJsonValue &d : devices)
        ours += d[QLatin1String("protocol")].toString() == QLatin1String("vosk");
    QCOMPARE(ours, kOurs);
    for (int n = 0; n < kOnvif; ++n) {
        const QJsonObject d = byAddress(devices, onvifAddress(n));
        QCOMPARE(d[QLatin1String("protocol")].toString(), QStringLiteral("onvif"));
        QVERIFY(d[QLatin1String("serial")].toString().isEmpty());
        QVERIFY(d[QLatin1String("mac")].toString().isEmpty());
        QCOMPARE(d[QLatin1String("httpPort")].toInt(), kHttpPort);
        QVERIFY(d[QLatin1String("port")].isNull());
        QCOMPARE(d[QLatin1String("activated")].toBool(), n != 2 && n != 5);
    }

    devices = list();
    QCOMPARE(devices.size(), kOurs + kOnvif);
    for (int n = 0; n < kOnvif; ++n) {
        const QJsonObject d = byAddress(devices, onvifAddress(n));
        const bool factory = n == 2 || n == 5;
        QCOMPARE(d[QLatin1String("serial")].toString().isEmpty(), factory);
        QCOMPARE(d[QLatin1String("mac")].toString().isEmpty(), factory);
        QCOMPARE(d[QLatin1String("activated")].toBool(), !factory);
        if (!factory)
            QVERIFY(d[QLatin1String("mask")].toString().startsWith(QLatin1String("255.")));
    }

    devices = list(QByteArrayLiteral("admin\nNot-The-0ne\n"));
    QCOMPARE(devices.size(), kOurs + kOnvif);
    QVERIFY(byAddress(devices, onvifAddress(0))[QLatin1String("serial")].toString().isEmpty());

    // The table and CSV end with the new column; the rows of ours keep
    // their fields in their places.
    run = cli(QStringList{QStringLiteral("list"), QStringLiteral("--csv"), QStringLiteral("--expect"),
                          QString::number(kOurs + kOnvif), QStringLiteral("--wait"), QStringLiteral("60000"),
                          QStringLiteral("--probe"), QStringLiteral("127.53.0.1-127.53.0.8"),
                          QStringLiteral("--onvif-credentials"), file(kCredentials)});
    QCOMPARE(run.code, 0);
    QVERIFY(run.out.startsWith("serial,mac,type,activated,ipv4"));
    QVERIFY(run.out.split('\n').first().endsWith(",supportsKeyReset,protocol"));
    QVERIFY(!run.out.contains("Admin12345") && !run.err.contains("Admin12345"));
}

// Signed in, the devices we did not write as they are: the one hiding its
// users from anonymous callers is activated, the factory-state one that
// takes any credentials is not, IPv6 reported off is not offered. Wrong
// credentials: every refusal on standard error naming the device, exit
// code 1, and no refused device shown as in factory state.
void TestCliOnvif::listTellsTheTruth()
{
    QJsonArray devices = list();
    const QJsonObject hidden = byAddress(devices, onvifAddress(4));
    QVERIFY(hidden[QLatin1String("activated")].toBool());
    QVERIFY(!hidden[QLatin1String("serial")].toString().isEmpty());
    QVERIFY(!byAddress(devices, onvifAddress(5))[QLatin1String("activated")].toBool());
    const QJsonObject off = byAddress(devices, onvifAddress(7));
    QVERIFY(!off[QLatin1String("serial")].toString().isEmpty());
    QVERIFY(!off[QLatin1String("supportsIpv6")].toBool());
    QVERIFY(!off[QLatin1String("supportsIpv6Change")].toBool());

    const Run run = cli(listAll() + QStringList{QStringLiteral("--onvif-credentials"), QStringLiteral("-")},
                        QByteArrayLiteral("admin\nNot-The-0ne\n"));
    QCOMPARE(run.code, 1);
    devices = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(devices.size(), kOurs + kOnvif);
    for (int n = 0; n < kOnvif; ++n) {
        const bool factory = n == 2 || n == 5;
        const QByteArray named = (onvifAddress(n) + QStringLiteral(" (urn:uuid:")).toUtf8();
        const qsizetype at = run.err.indexOf(named);
        QVERIFY2((at >= 0) != factory, run.err.constData());
        if (!factory)
            QVERIFY(run.err.mid(at).startsWith(named) && run.err.mid(at).split('\n').first().endsWith(
                        "ONVIF sign-in refused: wrong user name or password"));
        QCOMPARE(byAddress(devices, onvifAddress(n))[QLatin1String("activated")].toBool(), !factory);
    }
}

void TestCliOnvif::changeFailures_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QStringList>("change");
    QTest::addColumn<QString>("result"); // ending in "(": the rest is the seconds waited
    // Its line break a blank, its terminal command (CSI) shown and not obeyed.
    QTest::newRow("fault with the device's reason")
        << 6 << QStringList{QStringLiteral("--ip"), QStringLiteral("127.53.0.121")}
        << QStringLiteral("Error3005:the device says \"Disk full\ufffd2J\"");
    QTest::newRow("moved out of reach")
        << 7 << QStringList{QStringLiteral("--ip"), QStringLiteral("10.99.0.9")}
        << QStringLiteral("sent, not seen since (");
}

// A change the device refused with its own reason, or took and was not
// seen with since: a failure with why (the device's text made safe for
// the terminal, the real wait), exit code 1, never "Succeed".
void TestCliOnvif::changeFailures()
{
    QFETCH(int, device);
    QFETCH(QStringList, change);
    QFETCH(QString, result);
    const QString serial = byAddress(list(), onvifAddress(device))[QLatin1String("serial")].toString();
    QVERIFY(!serial.isEmpty());
    const Run run = cli(QStringList{QStringLiteral("set"), serial} + change
                        + QStringList{QStringLiteral("--password-file"), file("Admin12345\n"),
                                      QStringLiteral("--onvif-credentials"), file(kCredentials),
                                      QStringLiteral("--wait"), QStringLiteral("60000")});
    QCOMPARE(run.code, 1);
    const QString line = QString::fromUtf8(run.out);
    QVERIFY2(line.startsWith(serial + QLatin1Char('\t') + result), run.out.constData());
    QVERIFY(!line.contains(QLatin1String("Succeed")));
    if (result.endsWith(QLatin1Char('('))) {
        // The real wait: the device kind's 8 s for a moved device, not the 5 s of the confirmation.
        QVERIFY2(line.section(QLatin1Char('('), 1).section(QLatin1Char(' '), 0, 0).toInt() >= 8, run.out.constData());
    }
}

void TestCliOnvif::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("reversed range") << QStringList{QStringLiteral("list"), QStringLiteral("--probe"),
                                                   QStringLiteral("10.0.0.9-10.0.0.1")} << QByteArray();
    QTest::newRow("no address") << QStringList{QStringLiteral("list"), QStringLiteral("--probe"),
                                               QStringLiteral("camera")} << QByteArray();
    QTest::newRow("range too long") << QStringList{QStringLiteral("list"), QStringLiteral("--probe"),
                                                   QStringLiteral("10.0.0.1-10.1.0.1")} << QByteArray();
    QTest::newRow("no password line") << QStringList{QStringLiteral("list"), QStringLiteral("--onvif-credentials"),
                                                     QStringLiteral("-")} << QByteArray("admin\n");
    QTest::newRow("both from standard input")
        << QStringList{QStringLiteral("set"), QStringLiteral("X"), QStringLiteral("--ip"), QStringLiteral("10.0.0.2"),
                       QStringLiteral("--password-file"), QStringLiteral("-"), QStringLiteral("--onvif-credentials"),
                       QStringLiteral("-")}
        << kCredentials;
}

// Refused before anything is sent or heard.
void TestCliOnvif::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    const Run run = cli(arguments, input);
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(!run.err.contains("found"));
}

// A device that restarts to apply its new address: named by the serial
// number its sign-in read (every ONVIF device is signed in with the
// credentials given to find it; without them the serial number names no
// ONVIF device), found at its new address afterwards.
void TestCliOnvif::setRebootNeeded()
{
    const QString serial = byAddress(list(), onvifAddress(1))[QLatin1String("serial")].toString();
    QVERIFY(!serial.isEmpty());
    Run run = cli({QStringLiteral("set"), serial, QStringLiteral("--mask"), QStringLiteral("255.255.0.0"),
                   QStringLiteral("--password-file"), file("Admin12345\n"), QStringLiteral("--wait"),
                   QStringLiteral("3000")});
    QCOMPARE(run.out, (serial + QStringLiteral("\tDevice not found.\n")).toUtf8());
    run = cli({QStringLiteral("set"), serial, QStringLiteral("--port"), QStringLiteral("8001"),
               QStringLiteral("--password-file"), file("Admin12345\n"), QStringLiteral("--onvif-credentials"),
               file(kCredentials), QStringLiteral("--wait"), QStringLiteral("60000")});
    QCOMPARE(run.code, 2);
    QVERIFY(run.err.contains("no device port"));
    run = cli({QStringLiteral("set"), serial, QStringLiteral("--ip"), QStringLiteral("127.53.0.102"),
               QStringLiteral("--password-file"), QStringLiteral("-"), QStringLiteral("--onvif-credentials"),
               file(kCredentials), QStringLiteral("--wait"), QStringLiteral("60000")},
              QByteArrayLiteral("Admin12345\n"));
    QVERIFY2(run.code == 0, run.err);
    QCOMPARE(run.out, (serial + QStringLiteral("\tSucceed\tapplied; restarted to apply it\n")).toUtf8());
    QCOMPARE(byAddress(list(), QStringLiteral("127.53.0.102"))[QLatin1String("serial")].toString(), serial);
}

// The factory-state device has no serial number: named by its address. It
// is activated once; the second time it is refused as an active device.
void TestCliOnvif::activateByAddress()
{
    const QString address = onvifAddress(2);
    const QString good = file("Install2026\n");
    Run run = cli({QStringLiteral("activate"), address, QStringLiteral("--password-file"), good,
                   QStringLiteral("--wait"), QStringLiteral("60000")});
    QVERIFY2(run.code == 0, run.err);
    QCOMPARE(run.out, (address + QStringLiteral("\tSucceed\n")).toUtf8());
    run = cli({QStringLiteral("activate"), address, QStringLiteral("--password-file"), good,
               QStringLiteral("--wait"), QStringLiteral("60000")});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out, (address + QStringLiteral("\tError3001:others\n")).toUtf8());
    const QJsonObject device = byAddress(list(QByteArrayLiteral("admin\nInstall2026\n")), address);
    QVERIFY(device[QLatin1String("activated")].toBool());
    QVERIFY(!device[QLatin1String("serial")].toString().isEmpty());
}

// One plan, both kinds: each device gets its address and reports it.
void TestCliOnvif::mixedBatch()
{
    const QJsonArray devices = list();
    QString ours;
    for (const QJsonValue &d : devices) {
        if (d[QLatin1String("protocol")].toString() == QLatin1String("vosk") && d[QLatin1String("activated")].toBool())
            ours = d[QLatin1String("serial")].toString();
    }
    QVERIFY2(!ours.isEmpty(), "the fleet needs an activated device of ours");
    const QString onvif = byAddress(devices, onvifAddress(3))[QLatin1String("serial")].toString();
    QVERIFY(!onvif.isEmpty());
    const QString plan = file("serial,ip,mask,gateway,port,http_port\n" + ours.toUtf8() + ",10.7.0.20,255.255.0.0,,,\n"
                              + onvif.toUtf8() + ",127.53.0.104,255.255.0.0,,,\n");
    const Run run = cli({QStringLiteral("batch"), plan, QStringLiteral("--password-file"), file("Admin12345\n"),
                         QStringLiteral("--onvif-credentials"), file(kCredentials), QStringLiteral("--wait"),
                         QStringLiteral("60000")});
    QVERIFY2(run.code == 0, run.err + run.out);
    QCOMPARE(run.out, (ours + QStringLiteral("\tSucceed\tapplied\n") + onvif
                       + QStringLiteral("\tSucceed\tapplied\n")).toUtf8());
}

// A new password the policy refuses: the message states the range of the
// devices named (ONVIF devices alone take up to 64 characters, ours 16,
// and ours bind in a mixed list). Nothing is sent.
void TestCliOnvif::passwordRange_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("kinds"); // the devices named: "ours", or ONVIF device n's address
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("range");
    const QByteArray ours = "Valid password range [8-16]. ";
    const QByteArray onvif = "Valid password range [8-64]. ";
    QTest::newRow("activate, ours only") << "activate" << QStringList{QStringLiteral("ours")} << QByteArray("12345678")
                                         << ours;
    QTest::newRow("activate, ONVIF only") << "activate" << QStringList{onvifAddress(2)} << QByteArray("12345678")
                                          << onvif;
    QTest::newRow("activate, mixed") << "activate" << QStringList{QStringLiteral("ours"), onvifAddress(2)}
                                     << QByteArray("12345678") << ours;
    QTest::newRow("passwd, ours only, 17 characters") << "passwd" << QStringList{QStringLiteral("ours")}
                                                      << QByteArray("Abcdefgh-12345678") << ours;
    QTest::newRow("passwd, ONVIF only, one kind") << "passwd" << QStringList{onvifAddress(0)}
                                                  << QByteArray("abcdefghijklmnopqrst") << onvif;
    QTest::newRow("passwd, ONVIF only, 65 characters") << "passwd" << QStringList{onvifAddress(0)}
                                                       << QByteArray(60, 'a') + "B1#4x" << onvif;
    QTest::newRow("passwd, mixed") << "passwd" << QStringList{QStringLiteral("ours"), onvifAddress(0)}
                                   << QByteArray("abcdefgh") << ours;
}

void TestCliOnvif::passwordRange()
{
    QFETCH(QString, command);
    QFETCH(QStringList, kinds);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, range);
    QString ours;
    for (const QJsonValue &d : list()) {
        if (d[QLatin1String("protocol")].toString() == QLatin1String("vosk"))
            ours = d[QLatin1String("serial")].toString();
    }
    QVERIFY(!ours.isEmpty());
    QStringList arguments{command};
    for (const QString &kind : std::as_const(kinds))
        arguments << (kind == QLatin1String("ours") ? ours : kind);
    if (command == QLatin1String("passwd"))
        arguments << QStringLiteral("--old-password-file") << file("Admin12345\n");
    arguments << QStringLiteral("--password-file") << file(password + '\n') << QStringLiteral("--wait")
              << QStringLiteral("60000");
    const Run run = cli(arguments);
    QCOMPARE(run.code, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(range), run.err.constData());
    QVERIFY(!run.err.contains("[1/"));
}

// ONVIF devices alone take a password longer than ours would: set, then
// given as the old one to set the first back.
void TestCliOnvif::longPasswordForOnvifOnly()
{
    const QString address = onvifAddress(0);
    const QByteArray longer = "Longer-Passw0rd-than-16";
    Run run = cli({QStringLiteral("passwd"), address, QStringLiteral("--old-password-file"), file("Admin12345\n"),
                   QStringLiteral("--password-file"), file(longer + '\n'), QStringLiteral("--wait"),
                   QStringLiteral("60000")});
    QVERIFY2(run.code == 0, run.err);
    QCOMPARE(run.out, (address + QStringLiteral("\tSucceed\n")).toUtf8());
    const QJsonObject row = byAddress(list("admin\n" + longer + '\n'), address);
    QVERIFY(!row[QLatin1String("serial")].toString().isEmpty());
    // A change made as the administrator with that password: its bytes
    // for an ONVIF device are UTF-8 and not cut at our 16.
    run = cli({QStringLiteral("set"), address, QStringLiteral("--mask"), row[QLatin1String("mask")].toString(),
               QStringLiteral("--password-file"), file(longer + '\n'), QStringLiteral("--wait"),
               QStringLiteral("60000")});
    QVERIFY2(run.code == 0, run.err);
    QVERIFY2(run.out.startsWith((address + QStringLiteral("\tSucceed")).toUtf8()), run.out);
    run = cli({QStringLiteral("passwd"), address, QStringLiteral("--old-password-file"), file(longer + '\n'),
               QStringLiteral("--password-file"), file("Admin12345\n"), QStringLiteral("--wait"),
               QStringLiteral("60000")});
    QVERIFY2(run.code == 0, run.err);
    QVERIFY(!byAddress(list(), address)[QLatin1String("serial")].toString().isEmpty());
}

// A hostile device beside the fleet, from another address: one announcing
// a listed device's endpoint reference (after a Bye for it, with newer
// metadata), one in factory state doing the same to the device that was
// in factory state, one showing device 0's serial number and MAC, one
// naming device 0's address, or a host name, as its service. The device
// a command names is refused (nothing sent, to it or to the rogue) until
// it is picked by the address it is listed at; a serial number and MAC
// both devices show pick neither. A service on another host is not even
// signed in to by `list --onvif-credentials` until picked.
void TestCliOnvif::rogues_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pick");
    // How many rows show device 0's serial number once the rogue is picked
    // in a list (the rogue's other host read), or -1: a command is picked.
    QTest::addColumn<int>("readWhenPicked");
    const QString rogue = QStringLiteral("127.54.0.1");
    const QString set = QStringLiteral("set");
    const QString activate = QStringLiteral("activate");
    QTest::newRow("endpoint of a signed-in device") << QStringLiteral("0:endpoint=31/0") << set << onvifAddress(0)
                                                    << onvifAddress(0) << -1;
    QTest::newRow("the rogue itself") << QStringLiteral("0:endpoint=31/0") << set << rogue << QString() << -1;
    QTest::newRow("endpoint of a factory device, activated") << QStringLiteral("0:factory,endpoint=31/2") << activate
                                                             << onvifAddress(2) << QString() << -1;
    QTest::newRow("endpoint of a factory device, the rogue") << QStringLiteral("0:factory,endpoint=31/2") << activate
                                                             << rogue << QString() << -1;
    QTest::newRow("serial number and MAC") << QStringLiteral("0:twin=31/0") << set << QStringLiteral("serial")
                                           << onvifAddress(0) << -1;
    QTest::newRow("another host") << QStringLiteral("0:xaddr=") + onvifAddress(0) << set << rogue << rogue << 2;
    QTest::newRow("a host name") << QStringLiteral("0:xaddr=camera.invalid") << set << rogue << rogue << 1;
}

void TestCliOnvif::rogues()
{
    QFETCH(QString, rule);
    QFETCH(QString, command);
    QFETCH(QString, name);
    QFETCH(QString, pick);
    QFETCH(int, readWhenPicked);
    const QJsonObject device0 = byAddress(list(), onvifAddress(0));
    Devsim rogue;
    QVERIFY(rogue.start({QStringLiteral("--count"), QStringLiteral("0"), QStringLiteral("--seed"), QStringLiteral("77"),
                         QStringLiteral("--onvif"), QStringLiteral("1"), QStringLiteral("--onvif-discovery-port"),
                         QString::number(kOnvifPort), QStringLiteral("--onvif-port"), QString::number(kHttpPort),
                         QStringLiteral("--onvif-address"), QStringLiteral("127.54.0.1"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                         QStringLiteral("--onvif-behaviour"), rule}));
    const QString serial0 = device0[QLatin1String("serial")].toString();
    if (name == QLatin1String("serial"))
        name = serial0;
    auto showingSerial0 = [&serial0](const QJsonArray &devices) {
        return int(std::count_if(devices.begin(), devices.end(), [&serial0](const QJsonValue &d) {
            return d[QLatin1String("serial")].toString() == serial0;
        }));
    };
    const int all = kOurs + kOnvif + 1;
    const QJsonArray devices = list(kCredentials, all);
    QCOMPARE(devices.size(), all);
    QStringList arguments{command, name};
    if (command == QLatin1String("set"))
        arguments << QStringLiteral("--mask") << device0[QLatin1String("mask")].toString()
                  << QStringLiteral("--onvif-credentials") << file(kCredentials);
    arguments << QStringLiteral("--password-file") << file("Admin12345\n") << QStringLiteral("--wait")
              << QStringLiteral("60000");
    Run run = cli(arguments);
    QVERIFY2(run.code == 1, run.err);
    QVERIFY2(run.out.endsWith("\tIdentity shared with another device: nothing sent.\n"), run.out + run.err);
    QVERIFY(!run.err.contains("[1/"));
    if (readWhenPicked >= 0) {
        QCOMPARE(showingSerial0(devices), 1);
        run = cli(listAll(all) + QStringList{QStringLiteral("--onvif-credentials"), file(kCredentials),
                                              QStringLiteral("--pick"), pick});
        QCOMPARE(showingSerial0(QJsonDocument::fromJson(run.out).array()), readWhenPicked);
        // Picked, the command goes on: through the other host it names
        // (device 0 itself, whose mask is sent back as it is).
        if (readWhenPicked < 2)
            return;
    }
    if (pick.isEmpty())
        return;
    // A serial number and MAC both show pick neither.
    if (name == serial0) {
        run = cli(arguments + QStringList{QStringLiteral("--pick"), name + u'@' + device0[QLatin1String("mac")].toString()});
        QCOMPARE(run.code, 1);
    }
    run = cli(arguments + QStringList{QStringLiteral("--pick"), pick});
    QVERIFY2(run.out.startsWith((name + QStringLiteral("\tSucceed")).toUtf8()), run.out + run.err);
}

QTEST_MAIN(TestCliOnvif)
#include "tst_clionvif.moc"
