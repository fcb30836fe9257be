// Several hosts on one machine: the test's own network namespace plays the
// technician's PC, two namespaces made here play device hosts, and a bridge
// (IGMP snooping off) in a fourth joins them. One device host sits on a
// wrong subnet; it must still be found and be re-addressed into the PC's
// subnet. Needs root (CI runs it inside `unshare --net` as root); without
// the rights it skips. Everything it makes is removed on every path.

#include "tests/vosk/voskfixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <ifaddrs.h>
#include <net/if.h>
#include <unistd.h>

using namespace VoskTest;

namespace {

bool run(const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), arguments);
    if (!process.waitForFinished(10000))
        return false;
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// sysctl -w in that namespace (empty: this one).
bool sysctl(const QString &ns, const QStringList &settings)
{
    QStringList arguments{QStringLiteral("sysctl"), QStringLiteral("-q"), QStringLiteral("-w")};
    arguments += settings;
    if (ns.isEmpty())
        return QProcess::execute(arguments.takeFirst(), arguments) == 0;
    return run(QStringList{QStringLiteral("netns"), QStringLiteral("exec"), ns} + arguments);
}

bool sysctlOff(const QString &ns, const QString &iface)
{
    QStringList keys{QStringLiteral("net.ipv4.conf.all.rp_filter=0"),
                     QStringLiteral("net.ipv4.conf.default.rp_filter=0")};
    if (!iface.isEmpty())
        keys << QStringLiteral("net.ipv4.conf.%1.rp_filter=0").arg(iface);
    return sysctl(ns, keys);
}

// Interfaces of the current namespace other than loopback.
// The namespaces, bridge and veth pairs of one test run, named after the
// process so that parallel or left-over runs never collide.
class Topology final
{
public:
    Topology()
        : m_tag(QString::number(QCoreApplication::applicationPid()))
        , bridgeNs(QStringLiteral("vktb") + m_tag)
        , sameNs(QStringLiteral("vkts") + m_tag)
        , wrongNs(QStringLiteral("vktw") + m_tag)
        , toolIf(QStringLiteral("vktt") + m_tag)
        , v6Ns(QStringLiteral("vkt6") + m_tag)
        , lateNs(QStringLiteral("vktl") + m_tag)
        , lateIf(QStringLiteral("vktu") + m_tag)
    {
    }
    ~Topology() { tearDown(); }

    // Removes namespaces that crashed runs left behind.
    static void removeStale()
    {
        QByteArray list;
        if (!run({QStringLiteral("netns"), QStringLiteral("list")}, &list))
            return;
        for (const QByteArray &line : list.split('\n')) {
            const QString name = QString::fromLatin1(line.split(' ').value(0));
            if (!name.startsWith(QLatin1String("vkt")) || name.size() < 5)
                continue;
            const qint64 pid = name.mid(4).toLongLong();
            if (pid > 0 && ::kill(pid_t(pid), 0) != 0)
                run({QStringLiteral("netns"), QStringLiteral("del"), name});
        }
    }

    // Builds it; false with the failing step in error.
    bool build(QString &error)
    {
        m_made = true;
        auto step = [&](const QStringList &arguments) {
            if (run(arguments))
                return true;
            error = QStringLiteral("ip ") + arguments.join(QLatin1Char(' '));
            return false;
        };
        const QString br = QStringLiteral("br0");
        if (!step({QStringLiteral("netns"), QStringLiteral("add"), bridgeNs})
            || !step({QStringLiteral("netns"), QStringLiteral("add"), sameNs})
            || !step({QStringLiteral("netns"), QStringLiteral("add"), wrongNs})
            || !step({QStringLiteral("netns"), QStringLiteral("add"), v6Ns}))
            return false;
        // Link-local addresses usable at once (no duplicate detection); the
        // wrong-subnet host speaks IPv4 only, so that its test is of IPv4.
        if (!sysctl(sameNs, {QStringLiteral("net.ipv6.conf.default.accept_dad=0")})
            || !sysctl(v6Ns, {QStringLiteral("net.ipv6.conf.default.accept_dad=0")})
            || !sysctl(wrongNs, {QStringLiteral("net.ipv6.conf.default.disable_ipv6=1")})) {
            error = QStringLiteral("sysctl in the host namespaces");
            return false;
        }
        if (!step({QStringLiteral("-n"), bridgeNs, QStringLiteral("link"), QStringLiteral("add"), br,
                      QStringLiteral("type"), QStringLiteral("bridge"), QStringLiteral("mcast_snooping"),
                      QStringLiteral("0")})
            || !step({QStringLiteral("-n"), bridgeNs, QStringLiteral("link"), QStringLiteral("set"), br,
                      QStringLiteral("up")}))
            return false;
        // The PC's end stays in this namespace.
        if (!step({QStringLiteral("link"), QStringLiteral("add"), toolIf, QStringLiteral("type"),
                   QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), QStringLiteral("pc"),
                   QStringLiteral("netns"), bridgeNs})
            || !sysctl(QString(), {QStringLiteral("net.ipv6.conf.%1.accept_dad=0").arg(toolIf)})
            || !step({QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("192.168.77.1/24"),
                      QStringLiteral("dev"), toolIf})
            || !step({QStringLiteral("link"), QStringLiteral("set"), toolIf, QStringLiteral("up")})
            || !step({QStringLiteral("-n"), bridgeNs, QStringLiteral("link"), QStringLiteral("set"),
                      QStringLiteral("pc"), QStringLiteral("master"), br, QStringLiteral("up")}))
            return false;
        const struct { QString ns; QString port; QString address; } hosts[] = {
            {sameNs, QStringLiteral("hs"), QStringLiteral("192.168.77.10/24")},
            {wrongNs, QStringLiteral("hw"), QStringLiteral("10.99.0.2/24")},
            {v6Ns, QStringLiteral("h6"), QString()},  // IPv6 link-local only
        };
        for (const auto &host : hosts) {
            if (!step({QStringLiteral("-n"), host.ns, QStringLiteral("link"), QStringLiteral("add"),
                       QStringLiteral("eth0"), QStringLiteral("type"), QStringLiteral("veth"), QStringLiteral("peer"),
                       QStringLiteral("name"), host.port, QStringLiteral("netns"), bridgeNs})
                || (!host.address.isEmpty()
                    && !step({QStringLiteral("-n"), host.ns, QStringLiteral("addr"), QStringLiteral("add"),
                              host.address, QStringLiteral("dev"), QStringLiteral("eth0")}))
                || !step({QStringLiteral("-n"), host.ns, QStringLiteral("link"), QStringLiteral("set"),
                          QStringLiteral("eth0"), QStringLiteral("up")})
                || !step({QStringLiteral("-n"), host.ns, QStringLiteral("link"), QStringLiteral("set"),
                          QStringLiteral("lo"), QStringLiteral("up")})
                || !step({QStringLiteral("-n"), bridgeNs, QStringLiteral("link"), QStringLiteral("set"), host.port,
                          QStringLiteral("master"), br, QStringLiteral("up")}))
                return false;
            // A wrong-subnet source has no route back: strict or loose
            // reverse-path filtering would drop its multicast.
            if (!sysctlOff(host.ns, QStringLiteral("eth0"))) {
                error = QStringLiteral("sysctl rp_filter in ") + host.ns;
                return false;
            }
        }
        if (!sysctlOff(QString(), toolIf)) {
            error = QStringLiteral("sysctl rp_filter");
            return false;
        }
        return true;
    }

    // A host on a link of its own that appears while discovery runs.
    bool addLateHost(QString &error)
    {
        m_lateMade = true;
        const QStringList steps[] = {
            {QStringLiteral("netns"), QStringLiteral("add"), lateNs},
            {QStringLiteral("link"), QStringLiteral("add"), lateIf, QStringLiteral("type"), QStringLiteral("veth"),
             QStringLiteral("peer"), QStringLiteral("name"), QStringLiteral("eth0"), QStringLiteral("netns"), lateNs},
            {QStringLiteral("addr"), QStringLiteral("add"), QStringLiteral("172.31.5.1/24"), QStringLiteral("dev"),
             lateIf},
            {QStringLiteral("link"), QStringLiteral("set"), lateIf, QStringLiteral("up")},
            {QStringLiteral("-n"), lateNs, QStringLiteral("addr"), QStringLiteral("add"),
             QStringLiteral("172.31.5.2/24"), QStringLiteral("dev"), QStringLiteral("eth0")},
            {QStringLiteral("-n"), lateNs, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("eth0"),
             QStringLiteral("up")},
        };
        for (const QStringList &arguments : steps) {
            if (!run(arguments)) {
                error = QStringLiteral("ip ") + arguments.join(QLatin1Char(' '));
                return false;
            }
        }
        return true;
    }

    void removeLateHost()
    {
        if (!m_lateMade)
            return;
        m_lateMade = false;
        run({QStringLiteral("netns"), QStringLiteral("del"), lateNs});
        run({QStringLiteral("link"), QStringLiteral("del"), lateIf});
    }

    void tearDown()
    {
        removeLateHost();
        if (!m_made)
            return;
        m_made = false;
        // Deleting a namespace deletes its veth ends and so their peers.
        for (const QString &ns : {v6Ns, wrongNs, sameNs, bridgeNs})
            run({QStringLiteral("netns"), QStringLiteral("del"), ns});
        run({QStringLiteral("link"), QStringLiteral("del"), toolIf});
    }

private:
    const QString m_tag;
    bool m_made = false;
    bool m_lateMade = false;

public:
    const QString bridgeNs;
    const QString sameNs;
    const QString wrongNs;
    const QString toolIf;
    const QString v6Ns;
    const QString lateNs;
    const QString lateIf;
};

// A simulator started inside a namespace with `ip netns exec`.
class NsDevsim final
{
public:
    ~NsDevsim() { stop(); }
    bool start(const QString &ns, const QStringList &arguments)
    {
        return VoskTest::startAndAwaitReady(
            m_process, QStringLiteral("ip"),
            QStringList{QStringLiteral("netns"), QStringLiteral("exec"), ns, QStringLiteral(VOSK_DEVSIM_PATH)} + arguments);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        // `ip netns exec` execs the simulator, so this is its pid.
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
};

} // namespace

class TestVoskNetns final : public QObject
{
    Q_OBJECT

private:
    Topology m_topology;
    NsDevsim m_same;
    NsDevsim m_wrong;
    NsDevsim m_late;
    NsDevsim m_v6;
    EventLog m_log;

private Q_SLOTS:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to make network namespaces (CI runs it as root inside unshare --net)");
        const QStringList foreign = VoskTest::foreignInterfaces();
        if (!foreign.isEmpty())
            QSKIP(qPrintable(QStringLiteral("runs only inside a private network namespace (./test.sh), "
                                            "this one has %1").arg(foreign.join(QLatin1Char(',')))));
        Topology::removeStale();
        QString error;
        if (!m_topology.build(error)) {
            m_topology.tearDown();
            if (error.contains(QLatin1String("netns add")))
                QSKIP(qPrintable(QStringLiteral("cannot make network namespaces here: ") + error));
            QFAIL(qPrintable(QStringLiteral("setting up the namespaces failed at: ") + error));
        }
        qputenv("VOSK_PORT", "47214");
        qputenv("VOSK_GROUP", "239.255.86.114");
        // The second one does not exist yet: it appears in a later test.
        qputenv("VOSK_INTERFACES", (m_topology.toolIf + QLatin1Char(',') + m_topology.lateIf).toLatin1());
    }

    void cleanupTestCase()
    {
        VOSK_Stop();
        m_same.stop();
        m_wrong.stop();
        m_late.stop();
        m_v6.stop();
        m_topology.tearDown();
    }

    void wrongSubnetDeviceIsFoundAndReaddressed()
    {
        const QStringList common{QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--interfaces"),
                                 QStringLiteral("eth0"), QStringLiteral("--host-address")};
        QVERIFY(m_same.start(m_topology.sameNs, common + QStringList{QStringLiteral("--seed"), QStringLiteral("21")}));
        QVERIFY(m_wrong.start(m_topology.wrongNs, common + QStringList{QStringLiteral("--seed"), QStringLiteral("22")}));
        QCOMPARE(VOSK_SetDeviceFilterRule(0, 0, 0), 1);
        QCOMPARE(VOSK_Start_V30(&EventLog::callback, 1, &m_log), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), 2, 10000);

        const VoskSim::SimDevice wrong = VoskSim::SimDevice::generate(22, 0, QByteArrayLiteral("Admin12345"));
        const QByteArray mac = wrong.record().mac;
        VOSK_DEVICE_INFO info;
        QVERIFY(m_log.latest(VOSK_EVENT_ONLINE, mac, info));
        QCOMPARE(QByteArray(info.ipv4Address), QByteArray("10.99.0.2"));
        QVERIFY(m_log.latest(VOSK_EVENT_ONLINE,
                             VoskSim::SimDevice::generate(21, 0, QByteArrayLiteral("Admin12345")).record().mac, info));
        QCOMPARE(QByteArray(info.ipv4Address), QByteArray("192.168.77.10"));

        QByteArray password = QByteArrayLiteral("Admin12345");
        if (wrong.record().notActivated) {
            password = QByteArrayLiteral("Netns#Pass1");
            QCOMPARE(VOSK_ActivateDevice(wrong.record().serialNumber.constData(), password.constData()), 1);
        }
        VOSK_NET_PARAM param = netParam("192.168.77.20", "255.255.255.0", "192.168.77.1", wrong.record().port);
        QCOMPARE(VOSK_ModifyDeviceNetParam(mac.constData(), password.constData(), &param), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_log.latest(VOSK_EVENT_UPDATED, mac, info)
                                     && QByteArray(info.ipv4Address) == "192.168.77.20",
                                 5000);
        // The host really moved into the PC's subnet...
        QByteArray addresses;
        QVERIFY(run({QStringLiteral("-n"), m_topology.wrongNs, QStringLiteral("-4"), QStringLiteral("-o"),
                     QStringLiteral("addr"), QStringLiteral("show"), QStringLiteral("dev"), QStringLiteral("eth0")},
                    &addresses));
        QVERIFY2(addresses.contains("192.168.77.20/24"), addresses.constData());
        QVERIFY2(!addresses.contains("10.99.0.2"), addresses.constData());
        // ...and still answers there.
        m_log.clear();
        QCOMPARE(VOSK_Clearup(), 1);
        QCOMPARE(VOSK_SendInquiry(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_log.latest(VOSK_EVENT_ONLINE, mac, info), 5000);
        QCOMPARE(QByteArray(info.ipv4Address), QByteArray("192.168.77.20"));
        QCOMPARE(VOSK_ModifyDeviceNetParam(mac.constData(), password.constData(), &param), 1);
    }

    void ipv6OnlyHostIsFoundAndConfigured()
    {
        QVERIFY(m_v6.start(m_topology.v6Ns, {QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--seed"),
                                             QStringLiteral("24"), QStringLiteral("--interfaces"),
                                             QStringLiteral("eth0")}));
        const VoskSim::SimDevice device = VoskSim::SimDevice::generate(24, 0, QByteArrayLiteral("Admin12345"));
        const QByteArray mac = device.record().mac;
        VOSK_DEVICE_INFO info;
        QTRY_VERIFY_WITH_TIMEOUT(m_log.latest(VOSK_EVENT_ONLINE, mac, info), 5000);
        QByteArray password = QByteArrayLiteral("Admin12345");
        if (device.record().notActivated) {
            password = QByteArrayLiteral("Six#Pass1");
            QCOMPARE(VOSK_ActivateDevice(device.record().serialNumber.constData(), password.constData()), 1);
        }
        VOSK_NET_PARAM param = netParam("192.168.77.30", "255.255.255.0", "192.168.77.1", device.record().port);
        QCOMPARE(VOSK_ModifyDeviceNetParam(mac.constData(), password.constData(), &param), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_log.latest(VOSK_EVENT_UPDATED, mac, info)
                                     && QByteArray(info.ipv4Address) == "192.168.77.30",
                                 5000);
        m_v6.stop();
        QTRY_VERIFY_WITH_TIMEOUT(m_log.latest(VOSK_EVENT_OFFLINE, mac, info), 5000);
    }

    void interfacesThatComeAndGoAreFollowed()
    {
        QString error;
        QVERIFY2(m_topology.addLateHost(error), qPrintable(error));
        QVERIFY(m_late.start(m_topology.lateNs, {QStringLiteral("--count"), QStringLiteral("1"),
                                                 QStringLiteral("--seed"), QStringLiteral("23"),
                                                 QStringLiteral("--interfaces"), QStringLiteral("eth0"),
                                                 QStringLiteral("--host-address")}));
        const QByteArray mac = VoskSim::SimDevice::generate(23, 0, QByteArrayLiteral("Admin12345")).record().mac;
        VOSK_DEVICE_INFO info;
        // Seen within a rescan (2 s) and an inquiry, without a refresh.
        QTRY_VERIFY_WITH_TIMEOUT(m_log.latest(VOSK_EVENT_ONLINE, mac, info), 6000);
        QCOMPARE(QByteArray(info.ipv4Address), QByteArray("172.31.5.2"));

        m_late.stop();
        m_topology.removeLateHost();
        QTest::qWait(2500);
        m_log.clear();
        QCOMPARE(VOSK_Clearup(), 1);
        QCOMPARE(VOSK_SendInquiry(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(m_log.count(VOSK_EVENT_ONLINE), 2, 5000);
    }
};

QTEST_GUILESS_MAIN(TestVoskNetns)
#include "tst_vosknetns.moc"
