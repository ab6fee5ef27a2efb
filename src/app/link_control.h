#pragma once

#include <QString>
#include <cstdint>

#include "link/pacing.h"
#include "pages/common/write_link.h"

namespace kv6::app {

// The module operations the main window's commands start. The window's
// ModuleLink stands behind it; tests put a recording fake in its place. It is
// also what the page write buttons use (pages::WriteLink).
class LinkControl : public pages::WriteLink {
public:
    // The port as param2 and the port dialog hold it: a number 1..99 or a device path.
    virtual void setPort(const QString& numberOrPath) = 0;
    [[nodiscard]] virtual QString port() const = 0;
    [[nodiscard]] virtual bool remoteListening() const = 0;
    // A serial or remote read of the module is running.
    [[nodiscard]] virtual bool readActive() const { return false; }
    virtual void startRead(const QString& passwordText) = 0;
    virtual void sendPasswordChange(std::uint16_t current, std::uint16_t next) = 0;
    // The password the next reads compare with the module's (ReadPassword).
    virtual void setReadPassword(std::uint16_t password) = 0;
    virtual void sendFactoryReset() = 0;
    virtual void startListening() = 0;
    virtual void stopListening() = 0;
    // The pacing param2 asks for; the module's pacing unless it says otherwise.
    virtual void setPacing(link::Pacing /*pacing*/) {}
};

}  // namespace kv6::app
