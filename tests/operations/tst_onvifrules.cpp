// How the ONVIF side reads what devices report (which interface, which
// address, masks) and words what they answer, with the rows where devices
// differ.

#include "operations/onvifdeviceoperations.h"
#include "operations/onvifnetview.h"
#include "operations/onvifoutcome.h"
#include "operations/operationwords.h"

#include <QtTest>

using namespace VoskTool;

namespace {

Onvif::NetworkInterface nic(const QString &token, bool enabled, bool dhcp, const QString &manual,
                            const QString &fromDhcp = QString())
{
    Onvif::NetworkInterface n;
    n.token = token;
    n.enabled = enabled;
    Onvif::IPv4Configuration v4;
    v4.enabled = true;
    v4.dhcp = dhcp;
    if (!manual.isEmpty())
        v4.manual = {{manual, 24}};
    if (!fromDhcp.isEmpty())
        v4.fromDhcp = {{fromDhcp, 16}};
    n.ipv4 = v4;
    return n;
}

} // namespace

class tst_OnvifRules : public QObject
{
    Q_OBJECT

private slots:
    void masks_data();
    void masks();
    void mainInterface();
    void currentAddress();
    void movedAddresses_data();
    void movedAddresses();
    void outcomes_data();
    void outcomes();
};

void tst_OnvifRules::masks_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("prefix");
    QTest::newRow("24") << QStringLiteral("255.255.255.0") << 24;
    QTest::newRow("32") << QStringLiteral("255.255.255.255") << 32;
    QTest::newRow("1") << QStringLiteral("128.0.0.0") << 1;
    QTest::newRow("0") << QStringLiteral("0.0.0.0") << 0;
    QTest::newRow("spaces") << QStringLiteral(" 255.255.0.0 ") << 16;
    QTest::newRow("holes") << QStringLiteral("255.0.255.0") << -1;
    QTest::newRow("IPv6") << QStringLiteral("ffff::") << -1;
    QTest::newRow("text") << QStringLiteral("mask") << -1;
    QTest::newRow("empty") << QString() << -1;
}

// A mask read back from its prefix and the other way; a mask with holes or
// of another family is no mask (the change is refused, not sent wrong).
void tst_OnvifRules::masks()
{
    QFETCH(QString, mask);
    QFETCH(int, prefix);
    QCOMPARE(maskPrefixLength(mask), prefix);
    if (prefix > 0)
        QCOMPARE(dottedMask(prefix), mask.trimmed());
}

// The interface a row shows: the one the device is reached on, even when
// another comes first; else the first enabled one.
void tst_OnvifRules::mainInterface()
{
    const QList<Onvif::NetworkInterface> list{nic(QStringLiteral("eth0"), true, false, QStringLiteral("10.0.0.5")),
                                              nic(QStringLiteral("eth1"), true, false, QStringLiteral("192.168.1.64"))};
    QCOMPARE(onvifMainInterface(list, QStringLiteral("192.168.1.64"))->token, QStringLiteral("eth1"));
    QCOMPARE(onvifMainInterface(list, QStringLiteral("172.16.0.1"))->token, QStringLiteral("eth0"));
    const QList<Onvif::NetworkInterface> off{nic(QStringLiteral("wlan0"), false, false, QStringLiteral("10.1.1.1")),
                                             nic(QStringLiteral("eth0"), true, false, QStringLiteral("10.2.2.2"))};
    QCOMPARE(onvifMainInterface(off, QString())->token, QStringLiteral("eth0"));
    QVERIFY(!onvifMainInterface({}, QString()));
    // An IPv6 host (with the zone of a link-local one), written otherwise
    // than the device writes it.
    QList<Onvif::NetworkInterface> v6 = list;
    Onvif::IPv6Configuration config;
    config.manual = {{QStringLiteral("fd00:0:0::7"), 64}};
    config.linkLocal = {{QStringLiteral("fe80::7"), 64}};
    v6[1].ipv6 = config;
    QCOMPARE(onvifMainInterface(v6, QStringLiteral("fd00::7"))->token, QStringLiteral("eth1"));
    QCOMPARE(onvifMainInterface(v6, QStringLiteral("fe80::7%eth3"))->token, QStringLiteral("eth1"));
}

// With DHCP on, the address DHCP gave is the one held, not a stale manual
// one; with DHCP off, the manual one.
void tst_OnvifRules::currentAddress()
{
    QCOMPARE(onvifIpv4Address(nic(QStringLiteral("e"), true, true, QStringLiteral("10.0.0.5"),
                                  QStringLiteral("10.9.9.9")))->address,
             QStringLiteral("10.9.9.9"));
    QCOMPARE(onvifIpv4Address(nic(QStringLiteral("e"), true, false, QStringLiteral("10.0.0.5"),
                                  QStringLiteral("10.9.9.9")))->address,
             QStringLiteral("10.0.0.5"));
    QCOMPARE(onvifIpv4Address(nic(QStringLiteral("e"), true, true, QStringLiteral("10.0.0.5")))->address,
             QStringLiteral("10.0.0.5"));
    Onvif::NetworkInterface none;
    QVERIFY(!onvifIpv4Address(none));
    QVERIFY(!onvifIpv6Address(none));
}

void tst_OnvifRules::movedAddresses_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("httpPort");
    QTest::addColumn<QString>("moved");
    QTest::newRow("IPv4") << "http://127.0.0.1:8080/onvif/device_service" << "127.0.0.9" << 0
                          << "http://127.0.0.9:8080/onvif/device_service";
    QTest::newRow("to IPv6, in brackets") << "http://127.0.0.1:8080/x" << "fd00::9" << 0 << "http://[fd00::9]:8080/x";
    // fe80::2 is reached through the same interface as fe80::1 was.
    QTest::newRow("link-local keeps its zone") << "http://[fe80::1%25eth1]:8080/x" << "fe80::2" << 0
                                               << "http://[fe80::2%25eth1]:8080/x";
    QTest::newRow("a zone given wins") << "http://[fe80::1%25eth1]/x" << "fe80::2%eth2" << 0 << "http://[fe80::2%25eth2]/x";
    QTest::newRow("from link-local to global") << "http://[fe80::1%25eth1]/x" << "fd00::2" << 0 << "http://[fd00::2]/x";
    QTest::newRow("port 80 left out") << "http://[fd00::1]:8080/x" << "" << 80 << "http://[fd00::1]/x";
}

void tst_OnvifRules::movedAddresses()
{
    QFETCH(QString, service);
    QFETCH(QString, host);
    QFETCH(int, httpPort);
    QFETCH(QString, moved);
    QCOMPARE(OnvifDeviceOperations::movedAddress(QUrl(service), host, httpPort).toString(), moved);
}

void tst_OnvifRules::outcomes_data()
{
    QTest::addColumn<Onvif::ErrorKind>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("batchWord");
    // A user name and password, not our protocol's refusal.
    QTest::newRow("wrong password") << Onvif::ErrorKind::NotAuthorized << int(OperationStatus::Denied)
                                    << QStringLiteral("Error3001:wrong user name or password");
    QTest::newRow("time-out") << Onvif::ErrorKind::Timeout << int(OperationStatus::TimedOut)
                              << QStringLiteral("Error3007:time out");
    QTest::newRow("unreachable") << Onvif::ErrorKind::Unreachable << int(OperationStatus::TimedOut)
                                 << QStringLiteral("Error3006:time out");
    QTest::newRow("not supported") << Onvif::ErrorKind::NotSupported << int(OperationStatus::Unsupported)
                                   << QStringLiteral("Not supported by this device");
    QTest::newRow("bad value") << Onvif::ErrorKind::InvalidArgument << int(OperationStatus::Failed)
                               << QStringLiteral("Error3002:others");
    QTest::newRow("hostile answer") << Onvif::ErrorKind::BadAnswer << int(OperationStatus::Failed)
                                    << QStringLiteral("Error3008:others");
    QTest::newRow("none") << Onvif::ErrorKind::None << int(OperationStatus::Done) << QStringLiteral("Succeed");
}

// Each kind of failure as the words every kind of device shares.
void tst_OnvifRules::outcomes()
{
    QFETCH(Onvif::ErrorKind, kind);
    QFETCH(int, status);
    QFETCH(QString, batchWord);
    Onvif::Error error;
    error.kind = kind;
    const OperationOutcome outcome = onvifOutcome(error);
    QCOMPARE(int(outcome.status), status);
    QCOMPARE(batchResultWord(OperationKind::SetNetParams, outcome).english(), batchWord);
}

QTEST_MAIN(tst_OnvifRules)
#include "tst_onvifrules.moc"
