// onvif-bench-hostile [--runs R] [--flood N] [--hello-seconds S]
//
// The ONVIF side against hostile fake devices on loopback, beside one real
// (simulated) device. Three figures:
//  1. Four rogues that answer every HTTP request with endless headers,
//     announced by WS-Discovery beside the real device: the console
//     changes the real device's mask; its peak memory (VmHWM), the result
//     and how many rogue connections it took and closed are printed.
//  2. A host answering each Probe with N ProbeMatches of endpoints of its
//     own (10,000 by default): in R runs of a fresh discovery client, how
//     often the real device is listed.
//  3. Hellos without pause for S seconds (new endpoints from one host, and
//     one endpoint re-announced with 20 KB of new scopes each time): the
//     time after the flood until this process's CPU is idle (under 5 % over
//     half a second), and whether a probe sent during the flood found the
//     real device.
// Run it inside unshare --net (lo up), as it is.

#include "../../tests/onvif/onvifsim.h"
#include "../../tests/onvif/roguedevice.h"
#include "onvif/discoveryclient.h"
#include "onvif/discoverymessage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace Onvif;
using TestSupport::RogueDevice;

namespace {

constexpr quint16 kDiscoveryPort = 34921;
constexpr quint16 kHttpPort = 18921;
const char *const kGroup = "239.255.255.250";
const QString kReal = QStringLiteral("127.64.0.1");

QByteArray envelope(const QByteArray &action, const QByteArray &relatesTo, const QByteArray &body)
{
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><s:Header><a:MessageID>urn:uuid:r</a:MessageID>"
        + (relatesTo.isEmpty() ? QByteArray() : "<a:RelatesTo>" + relatesTo + "</a:RelatesTo>")
        + "<a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/" + action + "</a:Action></s:Header><s:Body>"
        + body + "</s:Body></s:Envelope>";
}

QByteArray target(const QByteArray &endpoint, const QByteArray &xaddr, const QByteArray &scopes = "onvif://www.onvif.org/name/x",
                  int version = 1)
{
    return "<a:EndpointReference><a:Address>" + endpoint + "</a:Address></a:EndpointReference>"
           "<d:Types>dn:NetworkVideoTransmitter</d:Types><d:Scopes>" + scopes + "</d:Scopes><d:XAddrs>" + xaddr
        + "</d:XAddrs><d:MetadataVersion>" + QByteArray::number(version) + "</d:MetadataVersion>";
}

// A POSIX UDP socket on `from` (any port), or bound to the group port and
// joined on lo when listen is set.
int udpSocket(const char *from, bool listen)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const int big = 8 << 20;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(listen ? kDiscoveryPort : 0);
    inet_pton(AF_INET, listen ? kGroup : from, &at.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at);
    if (listen) {
        ip_mreqn join{};
        inet_pton(AF_INET, kGroup, &join.imr_multiaddr);
        join.imr_ifindex = int(if_nametoindex("lo"));
        setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join);
        timeval wait{0, 100 * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    return fd;
}

// Answers each Probe heard on the group from its own thread: answer(id)
// gives the datagrams, sent from `from` to the prober.
class ProbeAnswerer
{
public:
    ProbeAnswerer(const char *from, std::function<QList<QByteArray>(const QByteArray &)> answer)
        : m_listen(udpSocket(nullptr, true))
        , m_send(udpSocket(from, false))
        , m_thread([this, answer] {
            char buffer[65536];
            while (!m_stop) {
                sockaddr_in peer{};
                socklen_t length = sizeof peer;
                const ssize_t n = recvfrom(m_listen, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&peer), &length);
                if (n <= 0)
                    continue;
                DiscoveryMessage m;
                if (!DiscoveryMessages::parse(QByteArray(buffer, int(n)), &m) || m.kind != DiscoveryMessage::Kind::Probe)
                    continue;
                for (const QByteArray &d : answer(m.messageId.toUtf8())) {
                    while (sendto(m_send, d.constData(), size_t(d.size()), 0, reinterpret_cast<sockaddr *>(&peer), length) < 0
                           && errno == ENOBUFS)
                        std::this_thread::yield();
                }
            }
        })
    {
    }
    ~ProbeAnswerer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
        ::close(m_send);
    }

private:
    int m_listen;
    int m_send;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

long statusKb(qint64 pid, const char *field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

DiscoveryOptions discoveryOptions()
{
    DiscoveryOptions o;
    o.port = kDiscoveryPort;
    o.interfaces = {"lo"};
    o.reprobeIntervalMs = 0;
    return o;
}

// Runs the event loop for ms or until done: asleep between events (the
// processEvents(flags, ms) overload polls, which the CPU figure would see).
void spin(qint64 ms, const std::function<bool()> &done = {})
{
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (t.elapsed() >= ms || (done && done()))
            loop.quit();
    });
    tick.start(10);
    loop.exec();
}

void endlessHeaderRogues()
{
    QList<RogueDevice *> rogues;
    QByteArray matches;
    for (int i = 1; i <= 4; ++i) {
        const QString host = QStringLiteral("127.64.1.%1").arg(i);
        rogues.append(new RogueDevice(RogueDevice::Mode::EndlessHeaders, QHostAddress(host), kHttpPort));
        matches += "<d:ProbeMatch>"
            + target("urn:uuid:rogue-" + QByteArray::number(i), rogues.last()->url().toString().toUtf8()) + "</d:ProbeMatch>";
    }
    ProbeAnswerer announcer("127.64.1.1", [matches](const QByteArray &id) {
        return QList<QByteArray>{envelope("ProbeMatches", id, "<d:ProbeMatches>" + matches + "</d:ProbeMatches>")};
    });
    QTemporaryDir dir;
    QFile password(dir.filePath(QStringLiteral("p")));
    password.open(QIODevice::WriteOnly);
    password.write("Admin12345\n");
    password.close();
    QProcess console;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VOSK_ONVIF_PORT"), QString::number(kDiscoveryPort));
    env.insert(QStringLiteral("VOSK_INTERFACES"), QStringLiteral("lo"));
    env.insert(QStringLiteral("VOSK_PORT"), QStringLiteral("34929"));
    console.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    console.start(QStringLiteral(VOSKTOOL_CLI_PATH),
                  {QStringLiteral("set"), kReal, QStringLiteral("--mask"), QStringLiteral("255.255.0.0"),
                   QStringLiteral("--password-file"), password.fileName(), QStringLiteral("--wait"), QStringLiteral("60000")});
    console.waitForStarted();
    long peak = 0;
    while (console.state() != QProcess::NotRunning) {
        peak = std::max(peak, statusKb(console.processId(), "VmHWM:"));
        spin(100, [&] { return console.state() == QProcess::NotRunning; });
    }
    int taken = 0;
    int closed = 0;
    for (RogueDevice *r : std::as_const(rogues)) {
        taken += r->connections;
        closed += r->closedByClient;
    }
    spin(200);
    std::printf("console `set` beside 4 endless-header rogues: %s (exit %d) in %lld ms; peak RSS %.1f MB; "
                "rogue connections %d, closed by the console %d\n",
                console.readAllStandardOutput().trimmed().replace('\t', ' ').constData(), console.exitCode(), t.elapsed(),
                double(peak) / 1024.0, taken, closed);
    qDeleteAll(rogues);
}

void probeMatchFlood(int runs, int flood)
{
    ProbeAnswerer flooder("127.64.2.1", [flood](const QByteArray &id) {
        QList<QByteArray> out;
        for (int i = 0; i < flood; ++i)
            out.append(envelope("ProbeMatches", id,
                                "<d:ProbeMatches><d:ProbeMatch>"
                                    + target("urn:uuid:flood-" + QByteArray::number(i), "http://127.64.2.1/onvif/device_service")
                                    + "</d:ProbeMatch></d:ProbeMatches>"));
        return out;
    });
    int listed = 0;
    for (int run = 0; run < runs; ++run) {
        DiscoveryClient client(discoveryOptions());
        bool finished = false;
        QObject::connect(&client, &DiscoveryClient::probeFinished, [&finished] { finished = true; });
        QElapsedTimer t;
        t.start();
        client.start();
        client.probe();
        spin(20000, [&] { return finished; });
        spin(500);
        bool real = false;
        for (const DiscoveredDevice &d : client.devices())
            real = real || d.serviceAddress().host() == kReal;
        listed += real ? 1 : 0;
        std::printf("  run %d: real device %s; %d rows, %d refused, %lld ms\n", run + 1, real ? "listed" : "MISSING",
                    int(client.devices().size()), client.refusedCount(), t.elapsed());
    }
    std::printf("%d-ProbeMatch flood from one host: real device listed in %d of %d runs\n", flood, listed, runs);
}

void helloFlood(int seconds)
{
    DiscoveryClient client(discoveryOptions());
    client.start();
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::thread sender([&] {
        const int fd = udpSocket("127.64.3.1", false);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kDiscoveryPort);
        inet_pton(AF_INET, kGroup, &to.sin_addr);
        in_addr lo{};
        inet_pton(AF_INET, "127.64.3.1", &lo);
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &lo, sizeof lo);
        for (long i = 0; !stop; ++i) {
            QByteArray d;
            if (i % 2) {
                d = envelope("Hello", QByteArray(),
                             "<d:Hello>" + target("urn:uuid:hello-" + QByteArray::number(i), "http://127.64.3.1/") + "</d:Hello>");
            } else {
                QByteArray scopes;
                while (scopes.size() < 20 * 1024)
                    scopes += "onvif://www.onvif.org/x/" + QByteArray::number(i) + '-' + QByteArray::number(scopes.size()) + ' ';
                d = envelope("Hello", QByteArray(),
                             "<d:Hello>" + target("urn:uuid:noisy", "http://127.64.3.1/", scopes, 1) + "</d:Hello>");
            }
            if (sendto(fd, d.constData(), size_t(d.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to) > 0)
                ++sent;
        }
        ::close(fd);
    });
    // A probe in the middle of the flood.
    spin(seconds * 500);
    bool probed = false;
    QObject::connect(&client, &DiscoveryClient::probeFinished, [&probed] { probed = true; });
    client.probe();
    spin(seconds * 500);
    stop = true;
    sender.join();
    spin(20000, [&] { return probed; });
    QElapsedTimer t;
    t.start();
    // Idle: under 5 % of a core over half a second.
    qint64 idleAfter = -1;
    double lastCpu = cpuSeconds();
    qint64 lastAt = 0;
    while (t.elapsed() < 30000) {
        spin(500);
        const double cpu = cpuSeconds();
        const qint64 at = t.elapsed();
        if (qEnvironmentVariableIsSet("BENCH_TRACE"))
            std::printf("  %lld ms: %.0f %% of a core\n", at, 100.0 * (cpu - lastCpu) / (double(at - lastAt) / 1000.0));
        if ((cpu - lastCpu) / (double(at - lastAt) / 1000.0) < 0.05) {
            idleAfter = lastAt;
            break;
        }
        lastCpu = cpu;
        lastAt = at;
    }
    bool real = false;
    for (const DiscoveredDevice &d : client.devices())
        real = real || d.serviceAddress().host() == kReal;
    std::printf("Hello flood of %d s (%ld Hellos, half with 20 KB of new scopes): CPU idle %lld ms after it; "
                "real device found by a probe during it: %s; %d rows, %d refused\n",
                seconds, sent.load(), idleAfter, real ? "yes" : "NO", int(client.devices().size()), client.refusedCount());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Flood runs."), QStringLiteral("r"),
                                        QStringLiteral("5"));
    const QCommandLineOption floodOption(QStringLiteral("flood"), QStringLiteral("ProbeMatches per Probe."),
                                         QStringLiteral("n"), QStringLiteral("10000"));
    const QCommandLineOption helloOption(QStringLiteral("hello-seconds"), QStringLiteral("Hello flood length."),
                                         QStringLiteral("s"), QStringLiteral("10"));
    parser.addOptions({runsOption, floodOption, helloOption});
    parser.addHelpOption();
    parser.process(app);
    qputenv("VOSK_INTERFACES", "lo");
    TestSupport::OnvifSim simulator;
    if (!simulator.start(qEnvironmentVariable("VOSK_DEVSIM", QStringLiteral(VOSK_DEVSIM_PATH)), 1, kDiscoveryPort,
                         kHttpPort, kReal, {QStringLiteral("--onvif-behaviour"), QStringLiteral("plain")})) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    endlessHeaderRogues();
    probeMatchFlood(qMax(1, parser.value(runsOption).toInt()), qMax(1, parser.value(floodOption).toInt()));
    helloFlood(qMax(1, parser.value(helloOption).toInt()));
    simulator.kill();
    return 0;
}
