#pragma once

#include <QObject>

namespace kv6::io {
class ModuleLink;
}

namespace kv6::ctl {

// Waits, on a listening link, for a module that can take commands: one that
// connected and identified itself, or that stayed connected for
// `identificationMs` without sending an identification. A connection that
// closes first does not count; the wait goes on for the next one.
//
//   waiting --connected--> connected --identified, or the grace passed--> ready
//      ^                       |
//      +-------- closed -------+        (the overall limit ends any state)
class ModuleWait final : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Ready, NoConnection, NotIdentified };

    ModuleWait(io::ModuleLink& link, int identificationMs);

    // Runs an event loop until a module is ready or `overallMs` passed.
    [[nodiscard]] Outcome run(int overallMs);

private:
    io::ModuleLink& m_link;
    int m_identificationMs;
};

}  // namespace kv6::ctl
