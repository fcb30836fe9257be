// vosk-devsim: a fleet of simulated network video devices.
//   vosk-devsim --count N --seed S [--interfaces lo] [--state FILE]
//               [--drop P] [--delay MS] [--refuse] [--password TEXT]
//               [--host-address] [--parent PID] [--legacy] [--inactive LIST]
//               [--onvif M [--onvif-address A] [--onvif-address6 A6] [--onvif-port P]
//                [--onvif-discovery-port P] [--onvif-reboot-ms MS]
//                [--onvif-behaviour RULE]... [--onvif-certificate FILE]]
// Prints "onvif M" when it has ONVIF devices (docs/devsim-onvif.md), then
// "ready N" once it listens. SIGTERM or SIGINT: a bye for every device,
// then exit 0. It gets SIGTERM when the process that started it ends, so a
// fleet never outlives its test or script.

#include "tools/devsim/onvifserver.h"
#include "tools/devsim/simfleet.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QThread>

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

int g_stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipe[1], &byte, 1);
}

int usageError(const QString &message)
{
    std::fprintf(stderr, "vosk-devsim: %s\n", qPrintable(message));
    return 2;
}

// The ONVIF devices' thread: makes, opens, runs, stops and deletes the
// server, all on itself. It meets the main thread only under m_mutex: the
// server's open() answer, the event loop to quit, the end of run(). A
// posted functor, or QThread::wait() alone, would order the two threads
// by locks inside Qt that ThreadSanitizer cannot see.
class OnvifThread final : public QThread
{
public:
    explicit OnvifThread(const VoskSim::OnvifFleetOptions &options) : m_options(options) {}
    ~OnvifThread() override { stop(); }

    // Blocks until the server has opened; false with the reason if not.
    bool waitOpened(QString *error)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_answered; });
        *error = m_error;
        return m_opened;
    }

    // Ends the event loop, stops the server and waits for the thread's
    // end. Nothing when it never started or has ended.
    void stop()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            // By name: Qt makes and delivers the call, nothing of ours
            // travels with it. A quit posted before exec() waits in the
            // queue, so none is lost.
            if (m_loop)
                QMetaObject::invokeMethod(m_loop, "quit", Qt::QueuedConnection);
        }
        wait();
        const std::lock_guard<std::mutex> lock(m_mutex);
    }

protected:
    void run() override
    {
        {
            VoskSim::OnvifServer server(m_options);
            QString error;
            const bool opened = server.open(error);
            QEventLoop loop;
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_opened = opened;
                m_error = error;
                m_answered = true;
                m_loop = opened ? &loop : nullptr;
            }
            m_changed.notify_all();
            if (opened) {
                loop.exec();
                {
                    const std::lock_guard<std::mutex> lock(m_mutex);
                    m_loop = nullptr;
                }
                server.stop();
            }
        }
        // Last: whoever takes the lock after wait() comes after all of the
        // above, the server's destruction included.
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_answered = true;
    }

private:
    const VoskSim::OnvifFleetOptions m_options;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_answered = false;
    bool m_opened = false;
    QString m_error;
    QEventLoop *m_loop = nullptr; // while it runs
};

} // namespace

int main(int argc, char **argv)
{
    // A fleet of ONVIF devices holds thousands of sockets (a listening and a
    // discovery socket per device, and their connections). Qt's own event
    // dispatcher finds a socket's notifier by hash; the GLib one searches a
    // list for every notifier added or removed, which a thousand devices
    // signing in at once feel. The choice is made as the application starts.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    // A GUI application for the ONVIF snapshots' fonts, on the offscreen
    // platform: the simulator never shows a window nor talks to a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vosk-devsim"));
    // The simulated devices listen on loopback and on the test's own
    // namespaces: no socket of theirs goes through a proxy, so none asks
    // the desktop's proxy settings (a lookup on a thread of Qt's) either.
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulates a fleet of network video devices."));
    parser.addHelpOption();
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Number of devices (1..16384)."),
                                   QStringLiteral("n"), QStringLiteral("16"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the fleet."), QStringLiteral("s"),
                                  QStringLiteral("1"));
    const QCommandLineOption interfaces(QStringLiteral("interfaces"),
                                        QStringLiteral("Comma-separated interfaces (default: VOSK_INTERFACES)."),
                                        QStringLiteral("names"));
    const QCommandLineOption state(QStringLiteral("state"), QStringLiteral("State file."), QStringLiteral("file"));
    const QCommandLineOption drop(QStringLiteral("drop"), QStringLiteral("Share of datagrams lost (0..1)."),
                                  QStringLiteral("p"), QStringLiteral("0"));
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Extra delay of every answer."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption refuse(QStringLiteral("refuse"), QStringLiteral("Refuse every operation."));
    // The demo fleet's password is printed in the help: a technician
    // trying the tool needs it to change anything on an active device.
    const QString defaultPassword = QString::fromLatin1(VoskSim::FleetOptions().activePassword);
    const QCommandLineOption password(
        QStringLiteral("password"),
        QStringLiteral("Administrator password of the active devices (default: %1).").arg(defaultPassword),
        QStringLiteral("text"), defaultPassword);
    const QCommandLineOption hostAddress(QStringLiteral("host-address"),
                                         QStringLiteral("Device 0 shows and changes the interface's own address."));
    const QCommandLineOption parent(QStringLiteral("parent"),
                                    QStringLiteral("Process id of the starter: exit at once if it is gone already."),
                                    QStringLiteral("pid"));
    const QCommandLineOption legacy(QStringLiteral("legacy"),
                                    QStringLiteral("Answer every inquiry in 0..500 ms, ignoring the answer window, "
                                                   "known answers and slices (an older device)."));
    // Which devices need activation, and how to find them in the tool.
    const QCommandLineOption inactive(
        QStringLiteral("inactive"),
        QStringLiteral("Devices that start not activated, by index (0..n-1) separated by commas, or none. Default: "
                       "about one in five, drawn from the seed. Device i has the MAC 02-5e-SS-ii-ii-ii (SS: the "
                       "seed's lowest byte, ii: i in three bytes, both in hex) and a serial number whose last five "
                       "digits are i; its record says not activated (key 19), and the tool lists it so."),
        QStringLiteral("list"));
    parser.addOption(inactive);
    const QCommandLineOption onvif(QStringLiteral("onvif"),
                                   QStringLiteral("Number of ONVIF devices (0..%1).").arg(VoskSim::OnvifFleetOptions::kMaxCount),
                                   QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption onvifAddress(QStringLiteral("onvif-address"),
                                          QStringLiteral("Loopback address of the first ONVIF device; the others follow."),
                                          QStringLiteral("ipv4"), QStringLiteral("127.1.0.1"));
    const QCommandLineOption onvifAddress6(
        QStringLiteral("onvif-address6"),
        QStringLiteral("IPv6 address of the first ONVIF device, where it serves too; the others follow. Each must be "
                       "an address of this host (a link-local one as fe80::...%interface). None by default."),
        QStringLiteral("ipv6"));
    const QCommandLineOption onvifPort(QStringLiteral("onvif-port"), QStringLiteral("HTTP port of the ONVIF devices."),
                                       QStringLiteral("port"), QStringLiteral("80"));
    const QCommandLineOption onvifDiscoveryPort(QStringLiteral("onvif-discovery-port"),
                                                QStringLiteral("WS-Discovery port."), QStringLiteral("port"),
                                                QStringLiteral("3702"));
    const QCommandLineOption onvifRebootMs(QStringLiteral("onvif-reboot-ms"),
                                           QStringLiteral("How long an ONVIF device takes to reboot."),
                                           QStringLiteral("ms"), QStringLiteral("1000"));
    const QCommandLineOption onvifBehaviour(
        QStringLiteral("onvif-behaviour"),
        QStringLiteral("Behaviour of ONVIF devices, over the seeded ones (repeatable): [FIRST[-LAST]:]ITEM,... with "
                       "items plain, auth=both|digest|wsse, clock=[+-]N[h|m|s], factory, factory=quiet (no "
                       "FactoryDefault scope), reboot, slow=MS, silent, faults, ipv6only (needs --onvif-address6), "
                       "https (serves HTTPS on its HTTP port + 1, announced in XAddrs and "
                       "GetNetworkProtocols), https=quiet (in GetNetworkProtocols only), "
                       "hostile=oversized|nested|entities|namespace, endpoint=SEED/N and twin=SEED/N (the endpoint "
                       "reference, or the serial number and MAC, of device N of the fleet with seed SEED), "
                       "xaddr=HOST (service address on another host)."),
        QStringLiteral("rule"));
    const QCommandLineOption onvifCertificate(
        QStringLiteral("onvif-certificate"),
        QStringLiteral("PEM file with the key and self-signed certificate the ONVIF devices serve HTTPS with; made "
                       "there when missing. Without it a new certificate at every start."),
        QStringLiteral("file"));
    parser.addOptions({count, seed, interfaces, state, drop, delay, refuse, password, hostAddress, parent, legacy,
                       onvif, onvifAddress, onvifAddress6, onvifPort, onvifDiscoveryPort, onvifRebootMs, onvifBehaviour,
                       onvifCertificate});
    parser.process(app);

    bool ok = false;
    VoskSim::OnvifFleetOptions onvifOptions;
    onvifOptions.count = parser.value(onvif).toInt(&ok);
    if (!ok || onvifOptions.count < 0 || onvifOptions.count > VoskSim::OnvifFleetOptions::kMaxCount)
        return usageError(QStringLiteral("--onvif must be 0..%1").arg(VoskSim::OnvifFleetOptions::kMaxCount));
    const QHostAddress firstAddress(parser.value(onvifAddress));
    if (firstAddress.protocol() != QAbstractSocket::IPv4Protocol || (firstAddress.toIPv4Address() >> 24) != 127)
        return usageError(QStringLiteral("--onvif-address must be a loopback address (127.x.y.z)"));
    onvifOptions.firstAddress = firstAddress.toIPv4Address();
    if (((onvifOptions.firstAddress & 0x00FFFFFFu) + quint32(onvifOptions.count) * 2) > 0x00FFFFFFu)
        return usageError(QStringLiteral("--onvif-address leaves no room for %1 devices").arg(onvifOptions.count));
    if (parser.isSet(onvifAddress6)) {
        const QHostAddress first6(parser.value(onvifAddress6));
        if (first6.protocol() != QAbstractSocket::IPv6Protocol || first6.isMulticast() || first6.isNull()
            || first6.isLoopback())
            return usageError(QStringLiteral("--onvif-address6 must be a unicast IPv6 address"));
        if (first6.isLinkLocal() && first6.scopeId().isEmpty())
            return usageError(QStringLiteral("--onvif-address6: a link-local address needs its interface (fe80::...%eth0)"));
        onvifOptions.firstAddress6 = first6;
    }
    const int httpPort = parser.value(onvifPort).toInt(&ok);
    if (!ok || httpPort < 1 || httpPort > 65535)
        return usageError(QStringLiteral("--onvif-port must be 1..65535"));
    onvifOptions.httpPort = quint16(httpPort);
    const int discoveryPort = parser.value(onvifDiscoveryPort).toInt(&ok);
    if (!ok || discoveryPort < 1 || discoveryPort > 65535)
        return usageError(QStringLiteral("--onvif-discovery-port must be 1..65535"));
    onvifOptions.discoveryPort = quint16(discoveryPort);
    onvifOptions.rebootMs = parser.value(onvifRebootMs).toInt(&ok);
    if (!ok || onvifOptions.rebootMs < 0 || onvifOptions.rebootMs > 600000)
        return usageError(QStringLiteral("--onvif-reboot-ms must be 0..600000"));
    onvifOptions.certificateFile = parser.value(onvifCertificate);
    for (const QString &text : parser.values(onvifBehaviour)) {
        QString error;
        const std::optional<VoskSim::OnvifBehaviour::Rule> rule = VoskSim::OnvifBehaviour::parseRule(text, error);
        if (!rule)
            return usageError(QStringLiteral("--onvif-behaviour: ") + error);
        onvifOptions.rules.append(*rule);
    }

    VoskSim::FleetOptions options;
    options.count = parser.value(count).toInt(&ok);
    // None of our own is fine when there are ONVIF devices.
    const int minCount = onvifOptions.count > 0 ? 0 : 1;
    if (!ok || options.count < minCount || options.count > VoskSim::FleetOptions::kMaxCount)
        return usageError(QStringLiteral("--count must be %1..%2").arg(minCount).arg(VoskSim::FleetOptions::kMaxCount));
    options.seed = parser.value(seed).toULongLong(&ok);
    if (!ok)
        return usageError(QStringLiteral("--seed must be a number"));
    for (const QString &name : parser.value(interfaces).split(QLatin1Char(','), Qt::SkipEmptyParts))
        options.interfaces.append(name.trimmed().toLatin1());
    // Simulated devices on a real network would show up in every real
    // technician's tool: the interfaces are always named.
    if (options.interfaces.isEmpty() && qEnvironmentVariableIsEmpty("VOSK_INTERFACES"))
        return usageError(QStringLiteral("name the interfaces to simulate on (--interfaces lo, or VOSK_INTERFACES)"));
    options.statePath = parser.value(state);
    options.drop = parser.value(drop).toDouble(&ok);
    if (!ok || options.drop < 0 || options.drop >= 1)
        return usageError(QStringLiteral("--drop must be 0..1"));
    options.delayMs = parser.value(delay).toInt(&ok);
    if (!ok || options.delayMs < 0 || options.delayMs > 60000)
        return usageError(QStringLiteral("--delay must be 0..60000"));
    options.refuse = parser.isSet(refuse);
    options.activePassword = parser.value(password).toLatin1();
    onvifOptions.seed = options.seed;
    onvifOptions.interfaces = options.interfaces;
    onvifOptions.drop = options.drop;
    // The same text, each kind in its own encoding: our devices take the
    // 8-bit bytes, ONVIF devices the standard's UTF-8.
    onvifOptions.adminPassword = parser.value(password).toUtf8();
    options.hostAddress = parser.isSet(hostAddress);
    options.legacy = parser.isSet(legacy);
    if (parser.isSet(inactive)) {
        QList<int> indexes;
        const QString list = parser.value(inactive);
        for (const QString &part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const int index = part.trimmed().toInt(&ok);
            if (list.trimmed() != QLatin1String("none") && (!ok || index < 0 || index >= options.count))
                return usageError(QStringLiteral("--inactive takes device indexes 0..%1 or none").arg(options.count - 1));
            if (ok)
                indexes.append(index);
        }
        options.inactive = indexes;
    }
    if (options.activePassword.isEmpty() || options.activePassword.size() > 64)
        return usageError(QStringLiteral("--password must be 1..64 bytes"));

    qint64 parentPid = 0;
    if (parser.isSet(parent)) {
        parentPid = parser.value(parent).toLongLong(&ok);
        if (!ok || parentPid < 1)
            return usageError(QStringLiteral("--parent must be a process id"));
    }

    if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // The end of the starter (a test killed by its time-out, a script
    // interrupted) ends the fleet like SIGTERM: byes, exit 0.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // A starter that died between its fork and the line above sent no
    // signal and never will; the process has a new parent by now.
    if (parentPid != 0 && qint64(::getppid()) != parentPid) {
        std::fprintf(stderr, "vosk-devsim: the starting process %lld is gone\n", parentPid);
        return 3;
    }

    // The ONVIF devices run in an event loop of their own (HTTP servers and
    // UDP sockets); our own protocol keeps its poll loop on this thread.
    OnvifThread onvifThread(onvifOptions);
    if (onvifOptions.count > 0) {
        onvifThread.setObjectName(QStringLiteral("onvif"));
        onvifThread.start();
        QString error;
        if (!onvifThread.waitOpened(&error)) {
            std::fprintf(stderr, "vosk-devsim: %s\n", qPrintable(error));
            onvifThread.stop();
            return 1;
        }
        std::printf("onvif %d\n", onvifOptions.count);
        std::fflush(stdout);
    }
    auto stopOnvif = [&onvifThread] { onvifThread.stop(); };

    if (options.count == 0) {
        std::printf("ready 0\n");
        std::fflush(stdout);
        pollfd stop = {g_stopPipe[0], POLLIN, 0};
        while (::poll(&stop, 1, -1) < 0 || !(stop.revents & (POLLIN | POLLHUP)))
            ;
        stopOnvif();
        return 0;
    }
    VoskSim::SimFleet fleet(options);
    QString error;
    if (!fleet.open(error)) {
        std::fprintf(stderr, "vosk-devsim: %s\n", qPrintable(error));
        stopOnvif();
        return 1;
    }
    fleet.run(g_stopPipe[0]);
    stopOnvif();
    return 0;
}
