#pragma once

// A simulated ONVIF fleet (vosk-devsim --onvif) for the client's end-to-end
// tests and benchmarks: pinned to loopback, on a discovery port, HTTP port
// and address block of the caller's own so that parallel tests never meet,
// ended with the test (the simulator watches its parent).

#include <QProcess>
#include <QStringList>

#include <csignal>
#include <unistd.h>

namespace TestSupport {

class OnvifSim final
{
public:
    ~OnvifSim() { kill(); }

    // Starts `vosk-devsim --count 0 --onvif count` with the extra arguments
    // and waits for its "ready" line. False when it did not get ready
    // within 20 s.
    bool start(const QString &program, int count, quint16 discoveryPort, quint16 httpPort, const QString &firstAddress,
               const QStringList &extra = {})
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, QStringList{QStringLiteral("--interfaces"), QStringLiteral("lo"),
                                             QStringLiteral("--count"), QStringLiteral("0"),
                                             QStringLiteral("--onvif"), QString::number(count),
                                             QStringLiteral("--onvif-discovery-port"), QString::number(discoveryPort),
                                             QStringLiteral("--onvif-port"), QString::number(httpPort),
                                             QStringLiteral("--onvif-address"), firstAddress,
                                             QStringLiteral("--parent"), QString::number(::getpid())}
                                     + extra);
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray out;
        while (!out.contains("ready")) {
            if (!m_process.waitForReadyRead(20000))
                return false;
            out += m_process.readAllStandardOutput();
        }
        return true;
    }
    // SIGTERM: every device says Bye.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        return m_process.waitForFinished(5000);
    }
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

} // namespace TestSupport
