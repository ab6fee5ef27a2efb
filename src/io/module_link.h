#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "common/prompts.h"
#include "common/status_sink.h"
#include "common/trace_sink.h"
#include "io/port_open_failure.h"
#include "image/page_model.h"
#include "link/pacing.h"
#include "link/transfer_progress.h"
#include "remote/greeting.h"

namespace kv6::pages {
class Configuration;
}
namespace kv6::link {
class RemoteWritePath;
class TransferEngine;
}  // namespace kv6::link

namespace kv6::io {

// The one link to the module that a window (or a kv6ctl run) owns: the serial
// port, the listening TCP socket, the timers Timer1 (250 ms), Timer2 (300 ms)
// and Timer4 (1 s), the transfer engine and the remote session. It decides
// which path each operation takes: remote while the socket listens, else the
// serial port opened by OpenPort.
class ModuleLink : public QObject {
    Q_OBJECT
public:
    ModuleLink(pages::Configuration& configuration, StatusSink& status, Prompts& prompts,
               TraceSink& trace, QObject* parent = nullptr);
    // The same, with the serial port's own failure boxes ("Invalid Handle
    // Value", ...) shown through `portPrompts`: they stand alone, while the
    // engine's boxes belong to the window behind `prompts`.
    ModuleLink(pages::Configuration& configuration, StatusSink& status, Prompts& prompts, Prompts& portPrompts,
               TraceSink& trace, QObject* parent = nullptr);
    ~ModuleLink() override;

    // --- serial port ---
    // The port as the port dialog and param2 keep it: a number 1..99 (COMN on
    // Windows, /dev/ttyS(N-1) on Linux) or a device path.
    void setPort(const QString& numberOrPath);
    [[nodiscard]] QString port() const;
    // The device the port setting names.
    [[nodiscard]] QString deviceName() const;
    // Opens and configures the port; shows the failure message boxes. Sets
    // status panel 0 on success and enables Timer2.
    bool OpenPort();
    // Why the last OpenPort failed (nothing after one that succeeded).
    [[nodiscard]] std::optional<PortOpenFailure> lastPortFailure() const;

    // --- remote access ---
    // "Ожидание": (re)starts listening. Returns false (and reports) when the port cannot be bound.
    bool startListening(quint16 tcpPort = 8099);
    // Why the last startListening failed: the system's text.
    [[nodiscard]] QString listenError() const;
    // "Разъединить".
    void stopListening();
    [[nodiscard]] bool remoteListening() const;
    [[nodiscard]] bool remoteConnected() const;
    // The TCP port actually listened on (useful when 0 asked for any free port).
    [[nodiscard]] quint16 listeningPort() const;
    // The object number the connected module identified itself with ("" until it did).
    [[nodiscard]] QString remoteObjectNumber() const;
    // Hours subtracted from local time in the greeting (the chosen time zone, 0 = none).
    void setTimeZoneHoursProvider(std::function<int()> provider);
    // The local date and time the greeting carries (default: the system clock).
    void setGreetingClock(std::function<remote::LocalDateTime()> clock);

    // --- pacing ---
    // Module (the default) or Reactive; see link::Pacing. Takes effect at once.
    void setPacing(link::Pacing pacing);
    [[nodiscard]] link::Pacing pacing() const;

    // Bytes the serial port and the remote connections sent and received
    // since the start, for measuring transfers.
    struct LineCounts {
        quint64 sent = 0;
        quint64 received = 0;
    };
    [[nodiscard]] LineCounts lineCounts() const;

    // --- operations ---
    // A ready link for a write or service command: listening socket, else OpenPort().
    bool ensureLink();
    // The read command after the password dialog: empty text is 0xFFFF.
    void startRead(const QString& passwordText);
    // After jobs were queued: WriteStep = 0, the head job goes out on the next tick.
    void startWrite();
    // Password change after the dialog (current must be 5 characters in the dialog;
    // the command line passes numbers directly).
    void sendPasswordChange(std::uint16_t current, std::uint16_t next);
    void sendFactoryReset();
    // ReadPassword, as a password change sets it.
    void setReadPassword(std::uint16_t password);

    // Puts every frame sent so far on the wire (serial and remote), waiting at
    // most `timeoutMs`: a program that ends right after a tick would otherwise
    // lose what that tick sent.
    void flush(int timeoutMs);

    [[nodiscard]] bool readActive() const;
    [[nodiscard]] bool writeQueueEmpty() const;
    // Blocks of the read that runs, else write jobs sent of those queued; nothing when idle.
    [[nodiscard]] std::optional<link::TransferProgress> transferProgress();

    // Where write jobs go while remote access listens (null: no remote path).
    // The remote session plugs in here; the engine consults it on every tick.
    void setRemotePath(link::RemoteWritePath* remote);
    // The engine, for the remote session (a 'W' reply, the read password).
    [[nodiscard]] link::TransferEngine& transferEngine();

signals:
    // The whole image was read and decoded (serial or remote).
    void readCompleted(kv6::image::DecodeSource source);
    // A read stopped: password mismatch or no answer.
    void readFailed(const QString& reason);
    // The queue emptied: true on " Запись данных завершена", false on " Ошибка записи данных".
    void writeFinished(bool ok);
    // Module acknowledgements of service commands.
    void passwordChanged(bool ok);
    void factoryResetDone();
    void remoteConnectedChanged(bool connected);
    // The connected module sent its identification text.
    void remoteIdentified(const QString& objectNumber);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    link::JobProgress m_jobProgress;
};

}  // namespace kv6::io
