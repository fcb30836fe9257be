// The worked examples of docs/protocol.md, read from the document itself
// and recomputed: the known-answer arithmetic once by hand from libsodium's
// SipHash and once through the library's own filter, the filter sizing and
// the slice count through the library's inquiry plan. An outside
// implementer writes a device from these numbers; they must be the
// library's.

#include "vosk/inquiryplan.h"
#include "vosk/knownanswers.h"
#include "vosk/recordtext.h"

#include <QFile>
#include <QHash>
#include <QList>
#include <QTest>

#include <sodium.h>

using VoskNet::InquiryPlan;
using VoskNet::KnownAnswers;
using VoskNet::WireMessage;

namespace {

// The ```text blocks of the document, each as its lines.
QList<QStringList> textBlocks()
{
    QFile file(QStringLiteral(VOSK_PROTOCOL_DOC));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> blocks;
    QStringList *block = nullptr;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (!block && line.trimmed() == QLatin1String("```text")) {
            blocks.append(QStringList());
            block = &blocks.last();
        } else if (block && line.trimmed() == QLatin1String("```")) {
            block = nullptr;
        } else if (block) {
            block->append(line);
        }
    }
    return blocks;
}

// The block whose first line starts with that text.
QStringList blockStartingWith(const QString &start)
{
    for (const QStringList &block : textBlocks()) {
        if (!block.isEmpty() && block.first().startsWith(start))
            return block;
    }
    return {};
}

// "name    value value" lines: columns are two or more spaces apart.
QHash<QString, QString> namedValues(const QStringList &block)
{
    QHash<QString, QString> values;
    for (const QString &line : block) {
        const int gap = int(line.indexOf(QLatin1String("  ")));
        if (gap > 0)
            values.insert(line.left(gap), line.mid(gap).trimmed());
    }
    return values;
}

QList<quint64> numbers(const QString &text)
{
    QList<quint64> out;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out.append(word.toULongLong(nullptr, 0));
    return out;
}

quint64 sipHash(const QByteArray &key, const QByteArray &message)
{
    unsigned char out[crypto_shorthash_BYTES];
    crypto_shorthash(out, reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
                     reinterpret_cast<const unsigned char *>(key.constData()));
    quint64 value = 0;
    for (int i = crypto_shorthash_BYTES - 1; i >= 0; --i)
        value = (value << 8) | out[i];
    return value;
}

QList<QByteArray> distinctMacs(int count)
{
    QList<QByteArray> macs;
    for (int i = 0; i < count; ++i)
        macs.append(QByteArray("02-5e-00-") + QByteArray::number(i, 16).rightJustified(6, '0'));
    return macs;
}

QList<KnownAnswers::Pair> distinctDevices(int count)
{
    QList<KnownAnswers::Pair> devices;
    for (const QByteArray &mac : distinctMacs(count))
        devices.append({mac, "VS" + mac.right(6)});
    return devices;
}

// Rows of a table block: the header line first, numbers after.
QList<QList<quint64>> tableRows(const QStringList &block)
{
    QList<QList<quint64>> rows;
    for (int i = 1; i < block.size(); ++i) {
        if (!block.at(i).trimmed().isEmpty())
            rows.append(numbers(block.at(i)));
    }
    return rows;
}

} // namespace

class TestProtocolDoc final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void knownAnswerExample()
    {
        const QHash<QString, QString> ex = namedValues(blockStartingWith(QStringLiteral("inquiry id")));
        QVERIFY2(ex.size() == 12, "the worked example is missing from docs/protocol.md");
        const QByteArray id = QByteArray::fromHex(ex.value(QStringLiteral("inquiry id")).toLatin1());
        const QByteArray mac = ex.value(QStringLiteral("MAC")).toLatin1();
        QCOMPARE(id.size(), 16);

        const quint64 v = sipHash(id, mac);
        QCOMPARE(v, ex.value(QStringLiteral("v")).toULongLong(nullptr, 16));
        const quint64 h1 = v & 0xffffffffu;
        const quint64 h2 = (v >> 32) | 1u;
        QCOMPARE(h1, ex.value(QStringLiteral("h1")).toULongLong());
        QCOMPARE(h2, ex.value(QStringLiteral("h2")).toULongLong());

        const int length = ex.value(QStringLiteral("filter length")).toInt();
        const int probes = ex.value(QStringLiteral("probes")).toInt();
        const quint64 bits = quint64(length) * 8;
        QList<quint64> exact, wrapped;
        for (int i = 0; i < probes; ++i) {
            exact.append((h1 + quint64(i) * h2) % bits);
            wrapped.append(quint64(quint32(quint32(h1) + quint32(i) * quint32(h2))) % bits);
        }
        QCOMPARE(exact, numbers(ex.value(QStringLiteral("bits"))));
        QCOMPARE(wrapped, numbers(ex.value(QStringLiteral("wrapping bits"))));
        QVERIFY(exact != wrapped);

        // The library's filter agrees: the documented bits name the MAC,
        // the wrapped ones do not.
        auto filterOf = [&](const QList<quint64> &set) {
            QByteArray filter(length, '\0');
            for (const quint64 bit : set)
                filter[int(bit / 8)] = char(quint8(filter.at(int(bit / 8))) | (1u << (bit % 8)));
            return filter;
        };
        QVERIFY(KnownAnswers::contains(filterOf(exact), probes, id, mac));
        QVERIFY(!KnownAnswers::contains(filterOf(wrapped), probes, id, mac));

        const quint64 sliceHash = sipHash(QByteArrayLiteral("VOSK-SLICE-KEY-1"), mac);
        QCOMPARE(sliceHash, ex.value(QStringLiteral("slice hash")).toULongLong(nullptr, 16));
        QCOMPARE(KnownAnswers::sliceHash(mac), sliceHash);
        const int slices = ex.value(QStringLiteral("slices")).toInt();
        QCOMPARE(quint64(KnownAnswers::sliceOf(mac, slices)), sliceHash % quint64(slices));
        QCOMPARE(KnownAnswers::sliceOf(mac, slices), ex.value(QStringLiteral("slice")).toInt());
    }

    // The pair list's entry and bits, under the MAC example's inquiry id,
    // filter length and probes; the library's device decision agrees.
    void pairExample()
    {
        const QHash<QString, QString> mac = namedValues(blockStartingWith(QStringLiteral("inquiry id")));
        const QHash<QString, QString> ex = namedValues(blockStartingWith(QStringLiteral("pair MAC")));
        QVERIFY2(ex.size() == 5, "the pair example is missing from docs/protocol.md");
        const QByteArray id = QByteArray::fromHex(mac.value(QStringLiteral("inquiry id")).toLatin1());
        const QByteArray pairMac = ex.value(QStringLiteral("pair MAC")).toLatin1();
        const QByteArray serial = ex.value(QStringLiteral("pair serial")).toLatin1();
        const QByteArray entry = QByteArray::fromHex(ex.value(QStringLiteral("entry")).toLatin1());
        QCOMPARE(entry, pairMac + '\0' + serial);
        QCOMPARE(KnownAnswers::pairEntry(pairMac, serial), entry);
        const quint64 v = sipHash(id, entry);
        QCOMPARE(v, ex.value(QStringLiteral("v")).toULongLong(nullptr, 16));
        const int length = mac.value(QStringLiteral("filter length")).toInt();
        const int probes = mac.value(QStringLiteral("probes")).toInt();
        const quint64 h1 = v & 0xffffffffu, h2 = (v >> 32) | 1u;
        QList<quint64> bits;
        QByteArray filter(length, '\0');
        for (int i = 0; i < probes; ++i) {
            bits.append((h1 + quint64(i) * h2) % (quint64(length) * 8));
            filter[int(bits.last() / 8)] = char(quint8(filter.at(int(bits.last() / 8))) | (1u << (bits.last() % 8)));
        }
        QCOMPARE(bits, numbers(ex.value(QStringLiteral("bits"))));
        WireMessage inquiry;
        inquiry.id = id;
        inquiry.knownPairs = filter;
        inquiry.knownPairHashes = quint8(probes);
        QVERIFY(inquiry.knownAnswersName(pairMac, serial));
        QVERIFY(!inquiry.knownAnswersName(pairMac, serial + '1'));
    }

    // The documented size of the largest report: every field at its bound.
    void largestReport()
    {
        const QHash<QString, QString> ex = namedValues(blockStartingWith(QStringLiteral("largest report")));
        using VoskNet::TextWidth;
        WireMessage m;
        m.type = VoskNet::MessageType::Report;
        m.id = m.re = QByteArray(16, 'i');
        m.boot = QByteArray(8, 'b');
        m.seq = 0xffffffffu;
        m.publicKey = QByteArray(32, 'k');
        VoskNet::WireRecord &r = m.record;
        r.serialNumber = QByteArray(TextWidth::serialNumber, 's');
        r.mac = QByteArray(TextWidth::mac, 'm');
        r.ipv4Address = r.ipv4Mask = r.ipv4Gateway = QByteArray(TextWidth::ipv4Address, '4');
        r.softwareVersion = r.dspVersion = r.startTime = r.deviceDescription = QByteArray(TextWidth::softwareVersion, 't');
        r.ipv6Address = r.ipv6Gateway = QByteArray(TextWidth::ipv6Address, '6');
        r.deviceTypeCode = 0x7fffffff;
        r.port = r.httpPort = 65535;
        r.channelCount = 4096;
        r.ipv6PrefixLength = 128;
        r.capabilities = 255;
        r.dhcpEnabled = r.notActivated = r.newResetType = r.addressInfoValid = true;
        QCOMPARE(m.encode().size(), ex.value(QStringLiteral("largest report bytes")).toInt());
    }

    void filterSizing()
    {
        const QList<QList<quint64>> rows = tableRows(blockStartingWith(QStringLiteral("entries in the list")));
        QVERIFY(rows.size() >= 4);
        const QByteArray id(16, '\x5a');
        for (const QList<quint64> &row : rows) {
            QCOMPARE(row.size(), 3);
            int hashes = 0;
            const QByteArray filter = KnownAnswers::build(id, distinctMacs(int(row.at(0))), hashes);
            QCOMPARE(quint64(filter.size()), row.at(1));
            QCOMPARE(quint64(hashes), row.at(2));
        }
        int hashes = -1;
        QVERIFY(KnownAnswers::build(id, {}, hashes).isEmpty());
        QCOMPARE(hashes, 0);
    }

    void sliceCount()
    {
        const QList<QList<quint64>> rows = tableRows(blockStartingWith(QStringLiteral("devices heard")));
        QVERIFY(rows.size() >= 4);
        for (const QList<quint64> &row : rows) {
            QCOMPARE(row.size(), 2);
            const QList<KnownAnswers::Pair> heard = distinctDevices(int(row.at(0)));
            InquiryPlan plan(30000);
            plan.startBurst(0, int(heard.size()));
            // The burst's first inquiry: nothing heard yet, so no known
            // answers and no slices, whatever the fleet.
            const QList<WireMessage> first = plan.takeDue(0, {});
            QCOMPARE(first.size(), 1);
            QVERIFY(first.first().known.isEmpty());
            QVERIFY(first.first().knownPairs.isEmpty());
            QCOMPARE(int(first.first().slices), 0);
            // A repeat after all of them were heard: one inquiry a slice.
            const QList<WireMessage> repeat = plan.takeDue(InquiryPlan::kRepeatOffsets[1], heard);
            QCOMPARE(quint64(repeat.size()), row.at(1));
            int named = 0;
            for (const WireMessage &inquiry : repeat) {
                QCOMPARE(int(inquiry.slices), row.at(1) == 1 ? 0 : int(row.at(1)));
                QCOMPARE(inquiry.known.isEmpty(), heard.isEmpty());
                QCOMPARE(inquiry.knownPairs.isEmpty(), heard.isEmpty());
                for (const auto &[mac, serial] : heard) {
                    if (KnownAnswers::sliceOf(mac, int(repeat.size())) == inquiry.slice
                        && KnownAnswers::contains(inquiry.known, inquiry.knownHashes, inquiry.id, mac)
                        && inquiry.knownAnswersName(mac, serial))
                        ++named;
                }
            }
            // No false negatives: every MAC heard is named in its slice.
            QCOMPARE(named, int(heard.size()));
        }
    }
};

QTEST_GUILESS_MAIN(TestProtocolDoc)
#include "tst_protocoldoc.moc"
