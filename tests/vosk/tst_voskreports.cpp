// Reports as the client meets them on the wire, sent here by hand: the
// order of one device's reports across restarts, and made-up reports
// (they are not authenticated, so anyone on the link can send them): the
// device table is bounded, and once a flood has filled it and fallen
// silent, a real device that comes later must still be found.

#include "tests/vosk/voskfixture.h"
#include "vosk/wiremessage.h"

#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>

using namespace VoskTest;

namespace {

constexpr int kTableSize = 16384;

// Written by the library's thread only.
struct Counts
{
    std::atomic<int> online{0};
    std::atomic<int> offline{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<bool> latecomerOnline{false};
    std::atomic<int> restartedOffline{0};
};

void count(const VOSK_DEVICE_INFO *record, void *user)
{
    auto *counts = static_cast<Counts *>(user);
    if (record->event == VOSK_EVENT_ONLINE) {
        ++counts->online;
        counts->mostAtOnce = std::max(counts->mostAtOnce.load(), counts->online - counts->offline);
        if (QByteArray(record->mac) == "latecomer")
            counts->latecomerOnline = true;
    } else if (record->event == VOSK_EVENT_OFFLINE) {
        ++counts->offline;
        if (QByteArray(record->mac) == "restarted")
            ++counts->restartedOffline;
    }
}

QByteArray report(const QByteArray &mac, VoskNet::ReportEvent event = VoskNet::ReportEvent::Hello,
                  char boot = 'b', quint32 seq = 1)
{
    VoskNet::WireMessage m;
    m.type = VoskNet::MessageType::Report;
    m.id = VoskNet::WireMessage::newId();
    m.event = event;
    m.boot = QByteArray(VoskNet::kBootSize, boot);
    m.seq = seq;
    m.publicKey = QByteArray(VoskNet::kPublicKeySize, 'k');
    m.record.serialNumber = "FAKE" + mac;
    m.record.mac = mac;
    return m.encode();
}

} // namespace

class TestVoskReports final : public QObject
{
    Q_OBJECT

private:
    Counts m_counts;
    VoskNet::MulticastSocket m_sender;
    int m_interface = 0;

    bool send(const QByteArray &datagram) { return m_sender.send(m_interface, datagram); }

private Q_SLOTS:
    void initTestCase()
    {
        pinToLoopback(47221, "239.255.86.121");
        // Short rounds: the flood goes offline by silence within a second.
        qputenv("VOSK_INQUIRY_INTERVAL_MS", "200");
        const VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
        const QList<VoskNet::NetInterface> interfaces = config.usableInterfaces();
        QCOMPARE(interfaces.size(), 1);
        m_interface = interfaces.first().index;
        QVERIFY(m_sender.open(config));
        QCOMPARE(VOSK_Start_V30(&count, 1, &m_counts), 1);
    }

    void cleanupTestCase() { VOSK_Stop(); }

    void byeOfAnEarlierBootIsIgnored()
    {
        using VoskNet::ReportEvent;
        QVERIFY(send(report("restarted", ReportEvent::Hello, 'A', 1)));
        QVERIFY(send(report("restarted", ReportEvent::Hello, 'B', 1)));  // restarted, its bye lost
        QVERIFY(send(report("restarted", ReportEvent::Bye, 'A', 7)));     // late or replayed
        QTest::qWait(150);
        QCOMPARE(m_counts.restartedOffline.load(), 0);
        QVERIFY(send(report("restarted", ReportEvent::Bye, 'B', 2)));
        QTRY_COMPARE_WITH_TIMEOUT(m_counts.restartedOffline.load(), 1, 2000);
    }

    void fullTableStillTakesALatecomer()
    {
        m_counts.online = 0;
        m_counts.offline = 0;

        // More made-up devices than the table holds, paced so that the
        // receive buffer does not overflow.
        for (int i = 0; i < kTableSize + 2000; ++i) {
            QVERIFY(send(report("fake-" + QByteArray::number(i))));
            if (i % 200 == 199) {
                QThread::msleep(10);
                // A slow receiver (a sanitizer build) falls behind any fixed
                // pace: while the table has room, let it take most of what
                // was sent before sending more.
                const int expected = std::min(i + 1, kTableSize) - 1000;
                QTRY_VERIFY_WITH_TIMEOUT(m_counts.online.load() >= expected, 10000);
            }
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_counts.online.load() >= kTableSize, 10000);
        // Nobody answers the rounds: every one of them goes offline (and
        // the first ones may already have made room for later ones).
        QTRY_VERIFY_WITH_TIMEOUT(m_counts.offline.load() == m_counts.online.load(), 10000);
        QVERIFY(m_counts.mostAtOnce.load() <= kTableSize);

        QVERIFY(send(report("latecomer")));
        QTRY_VERIFY_WITH_TIMEOUT(m_counts.latecomerOnline.load(), 3000);
    }
};

QTEST_GUILESS_MAIN(TestVoskReports)
#include "tst_voskreports.moc"
