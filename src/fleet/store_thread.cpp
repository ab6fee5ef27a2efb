#include "fleet/store_thread.h"

#include <QMetaObject>

namespace kv6::fleet {

StoreThread::StoreThread(std::unique_ptr<FleetStore> store, int maxQueued)
    : m_store(std::move(store)), m_maxQueued(maxQueued), m_worker(std::make_unique<QObject>()),
      m_mailbox(std::make_unique<QObject>()) {
    m_clock.start();
    m_thread.setObjectName(QStringLiteral("store"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

StoreThread::~StoreThread() {
    stop();
    m_worker.reset();  // its thread has ended: no event of it runs any more
    m_mailbox.reset();  // results not yet delivered are dropped with it
}

void StoreThread::stop() {
    if (m_stopped.exchange(true)) return;
    // Behind whatever was posted before: that still runs, and the store
    // goes on the thread that opened it.
    QMetaObject::invokeMethod(
        m_worker.get(),
        [this] {
            m_store.reset();
            m_thread.quit();
        },
        Qt::QueuedConnection);
    m_thread.wait();
}

bool StoreThread::enqueue(std::function<void(FleetStore&)> work) {
    if (m_stopped.load()) return false;
    if (m_queued.fetch_add(1) >= m_maxQueued) {
        m_queued.fetch_sub(1);
        return false;
    }
    QMetaObject::invokeMethod(
        m_worker.get(), [this, work = std::move(work)] { runOne(work); }, Qt::QueuedConnection);
    return true;
}

void StoreThread::runOne(const std::function<void(FleetStore&)>& work) {
    m_runningSince.store(m_clock.elapsed());
    work(*m_store);
    m_runningSince.store(-1);
    m_queued.fetch_sub(1);
}

void StoreThread::runBlocking(const std::function<void(FleetStore&)>& work) {
    if (m_stopped.load()) return;
    QMetaObject::invokeMethod(
        m_worker.get(),
        [this, &work] {
            m_runningSince.store(m_clock.elapsed());
            work(*m_store);
            m_runningSince.store(-1);
        },
        Qt::BlockingQueuedConnection);
}

void StoreThread::deliver(std::function<void()> done) {
    QMetaObject::invokeMethod(m_mailbox.get(), std::move(done), Qt::QueuedConnection);
}

StoreThread::Load StoreThread::load() const {
    Load load;
    load.queued = m_queued.load();
    const std::int64_t since = m_runningSince.load();
    if (since >= 0) load.runningMs = std::max<std::int64_t>(0, m_clock.elapsed() - since);
    return load;
}

}  // namespace kv6::fleet
