// Discovery and operations over a lossy link: the simulator loses 10% of
// the datagrams in each direction.

#include "tests/vosk/voskfixture.h"

#include <QTest>

using namespace VoskTest;

class TestVoskLossy final : public QObject
{
    Q_OBJECT

private:
    Devsim m_devsim;
    EventLog m_log;

private Q_SLOTS:
    void initTestCase()
    {
        pinToLoopback(47213, "239.255.86.113");
        // Rounds every second so that a device whose answers were all lost
        // is found again within the test's time.
        qputenv("VOSK_INQUIRY_INTERVAL_MS", "1000");
    }

    void cleanupTestCase()
    {
        VOSK_Stop();
        m_devsim.stop();
    }

    void everyDeviceFoundAndEveryActivationSucceeds()
    {
        constexpr int kCount = 50;
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                                QStringLiteral("13"), QStringLiteral("--drop"), QStringLiteral("0.1")}));
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 20000);

        // Activation needs two exchanges; a lost response is made good by
        // retransmission, and the device answers a repeat from its cache,
        // so the result is success, never "already active".
        const auto devices = fleet(13, kCount);
        int activations = 0;
        for (const VoskSim::SimDevice &device : devices) {
            if (!device.record().notActivated)
                continue;
            ++activations;
            QCOMPARE(VOSK_ActivateDevice(device.record().serialNumber.constData(), "Lossy#Pass1"), 1);
        }
        QVERIFY(activations >= 5);
        // A missed round or two is no reason to go offline.
        QCOMPARE(m_log.count(VOSK_EVENT_OFFLINE), 0);
    }

    void silentDevicesGoOfflineAfterThreeRounds()
    {
        // Killed: no bye. Three rounds (a second each) without an answer.
        m_devsim.kill();
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_OFFLINE), 50, 8000);
    }
};

QTEST_GUILESS_MAIN(TestVoskLossy)
#include "tst_vosklossy.moc"
