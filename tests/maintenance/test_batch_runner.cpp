// The batch runner: the stop flag belongs to it, and a batch sees only its own snapshot.
#include "common/FakeHost.h"
#include "maintenance/BatchRunner.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QSemaphore>
#include <QTimer>

#include <atomic>
#include <memory>
#include <stdexcept>

using namespace kelmar;
using namespace kelmar::test;

namespace {

// The scripted host, with the stop flag the runner keeps.
class RunnerHost : public FakeHost
{
public:
    explicit RunnerHost(BatchRunner& runner) : m_runner(runner) {}
    bool stopRequested() const override { return m_runner.stopRequested(); }
    void requestStop() override { m_runner.requestStop(); }
    QString folder() const override { return m_runner.snapshot().folder; }
    int fileCount() const override { return int(m_runner.snapshot().names.size()); }
    QString fileName(int position) const override { return m_runner.snapshot().names.at(position); }
    bool isSelected(int position) const override
    {
        return m_runner.snapshot().selected.at(std::size_t(position)) != 0;
    }
    Options options() const override { return m_runner.snapshot().options; }

private:
    BatchRunner& m_runner;
};

// Runs this thread's events until the runner says its batch has finished.
bool waitUntilIdle(BatchRunner& runner)
{
    QEventLoop loop;
    QObject::connect(&runner, &BatchRunner::finished, &loop, &QEventLoop::quit);
    if (runner.busy())
        loop.exec();
    return !runner.busy();
}

BatchSnapshot listOf(const QStringList& names)
{
    BatchSnapshot s;
    s.folder = QStringLiteral("/roms");
    s.names = names;
    s.selected.assign(std::size_t(names.size()), 1);
    return s;
}

} // namespace

// A Stop from before the batch does not count; one pressed during it does, and stays set
// until the next batch starts.
TEST(BatchRunner, ClearsTheStopFlagWhenABatchStartsAndNeverAfter)
{
    BatchRunner runner;
    RunnerHost host(runner);
    runner.requestStop();
    std::atomic<bool> sawStopAtStart{true};
    QSemaphore looked;
    QSemaphore pressed;
    std::atomic<bool> sawStopLater{false};
    int finished = 0;
    QObject::connect(&runner, &BatchRunner::finished, [&] { ++finished; });
    ASSERT_TRUE(runner.start(
        QStringLiteral("test"),
        [&](BatchHost& h) {
            sawStopAtStart = h.stopRequested();
            looked.release();
            pressed.acquire();
            sawStopLater = h.stopRequested();
        },
        host, listOf({"a.zip"})));
    EXPECT_TRUE(runner.busy());
    // One batch at a time.
    EXPECT_FALSE(runner.start(QStringLiteral("second"), [](BatchHost&) {}, host, {}));
    looked.acquire();
    runner.requestStop();
    pressed.release();
    ASSERT_TRUE(waitUntilIdle(runner));
    EXPECT_FALSE(sawStopAtStart);
    EXPECT_TRUE(sawStopLater);
    EXPECT_TRUE(runner.stopRequested());
    EXPECT_EQ(finished, 1);
}

// The batch reads the list as it was when it started, and a batch that throws ends with a
// message instead of taking the program down.
TEST(BatchRunner, TheBatchSeesItsSnapshotAndAnExceptionBecomesAMessage)
{
    BatchRunner runner;
    RunnerHost host(runner);
    QStringList seen;
    host.queueAnswer(MsgAnswer::Ok);
    BatchSnapshot snapshot = listOf({"a.zip", "b.nes"});
    snapshot.options.sliCompression = 9;
    ASSERT_TRUE(runner.start(
        QStringLiteral("test"),
        [&](BatchHost& h) {
            for (int i = 0; i < h.fileCount(); ++i)
                seen << h.fullPath(i);
            seen << QString::number(h.options().sliCompression);
            throw std::runtime_error("disk on fire");
        },
        host, snapshot));
    snapshot.names.clear(); // the caller's copy is not what the batch reads
    ASSERT_TRUE(waitUntilIdle(runner));
    EXPECT_EQ(seen, QStringList({"/roms/a.zip", "/roms/b.nes", "9"}));
    EXPECT_EQ(host.questions, QStringList{"Kelmar|Unexpected Error: disk on fire"});
}

// A runner that goes away during a batch stops it and waits for its thread, running this
// thread's events meanwhile: the batch is let go only by an event, run once the wait began.
TEST(BatchRunner, DestroyedDuringABatchStopsItAndWaits)
{
    std::atomic<bool> sawStop{false};
    std::atomic<bool> ended{false};
    QSemaphore letGo;
    auto runner = std::make_unique<BatchRunner>();
    RunnerHost host(*runner);
    ASSERT_TRUE(runner->start(QStringLiteral("long"),
                              [&](BatchHost& h) {
                                  letGo.acquire();
                                  sawStop = h.stopRequested();
                                  ended = true;
                              },
                              host, {}));
    QTimer::singleShot(0, [&] { letGo.release(); });
    runner.reset();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(sawStop);
}
