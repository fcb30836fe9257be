// The simulator never outlives the process that started it: when that
// process dies (a test killed by ctest's time-out), the simulator gets
// SIGTERM, says bye and exits; and one whose starter died before it could
// ask for that signal notices and exits at once.

#include "tests/vosk/voskfixture.h"
#include "vosk/wiremessage.h"

#include <QFile>
#include <QProcess>
#include <QTest>


using namespace VoskTest;

namespace {

// Whether the process has ended (reaped, or a zombie nobody reaps).
bool gone(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const int state = line.lastIndexOf(')') + 2;
    return state < 2 || state >= line.size() || line.at(state) == 'Z' || line.at(state) == 'X';
}

} // namespace

class TestDevsimLifetime final : public QObject
{
    Q_OBJECT

private:
    VoskNet::MulticastSocket m_capture;

    bool openCapture()
    {
        const VoskNet::NetConfig config = VoskNet::NetConfig::fromEnvironment();
        const QList<VoskNet::NetInterface> interfaces = config.usableInterfaces();
        return m_capture.open(config) && !interfaces.isEmpty() && m_capture.join(interfaces.first());
    }
    int countByes()
    {
        int byes = 0;
        VoskNet::MulticastSocket::Datagram datagram;
        while (m_capture.receive(datagram)) {
            const auto message = VoskNet::WireMessage::decode(datagram.data);
            byes += message && message->type == VoskNet::MessageType::Report
                    && message->event == VoskNet::ReportEvent::Bye;
        }
        return byes;
    }

private Q_SLOTS:
    void initTestCase() { pinToLoopback(47230, "239.255.86.130"); }

    void diesWithItsStarter()
    {
        QVERIFY(openCapture());
        // A shell starts the simulator, says its pid, and stays as its parent.
        QProcess starter;
        starter.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        starter.start(QStringLiteral("sh"),
                      {QStringLiteral("-c"),
                       QStringLiteral("\"$0\" --interfaces lo --count 3 --parent $$ & echo pid $!; exec sleep 60"),
                       QStringLiteral(VOSK_DEVSIM_PATH)});
        QVERIFY(starter.waitForStarted(5000));
        QByteArray out;
        // The shell's line and the simulator's may come in either order.
        while (!out.contains("ready") || !out.contains("pid ") || out.indexOf('\n', out.indexOf("pid ")) < 0) {
            QVERIFY(starter.waitForReadyRead(5000));
            out += starter.readAllStandardOutput();
        }
        const int at = out.indexOf("pid ");
        QVERIFY(at >= 0);
        const pid_t simulator = pid_t(out.mid(at + 4, out.indexOf('\n', at) - at - 4).toInt());
        QVERIFY(simulator > 0);

        starter.kill();  // SIGKILL: no chance to clean up
        QVERIFY(starter.waitForFinished(5000));
        // Ended by its own SIGTERM handling: a bye for each device, then gone.
        int byes = 0;
        QTRY_VERIFY_WITH_TIMEOUT((byes += countByes()) == 3, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(gone(simulator), 10000);
    }

    void exitsWhenItsStarterIsAlreadyGone()
    {
        // Told of a parent it does not have: as if the starter had died
        // between fork and exec.
        QProcess simulator;
        simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator.start(QStringLiteral(VOSK_DEVSIM_PATH),
                        {QStringLiteral("--interfaces"), QStringLiteral("lo"), QStringLiteral("--count"),
                         QStringLiteral("3"), QStringLiteral("--parent"), QString::number(::getpid() + 100000)});
        QVERIFY(simulator.waitForFinished(10000));
        QCOMPARE(simulator.exitCode(), 3);
        QVERIFY(!simulator.readAllStandardOutput().contains("ready"));
    }
};

QTEST_GUILESS_MAIN(TestDevsimLifetime)
#include "tst_devsimlifetime.moc"
