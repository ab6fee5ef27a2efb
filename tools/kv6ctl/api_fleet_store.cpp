#include "api_fleet_store.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>

#include "fleet/drift_json.h"

#include "fleet/api/rollout_json.h"

namespace kv6::ctl {

namespace {

using settings::Json;

constexpr int kTimeoutMs = 30000;

std::string text(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::int64_t number(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found != json.end() && found->is_number_integer() ? found->get<std::int64_t>() : 0;
}

QString encoded(const std::string& value) { return QString::fromUtf8(QUrl::toPercentEncoding(QString::fromStdString(value))); }

}  // namespace

ApiFleetStore::ApiFleetStore(const QString& url, const QByteArray& key) : m_url(url), m_key(key) {
    while (m_url.endsWith(QLatin1Char('/'))) m_url.chop(1);
}

ApiFleetStore::Answer ApiFleetStore::send(const QByteArray& method, const QString& path, const QByteArray& body) {
    QNetworkRequest request(QUrl(m_url + path));
    request.setRawHeader("Authorization", "Bearer " + m_key);
    if (!body.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    request.setTransferTimeout(kTimeoutMs);
    QNetworkReply* reply = m_network.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    if (answer.status == 0) {
        answer.error = "cannot reach " + m_url.toStdString() + ": " + reply->errorString().toStdString();
    } else if (answer.status >= 400) {
        const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr,
                                      false);
        answer.error = json.is_object() ? text(json, "error") : std::string();
        if (answer.error.empty()) answer.error = "the server answered " + std::to_string(answer.status);
    }
    reply->deleteLater();
    if (!answer.error.empty()) m_lastError = answer.error;
    return answer;
}

std::optional<std::vector<Json>> ApiFleetStore::list(const QString& path) {
    std::vector<Json> items;
    std::string cursor;
    do {
        QString page = path + (path.contains(QLatin1Char('?')) ? "&" : "?") + "limit=1000";
        if (!cursor.empty()) page += "&cursor=" + encoded(cursor);
        const Answer answer = send("GET", page);
        if (answer.status != 200) return std::nullopt;
        const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr,
                                      false);
        if (!json.is_object() || !json.contains("items") || !json["items"].is_array()) {
            m_lastError = "the server's answer is no list";
            return std::nullopt;
        }
        for (const Json& item : json["items"]) items.push_back(item);
        cursor = text(json, "next");
    } while (!cursor.empty());
    return items;
}

bool ApiFleetStore::open(std::string& error) {
    // The key is checked once, before any command runs.
    const Answer answer = send("GET", QStringLiteral("/api/v1/jobs?limit=1"));
    if (answer.status == 200) return true;
    error = answer.error;
    return false;
}

std::int64_t ApiFleetStore::queueJob(const fleet::NewJob& job) {
    Json body = {{"object", job.object}, {"kind", fleet::kindName(job.kind)}};
    if (m_password) body["password"] = *m_password;
    if (job.kind == fleet::JobKind::Password) body["newPassword"] = job.newPassword;
    if (job.kind == fleet::JobKind::Reset) body["force"] = job.force;
    if (job.kind == fleet::JobKind::Write) {
        if (job.options.renumber) body["renumber"] = true;
        if (job.options.passwordFromFile) body["passwordFromFile"] = true;
        const QByteArray payload(reinterpret_cast<const char*>(job.payload.data()),
                                 static_cast<qsizetype>(job.payload.size()));
        if (job.format == fleet::WriteFormat::Prg)
            body["prg"] = payload.toBase64().toStdString();
        else
            body["settings"] = Json::parse(payload.constData(), payload.constData() + payload.size(), nullptr, false);
    }
    m_password.reset();
    const Answer answer = send("POST", QStringLiteral("/api/v1/jobs"), QByteArray::fromStdString(body.dump()));
    if (answer.status != 201) return 0;
    const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
    return json.is_object() ? number(json, "id") : 0;
}

bool ApiFleetStore::cancelJob(std::int64_t id, const std::string&, std::string& why) {
    const Answer answer = send("DELETE", QStringLiteral("/api/v1/jobs/%1").arg(id));
    if (answer.status == 200) return true;
    // "id: job 5 is running, not queued": the store's own words after the key.
    why = answer.error.rfind("id: ", 0) == 0 ? answer.error.substr(4) : answer.error;
    return false;
}

std::vector<fleet::JobRecord> ApiFleetStore::jobs(const std::optional<std::string>& object,
                                                  const std::optional<fleet::JobState>& state) {
    QUrlQuery query;
    if (object) query.addQueryItem("object", encoded(*object));
    if (state) query.addQueryItem("state", QString::fromUtf8(fleet::stateName(*state)));
    std::vector<fleet::JobRecord> records;
    for (const Json& j : list("/api/v1/jobs?" + query.toString(QUrl::FullyEncoded)).value_or(std::vector<Json>())) {
        fleet::JobRecord r;
        r.id = number(j, "id");
        r.object = text(j, "object");
        r.kind = fleet::kindFromName(text(j, "kind")).value_or(fleet::JobKind::Read);
        r.state = fleet::stateFromName(text(j, "state")).value_or(fleet::JobState::Failed);
        r.attempts = static_cast<int>(number(j, "attempts"));
        const std::string options = text(j, "options");
        r.options.renumber = options.find("--renumber") != std::string::npos;
        r.options.passwordFromFile = options.find("--password-from-file") != std::string::npos;
        r.queuedAt = text(j, "queued");
        r.startedAt = text(j, "started");
        r.finishedAt = text(j, "finished");
        r.result = text(j, "result");
        r.by = text(j, "by");
        r.cancelledBy = text(j, "cancelledBy");
        records.push_back(std::move(r));
    }
    return records;
}

bool ApiFleetStore::recordPassword(const std::string&, std::uint16_t password) {
    m_password = password;
    return true;
}

std::optional<std::uint16_t> ApiFleetStore::recordedPassword(const std::string& object) {
    const Answer answer = send("GET", "/api/v1/modules/" + encoded(object));
    // An object never seen may still have one: the server decides when the job is queued.
    if (answer.status != 200) return std::uint16_t{0};
    const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
    if (json.is_object() && text(json, "password") == "none") return std::nullopt;
    return std::uint16_t{0};  // recorded: the API does not say which
}

std::vector<fleet::ModuleRecord> ApiFleetStore::modules(bool connectedOnly) {
    std::vector<fleet::ModuleRecord> records;
    const QString path = connectedOnly ? QStringLiteral("/api/v1/modules?connected=true") : QStringLiteral("/api/v1/modules");
    for (const Json& m : list(path).value_or(std::vector<Json>())) {
        const auto connected = m.find("connected");
        records.push_back({text(m, "object"), text(m, "peer"), text(m, "identification"), text(m, "firstSeen"),
                           text(m, "lastSeen"), connected != m.end() && connected->is_boolean() && connected->get<bool>()});
    }
    return records;
}

std::vector<fleet::BackupRecord> ApiFleetStore::backups(const std::string& object) {
    std::vector<fleet::BackupRecord> records;
    for (const Json& b : list("/api/v1/backups?object=" + encoded(object)).value_or(std::vector<Json>()))
        records.push_back({number(b, "id"), text(b, "object"), text(b, "taken"), text(b, "source"), number(b, "job")});
    return records;
}

std::optional<image::Image> ApiFleetStore::backupImage(std::int64_t id) {
    const Answer answer = send("GET", QStringLiteral("/api/v1/backups/%1").arg(id));
    if (answer.status != 200 || answer.body.size() != static_cast<qsizetype>(image::kImageSize)) return std::nullopt;
    image::Image image{};
    std::copy(answer.body.begin(), answer.body.end(), image.begin());
    return image;
}

std::vector<journal::JournalRow> ApiFleetStore::journal(std::int64_t backupId) {
    std::vector<journal::JournalRow> rows;
    for (const Json& r : list(QStringLiteral("/api/v1/backups/%1/journal").arg(backupId)).value_or(std::vector<Json>()))
        rows.push_back({text(r, "time"), text(r, "code"), text(r, "description"),
                        static_cast<int>(number(r, "partition")), static_cast<int>(number(r, "zone"))});
    return rows;
}

std::vector<fleet::AuditRecord> ApiFleetStore::audit(const std::optional<std::string>& object) {
    std::vector<fleet::AuditRecord> records;
    const QString path = object ? "/api/v1/audit?object=" + encoded(*object) : QStringLiteral("/api/v1/audit");
    for (const Json& a : list(path).value_or(std::vector<Json>()))
        records.push_back({number(a, "id"), text(a, "at"), text(a, "object"), number(a, "job"), text(a, "difference"),
                           text(a, "outcome"), text(a, "by")});
    return records;
}

bool ApiFleetStore::addApiKey(const std::string& name, const std::string& role, const std::string& sha256Hex) {
    const Json body = {{"name", name}, {"role", role}, {"sha256", sha256Hex}};
    return send("POST", QStringLiteral("/api/v1/keys"), QByteArray::fromStdString(body.dump())).status == 201;
}

std::vector<fleet::ApiKeyRecord> ApiFleetStore::apiKeys() {
    std::vector<fleet::ApiKeyRecord> records;
    for (const Json& k : list(QStringLiteral("/api/v1/keys")).value_or(std::vector<Json>())) {
        fleet::ApiKeyRecord r;
        r.name = text(k, "name");
        r.role = text(k, "role");
        r.created = text(k, "created");
        r.revoked = text(k, "revoked");
        records.push_back(std::move(r));
    }
    return records;
}

int ApiFleetStore::revokeApiKey(const std::string& name) {
    const Answer answer = send("DELETE", "/api/v1/keys/" + encoded(name));
    if (answer.status == 200) return 1;
    return answer.status == 404 ? 0 : -1;
}

std::optional<fleet::DriftPage> ApiFleetStore::driftPage(const fleet::DriftQuery& query) {
    Json body;
    if (query.source.format == fleet::WriteFormat::Prg) {
        const QByteArray prg(reinterpret_cast<const char*>(query.source.prg.data()),
                             static_cast<qsizetype>(query.source.prg.size()));
        body["prg"] = prg.toBase64().toStdString();
    } else {
        body["settings"] = query.source.document;
    }
    // The API pages at most this many modules at a time.
    const std::size_t limit = std::clamp<std::size_t>(query.limit, 1, 1000);
    QString path = QStringLiteral("/api/v1/drift?limit=%1").arg(limit);
    fleet::DriftPage page;
    std::size_t remaining = 0;
    if (query.target.kind == fleet::FleetTarget::Kind::Objects) {
        // A long list goes a part at a time, each small enough for a request's body;
        // the continuation is the last object sent.
        const auto& all = query.target.objects;
        const auto from = query.after.empty() ? all.begin() : std::upper_bound(all.begin(), all.end(), query.after);
        const auto count = std::min<std::size_t>(limit, static_cast<std::size_t>(all.end() - from));
        const std::vector<std::string> part(from, from + static_cast<std::ptrdiff_t>(count));
        if (part.empty()) return page;
        body["target"] = part;
        remaining = static_cast<std::size_t>(all.end() - from) - count;
        if (remaining > 0) page.next = part.back();
    } else {
        body["target"] = query.target.kind == fleet::FleetTarget::Kind::All ? std::string("all") : "tag:" + query.target.tag;
        if (!query.after.empty()) path += "&cursor=" + encoded(query.after);
    }
    const Answer answer = send("POST", path, QByteArray::fromStdString(body.dump()));
    if (answer.status == 400 && answer.error.rfind("target: ", 0) == 0) {
        page.error = answer.error.substr(8);
        return page;
    }
    if (answer.status != 200) return std::nullopt;
    const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
    if (!json.is_object() || !json.contains("items") || !json["items"].is_array()) {
        m_lastError = "the server's answer is no list";
        return std::nullopt;
    }
    for (const Json& item : json["items"]) {
        auto row = fleet::driftRowFromJson(item);
        if (!row) {
            m_lastError = "the server's answer holds a row that is no drift";
            return std::nullopt;
        }
        page.rows.push_back(std::move(*row));
    }
    if (query.target.kind != fleet::FleetTarget::Kind::Objects) page.next = text(json, "next");
    return page;
}

std::optional<std::vector<fleet::LockoutRecord>> ApiFleetStore::listLockouts(bool lockedOnly) {
    const auto items = list(lockedOnly ? QStringLiteral("/api/v1/lockouts?locked=true") : QStringLiteral("/api/v1/lockouts"));
    if (!items) return std::nullopt;
    std::vector<fleet::LockoutRecord> records;
    for (const Json& l : *items) {
        fleet::LockoutRecord r;
        r.kind = text(l, "kind") == "address" ? fleet::LockoutKind::Address : fleet::LockoutKind::Object;
        r.subject = text(l, "subject");
        r.mismatches = static_cast<int>(number(l, "mismatches"));
        r.lastAt = text(l, "last");
        r.lockedUntil = text(l, "lockedUntil");
        records.push_back(std::move(r));
    }
    return records;
}

std::optional<std::vector<fleet::ModuleRecord>> ApiFleetStore::modulesPage(const fleet::ModuleQuery& query) {
    QUrlQuery params;
    if (query.connectedOnly) params.addQueryItem("connected", "true");
    if (!query.tag.empty()) params.addQueryItem("tag", encoded(query.tag));
    if (!query.contains.empty()) params.addQueryItem("q", encoded(query.contains));
    const auto items = list("/api/v1/modules?" + params.toString(QUrl::FullyEncoded));
    if (!items) return std::nullopt;
    std::vector<fleet::ModuleRecord> records;
    for (const Json& m : *items) {
        const auto connected = m.find("connected");
        fleet::ModuleRecord r{text(m, "object"), text(m, "peer"), text(m, "identification"), text(m, "firstSeen"),
                              text(m, "lastSeen"), connected != m.end() && connected->is_boolean() && connected->get<bool>()};
        if ((query.object.empty() || r.object == query.object) && (query.after.empty() || r.object > query.after) &&
            records.size() < query.limit)
            records.push_back(std::move(r));
    }
    return records;
}

int ApiFleetStore::clearLockouts(const std::optional<std::string>& subject) {
    const Answer answer =
        send("DELETE", subject ? "/api/v1/lockouts/" + encoded(*subject) : QStringLiteral("/api/v1/lockouts"));
    if (answer.status == 404 && subject) return 0;
    if (answer.status != 200) return -1;
    const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
    const auto cleared = json.is_object() ? json.find("cleared") : json.end();
    if (!json.is_object() || cleared == json.end() || !cleared->is_number_integer()) {
        m_lastError = "the server's answer holds no count";
        return -1;
    }
    return cleared->get<int>();
}

long long ApiFleetStore::changeTags(const std::string& tag, const std::vector<std::string>& objects, bool add) {
    // A request's body is bounded: the objects go a thousand at a time.
    constexpr std::size_t kBatch = 1000;
    long long changed = 0;
    for (std::size_t from = 0; from < objects.size(); from += kBatch) {
        const std::vector<std::string> part(objects.begin() + static_cast<std::ptrdiff_t>(from),
                                            objects.begin() + static_cast<std::ptrdiff_t>(std::min(objects.size(), from + kBatch)));
        const Answer answer = send("POST", "/api/v1/tags/" + encoded(tag) + (add ? "/add" : "/remove"),
                                   QByteArray::fromStdString(Json{{"objects", part}}.dump()));
        if (answer.status != 200) return -1;
        const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
        changed += json.is_object() ? number(json, "changed") : 0;
    }
    return changed;
}

std::optional<std::vector<std::string>> ApiFleetStore::tagsOf(const std::string& object) {
    const Answer answer = send("GET", "/api/v1/modules/" + encoded(object));
    if (answer.status != 200) return std::nullopt;
    const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
    std::vector<std::string> tags;
    if (json.is_object() && json.contains("tags") && json["tags"].is_array())
        for (const Json& t : json["tags"])
            if (t.is_string()) tags.push_back(t.get<std::string>());
    return tags;
}

fleet::RolloutOutcome ApiFleetStore::rolloutOutcome(const Answer& answer) const {
    fleet::RolloutOutcome outcome;
    using Status = fleet::RolloutOutcome::Status;
    switch (answer.status) {
        case 200:
        case 201: outcome.status = Status::Done; break;
        case 400: outcome.status = Status::Invalid; break;
        case 403: outcome.status = Status::Forbidden; break;
        case 404: outcome.status = Status::NotFound; break;
        case 409: outcome.status = Status::Conflict; break;
        default: outcome.status = Status::StoreFailed; break;
    }
    outcome.message = answer.error;
    if (outcome.done()) {
        const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
        const fleet::RolloutRecord r = json.is_object() ? fleet::api::rolloutFromJson(json) : fleet::RolloutRecord{};
        outcome.id = r.id;
        outcome.message = "rollout " + std::to_string(r.id) + " '" + r.name + "' " + r.state;
    }
    return outcome;
}

fleet::RolloutOutcome ApiFleetStore::createRollout(const fleet::NewRollout& rollout) {
    return rolloutOutcome(send("POST", QStringLiteral("/api/v1/rollouts"),
                               QByteArray::fromStdString(fleet::api::newRolloutJson(rollout).dump())));
}

fleet::RolloutOutcome ApiFleetStore::stepRollout(std::int64_t id, fleet::RolloutStep step, const std::string&) {
    // The server names who takes the step: the key's name.
    return rolloutOutcome(send("POST", QStringLiteral("/api/v1/rollouts/%1/%2").arg(id).arg(QString::fromUtf8(
                                           fleet::rolloutStepName(step).data(), static_cast<qsizetype>(fleet::rolloutStepName(step).size()))),
                               QByteArrayLiteral("{}")));
}

std::optional<std::vector<fleet::RolloutRecord>> ApiFleetStore::rollouts(std::int64_t id) {
    std::vector<fleet::RolloutRecord> records;
    if (id != 0) {
        const Answer answer = send("GET", QStringLiteral("/api/v1/rollouts/%1").arg(id));
        if (answer.status == 404) return records;
        if (answer.status != 200) return std::nullopt;
        const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
        if (json.is_object()) records.push_back(fleet::api::rolloutFromJson(json));
        return records;
    }
    const auto items = list(QStringLiteral("/api/v1/rollouts"));
    if (!items) return std::nullopt;
    for (const Json& r : *items) records.push_back(fleet::api::rolloutFromJson(r));
    return records;
}

std::optional<std::vector<fleet::RolloutWaveStatus>> ApiFleetStore::rolloutWaves(std::int64_t id) {
    const Answer answer = send("GET", QStringLiteral("/api/v1/rollouts/%1").arg(id));
    if (answer.status != 200) return std::nullopt;
    const Json json = Json::parse(answer.body.constData(), answer.body.constData() + answer.body.size(), nullptr, false);
    std::vector<fleet::RolloutWaveStatus> waves;
    if (json.is_object() && json.contains("waveStatus") && json["waveStatus"].is_array())
        for (const Json& w : json["waveStatus"]) waves.push_back(fleet::api::waveFromJson(w));
    return waves;
}

}  // namespace kv6::ctl
