#pragma once

// Shared by the tests that run the real library against the simulator: a
// simulator process, a collector of report callbacks and a listener that
// captures the datagrams on the test's group.

#include "tools/devsim/simdevice.h"
#include "vosk/multicastsocket.h"
#include "vosk/recordtext.h"
#include "vosk/vosk.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <unistd.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <cstring>

namespace VoskTest {

// Interfaces other than loopback in this network namespace. Tests that
// change addresses or make namespaces run only where this is empty, i.e.
// inside the private namespace of ./test.sh, never on the host.
inline QStringList foreignInterfaces()
{
    QStringList names;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return names;
    for (ifaddrs *it = list; it; it = it->ifa_next) {
        const QString name = QString::fromLatin1(it->ifa_name);
        if (!(it->ifa_flags & IFF_LOOPBACK) && !names.contains(name))
            names << name;
    }
    freeifaddrs(list);
    return names;
}


// Pins the library and the simulator to loopback, on a group and port of
// this test's own, so that tests running in parallel never meet.
inline void pinToLoopback(int port, const char *group)
{
    qputenv("VOSK_INTERFACES", "lo");
    qputenv("VOSK_PORT", QByteArray::number(port));
    qputenv("VOSK_GROUP", group);
}

// Starts a simulator (or a command that execs one) and waits for its
// "ready" line on standard output. False when it did not start or did not
// get ready within 5 s. The simulator is told this process is its parent:
// it ends with the test, also when ctest kills the test at its time-out.
inline bool startAndAwaitReady(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments + QStringList{QStringLiteral("--parent"), QString::number(::getpid())});
    if (!process.waitForStarted(5000))
        return false;
    QByteArray out;
    while (!out.contains("ready")) {
        if (!process.waitForReadyRead(5000))
            return false;
        out += process.readAllStandardOutput();
    }
    return true;
}

class Devsim final
{
public:
    ~Devsim() { kill(); }

    // Starts the simulator and waits for its "ready" line.
    bool start(const QStringList &arguments)
    {
        return startAndAwaitReady(m_process, QStringLiteral(VOSK_DEVSIM_PATH),
                                  QStringList{QStringLiteral("--interfaces"), QStringLiteral("lo")} + arguments);
    }
    // SIGTERM: the simulator says bye for every device. True on exit 0.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        return m_process.waitForFinished(5000) && m_process.exitStatus() == QProcess::NormalExit
            && m_process.exitCode() == 0;
    }
    // SIGKILL: gone without a word.
    void kill()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
};

class EventLog final
{
public:
    static void callback(const VOSK_DEVICE_INFO *record, void *user)
    {
        auto *log = static_cast<EventLog *>(user);
        QMutexLocker locker(&log->m_mutex);
        log->m_events.append(*record);
    }
    int count(int event) const
    {
        QMutexLocker locker(&m_mutex);
        int n = 0;
        for (const VOSK_DEVICE_INFO &record : m_events)
            n += record.event == event ? 1 : 0;
        return n;
    }
    QList<VOSK_DEVICE_INFO> events() const
    {
        QMutexLocker locker(&m_mutex);
        return m_events;
    }
    void clear()
    {
        QMutexLocker locker(&m_mutex);
        m_events.clear();
    }
    // The latest event of that kind for that MAC; false if none.
    bool latest(int event, const QByteArray &mac, VOSK_DEVICE_INFO &out) const
    {
        QMutexLocker locker(&m_mutex);
        for (auto it = m_events.crbegin(); it != m_events.crend(); ++it) {
            if (it->event == event && mac == it->mac) {
                out = *it;
                return true;
            }
        }
        return false;
    }

private:
    mutable QMutex m_mutex;
    QList<VOSK_DEVICE_INFO> m_events;
};

#ifdef VOSK_RESETSVC_PATH
// Runs the reset-service stand-in; its first output line, empty on failure.
inline QByteArray resetService(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VOSK_RESETSVC_PATH), arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput().trimmed();
}
#endif

// The simulated fleet as the simulator makes it.
inline std::vector<VoskSim::SimDevice> fleet(quint64 seed, int count)
{
    std::vector<VoskSim::SimDevice> devices;
    for (int i = 0; i < count; ++i)
        devices.push_back(VoskSim::SimDevice::generate(seed, i, QByteArrayLiteral("Admin12345")));
    return devices;
}

// The first device of the fleet that matches.
template <typename Pred>
int findDevice(const std::vector<VoskSim::SimDevice> &devices, Pred pred, int skip = 0)
{
    for (int i = 0; i < int(devices.size()); ++i) {
        if (pred(devices[std::size_t(i)].record()) && skip-- == 0)
            return i;
    }
    return -1;
}

inline VOSK_NET_PARAM netParam(const char *ipv4, const char *mask, const char *gateway, quint16 port)
{
    VOSK_NET_PARAM param;
    std::memset(&param, 0, sizeof param);
    VoskNet::setFieldBytes(param.ipv4Address, ipv4);
    VoskNet::setFieldBytes(param.ipv4Mask, mask);
    VoskNet::setFieldBytes(param.ipv4Gateway, gateway);
    param.port = port;
    param.httpPort = 80;
    return param;
}

} // namespace VoskTest
