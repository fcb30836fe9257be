#include "discovery/deviceinfo.h"
#include "discovery/devicestore.h"
#include "discovery/recordfields.h"

#include <QtEndian>
#include <QTest>

#include <cstring>

// The records must match the byte layout the library exchanges. These tests
// build records byte by byte at the documented offsets and read them back
// through the struct, independent of how the struct is declared.
class TestDeviceRecords final : public QObject
{
    Q_OBJECT

private:
    static void putText(QByteArray &buf, int offset, const char *text)
    {
        std::memcpy(buf.data() + offset, text, std::strlen(text));
    }
    static void putLe32(QByteArray &buf, int offset, qint32 value)
    {
        qToLittleEndian(value, buf.data() + offset);
    }
    static void putLe16(QByteArray &buf, int offset, quint16 value)
    {
        qToLittleEndian(value, buf.data() + offset);
    }

private Q_SLOTS:
    void deviceInfoFieldsAtOffsets()
    {
        QByteArray buf(500, '\0');
        putText(buf, 0, "LEAD");
        putText(buf, 12, "SN-0001");
        putText(buf, 60, "aa:bb:cc:dd:ee:ff");
        putText(buf, 80, "192.168.1.64");
        putText(buf, 96, "255.255.255.0");
        putLe32(buf, 112, 0x9D12);
        putLe32(buf, 116, 8000);
        putLe32(buf, 120, 4);
        putText(buf, 128, "V5.7.3 build 221011");
        putText(buf, 176, "V7.3 build 221011");
        putText(buf, 224, "2026-12-01 08:00:00");
        putLe32(buf, 272, 2);
        putText(buf, 276, "DS-CAM-X");
        putText(buf, 324, "192.168.1.1");
        putText(buf, 340, "fe80::1");
        putText(buf, 386, "fe80::fffe");
        buf[432] = char(64);
        buf[433] = char(0xC5);
        buf[434] = 1;
        buf[435] = 1;
        putLe16(buf, 436, 8080);
        buf[459] = 1;
        buf[484] = 1;

        VOSK_DEVICE_INFO record;
        static_assert(sizeof record == 500);
        std::memcpy(&record, buf.constData(), sizeof record);

        QCOMPARE(VOSK::fieldText(record.leadingText), QStringLiteral("LEAD"));
        QCOMPARE(VOSK::fieldText(record.serialNumber), QStringLiteral("SN-0001"));
        QCOMPARE(VOSK::fieldText(record.mac), QStringLiteral("aa:bb:cc:dd:ee:ff"));
        QCOMPARE(VOSK::fieldText(record.ipv4Address), QStringLiteral("192.168.1.64"));
        QCOMPARE(VOSK::fieldText(record.ipv4Mask), QStringLiteral("255.255.255.0"));
        QCOMPARE(record.deviceTypeCode, 0x9D12);
        QCOMPARE(record.port, 8000);
        QCOMPARE(record.channelCount, 4);
        QCOMPARE(VOSK::fieldText(record.softwareVersion), QStringLiteral("V5.7.3 build 221011"));
        QCOMPARE(VOSK::fieldText(record.dspVersion), QStringLiteral("V7.3 build 221011"));
        QCOMPARE(VOSK::fieldText(record.startTime), QStringLiteral("2026-12-01 08:00:00"));
        QCOMPARE(record.event, 2);
        QCOMPARE(VOSK::fieldText(record.deviceDescription), QStringLiteral("DS-CAM-X"));
        QCOMPARE(VOSK::fieldText(record.ipv4Gateway), QStringLiteral("192.168.1.1"));
        QCOMPARE(VOSK::fieldText(record.ipv6Address), QStringLiteral("fe80::1"));
        QCOMPARE(VOSK::fieldText(record.ipv6Gateway), QStringLiteral("fe80::fffe"));
        QCOMPARE(record.ipv6PrefixLength, quint8(64));
        QCOMPARE(record.capabilities, quint8(0xC5));
        QCOMPARE(record.dhcpEnabled, quint8(1));
        QCOMPARE(record.addressInfoValid, quint8(1));
        QCOMPARE(record.httpPort, quint16(8080));
        QCOMPARE(record.notActivated, quint8(1));
        QCOMPARE(record.newResetType, quint8(1));
    }

    void netParamFieldsAtOffsets()
    {
        VOSK_NET_PARAM param;
        std::memset(&param, 0, sizeof param);
        VOSK::setFieldText(param.ipv4Address, QStringLiteral("10.0.0.2"));
        VOSK::setFieldText(param.ipv6Gateway, QStringLiteral("2001:db8::1"));
        param.port = 0x1234;
        param.ipv6PrefixLength = 48;
        param.dhcpEnabled = 1;
        param.httpPort = 0xABCD;

        const QByteArray buf(reinterpret_cast<const char *>(&param), sizeof param);
        QCOMPARE(buf.size(), 436);
        QCOMPARE(buf.mid(0, 8), QByteArray("10.0.0.2"));
        QCOMPARE(buf.mid(176, 11), QByteArray("2001:db8::1"));
        QCOMPARE(qFromLittleEndian<quint16>(buf.constData() + 304), quint16(0x1234));
        QCOMPARE(quint8(buf.at(306)), quint8(48));
        QCOMPARE(quint8(buf.at(307)), quint8(1));
        QCOMPARE(qFromLittleEndian<quint16>(buf.constData() + 308), quint16(0xABCD));
        QCOMPARE(buf.mid(310), QByteArray(126, '\0'));
    }

    void fieldTextIsBoundedBySpan_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("terminated") << QByteArray("abc\0zzzzzzzzzzzz", 16) << QStringLiteral("abc");
        QTest::newRow("full span, no terminator") << QByteArray(16, 'x') << QString(16, QLatin1Char('x'));
        QTest::newRow("empty") << QByteArray(16, '\0') << QString();
        QTest::newRow("latin-1 byte") << QByteArray("caf\xe9\0", 5) + QByteArray(11, '\0') << QStringLiteral("caf\u00e9");
    }

    void fieldTextIsBoundedBySpan()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        struct { char field[16]; char guard[4]; } s;
        std::memcpy(s.field, bytes.constData(), 16);
        std::memcpy(s.guard, "GGGG", 4);
        QCOMPARE(VOSK::fieldText(s.field), expected);
    }

    void setFieldTextCutsAndTerminates()
    {
        char field[8];
        std::memset(field, 'x', sizeof field);
        QVERIFY(!VOSK::setFieldText(field, QStringLiteral("0123456789")));
        QCOMPARE(QByteArray(field, 8), QByteArray("0123456\0", 8));
        QVERIFY(VOSK::setFieldText(field, QStringLiteral("ab")));
        QCOMPARE(QByteArray(field, 8), QByteArray("ab\0\0\0\0\0\0", 8));
    }

    void reservedRangesSurviveStoreRoundTrip()
    {
        VOSK_DEVICE_INFO record;
        auto *bytes = reinterpret_cast<unsigned char *>(&record);
        for (int i = 0; i < 500; ++i)
            bytes[i] = static_cast<unsigned char>(i * 7 + 3);
        VOSK::setFieldText(record.serialNumber, QStringLiteral("RT-1"));
        VOSK::setFieldText(record.mac, QStringLiteral("00:11:22:33:44:55"));

        DeviceStore *store = DeviceStore::instance();
        store->clear();
        store->addDevice(record);
        VOSK_DEVICE_INFO back;
        QVERIFY(store->getDevice(QStringLiteral("RT-1"), QStringLiteral("00:11:22:33:44:55"), back));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&back), 500),
                 QByteArray(reinterpret_cast<const char *>(&record), 500));

        // An update replaces every byte, reserved ones included.
        bytes[124] = 0xEE;
        bytes[450] = 0xEF;
        bytes[499] = 0xF0;
        store->updateDevice(record);
        QVERIFY(store->getDevice(QStringLiteral("RT-1"), QStringLiteral("00:11:22:33:44:55"), back));
        QCOMPARE(std::memcmp(&back, &record, 500), 0);
        store->clear();
    }

    void deviceInfoDefaults()
    {
        const DeviceInfo info;
        QCOMPARE(info.result, QStringLiteral("0"));
        QVERIFY(info.id.isEmpty() && info.mac.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDeviceRecords)
#include "tst_devicerecords.moc"
