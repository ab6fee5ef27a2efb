#pragma once

#include <QString>
#include <functional>

#include "io/module_link.h"

namespace kv6::bench {

// One measured transfer: how long it took and the bytes that crossed the
// line meanwhile, as the tool's port or socket counted them.
struct Measurement {
    bool ok = false;
    double seconds = 0;
    quint64 sent = 0;
    quint64 received = 0;
};

// Starts the transfer with `start`, runs the event loop until `link` reports
// the end (readCompleted / readFailed / writeFinished) or `limitMs` passed.
[[nodiscard]] Measurement measure(io::ModuleLink& link, const std::function<void()>& start, int limitMs);

// Runs the event loop for `ms` (lets the line fall quiet between runs).
void settle(int ms);

// Runs the event loop until `done` holds or `limitMs` passed; returns `done()`.
bool waitFor(const std::function<bool()>& done, int limitMs);

}  // namespace kv6::bench
