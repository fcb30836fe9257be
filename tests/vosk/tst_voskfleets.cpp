// Known answers end to end: a fleet of current devices, their twins (a
// fleet whose devices announce the same MACs with other serial numbers,
// some of them started not activated by --inactive) and a fleet of older
// devices (the simulator's --legacy, which ignores the keys later versions
// added to the inquiry) on one link. Every device of all three is found; a
// current device never answers an inquiry whose known answers name it (by
// its pair), while the client's repeats come to name every device heard.

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
// 256 apart: the same MACs, other serial numbers.
constexpr quint64 kTwinSeed = kCurrentSeed + 256;
const QList<int> kTwinsInactive{2, 5};

} // namespace

class TestVoskFleets final : public QObject
{
    Q_OBJECT

private:
    Devsim m_current;
    Devsim m_twins;
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
    // Whether a captured inquiry's known answers name every device of the
    // three fleets, by pair and by MAC.
    bool someInquiryNamesEveryone()
    {
        capture();
        for (const WireMessage &inquiry : std::as_const(m_inquiries)) {
            bool all = true;
            for (const quint64 seed : {kCurrentSeed, kTwinSeed, kOlderSeed}) {
                for (const VoskSim::SimDevice &device : fleet(seed, kCount)) {
                    const VoskNet::WireRecord &r = device.record();
                    all = all && inquiry.knownAnswersName(r.mac, r.serialNumber)
                        && KnownAnswers::contains(inquiry.known, inquiry.knownHashes, inquiry.id, r.mac);
                }
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
        QVERIFY(m_twins.start(common + QStringList{QStringLiteral("--seed"), QString::number(kTwinSeed),
                                                   QStringLiteral("--inactive"), QStringLiteral("2,5")}));
        QVERIFY(m_older.start(common + QStringList{QStringLiteral("--seed"), QString::number(kOlderSeed),
                                                   QStringLiteral("--legacy")}));
    }

    void cleanupTestCase()
    {
        VOSK_Stop();
        m_current.stop();
        m_twins.stop();
        m_older.stop();
    }

    void olderCurrentAndTwinDevicesAreFound()
    {
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), 3 * kCount, 10000);
        QHash<QByteArray, VOSK_DEVICE_INFO> online;  // by serial number
        for (const VOSK_DEVICE_INFO &info : m_log.events()) {
            if (info.event == VOSK_EVENT_ONLINE)
                online.insert(QByteArray(info.serialNumber), info);
        }
        for (const quint64 seed : {kCurrentSeed, kTwinSeed, kOlderSeed}) {
            const auto devices = fleet(seed, kCount);
            for (int i = 0; i < kCount; ++i) {
                const VoskNet::WireRecord &r = devices.at(i).record();
                QVERIFY2(online.contains(r.serialNumber), r.serialNumber.constData());
                QCOMPARE(QByteArray(online.value(r.serialNumber).mac), r.mac);
                // --inactive decides instead of the seed.
                if (seed == kTwinSeed)
                    QCOMPARE(online.value(r.serialNumber).notActivated != 0, kTwinsInactive.contains(i));
            }
        }
    }

    void repeatsNameTheHeardAndTheyStaySilent()
    {
        // The repeats of the start's burst, or of the follow-up round 5 s on.
        QTRY_VERIFY_WITH_TIMEOUT(someInquiryNamesEveryone(), 10000);
        QHash<QByteArray, bool> current;  // by serial number
        for (const quint64 seed : {kCurrentSeed, kTwinSeed}) {
            for (const VoskSim::SimDevice &device : fleet(seed, kCount))
                current.insert(device.record().serialNumber, true);
        }
        int checked = 0;
        for (const WireMessage &answer : std::as_const(m_answers)) {
            const auto inquiry = m_inquiries.constFind(answer.re);
            if (inquiry == m_inquiries.cend() || !current.contains(answer.record.serialNumber))
                continue;
            ++checked;
            QVERIFY2(!inquiry->knownAnswersName(answer.record.mac, answer.record.serialNumber),
                     answer.record.serialNumber.constData());
        }
        QVERIFY(checked >= kCount);
        // No device went offline meanwhile: silence by known answers is not
        // taken for absence.
        QCOMPARE(m_log.count(VOSK_EVENT_OFFLINE), 0);
    }
};

QTEST_GUILESS_MAIN(TestVoskFleets)
#include "tst_voskfleets.moc"
