// What a device answers, and what it leaves unanswered. It must not be
// usable to reflect traffic at a third party: it answers an inquiry sent to
// it by unicast only when the source is on the link, never one from a
// far-away (spoofable) address. The far-away source is an extra address on
// loopback, added here and removed again; loopback itself is 127.0.0.1/8.
// And a request is acted on only by the device that every target it
// carries names.

#include "tests/vosk/voskfixture.h"
#include "vosk/wiremessage.h"

#include <QProcess>
#include <QSet>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace VoskTest;

namespace {

constexpr int kPort = 47223;
constexpr int kCount = 5;
const char *const kFarAddress = "192.0.2.7";

bool ip(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("ip"), arguments) == 0;
}

// An inquiry by unicast to the devices' port on 127.0.0.1, from source.
bool unicastInquiry(const char *source)
{
    VoskNet::WireMessage inquiry;
    inquiry.type = VoskNet::MessageType::Inquiry;
    inquiry.id = VoskNet::WireMessage::newId();
    const QByteArray bytes = inquiry.encode();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPort);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    const bool sent = ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) == 0
        && ::sendto(fd, bytes.constData(), size_t(bytes.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to)
            == bytes.size();
    ::close(fd);
    return sent;
}

} // namespace

class TestVoskReflection final : public QObject
{
    Q_OBJECT

private:
    Devsim m_devsim;
    EventLog m_log;
    bool m_addressAdded = false;

private Q_SLOTS:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to add an address to loopback (CI runs it as root inside unshare --net)");
        if (!VoskTest::foreignInterfaces().isEmpty())
            QSKIP("changes loopback's addresses, so it runs only inside a private network namespace (./test.sh)");
        pinToLoopback(kPort, "239.255.86.123");
        // No automatic round during the test: only our inquiries ask.
        qputenv("VOSK_INQUIRY_INTERVAL_MS", "600000");
        QVERIFY(ip({QStringLiteral("addr"), QStringLiteral("add"), QLatin1String(kFarAddress) + QStringLiteral("/32"),
                    QStringLiteral("dev"), QStringLiteral("lo")}));
        m_addressAdded = true;
        // The library binds first: a unicast datagram goes to one socket of
        // the port only, the one bound last, which is the simulator's.
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QString::number(kCount), QStringLiteral("--seed"),
                                QStringLiteral("19")}));
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 5000);
        // Past the library's own follow-up round 5 s after its start, and
        // that round's repeats after another 0.5 and 1.5 s.
        QTest::qWait(7200);
    }

    void cleanupTestCase()
    {
        VOSK_Stop();
        m_devsim.stop();
        if (m_addressAdded)
            ip({QStringLiteral("addr"), QStringLiteral("del"), QLatin1String(kFarAddress) + QStringLiteral("/32"),
                QStringLiteral("dev"), QStringLiteral("lo")});
    }

    void onlyOnLinkSourcesAreAnswered()
    {
        m_log.clear();
        QCOMPARE(VOSK_Clearup(), 1);
        QVERIFY(unicastInquiry(kFarAddress));
        QTest::qWait(1000);  // answers come within 500 ms
        QCOMPARE(m_log.count(VOSK_EVENT_ONLINE), 0);
        QVERIFY(unicastInquiry("127.0.0.1"));
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), kCount, 3000);
    }

    void requestNamingTwoDevicesIsDropped()
    {
        const VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
        VoskNet::MulticastSocket capture;
        QVERIFY(capture.open(config));
        const QList<VoskNet::NetInterface> interfaces = config.usableInterfaces();
        QCOMPARE(interfaces.size(), 1);
        QVERIFY(capture.join(interfaces.first()));
        const auto devices = fleet(19, kCount);
        auto challenge = [&](const VoskNet::WireRecord &bySerial, const VoskNet::WireRecord &byMac) {
            VoskNet::WireMessage m;
            m.type = VoskNet::MessageType::Request;
            m.id = VoskNet::WireMessage::newId();
            m.op = VoskNet::Op::Challenge;
            m.targetSerial = bySerial.serialNumber;
            m.targetMac = byMac.mac;
            return m;
        };
        // Answers seen so far, by the id they answer (kept: QTRY evaluates
        // its condition once more at the end).
        QSet<QByteArray> answers;
        auto answered = [&](const QByteArray &id) {
            VoskNet::MulticastSocket::Datagram datagram;
            while (capture.receive(datagram)) {
                const auto m = VoskNet::WireMessage::decode(datagram.data);
                if (m && m->type == VoskNet::MessageType::Response)
                    answers.insert(m->re);
            }
            return answers.contains(id);
        };
        const VoskNet::WireMessage mixed = challenge(devices[0].record(), devices[1].record());
        QVERIFY(capture.send(interfaces.first().index, mixed.encode()));
        QTest::qWait(500);
        QVERIFY(!answered(mixed.id));
        const VoskNet::WireMessage both = challenge(devices[0].record(), devices[0].record());
        QVERIFY(capture.send(interfaces.first().index, both.encode()));
        QTRY_VERIFY_WITH_TIMEOUT(answered(both.id), 2000);
    }
};

QTEST_GUILESS_MAIN(TestVoskReflection)
#include "tst_voskreflection.moc"
