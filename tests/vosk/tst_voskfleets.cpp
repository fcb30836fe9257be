// Known answers end to end: a fleet of current devices and one of older
// devices (the simulator's --legacy, which ignores the keys later versions
// added to the inquiry) on one link. Every device of both is found; a
// current device never answers an inquiry whose known-answer list names
// it, while the client's repeats come to name every device it has heard.

#include "tests/vosk/voskfixture.h"
#include "vosk/knownanswers.h"
#include "vosk/wiremessage.h"

#include <QHash>
#include <QTest>

using namespace VoskTest;
using VoskNet::KnownAnswers;
using VoskNet::MessageType;
using VoskNet::WireMessage;

namespace {

constexpr int kCount = 20;
constexpr quint64 kCurrentSeed = 31;
constexpr quint64 kOlderSeed = 32;

} // namespace

class TestVoskFleets final : public QObject
{
    Q_OBJECT

private:
    Devsim m_current;
    Devsim m_older;
    EventLog m_log;
    VoskNet::MulticastSocket m_capture;
    QHash<QByteArray, WireMessage> m_inquiries;  // by id
    QList<WireMessage> m_answers;

    void capture()
    {
        VoskNet::MulticastSocket::Datagram datagram;
        while (m_capture.receive(datagram)) {
            const auto message = WireMessage::decode(datagram.data);
            if (!message)
                continue;
            if (message->type == MessageType::Inquiry)
                m_inquiries.insert(message->id, *message);
            else if (message->type == MessageType::Report && message->event == VoskNet::ReportEvent::Answer)
                m_answers.append(*message);
        }
    }
    // Whether a captured inquiry's known answers name every device of both fleets.
    bool someInquiryNamesEveryone()
    {
        capture();
        const auto devices = fleet(kCurrentSeed, kCount);
        const auto older = fleet(kOlderSeed, kCount);
        for (const WireMessage &inquiry : std::as_const(m_inquiries)) {
            bool all = true;
            for (const auto *set : {&devices, &older}) {
                for (const VoskSim::SimDevice &device : *set)
                    all = all
                        && KnownAnswers::contains(inquiry.known, inquiry.knownHashes, inquiry.id,
                                                  device.record().mac);
            }
            if (all)
                return true;
        }
        return false;
    }

private Q_SLOTS:
    void initTestCase()
    {
        pinToLoopback(47232, "239.255.86.132");
        const VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
        const QList<VoskNet::NetInterface> interfaces = config.usableInterfaces();
        QVERIFY(m_capture.open(config) && !interfaces.isEmpty() && m_capture.join(interfaces.first()));
        const QStringList common{QStringLiteral("--count"), QString::number(kCount)};
        QVERIFY(m_current.start(common + QStringList{QStringLiteral("--seed"), QString::number(kCurrentSeed)}));
        QVERIFY(m_older.start(common + QStringList{QStringLiteral("--seed"), QString::number(kOlderSeed),
                                                   QStringLiteral("--legacy")}));
    }

    void cleanupTestCase()
    {
        VOSK_Stop();
        m_current.stop();
        m_older.stop();
    }

    void olderAndCurrentDevicesAreFound()
    {
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), 2 * kCount, 10000);
        for (const auto &set : {fleet(kCurrentSeed, kCount), fleet(kOlderSeed, kCount)}) {
            for (const VoskSim::SimDevice &device : set) {
                VOSK_DEVICE_INFO info;
                QVERIFY(m_log.latest(VOSK_EVENT_ONLINE, device.record().mac, info));
            }
        }
    }

    void repeatsNameTheHeardAndTheyStaySilent()
    {
        // The repeats of the start's burst, or of the follow-up round 5 s on.
        QTRY_VERIFY_WITH_TIMEOUT(someInquiryNamesEveryone(), 10000);
        QHash<QByteArray, bool> current;
        for (const VoskSim::SimDevice &device : fleet(kCurrentSeed, kCount))
            current.insert(device.record().mac, true);
        int checked = 0;
        for (const WireMessage &answer : std::as_const(m_answers)) {
            const auto inquiry = m_inquiries.constFind(answer.re);
            if (inquiry == m_inquiries.cend() || !current.contains(answer.record.mac))
                continue;
            ++checked;
            QVERIFY2(!KnownAnswers::contains(inquiry->known, inquiry->knownHashes, inquiry->id, answer.record.mac),
                     answer.record.mac.constData());
        }
        QVERIFY(checked >= kCount);
        // No device went offline meanwhile: silence by known answers is not
        // taken for absence.
        QCOMPARE(m_log.count(VOSK_EVENT_OFFLINE), 0);
    }
};

QTEST_GUILESS_MAIN(TestVoskFleets)
#include "tst_voskfleets.moc"
