// The library's device table and the route of an operation when devices
// share a MAC or a serial number: which calls are refused as ambiguous,
// and which device (and key) the others reach.

#include "vosk/devicetable.h"

#include <QTest>

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

} // namespace

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
};

QTEST_GUILESS_MAIN(TestDeviceTable)
#include "tst_devicetable.moc"
