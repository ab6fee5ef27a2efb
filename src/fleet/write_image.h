#pragma once

#include "fleet/fleet_job.h"
#include "image/image.h"

namespace kv6::fleet {

// What a write job leaves in a module that held `before` when it sends
// `source`: only the bits the pages own come from the source, and of those
// neither the object number nor the read password unless the job names
// them, nor ever the clock. The rest is the module's own (its state, bytes
// no page reads).
[[nodiscard]] image::Image writtenImage(const image::Image& before, const image::Image& source,
                                        const WriteOptions& options);

}  // namespace kv6::fleet
