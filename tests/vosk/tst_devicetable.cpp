// The library's device table and the route of an operation when devices
// share a MAC or a serial number: which calls are refused as ambiguous,
// and which device (and key) the others reach.

#include "vosk/devicetable.h"
#include "vosk/recordtext.h"

#include <QTest>

#include <functional>

using VoskNet::DeviceTable;
using VoskNet::ReportEvent;
using VoskNet::Route;
using VoskNet::WireMessage;

namespace {

// Every device of a script has its own boot and key, made from its pair.
WireMessage report(const QByteArray &serial, const QByteArray &mac, ReportEvent event, quint32 seq)
{
    WireMessage m;
    m.type = VoskNet::MessageType::Report;
    m.event = event;
    m.boot = (serial + mac).leftJustified(VoskNet::kBootSize, '.', true);
    m.seq = seq;
    m.publicKey = ("key:" + serial + '/' + mac).leftJustified(VoskNet::kPublicKeySize, '.', true);
    m.record.serialNumber = serial;
    m.record.mac = mac;
    return m;
}

// A record with every field set, each text as long as its field allows.
VoskNet::WireRecord fullRecord()
{
    using VoskNet::TextWidth;
    VoskNet::WireRecord r;
    r.serialNumber = QByteArray(TextWidth::serialNumber, 'S');
    r.mac = QByteArray(TextWidth::mac, 'M');
    r.ipv4Address = "192.168.100.200";
    r.ipv4Mask = "255.255.255.0";
    r.ipv4Gateway = "192.168.100.1";
    r.deviceTypeCode = 0x7fffffff;
    r.port = 65535;
    r.channelCount = 4096;
    r.softwareVersion = QByteArray(TextWidth::softwareVersion, 'v');
    r.dspVersion = QByteArray(TextWidth::dspVersion, 'd');
    r.startTime = QByteArray(TextWidth::startTime, 't');
    r.deviceDescription = QByteArray(TextWidth::deviceDescription, '\xe9'); // Latin-1 beyond ASCII
    r.ipv6Address = QByteArray(TextWidth::ipv6Address, '6');
    r.ipv6Gateway = QByteArray(TextWidth::ipv6Gateway, 'g');
    r.ipv6PrefixLength = 128;
    r.capabilities = 0xff;
    r.dhcpEnabled = true;
    r.httpPort = 65534;
    r.notActivated = true;
    r.newResetType = true;
    r.addressInfoValid = true;
    return r;
}

void compareInfo(const VOSK_DEVICE_INFO &info, const VoskNet::WireRecord &r)
{
    using VoskNet::fieldBytes;
    QCOMPARE(fieldBytes(info.serialNumber), r.serialNumber);
    QCOMPARE(fieldBytes(info.mac), r.mac);
    QCOMPARE(fieldBytes(info.ipv4Address), r.ipv4Address);
    QCOMPARE(fieldBytes(info.ipv4Mask), r.ipv4Mask);
    QCOMPARE(fieldBytes(info.ipv4Gateway), r.ipv4Gateway);
    QCOMPARE(quint32(info.deviceTypeCode), r.deviceTypeCode);
    QCOMPARE(info.port, int32_t(r.port));
    QCOMPARE(info.channelCount, int32_t(r.channelCount));
    QCOMPARE(fieldBytes(info.softwareVersion), r.softwareVersion);
    QCOMPARE(fieldBytes(info.dspVersion), r.dspVersion);
    QCOMPARE(fieldBytes(info.startTime), r.startTime);
    QCOMPARE(fieldBytes(info.deviceDescription), r.deviceDescription);
    QCOMPARE(fieldBytes(info.ipv6Address), r.ipv6Address);
    QCOMPARE(fieldBytes(info.ipv6Gateway), r.ipv6Gateway);
    QCOMPARE(info.ipv6PrefixLength, r.ipv6PrefixLength);
    QCOMPARE(info.capabilities, r.capabilities);
    QCOMPARE(bool(info.dhcpEnabled), r.dhcpEnabled);
    QCOMPARE(info.httpPort, r.httpPort);
    QCOMPARE(bool(info.notActivated), r.notActivated);
    QCOMPARE(bool(info.newResetType), r.newResetType);
    QCOMPARE(bool(info.addressInfoValid), r.addressInfoValid);
}

} // namespace

Q_DECLARE_METATYPE(std::function<void(VoskNet::WireRecord &)>)

class TestDeviceTable final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void route_data()
    {
        // Steps: "S/M" a report of device (S, M); "bye S/M"; "clearup".
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("serial"); // empty: not given
        QTest::addColumn<QByteArray>("mac");    // empty: not given
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("reached"); // the route's serial/MAC

        const QStringList sharedMac{QStringLiteral("S1/M1"), QStringLiteral("S2/M1")};
        QTest::newRow("one device, by MAC") << QStringList{QStringLiteral("S1/M1")} << QByteArray() << QByteArray("M1")
                                            << int(VOSK_OK) << QByteArray("S1/M1");
        QTest::newRow("shared MAC, by MAC") << sharedMac << QByteArray() << QByteArray("M1")
                                            << int(VOSK_ERR_AMBIGUOUS_DEVICE) << QByteArray();
        QTest::newRow("shared MAC, by its own serial") << sharedMac << QByteArray("S2") << QByteArray() << int(VOSK_OK)
                                                       << QByteArray("S2/M1");
        QTest::newRow("shared MAC, by pair") << sharedMac << QByteArray("S2") << QByteArray("M1") << int(VOSK_OK)
                                             << QByteArray("S2/M1");
        QTest::newRow("shared serial, by serial")
            << QStringList{QStringLiteral("S1/M1"), QStringLiteral("S1/M2")} << QByteArray("S1") << QByteArray()
            << int(VOSK_ERR_AMBIGUOUS_DEVICE) << QByteArray();
        QTest::newRow("shared serial, by pair")
            << QStringList{QStringLiteral("S1/M1"), QStringLiteral("S1/M2")} << QByteArray("S1") << QByteArray("M2")
            << int(VOSK_OK) << QByteArray("S1/M2");
        QTest::newRow("a pair never reported") << QStringList{QStringLiteral("S1/M1"), QStringLiteral("S2/M2")}
                                               << QByteArray("S1") << QByteArray("M2")
                                               << int(VOSK_ERR_NO_SUCH_DEVICE) << QByteArray();
        QTest::newRow("the other said bye") << sharedMac + QStringList{QStringLiteral("bye S2/M1")} << QByteArray()
                                            << QByteArray("M1") << int(VOSK_OK) << QByteArray("S1/M1");
        QTest::newRow("both said bye") << sharedMac + QStringList{QStringLiteral("bye S1/M1"), QStringLiteral("bye S2/M1")}
                                       << QByteArray() << QByteArray("M1") << int(VOSK_ERR_AMBIGUOUS_DEVICE)
                                       << QByteArray();
        QTest::newRow("after a clearup, neither reported")
            << sharedMac + QStringList{QStringLiteral("clearup")} << QByteArray() << QByteArray("M1")
            << int(VOSK_ERR_AMBIGUOUS_DEVICE) << QByteArray();
        QTest::newRow("after a clearup, one reported again")
            << sharedMac + QStringList{QStringLiteral("clearup"), QStringLiteral("S1/M1")} << QByteArray()
            << QByteArray("M1") << int(VOSK_OK) << QByteArray("S1/M1");
    }

    void route()
    {
        QFETCH(QStringList, steps);
        QFETCH(QByteArray, serial);
        QFETCH(QByteArray, mac);
        QFETCH(int, code);
        QFETCH(QByteArray, reached);

        DeviceTable table;
        DeviceTable::Events events;
        quint32 seq = 0;
        for (const QString &step : steps) {
            if (step == QLatin1String("clearup")) {
                table.clearup();
                continue;
            }
            const bool bye = step.startsWith(QLatin1String("bye "));
            const QList<QByteArray> pair = step.mid(bye ? 4 : 0).toLatin1().split('/');
            table.applyReport(report(pair.at(0), pair.at(1), bye ? ReportEvent::Bye : ReportEvent::Answer, ++seq),
                              1, VoskNet::Family::V4, false, events);
        }
        // Every device is its own entry: one online event per report of a
        // device not reported yet, none merged into an update.
        for (const VOSK_DEVICE_INFO &event : events)
            QVERIFY(event.event != VOSK_EVENT_UPDATED);

        Route route;
        QCOMPARE(table.route(serial.isEmpty() ? nullptr : &serial, mac.isEmpty() ? nullptr : &mac, route), code);
        if (code != VOSK_OK)
            return;
        QCOMPARE(route.serial + '/' + route.mac, reached);
        QCOMPARE(route.publicKey, report(route.serial, route.mac, ReportEvent::Answer, 0).publicKey);
        QCOMPARE(route.byPair, !serial.isEmpty() && !mac.isEmpty());
    }

    // What the table keeps of a record comes back whole in its events, and
    // a report is an update exactly when one field differs from the last.
    void eventsCarryTheWholeRecord_data()
    {
        using Change = std::function<void(VoskNet::WireRecord &)>;
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("updated");
        QTest::newRow("nothing changed") << Change([](VoskNet::WireRecord &) {}) << false;
        QTest::newRow("a text emptied") << Change([](VoskNet::WireRecord &r) { r.ipv4Gateway.clear(); }) << true;
        QTest::newRow("all texts emptied") << Change([](VoskNet::WireRecord &r) {
            r.ipv4Address.clear(); r.ipv4Mask.clear(); r.ipv4Gateway.clear(); r.softwareVersion.clear();
            r.dspVersion.clear(); r.startTime.clear(); r.deviceDescription.clear(); r.ipv6Address.clear();
            r.ipv6Gateway.clear();
        }) << true;
        // The same bytes moved from one text to its neighbour.
        QTest::newRow("texts shifted") << Change([](VoskNet::WireRecord &r) {
            r.ipv4Address.chop(1); // "192.168.100.20"
            r.ipv4Mask.prepend('0'); // "0255.255.255.0"
        }) << true;
        QTest::newRow("last text") << Change([](VoskNet::WireRecord &r) { r.ipv6Gateway.chop(1); }) << true;
        QTest::newRow("a number") << Change([](VoskNet::WireRecord &r) { r.channelCount = 1; }) << true;
        QTest::newRow("a flag") << Change([](VoskNet::WireRecord &r) { r.addressInfoValid = false; }) << true;
        QTest::newRow("the reset type") << Change([](VoskNet::WireRecord &r) { r.newResetType = false; }) << true;
    }

    void eventsCarryTheWholeRecord()
    {
        using Change = std::function<void(VoskNet::WireRecord &)>;
        QFETCH(Change, change);
        QFETCH(bool, updated);

        DeviceTable table;
        DeviceTable::Events events;
        WireMessage first = report("S", "M", ReportEvent::Answer, 1);
        first.record = fullRecord();
        table.applyReport(first, 1, VoskNet::Family::V4, false, events);
        QCOMPARE(events.size(), std::size_t(1));
        QCOMPARE(events.front().event, int(VOSK_EVENT_ONLINE));
        compareInfo(events.front(), first.record);

        WireMessage second = first;
        second.seq = 2;
        change(second.record);
        events.clear();
        table.applyReport(second, 1, VoskNet::Family::V4, false, events);
        QCOMPARE(events.size(), std::size_t(updated ? 1 : 0));
        if (updated) {
            QCOMPARE(events.front().event, int(VOSK_EVENT_UPDATED));
            compareInfo(events.front(), second.record);
        }

        // The route still names the device by its own key.
        Route route;
        QCOMPARE(table.route(&second.record.serialNumber, nullptr, route), int(VOSK_OK));
        QCOMPARE(route.mac, second.record.mac);
        QCOMPARE(route.publicKey, second.publicKey);
    }
};

QTEST_GUILESS_MAIN(TestDeviceTable)
#include "tst_devicetable.moc"
