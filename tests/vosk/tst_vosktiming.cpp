// Slow devices (the simulator's --delay): a retransmission that overtakes
// the first answer is answered from the device's cache with the same
// result, and a sealed request is never sent too late to be answered.

#include "tests/vosk/voskfixture.h"
#include "vosk/wiremessage.h"

#include <QTemporaryDir>
#include <QTest>

using namespace VoskTest;

namespace {

constexpr quint64 kSeed = 17;
constexpr int kCount = 20;

// Every datagram on the test's group, decoded.
class Capture final
{
public:
    bool open()
    {
        const VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
        if (!m_socket.open(config))
            return false;
        for (const VoskNet::NetInterface &iface : config.usableInterfaces()) {
            if (!m_socket.join(iface))
                return false;
        }
        return true;
    }
    QList<VoskNet::WireMessage> take()
    {
        QList<VoskNet::WireMessage> messages;
        VoskNet::MulticastSocket::Datagram datagram;
        while (m_socket.receive(datagram)) {
            if (const auto message = VoskNet::WireMessage::decode(datagram.data))
                messages.append(*message);
        }
        return messages;
    }

private:
    VoskNet::MulticastSocket m_socket;
};

} // namespace

class TestVoskTiming final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Devsim m_devsim;
    EventLog m_log;
    std::vector<VoskSim::SimDevice> m_fleet = fleet(kSeed, kCount);

    bool startFleet(int delayMs)
    {
        m_devsim.stop();
        return m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                               QString::number(kSeed), QStringLiteral("--delay"), QString::number(delayMs),
                               QStringLiteral("--state"), m_dir.filePath(QStringLiteral("state.json"))});
    }
    QByteArray inactiveSerial(int skip) const
    {
        const int index = findDevice(m_fleet, [](const VoskNet::WireRecord &r) { return r.notActivated; }, skip);
        return index >= 0 ? m_fleet[std::size_t(index)].record().serialNumber : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        pinToLoopback(47222, "239.255.86.122");
        QVERIFY(m_dir.isValid());
        QVERIFY(!inactiveSerial(1).isEmpty());
    }

    void cleanupTestCase()
    {
        VOSK_Stop();
        m_devsim.stop();
    }

    void retransmissionIsAnsweredFromTheCache()
    {
        // Answers take longer than the retransmission interval (400 ms).
        QVERIFY(startFleet(700));
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 10000);
        Capture capture;
        QVERIFY(capture.open());

        const QByteArray serial = inactiveSerial(0);
        QCOMPARE(VOSK_ActivateDevice(serial.constData(), "Slow#Pass1"), 1);
        QTest::qWait(1000);  // the answers to the repeats
        QList<quint32> statuses;
        QByteArray activationId;
        const QList<VoskNet::WireMessage> messages = capture.take();
        for (const VoskNet::WireMessage &m : messages) {
            if (m.type == VoskNet::MessageType::Request && m.op == VoskNet::Op::Activate)
                activationId = m.id;
        }
        QVERIFY(!activationId.isEmpty());
        int sent = 0;
        for (const VoskNet::WireMessage &m : messages) {
            sent += (m.type == VoskNet::MessageType::Request && m.id == activationId) ? 1 : 0;
            if (m.type == VoskNet::MessageType::Response && m.re == activationId)
                statuses << m.status;
        }
        // Sent again under the same id, and every answer is the first one.
        QVERIFY(sent >= 2);
        QCOMPARE(statuses.size(), sent);
        for (const quint32 status : std::as_const(statuses))
            QCOMPARE(status, quint32(0));
    }

    void sealedRequestIsNotSentTooLate()
    {
        // The nonce comes after 2.5 s: too late to send a sealed request
        // that would still be answered within the 3 s of the operation.
        QVERIFY(startFleet(2500));
        Capture capture;
        QVERIFY(capture.open());
        const QByteArray serial = inactiveSerial(1);
        QCOMPARE(VOSK_ActivateDevice(serial.constData(), "Late#Pass1"), 0);
        QCOMPARE(VOSK_GetLastError(), int(VOSK_ERR_TIMEOUT));
        QTest::qWait(1500);
        for (const VoskNet::WireMessage &m : capture.take())
            QVERIFY(!(m.type == VoskNet::MessageType::Request && m.op == VoskNet::Op::Activate));
        // So the device is untouched (its state file says so): with prompt
        // answers the activation succeeds now instead of meeting "already
        // active".
        QVERIFY(startFleet(0));
        QCOMPARE(VOSK_ActivateDevice(serial.constData(), "Late#Pass1"), 1);
    }
};

QTEST_GUILESS_MAIN(TestVoskTiming)
#include "tst_vosktiming.moc"
