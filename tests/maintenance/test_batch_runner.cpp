// SPDX-License-Identifier: GPL-3.0-or-later
// The batch runner: the stop flag belongs to it, and a batch that throws ends with a message.
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

// The scripted sink and questions, with the stop flag the runner keeps.
class RunnerHost : public FakeHost
{
public:
    explicit RunnerHost(BatchRunner& runner) : m_runner(runner) {}
    bool stopRequested() const override { return m_runner.stopRequested(); }

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
        [&](ProgressSink& sink, BatchQuestions&) {
            sawStopAtStart = sink.stopRequested();
            looked.release();
            pressed.acquire();
            sawStopLater = sink.stopRequested();
        },
        host, host));
    EXPECT_TRUE(runner.busy());
    // One batch at a time.
    EXPECT_FALSE(runner.start(
        QStringLiteral("second"), [](ProgressSink&, BatchQuestions&) {}, host, host));
    looked.acquire();
    runner.requestStop();
    pressed.release();
    ASSERT_TRUE(waitUntilIdle(runner));
    EXPECT_FALSE(sawStopAtStart);
    EXPECT_TRUE(sawStopLater);
    EXPECT_TRUE(runner.stopRequested());
    EXPECT_EQ(finished, 1);
}

// A batch that throws ends with a message instead of taking the program down.
TEST(BatchRunner, AnExceptionBecomesAMessage)
{
    BatchRunner runner;
    RunnerHost host(runner);
    host.queueAnswer(MsgAnswer::Ok);
    ASSERT_TRUE(runner.start(
        QStringLiteral("test"),
        [](ProgressSink&, BatchQuestions&) { throw std::runtime_error("disk on fire"); }, host,
        host));
    ASSERT_TRUE(waitUntilIdle(runner));
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
                              [&](ProgressSink& sink, BatchQuestions&) {
                                  letGo.acquire();
                                  sawStop = sink.stopRequested();
                                  ended = true;
                              },
                              host, host));
    QTimer::singleShot(0, [&] { letGo.release(); });
    runner.reset();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(sawStop);
}
