#pragma once

#include <QString>

namespace kv6::fleet {

// libpq skips a passfile it may not read or that others may read, and then
// says only "fe_sendauth: no password supplied". These say why beforehand.
class PassfileCheck {
public:
    // The passfile named in libpq connect options ("key=value;key=value"); empty when none.
    [[nodiscard]] static QString named(const QString& connectOptions);
    // Why libpq would not take a password from `path` for this process; empty when it would.
    [[nodiscard]] static QString problem(const QString& path);
};

}  // namespace kv6::fleet
