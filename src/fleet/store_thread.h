#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "fleet/fleet_store.h"

namespace kv6::fleet {

// A store that lives on a thread of its own, so that no statement, however
// long the database makes it wait, holds up the thread that serves the
// modules. Work runs there one item at a time in the order it was posted;
// its result comes back to the thread that made the StoreThread, to a
// context object there (and not at all once that object is gone).
//
// The queue is bounded: a post beyond kMaxQueued items is refused at once,
// and the caller treats it as the store failing that step. Qt's SQL
// connections belong to the thread that opened them, so the store is
// opened, used and destroyed on this thread only.
class StoreThread final {
public:
    // A burst of thousands of modules posts a few items each; far more than
    // that means the store has stopped keeping up, and waiting longer helps no one.
    static constexpr int kMaxQueued = 20000;
    // A statement running longer than this makes the store "slow".
    static constexpr std::int64_t kSlowMs = 2000;

    explicit StoreThread(std::unique_ptr<FleetStore> store, int maxQueued = kMaxQueued);
    // Runs what was posted, then destroys the store on its thread.
    ~StoreThread();
    StoreThread(const StoreThread&) = delete;
    StoreThread& operator=(const StoreThread&) = delete;

    // Runs `work` on the store's thread, later; `done` gets its result on
    // this object's thread, unless `context` is gone by then. False, with
    // nothing run, when the queue is full or the thread has stopped.
    template <class Work, class Done>
    [[nodiscard]] bool post(Work work, QObject* context, Done done) {
        using Result = std::invoke_result_t<Work&, FleetStore&>;
        QPointer<QObject> receiver(context);
        return enqueue([this, work = std::move(work), receiver, done = std::move(done)](FleetStore& store) mutable {
            if constexpr (std::is_void_v<Result>) {
                work(store);
                deliver([receiver, done = std::move(done)]() mutable {
                    if (receiver) done();
                });
            } else {
                auto result = work(store);
                deliver([receiver, done = std::move(done), result = std::move(result)]() mutable {
                    if (receiver) done(std::move(result));
                });
            }
        });
    }
    // Runs `done` on this object's thread, unless `receiver` is gone by
    // then: for what the store calls back on its own thread (a
    // notification). The pointer is taken on the receiver's thread.
    void reply(const QPointer<QObject>& receiver, std::function<void()> done) {
        deliver([receiver, done = std::move(done)] {
            if (receiver) done();
        });
    }
    // Work whose result no one waits for.
    [[nodiscard]] bool post(std::function<void(FleetStore&)> work) { return enqueue(std::move(work)); }

    // Runs `work` on the store's thread and waits for it: only where nothing
    // else is served yet or any more (a start, a stop, a test), never from
    // the store's thread itself.
    template <class Work>
    auto call(Work work) -> std::invoke_result_t<Work&, FleetStore&> {
        using Result = std::invoke_result_t<Work&, FleetStore&>;
        if constexpr (std::is_void_v<Result>) {
            runBlocking([&](FleetStore& store) { work(store); });
        } else {
            std::optional<Result> result;
            runBlocking([&](FleetStore& store) { result.emplace(work(store)); });
            if (!result) return Result{};  // stopped: nothing ran
            return std::move(*result);
        }
    }

    // What the thread is doing, read without waiting on it.
    struct Load {
        int queued = 0;              // items posted and not yet finished (the running one included)
        std::int64_t runningMs = -1;  // how long the running item has run; -1: none runs
    };
    [[nodiscard]] Load load() const;
    [[nodiscard]] int maxQueued() const { return m_maxQueued; }
    // The thread the store lives on: objects that use the store directly belong there.
    [[nodiscard]] QThread* thread() { return &m_thread; }
    // Runs what was posted, then ends the thread; later posts are refused.
    void stop();

private:
    [[nodiscard]] bool enqueue(std::function<void(FleetStore&)> work);
    void runBlocking(const std::function<void(FleetStore&)>& work);
    void deliver(std::function<void()> done);
    void runOne(const std::function<void(FleetStore&)>& work);

    std::unique_ptr<FleetStore> m_store;
    const int m_maxQueued;
    QThread m_thread;
    std::unique_ptr<QObject> m_worker;   // on the store's thread: posted work is its events
    std::unique_ptr<QObject> m_mailbox;  // on this thread: results are its events
    QElapsedTimer m_clock;
    std::atomic<int> m_queued{0};
    std::atomic<std::int64_t> m_runningSince{-1};
    std::atomic<bool> m_stopped{false};
};

}  // namespace kv6::fleet
