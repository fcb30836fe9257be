#include "discovery/devicestore.h"
#include "discovery/onvifrecord.h"
#include "discovery/recordfields.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

VOSK_DEVICE_INFO makeRecord(const char *serial, const char *mac, const char *ipv4 = "192.168.1.10")
{
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    VOSK::setFieldBytes(record.serialNumber, serial);
    VOSK::setFieldBytes(record.mac, mac);
    VOSK::setFieldBytes(record.ipv4Address, ipv4);
    return record;
}

QString s(const char *text)
{
    return QString::fromLatin1(text);
}

// True when another thread can take the store's mutex right now, i.e. no
// operation left it locked.
bool mutexIsFree(DeviceStore *store)
{
    std::atomic<bool> took{false};
    std::thread probe([&] {
        store->lock();
        took = true;
        store->unlock();
    });
    probe.join();
    return took;
}

} // namespace

class TestDeviceStore final : public QObject
{
    Q_OBJECT

private:
    DeviceStore *store = DeviceStore::instance();

private Q_SLOTS:
    void init() { store->clear(); }
    void cleanupTestCase() { store->clear(); }

    void instanceIsShared()
    {
        QCOMPARE(DeviceStore::instance(), store);
        std::vector<DeviceStore *> seen(4, nullptr);
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < seen.size(); ++i)
            threads.emplace_back([&seen, i] { seen[i] = DeviceStore::instance(); });
        for (auto &t : threads)
            t.join();
        for (DeviceStore *p : seen)
            QCOMPARE(p, store);
    }

    void addGetRemoveByKey()
    {
        store->addDevice(makeRecord("A", "00:00:00:00:00:01"));
        store->addDevice(makeRecord("B", "00:00:00:00:00:02"));
        store->addDevice(makeRecord("C", "00:00:00:00:00:03"));
        QCOMPARE(store->count(), 3);
        QCOMPARE(store->indexOf(s("B"), s("00:00:00:00:00:02")), 1);
        // Both halves of the key must match.
        QCOMPARE(store->indexOf(s("B"), s("00:00:00:00:00:03")), -1);

        store->removeDevice(makeRecord("A", "00:00:00:00:00:01"));
        QCOMPARE(store->indexOf(s("B"), s("00:00:00:00:00:02")), 0);
        QCOMPARE(store->indexOf(s("C"), s("00:00:00:00:00:03")), 1);

        VOSK_DEVICE_INFO out;
        QVERIFY(!store->getDevice(s("A"), s("00:00:00:00:00:01"), out));
        QVERIFY(store->getDevice(s("C"), s("00:00:00:00:00:03"), out));
        QCOMPARE(VOSK::fieldText(out.serialNumber), s("C"));
        QCOMPARE(store->getAllDevices().size(), 2);
    }

    void updateReplacesWholeRecord()
    {
        store->addDevice(makeRecord("A", "00:00:00:00:00:01", "10.0.0.1"));
        VOSK_DEVICE_INFO changed = makeRecord("A", "00:00:00:00:00:01", "10.0.0.99");
        changed.notActivated = 1;
        store->updateDevice(changed);
        VOSK_DEVICE_INFO out;
        QVERIFY(store->getDevice(s("A"), s("00:00:00:00:00:01"), out));
        QCOMPARE(std::memcmp(&out, &changed, sizeof out), 0);
    }

    void macSeenAgainWithAnotherSerial()
    {
        // The online path checks the MAC alone: a device reappearing with a
        // new serial number is a duplicate by MAC, but a different key.
        store->addDevice(makeRecord("A", "00:00:00:00:00:01"));
        store->lock();
        QVERIFY(store->containsMac(s("00:00:00:00:00:01")));
        QVERIFY(!store->containsMac(s("00:00:00:00:00:02")));
        store->unlock();
        QCOMPARE(store->indexOf(s("Z"), s("00:00:00:00:00:01")), -1);
        store->updateDevice(makeRecord("Z", "00:00:00:00:00:01", "1.2.3.4"));
        VOSK_DEVICE_INFO out;
        QVERIFY(store->getDevice(s("A"), s("00:00:00:00:00:01"), out));
        QCOMPARE(VOSK::fieldText(out.ipv4Address), s("192.168.1.10"));
    }

    // The hash indexes against a linear scan of the records, through adds
    // (keys and MACs repeated too), removals from anywhere, updates and
    // clears: every lookup answers with the first element of a key, and a
    // key is ambiguous exactly while another key with its MAC or serial
    // number is stored.
    // ONVIF rows are keyed by their endpoint: before sign-in their serial
    // number and MAC are empty and make nothing ambiguous; afterwards they
    // fall under the rule of ours (a serial number or MAC another device
    // shows, in any spelling), and a second row of one endpoint reference
    // (another host announcing it) is its twin. Rows are never merged, and
    // an endpoint reference too long for any text field keys as well as a
    // short one.
    void onvifRowsKeyedByEndpoint()
    {
        const QString longReference = QStringLiteral("urn:uuid:") + QString(200, QLatin1Char('a'));
        VOSK_DEVICE_INFO first = VOSK::makeOnvifRecord(QStringLiteral("urn:uuid:1"));
        VOSK_DEVICE_INFO second = VOSK::makeOnvifRecord(longReference);
        const DeviceKey firstKey = DeviceKey::fromRecord(first);
        const DeviceKey secondKey = DeviceKey::fromRecord(second);
        QVERIFY(firstKey.isOnvif());
        QCOMPARE(firstKey.endpointId, VOSK::onvifEndpointId(QStringLiteral("urn:uuid:1")));
        QCOMPARE(secondKey.endpointId, VOSK::onvifEndpointId(longReference));
        QVERIFY(firstKey != secondKey);
        store->addDevice(first);
        store->addDevice(second);
        store->addDevice(makeRecord("", ""));
        QCOMPARE(store->count(), 3);
        QVERIFY(!store->isAmbiguous(firstKey));
        QVERIFY(!store->isAmbiguous(DeviceKey(QString(), QString())));

        // Signed in: the same MAC as a device of ours, spelt its way.
        VOSK::setFieldBytes(first.serialNumber, "A");
        VOSK::setFieldBytes(first.mac, "00:00:00:00:00:01");
        store->updateDevice(first);
        store->addDevice(makeRecord("B", "00-00-00-00-00-01"));
        QCOMPARE(DeviceKey::fromRecord(first), firstKey);
        QCOMPARE(store->sharingIdentity(firstKey), QVector<DeviceKey>{DeviceKey(s("B"), s("00-00-00-00-00-01"))});
        QCOMPARE(store->sharingIdentity(DeviceKey(s("B"), s("00-00-00-00-00-01"))), QVector<DeviceKey>{firstKey});
        // Another host announcing its endpoint reference.
        const VOSK_DEVICE_INFO rogue = VOSK::makeOnvifRecord(QStringLiteral("urn:uuid:1"), QStringLiteral("10.0.0.9"));
        QVERIFY(DeviceKey::fromRecord(rogue) != firstKey);
        store->addDevice(rogue);
        QVERIFY(store->sharingIdentity(DeviceKey::fromRecord(rogue)).contains(firstKey));
        store->removeDevice(rogue);
        // The MAC read again differs: the twin is gone with it.
        VOSK::setFieldBytes(first.mac, "00:00:00:00:00:02");
        store->updateDevice(first);
        QVERIFY(!store->isAmbiguous(firstKey));
        VOSK_DEVICE_INFO read;
        QVERIFY(store->getDevice(firstKey, read));
        QCOMPARE(VOSK::fieldText(read.serialNumber), s("A"));
        QCOMPARE(VOSK::onvifFlags(read), quint8(0));

        store->removeDevice(first);
        QCOMPARE(store->indexOf(firstKey), -1);
        QVERIFY(store->indexOf(secondKey) >= 0);
    }

    void indexesAgreeWithScan_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 2") << 2u;
    }

    void indexesAgreeWithScan()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        QVector<VOSK_DEVICE_INFO> oracle;
        QVector<DeviceKey> keys;
        for (int i = 0; i < 10; ++i)
            keys << DeviceKey{QStringLiteral("SN%1").arg(i), QStringLiteral("m%1").arg(i % 7)};
        // One serial number under two MACs as well.
        keys << DeviceKey{QStringLiteral("SN3"), QStringLiteral("m9")};
        const auto scan = [&oracle](const DeviceKey &key) {
            for (int i = 0; i < oracle.size(); ++i) {
                if (DeviceKey::fromRecord(oracle.at(i)) == key)
                    return i;
            }
            return -1;
        };
        for (int step = 0; step < 400; ++step) {
            const DeviceKey &key = keys.at(random.bounded(keys.size()));
            VOSK_DEVICE_INFO record = makeRecord(key.serialNumber.toLatin1().constData(), key.mac.toLatin1().constData(),
                                                 QByteArray::number(step).constData());
            const int found = scan(key);
            switch (random.bounded(10)) {
            case 0: case 1: case 2: case 3:
                store->addDevice(record);
                oracle.append(record);
                break;
            case 4: case 5: case 6:
                store->removeDevice(record);
                if (found >= 0)
                    oracle.remove(found);
                break;
            case 7: case 8:
                store->updateDevice(record);
                if (found >= 0)
                    oracle[found] = record;
                break;
            case 9:
                if (random.bounded(4) == 0) {
                    store->clear();
                    oracle.clear();
                }
                break;
            }
            QCOMPARE(store->count(), oracle.size());
            for (const DeviceKey &probe : keys) {
                const int expected = scan(probe);
                QCOMPARE(store->indexOf(probe), expected);
                VOSK_DEVICE_INFO out;
                QCOMPARE(store->getDevice(probe, out), expected >= 0);
                if (expected >= 0)
                    QCOMPARE(VOSK::fieldText(out.ipv4Address), VOSK::fieldText(oracle.at(expected).ipv4Address));
                const bool macPresent = std::any_of(oracle.cbegin(), oracle.cend(), [&probe](const VOSK_DEVICE_INFO &r) {
                    return VOSK::fieldText(r.mac) == probe.mac;
                });
                QSet<DeviceKey> sharing;
                for (const VOSK_DEVICE_INFO &r : std::as_const(oracle)) {
                    const DeviceKey other = DeviceKey::fromRecord(r);
                    if (other != probe && (other.mac == probe.mac || other.serialNumber == probe.serialNumber))
                        sharing.insert(other);
                }
                const QVector<DeviceKey> reported = store->sharingIdentity(probe);
                QCOMPARE(QSet<DeviceKey>(reported.cbegin(), reported.cend()), sharing);
                QCOMPARE(reported.size(), sharing.size());
                if (expected >= 0)
                    QCOMPARE(store->isAmbiguous(probe), !sharing.isEmpty());
                const DeviceStore::Locker locker(store);
                QCOMPARE(store->containsMac(probe.mac), macPresent);
            }
        }
    }

    // Three devices on one MAC, two of them also on one serial number,
    // leaving in every order: each step's sharing is what the devices
    // still stored share (the index keeps a list only while a half is
    // shared, and falls back to the one key left).
    void sharingFollowsDepartures_data()
    {
        QTest::addColumn<QList<int>>("order");
        QList<int> order{0, 1, 2, 3};
        do {
            QString name;
            for (int i : order)
                name += QString::number(i);
            QTest::newRow(qPrintable(name)) << order;
        } while (std::next_permutation(order.begin(), order.end()));
    }

    void sharingFollowsDepartures()
    {
        QFETCH(QList<int>, order);
        const QVector<DeviceKey> keys{{s("A"), s("m")}, {s("B"), s("m")}, {s("C"), s("m")}, {s("C"), s("n")}};
        for (const DeviceKey &key : keys)
            store->addDevice(makeRecord(key.serialNumber.toLatin1().constData(), key.mac.toLatin1().constData()));
        QVector<DeviceKey> stored = keys;
        const auto check = [&] {
            for (const DeviceKey &probe : keys) {
                QSet<DeviceKey> expected;
                for (const DeviceKey &other : std::as_const(stored)) {
                    if (other != probe && (other.mac == probe.mac || other.serialNumber == probe.serialNumber))
                        expected.insert(other);
                }
                const QVector<DeviceKey> reported = store->sharingIdentity(probe);
                QCOMPARE(QSet<DeviceKey>(reported.cbegin(), reported.cend()), expected);
                QCOMPARE(reported.size(), expected.size());
            }
        };
        check();
        for (int i : order) {
            store->removeDevice(makeRecord(keys.at(i).serialNumber.toLatin1().constData(),
                                           keys.at(i).mac.toLatin1().constData()));
            stored.removeOne(keys.at(i));
            check();
        }
        // And back again, one by one.
        for (int i : order) {
            store->addDevice(makeRecord(keys.at(i).serialNumber.toLatin1().constData(),
                                        keys.at(i).mac.toLatin1().constData()));
            stored.append(keys.at(i));
            check();
        }
    }

    void missingKeysChangeNothingAndLeaveMutexFree_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("remove") << 0;
        QTest::newRow("update") << 1;
        QTest::newRow("getNetParam") << 2;
        QTest::newRow("setNetParam") << 3;
        QTest::newRow("setActivated") << 4;
        QTest::newRow("getDevice") << 5;
    }

    void missingKeysChangeNothingAndLeaveMutexFree()
    {
        QFETCH(int, operation);
        const VOSK_DEVICE_INFO kept = makeRecord("A", "00:00:00:00:00:01");
        store->addDevice(kept);
        const VOSK_DEVICE_INFO missing = makeRecord("X", "00:00:00:00:00:09");
        VOSK_NET_PARAM param;
        std::memset(&param, 0, sizeof param);
        VOSK_DEVICE_INFO out;
        switch (operation) {
        case 0: store->removeDevice(missing); break;
        case 1: store->updateDevice(missing); break;
        case 2: QVERIFY(!store->getNetParam(s("X"), s("00:00:00:00:00:09"), param)); break;
        case 3: QVERIFY(!store->setNetParam(s("X"), s("00:00:00:00:00:09"), param)); break;
        case 4: QVERIFY(!store->setActivated(s("X"), s("00:00:00:00:00:09"), 0)); break;
        case 5: QVERIFY(!store->getDevice(s("X"), s("00:00:00:00:00:09"), out)); break;
        }
        const auto all = store->getAllDevices();
        QCOMPARE(all.size(), 1);
        QCOMPARE(std::memcmp(&all.first(), &kept, sizeof kept), 0);
        QVERIFY(mutexIsFree(store));
    }

    void netParamWidths()
    {
        VOSK_DEVICE_INFO record = makeRecord("A", "00:00:00:00:00:01", "192.168.1.64");
        VOSK::setFieldBytes(record.ipv4Mask, "255.255.255.0");
        VOSK::setFieldBytes(record.ipv4Gateway, "192.168.1.1");
        // A 46-byte IPv6 field filled to the brim, no terminator: the copy must
        // stop at the field and stay terminated.
        std::memset(record.ipv6Address, 'a', sizeof record.ipv6Address);
        std::memset(record.ipv6Gateway, 'g', sizeof record.ipv6Gateway);
        record.ipv6PrefixLength = 64;
        record.port = 0x12345678; // more than 16 bits
        record.dhcpEnabled = 1;
        record.httpPort = 8080;
        store->addDevice(record);

        VOSK_NET_PARAM param;
        std::memset(&param, 0x7F, sizeof param);
        QVERIFY(store->getNetParam(s("A"), s("00:00:00:00:00:01"), param));
        QCOMPARE(VOSK::fieldText(param.ipv4Address), s("192.168.1.64"));
        QCOMPARE(VOSK::fieldText(param.ipv4Mask), s("255.255.255.0"));
        QCOMPARE(VOSK::fieldText(param.ipv4Gateway), s("192.168.1.1"));
        QCOMPARE(VOSK::fieldText(param.ipv6Address), QString(46, QLatin1Char('a')));
        QCOMPARE(param.ipv6Address[46], '\0');
        QCOMPARE(VOSK::fieldText(param.ipv6Gateway), QString(46, QLatin1Char('g')));
        QCOMPARE(param.port, quint16(0x5678));
        QCOMPARE(param.ipv6PrefixLength, quint8(64));
        QCOMPARE(param.dhcpEnabled, quint8(1));
        QCOMPARE(param.httpPort, quint16(8080));

        // The reverse: long texts are cut to the record's widths, the port
        // widened without sign extension.
        std::memset(&param, 0, sizeof param);
        VOSK::setFieldBytes(param.ipv4Address, "10.1.1.5");
        std::memset(param.ipv6Address, 'b', 100);
        VOSK::setFieldBytes(param.ipv6Gateway, "fe80::1");
        param.port = 0xFFFF;
        param.ipv6PrefixLength = 48;
        param.dhcpEnabled = 0;
        param.httpPort = 0;
        QVERIFY(store->setNetParam(s("A"), s("00:00:00:00:00:01"), param));
        VOSK_DEVICE_INFO out;
        QVERIFY(store->getDevice(s("A"), s("00:00:00:00:00:01"), out));
        QCOMPARE(VOSK::fieldText(out.ipv4Address), s("10.1.1.5"));
        QCOMPARE(VOSK::fieldText(out.ipv6Address), QString(45, QLatin1Char('b')));
        QCOMPARE(out.ipv6Address[45], '\0');
        QCOMPARE(VOSK::fieldText(out.ipv6Gateway), s("fe80::1"));
        QCOMPARE(out.ipv6PrefixLength, quint8(48));
        QCOMPARE(out.port, 65535);
        QCOMPARE(out.dhcpEnabled, quint8(0));
        QCOMPARE(out.httpPort, quint16(0));
        // Fields outside the parameter block are untouched.
        QCOMPARE(VOSK::fieldText(out.serialNumber), s("A"));
    }

    void setActivated()
    {
        VOSK_DEVICE_INFO record = makeRecord("A", "00:00:00:00:00:01");
        record.notActivated = 1;
        store->addDevice(record);
        store->lock(); // an outer lock, as the activation does
        QVERIFY(store->setActivated(s("A"), s("00:00:00:00:00:01"), 0));
        store->unlock();
        VOSK_DEVICE_INFO out;
        QVERIFY(store->getDevice(s("A"), s("00:00:00:00:00:01"), out));
        QCOMPARE(out.notActivated, quint8(0));
    }

    void readersAndWriterUnderOuterLock()
    {
        constexpr int kDevices = 200;
        std::atomic<bool> torn{false};
        std::atomic<bool> stop{false};
        std::vector<std::thread> readers;
        for (int r = 0; r < 3; ++r) {
            readers.emplace_back([&] {
                while (!stop) {
                    // A sequence of calls under one outer lock sees a
                    // consistent store: count and contents agree.
                    DeviceStore::Locker locker(store);
                    const int n = store->count();
                    const auto all = store->getAllDevices();
                    if (all.size() != n)
                        torn = true;
                    for (const auto &rec : all) {
                        if (store->indexOf(VOSK::fieldText(rec.serialNumber), VOSK::fieldText(rec.mac)) < 0)
                            torn = true;
                    }
                }
            });
        }
        std::thread writer([&] {
            for (int i = 0; i < kDevices; ++i) {
                const QByteArray serial = "S" + QByteArray::number(i);
                const QByteArray mac = "M" + QByteArray::number(i);
                DeviceStore::Locker locker(store);
                if (!store->containsMac(QString::fromLatin1(mac)))
                    store->addDevice(makeRecord(serial.constData(), mac.constData()));
                if (i % 3 == 0)
                    store->removeDevice(makeRecord(serial.constData(), mac.constData()));
            }
        });
        writer.join();
        stop = true;
        for (auto &t : readers)
            t.join();
        QVERIFY(!torn);
        QCOMPARE(store->count(), kDevices - (kDevices + 2) / 3);
        QVERIFY(mutexIsFree(store));
    }
};

QTEST_GUILESS_MAIN(TestDeviceStore)
#include "tst_devicestore.moc"
