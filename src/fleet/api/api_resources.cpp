// The resources of the operator API: lists paged by their key, single
// records, jobs queued and cancelled with the checks of `kv6ctl fleet queue`.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "fleet/api/api_paging.h"
#include "fleet/api/api_resource_helpers.h"
#include "fleet/api/api_service.h"
#include "fleet/api/document_diff.h"
#include "fleet/api/job_request.h"
#include "fleet/drift_json.h"
#include "fleet/queue_checks.h"
#include "pages/configuration.h"
#include "settings/config_diff.h"

namespace kv6::fleet::api {

namespace {

using settings::Json;
using namespace resources;

Json jobJson(const JobRecord& j) {
    return {{"id", j.id},
            {"object", j.object},
            {"kind", kindName(j.kind)},
            {"options", optionsText(j.options)},
            {"state", stateName(j.state)},
            {"attempts", j.attempts},
            {"queued", j.queuedAt},
            {"started", j.startedAt},
            {"finished", j.finishedAt},
            {"result", j.result},
            {"by", j.by},
            {"cancelledBy", j.cancelledBy}};
}

Json moduleJson(const ModuleRecord& m) {
    return {{"object", m.object},     {"peer", m.peer},         {"identification", m.identification},
            {"firstSeen", m.firstSeen}, {"lastSeen", m.lastSeen}, {"connected", m.connected}};
}

Json backupJson(const BackupRecord& b) {
    return {{"id", b.id}, {"object", b.object}, {"taken", b.takenAt}, {"source", b.source}, {"job", b.jobId}};
}

Json auditJson(const AuditRecord& a) {
    return {{"id", a.id},           {"at", a.at}, {"object", a.object}, {"job", a.jobId}, {"outcome", a.outcome},
            {"difference", a.difference}, {"by", a.by}};
}

// A job's or an audit line's id from a cursor's key (a number key): 0
// before the first, the largest id (an empty page) for a key no number list gave.
std::int64_t idAfter(const std::string& key) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), value);
    if (!key.empty() && (ec != std::errc() || end != key.data() + key.size() || value < 0))
        return std::numeric_limits<std::int64_t>::max();
    return value;
}

std::string jobKey(const JobRecord& j) { return numberKey(j.id); }

// A module with its newest job and backup, as its row and its page show it.
Json moduleWithLast(FleetStore& store, const ModuleRecord& m) {
    Json item = moduleJson(m);
    JobQuery last;
    last.object = m.object;
    last.newestFirst = true;
    last.limit = 1;
    const auto jobs = store.jobsPage(last);
    item["lastJob"] = jobs && !jobs->empty() ? jobJson(jobs->front()) : Json(nullptr);
    const std::vector<BackupRecord> backups = store.backups(m.object);
    item["lastBackup"] = backups.empty() ? Json(nullptr) : backupJson(backups.back());
    item["tags"] = store.tagsOf(m.object).value_or(std::vector<std::string>{});
    return item;
}

Json diffItems(const settings::ConfigDiff& difference) { return diffItemsJson(difference); }

}  // namespace

ApiResponse ApiService::listModules(const ApiRequest& request) {
    ModuleQuery query;
    if (const auto connected = queryValue(request, "connected")) {
        if (*connected == "true" || *connected == "1") query.connectedOnly = true;
        else if (*connected != "false" && *connected != "0")
            return errorResponse(400, "connected: true or false is needed");
    }
    if (const auto tag = queryValue(request, "tag")) {
        if (tag->empty() || tag->size() > 64) return errorResponse(400, "tag: a tag's name is needed");
        query.tag = *tag;
    }
    if (const auto q = queryValue(request, "q")) {
        if (q->empty() || q->size() > 4 || !validObjectNumber(*q))
            return errorResponse(400, "q: a part of an object number (up to four letters or digits) is needed");
        query.contains = *q;
    }
    // A list shows each module as a table row does: with its newest job and
    // backup, looked up for the page's rows only.
    const auto row = [this](const ModuleRecord& m) { return moduleWithLast(m_store, m); };
    return paged(
        m_store, request,
        [&](const std::string& after, std::size_t limit, bool newestFirst) {
            query.after = after;
            query.limit = limit;
            query.newestFirst = newestFirst;
            return m_store.modulesPage(query);
        },
        [](const ModuleRecord& m) { return m.object; }, row);
}

ApiResponse ApiService::oneModule(const std::string& object) {
    if (!validObjectNumber(object)) return errorResponse(400, "object: one to four letters or digits are needed");
    ModuleQuery one;
    one.object = object;
    one.limit = 1;
    const auto modules = m_store.modulesPage(one);
    if (!modules) return storeFailed(m_store);
    if (modules->empty()) return errorResponse(404, "object: no module " + object + " ever called");
    Json body = moduleWithLast(m_store, modules->front());
    // Whether one is recorded; the password itself never leaves the store.
    body["password"] = m_store.recordedPassword(object) ? "recorded" : "none";
    return jsonResponse(200, body);
}

ApiResponse ApiService::listJobs(const ApiRequest& request) {
    JobQuery query;
    query.object = queryValue(request, "object");
    if (query.object && !validObjectNumber(*query.object))
        return errorResponse(400, "object: one to four letters or digits are needed");
    if (const auto name = queryValue(request, "state")) {
        query.state = stateFromName(*name);
        if (!query.state) return errorResponse(400, "state: queued, held, running, done, failed or cancelled is needed");
    }
    return paged(
        m_store, request,
        [&](const std::string& after, std::size_t limit, bool newestFirst) {
            query.after = idAfter(after);
            query.limit = limit;
            query.newestFirst = newestFirst;
            return m_store.jobsPage(query);
        },
        jobKey, jobJson);
}

ApiResponse ApiService::oneJob(const std::string& id) {
    const auto value = idValue(id);
    if (!value) return errorResponse(400, "id: a job's number is needed");
    JobQuery one;
    one.id = *value;
    one.limit = 1;
    const auto jobs = m_store.jobsPage(one);
    if (!jobs) return storeFailed(m_store);
    if (jobs->empty()) return errorResponse(404, "id: no job " + id);
    return jsonResponse(200, jobJson(jobs->front()));
}

ApiResponse ApiService::queueJob(const ApiRequest& request, const Caller& caller) {
    std::string error;
    auto parsed = JobRequest::parse(request.body, error);
    if (!parsed) return errorResponse(400, error);
    NewJob& job = parsed->job;
    if (!allows(caller.role, Action::QueueJob, job.kind))
        return forbidden(request, caller, "queue " + std::string(kindName(job.kind)) + " jobs");
    if (parsed->settings) {
        if (job.options.renumber && !namesObjectNumber(*parsed->settings))
            return errorResponse(400, "renumber: the settings name no object.objectNumber");
        const std::vector<std::string> problems = settingsProblems(m_store, job.object, *parsed->settings);
        if (!problems.empty()) {
            Json body = {{"error", "settings." + problems.front()}, {"problems", Json::array()}};
            for (const std::string& problem : problems) body["problems"].push_back("settings." + problem);
            return jsonResponse(400, body);
        }
    }
    job.by = caller.name;
    const QueueOutcome outcome = fleet::queueJob(m_store, job, parsed->password);
    if (outcome.status == QueueOutcome::Status::NoPassword)
        return errorResponse(409, "password: no read password is recorded for object " + job.object +
                                      ": give \"password\", the module's read password");
    if (!outcome.queued()) return errorResponse(503, outcome.reason);
    log("api: key '" + caller.name + "' queued job " + std::to_string(outcome.id) + " (" +
        std::string(kindName(job.kind)) + ") for object " + job.object + " from " + request.peer);
    for (const JobRecord& record : m_store.jobs(job.object, std::nullopt))
        if (record.id == outcome.id) return jsonResponse(201, jobJson(record));
    return jsonResponse(201, Json{{"id", outcome.id}});
}

ApiResponse ApiService::cancelJob(const ApiRequest& request, const Caller& caller, const std::string& id) {
    const auto value = idValue(id);
    if (!value) return errorResponse(400, "id: a job's number is needed");
    std::string why;
    if (m_store.cancelJob(*value, caller.name, why)) {
        log("api: key '" + caller.name + "' cancelled job " + id + " from " + request.peer);
        return oneJob(id);
    }
    if (why.rfind("no job", 0) == 0) return errorResponse(404, "id: " + why);
    if (why.rfind("job ", 0) == 0) return errorResponse(409, "id: " + why);
    return errorResponse(503, why);
}

ApiResponse ApiService::listBackups(const ApiRequest& request) {
    const auto object = queryValue(request, "object");
    if (!object || !validObjectNumber(*object))
        return errorResponse(400, "object: one to four letters or digits are needed");
    // One module's backups are few (the retention keeps them so): cut from its list.
    return paged(
        m_store, request,
        [&](const std::string& after, std::size_t limit, bool newestFirst) {
            std::vector<BackupRecord> all = m_store.backups(*object);
            if (newestFirst) std::reverse(all.begin(), all.end());
            std::vector<BackupRecord> page;
            const std::int64_t from = idAfter(after);
            for (BackupRecord& backup : all)
                if ((from == 0 || (newestFirst ? backup.id < from : backup.id > from)) && page.size() < limit)
                    page.push_back(std::move(backup));
            return std::optional(std::move(page));
        },
        [](const BackupRecord& b) { return numberKey(b.id); }, backupJson);
}

ApiResponse ApiService::backup(const std::string& id, const std::string& part) {
    const auto value = idValue(id);
    if (!value) return errorResponse(400, "id: a backup's number is needed");
    if (!part.empty() && part != "settings" && part != "journal")
        return errorResponse(404, "no such resource: backups/" + id + "/" + part.substr(0, 64));
    const auto image = m_store.backupImage(*value);
    if (!image) return errorResponse(404, "id: no backup " + id);
    if (part.empty()) return {200, "application/octet-stream", std::string(image->begin(), image->end())};
    if (part == "journal") {
        Json rows = Json::array();
        for (const journal::JournalRow& row : m_store.journal(*value))
            rows.push_back({{"time", row.time},
                            {"code", row.code},
                            {"description", row.description},
                            {"partition", row.partition},
                            {"zone", row.zone}});
        return jsonResponse(200, Json{{"items", std::move(rows)}});
    }
    pages::Configuration configuration;
    configuration.workspace.ReceivedImage = *image;
    configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    return jsonResponse(200, settings::exportDocument(configuration.document));
}

ApiResponse ApiService::diff(const ApiRequest& request) {
    std::optional<image::Image> images[2];
    const char* keys[2] = {"from", "to"};
    for (int i = 0; i < 2; ++i) {
        const auto text = queryValue(request, keys[i]);
        const auto id = text ? idValue(*text) : std::nullopt;
        if (!id) return errorResponse(400, std::string(keys[i]) + ": a backup's number is needed");
        images[i] = m_store.backupImage(*id);
        if (!images[i]) return errorResponse(404, std::string(keys[i]) + ": no backup " + *text);
    }
    return jsonResponse(200, Json{{"items", diffItems(settings::diffImages(*images[0], *images[1]))}});
}

ApiResponse ApiService::diffDocument(const ApiRequest& request) {
    const Json body = Json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) return errorResponse(400, "the body is no JSON object");
    for (const auto& item : body.items())
        if (item.key() != "backup" && item.key() != "object" && item.key() != "settings" && item.key() != "prg")
            return errorResponse(400, "unknown key '" + item.key().substr(0, 64) + "'");
    // The image: a backup named, or the object's newest.
    std::int64_t backupId = 0;
    if (body.contains("backup") == body.contains("object"))
        return errorResponse(400, "backup: either \"backup\" (a backup's number) or \"object\" is needed");
    if (const auto backup = body.find("backup"); backup != body.end()) {
        if (!backup->is_number_integer() || backup->get<long long>() <= 0)
            return errorResponse(400, "backup: a backup's number is needed");
        backupId = backup->get<std::int64_t>();
    } else {
        const Json& object = body["object"];
        if (!object.is_string() || !validObjectNumber(object.get_ref<const std::string&>()))
            return errorResponse(400, "object: one to four letters or digits are needed");
        const std::vector<BackupRecord> backups = m_store.backups(object.get<std::string>());
        if (backups.empty())
            return errorResponse(404, "object: no backup of " + object.get<std::string>() + " yet");
        backupId = backups.back().id;
    }
    const auto image = m_store.backupImage(backupId);
    if (!image) return errorResponse(404, "backup: no backup " + std::to_string(backupId));
    if (body.contains("settings") == body.contains("prg"))
        return errorResponse(400, "settings: either \"settings\" (a kv6-settings document) or \"prg\" (base64) is needed");
    Json answer = {{"backup", backupId}};
    if (const auto prg = body.find("prg"); prg != body.end()) {
        const auto bytes = prg->is_string() ? decodeBase64(prg->get_ref<const std::string&>()) : std::nullopt;
        if (!bytes || bytes->size() != image::kImageSize)
            return errorResponse(400, "prg: the bytes of a .prg (" + std::to_string(image::kImageSize) +
                                          ") in base64 are needed");
        image::Image other{};
        std::copy(bytes->begin(), bytes->end(), other.begin());
        answer["items"] = diffItems(settings::diffImages(*image, other));
        return jsonResponse(200, answer);
    }
    const Json& document = body["settings"];
    if (!document.is_object()) return errorResponse(400, "settings: a kv6-settings document (a JSON object) is needed");
    const DocumentDiff result = DocumentDiff::of(*image, document);
    if (!result.problems.empty()) {
        Json refusal = {{"error", "settings." + result.problems.front()}, {"problems", Json::array()}};
        for (const std::string& problem : result.problems) refusal["problems"].push_back("settings." + problem);
        return jsonResponse(400, refusal);
    }
    answer["items"] = diffItems(result.difference);
    return jsonResponse(200, answer);
}

ApiResponse ApiService::listAudit(const ApiRequest& request) {
    AuditQuery query;
    query.object = queryValue(request, "object");
    if (query.object && !validObjectNumber(*query.object))
        return errorResponse(400, "object: one to four letters or digits are needed");
    query.by = queryValue(request, "by");
    if (const auto since = queryValue(request, "since")) {
        // A time as the store writes it, or its first part: "2026-12-08", "2026-12-08T05:00".
        const bool valid = since->size() >= 4 && since->size() <= 20 &&
                           since->find_first_not_of("0123456789-T:Z") == std::string::npos;
        if (!valid) return errorResponse(400, "since: a UTC time YYYY-MM-DD[THH:MM:SSZ] is needed");
        query.since = *since;
    }
    return paged(
        m_store, request,
        [&](const std::string& after, std::size_t limit, bool newestFirst) {
            query.after = idAfter(after);
            query.limit = limit;
            query.newestFirst = newestFirst;
            return m_store.auditPage(query);
        },
        [](const AuditRecord& a) { return numberKey(a.id); }, auditJson);
}

ApiResponse ApiService::metrics() {
    std::string text;
    const auto tallies = m_store.jobTallies();
    if (!tallies) return storeFailed(m_store);
    long long writesDone = 0;
    long long writesFailed = 0;
    text += "# HELP kv6_jobs Jobs in the store, by state.\n# TYPE kv6_jobs gauge\n";
    for (const JobState state : {JobState::Queued, JobState::Held, JobState::Running, JobState::Done, JobState::Failed,
                                 JobState::Cancelled}) {
        long long jobs = 0;
        for (const JobTally& tally : *tallies) {
            if (tally.state != state) continue;
            jobs += tally.count;
            if (tally.kind == JobKind::Write && state == JobState::Done) writesDone += tally.count;
            if (tally.kind == JobKind::Write && state == JobState::Failed) writesFailed += tally.count;
        }
        text += "kv6_jobs{state=\"" + std::string(stateName(state)) + "\"} " + std::to_string(jobs) + "\n";
    }
    text += "# HELP kv6_write_jobs Write jobs that ended, by outcome: verified (read back and equal) or failed.\n"
            "# TYPE kv6_write_jobs gauge\n";
    text += "kv6_write_jobs{outcome=\"verified\"} " + std::to_string(writesDone) + "\n";
    text += "kv6_write_jobs{outcome=\"failed\"} " + std::to_string(writesFailed) + "\n";
    text += "# HELP kv6_api_refusals_total API requests refused: 401 no or unknown key, 403 beyond the key's role.\n"
            "# TYPE kv6_api_refusals_total counter\n";
    text += "kv6_api_refusals_total{status=\"401\"} " + std::to_string(m_unauthorized) + "\n";
    text += "kv6_api_refusals_total{status=\"403\"} " + std::to_string(m_forbidden) + "\n";
    text += rolloutMetrics();
    if (m_hooks.metrics) text += m_hooks.metrics();
    return {200, "text/plain; version=0.0.4", text};
}

}  // namespace kv6::fleet::api
