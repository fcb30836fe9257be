#include "aptui/itemroles.h"
#include "devicelist/deviceinfomodel.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace VoskTool;

namespace {

using Moves = QList<QPair<int, int>>;

VOSK_DEVICE_INFO makeRecord(const QByteArray &serial, const QByteArray &mac, const QByteArray &ip = "192.168.1.64")
{
    VOSK_DEVICE_INFO r;
    std::memset(&r, 0, sizeof r);
    VOSK::setFieldBytes(r.serialNumber, serial);
    VOSK::setFieldBytes(r.mac, mac);
    VOSK::setFieldBytes(r.ipv4Address, ip);
    VOSK::setFieldBytes(r.ipv4Mask, "255.255.255.0");
    VOSK::setFieldBytes(r.ipv4Gateway, "192.168.1.1");
    VOSK::setFieldBytes(r.deviceDescription, "DS-2CD");
    VOSK::setFieldBytes(r.softwareVersion, "V5.5.0");
    VOSK::setFieldBytes(r.dspVersion, "V7.3");
    VOSK::setFieldBytes(r.startTime, "2026-12-01 08:00:00");
    VOSK::setFieldBytes(r.ipv6Address, "fe80::1");
    VOSK::setFieldBytes(r.ipv6Gateway, "fe80::fffe");
    r.port = 80;
    r.channelCount = 4;
    r.ipv6PrefixLength = 64;
    r.httpPort = 0;
    return r;
}

QStringList rowTexts(const DeviceInfoModel &model, int row)
{
    QStringList texts;
    for (int id = 0; id < DeviceColumnCount; ++id)
        texts << model.text(row, id);
    return texts;
}

QStringList ids(const DeviceInfoModel &model)
{
    QStringList list;
    for (int row = 0; row < model.rowCount(); ++row)
        list << model.text(row, ColumnId);
    return list;
}

QStringList serials(const DeviceInfoModel &model)
{
    QStringList list;
    for (int row = 0; row < model.rowCount(); ++row)
        list << model.text(row, ColumnSerialNumber);
    return list;
}

// The topmost row with that key, found the slow way.
int scanRowOf(const DeviceInfoModel &model, const DeviceKey &key)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.keyAt(row) == key)
            return row;
    }
    return -1;
}

QString configXml(const QStringList &values)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<Root>\n");
    for (const QString &value : values)
        xml += QStringLiteral("<C><IndexValue>%1</IndexValue></C>\n").arg(value);
    return xml + QStringLiteral("</Root>\n");
}

QStringList identityValues()
{
    QStringList values;
    for (int i = 0; i < DeviceColumnCount; ++i)
        values << QString::number(i);
    return values;
}

QVector<int> identityMap()
{
    QVector<int> map;
    for (int i = 0; i < DeviceColumnCount; ++i)
        map << i;
    return map;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

class TestDeviceInfoModel final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString configPath() const { return m_dir.filePath(QStringLiteral("ColumnConfig.xml")); }

private Q_SLOTS:
    void init()
    {
        // The shipped file, in the order of the logical columns: the tests
        // of drags and repairs count from there.
        QFile::remove(configPath());
        QString shipped = QString::fromLatin1(readFile(QStringLiteral(VOSKTOOL_SHIPPED_COLUMN_CONFIG)));
        int next = 0;
        static const QRegularExpression value(QStringLiteral("<IndexValue>\\d+</IndexValue>"));
        for (QRegularExpressionMatch m = value.match(shipped); m.hasMatch(); m = value.match(shipped, m.capturedStart() + 1))
            shipped.replace(m.capturedStart(), m.capturedLength(), QStringLiteral("<IndexValue>%1</IndexValue>").arg(next++));
        QCOMPARE(next, int(DeviceColumnCount));
        writeFile(configPath(), shipped.toLatin1());
    }

    // A new user's layout shows the kind of each device third, after the
    // check and ID columns; the others keep their order behind it.
    void shippedLayoutShowsTheKindEarly()
    {
        DeviceInfoModel model(QStringLiteral(VOSKTOOL_SHIPPED_COLUMN_CONFIG));
        QCOMPARE(model.columnIndex(ColumnProtocol), 2);
        for (int id = ColumnDeviceType; id < ColumnProtocol; ++id)
            QCOMPARE(model.columnIndex(id), id + 1);
    }

    void cellTexts_data()
    {
        QTest::addColumn<int>("addressInfoValid");
        QTest::addColumn<QStringList>("expected");
        // ID, type, activation, IPv4, port, soft, gateway, http, serial, mask, MAC, channels,
        // DSP, start, IPv6, IPv6 gateway, prefix, IPv6?, mod IPv6?, DHCP?, DHCP on, protocol
        QTest::newRow("address info valid")
            << 1
            << QStringList{QString(), QStringLiteral("001"), QStringLiteral("DS-2CD"), QStringLiteral("Activated"),
                           QStringLiteral("192.168.1.64"), QStringLiteral("   80"), QStringLiteral("V5.5.0"),
                           QStringLiteral("192.168.1.1"), QStringLiteral("N/A"), QStringLiteral("SN1"),
                           QStringLiteral("255.255.255.0"), QStringLiteral("aa:bb"), QStringLiteral(" 4"),
                           QStringLiteral("V7.3"), QStringLiteral("2026-12-01 08:00:00"), QStringLiteral("fe80::1"),
                           QStringLiteral("fe80::fffe"), QStringLiteral("64"), QStringLiteral("Yes"),
                           QStringLiteral("No"), QStringLiteral("Yes"), QStringLiteral("ON"), QStringLiteral("VOSK")};
        QTest::newRow("no address info")
            << 0
            << QStringList{QString(), QStringLiteral("001"), QStringLiteral("DS-2CD"), QStringLiteral("Activated"),
                           QStringLiteral("192.168.1.64"), QStringLiteral("   80"), QStringLiteral("V5.5.0"),
                           QString(), QStringLiteral("N/A"), QStringLiteral("SN1"),
                           QStringLiteral("255.255.255.0"), QStringLiteral("aa:bb"), QStringLiteral(" 4"),
                           QStringLiteral("V7.3"), QStringLiteral("2026-12-01 08:00:00"), QString(),
                           QString(), QString(), QString(),
                           QStringLiteral("No"), QStringLiteral("Yes"), QStringLiteral("ON"), QStringLiteral("VOSK")};
        QTest::newRow("address info neither 0 nor 1 leaves cells empty")
            << 2
            << QStringList{QString(), QStringLiteral("001"), QStringLiteral("DS-2CD"), QStringLiteral("Activated"),
                           QStringLiteral("192.168.1.64"), QStringLiteral("   80"), QStringLiteral("V5.5.0"),
                           QString(), QStringLiteral("N/A"), QStringLiteral("SN1"),
                           QStringLiteral("255.255.255.0"), QStringLiteral("aa:bb"), QStringLiteral(" 4"),
                           QStringLiteral("V7.3"), QStringLiteral("2026-12-01 08:00:00"), QString(),
                           QString(), QString(), QString(),
                           QStringLiteral("No"), QStringLiteral("Yes"), QStringLiteral("ON"), QStringLiteral("VOSK")};
    }

    void cellTexts()
    {
        QFETCH(int, addressInfoValid);
        QFETCH(QStringList, expected);
        DeviceInfoModel model(configPath());
        VOSK_DEVICE_INFO r = makeRecord("SN1", "aa:bb");
        r.addressInfoValid = static_cast<quint8>(addressInfoValid);
        r.capabilities = VOSK_CAP_IPV6 | VOSK_CAP_DHCP;
        r.dhcpEnabled = 1;
        model.addDevice(r);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(rowTexts(model, 0), expected);

        QCOMPARE(model.checkState(0), Qt::Unchecked);
        for (int id = 0; id < DeviceColumnCount; ++id) {
            const QModelIndex cell = model.index(0, model.columnIndex(id));
            QCOMPARE(cell.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(QStringLiteral("#666666")));
            QVERIFY(!(cell.flags() & Qt::ItemIsEditable));
            QCOMPARE(bool(cell.flags() & Qt::ItemIsUserCheckable), id == ColumnCheck);
            QCOMPARE(cell.data(Qt::CheckStateRole).isValid(), id == ColumnCheck);
        }
    }

    void valueFormats_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("port 8000") << int(ColumnPort) << 8000 << QStringLiteral(" 8000");
        QTest::newRow("port 65535") << int(ColumnPort) << 65535 << QStringLiteral("65535");
        QTest::newRow("http 8080") << int(ColumnHttpPort) << 8080 << QStringLiteral("8080");
        QTest::newRow("http 0") << int(ColumnHttpPort) << 0 << QStringLiteral("N/A");
        QTest::newRow("channels 16") << int(ColumnChannelCount) << 16 << QStringLiteral("16");
        QTest::newRow("prefix 8") << int(ColumnIpv6PrefixLength) << 8 << QStringLiteral(" 8");
        QTest::newRow("dhcp 2 is off") << int(ColumnIpv4Dhcp) << 2 << QStringLiteral("OFF");
        QTest::newRow("dhcp 0 is off") << int(ColumnIpv4Dhcp) << 0 << QStringLiteral("OFF");
    }

    void valueFormats()
    {
        QFETCH(int, column);
        QFETCH(int, value);
        QFETCH(QString, expected);
        VOSK_DEVICE_INFO r = makeRecord("SN1", "aa:bb");
        r.addressInfoValid = 1;
        switch (column) {
        case ColumnPort: r.port = value; break;
        case ColumnHttpPort: r.httpPort = static_cast<quint16>(value); break;
        case ColumnChannelCount: r.channelCount = value; break;
        case ColumnIpv6PrefixLength: r.ipv6PrefixLength = static_cast<quint8>(value); break;
        case ColumnIpv4Dhcp: r.dhcpEnabled = static_cast<quint8>(value); break;
        }
        DeviceInfoModel model(configPath());
        model.addDevice(r);
        QCOMPARE(model.text(0, column), expected);
    }

    void capabilities_data()
    {
        QTest::addColumn<int>("capabilities");
        QTest::addColumn<int>("addressInfoValid");
        QTest::addColumn<QStringList>("expected"); // IPv6, mod IPv6, DHCP
        QTest::newRow("none") << 0 << 1 << QStringList{QStringLiteral("No"), QStringLiteral("No"), QStringLiteral("No")};
        QTest::newRow("ipv6, info valid") << 1 << 1 << QStringList{QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("No")};
        QTest::newRow("ipv6, no info stays empty") << 1 << 0 << QStringList{QString(), QStringLiteral("No"), QStringLiteral("No")};
        QTest::newRow("ipv6, info 3 has bit 0") << 1 << 3 << QStringList{QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("No")};
        QTest::newRow("all") << 7 << 1 << QStringList{QStringLiteral("Yes"), QStringLiteral("Yes"), QStringLiteral("Yes")};
        QTest::newRow("higher bits ignored") << 0xC0 << 1 << QStringList{QStringLiteral("No"), QStringLiteral("No"), QStringLiteral("No")};
    }

    void capabilities()
    {
        QFETCH(int, capabilities);
        QFETCH(int, addressInfoValid);
        QFETCH(QStringList, expected);
        VOSK_DEVICE_INFO r = makeRecord("SN1", "aa:bb");
        r.capabilities = static_cast<quint8>(capabilities);
        r.addressInfoValid = static_cast<quint8>(addressInfoValid);
        DeviceInfoModel model(configPath());
        model.addDevice(r);
        const QStringList texts = rowTexts(model, 0);
        QCOMPARE(texts.mid(ColumnSupportIpv6, 3), expected);
    }

    void headers()
    {
        DeviceInfoModel model(configPath());
        QCOMPARE(model.columnCount(), 23);
        const QStringList expected{
            QString(), QStringLiteral("ID"), QStringLiteral("Device Type"), QStringLiteral("Activate"),
            QStringLiteral("IPv4 Address"), QStringLiteral("Port"), QStringLiteral("Soft Vision"),
            QStringLiteral("IPv4 GateWay"), QStringLiteral("HttpPort"), QStringLiteral("Serial Number"),
            QStringLiteral("IPv4 Mask"), QStringLiteral("MAC"), QStringLiteral("Channel NO"),
            QStringLiteral("DSP Vision"), QStringLiteral("Start Time"), QStringLiteral("IPv6 Address"),
            QStringLiteral("IPv6 GateWay"), QStringLiteral("IPv6 Prefix Length"), QStringLiteral("Is Support IPv6"),
            QStringLiteral("Is Support Mod IPv6"), QStringLiteral("Is Support DHCP"), QStringLiteral("IPv4 DHCP"),
            QStringLiteral("Protocol")};
        QStringList texts;
        for (int id = 0; id < DeviceColumnCount; ++id)
            texts << model.headerData(model.columnIndex(id), Qt::Horizontal).toString();
        QCOMPARE(texts, expected);
        QCOMPARE(model.headerData(0, Qt::Horizontal, DeviceInfoModel::HeaderCheckRole).toInt(), 1);
        QVERIFY(!model.headerData(2, Qt::Horizontal, DeviceInfoModel::HeaderCheckRole).isValid());
        QCOMPARE(model.headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignLeft | Qt::AlignVCenter));
        QCOMPARE(model.columnIndex(-1), -1);
        QCOMPARE(model.columnIndex(23), -1);
    }

    void notActivatedIsRed()
    {
        DeviceInfoModel model(configPath());
        VOSK_DEVICE_INFO r = makeRecord("SN1", "aa:bb");
        r.notActivated = 1;
        model.addDevice(r);
        const QModelIndex cell = model.index(0, model.columnIndex(ColumnActivation));
        QCOMPARE(cell.data().toString(), QStringLiteral("Not activated"));
        QCOMPARE(cell.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));

        r.notActivated = 0;
        model.updateDevice(r);
        QCOMPARE(cell.data().toString(), QStringLiteral("Activated"));
        QCOMPARE(cell.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(QStringLiteral("#666666")));
    }

    void idsAndRenumbering()
    {
        DeviceInfoModel model(configPath());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.addDevice(makeRecord("SN1", "m1"));
        model.addDevice(makeRecord("SN2", "m2"));
        model.addDevice(makeRecord("SN3", "m3"));
        QCOMPARE(ids(model), (QStringList{QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("003")}));

        model.removeDevice(makeRecord("SN2", "m2"));
        QCOMPARE(serials(model), (QStringList{QStringLiteral("SN1"), QStringLiteral("SN3")}));
        QCOMPARE(ids(model), (QStringList{QStringLiteral("001"), QStringLiteral("002")}));

        // The key is serial number and MAC together; an unknown key changes
        // nothing, IDs included.
        model.removeDevice(makeRecord("SN1", "m3"));
        model.removeDevice(makeRecord("SN9", "m9"));
        QCOMPARE(serials(model), (QStringList{QStringLiteral("SN1"), QStringLiteral("SN3")}));
        QCOMPARE(ids(model), (QStringList{QStringLiteral("001"), QStringLiteral("002")}));

        model.removeDevice(makeRecord("SN1", "m1"));
        model.removeDevice(makeRecord("SN3", "m3"));
        QCOMPARE(model.rowCount(), 0);
    }

    // The key index against a linear scan, through every kind of change the
    // page or a view makes to the rows: appends one by one and in runs (keys
    // repeated too), removals by key and by range, sorts, updates.
    void keyIndexFollowsEveryChange_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 2") << 2u;
        QTest::newRow("seed 3") << 3u;
    }

    void keyIndexFollowsEveryChange()
    {
        QFETCH(quint32, seed);
        DeviceInfoModel model(configPath());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QRandomGenerator random(seed);
        QVector<DeviceKey> keys;
        for (int i = 0; i < 12; ++i)
            keys << DeviceKey{QStringLiteral("SN%1").arg(i), QStringLiteral("m%1").arg(i % 9)};
        const auto recordOf = [](const DeviceKey &key) {
            return makeRecord(key.serialNumber.toLatin1(), key.mac.toLatin1(),
                              "10.0.0." + QByteArray::number(QRandomGenerator::global()->bounded(250)));
        };
        for (int step = 0; step < 300; ++step) {
            const DeviceKey &key = keys.at(random.bounded(keys.size()));
            const int rows = model.rowCount();
            switch (random.bounded(10)) {
            case 0: case 1: case 2:
                model.addDevice(recordOf(key));
                break;
            case 3:
                model.removeDevice(recordOf(key));
                break;
            case 4:
                model.sort(model.columnIndex(random.bounded(2) ? ColumnIpv4Address : ColumnSerialNumber),
                           random.bounded(2) ? Qt::AscendingOrder : Qt::DescendingOrder);
                break;
            case 5:
                if (rows > 2)
                    model.removeRows(random.bounded(rows - 1), 2);
                break;
            case 6:
                model.addDevices({recordOf(key), recordOf(keys.at(random.bounded(keys.size()))), recordOf(key)});
                break;
            case 7:
                model.updateDevice(recordOf(key));
                break;
            case 8: case 9:
                if (rows > 0)
                    model.setCheckState(random.bounded(rows),
                                        static_cast<Qt::CheckState>(random.bounded(3)));
                break;
            }
            for (const DeviceKey &probe : keys)
                QCOMPARE(model.rowOf(probe), scanRowOf(model, probe));
            // The header's box is kept, not counted: it must agree with the
            // rows after every change. A row's key is its serial number and
            // MAC texts.
            int checked = 0;
            for (int row = 0; row < model.rowCount(); ++row) {
                checked += model.checkState(row) == Qt::Checked;
                QCOMPARE(model.keyAt(row), (DeviceKey{model.text(row, ColumnSerialNumber),
                                                      model.text(row, ColumnMac)}));
            }
            const Qt::CheckState expected = checked == 0 ? Qt::Unchecked
                                          : checked == model.rowCount() ? Qt::Checked
                                                                        : Qt::PartiallyChecked;
            QCOMPARE(model.headerData(model.columnIndex(ColumnCheck), Qt::Horizontal,
                                      DeviceInfoModel::HeaderCheckStateRole).toInt(),
                     static_cast<int>(expected));
        }
        model.removeRows(0, model.rowCount());
        QCOMPARE(model.rowOf(keys.first()), -1);
    }

    void keyRoleIsTheRecordsKey()
    {
        DeviceInfoModel model(configPath());
        // Texts differing only in what a display would hide are other keys.
        model.addDevice(makeRecord("SN1", "aa:bb"));
        model.addDevice(makeRecord("SN1 ", "AA:BB"));
        QCOMPARE(model.keyAt(0), (DeviceKey{QStringLiteral("SN1"), QStringLiteral("aa:bb")}));
        QCOMPARE(model.keyAt(1), (DeviceKey{QStringLiteral("SN1 "), QStringLiteral("AA:BB")}));
        QCOMPARE(model.keyAt(2), DeviceKey());
        QCOMPARE(model.keyAt(-1), DeviceKey());
        QCOMPARE(model.rowOf(QStringLiteral("SN1 "), QStringLiteral("AA:BB")), 1);
        QCOMPARE(model.rowOf(DeviceKey{QStringLiteral("SN1"), QStringLiteral("AA:BB")}), -1);
    }

    void renumberingAfterSort()
    {
        DeviceInfoModel model(configPath());
        model.addDevice(makeRecord("SN1", "m1", "10.0.0.4"));
        model.addDevice(makeRecord("SN2", "m2", "10.0.0.3"));
        model.addDevice(makeRecord("SN3", "m3", "10.0.0.2"));
        model.addDevice(makeRecord("SN4", "m4", "10.0.0.1"));
        model.sort(model.columnIndex(ColumnIpv4Address), Qt::AscendingOrder);
        QCOMPARE(serials(model), (QStringList{QStringLiteral("SN4"), QStringLiteral("SN3"), QStringLiteral("SN2"),
                                               QStringLiteral("SN1")}));
        QCOMPARE(ids(model), (QStringList{QStringLiteral("004"), QStringLiteral("003"), QStringLiteral("002"),
                                           QStringLiteral("001")}));
        // Rows above the removed one keep their IDs; the rows below are
        // numbered by their position.
        model.removeDevice(makeRecord("SN3", "m3"));
        QCOMPARE(ids(model), (QStringList{QStringLiteral("004"), QStringLiteral("002"), QStringLiteral("003")}));
    }

    void updateKeepsIdAndCheck()
    {
        DeviceInfoModel model(configPath());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        VOSK_DEVICE_INFO r = makeRecord("SN1", "m1");
        model.addDevice(makeRecord("SN0", "m0"));
        model.addDevice(r);
        model.setCheckState(1, Qt::Checked);

        r.addressInfoValid = 1;
        r.port = 8000;
        r.httpPort = 8080;
        VOSK::setFieldBytes(r.ipv4Address, "10.1.2.3");
        VOSK::setFieldBytes(r.ipv4Gateway, "10.1.2.254");
        model.updateDevice(r);

        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.text(1, ColumnId), QStringLiteral("002"));
        QCOMPARE(model.checkState(1), Qt::Checked);
        QCOMPARE(model.text(1, ColumnIpv4Address), QStringLiteral("10.1.2.3"));
        QCOMPARE(model.text(1, ColumnIpv4Gateway), QStringLiteral("10.1.2.254"));
        QCOMPARE(model.text(1, ColumnPort), QStringLiteral(" 8000"));
        QCOMPARE(model.text(1, ColumnHttpPort), QStringLiteral("8080"));
        QCOMPARE(model.text(0, ColumnIpv4Address), QStringLiteral("192.168.1.64"));

        // "Is Support IPv6" keeps its text when the record says nothing.
        r.capabilities = VOSK_CAP_IPV6;
        model.updateDevice(r);
        QCOMPARE(model.text(1, ColumnSupportIpv6), QStringLiteral("Yes"));
        r.addressInfoValid = 2;
        VOSK::setFieldBytes(r.ipv6Address, "2001:db8::9");
        model.updateDevice(r);
        QCOMPARE(model.text(1, ColumnSupportIpv6), QStringLiteral("Yes"));
        QCOMPARE(model.text(1, ColumnIpv6Address), QStringLiteral("fe80::1"));

        // Unknown key: nothing.
        const QStringList before = rowTexts(model, 1);
        model.updateDevice(makeRecord("SN1", "other"));
        QCOMPARE(rowTexts(model, 1), before);
    }

    // Four devices A..D whose cells in one column hold the given values
    // ("<none>": the record says nothing there), sorted both ways by it.
    void sortOrders_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QByteArrayList>("values");
        QTest::addColumn<QByteArray>("ascending");
        QTest::addColumn<QByteArray>("descending");
        QTest::newRow("addresses by number") << int(ColumnIpv4Address)
            << QByteArrayList{"192.168.1.10", "10.0.0.1", "192.168.1.9", "9.255.255.255"} << QByteArray("DBCA") << QByteArray("ACBD");
        QTest::newRow("masks by number") << int(ColumnIpv4Mask)
            << QByteArrayList{"255.255.255.0", "255.255.0.0", "255.255.255.128", "255.0.0.0"} << QByteArray("DBAC") << QByteArray("CABD");
        QTest::newRow("gateways by number") << int(ColumnIpv4Gateway)
            << QByteArrayList{"10.0.0.254", "10.0.0.9", "10.0.0.10", "9.0.0.1"} << QByteArray("DBCA") << QByteArray("ACBD");
        // Equal texts keep their order both ways.
        QTest::newRow("text, case-sensitive, stable") << int(ColumnDeviceType)
            << QByteArrayList{"b", "B", "a", "B"} << QByteArray("BDCA") << QByteArray("ACBD");
        // An empty text is the least; no text at all sorts after every text.
        QTest::newRow("empty text and no text") << int(ColumnIpv6Address)
            << QByteArrayList{"fe80::2", "<none>", "", "fe80::1"} << QByteArray("CDAB") << QByteArray("BADC");
    }

    void sortOrders()
    {
        QFETCH(int, column);
        QFETCH(QByteArrayList, values);
        QFETCH(QByteArray, ascending);
        QFETCH(QByteArray, descending);
        DeviceInfoModel model(configPath());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < values.size(); ++i) {
            const QByteArray name(1, char('A' + i));
            VOSK_DEVICE_INFO r = makeRecord(name, name.toLower());
            const QByteArray &value = values.at(i);
            r.addressInfoValid = value == "<none>" ? 2 : value.isEmpty() ? 0 : 1;
            switch (column) {
            case ColumnIpv4Address: VOSK::setFieldBytes(r.ipv4Address, value); break;
            case ColumnIpv4Mask: VOSK::setFieldBytes(r.ipv4Mask, value); break;
            case ColumnIpv4Gateway: VOSK::setFieldBytes(r.ipv4Gateway, value); break;
            case ColumnDeviceType: VOSK::setFieldBytes(r.deviceDescription, value); break;
            case ColumnIpv6Address: VOSK::setFieldBytes(r.ipv6Address, value); break;
            }
            model.addDevice(r);
        }
        // A selected row and the key index follow their device.
        QItemSelectionModel selection(&model);
        selection.select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const auto order = [&model] { return serials(model).join(QString()).toLatin1(); };

        model.sort(model.columnIndex(column), Qt::AscendingOrder);
        QCOMPARE(order(), ascending);
        QCOMPARE(selection.selectedRows().size(), 1);
        QCOMPARE(model.keyAt(selection.selectedRows().first().row()).serialNumber, QStringLiteral("C"));
        QCOMPARE(model.rowOf(QStringLiteral("C"), QStringLiteral("c")), int(ascending.indexOf('C')));

        model.sort(model.columnIndex(column), Qt::DescendingOrder);
        QCOMPARE(order(), descending);
        QCOMPARE(model.keyAt(selection.selectedRows().first().row()).serialNumber, QStringLiteral("C"));
        QCOMPARE(model.rowOf(QStringLiteral("C"), QStringLiteral("c")), int(descending.indexOf('C')));
    }

    // Only the check box can be changed from outside, and only a change is
    // announced.
    void checkBoxIsTheOnlyEditableValue()
    {
        DeviceInfoModel model(configPath());
        model.addDevice(makeRecord("SN1", "m1"));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const QModelIndex check = model.index(0, model.columnIndex(ColumnCheck));
        QVERIFY(model.setData(check, Qt::Checked, Qt::CheckStateRole));
        QVERIFY(model.setData(check, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().at(2).value<QList<int>>(), QList<int>{Qt::CheckStateRole});
        QCOMPARE(model.checkState(0), Qt::Checked);

        QVERIFY(!model.setData(check, 3, Qt::CheckStateRole));
        QVERIFY(!model.setData(check, QStringLiteral("x"), Qt::CheckStateRole));
        QVERIFY(!model.setData(check, QVariant::fromValue(DeviceKey{}), DeviceInfoModel::DeviceKeyRole));
        const QModelIndex serial = model.index(0, model.columnIndex(ColumnSerialNumber));
        QVERIFY(!model.setData(serial, QStringLiteral("SN2"), Qt::EditRole));
        QVERIFY(!model.setData(serial, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model.checkState(0), Qt::Checked);
        QCOMPARE(model.keyAt(0).serialNumber, QStringLiteral("SN1"));
    }

    // A row shows the same texts whatever the rows around it: in a table of
    // its own, and in one whose pool of shared texts has overflowed (so
    // that some rows keep types and versions themselves), beside a row of
    // the same texts or the same key, before and after an update that
    // leaves some cells as they were.
    void rowTextsDoNotDependOnOtherRows_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QByteArray>("mac");
        QTest::addColumn<QByteArray>("fill"); // every other text field; empty: the usual texts
        QTest::addColumn<int>("addressInfoValid");
        QTest::addColumn<bool>("onvif");
        QTest::newRow("usual texts") << QByteArray("SNX") << QByteArray("mx") << QByteArray() << 1 << false;
        QTest::newRow("every text empty") << QByteArray("SNX") << QByteArray("mx") << QByteArray("") << 1 << false;
        QTest::newRow("no address info") << QByteArray("SNX") << QByteArray("mx") << QByteArray() << 0 << false;
        QTest::newRow("longest texts, beyond ASCII")
            << QByteArray(47, '\xe9') << QByteArray(19, '\xff') << QByteArray(47, '\xfe') << 1 << false;
        QTest::newRow("serial number equal to the MAC")
            << QByteArray("same") << QByteArray("same") << QByteArray() << 1 << false;
        QTest::newRow("serial number another row's MAC")
            << QByteArray("m7") << QByteArray("SN7") << QByteArray() << 1 << false;
        QTest::newRow("key of an earlier row") << QByteArray("SN7") << QByteArray("m7") << QByteArray("T") << 1 << false;
        // Keyed by its endpoint; its serial number and MAC are texts like
        // any other, here those of a row of ours.
        QTest::newRow("ONVIF row") << QByteArray("SN7") << QByteArray("m7") << QByteArray() << 1 << true;
        QTest::newRow("ONVIF row, no serial number or MAC")
            << QByteArray() << QByteArray() << QByteArray() << 1 << true;
    }

    void rowTextsDoNotDependOnOtherRows()
    {
        QFETCH(QByteArray, serial);
        QFETCH(QByteArray, mac);
        QFETCH(QByteArray, fill);
        QFETCH(int, addressInfoValid);
        QFETCH(bool, onvif);

        VOSK_DEVICE_INFO x = makeRecord(serial, mac);
        if (onvif) {
            const VOSK_DEVICE_INFO marked = VOSK::makeOnvifRecord(QStringLiteral("urn:uuid:x"));
            std::memcpy(x.leadingText, marked.leadingText, sizeof x.leadingText);
            std::memcpy(x.reserved438, marked.reserved438, sizeof x.reserved438);
        }
        if (!fill.isNull()) {
            for (auto *field : {x.ipv4Address, x.ipv4Mask, x.ipv4Gateway})
                std::memcpy(field, fill.left(15).leftJustified(16, '\0').constData(), 16);
            VOSK::setFieldBytes(x.deviceDescription, fill);
            VOSK::setFieldBytes(x.softwareVersion, fill);
            VOSK::setFieldBytes(x.dspVersion, fill);
            VOSK::setFieldBytes(x.startTime, fill);
            VOSK::setFieldBytes(x.ipv6Address, fill);
            VOSK::setFieldBytes(x.ipv6Gateway, fill);
        }
        x.addressInfoValid = static_cast<quint8>(addressInfoValid);
        x.capabilities = VOSK_CAP_IPV6;
        // The update says nothing of the gateways, IPv6 and its support.
        VOSK_DEVICE_INFO later = x;
        later.addressInfoValid = 2;
        later.port = 8000;
        VOSK::setFieldBytes(later.deviceDescription, "changed");

        const auto textsFrom = [](const DeviceInfoModel &model, int row) {
            QStringList texts = rowTexts(model, row);
            texts.removeAt(ColumnId);
            return texts;
        };
        DeviceInfoModel alone(configPath());
        alone.addDevice(x);
        const QStringList expected = textsFrom(alone, 0);
        alone.updateDevice(later);
        const QStringList expectedLater = textsFrom(alone, 0);

        DeviceInfoModel crowded(configPath());
        QAbstractItemModelTester tester(&crowded, QAbstractItemModelTester::FailureReportingMode::QtTest);
        crowded.addDevice(x);
        // Three new texts a row: the pool is full well before the last.
        QVector<VOSK_DEVICE_INFO> others;
        for (int i = 0; i < 1500; ++i) {
            VOSK_DEVICE_INFO r = makeRecord("SN" + QByteArray::number(i), "m" + QByteArray::number(i));
            VOSK::setFieldBytes(r.deviceDescription, "Type " + QByteArray::number(i));
            VOSK::setFieldBytes(r.softwareVersion, "V" + QByteArray::number(i));
            VOSK::setFieldBytes(r.dspVersion, "D" + QByteArray::number(i));
            others << r;
        }
        crowded.addDevices(others);
        crowded.addDevice(x);
        const int last = crowded.rowCount() - 1;
        QCOMPARE(textsFrom(crowded, 0), expected);
        QCOMPARE(textsFrom(crowded, last), expected);
        QCOMPARE(crowded.text(1499, ColumnDeviceType), QStringLiteral("Type 1498"));
        QCOMPARE(crowded.text(1499, ColumnDspVersion), QStringLiteral("D1498"));

        // An update reaches the topmost row of a key; its cells that the
        // record says nothing of keep their texts.
        crowded.updateDevice(later);
        const int updated = crowded.rowOf(DeviceKey::fromRecord(x));
        QCOMPARE(textsFrom(crowded, updated), expectedLater);
        QCOMPARE(crowded.keyAt(updated), DeviceKey::fromRecord(x));
        QCOMPARE(textsFrom(crowded, updated == 0 ? last : 0), expected);
    }

    // A run of reports is one insertion; its rows are numbered on from the
    // rows before it.
    void runIsOneInsertion()
    {
        DeviceInfoModel model(configPath());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.addDevice(makeRecord("SN1", "m1"));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.addDevices({makeRecord("SN2", "m2"), makeRecord("SN3", "m3")});
        model.addDevices({});
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.first().at(1).toInt(), 1);
        QCOMPARE(inserted.first().at(2).toInt(), 2);
        QCOMPARE(ids(model), (QStringList{QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("003")}));
        QCOMPARE(model.rowOf(QStringLiteral("SN3"), QStringLiteral("m3")), 2);
    }

    void idColumnSortsByNumber()
    {
        // Past 999 the "%03d" IDs have four digits; text order would put
        // "1000" right after "100".
        DeviceInfoModel model(configPath());
        for (int i = 0; i < 1001; ++i)
            model.addDevice(makeRecord("SN" + QByteArray::number(i), "m" + QByteArray::number(i)));
        model.sort(model.columnIndex(ColumnId), Qt::DescendingOrder);
        QCOMPARE(ids(model).mid(0, 3),
                 (QStringList{QStringLiteral("1001"), QStringLiteral("1000"), QStringLiteral("999")}));
        model.sort(model.columnIndex(ColumnId), Qt::AscendingOrder);
        QCOMPARE(ids(model).mid(99, 3), (QStringList{QStringLiteral("100"), QStringLiteral("101"), QStringLiteral("102")}));
        QCOMPARE(ids(model).constLast(), QStringLiteral("1001"));
    }

    void loadShippedAndPermuted()
    {
        {
            DeviceInfoModel model(configPath());
            QVERIFY(model.loadColumnConfig());
            QCOMPARE(model.columnMap(), identityMap());
        }
        QStringList values = identityValues();
        values.swapItemsAt(4, 9);
        writeFile(configPath(), configXml(values).toLatin1());
        DeviceInfoModel model(configPath());
        QCOMPARE(model.columnIndex(ColumnIpv4Address), 9);
        QCOMPARE(model.columnIndex(ColumnSerialNumber), 4);
        QCOMPARE(model.headerData(9, Qt::Horizontal).toString(), QStringLiteral("IPv4 Address"));
        model.addDevice(makeRecord("SN1", "m1", "1.2.3.4"));
        QCOMPARE(model.index(0, 9).data().toString(), QStringLiteral("1.2.3.4"));
        QCOMPARE(model.index(0, 4).data().toString(), QStringLiteral("SN1"));
    }

    void fallback_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QVector<int>>("expected");

        QVector<int> identity = identityMap();
        QTest::newRow("missing") << QByteArray() << false << identity;
        QTest::newRow("garbage") << QByteArray("not <xml") << false << identity;
        QTest::newRow("empty root") << configXml({}).toLatin1() << true << identity;
        QTest::newRow("short") << configXml(identityValues().mid(0, 10)).toLatin1() << true << identity;

        QStringList values = identityValues();
        values[5] = QStringLiteral("4"); // repeats column 4: 5 falls back to its own id
        QTest::newRow("duplicate") << configXml(values).toLatin1() << true << identity;

        values = identityValues();
        values.swapItemsAt(2, 3);
        values[7] = QStringLiteral("2"); // 2 is taken by logical 3, 3 by nobody else: first free
        QVector<int> expected = identity;
        expected[2] = 3;
        expected[3] = 2;
        expected[7] = 7;
        QTest::newRow("duplicate of a swapped pair") << configXml(values).toLatin1() << true << expected;

        values = identityValues();
        values[6] = QStringLiteral("23");
        values[8] = QStringLiteral("-1");
        values[9] = QStringLiteral("x");
        QTest::newRow("out of range and text") << configXml(values).toLatin1() << true << identity;

        values = identityValues();
        values.swapItemsAt(0, 5);
        QTest::newRow("check column moved") << configXml(values).toLatin1() << true << identity;

        values = identityValues();
        values[3] = QStringLiteral("9");
        values[9] = QStringLiteral("4");
        values[4] = QStringLiteral("3");
        expected = identity;
        expected[3] = 9;
        expected[9] = 4;
        expected[4] = 3;
        QTest::newRow("valid cycle kept") << configXml(values).toLatin1() << true << expected;

        QByteArray gb = configXml(identityValues()).toLatin1();
        gb.replace("<Root>", "<Root><!-- \xd6\xd0\xce\xc4 -->"); // GB2312 text in a comment
        QTest::newRow("GB2312 bytes") << gb << true << identity;

        values = identityValues();
        values << QStringLiteral("5");
        QTest::newRow("extra child ignored") << configXml(values).toLatin1() << true << identity;

        // Files of users from before the protocol column: 22 entries. Their
        // order stays; the protocol column takes the free place at the end.
        const QStringList older = identityValues().mid(0, ColumnProtocol);
        QTest::newRow("older file") << configXml(older).toLatin1() << true << identity;
        values = older;
        values.swapItemsAt(4, 9);
        values.swapItemsAt(12, 21);
        expected = identity;
        expected[4] = 9;
        expected[9] = 4;
        expected[12] = 21;
        expected[21] = 12;
        QTest::newRow("older file, dragged") << configXml(values).toLatin1() << true << expected;
        values = older;
        values[7] = QStringLiteral("4"); // broken as well as old: repaired as any other
        QTest::newRow("older file with a duplicate") << configXml(values).toLatin1() << true << identity;
        values = identityValues();
        values.swapItemsAt(ColumnProtocol, 3);
        expected = identity;
        expected[ColumnProtocol] = 3;
        expected[3] = ColumnProtocol;
        QTest::newRow("protocol column dragged") << configXml(values).toLatin1() << true << expected;
    }

    void olderFileTakesDragsOfTheNewColumn()
    {
        // An older file's document gains the protocol column's entry, so a
        // drag of that column is written and a drag of the others counts it.
        writeFile(configPath(), configXml(identityValues().mid(0, ColumnProtocol)).toLatin1());
        {
            DeviceInfoModel model(configPath());
            QCOMPARE(model.columnIndex(ColumnProtocol), int(ColumnProtocol));
            QVERIFY(model.moveColumn(ColumnProtocol, ColumnProtocol, 3));
        }
        QVector<int> expected = identityMap();
        for (int id = 3; id < ColumnProtocol; ++id)
            expected[id] = id + 1;
        expected[ColumnProtocol] = 3;
        DeviceInfoModel reloaded(configPath());
        QCOMPARE(reloaded.columnMap(), expected);
        QCOMPARE(reloaded.headerData(3, Qt::Horizontal).toString(), QStringLiteral("Protocol"));
        QCOMPARE(QString::fromLatin1(readFile(configPath())).count(QStringLiteral("<IndexValue>")),
                 int(DeviceColumnCount));
    }

    void onvifRowCells_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QStringList>("expected"); // logical 2..22
        // type, activation, IPv4, port, soft, gateway, http, serial, mask, MAC, channels,
        // DSP, start, IPv6, IPv6 gateway, prefix, IPv6?, mod IPv6?, DHCP?, DHCP on, protocol
        const QString none;
        // Not in factory state by its scopes, and not yet signed in: whether
        // it has an administrator is not known.
        QTest::newRow("before sign-in: what discovery said, nothing invented")
            << 0
            << QStringList{QStringLiteral("Camera 001"), QStringLiteral("Unknown until sign-in"), QStringLiteral("127.1.0.1"), none,
                           none, none, QStringLiteral("8080"), none, none, none, none, none, none, none, none, none,
                           none, none, none, none, QStringLiteral("ONVIF")};
        QTest::newRow("signed in")
            << int(VOSK::OnvifSignedIn)
            << QStringList{QStringLiteral("Camera 001"), QStringLiteral("Activated"), QStringLiteral("127.1.0.1"), none,
                           QStringLiteral("2.4"), QStringLiteral("127.1.0.254"), QStringLiteral("8080"),
                           QStringLiteral("SN-ONVIF-1"), QStringLiteral("255.0.0.0"), QStringLiteral("02:00:00:00:00:01"),
                           none, none, none, none, none, none, QStringLiteral("No"), QStringLiteral("No"),
                           QStringLiteral("Yes"), QStringLiteral("ON"), QStringLiteral("ONVIF, signed in")};
        QTest::newRow("refused")
            << int(VOSK::OnvifSignInRefused)
            << QStringList{QStringLiteral("Camera 001"), QStringLiteral("Unknown until sign-in"), QStringLiteral("127.1.0.1"), none,
                           none, none, QStringLiteral("8080"), none, none, none, none, none, none, none, none, none,
                           none, none, none, none, QStringLiteral("ONVIF, sign-in refused")};
        // A sign-in running shows over whatever the last one came to; the
        // other cells stay as that one left them.
        QTest::newRow("first sign-in running")
            << int(VOSK::OnvifSigningIn)
            << QStringList{QStringLiteral("Camera 001"), QStringLiteral("Unknown until sign-in"), QStringLiteral("127.1.0.1"), none,
                           none, none, QStringLiteral("8080"), none, none, none, none, none, none, none, none, none,
                           none, none, none, none, QStringLiteral("ONVIF, signing in")};
        QTest::newRow("read again after a change")
            << int(VOSK::OnvifSignedIn | VOSK::OnvifSigningIn)
            << QStringList{QStringLiteral("Camera 001"), QStringLiteral("Activated"), QStringLiteral("127.1.0.1"), none,
                           QStringLiteral("2.4"), QStringLiteral("127.1.0.254"), QStringLiteral("8080"),
                           QStringLiteral("SN-ONVIF-1"), QStringLiteral("255.0.0.0"), QStringLiteral("02:00:00:00:00:01"),
                           none, none, none, none, none, none, QStringLiteral("No"), QStringLiteral("No"),
                           QStringLiteral("Yes"), QStringLiteral("ON"), QStringLiteral("ONVIF, signing in")};
        QTest::newRow("signing in again after a refusal")
            << int(VOSK::OnvifSignInRefused | VOSK::OnvifSigningIn)
            << QStringList{QStringLiteral("Camera 001"), QStringLiteral("Unknown until sign-in"), QStringLiteral("127.1.0.1"), none,
                           none, none, QStringLiteral("8080"), none, none, none, none, none, none, none, none, none,
                           none, none, none, none, QStringLiteral("ONVIF, signing in")};
    }

    void onvifRowCells()
    {
        QFETCH(int, flags);
        QFETCH(QStringList, expected);
        DeviceInfoModel model(configPath());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QString endpoint = QStringLiteral("urn:uuid:6b1c0000-0000-5000-8000-000000000001");
        VOSK_DEVICE_INFO r = VOSK::makeOnvifRecord(endpoint);
        VOSK::setFieldBytes(r.ipv4Address, "127.1.0.1");
        VOSK::setFieldBytes(r.deviceDescription, "Camera 001");
        r.httpPort = 8080;
        model.addDevice(makeRecord("SN1", "aa:bb"));
        model.addDevice(r);
        // What sign-in reads: the same row, found by its endpoint although
        // its serial number and MAC change from nothing to something.
        VOSK::setOnvifFlags(r, static_cast<quint8>(flags));
        if (flags & VOSK::OnvifSignedIn) {
            VOSK::setFieldBytes(r.serialNumber, "SN-ONVIF-1");
            VOSK::setFieldBytes(r.mac, "02:00:00:00:00:01");
            VOSK::setFieldBytes(r.softwareVersion, "2.4");
            VOSK::setFieldBytes(r.ipv4Mask, "255.0.0.0");
            VOSK::setFieldBytes(r.ipv4Gateway, "127.1.0.254");
            r.addressInfoValid = 1; // but no IPv6 reported: its cells stay empty
            r.capabilities = 0;
            r.dhcpEnabled = 1;
        }
        model.updateDevice(r);
        QCOMPARE(model.rowCount(), 2);
        const DeviceKey key{QString(), QString(), VOSK::onvifEndpointId(endpoint)};
        QCOMPARE(model.keyAt(1), key);
        QCOMPARE(model.rowOf(key), 1);
        QCOMPARE(rowTexts(model, 1).mid(ColumnDeviceType), expected);
        QCOMPARE(model.text(0, ColumnProtocol), QStringLiteral("VOSK"));

        // What a file writes of the row: the cells as shown, but for the
        // mark of a sign-in running, which gives way to the lasting state.
        QStringList lasting = expected;
        if (flags & VOSK::OnvifSigningIn) {
            lasting.last() = (flags & VOSK::OnvifSignedIn) ? QStringLiteral("ONVIF, signed in")
                : (flags & VOSK::OnvifSignInRefused)     ? QStringLiteral("ONVIF, sign-in refused")
                                                          : QStringLiteral("ONVIF");
        }
        QStringList written;
        for (int logical = ColumnDeviceType; logical < DeviceColumnCount; ++logical)
            written << model.index(1, model.columnIndex(logical)).data(aptui::LastingTextRole).toString();
        QCOMPARE(written, lasting);
        // The mark goes with the sign-in's end.
        VOSK::setOnvifFlags(r, quint8(flags & ~VOSK::OnvifSigningIn));
        model.updateDevice(r);
        QCOMPARE(model.text(1, ColumnProtocol), lasting.last());

        // Gone by its endpoint alone.
        model.removeDevice(r);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.rowOf(key), -1);
    }

    void fallback()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, loaded);
        QFETCH(QVector<int>, expected);
        QFile::remove(configPath());
        if (!content.isEmpty())
            writeFile(configPath(), content);
        DeviceInfoModel model(configPath());
        QCOMPARE(model.columnMap(), expected);
        QCOMPARE(model.loadColumnConfig(), loaded);

        // A drag after a repair writes a whole file that loads back as it is.
        QVERIFY(model.moveColumn(9, 9, 3));
        DeviceInfoModel reloaded(configPath());
        QVector<int> moved = expected;
        for (int &g : moved) {
            if (g == 9)
                g = 3;
            else if (g >= 3 && g < 9)
                ++g;
        }
        QCOMPARE(reloaded.columnMap(), moved);
    }

    void moveColumn_data()
    {
        QTest::addColumn<Moves>("moves");
        QTest::addColumn<QVector<int>>("expected");
        QVector<int> e = identityMap();
        e[5] = 8;
        e[6] = 5;
        e[7] = 6;
        e[8] = 7;
        QTest::newRow("5 to 8") << Moves{{5, 8}} << e;
        e = identityMap();
        e[8] = 5;
        e[5] = 6;
        e[6] = 7;
        e[7] = 8;
        QTest::newRow("8 to 5") << Moves{{8, 5}} << e;
        e = identityMap();
        e[21] = 2;
        for (int i = 2; i < 21; ++i)
            e[i] = i + 1;
        QTest::newRow("last to first movable") << Moves{{21, 2}} << e;
        QTest::newRow("there and back") << Moves{{3, 17}, {17, 3}} << identityMap();
        QTest::newRow("same place") << Moves{{6, 6}} << identityMap();
        QTest::newRow("onto check or ID refused") << Moves{{6, 1}, {0, 6}} << identityMap();
        e = identityMap();
        e[2] = 4;
        e[3] = 2;
        e[4] = 3;
        QTest::newRow("two moves") << Moves{{2, 3}, {3, 4}} << e;
    }

    void moveColumn()
    {
        QFETCH(Moves, moves);
        QFETCH(QVector<int>, expected);
        DeviceInfoModel model(configPath());
        for (const auto &move : moves) {
            const bool allowed = move.first >= 2 && move.second >= 2;
            QCOMPARE(model.moveColumn(-1, move.first, move.second), allowed);
        }
        // The model's columns stay; the file has the new order.
        QCOMPARE(model.columnMap(), identityMap());
        DeviceInfoModel reloaded(configPath());
        QCOMPARE(reloaded.columnMap(), expected);
        QVERIFY(readFile(configPath()).startsWith("<?xml version=\"1.0\" encoding=\"GB2312\"?>"));
    }

    void reloadKeepsLiveColumns()
    {
        // After a drag the file holds the new order, but the model's columns
        // have not moved: reading the file again must not move the map.
        DeviceInfoModel model(configPath());
        QVERIFY(model.moveColumn(ColumnPort, 5, 8));
        QVERIFY(model.loadColumnConfig());
        QCOMPARE(model.columnMap(), identityMap());
        model.addDevice(makeRecord("SN1", "m1"));
        QCOMPARE(model.index(0, 5).data().toString(), QStringLiteral("   80"));
        QCOMPARE(model.headerData(5, Qt::Horizontal).toString(), QStringLiteral("Port"));
        // Later drags continue from the order in the file.
        QVERIFY(model.moveColumn(ColumnPort, 8, 5));
        QCOMPARE(DeviceInfoModel(configPath()).columnMap(), identityMap());
    }

    void interruptedSaveKeepsOldFile()
    {
        const QByteArray before = readFile(configPath());
        DeviceInfoModel model(configPath());
        bool reached = false;
        model.setBeforeCommitHook([&reached] {
            reached = true;
            return false;
        });
        QVERIFY(!model.moveColumn(5, 5, 8));
        QVERIFY(reached);
        QCOMPARE(readFile(configPath()), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("ColumnConfig.xml")});
    }

    void staleSaveTemporariesRemoved()
    {
        // A save killed between writing its temporary and renaming it leaves
        // "ColumnConfig.xml.XXXXXX" behind; the next start and the next save
        // remove those, and only those.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ColumnConfig.xml"));
        QVERIFY(QFile::copy(configPath(), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        const QStringList kept = {
            QStringLiteral("ColumnConfig.xml"), QStringLiteral("ColumnConfig.xml.bak"),
            QStringLiteral("ColumnConfig.xml.abc12"), QStringLiteral("ColumnConfig.xml.abc1234"),
            QStringLiteral("ColumnConfig.xml.ab-123"), QStringLiteral("Setup.xml.aB3dE9"),
        };
        for (const QString &name : kept.mid(1))
            writeFile(dir.filePath(name), "keep");
        const auto remaining = [&dir] {
            QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            names.sort();
            return names;
        };
        QStringList expected = kept;
        expected.sort();

        writeFile(dir.filePath(QStringLiteral("ColumnConfig.xml.aB3dE9")), "<ColumnConfig><torn");
        writeFile(dir.filePath(QStringLiteral("ColumnConfig.xml.000000")), "");
        DeviceInfoModel model(path);
        QCOMPARE(remaining(), expected);
        QCOMPARE(model.columnMap(), identityMap());

        writeFile(dir.filePath(QStringLiteral("ColumnConfig.xml.Zz9Yy8")), "<ColumnConfig><torn");
        QVERIFY(model.moveColumn(ColumnPort, 5, 8));
        QCOMPARE(remaining(), expected);
        QVERIFY(DeviceInfoModel(path).columnMap() != identityMap());
    }

    void unwritablePlaceFails()
    {
        DeviceInfoModel model(m_dir.filePath(QStringLiteral("ColumnConfig.xml/inside-a-file.xml")));
        QCOMPARE(model.columnMap(), identityMap());
        QVERIFY(!model.moveColumn(5, 5, 8));
    }

    void resolveConfigPath()
    {
        QTemporaryDir program;
        QTemporaryDir user;
        const QString shipped = program.filePath(QStringLiteral("ColumnConfig.xml"));
        QVERIFY(QFile::copy(configPath(), shipped));
        QFile::setPermissions(shipped, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);

        QCOMPARE(DeviceInfoModel::resolveConfigPath(program.path(), true, user.path()), shipped);

        const QString userDir = user.filePath(QStringLiteral("sub"));
        const QString userFile = userDir + QStringLiteral("/ColumnConfig.xml");
        QCOMPARE(DeviceInfoModel::resolveConfigPath(program.path(), false, userDir), userFile);
        QCOMPARE(readFile(userFile), readFile(shipped));
        // The user's copy takes drags even though the shipped one is read-only.
        DeviceInfoModel model(userFile);
        QVERIFY(model.moveColumn(5, 5, 8));
        QCOMPARE(readFile(shipped), readFile(configPath()));
        // An existing user copy is kept.
        QCOMPARE(DeviceInfoModel::resolveConfigPath(program.path(), false, userDir), userFile);
        QCOMPARE(DeviceInfoModel(userFile).columnIndex(ColumnPort), 8);
    }
};

QTEST_MAIN(TestDeviceInfoModel)
#include "tst_deviceinfomodel.moc"
