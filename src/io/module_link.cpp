#include "io/module_link.h"
#include "io/core_text.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTimer>

#include "io/remote_server.h"
#include "io/serial_port.h"
#include "link/engine_texts.h"
#include "link/protocol.h"
#include "link/read_password.h"
#include "link/remote_write_path.h"
#include "link/transfer_engine.h"
#include "pages/configuration.h"
#include "remote/remote_session.h"
#include "remote/remote_session_listener.h"

namespace kv6::io {

namespace {

constexpr int kTimer1Ms = 250;  // serial receiver
constexpr int kTimer2Ms = 300;  // write jobs and read pacing

QString translated(std::string_view text) { return coreText(text); }

}  // namespace

struct ModuleLink::Impl final : link::TransferListener, remote::RemoteSessionListener {
    Impl(ModuleLink& owner, pages::Configuration& configuration, StatusSink& status, Prompts& prompts,
         Prompts& portPrompts, TraceSink& trace)
        : owner(owner),
          configuration(configuration),
          status(status),
          serial(portPrompts, trace),
          engine(configuration.workspace, serial, status, prompts, trace),
          session(configuration.workspace, status, trace, *this),
          server(session) {
        engine.setListener(this);
        engine.setRemotePath(&session);
    }

    void readCompleted() override {
        configuration.document.DecodeImage(image::DecodeSource::SerialRead);
        emit owner.readCompleted(image::DecodeSource::SerialRead);
    }
    void readFailed(link::ReadFailure reason) override {
        emit owner.readFailed(translated(reason == link::ReadFailure::PasswordMismatch
                                             ? link::texts::kPasswordMismatch
                                             : link::texts::kReadError));
    }
    void writeFinished(bool ok) override { emit owner.writeFinished(ok); }
    void passwordAcknowledged() override { emit owner.passwordChanged(true); }
    void resetAcknowledged() override { emit owner.factoryResetDone(); }

    // remote::RemoteSessionListener
    void remoteReadCompleted() override {
        engine.resetReadState();
        configuration.document.DecodeImage(image::DecodeSource::RemoteRead);
        emit owner.readCompleted(image::DecodeSource::RemoteRead);
    }
    void remotePasswordMismatch() override { emit owner.readFailed(translated(link::texts::kPasswordMismatch)); }
    void remoteWriteAcknowledged() override { engine.remoteWriteAcknowledged(); }
    void remotePasswordChanged(bool changed) override { emit owner.passwordChanged(changed); }
    void remoteResetDone() override { emit owner.factoryResetDone(); }
    void remoteConnectedChanged(bool connected) override { emit owner.remoteConnectedChanged(connected); }
    void remoteIdentified(const std::string& number) override {
        emit owner.remoteIdentified(QString::fromStdString(number));
    }

    // Hands the receiver at most one chunk; the rest waits for the next tick.
    void receiverTick() {
        if (received.isEmpty()) return;
        const auto* data = reinterpret_cast<const std::uint8_t*>(received.constData());
        const std::size_t taken = engine.Timer1Timer({data, static_cast<std::size_t>(received.size())});
        received.remove(0, static_cast<qsizetype>(taken));
    }

    [[nodiscard]] bool reactive() const { return engine.pacing() == link::Pacing::Reactive; }

    // Reactive pacing: the port reported bytes. All of them go to the
    // receiver now, then the engine sends whatever they released.
    void onSerialBytes() {
        received += serial.readAll();
        if (!reactive()) return;
        while (!received.isEmpty()) receiverTick();
        engine.react();
    }

    // Reactive pacing: a module's bytes were handled by the session.
    void onRemoteData() {
        if (!reactive()) return;
        session.reactNow();
        engine.react();
    }

    ModuleLink& owner;
    pages::Configuration& configuration;
    StatusSink& status;
    SerialPort serial;
    link::TransferEngine engine;
    remote::RemoteSession session;
    RemoteServer server;
    link::RemoteWritePath* remote = &session;
    QTimer timer1;
    QTimer timer2;
    QTimer* timer4 = nullptr;  // remote access: read pacing, blink, keep-alive
    QByteArray received;
    QString port = QStringLiteral("1");
};

ModuleLink::ModuleLink(pages::Configuration& configuration, StatusSink& status, Prompts& prompts, TraceSink& trace,
                       QObject* parent)
    : ModuleLink(configuration, status, prompts, prompts, trace, parent) {}

ModuleLink::ModuleLink(pages::Configuration& configuration, StatusSink& status, Prompts& prompts,
                       Prompts& portPrompts, TraceSink& trace, QObject* parent)
    : QObject(parent), m_impl(std::make_unique<Impl>(*this, configuration, status, prompts, portPrompts, trace)) {
    Impl& d = *m_impl;
    connect(&d.serial, &SerialPort::readyRead, this, [&d] { d.onSerialBytes(); });
    connect(&d.server, &RemoteServer::dataHandled, this, [&d] { d.onRemoteData(); });
    connect(&d.timer1, &QTimer::timeout, this, [&d] { d.receiverTick(); });
    connect(&d.timer2, &QTimer::timeout, this, [&d] { d.engine.Timer2Timer(); });
    d.timer1.start(kTimer1Ms);
    d.timer2.start(kTimer2Ms);
    d.timer4 = d.server.createTimer4(this);
}

ModuleLink::~ModuleLink() = default;

void ModuleLink::setPort(const QString& numberOrPath) { m_impl->port = numberOrPath; }
QString ModuleLink::port() const { return m_impl->port; }
QString ModuleLink::deviceName() const { return SerialPort::deviceFor(m_impl->port); }

bool ModuleLink::OpenPort() {
    Impl& d = *m_impl;
    // Bytes the closed handle had not yet handed over go with it.
    d.received.clear();
    if (!d.serial.OpenPort(d.port)) return false;
    if (!d.timer2.isActive()) d.timer2.start(kTimer2Ms);
    d.status.setStatus(StatusPanel::Port, SerialPort::panelText(d.port).toStdString());
    return true;
}

std::optional<PortOpenFailure> ModuleLink::lastPortFailure() const { return m_impl->serial.lastFailure(); }

// ---- remote access ----
bool ModuleLink::startListening(quint16 tcpPort) { return m_impl->server.listen(tcpPort); }
QString ModuleLink::listenError() const { return m_impl->server.errorString(); }
void ModuleLink::stopListening() { m_impl->server.close(); }
bool ModuleLink::remoteListening() const { return m_impl->remote->listening(); }
bool ModuleLink::remoteConnected() const { return m_impl->session.connected(); }
quint16 ModuleLink::listeningPort() const { return m_impl->server.serverPort(); }
QString ModuleLink::remoteObjectNumber() const {
    return QString::fromStdString(m_impl->session.objectNumber());
}
void ModuleLink::setTimeZoneHoursProvider(std::function<int()> provider) {
    m_impl->session.setTimeZoneHoursProvider(std::move(provider));
}
void ModuleLink::setGreetingClock(std::function<remote::LocalDateTime()> clock) {
    m_impl->session.setClock(std::move(clock));
}
void ModuleLink::setRemotePath(link::RemoteWritePath* remote) {
    m_impl->remote = remote ? remote : &m_impl->session;
    m_impl->engine.setRemotePath(m_impl->remote);
}
link::TransferEngine& ModuleLink::transferEngine() { return m_impl->engine; }
// ---- end of the remote part ----

void ModuleLink::setPacing(link::Pacing pacing) { m_impl->engine.setPacing(pacing); }
link::Pacing ModuleLink::pacing() const { return m_impl->engine.pacing(); }

ModuleLink::LineCounts ModuleLink::lineCounts() const {
    const Impl& d = *m_impl;
    return {d.serial.bytesSent() + d.server.bytesSent(), d.serial.bytesReceived() + d.server.bytesReceived()};
}

bool ModuleLink::ensureLink() { return remoteListening() || OpenPort(); }

void ModuleLink::startRead(const QString& passwordText) {
    Impl& d = *m_impl;
    d.engine.setReadPassword(link::ParseReadPassword(passwordText.toStdString()));
    if (remoteListening()) {
        d.session.startRead(d.engine.state().ReadPassword);
        if (d.reactive()) d.session.reactNow();
        return;
    }
    if (!OpenPort()) return;
    d.engine.SpeedButton2Click();
    if (d.reactive()) d.engine.react();
}

void ModuleLink::startWrite() {
    Impl& d = *m_impl;
    d.engine.startWrite();
    if (d.reactive()) d.engine.react();
}

void ModuleLink::sendPasswordChange(std::uint16_t current, std::uint16_t next) {
    Impl& d = *m_impl;
    d.status.setStatus(StatusPanel::Operation, "");
    d.engine.setReadPassword(current);
    if (remoteListening())
        d.session.sendPassword(current, next);
    else
        d.serial.write(link::SendPasswordFrame(current, next));
}

void ModuleLink::setReadPassword(std::uint16_t password) { m_impl->engine.setReadPassword(password); }

void ModuleLink::sendFactoryReset() {
    Impl& d = *m_impl;
    if (remoteListening()) {
        // With no module connected the session says so and nothing is awaited.
        if (!d.session.sendReset()) return;
    } else {
        d.serial.write(link::SendResetFrame());
    }
    d.status.setStatus(StatusPanel::Operation, std::string(link::texts::kResetWaiting));
}

void ModuleLink::flush(int timeoutMs) {
    m_impl->serial.flush(timeoutMs);
    m_impl->server.flush(timeoutMs);
}

bool ModuleLink::readActive() const {
    return m_impl->engine.state().ReadActive || m_impl->session.readActive();
}
bool ModuleLink::writeQueueEmpty() const { return m_impl->configuration.workspace.queue.empty(); }

std::optional<link::TransferProgress> ModuleLink::transferProgress() {
    const link::TransferState& serial = m_impl->engine.state();
    if (serial.ReadActive) return link::TransferProgress{serial.BlockCount, link::TransferEngine::kBlocksPerRead};
    if (m_impl->session.readActive()) {
        constexpr int kRemoteBlocks = remote::RemoteSession::kReadEndAddress / remote::RemoteSession::kBlockSize + 1;
        return link::TransferProgress{m_impl->session.nextAddress() / remote::RemoteSession::kBlockSize,
                                      kRemoteBlocks};
    }
    return m_jobProgress.observe(m_impl->configuration.workspace.queue.size());
}

}  // namespace kv6::io
