#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/drift_query.h"
#include "fleet/duration_histogram.h"
#include "fleet/fleet_job.h"
#include "fleet/rollout_record.h"
#include "image/image.h"
#include "pages/journal/journal_model.h"

namespace kv6::fleet {

// Times are UTC, "YYYY-MM-DDTHH:MM:SSZ".
struct ModuleRecord {
    std::string object;
    std::string peer;
    std::string identification;
    std::string firstSeen;
    std::string lastSeen;
    bool connected = false;
};

struct JobRecord {
    std::int64_t id = 0;
    std::string object;
    JobKind kind = JobKind::Read;
    JobState state = JobState::Queued;
    int attempts = 0;
    WriteOptions options;
    std::string queuedAt;
    std::string startedAt;
    std::string finishedAt;
    std::string result;
    std::string by;           // who queued it: an API key's name or a local user
    std::string cancelledBy;  // who cancelled it, when it was
};

struct BackupRecord {
    std::int64_t id = 0;
    std::string object;
    std::string takenAt;
    std::string source;
    std::int64_t jobId = 0;
};

struct AuditRecord {
    std::int64_t id = 0;
    std::string at;
    std::string object;
    std::int64_t jobId = 0;
    std::string difference;  // as `kv6ctl diff` prints it
    // "sent" until the job ends: "verified" when the write held, "failed"
    // when it did not; an attempt cut short stays "sent".
    std::string outcome;
    std::string by;  // who queued the job
};

// Pages of the lists, each in the order of its key (a module's object
// number, a job's or an audit line's id), or newest (highest) first: at
// most `limit` records whose key comes after `after` in that order. Records added or removed between two pages make no
// duplicate and no gap.
struct ModuleQuery {
    bool connectedOnly = false;
    std::string contains;  // a part of the object number; empty: any
    std::string object;    // exactly this one; empty: any
    std::string tag;       // only modules with this tag; empty: any
    std::string after;     // the last object number already seen
    std::size_t limit = 100;
    bool newestFirst = false;
};
struct JobQuery {
    std::optional<std::string> object;
    std::optional<JobState> state;
    std::int64_t id = 0;     // exactly this one; 0: any
    std::int64_t after = 0;  // the last id already seen; 0: none
    std::size_t limit = 100;
    bool newestFirst = false;
};
struct AuditQuery {
    std::optional<std::string> object;
    std::optional<std::string> by;
    std::string since;  // lines at or after this UTC time (or its first part); empty: all
    std::int64_t after = 0;
    std::size_t limit = 100;
    bool newestFirst = false;
};
// How many jobs of one kind are in one state.
struct JobTally {
    JobState state = JobState::Queued;
    JobKind kind = JobKind::Read;
    long long count = 0;
};

// An operator's key for the HTTP API. The key itself is never kept, only its SHA-256.
struct ApiKeyRecord {
    std::string name;
    std::string role;     // "viewer", "operator" or "admin"
    std::string created;
    std::string revoked;  // empty while the key is good
};

// Password mismatches are counted per object number and per address.
enum class LockoutKind { Object, Address };

[[nodiscard]] inline std::string_view lockoutKindName(LockoutKind kind) {
    return kind == LockoutKind::Object ? "object" : "address";
}

// A subject's password mismatches, and its lock-out while one is in force.
struct LockoutRecord {
    LockoutKind kind = LockoutKind::Object;
    std::string subject;     // an object number or an address
    int mismatches = 0;      // counted since the count last started again
    std::string lastAt;      // the last mismatch
    std::string lockedUntil;  // empty: not locked out (or no longer)
};

// A job as the operator queues it.
struct NewJob {
    std::string object;
    JobKind kind = JobKind::Read;
    WriteFormat format = WriteFormat::None;
    std::vector<std::uint8_t> payload;
    std::uint16_t newPassword = 0;
    bool force = false;
    WriteOptions options;
    std::string by;  // who queues it
};

// Everything the fleet keeps: the inventory, the job queue, backups with
// their journals, the audit and each object's recorded read password. One
// implementation over Qt SQL; tests and tools see only this.
//
// Every method that changes the store says whether the change was stored
// (lastError() then says why not): nothing may go on as if it were.
class FleetStore {
public:
    virtual ~FleetStore() = default;

    // Creates or migrates the schema. False with `error` when the store cannot be used.
    [[nodiscard]] virtual bool open(std::string& error) = 0;
    // Why the last change that failed was not stored, as the database said it.
    [[nodiscard]] virtual std::string lastError() const = 0;

    // --- jobs ---
    // The new job's id, 0 when it could not be stored.
    [[nodiscard]] virtual std::int64_t queueJob(const NewJob& job) = 0;
    // The object's oldest queued job, now running under this server's lease
    // with one more attempt counted; the object's recorded password filled in.
    [[nodiscard]] virtual std::optional<FleetJob> claimNextJob(const std::string& object) = 0;
    // False when the end could not be stored. A job that is no longer this
    // server's (its lease lapsed; another server took it or put it back in
    // the queue) is left as it is: true, and lastEndDiscarded() says so.
    [[nodiscard]] virtual bool finishJob(std::int64_t id, JobState state, const std::string& result) = 0;
    // An attempt was interrupted: back to the queue, or failed once it has had
    // `maxAttempts`. An attempt the server cut short (it stops, or its store
    // failed) is given back: the module did nothing wrong. False as finishJob.
    enum class Attempt { Counted, GivenBack };
    [[nodiscard]] virtual bool requeueJob(std::int64_t id, const std::string& result, int maxAttempts,
                                          Attempt attempt) = 0;
    // Whether the last finishJob() or requeueJob() found the job no longer this server's.
    [[nodiscard]] virtual bool lastEndDiscarded() const = 0;
    // At a server's start: running jobs that no live server holds go back
    // to the queue (on a store of its own, every running job), their attempt
    // given back. Returns how many, -1 when the store failed.
    [[nodiscard]] virtual int recoverLeases() = 0;
    // False with the reason when the job does not exist or is no longer queued.
    // `by` names who cancels it (a key's name, a local user).
    [[nodiscard]] virtual bool cancelJob(std::int64_t id, const std::string& by, std::string& why) = 0;
    [[nodiscard]] bool cancelJob(std::int64_t id, std::string& why) { return cancelJob(id, std::string(), why); }
    [[nodiscard]] virtual std::vector<std::string> objectsWithQueuedJobs() = 0;
    [[nodiscard]] virtual std::vector<JobRecord> jobs(const std::optional<std::string>& object,
                                                      const std::optional<JobState>& state) = 0;

    // --- objects ---
    [[nodiscard]] virtual bool recordPassword(const std::string& object, std::uint16_t password) = 0;
    [[nodiscard]] virtual std::optional<std::uint16_t> recordedPassword(const std::string& object) = 0;
    // Whether the object was never seen before; nothing when the store failed.
    [[nodiscard]] virtual std::optional<bool> moduleSeen(const std::string& object, const std::string& peer,
                                                         const std::string& identification) = 0;
    [[nodiscard]] virtual bool moduleGone(const std::string& object) = 0;
    // No module is connected (the server starts or stops).
    [[nodiscard]] virtual bool clearConnected() = 0;
    [[nodiscard]] virtual std::vector<ModuleRecord> modules(bool connectedOnly) = 0;

    // --- backups and audit ---
    // The new backup's id, 0 when it could not be stored.
    [[nodiscard]] virtual std::int64_t addBackup(const std::string& object, std::int64_t jobId, const std::string& source,
                                                 const image::Image& image,
                                                 const std::vector<journal::JournalRow>& journal) = 0;
    [[nodiscard]] virtual std::vector<BackupRecord> backups(const std::string& object) = 0;
    [[nodiscard]] virtual std::optional<image::Image> backupImage(std::int64_t id) = 0;
    [[nodiscard]] virtual std::vector<journal::JournalRow> journal(std::int64_t backupId) = 0;
    [[nodiscard]] virtual bool addAudit(const std::string& object, std::int64_t jobId, const std::string& difference) = 0;
    [[nodiscard]] virtual std::vector<AuditRecord> audit(const std::optional<std::string>& object) = 0;

    // --- pages, for clients that page through a fleet of any size; none
    // when the store failed. A store may leave them to these, which page
    // through its whole lists. ---
    [[nodiscard]] virtual std::optional<std::vector<ModuleRecord>> modulesPage(const ModuleQuery& query);
    [[nodiscard]] virtual std::optional<std::vector<JobRecord>> jobsPage(const JobQuery& query);
    [[nodiscard]] virtual std::optional<std::vector<AuditRecord>> auditPage(const AuditQuery& query);
    [[nodiscard]] virtual std::optional<std::vector<JobTally>> jobTallies();
    // What a write of a document or image would change in each module of a
    // target, against its newest backup; a page at a time. A store may leave
    // it to this, which compares each module's backup here.
    [[nodiscard]] virtual std::optional<DriftPage> driftPage(const DriftQuery& query);
    // How long this store's statements took, where it times them.
    [[nodiscard]] virtual const DurationHistogram* statementTimes() const { return nullptr; }

    // --- tags: names that group modules, many to a module ---
    // Adds the tag to each object (or removes it); how many objects changed,
    // -1 when the store failed (then none did).
    [[nodiscard]] virtual long long changeTags(const std::string& tag, const std::vector<std::string>& objects,
                                               bool add) = 0;
    // The object's tags in name order; none when the store failed.
    [[nodiscard]] virtual std::optional<std::vector<std::string>> tagsOf(const std::string& object) = 0;

    // --- rollouts: one write to many modules, in waves ---
    // Checks the rollout, resolves its targets and splits them into waves;
    // it then awaits approval. Done with its id, or why not (nothing stored).
    [[nodiscard]] virtual RolloutOutcome createRollout(const NewRollout& rollout) = 0;
    // One operator's step, audited with `by`. Approval is refused to the
    // rollout's creator; a step the rollout's state does not take is a conflict.
    [[nodiscard]] virtual RolloutOutcome stepRollout(std::int64_t id, RolloutStep step, const std::string& by) = 0;
    // Every rollout, oldest first, or the one with `id`; none when the store failed.
    [[nodiscard]] virtual std::optional<std::vector<RolloutRecord>> rollouts(std::int64_t id) = 0;
    // Each wave's modules by their job's state; none when the store failed.
    [[nodiscard]] virtual std::optional<std::vector<RolloutWaveStatus>> rolloutWaves(std::int64_t id) = 0;
    // The server's pass over the running rollouts: each halted as soon as its
    // wave has too many failures, its next wave queued once the current one
    // ended within the limit, modules tagged since added to a dynamic one.
    // Each change is one conditional transaction, so that servers sharing the
    // store never start a wave twice. What happened; none when the store failed.
    [[nodiscard]] virtual std::optional<std::vector<RolloutEvent>> advanceRollouts() = 0;

    // --- password back-off, shared by every server of the store ---
    // One password mismatch more for the subject; the count starts again when
    // its last mismatch is older than `seconds`. At `limit` mismatches the
    // subject is locked out for `seconds`. The subject's record after the
    // count; none when the store could not count it.
    virtual std::optional<LockoutRecord> countMismatch(LockoutKind kind, const std::string& subject, int limit,
                                                       int seconds) = 0;
    // The object proved its password: its count starts again (a lock-out in force stays).
    virtual void clearMismatches(const std::string& object) = 0;
    // Forgets counts whose last mismatch is older than `seconds` and lock-outs that ended.
    virtual void expireLockouts(int seconds) = 0;
    // Every subject with a count or a lock-out; `lockedOnly`: those locked out now.
    [[nodiscard]] virtual std::vector<LockoutRecord> lockouts(bool lockedOnly) = 0;
    // The same, none when the store could not be read (an empty list is no answer to show then).
    [[nodiscard]] virtual std::optional<std::vector<LockoutRecord>> listLockouts(bool lockedOnly) {
        return lockouts(lockedOnly);
    }
    // Ends the lock-out and the count of one subject, or of every subject
    // (none given); how many subjects had one, or -1 when the store could not be changed.
    virtual int clearLockouts(const std::optional<std::string>& subject) = 0;

    // --- retention: old records deleted a batch at a time, so that no
    // statement holds its locks for long. A pass starts from an empty
    // cursor and gives each batch the cursor the last one returned, until
    // `ended`. ---
    struct Pruned {
        int deleted = 0;
        std::string cursor;  // where the next batch starts
        bool ended = false;  // the pass is over: nothing more to look at
    };
    // At most `limit` backups, with their journals, of the objects after
    // `cursor`: a backup goes once `keepNewest` newer ones of its object
    // exist (the newest always stays) and it is older than `days`, unless
    // its job is queued or running. Nothing when the store failed.
    [[nodiscard]] virtual std::optional<Pruned> pruneBackups(int keepNewest, int days, const std::string& cursor,
                                                             int limit) = 0;
    // At most `limit` jobs that ended (done, failed, cancelled) more than
    // `days` ago, looked at in the order they were queued. Their audit lines
    // stay: they are the record of what was changed. The jobs of a rollout
    // still under way stay too: its waves are judged on them.
    [[nodiscard]] virtual std::optional<Pruned> pruneJobs(int days, const std::string& cursor, int limit) = 0;

    // --- operators' keys ---
    // False with lastError() when the store failed or a good key has that name.
    [[nodiscard]] virtual bool addApiKey(const std::string& name, const std::string& role,
                                         const std::string& sha256Hex) = 0;
    // Every key ever added, revoked ones too, oldest first.
    [[nodiscard]] virtual std::vector<ApiKeyRecord> apiKeys() = 0;
    // How many good keys of that name were revoked (0 or 1), -1 when the store failed.
    [[nodiscard]] virtual int revokeApiKey(const std::string& name) = 0;
    // The good key with this SHA-256; none when there is none or the store failed.
    [[nodiscard]] virtual std::optional<ApiKeyRecord> apiKeyByHash(const std::string& sha256Hex) = 0;

    // "ok" when the database is sound, else what its check found.
    [[nodiscard]] virtual std::string integrityCheck() = 0;

    // --- servers sharing the store ---
    // This server is alive: its heartbeat stamped and the leases of the jobs
    // it runs renewed; the modules of servers whose heartbeat stopped marked
    // gone, and jobs whose lease expired back in the queue. False when the
    // database cannot be reached.
    [[nodiscard]] virtual bool heartbeat() = 0;
    // Connects again after heartbeat() failed; the jobs this server was
    // running go back to the queue, since their outcome may be lost.
    [[nodiscard]] virtual bool reconnect(std::string& error) = 0;
    // `queued` gets the object whenever a job is queued or requeued by any
    // server or kv6ctl; false where the database cannot tell (then poll).
    virtual bool watchQueued(std::function<void(const std::string& object)> queued) = 0;
    // This server stops: its heartbeat removed.
    [[nodiscard]] virtual bool leave() = 0;
    // Whether other servers may share the store, and so take over a job
    // whose lease lapsed.
    [[nodiscard]] virtual bool shared() const = 0;
};

}  // namespace kv6::fleet
