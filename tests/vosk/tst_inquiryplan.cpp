// When the client inquires and what it asks: the answer window follows the
// number of devices expected, repeats carry the devices heard, cut into
// slices that each fit a datagram, twins that share a MAC are named apart,
// and short test rounds keep only the repeats that fit them.

#include "vosk/inquiryplan.h"
#include "vosk/knownanswers.h"

#include <QTest>

#include <sodium.h>

using namespace VoskNet;

namespace {

QList<KnownAnswers::Pair> devices(int count)
{
    QList<KnownAnswers::Pair> list;
    for (int i = 0; i < count; ++i)
        list.append({QByteArray("02-5e-01-") + QByteArray::number(i, 16), "VS" + QByteArray::number(i)});
    return list;
}

} // namespace

class TestInquiryPlan final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void windowFollowsTheExpectedCount_data()
    {
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("heard");
        QTest::addColumn<int>("firstWindow");
        QTest::addColumn<int>("repeatWindow");
        QTest::newRow("nothing known") << 0 << 0 << 100 << 50;
        QTest::newRow("16 devices") << 16 << 16 << 100 << 50;
        QTest::newRow("1,000 devices") << 1000 << 990 << 100 << 50;
        QTest::newRow("5,000 devices, 1,000 heard") << 5000 << 1000 << 250 << 200;
        QTest::newRow("a full table") << 16384 << 16384 << 819 << 50;
        QTest::newRow("more than a second's worth") << 40000 << 0 << 1000 << 1000;
    }

    void windowFollowsTheExpectedCount()
    {
        QFETCH(int, expected);
        QFETCH(int, heard);
        QFETCH(int, firstWindow);
        QFETCH(int, repeatWindow);
        InquiryPlan plan(30000);
        plan.startBurst(1000, expected);
        const QList<WireMessage> first = plan.takeDue(1000, {});
        QCOMPARE(first.size(), 1);
        QCOMPARE(int(first.first().answerWindow), firstWindow);
        QVERIFY(first.first().known.isEmpty());
        const QList<WireMessage> repeat = plan.takeDue(plan.nextDue(), devices(heard));
        QVERIFY(!repeat.isEmpty());
        for (const WireMessage &inquiry : repeat)
            QCOMPARE(int(inquiry.answerWindow), repeatWindow);
    }

    void repeatsNameTheHeardInSlicesThatFit_data()
    {
        QTest::addColumn<int>("heard");
        QTest::addColumn<int>("slices");
        QTest::newRow("none heard") << 0 << 1;
        QTest::newRow("one slice full") << KnownAnswers::kDevicesPerSlice << 1;
        QTest::newRow("one more") << KnownAnswers::kDevicesPerSlice + 1 << 2;
        QTest::newRow("a full table") << 16384 << 32;
    }

    void repeatsNameTheHeardInSlicesThatFit()
    {
        QFETCH(int, heard);
        QFETCH(int, slices);
        InquiryPlan plan(30000);
        plan.startBurst(0, heard);
        plan.takeDue(0, {});
        const QList<KnownAnswers::Pair> heardDevices = devices(heard);
        const QList<WireMessage> repeat = plan.takeDue(plan.nextDue(), heardDevices);
        QCOMPARE(repeat.size(), slices);
        for (int i = 0; i < repeat.size(); ++i) {
            const WireMessage &inquiry = repeat.at(i);
            QCOMPARE(int(inquiry.slices), slices > 1 ? slices : 0);
            QCOMPARE(int(inquiry.slice), slices > 1 ? i : 0);
            QVERIFY(!inquiry.encode().isEmpty());  // within its bounds and one datagram
        }
        // Every heard device is named by both lists of its own slice.
        for (const auto &[mac, serial] : heardDevices) {
            const WireMessage &inquiry = repeat.at(KnownAnswers::sliceOf(mac, slices));
            QVERIFY(KnownAnswers::contains(inquiry.known, inquiry.knownHashes, inquiry.id, mac));
            QVERIFY(inquiry.knownAnswersName(mac, serial));
        }
    }

    // One twin heard, the other's answer lost: a repeat must still ask the
    // other. An older client's inquiry (the MAC list alone) silences both,
    // as it always did; a device of another MAC is never silenced.
    void twinsAreNamedApart_data()
    {
        QTest::addColumn<bool>("pairList");
        QTest::addColumn<QByteArray>("mac");
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<bool>("silent");
        const QByteArray twinMac("02-5e-01-00-00-07"), otherMac("02-5e-01-00-00-08");
        QTest::newRow("pairs: the twin heard") << true << twinMac << QByteArray("VS0000100007") << true;
        QTest::newRow("pairs: the twin unheard") << true << twinMac << QByteArray("VS0025700007") << false;
        QTest::newRow("pairs: another MAC") << true << otherMac << QByteArray("VS0000100007") << false;
        QTest::newRow("MACs only: the twin heard") << false << twinMac << QByteArray("VS0000100007") << true;
        QTest::newRow("MACs only: the twin unheard") << false << twinMac << QByteArray("VS0025700007") << true;
        QTest::newRow("MACs only: another MAC") << false << otherMac << QByteArray("VS0000100007") << false;
    }

    void twinsAreNamedApart()
    {
        QFETCH(bool, pairList);
        QFETCH(QByteArray, mac);
        QFETCH(QByteArray, serial);
        QFETCH(bool, silent);
        InquiryPlan plan(30000);
        plan.startBurst(0, 2);
        plan.takeDue(0, {});
        QList<WireMessage> repeat = plan.takeDue(plan.nextDue(), {{"02-5e-01-00-00-07", "VS0000100007"}});
        QCOMPARE(repeat.size(), 1);
        if (!pairList) {
            repeat.first().knownPairs.clear();
            repeat.first().knownPairHashes = 0;
        }
        // As the device reads it off the wire.
        const std::optional<WireMessage> heard = WireMessage::decode(repeat.first().encode());
        QVERIFY(heard.has_value());
        QCOMPARE(heard->knownPairs.isEmpty(), !pairList);
        QCOMPARE(heard->knownAnswersName(mac, serial), silent);
    }

    void shortRoundsKeepTheRepeatsThatFit_data()
    {
        QTest::addColumn<qint64>("roundInterval");
        QTest::addColumn<int>("inquiries");
        QTest::newRow("the default 30 s") << qint64(30000) << int(std::size(InquiryPlan::kRepeatOffsets));
        QTest::newRow("1 s") << qint64(1000) << int(std::size(InquiryPlan::kRepeatOffsets));
        QTest::newRow("200 ms") << qint64(200) << 2;
    }

    void shortRoundsKeepTheRepeatsThatFit()
    {
        QFETCH(qint64, roundInterval);
        QFETCH(int, inquiries);
        InquiryPlan plan(roundInterval);
        plan.startBurst(0, 0);
        int sent = 0;
        while (plan.takeDue(plan.nextDue(), {}).size() == 1)
            ++sent;
        QCOMPARE(sent, inquiries);
        // Sent late, the repeats that follow keep their distance.
        plan.startBurst(0, 0);
        plan.takeDue(300, {});
        QCOMPARE(plan.nextDue(), qint64(300 + 120));
        // A new burst replaces what is left of the last one.
        plan.startBurst(5000, 0);
        QCOMPARE(plan.nextDue(), qint64(5000));
        QCOMPARE(plan.burstStart(), qint64(5000));
    }
};

QTEST_GUILESS_MAIN(TestInquiryPlan)
#include "tst_inquiryplan.moc"
