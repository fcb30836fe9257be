#pragma once

// Runs the console program for the tests that drive it from outside, as a
// user's script would: arguments, standard input, environment in; exit
// code and both outputs back.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace CliTest {

struct Run
{
    int code = -1; // -1: did not start, or did not end normally in time
    QByteArray out;
    QByteArray err;
};

// Runs vosktool-cli (VOSKTOOL_CLI_PATH, defined by the test's target) to
// its end: `input` is written to its standard input, which is then
// closed. The time limit only bounds a failure: every run ends by itself.
inline Run run(const QStringList &arguments, const QByteArray &input = QByteArray(),
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
               int limitMs = 180000)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VOSKTOOL_CLI_PATH), arguments);
    Run result;
    if (!process.waitForStarted(10000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(limitMs);
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// The system environment with ONVIF discovery moved to `port`.
inline QProcessEnvironment onvifEnvironment(int port)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VOSK_ONVIF_PORT"), QString::number(port));
    return environment;
}

} // namespace CliTest
