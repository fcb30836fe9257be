#include "aptui/cuisingleton.h"

#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::atomic<int> s_constructed{0};

// Slow to build, so that racing first callers overlap inside creation.
class Slow final : public TarnGUIToolkit::CUiSingleton<Slow>
{
    friend class TarnGUIToolkit::CUiSingleton<Slow>;
    Slow()
    {
        ++s_constructed;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
};

} // namespace

// Process-wide objects: however many threads ask first, one object is made
// and every caller gets it.
class TestCUiSingleton final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void racingFirstCallsMakeOneObject()
    {
        constexpr int kThreads = 8;
        std::vector<Slow *> seen(kThreads, nullptr);
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                while (!go.load())
                    std::this_thread::yield();
                seen[i] = Slow::GetInstance();
            });
        }
        go = true;
        for (std::thread &thread : threads)
            thread.join();
        QCOMPARE(s_constructed.load(), 1);
        for (Slow *object : seen)
            QCOMPARE(object, Slow::GetInstance());
        QVERIFY(Slow::GetInstance());
        QCOMPARE(s_constructed.load(), 1);
    }
};

QTEST_APPLESS_MAIN(TestCUiSingleton)
#include "tst_cuisingleton.moc"
