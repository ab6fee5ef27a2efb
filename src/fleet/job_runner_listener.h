#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fleet/fleet_job.h"
#include "image/image.h"
#include "pages/journal/journal_model.h"

namespace kv6::fleet {

// How an attempt at a job ended.
enum class JobEnd {
    Done,         // carried out (and verified, for a write)
    Failed,       // will not succeed by repeating: refused, mismatch, did not hold
    Interrupted,  // the connection dropped or the module stopped answering: run it again from the start
    StoreFailed,  // the store could not keep a backup or an audit line: run it again once it can
    LeaseLost,    // this server's lease may have lapsed: the job may be another server's now; nothing more sent
};

struct JobOutcome {
    std::int64_t jobId = 0;
    JobEnd end = JobEnd::Failed;
    std::string result;            // one line for the operator
    bool passwordMismatch = false;  // the module did not prove the object number
    std::optional<std::uint16_t> recordedPassword;  // the module's read password after the job
};

// How a connection's proof of its object ended (JobRunner::prove).
enum class Proof {
    Proved,    // the module holds the recorded read password
    Mismatch,  // it holds another
    NoAnswer,  // it did not answer the read in time
};

// What a job runner tells the server. Called from inside the runner's
// methods; a listener must not destroy the runner from a callback (it asks
// for the close and does it later).
class JobRunnerListener {
public:
    virtual ~JobRunnerListener() = default;
    // The module's first identification text on this connection.
    virtual void moduleIdentified(const std::string& object, const std::string& text) = 0;
    // A whole image was read for a job: keep it as a backup, with the journal
    // it holds. Returns an empty text when it is kept, else why not: then
    // the attempt ends, and nothing that follows the read is sent. None:
    // the store answers later, through JobRunner::storeAnswered(), and the
    // runner sends nothing until it does.
    [[nodiscard]] virtual std::optional<std::string> imageRead(const FleetJob& job, const image::Image& image,
                                                               const std::string& source,
                                                               const std::vector<journal::JournalRow>& journal) = 0;
    // A change is about to be sent: the field-by-field difference (module
    // before -> after). Returns as imageRead; the change goes out only once
    // its audit line is kept.
    [[nodiscard]] virtual std::optional<std::string> changeSent(const FleetJob& job, const std::string& difference) = 0;
    virtual void jobEnded(const FleetJob& job, const JobOutcome& outcome) = 0;
    // The module proved the read password recorded for the job's object.
    virtual void passwordProved(const FleetJob& /*job*/) {}
    // The proof asked by JobRunner::prove ended.
    virtual void proofEnded(Proof /*proof*/) {}
    // The connection should be closed (never identified, or changed its object number).
    virtual void closeRequested(const std::string& reason) = 0;
};

}  // namespace kv6::fleet
