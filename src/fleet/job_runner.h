#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/prompts.h"
#include "common/status_sink.h"
#include "common/trace_sink.h"
#include "fleet/fleet_job.h"
#include "fleet/job_runner_listener.h"
#include "fleet/lease_fence.h"
#include "image/image.h"
#include "link/pacing.h"
#include "link/transfer_engine.h"
#include "link/transfer_listener.h"
#include "pages/configuration.h"
#include "remote/frame_sink.h"
#include "remote/remote_session.h"
#include "remote/remote_session_listener.h"

namespace kv6::fleet {

// One module connection's jobs, one at a time. The server owns the socket
// and the timers and calls in; frames leave through the FrameSink, job
// progress through the JobRunnerListener.
//
//                                   prove(password) <--> proving (a second connection for a connected object)
//                                         |
//   unidentified --identification--> idle --start(job)--> reading
//        | time-out: close               ^                   | whole image in
//        v                               |                   v
//                                        |   read job: backup, done
//                                        |   change: password proved? --no--> failed (mismatch)
//                                        |     write --> writing --all acknowledged--> verifying --> done / failed
//                                        |     clear-journal --> writing --> done
//                                        |     password / reset --> awaiting answer --> done / failed
//                                        +---- job ended (a dropped connection interrupts it)
//
// Every change starts with a whole read of the module, so a job that was
// interrupted anywhere is simply run again from the start; nothing is sent
// until that read's backup and the change's audit line are kept; a store
// that answers later (storeAnswered) is waited for in Storing, where the
// module hears nothing but keep-alives. Before
// each frame that changes the module, and each frame of the read that
// verifies it, the runner asks the server's lease fence: once the server
// may have lost its lease the job ends LeaseLost, nothing more goes out and
// the connection is to be closed (the module calls again, and reaches a
// server that holds its job).
class JobRunner final : link::TransferListener, remote::RemoteSessionListener {
public:
    static constexpr int kReadTicks = 120;      // Timer4 ticks a whole read may take
    static constexpr int kAnswerTicks = 15;     // ticks to wait for a 'P' or 'K' answer
    static constexpr int kDefaultIdentifyTicks = 60;
    static constexpr int kRemoteReadBytes = 1920;  // what a remote read brings: 15 blocks
    static constexpr int kProofTicks = 40;         // ticks a proof read may take (two repeats of its request)
    static constexpr std::uint16_t kPasswordBlock = 128;  // the block that holds the read password

    struct Options {
        link::Pacing pacing = link::Pacing::Reactive;
        int zoneHours = 0;  // the greeting's and the journal's time zone
        int identifyTicks = kDefaultIdentifyTicks;
        std::function<remote::LocalDateTime()> clock;  // empty: the system clock
        // The server's hold on its leases (none: a store only this server
        // uses, where no other server can take a job over).
        const LeaseFence* fence = nullptr;
        // The fence's monotonic clock, in milliseconds; empty: std::chrono::steady_clock.
        std::function<std::int64_t()> monotonicMs;
    };

    JobRunner(int connectionId, remote::FrameSink& sink, JobRunnerListener& listener, const Options& options);
    ~JobRunner() override;
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // The socket events: the greeting goes out on onConnected.
    void onConnected(std::uint16_t remotePort);
    void onData(std::span<const std::uint8_t> bytes);
    // The connection is gone: a running job ends Interrupted.
    void onDisconnected();
    // Timer4 (1 s): read pacing, keep-alive, time-outs.
    void Timer4Timer();
    // Timer2 (300 ms): the write engine.
    void Timer2Timer();
    // How many Timer4 ticks from now the first one comes that may do more
    // than count; the server skips the ones before it (skipQuietTicks) and
    // calls Timer4Timer() for that one. kNeverDue: none until the next event.
    static constexpr int kNeverDue = remote::RemoteSession::kNeverDue;
    [[nodiscard]] int ticksUntilDue() const;
    // Counts `ticks` ticks at once, as that many Timer4Timer() calls would;
    // only for ticks before the one ticksUntilDue() names.
    void skipQuietTicks(int ticks);

    // Starts a job; only while identified() and idle().
    void start(FleetJob job);
    // Reads the block that holds the module's read password and compares it
    // with `recorded`; the listener's proofEnded() tells. Only while
    // identified() and idle().
    void prove(std::uint16_t recorded);

    [[nodiscard]] bool identified() const { return !m_object.empty(); }
    [[nodiscard]] const std::string& object() const { return m_object; }
    [[nodiscard]] bool idle() const { return m_phase == Phase::Idle; }
    [[nodiscard]] bool busy() const { return m_job.has_value(); }
    [[nodiscard]] bool proving() const { return m_phase == Phase::Proving; }
    [[nodiscard]] std::optional<std::int64_t> jobId() const;
    [[nodiscard]] int connectionId() const { return m_connectionId; }
    // Waiting for the store to keep a backup or an audit line; nothing is sent meanwhile.
    [[nodiscard]] bool storing() const { return m_phase == Phase::Storing; }
    // The store's answer to the backup or audit line the listener left
    // pending: empty when kept, else why not (the attempt then ends
    // StoreFailed). An answer for another job, or one that comes after the
    // attempt ended (the connection dropped), does nothing.
    void storeAnswered(std::int64_t jobId, const std::string& problem);

private:
    enum class Phase { Unidentified, Idle, Proving, Reading, Storing, Writing, Verifying, AwaitingAnswer, Closed };
    // What follows once the store has kept a backup or an audit line.
    enum class AfterStore {
        ReadDone,          // a read job's backup: the job is done
        AlreadyPassword,   // the module already holds the new password
        Audit,             // the backup before a change: its audit line next
        SendChange,        // the audit line: the change goes out
        VerifyDone,        // the backup after a write: judge what the module holds
    };

    class QuietSinks;

    // TransferListener
    void writeFinished(bool ok) override;
    // RemoteSessionListener
    void remoteReadCompleted() override;
    void remoteWriteAcknowledged() override;
    void remotePasswordChanged(bool changed) override;
    void remoteResetDone() override;
    void remoteIdentified(const std::string& objectNumber) override;

    // Takes the object number the session found during its last call.
    void takeIdentity();
    void endProof(Proof proof);
    void startRead();
    void afterFirstRead();
    void afterVerifyRead();
    [[nodiscard]] bool prepareWrite(std::string& problem);
    [[nodiscard]] std::string writeDifference() const;
    // Hand the listener a backup or an audit line; once the store keeps it
    // the job goes on with `next`, and when it cannot the attempt ends
    // there (StoreFailed) with `consequence` told.
    void keep(const image::Image& image, const std::string& source, std::string consequence, AfterStore next);
    void audit(const std::string& difference, AfterStore next);
    void answered(const std::optional<std::string>& answer);
    void afterStore(AfterStore next);
    [[nodiscard]] std::string changeDifference();
    void sendChange();
    void judgeVerifyRead();
    void startWrite();
    // Whether a frame that changes the module (or verifies it) may go out
    // now; if not, the job ends LeaseLost and the close is asked.
    [[nodiscard]] bool leaseHeld();
    void end(JobEnd end, std::string result, bool mismatch = false);
    void react();
    [[nodiscard]] std::uint16_t storedPassword() const;
    // The rows of `image`'s journal, which the journal model was just decoded from.
    [[nodiscard]] const std::vector<journal::JournalRow>& journalRowsOf(const image::Image& image);

    int m_connectionId;
    JobRunnerListener& m_listener;
    Options m_options;
    std::unique_ptr<QuietSinks> m_quiet;
    std::unique_ptr<pages::Configuration> m_configuration;
    std::unique_ptr<remote::RemoteSession> m_session;
    std::unique_ptr<link::TransferEngine> m_engine;

    Phase m_phase = Phase::Unidentified;
    std::string m_object;
    std::string m_pendingIdentity;  // set by the session during onData
    std::optional<FleetJob> m_job;
    // Held only while a job runs: an idle connection stays small.
    struct JobImages {
        image::Image before{};   // the module's image read at the job's start
        image::Image written{};  // what a write sent
        image::Image verified{};  // what the read after it found
        // The journal's rows as last made, with the bytes they were made of:
        // the read after a write mostly finds the records the first one did.
        std::vector<std::uint8_t> journalBytes;
        std::vector<journal::JournalRow> journalRows;
    };
    std::unique_ptr<JobImages> m_images;
    std::optional<std::uint16_t> m_passwordAfter;
    std::uint16_t m_proofPassword = 0;
    int m_ticks = 0;           // ticks in the current phase
    // While Storing: what the store is keeping, and what follows.
    struct Pending {
        bool backup = true;
        std::string consequence;
        AfterStore next = AfterStore::ReadDone;
    };
    Pending m_pending;
};

}  // namespace kv6::fleet
