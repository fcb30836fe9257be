// vosk-devsim: a fleet of simulated network video devices.
//   vosk-devsim --count N --seed S [--interfaces lo] [--state FILE]
//               [--drop P] [--delay MS] [--refuse] [--password TEXT]
//               [--host-address] [--parent PID] [--legacy]
// Prints "ready N" once it listens. SIGTERM or SIGINT: a bye for every
// device, then exit 0. It gets SIGTERM when the process that started it
// ends, so a fleet never outlives its test or script.

#include "tools/devsim/simfleet.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vosk-devsim"));
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
    parser.addOptions({count, seed, interfaces, state, drop, delay, refuse, password, hostAddress, parent, legacy});
    parser.process(app);

    VoskSim::FleetOptions options;
    bool ok = false;
    options.count = parser.value(count).toInt(&ok);
    if (!ok || options.count < 1 || options.count > VoskSim::FleetOptions::kMaxCount)
        return usageError(QStringLiteral("--count must be 1..%1").arg(VoskSim::FleetOptions::kMaxCount));
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
    options.hostAddress = parser.isSet(hostAddress);
    options.legacy = parser.isSet(legacy);
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

    VoskSim::SimFleet fleet(options);
    QString error;
    if (!fleet.open(error)) {
        std::fprintf(stderr, "vosk-devsim: %s\n", qPrintable(error));
        return 1;
    }
    fleet.run(g_stopPipe[0]);
    return 0;
}
