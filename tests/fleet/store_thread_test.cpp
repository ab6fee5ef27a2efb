#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <future>

#include "fleet/sql_fleet_store.h"
#include "fleet/store_thread.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

class StoreThreadTest : public ::testing::Test {
protected:
    StoreThreadTest() { kv6::test::coreApp(); }

    // A store on its own thread, opened there.
    std::unique_ptr<StoreThread> openThread(int maxQueued = StoreThread::kMaxQueued) {
        auto thread = std::make_unique<StoreThread>(
            std::make_unique<SqlFleetStore>(dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("test")),
            maxQueued);
        const std::string error = thread->call([](FleetStore& store) {
            std::string why;
            return store.open(why) ? std::string() : why;
        });
        EXPECT_EQ(error, "");
        return thread;
    }
    // Serves this thread's events until `done` or a few seconds passed.
    static bool serveUntil(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(StoreThreadTest, WorkRunsInOrderOnTheStoresThreadAndAnswersComeBackHere) {
    auto thread = openThread();
    QObject context;
    std::vector<std::int64_t> ids;
    std::vector<bool> onStoreThread;
    for (const char* object : {"1001", "1002", "1003"}) {
        NewJob job;
        job.object = object;
        ASSERT_TRUE(thread->post(
            [job, &onStoreThread](FleetStore& store) {
                onStoreThread.push_back(QThread::currentThread() != QCoreApplication::instance()->thread());
                return store.queueJob(job);
            },
            &context,
            [&ids](std::int64_t id) {
                EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                ids.push_back(id);
            }));
    }
    EXPECT_TRUE(ids.empty());  // not before this thread serves its events
    ASSERT_TRUE(serveUntil([&] { return ids.size() == 3; }));
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(onStoreThread, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(thread->load().queued, 0);

    // An answer whose receiver is gone is dropped, not delivered to it.
    bool delivered = false;
    {
        QObject gone;
        ASSERT_TRUE(thread->post([](FleetStore& store) { return store.objectsWithQueuedJobs(); }, &gone,
                                 [&delivered](const std::vector<std::string>&) { delivered = true; }));
        thread->call([](FleetStore&) {});  // it has run; its answer waits here
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

TEST_F(StoreThreadTest, AFullQueueRefusesAtOnceAndALongStatementShowsWhileItRuns) {
    auto thread = openThread(3);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> running{false};
    // One item holds the store, as a statement waiting on a lock would.
    ASSERT_TRUE(thread->post([released, &running](FleetStore&) {
        running = true;
        released.wait();
    }));
    ASSERT_TRUE(serveUntil([&] { return running.load(); }));
    ASSERT_TRUE(thread->post([](FleetStore&) {}));
    ASSERT_TRUE(thread->post([](FleetStore&) {}));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(thread->post([](FleetStore&) { ADD_FAILURE() << "a refused item ran"; }));
    EXPECT_LT(timer.elapsed(), 100);  // refused, not waited for
    QThread::msleep(300);
    const StoreThread::Load load = thread->load();
    EXPECT_EQ(load.queued, 3);
    EXPECT_GE(load.runningMs, 250);

    release.set_value();
    ASSERT_TRUE(serveUntil([&] { return thread->load().queued == 0; }));
    EXPECT_EQ(thread->load().runningMs, -1);
    EXPECT_TRUE(thread->post([](FleetStore&) {}));
}

TEST_F(StoreThreadTest, StoppingRunsWhatWasPostedAndRefusesWhatComesAfter) {
    auto thread = openThread();
    NewJob job;
    job.object = "1001";
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(thread->post([job](FleetStore& store) { (void)store.queueJob(job); }));
    thread->stop();
    EXPECT_FALSE(thread->post([](FleetStore&) {}));
    thread.reset();

    SqlFleetStore reopened(dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("check"));
    std::string error;
    ASSERT_TRUE(reopened.open(error)) << error;
    EXPECT_EQ(reopened.jobs(std::string("1001"), std::nullopt).size(), 50u);
}

}  // namespace kv6::fleet::test
