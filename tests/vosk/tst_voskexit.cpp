// The library at process exit: stopped from the handler singleton's
// destructor during static destruction, with reports still arriving, after
// the application object is gone or in a process that never had one. And
// VOSK_Stop from inside the report callback fails instead of deadlocking.

#include "tests/vosk/voskfixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace VoskTest;

namespace {

struct StopFromCallback
{
    std::atomic<int> calls{0};
    std::atomic<int> result{-1};
    std::atomic<int> error{0};
};

void stopFromCallback(const VOSK_DEVICE_INFO *, void *user)
{
    auto *probe = static_cast<StopFromCallback *>(user);
    if (probe->calls++ == 0) {
        probe->result = VOSK_Stop();
        probe->error = VOSK_GetLastError();
    }
}

} // namespace

class TestVoskExit final : public QObject
{
    Q_OBJECT

private:
    Devsim m_devsim;
    QTemporaryDir m_logDir;

private Q_SLOTS:
    void initTestCase()
    {
        pinToLoopback(47215, "239.255.86.115");
        QVERIFY(m_logDir.isValid());
        qputenv("VOSK_LOG_DIR", QFile::encodeName(m_logDir.path()));
        QVERIFY(m_devsim.start({QStringLiteral("--count"), QStringLiteral("20"), QStringLiteral("--seed"),
                                QStringLiteral("3")}));
    }

    void cleanupTestCase() { m_devsim.stop(); }

    void stopsCleanlyAtExit_data()
    {
        QTest::addColumn<QString>("mode");
        for (int round = 0; round < 3; ++round) {
            QTest::addRow("with an application object, %d", round) << QStringLiteral("app");
            QTest::addRow("without one, %d", round) << QStringLiteral("noapp");
        }
    }

    void stopsCleanlyAtExit()
    {
        QFETCH(QString, mode);
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(VOSK_EXITPROBE_PATH), {mode, QStringLiteral("20")});
        QVERIFY(probe.waitForFinished(20000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QCOMPARE(probe.readAllStandardOutput().trimmed(), QByteArray("found 20"));
    }

    void stopInsideTheCallbackFails()
    {
        StopFromCallback probe;
        QCOMPARE(VOSK_Start_V30(&stopFromCallback, 1, &probe), 1);
        QTRY_VERIFY_WITH_TIMEOUT(probe.result != -1, 5000);
        QCOMPARE(probe.result.load(), 0);
        QCOMPARE(probe.error.load(), int(VOSK_ERR_WRONG_THREAD));
        QCOMPARE(VOSK_Stop(), 1);
    }
};

QTEST_GUILESS_MAIN(TestVoskExit)
#include "tst_voskexit.moc"
