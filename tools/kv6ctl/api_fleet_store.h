#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QString>
#include <optional>

#include "fleet/fleet_store.h"
#include "settings/settings_json.h"

namespace kv6::ctl {

// The store as `kv6ctl fleet --server URL` sees it: each list and change
// goes through kv6d's operator API with the caller's key, so that the
// fleet commands run unchanged, with the same output. What the API does not
// offer (the server's own work) fails with a reason.
class ApiFleetStore final : public fleet::FleetStore {
public:
    ApiFleetStore(const QString& url, const QByteArray& key);

    [[nodiscard]] bool open(std::string& error) override;
    [[nodiscard]] std::string lastError() const override { return m_lastError; }

    [[nodiscard]] std::int64_t queueJob(const fleet::NewJob& job) override;
    [[nodiscard]] bool cancelJob(std::int64_t id, const std::string& by, std::string& why) override;
    [[nodiscard]] std::vector<fleet::JobRecord> jobs(const std::optional<std::string>& object,
                                                     const std::optional<fleet::JobState>& state) override;
    // Kept for the next queueJob(), which sends it with the job.
    [[nodiscard]] bool recordPassword(const std::string& object, std::uint16_t password) override;
    // Whether one is recorded; the API never tells the password itself.
    [[nodiscard]] std::optional<std::uint16_t> recordedPassword(const std::string& object) override;
    [[nodiscard]] std::vector<fleet::ModuleRecord> modules(bool connectedOnly) override;
    [[nodiscard]] std::vector<fleet::BackupRecord> backups(const std::string& object) override;
    [[nodiscard]] std::optional<image::Image> backupImage(std::int64_t id) override;
    [[nodiscard]] std::vector<journal::JournalRow> journal(std::int64_t backupId) override;
    [[nodiscard]] std::vector<fleet::AuditRecord> audit(const std::optional<std::string>& object) override;
    // Compared on the server, against the backups it holds: no image comes here.
    [[nodiscard]] std::optional<fleet::DriftPage> driftPage(const fleet::DriftQuery& query) override;

    [[nodiscard]] std::optional<std::vector<fleet::ModuleRecord>> modulesPage(const fleet::ModuleQuery& query) override;
    [[nodiscard]] long long changeTags(const std::string& tag, const std::vector<std::string>& objects,
                                       bool add) override;
    [[nodiscard]] std::optional<std::vector<std::string>> tagsOf(const std::string& object) override;
    [[nodiscard]] fleet::RolloutOutcome createRollout(const fleet::NewRollout& rollout) override;
    [[nodiscard]] fleet::RolloutOutcome stepRollout(std::int64_t id, fleet::RolloutStep step,
                                                    const std::string& by) override;
    [[nodiscard]] std::optional<std::vector<fleet::RolloutRecord>> rollouts(std::int64_t id) override;
    [[nodiscard]] std::optional<std::vector<fleet::RolloutWaveStatus>> rolloutWaves(std::int64_t id) override;

    // The server's own work: not through the API.
    [[nodiscard]] std::optional<std::vector<fleet::RolloutEvent>> advanceRollouts() override { return none(); }
    [[nodiscard]] std::optional<fleet::FleetJob> claimNextJob(const std::string&) override { return none(); }
    [[nodiscard]] bool finishJob(std::int64_t, fleet::JobState, const std::string&) override { return refuse(); }
    [[nodiscard]] bool requeueJob(std::int64_t, const std::string&, int, Attempt) override { return refuse(); }
    [[nodiscard]] int recoverLeases() override { return refuse() ? 0 : -1; }
    [[nodiscard]] bool lastEndDiscarded() const override { return false; }
    [[nodiscard]] std::optional<Pruned> pruneBackups(int, int, const std::string&, int) override { return none(); }
    [[nodiscard]] std::optional<Pruned> pruneJobs(int, const std::string&, int) override { return none(); }
    [[nodiscard]] std::vector<std::string> objectsWithQueuedJobs() override { return {}; }
    [[nodiscard]] std::optional<bool> moduleSeen(const std::string&, const std::string&, const std::string&) override {
        return none();
    }
    [[nodiscard]] bool moduleGone(const std::string&) override { return refuse(); }
    [[nodiscard]] bool clearConnected() override { return refuse(); }
    [[nodiscard]] std::int64_t addBackup(const std::string&, std::int64_t, const std::string&, const image::Image&,
                                         const std::vector<journal::JournalRow>&) override {
        return refuse() ? 1 : 0;
    }
    [[nodiscard]] bool addAudit(const std::string&, std::int64_t, const std::string&) override { return refuse(); }
    std::optional<fleet::LockoutRecord> countMismatch(fleet::LockoutKind, const std::string&, int, int) override {
        return none();
    }
    void clearMismatches(const std::string&) override {}
    void expireLockouts(int) override {}
    [[nodiscard]] std::vector<fleet::LockoutRecord> lockouts(bool lockedOnly) override {
        return listLockouts(lockedOnly).value_or(std::vector<fleet::LockoutRecord>());
    }
    [[nodiscard]] std::optional<std::vector<fleet::LockoutRecord>> listLockouts(bool lockedOnly) override;
    // An admin's.
    int clearLockouts(const std::optional<std::string>& subject) override;
    // An admin's: the key made here, only its SHA-256 sent.
    [[nodiscard]] bool addApiKey(const std::string& name, const std::string& role,
                                 const std::string& sha256Hex) override;
    [[nodiscard]] std::vector<fleet::ApiKeyRecord> apiKeys() override;
    [[nodiscard]] int revokeApiKey(const std::string& name) override;
    [[nodiscard]] std::optional<fleet::ApiKeyRecord> apiKeyByHash(const std::string&) override { return none(); }
    [[nodiscard]] std::string integrityCheck() override { return "not through the API"; }
    [[nodiscard]] bool heartbeat() override { return refuse(); }
    [[nodiscard]] bool reconnect(std::string& error) override {
        error = "not through the API";
        return false;
    }
    bool watchQueued(std::function<void(const std::string&)>) override { return false; }
    [[nodiscard]] bool leave() override { return refuse(); }
    // Whichever store the server keeps, a client through its API is one of many.
    [[nodiscard]] bool shared() const override { return true; }

private:
    struct Answer {
        int status = 0;  // 0: no HTTP answer
        QByteArray body;
        std::string error;  // the API's "error", or the network's reason
    };
    Answer send(const QByteArray& method, const QString& path, const QByteArray& body = {});
    // A rollout's answer as the store's: the status from the HTTP status.
    [[nodiscard]] fleet::RolloutOutcome rolloutOutcome(const Answer& answer) const;
    // Every page of a list.
    std::optional<std::vector<settings::Json>> list(const QString& path);
    bool refuse() {
        m_lastError = "not available through the API";
        return false;
    }
    std::nullopt_t none() {
        refuse();
        return std::nullopt;
    }

    QString m_url;
    QByteArray m_key;
    QNetworkAccessManager m_network;
    std::optional<std::uint16_t> m_password;  // for the next queued job
    std::string m_lastError;
};

}  // namespace kv6::ctl
