#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/status_sink.h"
#include "common/trace_sink.h"
#include "image/workspace.h"
#include "link/remote_write_path.h"
#include "remote/frame_sink.h"
#include "remote/greeting.h"
#include "remote/identification_line.h"
#include "remote/remote_frame.h"
#include "remote/remote_session_listener.h"
#include "remote/reply_assembler.h"

namespace kv6::remote {

// The tool's side of remote access. The Qt layer owns the listening socket
// and the one-second Timer4 and calls in; frames go out through a FrameSink.
//
//   idle --N18Click--> waiting --onConnected--> connected --startRead--> reading
//    ^                   ^  |                      |  ^                    |
//    |                   |  +-- blink panel 2      |  +--- completion / ---+
//    +----N19Click-------+----- onDisconnected ----+       password mismatch
//
// Commands always go to the oldest open connection (the primary); any later
// module gets the greeting and nothing else, but its identification is kept:
// when the primary leaves, the next one takes the commands under its own
// object number. The read flag survives a disconnection: the next module to
// connect resumes at the next address.
class RemoteSession final : public link::RemoteWritePath {
public:
    static constexpr int kReplyWaitTicks = 15;       // ticks before an unanswered request is repeated
    static constexpr int kKeepAliveIdleTicks = 30;   // a keep-alive goes out when this is exceeded
    static constexpr std::uint16_t kBlockSize = 128;
    static constexpr std::uint16_t kReadEndAddress = 1808;  // 15 blocks: 0..1919
    static constexpr std::uint16_t kPasswordCheckAfter = 250;
    static constexpr std::size_t kPasswordOffset = 244;
    static constexpr std::size_t kPasswordBlockSize = 250;
    static constexpr std::size_t kImageDumpBytes = 1000;

    // Where an object number comes from. EveryReply, the desktop tool's rule:
    // any received bytes before their first zero byte that hold "SR" or
    // "ADM", frames included. TextOnly: only texts outside frames, each
    // collected until it ends (IdentificationLine), so that data a module was
    // asked to read (an object number 5352 packs to "SR") never renames it.
    enum class Identification { EveryReply, TextOnly };

    RemoteSession(image::Workspace& workspace, StatusSink& status, TraceSink& trace,
                  RemoteSessionListener& listener);

    void setIdentification(Identification how) { m_identification = how; }

    void setFrameSink(FrameSink* sink) { m_sink = sink; }
    // The local date and time for the greeting; the default reads the system clock.
    void setClock(std::function<LocalDateTime()> clock) { m_clock = std::move(clock); }
    // Hours of the chosen time zone (0 = none) for the greeting.
    void setTimeZoneHoursProvider(std::function<int()> provider) { m_zoneHours = std::move(provider); }

    // "Ожидание": the Qt layer (re)activates the socket after this; existing
    // connections are closed by that restart.
    void N18Click();
    // The socket could not listen: the session stays idle, panel 1 gets the reason.
    void listenFailed(const std::string& reason);
    // "Разъединить": the socket is closed with every connection.
    void N19Click();

    void onConnected(int connectionId, std::uint16_t remotePort);
    void onData(int connectionId, std::span<const std::uint8_t> bytes);
    void onDisconnected(int connectionId);
    void Timer4Timer();
    // How many Timer4 ticks from now the first one comes that may do more
    // than count (send, time out, take a text); the ones before it only
    // count, so a server with many sessions need not call each every second.
    static constexpr int kNeverDue = std::numeric_limits<int>::max();
    [[nodiscard]] int ticksUntilDue() const;
    // Counts `ticks` ticks at once, as that many Timer4Timer() calls would;
    // only for ticks before the one ticksUntilDue() names.
    void skipQuietTicks(int ticks);

    // The read command while listening: the timer requests the blocks.
    // Without `checkPassword` the stored password is not compared after block
    // 0 and the read goes to the end; the caller judges the image itself.
    void startRead(std::uint16_t readPassword, bool checkPassword = true);
    // Reads the one block at `address` (a multiple of 128), with no password
    // check; completes as a whole read does.
    void startBlockRead(std::uint16_t address);
    // Abandons a read without completing it (its owner gave up on it).
    void stopRead() { m_readActive = false; }
    // Reactive pacing: the owner calls this after the module's bytes were
    // handled and after startRead. A read whose last block is in (or that has
    // just started) asks for the next block, or completes, at once instead of
    // on the next Timer4 tick. The reply countdown keeps counting ticks.
    void reactNow();
    // Service commands; false (and panel 1 says so) when no module is connected.
    bool sendPassword(std::uint16_t current, std::uint16_t next);
    bool sendReset();

    // link::RemoteWritePath
    [[nodiscard]] bool listening() const override { return m_listening; }
    void sendWriteJob(std::uint16_t address, std::span<const std::uint8_t> bytes) override;

    [[nodiscard]] bool connected() const { return !m_connections.empty(); }
    [[nodiscard]] std::size_t connectionCount() const { return m_connections.size(); }
    [[nodiscard]] bool waiting() const { return m_waiting; }
    [[nodiscard]] bool readActive() const { return m_readActive; }
    [[nodiscard]] std::uint16_t nextAddress() const { return m_nextAddress; }
    [[nodiscard]] const std::string& objectNumber() const { return m_objectNumber; }
    // The text the last object number was taken from.
    [[nodiscard]] const std::string& identificationText() const { return m_identificationText; }
    [[nodiscard]] std::size_t pendingBytes(int connectionId) const;

private:
    struct Connection {
        int id = 0;
        ReplyAssembler assembler;
        std::optional<std::string> objectNumber;  // from its last identification text
        IdentificationLine line;  // TextOnly: the text being collected
    };

    [[nodiscard]] Connection* find(int connectionId);
    [[nodiscard]] bool requireConnection();
    void send(const RemoteFrame& frame);
    void setRemoteStatus(const std::string& text);
    void setOperationStatus(const std::string& text);
    void traceLine(const std::string& line);
    void stepRead();
    void completeRead();
    void handleReply(const RemoteReply& reply);
    void handleReadReply(const RemoteReply& reply);
    void identify(Connection& connection, std::string_view text);
    void promoteNextConnection();
    void setObjectNumber(const std::string& number);
    void traceReceived(std::span<const std::uint8_t> bytes);

    image::Workspace& m_workspace;
    StatusSink& m_status;
    TraceSink& m_trace;
    RemoteSessionListener& m_listener;
    FrameSink* m_sink = nullptr;
    std::function<LocalDateTime()> m_clock;
    std::function<int()> m_zoneHours;

    bool m_listening = false;
    bool m_waiting = false;
    std::string m_remoteStatus;  // what panel 2 shows, for the blink
    std::vector<Connection> m_connections;  // oldest first
    std::string m_objectNumber;
    std::string m_identificationText;
    Identification m_identification = Identification::EveryReply;

    bool m_readActive = false;
    std::uint16_t m_readPassword = 0;
    bool m_checkPassword = true;
    std::uint16_t m_nextAddress = 0;
    std::uint16_t m_readEnd = kReadEndAddress;
    int m_replyCountdown = 0;
    int m_idleTicks = 0;
};

}  // namespace kv6::remote
