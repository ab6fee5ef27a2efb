#include "bench_run.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace kv6::bench {

Measurement measure(io::ModuleLink& link, const std::function<void()>& start, int limitMs) {
    QEventLoop loop;
    Measurement m;
    const auto end = [&](bool ok) {
        m.ok = ok;
        loop.quit();
    };
    QObject::connect(&link, &io::ModuleLink::readCompleted, &loop, [&] { end(true); });
    QObject::connect(&link, &io::ModuleLink::readFailed, &loop, [&] { end(false); });
    QObject::connect(&link, &io::ModuleLink::writeFinished, &loop, [&](bool ok) { end(ok); });
    QTimer::singleShot(limitMs, &loop, [&] { end(false); });
    const io::ModuleLink::LineCounts before = link.lineCounts();
    QElapsedTimer clock;
    clock.start();
    // Started from the loop, so a transfer that ends at once still ends it.
    QTimer::singleShot(0, &loop, start);
    loop.exec();
    m.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const io::ModuleLink::LineCounts after = link.lineCounts();
    m.sent = after.sent - before.sent;
    m.received = after.received - before.received;
    return m;
}

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) settle(10);
    return done();
}

}  // namespace kv6::bench
