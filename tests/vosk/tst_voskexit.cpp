// The library at process exit: stopped from the handler singleton's
// destructor during static destruction, with reports still arriving, after
// the application object is gone or in a process that never had one. And
// VOSK_Stop from inside the report callback fails instead of deadlocking.

#include "tests/vosk/voskfixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

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

// An operation from inside the callback: the library's thread would have to
// receive its own answer while it waits for it.
struct OperateFromCallback
{
    std::atomic<int> calls{0};
    std::atomic<int> result{-1};
    std::atomic<int> error{0};
};

void operateFromCallback(const VOSK_DEVICE_INFO *record, void *user)
{
    auto *probe = static_cast<OperateFromCallback *>(user);
    if (probe->calls++ == 0) {
        probe->result = VOSK_ActivateDevice(record->serialNumber, "Callback#Pass1");
        probe->error = VOSK_GetLastError();
    }
}

// A slow receiver: every callback takes a while, so a stop lands in one.
struct SlowReceiver
{
    std::atomic<int> calls{0};
    std::atomic<bool> inside{false};
};

void slowCallback(const VOSK_DEVICE_INFO *, void *user)
{
    auto *receiver = static_cast<SlowReceiver *>(user);
    receiver->inside = true;
    ++receiver->calls;
    QThread::msleep(300);
    receiver->inside = false;
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
    // A failed test leaves nothing running for the next.
    void cleanup() { VOSK_Stop(); }

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

    void operationInsideTheCallbackFailsAtOnce()
    {
        OperateFromCallback probe;
        QCOMPARE(VOSK_Start_V30(&operateFromCallback, 1, &probe), 1);
        QTRY_VERIFY_WITH_TIMEOUT(probe.result != -1, 5000);
        QCOMPARE(probe.result.load(), 0);
        QCOMPARE(probe.error.load(), int(VOSK_ERR_WRONG_THREAD));
        // Discovery went on meanwhile: every device arrived.
        QTRY_COMPARE_WITH_TIMEOUT(probe.calls.load(), 20, 5000);
        QCOMPARE(VOSK_Stop(), 1);
    }

    void everyStopWaitsForTheLastCallback()
    {
        SlowReceiver receiver;
        QCOMPARE(VOSK_Start_V30(&slowCallback, 1, &receiver), 1);
        QTRY_VERIFY_WITH_TIMEOUT(receiver.inside.load(), 5000);
        std::thread first([] { VOSK_Stop(); });
        QThread::msleep(50);
        // The first stop is waiting for the callback now; this one must too.
        const int result = VOSK_Stop();
        const bool callbackRunning = receiver.inside;
        const int calls = receiver.calls;
        first.join();
        QCOMPARE(result, 1);
        QVERIFY(!callbackRunning);
        QThread::msleep(400);
        QCOMPARE(receiver.calls.load(), calls);
        // And a new start after it works as before.
        QCOMPARE(VOSK_Start_V30(&slowCallback, 1, &receiver), 1);
        QCOMPARE(VOSK_Stop(), 1);
    }
};

QTEST_GUILESS_MAIN(TestVoskExit)
#include "tst_voskexit.moc"
