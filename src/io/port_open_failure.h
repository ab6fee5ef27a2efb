#pragma once

#include <QString>

namespace kv6::io {

// Why a serial port could not be opened, for a caller that says it in its own words.
struct PortOpenFailure {
    QString device;
    QString reason;           // the system's text
    bool permission = false;  // the user may not open it (the dialout group)
};

}  // namespace kv6::io
