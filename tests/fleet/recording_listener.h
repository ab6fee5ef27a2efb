#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fleet/job_runner_listener.h"

namespace kv6::fleet::test {

// Keeps everything a job runner tells its server. The store keeps each
// backup and audit line unless a test sets a problem for it.
struct RecordingListener : JobRunnerListener {
    std::vector<std::string> identified;  // object numbers
    std::vector<std::string> texts;       // their identification texts
    std::vector<std::string> sources;     // of the backups kept
    std::vector<image::Image> images;     // the backups kept
    std::vector<std::vector<journal::JournalRow>> journals;  // of each backup asked for
    std::vector<std::string> differences;  // the audit lines kept
    std::vector<JobOutcome> outcomes;
    std::vector<std::string> proved;
    std::vector<Proof> proofs;
    std::vector<std::string> closes;
    // What the store answers when asked to keep a backup or an audit line ("" = kept).
    std::string backupProblem;
    std::string auditProblem;
    // The store answers later (JobRunner::storeAnswered): what was asked waits here.
    bool deferred = false;
    std::vector<std::string> asked;  // "backup SOURCE" or "audit DIFFERENCE", in order

    void moduleIdentified(const std::string& object, const std::string& text) override {
        identified.push_back(object);
        texts.push_back(text);
    }
    std::optional<std::string> imageRead(const FleetJob&, const image::Image& image, const std::string& source,
                                         const std::vector<journal::JournalRow>& journal) override {
        journals.push_back(journal);
        if (deferred) {
            asked.push_back("backup " + source);
            return std::nullopt;
        }
        if (!backupProblem.empty()) return backupProblem;
        sources.push_back(source);
        images.push_back(image);
        return std::string();  // kept ({} would be no answer yet)
    }
    std::optional<std::string> changeSent(const FleetJob&, const std::string& difference) override {
        if (deferred) {
            asked.push_back("audit " + difference);
            return std::nullopt;
        }
        if (auditProblem.empty()) differences.push_back(difference);
        return auditProblem;
    }
    void jobEnded(const FleetJob&, const JobOutcome& outcome) override { outcomes.push_back(outcome); }
    void passwordProved(const FleetJob& job) override { proved.push_back(job.object); }
    void proofEnded(Proof proof) override { proofs.push_back(proof); }
    void closeRequested(const std::string& reason) override { closes.push_back(reason); }
};

}  // namespace kv6::fleet::test
