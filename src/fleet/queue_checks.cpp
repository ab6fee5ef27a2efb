#include "fleet/queue_checks.h"

#include <algorithm>

#include "pages/configuration.h"

namespace kv6::fleet {

namespace {

// The problems `kv6ctl apply` finds applying the settings onto `image`
// (decoded as a file), or onto a configuration as the tool starts.
std::vector<std::string> applyProblems(const std::optional<image::Image>& image, const settings::Json& document) {
    pages::Configuration configuration;
    configuration.document.setRemembersFields(false);
    if (image) {
        configuration.workspace.ReceivedImage = *image;
        configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    }
    return settings::applyJson(configuration.document, document);
}

// "codes.code1" of "codes.code1: invalid value ...".
std::string problemKey(const std::string& problem) { return problem.substr(0, problem.find(": ")); }

}  // namespace

std::vector<std::string> settingsProblems(FleetStore& store, const std::string& object,
                                          const settings::Json& document) {
    const std::vector<BackupRecord> backups = store.backups(object);
    if (const auto newest = backups.empty() ? std::nullopt : store.backupImage(backups.back().id))
        return applyProblems(newest, document);
    image::Image erased{};
    erased.fill(0xFF);
    const std::vector<std::string> onErased = applyProblems(erased, document);
    std::vector<std::string> problems;
    for (const std::string& problem : applyProblems(std::nullopt, document))
        if (std::any_of(onErased.begin(), onErased.end(),
                        [&](const std::string& p) { return problemKey(p) == problemKey(problem); }))
            problems.push_back(problem);
    return problems;
}

std::vector<std::string> rolloutProblems(FleetStore& store, const NewRollout& rollout) {
    if (rollout.format == WriteFormat::Prg) {
        if (rollout.payload.size() == image::kImageSize) return {};
        return {"prg: a .prg holds exactly " + std::to_string(image::kImageSize) + " bytes"};
    }
    const settings::Json document = settings::Json::parse(rollout.payload.begin(), rollout.payload.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) return {"settings: no kv6-settings document"};
    // Each module keeps its own object number and read password: a rollout's
    // write names neither option.
    return settingsProblems(store, std::string(), document);
}

bool namesObjectNumber(const settings::Json& document) {
    const auto page = document.find("object");
    return page != document.end() && page->is_object() && page->contains("objectNumber");
}

QueueOutcome queueJob(FleetStore& store, const NewJob& job, std::optional<std::uint16_t> password) {
    QueueOutcome outcome;
    if (changesModule(job.kind) && !password && !store.recordedPassword(job.object)) {
        outcome.status = QueueOutcome::Status::NoPassword;
        return outcome;
    }
    // An id only for a job the store kept; whatever it did not keep, with its reason.
    if (password && !store.recordPassword(job.object, *password)) {
        outcome.reason = "the password could not be recorded: " + store.lastError() + "; nothing queued";
        return outcome;
    }
    outcome.id = store.queueJob(job);
    if (outcome.id == 0) {
        outcome.reason = "the job could not be stored: " + store.lastError();
        return outcome;
    }
    outcome.status = QueueOutcome::Status::Queued;
    return outcome;
}

}  // namespace kv6::fleet
