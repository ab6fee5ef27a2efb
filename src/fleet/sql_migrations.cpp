#include "fleet/sql_migrations.h"

namespace kv6::fleet {

const std::vector<QStringList>& schemaMigrations() {
    static const std::vector<QStringList> migrations = {
        {
            QStringLiteral("CREATE TABLE modules (object VARCHAR(8) PRIMARY KEY, peer TEXT NOT NULL, "
                           "identification TEXT NOT NULL, first_seen VARCHAR(20) NOT NULL, "
                           "last_seen VARCHAR(20) NOT NULL, connected INTEGER NOT NULL)"),
            QStringLiteral("CREATE TABLE object_passwords (object VARCHAR(8) PRIMARY KEY, password INTEGER NOT NULL, "
                           "recorded_at VARCHAR(20) NOT NULL)"),
            QStringLiteral("CREATE TABLE jobs (id {id}, object VARCHAR(8) NOT NULL, kind VARCHAR(16) NOT NULL, "
                           "state VARCHAR(16) NOT NULL, attempts INTEGER NOT NULL, payload_format VARCHAR(8) NOT NULL, "
                           "payload {blob}, new_password INTEGER NOT NULL, force_reset INTEGER NOT NULL, "
                           "queued_at VARCHAR(20) NOT NULL, started_at VARCHAR(20), finished_at VARCHAR(20), "
                           "result TEXT NOT NULL, lease_owner TEXT, lease_at VARCHAR(20))"),
            QStringLiteral("CREATE INDEX jobs_queue ON jobs (state, object, id)"),
            QStringLiteral("CREATE TABLE backups (id {id}, object VARCHAR(8) NOT NULL, job_id BIGINT, "
                           "taken_at VARCHAR(20) NOT NULL, source TEXT NOT NULL, image {blob} NOT NULL)"),
            QStringLiteral("CREATE INDEX backups_object ON backups (object, id)"),
            QStringLiteral("CREATE TABLE journal_entries (backup_id BIGINT NOT NULL REFERENCES backups (id), "
                           "position INTEGER NOT NULL, event_time VARCHAR(20) NOT NULL, code VARCHAR(8) NOT NULL, "
                           "partition_no INTEGER NOT NULL, zone_no INTEGER NOT NULL, PRIMARY KEY (backup_id, position))"),
            QStringLiteral("CREATE TABLE audit (id {id}, at VARCHAR(20) NOT NULL, object VARCHAR(8) NOT NULL, "
                           "job_id BIGINT, difference TEXT NOT NULL)"),
            QStringLiteral("CREATE INDEX audit_object ON audit (object, id)"),
        },
        {
            // Several servers on one database: each module's connection is held by
            // one of them, each running job by one lease, each write audited with
            // whether it held.
            QStringLiteral("CREATE TABLE servers (name VARCHAR(200) PRIMARY KEY, started_at VARCHAR(20) NOT NULL, "
                           "heartbeat_at VARCHAR(20) NOT NULL)"),
            QStringLiteral("ALTER TABLE modules ADD COLUMN server VARCHAR(200)"),
            QStringLiteral("ALTER TABLE audit ADD COLUMN outcome VARCHAR(16) NOT NULL DEFAULT 'sent'"),
            QStringLiteral("UPDATE audit SET outcome = 'verified' WHERE job_id IN "
                           "(SELECT id FROM jobs WHERE state = 'done' AND kind = 'write')"),
            QStringLiteral("CREATE INDEX jobs_lease ON jobs (lease_owner)"),
            QStringLiteral("CREATE INDEX jobs_object ON jobs (object, id)"),
        },
        {
            // A job's end finds its audit line by the job, however many lines
            // other jobs added since.
            QStringLiteral("CREATE INDEX audit_job ON audit (job_id, id)"),
        },
        {
            // A write changes the module's object number or read password only
            // when its job says so, and the job keeps that it did.
            QStringLiteral("ALTER TABLE jobs ADD COLUMN renumber INTEGER NOT NULL DEFAULT 0"),
            QStringLiteral("ALTER TABLE jobs ADD COLUMN password_from_file INTEGER NOT NULL DEFAULT 0"),
        },
        {
            // Password mismatches per object number and per address, and the
            // lock-outs they led to: every server of the store refuses alike.
            QStringLiteral("CREATE TABLE lockouts (kind VARCHAR(8) NOT NULL, subject VARCHAR(64) NOT NULL, "
                           "mismatches INTEGER NOT NULL, last_at VARCHAR(20) NOT NULL, locked_until VARCHAR(20), "
                           "PRIMARY KEY (kind, subject))"),
        },
        {
            // Operators' keys for the HTTP API (only each key's SHA-256 is kept;
            // a revoked key stays for the record), and who queued and who
            // cancelled each job: a key's name, or the local user of kv6ctl.
            QStringLiteral("CREATE TABLE api_keys (id {id}, name VARCHAR(64) NOT NULL, role VARCHAR(16) NOT NULL, "
                           "key_sha256 VARCHAR(64) NOT NULL UNIQUE, created_at VARCHAR(20) NOT NULL, "
                           "revoked_at VARCHAR(20))"),
            QStringLiteral("CREATE INDEX api_keys_name ON api_keys (name)"),
            QStringLiteral("ALTER TABLE jobs ADD COLUMN queued_by VARCHAR(200) NOT NULL DEFAULT ''"),
            QStringLiteral("ALTER TABLE jobs ADD COLUMN cancelled_by VARCHAR(200) NOT NULL DEFAULT ''"),
        },
        {
            // Who queued a change stays in its audit line once the job is
            // deleted as old; the operators' lists are paged by their keys.
            QStringLiteral("ALTER TABLE audit ADD COLUMN queued_by VARCHAR(200) NOT NULL DEFAULT ''"),
            QStringLiteral("UPDATE audit SET queued_by = COALESCE((SELECT queued_by FROM jobs WHERE jobs.id = "
                           "audit.job_id), '')"),
            QStringLiteral("CREATE INDEX audit_by ON audit (queued_by, id)"),
            QStringLiteral("CREATE INDEX modules_connected ON modules (connected, object)"),
        },
        {
            // Tags group modules (a module may carry many, an object may be tagged
            // before it ever called); a rollout writes one payload to its modules
            // in waves, each module's job marked with the rollout.
            QStringLiteral("CREATE TABLE module_tags (tag VARCHAR(64) NOT NULL, object VARCHAR(8) NOT NULL, "
                           "tagged_at VARCHAR(20) NOT NULL, PRIMARY KEY (tag, object))"),
            QStringLiteral("CREATE INDEX module_tags_object ON module_tags (object, tag)"),
            QStringLiteral("CREATE TABLE rollouts (id {id}, name VARCHAR(200) NOT NULL, state VARCHAR(24) NOT NULL, "
                           "target TEXT NOT NULL, waves VARCHAR(200) NOT NULL, max_failed VARCHAR(16) NOT NULL, "
                           "dynamic INTEGER NOT NULL, payload_format VARCHAR(8) NOT NULL, payload {blob} NOT NULL, "
                           "wave INTEGER NOT NULL, wave_count INTEGER NOT NULL, halts INTEGER NOT NULL, "
                           "halt_reason TEXT NOT NULL, created_by VARCHAR(200) NOT NULL, created_at VARCHAR(20) NOT NULL, "
                           "approved_by VARCHAR(200) NOT NULL, updated_at VARCHAR(20) NOT NULL)"),
            QStringLiteral("CREATE INDEX rollouts_state ON rollouts (state, id)"),
            QStringLiteral("CREATE TABLE rollout_modules (rollout_id BIGINT NOT NULL, object VARCHAR(8) NOT NULL, "
                           "wave INTEGER NOT NULL, job_id BIGINT, PRIMARY KEY (rollout_id, object))"),
            QStringLiteral("CREATE INDEX rollout_modules_wave ON rollout_modules (rollout_id, wave)"),
            QStringLiteral("CREATE INDEX rollout_modules_object ON rollout_modules (object)"),
            QStringLiteral("ALTER TABLE jobs ADD COLUMN rollout_id BIGINT"),
            QStringLiteral("CREATE INDEX jobs_rollout ON jobs (rollout_id, object, id)"),
        },
        {
            // A backup's journal as one JSON value with the backup; the backups
            // stored before keep their entries in journal_entries.
            QStringLiteral("ALTER TABLE backups ADD COLUMN journal TEXT"),
        },
    };
    return migrations;
}

}  // namespace kv6::fleet
