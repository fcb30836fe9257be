#include "netparam/rules/netparamrules.h"

#include <QTest>

using namespace VoskTool;

Q_DECLARE_METATYPE(VoskTool::NetField)
Q_DECLARE_METATYPE(VoskTool::FieldError)
Q_DECLARE_METATYPE(VoskTool::NetParamTexts)

class tst_NetParamRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addressRules_data();
    void addressRules();
    void ipv6_data();
    void ipv6();
    void numberFields_data();
    void numberFields();
    void singleOrder_data();
    void singleOrder();
    void batchOrder_data();
    void batchOrder();
    void nextAddress_data();
    void nextAddress();
    void room_data();
    void room();
};

void tst_NetParamRules::addressRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("host");
    QTest::addColumn<bool>("gateway");
    QTest::addColumn<bool>("mask");

    QTest::newRow("network address") << "192.168.1.0" << false << false << false;
    QTest::newRow("first part 0") << "0.1.2.3" << true << true << false;
    QTest::newRow("broadcast") << "192.168.1.255" << true << false << false;
    QTest::newRow("all zero") << "0.0.0.0" << false << true << true;
    QTest::newRow("all ones") << "255.255.255.255" << true << false << false;
    QTest::newRow("leading zeros") << "192.168.001.010" << true << true << false;
    QTest::newRow("mask with leading zeros") << "255.255.255.000" << false << false << false;
    QTest::newRow("mask /24") << "255.255.255.0" << false << false << true;
    QTest::newRow("mask /31") << "255.255.255.254" << true << true << true;
    QTest::newRow("mask /1") << "128.0.0.0" << false << false << true;
    QTest::newRow("mask not contiguous") << "255.0.255.0" << false << false << false;
    QTest::newRow("three parts") << "1.2.3" << false << false << false;
    QTest::newRow("five parts") << "1.2.3.4.5" << false << false << false;
    QTest::newRow("empty part") << "1..2.3" << false << false << false;
    QTest::newRow("part above 255") << "1.2.3.256" << false << false << false;
    QTest::newRow("letters") << "1.2.3.a" << false << false << false;
    QTest::newRow("sign in a part") << "1.2.+3.4" << false << false << false;
    QTest::newRow("blank in a part") << "1.2. 3.4" << false << false << false;
    QTest::newRow("full-width digit") << QString::fromUtf8("1.2.3.\xef\xbc\x94") << false << false << false;
    QTest::newRow("empty") << "" << false << false << false;
}

void tst_NetParamRules::addressRules()
{
    QFETCH(QString, text);
    QFETCH(bool, host);
    QFETCH(bool, gateway);
    QFETCH(bool, mask);
    QCOMPARE(isValidIpv4Address(text), host);
    QCOMPARE(isValidGateway(text), gateway);
    QCOMPARE(isValidSubnetMask(text), mask);
}

void tst_NetParamRules::ipv6_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("::") << "::" << true;
    QTest::newRow(":: with blanks") << " :: " << true;
    QTest::newRow("zone") << "fe80::1%3" << true;
    QTest::newRow("mapped IPv4") << "::ffff:192.168.1.1" << true;
    QTest::newRow("eight groups") << "1:2:3:4:5:6:7:8" << true;
    QTest::newRow("seven groups") << "1:2:3:4:5:6:7" << false;
    QTest::newRow("two compressions") << "1::2::3" << false;
    QTest::newRow("six groups and IPv4") << "1:2:3:4:5:6:1.2.3.4" << true;
    QTest::newRow("seven groups and IPv4") << "1:2:3:4:5:6:7:1.2.3.4" << false;
    QTest::newRow("trailing ::") << "1::" << true;
    QTest::newRow("leading single colon") << ":1:2:3:4:5:6:7" << false;
    QTest::newRow("trailing single colon") << "1:2:3:4:5:6:7:" << false;
    QTest::newRow("group above FFFF") << "fe80::10000" << false;
    QTest::newRow("not hex") << "fe80::g" << false;
    QTest::newRow("0x prefix") << "fe80::0x1" << false;
    QTest::newRow("IPv4 not last") << "::1.2.3.4:1" << false;
    QTest::newRow("bad IPv4 tail") << "::ffff:1.2.3.0" << false;
    QTest::newRow("too few parts") << "1:2" << false;
    QTest::newRow("documentation prefix") << "2001:db8::8:800:200c:417a" << true;
    QTest::newRow("empty") << "" << false;
    // The zone is not read, but a text longer than the form's field would
    // be cut short on its way to a device.
    const QString zone64 = QStringLiteral("fe80::1%") + QString(64 - 8, QLatin1Char('z'));
    QTest::newRow("zone, 64 characters") << zone64 << true;
    QTest::newRow("zone, 65 characters") << zone64 + QLatin1Char('z') << false;
}

void tst_NetParamRules::ipv6()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(isValidIpv6Address(text), valid);
}

void tst_NetParamRules::numberFields_data()
{
    QTest::addColumn<NetField>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<FieldError>("error");

    QTest::newRow("port 1999") << NetField::Port << "1999" << FieldError::Invalid;
    QTest::newRow("port 2000") << NetField::Port << "2000" << FieldError::None;
    QTest::newRow("port 65535") << NetField::Port << "65535" << FieldError::None;
    QTest::newRow("port 65536") << NetField::Port << "65536" << FieldError::Invalid;
    QTest::newRow("port empty") << NetField::Port << "" << FieldError::Empty;
    QTest::newRow("port blanks") << NetField::Port << " 8000 " << FieldError::None;
    QTest::newRow("port letters") << NetField::Port << "80a0" << FieldError::Invalid;
    QTest::newRow("http 0") << NetField::HttpPort << "0" << FieldError::Invalid;
    QTest::newRow("http 1") << NetField::HttpPort << "1" << FieldError::None;
    QTest::newRow("http empty") << NetField::HttpPort << "" << FieldError::Empty;
    QTest::newRow("prefix 0") << NetField::PrefixLength << "0" << FieldError::None;
    QTest::newRow("prefix 127") << NetField::PrefixLength << "127" << FieldError::None;
    QTest::newRow("prefix 128") << NetField::PrefixLength << "128" << FieldError::Invalid;
    QTest::newRow("prefix -1") << NetField::PrefixLength << "-1" << FieldError::Invalid;
    QTest::newRow("prefix empty") << NetField::PrefixLength << "" << FieldError::Empty;
    QTest::newRow("prefix blank only") << NetField::PrefixLength << " " << FieldError::Invalid;
    QTest::newRow("mask empty") << NetField::SubnetMask << "  " << FieldError::Empty;
    QTest::newRow("ip trimmed") << NetField::IpAddress << " 192.168.1.64 " << FieldError::None;
    QTest::newRow("ipv6 empty") << NetField::Ipv6Address << "" << FieldError::Empty;
}

void tst_NetParamRules::numberFields()
{
    QFETCH(NetField, field);
    QFETCH(QString, text);
    QFETCH(FieldError, error);
    NetParamTexts t;
    switch (field) {
    case NetField::Port: t.port = text; break;
    case NetField::HttpPort: t.httpPort = text; break;
    case NetField::PrefixLength: t.prefixLength = text; break;
    case NetField::SubnetMask: t.subnetMask = text; break;
    case NetField::IpAddress: t.ipAddress = text; break;
    case NetField::Ipv6Address: t.ipv6Address = text; break;
    default: QFAIL("field not covered");
    }
    QCOMPARE(checkField(field, t), error);
}

static NetParamTexts goodSingle()
{
    NetParamTexts t;
    t.ipAddress = QStringLiteral("192.168.1.64");
    t.port = QStringLiteral("8000");
    t.subnetMask = QStringLiteral("255.255.255.0");
    t.gateway = QStringLiteral("192.168.1.1");
    t.ipv6Address = QStringLiteral("fe80::1");
    t.ipv6Gateway = QStringLiteral("::");
    t.prefixLength = QStringLiteral("64");
    t.httpPort = QStringLiteral("80");
    t.startIpEnabled = false;
    return t;
}

void tst_NetParamRules::singleOrder_data()
{
    QTest::addColumn<NetParamTexts>("texts");
    QTest::addColumn<NetField>("field");
    QTest::addColumn<FieldError>("error");

    NetParamTexts t = goodSingle();
    QTest::newRow("all good") << t << NetField::None << FieldError::None;

    // IP address is checked before the port, the port before the mask.
    t = goodSingle();
    t.ipAddress.clear();
    t.port = QStringLiteral("1");
    QTest::newRow("ip first") << t << NetField::IpAddress << FieldError::Empty;
    t = goodSingle();
    t.port = QStringLiteral("1");
    t.subnetMask = QStringLiteral("x");
    QTest::newRow("port before mask") << t << NetField::Port << FieldError::Invalid;
    t = goodSingle();
    t.gateway = QStringLiteral("192.168.1.255");
    t.ipv6Address.clear();
    QTest::newRow("gateway before ipv6") << t << NetField::Gateway << FieldError::Invalid;

    // IPv4 fields are checked while disabled (DHCP on holds current values).
    t = goodSingle();
    t.subnetMaskEnabled = false;
    t.subnetMask = QStringLiteral("255.255.255.000");
    QTest::newRow("disabled mask still checked") << t << NetField::SubnetMask << FieldError::Invalid;

    t = goodSingle();
    t.ipv6Gateway.clear();
    t.httpPort = QStringLiteral("0");
    QTest::newRow("ipv6 gateway before http") << t << NetField::Ipv6Gateway << FieldError::Empty;
    t.ipv6Enabled = false;
    QTest::newRow("ipv6 skipped when disabled") << t << NetField::HttpPort << FieldError::Invalid;
    t.httpPortEnabled = false;
    QTest::newRow("http skipped when disabled") << t << NetField::None << FieldError::None;

    t = goodSingle();
    t.prefixLength.clear();
    QTest::newRow("prefix empty") << t << NetField::PrefixLength << FieldError::Empty;

    // A device with IPv4 off: its empty IPv4 fields pass, the port and
    // IPv6 are still checked.
    t = goodSingle();
    t.ipAddress.clear();
    t.subnetMask.clear();
    t.gateway.clear();
    t.ipv4Required = false;
    QTest::newRow("ipv4 off, empty ipv4 passes") << t << NetField::None << FieldError::None;
    t.port = QStringLiteral("1");
    QTest::newRow("ipv4 off, port still checked") << t << NetField::Port << FieldError::Invalid;
    t.port = QStringLiteral("8000");
    t.ipv6Address = QStringLiteral("fd00::1::2");
    QTest::newRow("ipv4 off, ipv6 still checked") << t << NetField::Ipv6Address << FieldError::Invalid;
    t.ipv4Required = true;
    t.ipv6Address = QStringLiteral("fd00::1");
    QTest::newRow("ipv4 required: empty ip refused") << t << NetField::IpAddress << FieldError::Empty;

    // Optional gateways: empty passes, a wrong one does not, of both
    // families; without the flag empty is refused as before.
    t = goodSingle();
    t.gateway.clear();
    t.ipv6Gateway.clear();
    QTest::newRow("gateway required") << t << NetField::Gateway << FieldError::Empty;
    t.gatewayOptional = true;
    QTest::newRow("only the ipv4 gateway optional") << t << NetField::Ipv6Gateway << FieldError::Empty;
    t.ipv6GatewayOptional = true;
    QTest::newRow("optional gateways empty") << t << NetField::None << FieldError::None;
    t.gateway = QStringLiteral("192.168.1.255");
    QTest::newRow("optional gateway still checked") << t << NetField::Gateway << FieldError::Invalid;
    t.gateway.clear();
    t.ipv6Gateway = QStringLiteral("fe80::g");
    QTest::newRow("optional ipv6 gateway still checked") << t << NetField::Ipv6Gateway << FieldError::Invalid;
}

void tst_NetParamRules::singleOrder()
{
    QFETCH(NetParamTexts, texts);
    QFETCH(NetField, field);
    QFETCH(FieldError, error);
    const FieldFailure f = checkSingleFields(texts);
    QCOMPARE(f.field, field);
    QCOMPARE(f.error, error);
}

void tst_NetParamRules::batchOrder_data()
{
    QTest::addColumn<NetParamTexts>("texts");
    QTest::addColumn<NetField>("field");

    NetParamTexts t;
    t.startIp = QStringLiteral("10.1.1.250");
    t.port = QStringLiteral("8000");
    t.subnetMask = QStringLiteral("255.255.0.0");
    t.gateway = QStringLiteral("10.1.0.1");
    t.httpPort = QStringLiteral("80");
    QTest::newRow("all good, ipv6 never checked") << t << NetField::None;
    NetParamTexts keepPorts = t;
    keepPorts.port.clear();
    keepPorts.httpPort = QStringLiteral(" ");
    QTest::newRow("empty ports keep each device's own") << keepPorts << NetField::None;

    NetParamTexts bad = t;
    bad.startIp = QStringLiteral("10.1.1.0");
    bad.port = QStringLiteral("80");
    QTest::newRow("start first") << bad << NetField::StartIp;
    bad.startIpEnabled = false;
    QTest::newRow("disabled start not checked") << bad << NetField::Port;
    bad.portEnabled = false;
    bad.subnetMask.clear();
    QTest::newRow("disabled port not checked") << bad << NetField::SubnetMask;
    bad.subnetMaskEnabled = false;
    bad.gateway.clear();
    QTest::newRow("then gateway") << bad << NetField::Gateway;
    bad.gatewayEnabled = false;
    bad.httpPort = QStringLiteral("70000");
    QTest::newRow("then http") << bad << NetField::HttpPort;
    bad.httpPortEnabled = false;
    QTest::newRow("everything disabled") << bad << NetField::None;
}

void tst_NetParamRules::batchOrder()
{
    QFETCH(NetParamTexts, texts);
    QFETCH(NetField, field);
    QCOMPARE(checkBatchFields(texts).field, field);
}

void tst_NetParamRules::nextAddress_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("address");

    QTest::newRow("first") << "192.168.1.250" << 0 << "192.168.1.250";
    QTest::newRow("last before carry") << "192.168.1.250" << 5 << "192.168.1.255";
    QTest::newRow("carry") << "192.168.1.250" << 6 << "192.168.2.0";
    QTest::newRow("after carry") << "10.1.1.250" << 19 << "10.1.2.13";
    QTest::newRow("typed parts kept") << " 010.001.001.005 " << 1 << "010.001.001.6";
    QTest::newRow("carried part plain") << "10.1.009.255" << 1 << "10.1.10.0";
    QTest::newRow("last of the room") << "10.1.1.1" << 510 << "10.1.2.255";
    QTest::newRow("beyond the room") << "10.1.1.1" << 511 << "";
    QTest::newRow("third part 255, in range") << "10.1.255.250" << 5 << "10.1.255.255";
    QTest::newRow("third part 255, no carry") << "10.1.255.250" << 6 << "";
    QTest::newRow("invalid start") << "10.1.1" << 0 << "";
    QTest::newRow("negative index") << "10.1.1.1" << -1 << "";
}

void tst_NetParamRules::nextAddress()
{
    QFETCH(QString, start);
    QFETCH(int, index);
    QFETCH(QString, address);
    QCOMPARE(VoskTool::nextAddress(start, index), address);
}

void tst_NetParamRules::room_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("room");

    QTest::newRow("x.x.1.250") << "10.1.1.250" << 262;
    QTest::newRow("x.x.1.1") << "10.1.1.1" << 511;
    QTest::newRow("x.x.254.255") << "10.1.254.255" << 257;
    QTest::newRow("x.x.255.1") << "10.1.255.1" << 255;
    QTest::newRow("x.x.255.255") << "10.1.255.255" << 1;
    QTest::newRow("not an address") << "10.1.1.0" << 0;
}

void tst_NetParamRules::room()
{
    QFETCH(QString, start);
    QFETCH(int, room);
    QCOMPARE(batchAddressRoom(start), room);
    // Every index inside the room gives a dotted address, none beyond it.
    for (int i = 0; i < room; ++i) {
        const QStringList parts = VoskTool::nextAddress(start, i).split(QLatin1Char('.'));
        QCOMPARE(parts.size(), 4);
        for (const QString &p : parts) {
            bool ok = false;
            const int v = p.toInt(&ok);
            QVERIFY(ok && v >= 0 && v <= 255);
        }
    }
    QVERIFY(VoskTool::nextAddress(start, room).isEmpty());
}


QTEST_APPLESS_MAIN(tst_NetParamRules)
#include "tst_netparamrules.moc"
