#pragma once

#include "app/link_control.h"
#include "io/module_link.h"

namespace kv6::app {

// LinkControl over the window's real ModuleLink.
class ModuleLinkControl final : public LinkControl {
public:
    ModuleLinkControl(io::ModuleLink& link, quint16 remotePort) : m_link(link), m_remotePort(remotePort) {}

    bool ensureLink() override { return m_link.ensureLink(); }
    void startWrite() override { m_link.startWrite(); }
    void setPort(const QString& numberOrPath) override { m_link.setPort(numberOrPath); }
    [[nodiscard]] QString port() const override { return m_link.port(); }
    [[nodiscard]] bool remoteListening() const override { return m_link.remoteListening(); }
    [[nodiscard]] bool readActive() const override { return m_link.readActive(); }
    void startRead(const QString& passwordText) override { m_link.startRead(passwordText); }
    void sendPasswordChange(std::uint16_t current, std::uint16_t next) override {
        m_link.sendPasswordChange(current, next);
    }
    void setReadPassword(std::uint16_t password) override { m_link.setReadPassword(password); }
    void sendFactoryReset() override { m_link.sendFactoryReset(); }
    // A failure to bind is reported by the link itself.
    void startListening() override { (void)m_link.startListening(m_remotePort); }
    void stopListening() override { m_link.stopListening(); }
    void setPacing(link::Pacing pacing) override { m_link.setPacing(pacing); }

private:
    io::ModuleLink& m_link;
    quint16 m_remotePort;
};

}  // namespace kv6::app
