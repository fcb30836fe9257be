// Reports are not authenticated, so anyone on the link can send made-up
// ones. The device table is bounded; once such a flood has filled it and
// fallen silent, a real device that comes later must still be found.

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
    }
}

QByteArray hello(const QByteArray &mac)
{
    VoskNet::WireMessage m;
    m.type = VoskNet::MessageType::Report;
    m.id = VoskNet::WireMessage::newId();
    m.event = VoskNet::ReportEvent::Hello;
    m.boot = QByteArray(VoskNet::kBootSize, 'b');
    m.seq = 1;
    m.publicKey = QByteArray(VoskNet::kPublicKeySize, 'k');
    m.record.serialNumber = "FAKE" + mac;
    m.record.mac = mac;
    return m.encode();
}

} // namespace

class TestVoskFlood final : public QObject
{
    Q_OBJECT

private:
    Counts m_counts;

private Q_SLOTS:
    void initTestCase()
    {
        pinToLoopback(47221, "239.255.86.121");
        // Short rounds: the flood goes offline by silence within a second.
        qputenv("VOSK_INQUIRY_INTERVAL_MS", "200");
    }

    void cleanupTestCase() { VOSK_Stop(); }

    void fullTableStillTakesALatecomer()
    {
        const VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
        const QList<VoskNet::NetInterface> interfaces = config.usableInterfaces();
        QCOMPARE(interfaces.size(), 1);
        VoskNet::MulticastSocket sender;
        QVERIFY(sender.open(config));
        QCOMPARE(VOSK_Start_V30(&count, 1, &m_counts), 1);

        // More made-up devices than the table holds, paced so that the
        // receive buffer does not overflow.
        for (int i = 0; i < kTableSize + 2000; ++i) {
            QVERIFY(sender.send(interfaces.first().index, hello("fake-" + QByteArray::number(i))));
            if (i % 200 == 199)
                QThread::msleep(10);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_counts.online.load() >= kTableSize, 10000);
        // Nobody answers the rounds: every one of them goes offline (and
        // the first ones may already have made room for later ones).
        QTRY_VERIFY_WITH_TIMEOUT(m_counts.offline.load() == m_counts.online.load(), 10000);
        QVERIFY(m_counts.mostAtOnce.load() <= kTableSize);

        QVERIFY(sender.send(interfaces.first().index, hello("latecomer")));
        QTRY_VERIFY_WITH_TIMEOUT(m_counts.latecomerOnline.load(), 3000);
    }
};

QTEST_GUILESS_MAIN(TestVoskFlood)
#include "tst_voskflood.moc"
