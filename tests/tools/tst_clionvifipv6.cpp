// vosktool-cli set with IPv6 values, as a script runs it: our devices and
// two ONVIF devices serving on unique local addresses, one of them with
// IPv4 off. Runs in a network namespace of its own (made inside
// ./test.sh's), whose loopback holds the addresses.

#include "tests/tools/clirun.h"
#include "tests/tools/privatenetwork.h"
#include "tests/vosk/voskfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace VoskTest;

namespace {

constexpr int kPort = 47258;
const char kGroup[] = "239.255.86.158";
constexpr int kOnvifPort = 34758;
constexpr int kHttpPort = 18158;
constexpr int kOurs = 4;
constexpr int kOnvif = 2;
const QByteArray kCredentials = QByteArrayLiteral("admin\nAdmin12345\n");
// ONVIF device 0 serves on IPv4 and at fd00:58::1, device 1 at fd00:58::2
// alone; the addresses they are moved to lie on loopback too.
const QString kDualV4 = QStringLiteral("127.58.0.1");
const QString kDualV6 = QStringLiteral("fd00:58::1");
const QString kAloneV6 = QStringLiteral("fd00:58::2");
const QString kDualMoveTo = QStringLiteral("fd00:58::98");
const QString kAloneMoveTo = QStringLiteral("fd00:58::99");

using CliTest::Run;

Run cli(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    return CliTest::run(arguments, input, CliTest::onvifEnvironment(kOnvifPort));
}

// The row of the ONVIF device whose IPv4 or IPv6 address is `address`.
QJsonObject byAddress(const QJsonArray &devices, const QString &address)
{
    for (const QJsonValue &device : devices) {
        if (device[QLatin1String("ipv4")].toString() == address || device[QLatin1String("ipv6")].toString() == address)
            return device.toObject();
    }
    return {};
}

} // namespace

class TestCliOnvifIpv6 final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void refused_data();
    void refused();
    void ipv6Change_data();
    void ipv6Change();

private:
    QString file(const QByteArray &text);
    QJsonArray list();

    Devsim m_sim;
    QTemporaryDir m_files;
    int m_fileCount = 0;
    QString m_dualSerial, m_aloneSerial;
    QString m_oursFixedIpv6; // a device of ours that does not take IPv6 changes
    QString m_oursIpv6;      // one that does
    QString m_oursIpv4;      // its IPv4 address
};

void TestCliOnvifIpv6::initTestCase()
{
    QString error;
    if (!TestSupport::enterPrivateNetwork(error))
        QSKIP(qPrintable(error));
    for (const QString &address : {kDualV6, kAloneV6, kDualMoveTo, kAloneMoveTo}) {
        QCOMPARE(QProcess::execute(QStringLiteral("ip"),
                                   {QStringLiteral("-6"), QStringLiteral("addr"), QStringLiteral("add"),
                                    address + QStringLiteral("/128"), QStringLiteral("dev"), QStringLiteral("lo"),
                                    QStringLiteral("nodad")}),
                 0);
    }
    pinToLoopback(kPort, kGroup);
    QVERIFY(m_files.isValid());
    QVERIFY(m_sim.start({QStringLiteral("--count"), QString::number(kOurs), QStringLiteral("--seed"),
                         QStringLiteral("58"), QStringLiteral("--onvif"), QString::number(kOnvif),
                         QStringLiteral("--onvif-discovery-port"), QString::number(kOnvifPort),
                         QStringLiteral("--onvif-port"), QString::number(kHttpPort), QStringLiteral("--onvif-address"),
                         kDualV4, QStringLiteral("--onvif-address6"), kDualV6,
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("plain"),
                         QStringLiteral("--onvif-behaviour"), QStringLiteral("1:ipv6only")}));
    const QJsonArray devices = list();
    QCOMPARE(devices.size(), kOurs + kOnvif);
    m_dualSerial = byAddress(devices, kDualV4)[QLatin1String("serial")].toString();
    m_aloneSerial = byAddress(devices, kAloneV6)[QLatin1String("serial")].toString();
    QVERIFY(!m_dualSerial.isEmpty() && !m_aloneSerial.isEmpty());
    QVERIFY(byAddress(devices, kAloneV6)[QLatin1String("ipv4")].toString().isEmpty());
    for (const QJsonValue &d : devices) {
        if (d[QLatin1String("protocol")].toString() == QLatin1String("vosk") && d[QLatin1String("activated")].toBool()
            && !d[QLatin1String("dhcp")].toBool()) {
            if (d[QLatin1String("supportsIpv6Change")].toBool()) {
                m_oursIpv6 = d[QLatin1String("serial")].toString();
                m_oursIpv4 = d[QLatin1String("ipv4")].toString();
            } else {
                m_oursFixedIpv6 = d[QLatin1String("serial")].toString();
            }
        }
    }
    QVERIFY2(!m_oursIpv6.isEmpty(), "the fleet needs a device of ours that takes IPv6 settings");
    QVERIFY2(!m_oursFixedIpv6.isEmpty(), "the fleet needs a device of ours that keeps its IPv6 settings");
}

QString TestCliOnvifIpv6::file(const QByteArray &text)
{
    const QString path = m_files.filePath(QStringLiteral("f%1").arg(++m_fileCount));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
    return path;
}

QJsonArray TestCliOnvifIpv6::list()
{
    const Run run = cli({QStringLiteral("list"), QStringLiteral("--json"), QStringLiteral("--expect"),
                         QString::number(kOurs + kOnvif), QStringLiteral("--wait"), QStringLiteral("60000"),
                         QStringLiteral("--onvif-credentials"), QStringLiteral("-")},
                        kCredentials);
    return QJsonDocument::fromJson(run.out).array();
}

void TestCliOnvifIpv6::refused_data()
{
    QTest::addColumn<QString>("device"); // "dual", "alone", "ours", or a serial number as it stands
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("message");
    // The window's field rules, before anything is looked for.
    QTest::newRow("bad IPv6 address") << QStringLiteral("X") << QStringList{QStringLiteral("--ipv6"), QStringLiteral("fd00::1::2")}
                                      << QByteArray("--ipv6: IPv6 Address not correct.");
    QTest::newRow("prefix too long") << QStringLiteral("X") << QStringList{QStringLiteral("--ipv6-prefix"), QStringLiteral("128")}
                                     << QByteArray("--ipv6-prefix: IPv6 prefix length ranges from 0 to 127.");
    QTest::newRow("bad IPv6 gateway") << QStringLiteral("X") << QStringList{QStringLiteral("--ipv6-gateway"), QStringLiteral("10.0.0.1")}
                                      << QByteArray("--ipv6-gateway: IPv6 gateway not correct.");
    // What the device cannot take, as the form greys it.
    QTest::newRow("IPv6 to a device that keeps it")
        << QStringLiteral("ours") << QStringList{QStringLiteral("--ipv6"), QStringLiteral("fd00:58::55")}
        << QByteArray("does not allow its IPv6 parameters to be changed");
    QTest::newRow("IPv4 to a device with IPv4 off")
        << QStringLiteral("alone") << QStringList{QStringLiteral("--ip"), QStringLiteral("127.58.0.50")}
        << QByteArray("IPv4 is off on this device");
    QTest::newRow("IPv6 with DHCP on")
        << QStringLiteral("dual")
        << QStringList{QStringLiteral("--dhcp"), QStringLiteral("on"), QStringLiteral("--ipv6"), QStringLiteral("fd00:58::55")}
        << QByteArray("the IPv6 options need --dhcp off");
}

// Refused with the reason, nothing sent (no result line), bad input.
void TestCliOnvifIpv6::refused()
{
    QFETCH(QString, device);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, message);
    const QString serial = device == QLatin1String("dual") ? m_dualSerial
        : device == QLatin1String("alone")                 ? m_aloneSerial
        : device == QLatin1String("ours")                  ? m_oursFixedIpv6
                                                           : device;
    const Run run = cli(QStringList{QStringLiteral("set"), serial} + options
                        + QStringList{QStringLiteral("--password-file"), file("Admin12345\n"),
                                      QStringLiteral("--onvif-credentials"), file(kCredentials),
                                      QStringLiteral("--wait"), QStringLiteral("60000")});
    QCOMPARE(run.code, 2);
    QVERIFY2(run.out.isEmpty(), run.out.constData());
    QVERIFY2(run.err.contains(message), run.err.constData());
}

void TestCliOnvifIpv6::ipv6Change_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("moveTo");
    QTest::addColumn<int>("prefix");
    QTest::addColumn<QString>("gateway6");
    QTest::newRow("ONVIF, IPv6 alone") << QStringLiteral("alone") << kAloneMoveTo << 56 << QStringLiteral("fe80::2");
    QTest::newRow("ONVIF, IPv4 and IPv6") << QStringLiteral("dual") << kDualMoveTo << 64 << QStringLiteral("fe80::3");
    QTest::newRow("ours") << QStringLiteral("ours") << QStringLiteral("fd00:58::77") << 48
                          << QStringLiteral("fd00:58::fffe");
}

// New IPv6 values: sent, reported back ("applied"); the device keeps its
// IPv4 address, and one with IPv4 off is asked for none.
void TestCliOnvifIpv6::ipv6Change()
{
    QFETCH(QString, device);
    QFETCH(QString, moveTo);
    QFETCH(int, prefix);
    QFETCH(QString, gateway6);
    const QString serial = device == QLatin1String("alone") ? m_aloneSerial
        : device == QLatin1String("dual")                   ? m_dualSerial
                                                            : m_oursIpv6;
    const QString ipv4 = device == QLatin1String("alone") ? QString()
        : device == QLatin1String("dual")                 ? kDualV4
                                                          : m_oursIpv4;
    const Run run = cli({QStringLiteral("set"), serial, QStringLiteral("--ipv6"), moveTo, QStringLiteral("--ipv6-prefix"),
                         QString::number(prefix), QStringLiteral("--ipv6-gateway"), gateway6,
                         QStringLiteral("--password-file"), QStringLiteral("-"), QStringLiteral("--onvif-credentials"),
                         file(kCredentials), QStringLiteral("--wait"), QStringLiteral("60000")},
                        QByteArrayLiteral("Admin12345\n"));
    QVERIFY2(run.code == 0, run.err);
    QCOMPARE(run.out, (serial + QStringLiteral("\tSucceed\tapplied\n")).toUtf8());
    const QJsonObject row = byAddress(list(), moveTo);
    QCOMPARE(row[QLatin1String("serial")].toString(), serial);
    QCOMPARE(row[QLatin1String("ipv6PrefixLength")].toInt(), prefix);
    QCOMPARE(row[QLatin1String("ipv6Gateway")].toString(), gateway6);
    QCOMPARE(row[QLatin1String("ipv4")].toString(), ipv4);
}

QTEST_MAIN(TestCliOnvifIpv6)
#include "tst_clionvifipv6.moc"
