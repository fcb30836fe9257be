#pragma once

// Moves the calling test process into a network namespace of its own with
// loopback up and a multicast route over it. Processes it starts inherit
// the namespace, so a simulator and the clients it serves meet there and
// nowhere else: WS-Discovery's fixed group and port are then the test's
// alone, whatever runs beside it.

#include <QAbstractSocket>
#include <QNetworkInterface>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <sched.h>

namespace TestSupport {

// False (with the reason) when the process may not make a namespace:
// it takes root, or the mapped root of ./test.sh's namespace.
inline bool enterPrivateNetwork(QString &error)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        error = QStringLiteral("needs to make a network namespace (root, or inside ./test.sh's namespace)");
        return false;
    }
    const QList<QStringList> commands = {
        {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")},
        // Clients that send to the group without naming an interface follow
        // the routes; the source address must be one a device can answer.
        {QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("224.0.0.0/4"), QStringLiteral("dev"),
         QStringLiteral("lo"), QStringLiteral("src"), QStringLiteral("127.0.0.1")},
    };
    for (const QStringList &arguments : commands) {
        if (QProcess::execute(QStringLiteral("ip"), arguments) != 0) {
            error = QStringLiteral("ip %1 failed").arg(arguments.join(QLatin1Char(' ')));
            return false;
        }
    }
    return true;
}

// Runs `ip` with the arguments (inside the test's namespace); true when it
// succeeded.
inline bool ip(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("ip"), arguments);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Whether the interface has its link-local IPv6 address yet (the kernel
// adds it a moment after the link comes up).
inline bool hasLinkLocalIPv6(const char *name)
{
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(QString::fromLatin1(name));
    for (const QNetworkAddressEntry &e : iface.addressEntries()) {
        if (e.ip().isLinkLocal() && e.ip().protocol() == QAbstractSocket::IPv6Protocol)
            return true;
    }
    return false;
}

} // namespace TestSupport
