// Placeholder until the serial link lands: every operation reports that no link is available.
#include "io/module_link.h"

#include "pages/configuration.h"

namespace kv6::io {

struct ModuleLink::Impl {
    StatusSink& status;
    QString port = QStringLiteral("1");
};

ModuleLink::ModuleLink(pages::Configuration&, StatusSink& status, Prompts&, TraceSink&, QObject* parent)
    : QObject(parent), m_impl(std::make_unique<Impl>(Impl{status})) {}
ModuleLink::~ModuleLink() = default;
void ModuleLink::setPort(const QString& numberOrPath) { m_impl->port = numberOrPath; }
QString ModuleLink::port() const { return m_impl->port; }
QString ModuleLink::deviceName() const { return m_impl->port; }
bool ModuleLink::OpenPort() {
    m_impl->status.setStatus(StatusPanel::Operation, "Нет связи с модулем");
    return false;
}
bool ModuleLink::startListening(quint16) { return false; }
void ModuleLink::stopListening() {}
bool ModuleLink::remoteListening() const { return false; }
bool ModuleLink::remoteConnected() const { return false; }
void ModuleLink::setTimeZoneHoursProvider(std::function<int()>) {}
bool ModuleLink::ensureLink() { return OpenPort(); }
void ModuleLink::startRead(const QString&) { OpenPort(); }
void ModuleLink::startWrite() {}
void ModuleLink::sendPasswordChange(std::uint16_t, std::uint16_t) {}
void ModuleLink::sendFactoryReset() {}
bool ModuleLink::readActive() const { return false; }
bool ModuleLink::writeQueueEmpty() const { return true; }

}  // namespace kv6::io
