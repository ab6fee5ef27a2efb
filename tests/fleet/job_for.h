#pragma once

#include <string>

#include "fleet/fleet_store.h"

namespace kv6::fleet::test {

// A job of `kind` for `object`, nothing else set.
inline NewJob jobFor(const std::string& object, JobKind kind) {
    NewJob job;
    job.object = object;
    job.kind = kind;
    return job;
}

}  // namespace kv6::fleet::test
