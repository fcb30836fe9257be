// The protocol's encoding: every message kind survives a round trip, and
// anything malformed, oversized, of another version or type, or breaking a
// bound yields no message at all.

#include "vosk/knownanswers.h"
#include "vosk/sealedpayload.h"
#include "vosk/wiremessage.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QTest>

#include <sodium.h>

using namespace VoskNet;

namespace {

WireMessage sampleReport()
{
    WireMessage m;
    m.type = MessageType::Report;
    m.id = WireMessage::newId();
    m.event = ReportEvent::Changed;
    m.boot = QByteArray(kBootSize, 'b');
    m.seq = 42;
    m.publicKey = QByteArray(kPublicKeySize, 'k');
    m.record.serialNumber = QByteArray(47, 'S');
    m.record.mac = "02-5e-01-00-00-07";
    m.record.ipv4Address = "192.168.1.7";
    m.record.deviceTypeCode = 0x9F10;
    m.record.port = 65535;
    m.record.channelCount = 16;
    m.record.ipv6Address = QByteArray(45, '1');
    m.record.ipv6PrefixLength = 128;
    m.record.capabilities = 0xC7;
    m.record.notActivated = true;
    m.record.addressInfoValid = true;
    return m;
}

QCborMap asMap(const WireMessage &m)
{
    return QCborValue::fromCbor(m.encode()).toMap();
}

QByteArray withRecord(QCborMap message, qint64 key, const QCborValue &value)
{
    QCborMap record = message.value(8).toMap();
    if (value.isUndefined())
        record.remove(key);
    else
        record.insert(key, value);
    message.insert(8, record);
    return QCborValue(message).toCbor();
}

QByteArray with(QCborMap message, qint64 key, const QCborValue &value)
{
    if (value.isUndefined())
        message.remove(key);
    else
        message.insert(key, value);
    return QCborValue(message).toCbor();
}

// innermost wrapped until it is `levels` containers deep, in arrays or in
// maps (under key 0).
QCborValue nested(const QCborValue &innermost, int levels, bool maps)
{
    QCborValue value = innermost;
    for (int level = 1; level < levels; ++level)
        value = maps ? QCborValue(QCborMap{{0, value}}) : QCborValue(QCborArray{value});
    return value;
}

QCborValue tagged(int tags, const QCborValue &value)
{
    QCborValue result = value;
    for (int i = 0; i < tags; ++i)
        result = QCborValue(QCborTag(40000 + i), result);
    return result;
}

} // namespace

class TestWireMessage final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void roundTrip_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("inquiry") << 0;
        QTest::newRow("report") << 1;
        QTest::newRow("request") << 2;
        QTest::newRow("response") << 3;
    }

    void roundTrip()
    {
        QFETCH(int, kind);
        WireMessage m;
        m.id = WireMessage::newId();
        switch (kind) {
        case 1:
            m = sampleReport();
            m.re = WireMessage::newId();
            break;
        case 2:
            m.type = MessageType::Request;
            m.op = Op::ExportKey;
            m.targetSerial = "VS0000000001";
            m.keyCommand = 2;
            m.sealed = QByteArray(kMaxSealed, 's');
            break;
        case 3:
            m.type = MessageType::Response;
            m.re = WireMessage::newId();
            m.status = kStatusReactive;
            m.nonce = QByteArray(kNonceSize, 'n');
            m.key = QByteArray(kMaxKey, 'K');
            break;
        }
        const QByteArray bytes = m.encode();
        QVERIFY(!bytes.isEmpty());
        QVERIFY(bytes.size() <= kMaxDatagram);
        const auto decoded = WireMessage::decode(bytes);
        QVERIFY(decoded.has_value());
        QCOMPARE(decoded->type, m.type);
        QCOMPARE(decoded->id, m.id);
        QCOMPARE(decoded->re, m.re);
        QVERIFY(decoded->record == m.record);
        QCOMPARE(decoded->seq, m.seq);
        QCOMPARE(decoded->sealed, m.sealed);
        QCOMPARE(decoded->key, m.key);
        QCOMPARE(decoded->status, m.status);
        QCOMPARE(decoded->keyCommand, m.keyCommand);
    }

    void malformedIsDropped_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const WireMessage report = sampleReport();
        const QByteArray valid = report.encode();
        const QCborMap map = asMap(report);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte more than a datagram") << QByteArray(kMaxDatagram + 1, '\xa0');
        QTest::newRow("trailing byte") << valid + '\0';
        QTest::newRow("cut short") << valid.left(valid.size() - 1);
        QTest::newRow("not a map") << QCborValue(QCborArray{1, 2}).toCbor();
        QTest::newRow("version 2") << with(map, 0, 2);
        QTest::newRow("no version") << with(map, 0, QCborValue());
        QTest::newRow("unknown type") << with(map, 1, 9);
        QTest::newRow("id of 15 bytes") << with(map, 2, QByteArray(15, 'i'));
        QTest::newRow("id as text") << with(map, 2, QStringLiteral("0123456789abcdef"));
        QTest::newRow("no boot") << with(map, 5, QCborValue());
        QTest::newRow("negative sequence") << with(map, 6, -1);
        QTest::newRow("event 4") << with(map, 4, 4);
        QTest::newRow("public key of 31 bytes") << with(map, 7, QByteArray(31, 'k'));
        QTest::newRow("serial of 48 bytes") << withRecord(map, 1, QByteArray(48, 'S'));
        QTest::newRow("serial with a zero byte") << withRecord(map, 1, QByteArray("VS\0X", 4));
        QTest::newRow("no MAC") << withRecord(map, 2, QCborValue());
        QTest::newRow("port 65536") << withRecord(map, 7, 65536);
        QTest::newRow("prefix length 129") << withRecord(map, 15, 129);
        QTest::newRow("DHCP 2") << withRecord(map, 17, 2);
        QTest::newRow("key 64 and up") << with(map, 64, 1);
        QCborMap many = map;
        for (int key = 30; key < 50; ++key)
            many.insert(key, 0);
        QTest::newRow("25 entries") << QCborValue(many).toCbor();
        QCborValue deep = QCborArray{1};
        for (int i = 0; i < 6; ++i)
            deep = QCborArray{deep};
        QTest::newRow("deeply nested unknown value") << with(map, 59, deep);
        // Five levels, however little they hold, are one too many.
        QTest::newRow("five empty arrays") << with(map, 59, nested(QCborArray(), 5, false));
        QTest::newRow("five empty maps") << with(map, 59, nested(QCborMap(), 5, true));
        QTest::newRow("four tags round a number") << with(map, 59, tagged(4, QCborArray{1}));
        // A duplicate key, which QCborMap cannot express: written by hand.
        QByteArray duplicate = valid;
        duplicate[0] = char(quint8(duplicate[0]) + 1);  // one more pair in the map header
        duplicate += QCborValue(0).toCbor() + QCborValue(1).toCbor();
        QTest::newRow("duplicate key") << duplicate;
        const QCborMap response{{0, 1}, {1, 4}, {2, WireMessage::newId()}, {3, WireMessage::newId()}, {20, 0}};
        QVERIFY(WireMessage::decode(QCborValue(response).toCbor()).has_value());
        QTest::newRow("response without re") << with(response, 3, QCborValue());
        QTest::newRow("response without status") << with(response, 20, QCborValue());
        WireMessage request;
        request.type = MessageType::Request;
        request.id = WireMessage::newId();
        request.op = Op::Challenge;
        request.targetSerial = "X";
        QTest::newRow("request without target") << with(asMap(request), 11, QCborValue());
        QTest::newRow("request op 7") << with(asMap(request), 10, 7);
        // Each operation with what it cannot do without, then without it.
        request.op = Op::Activate;
        request.sealed = QByteArray(crypto_box_SEALBYTES + 8, 's');
        QVERIFY(WireMessage::decode(request.encode()).has_value());
        QTest::newRow("activation without its box") << with(asMap(request), 13, QCborValue());
        QCborMap byMac = asMap(request);
        byMac.remove(11);
        QTest::newRow("activation addressed by MAC only") << with(byMac, 12, QByteArray("02-5e-01-00-00-07"));
        request.op = Op::Modify;
        request.targetSerial.clear();
        request.targetMac = "02-5e-01-00-00-07";
        QVERIFY(WireMessage::decode(request.encode()).has_value());
        QTest::newRow("modification without its box") << with(asMap(request), 13, QCborValue());
        QCborMap bySerial = asMap(request);
        bySerial.remove(12);
        QTest::newRow("modification addressed by serial only") << with(bySerial, 11, QByteArray("X"));
        request.op = Op::ExportKey;
        request.sealed.clear();
        request.targetMac.clear();
        request.targetSerial = "X";
        request.keyCommand = 1;
        QVERIFY(WireMessage::decode(request.encode()).has_value());
        QTest::newRow("key export without a command") << with(asMap(request), 14, QCborValue());
    }

    void malformedIsDropped()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!WireMessage::decode(bytes).has_value());
    }

    void unknownKeysAreSkipped_data()
    {
        QTest::addColumn<QCborValue>("value");
        QTest::newRow("array holding a map") << QCborValue(QCborArray{1, QCborMap{{1, 2}}});
        QTest::newRow("four empty arrays") << nested(QCborArray(), 4, false);
        QTest::newRow("four empty maps") << nested(QCborMap(), 4, true);
        QTest::newRow("a number in four arrays") << nested(QCborArray{0}, 4, false);
        QTest::newRow("three tags round a number") << tagged(3, QCborValue(7));
    }

    void unknownKeysAreSkipped()
    {
        QFETCH(QCborValue, value);
        QCborMap map = asMap(sampleReport());
        map.insert(60, value);
        QVERIFY(WireMessage::decode(QCborValue(map).toCbor()).has_value());
    }

    void outOfBoundFieldsAreNotEncoded()
    {
        WireMessage m = sampleReport();
        m.record.mac = QByteArray(20, 'm');
        QVERIFY(m.encode().isEmpty());
        m = sampleReport();
        m.id.chop(1);
        QVERIFY(m.encode().isEmpty());
    }

    void nonCanonicalIsAccepted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const WireMessage report = sampleReport();
        const QByteArray valid = report.encode();
        // Our encoder's start: an indefinite map, 0: 1, 1: 2, 2: id.
        QVERIFY(valid.startsWith(QByteArray::fromHex("bf0001010202")));
        QTest::newRow("version as a two-byte integer")
            << QByteArray::fromHex("bf001801") + valid.mid(3);
        QTest::newRow("id in two chunks")
            << QByteArray::fromHex("bf00010102025f48") + report.id.left(8) + QByteArray::fromHex("48")
                + report.id.mid(8) + QByteArray::fromHex("ff") + valid.mid(6 + 1 + kIdSize);
        const QCborMap map = asMap(report);
        QCborMap reversed;
        for (auto it = map.constEnd(); it != map.constBegin();) {
            --it;
            reversed.insert(it.key(), it.value());
        }
        QTest::newRow("keys in descending order") << QCborValue(reversed).toCbor();
    }

    void nonCanonicalIsAccepted()
    {
        QFETCH(QByteArray, bytes);
        const auto decoded = WireMessage::decode(bytes);
        QVERIFY(decoded.has_value());
        QVERIFY(decoded->record == sampleReport().record);
    }

    void inquiryKeysRoundTrip()
    {
        WireMessage m;
        m.type = MessageType::Inquiry;
        m.id = WireMessage::newId();
        m.answerWindow = 820;
        m.known = QByteArray(KnownAnswers::kMaxFilterBytes, '\x5a');
        m.knownHashes = 6;
        m.knownPairs = QByteArray(200, '\x3c');
        m.knownPairHashes = 3;
        m.slice = 15;
        m.slices = 16;
        const QByteArray bytes = m.encode();
        QVERIFY(!bytes.isEmpty());
        const auto decoded = WireMessage::decode(bytes);
        QVERIFY(decoded.has_value());
        QCOMPARE(decoded->answerWindow, m.answerWindow);
        QCOMPARE(decoded->known, m.known);
        QCOMPARE(decoded->knownHashes, m.knownHashes);
        QCOMPARE(decoded->knownPairs, m.knownPairs);
        QCOMPARE(decoded->knownPairHashes, m.knownPairHashes);
        QCOMPARE(decoded->slice, m.slice);
        QCOMPARE(decoded->slices, m.slices);
    }

    void malformedInquiryIsDropped_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QCborMap inquiry{{0, 1}, {1, 1}, {2, WireMessage::newId()}, {40, 500}, {41, QByteArray(8, 'f')},
                               {42, 3}, {43, 1}, {44, 2}, {45, QByteArray(8, 'e')}, {46, 4}};
        QVERIFY(WireMessage::decode(QCborValue(inquiry).toCbor()).has_value());
        QTest::newRow("window 9 ms") << with(inquiry, 40, 9);
        QTest::newRow("window 5001 ms") << with(inquiry, 40, 5001);
        QTest::newRow("filter without its probes") << with(inquiry, 42, QCborValue());
        QTest::newRow("probes without a filter") << with(inquiry, 41, QCborValue());
        QTest::newRow("no probes") << with(inquiry, 42, 0);
        QTest::newRow("17 probes") << with(inquiry, 42, 17);
        QTest::newRow("filter of 1025 bytes") << with(inquiry, 41, QByteArray(1025, 'f'));
        QTest::newRow("pair filter without its probes") << with(inquiry, 46, QCborValue());
        QTest::newRow("pair probes without a filter") << with(inquiry, 45, QCborValue());
        QTest::newRow("17 pair probes") << with(inquiry, 46, 17);
        QTest::newRow("pair filter of 1025 bytes") << with(inquiry, 45, QByteArray(1025, 'e'));
        QTest::newRow("3 slices") << with(inquiry, 44, 3);
        QTest::newRow("slice 2 of 2") << with(inquiry, 43, 2);
        QTest::newRow("slice without a count") << with(inquiry, 44, QCborValue());
        QTest::newRow("128 slices") << with(inquiry, 44, 128);
    }

    void malformedInquiryIsDropped()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(!WireMessage::decode(bytes).has_value());
    }

    void knownAnswersNameEveryHeardMac_data()
    {
        QTest::addColumn<int>("heard");
        QTest::newRow("one") << 1;
        QTest::newRow("a small fleet") << 16;
        QTest::newRow("a full slice") << KnownAnswers::kDevicesPerSlice;
        QTest::newRow("more than a slice holds") << 3000;
    }

    void knownAnswersNameEveryHeardMac()
    {
        QFETCH(int, heard);
        const QByteArray id(kIdSize, '\x11');
        QList<QByteArray> macs;
        for (int i = 0; i < heard; ++i)
            macs << QByteArray("02-5e-01-") + QByteArray::number(i, 16);
        int hashes = 0;
        const QByteArray filter = KnownAnswers::build(id, macs, hashes);
        QVERIFY(filter.size() <= KnownAnswers::kMaxFilterBytes);
        QVERIFY(hashes >= 1 && hashes <= KnownAnswers::kMaxHashes);
        for (const QByteArray &mac : std::as_const(macs))
            QVERIFY(KnownAnswers::contains(filter, hashes, id, mac));
        // Devices never heard are rarely named while the filter keeps its
        // eight bits a MAC, and another inquiry id names others.
        int named = 0, namedByBoth = 0;
        const QByteArray otherId(kIdSize, '\x22');
        int otherHashes = 0;
        const QByteArray other = KnownAnswers::build(otherId, macs, otherHashes);
        for (int i = 0; i < 2000; ++i) {
            const QByteArray stranger = QByteArray("02-5e-02-") + QByteArray::number(i, 16);
            const bool first = KnownAnswers::contains(filter, hashes, id, stranger);
            named += first;
            namedByBoth += first && KnownAnswers::contains(other, otherHashes, otherId, stranger);
        }
        if (heard <= KnownAnswers::kDevicesPerSlice)
            QVERIFY2(named < 100, qPrintable(QString::number(named)));
        QVERIFY(namedByBoth <= named / 4 + 1 || heard > KnownAnswers::kDevicesPerSlice);
    }

    void slicesPartitionTheMacs()
    {
        QList<int> counts(8, 0);
        for (int i = 0; i < 800; ++i) {
            const int slice = KnownAnswers::sliceOf(QByteArray("02-5e-03-") + QByteArray::number(i, 16), 8);
            QVERIFY(slice >= 0 && slice < 8);
            ++counts[slice];
        }
        for (const int count : std::as_const(counts))
            QVERIFY(count > 50);  // about 100 each
        QCOMPARE(KnownAnswers::sliceOf(QByteArray("any"), 1), 0);
    }

    void sealedPayloadOpensOnlyWithItsKey()
    {
        unsigned char pk[crypto_box_PUBLICKEYBYTES], sk[crypto_box_SECRETKEYBYTES];
        unsigned char otherPk[crypto_box_PUBLICKEYBYTES], otherSk[crypto_box_SECRETKEYBYTES];
        crypto_box_keypair(pk, sk);
        crypto_box_keypair(otherPk, otherSk);
        const QByteArray publicKey(reinterpret_cast<const char *>(pk), sizeof pk);
        const QByteArray secretKey(reinterpret_cast<const char *>(sk), sizeof sk);
        SealedPayload payload;
        payload.id = WireMessage::newId();
        payload.op = Op::Modify;
        payload.targetMac = "02-5e-01-00-00-07";
        payload.nonce = QByteArray(kNonceSize, 'n');
        payload.password = "Admin12345";
        payload.hasNetParams = true;
        payload.netParams.ipv4Address = "192.168.1.9";
        const QByteArray box = payload.seal(publicKey);
        QVERIFY(!box.isEmpty());
        QVERIFY(!box.contains("Admin12345"));
        const auto opened = SealedPayload::open(box, publicKey, secretKey);
        QVERIFY(opened.has_value());
        QCOMPARE(opened->password, payload.password);
        QCOMPARE(opened->netParams.ipv4Address, payload.netParams.ipv4Address);
        QVERIFY(!SealedPayload::open(box, QByteArray(reinterpret_cast<const char *>(otherPk), sizeof otherPk),
                                     QByteArray(reinterpret_cast<const char *>(otherSk), sizeof otherSk)));
        QByteArray tampered = box;
        tampered[tampered.size() - 1] = char(tampered[tampered.size() - 1] ^ 1);
        QVERIFY(!SealedPayload::open(tampered, publicKey, secretKey));
        payload.password = QByteArray(kMaxSecret + 1, 'p');
        QVERIFY(payload.seal(publicKey).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWireMessage)
#include "tst_wiremessage.moc"
