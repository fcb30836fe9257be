// A device must not be usable to reflect traffic at a third party: it
// answers an inquiry sent to it by unicast only when the source is on the
// link, never one from a far-away (spoofable) address. The far-away source
// is an extra address on loopback, added here and removed again; loopback
// itself is 127.0.0.1/8.

#include "tests/vosk/voskfixture.h"
#include "vosk/wiremessage.h"

#include <QProcess>
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
};

QTEST_GUILESS_MAIN(TestVoskReflection)
#include "tst_voskreflection.moc"
