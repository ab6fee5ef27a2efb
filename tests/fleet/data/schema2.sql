-- A store as made by the programs of schema version 2 (the first two
-- entries of the schema's migrations, SQLite types): audit lines with their
-- outcomes (one of an attempt cut short, its job queued again), a server's
-- heartbeat.
CREATE TABLE schema_version (version INTEGER NOT NULL);
INSERT INTO schema_version (version) VALUES (2);
CREATE TABLE modules (object VARCHAR(8) PRIMARY KEY, peer TEXT NOT NULL, identification TEXT NOT NULL, first_seen VARCHAR(20) NOT NULL, last_seen VARCHAR(20) NOT NULL, connected INTEGER NOT NULL);
CREATE TABLE object_passwords (object VARCHAR(8) PRIMARY KEY, password INTEGER NOT NULL, recorded_at VARCHAR(20) NOT NULL);
CREATE TABLE jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, object VARCHAR(8) NOT NULL, kind VARCHAR(16) NOT NULL, state VARCHAR(16) NOT NULL, attempts INTEGER NOT NULL, payload_format VARCHAR(8) NOT NULL, payload BLOB, new_password INTEGER NOT NULL, force_reset INTEGER NOT NULL, queued_at VARCHAR(20) NOT NULL, started_at VARCHAR(20), finished_at VARCHAR(20), result TEXT NOT NULL, lease_owner TEXT, lease_at VARCHAR(20));
CREATE INDEX jobs_queue ON jobs (state, object, id);
CREATE TABLE backups (id INTEGER PRIMARY KEY AUTOINCREMENT, object VARCHAR(8) NOT NULL, job_id BIGINT, taken_at VARCHAR(20) NOT NULL, source TEXT NOT NULL, image BLOB NOT NULL);
CREATE INDEX backups_object ON backups (object, id);
CREATE TABLE journal_entries (backup_id BIGINT NOT NULL REFERENCES backups (id), position INTEGER NOT NULL, event_time VARCHAR(20) NOT NULL, code VARCHAR(8) NOT NULL, partition_no INTEGER NOT NULL, zone_no INTEGER NOT NULL, PRIMARY KEY (backup_id, position));
CREATE TABLE audit (id INTEGER PRIMARY KEY AUTOINCREMENT, at VARCHAR(20) NOT NULL, object VARCHAR(8) NOT NULL, job_id BIGINT, difference TEXT NOT NULL);
CREATE INDEX audit_object ON audit (object, id);
CREATE TABLE servers (name VARCHAR(200) PRIMARY KEY, started_at VARCHAR(20) NOT NULL, heartbeat_at VARCHAR(20) NOT NULL);
ALTER TABLE modules ADD COLUMN server VARCHAR(200);
ALTER TABLE audit ADD COLUMN outcome VARCHAR(16) NOT NULL DEFAULT 'sent';
CREATE INDEX jobs_lease ON jobs (lease_owner);
CREATE INDEX jobs_object ON jobs (object, id);

INSERT INTO modules VALUES ('1001', '192.0.2.7', 'SR 1001', '2026-01-05T10:00:00Z', '2026-01-05T10:20:00Z', 0, NULL);
INSERT INTO servers VALUES ('kv6d@host:812', '2026-01-05T09:00:00Z', '2026-01-05T10:20:00Z');
INSERT INTO object_passwords VALUES ('1001', 1234, '2026-01-05T10:00:00Z');
INSERT INTO jobs VALUES (1, '1001', 'read', 'done', 1, '', NULL, 0, 0, '2026-01-05T10:00:00Z', '2026-01-05T10:00:01Z', '2026-01-05T10:00:09Z', 'read', NULL, NULL);
INSERT INTO jobs VALUES (2, '1001', 'write', 'done', 1, 'json', CAST('{"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}}' AS BLOB), 0, 0, '2026-01-05T10:05:00Z', '2026-01-05T10:05:01Z', '2026-01-05T10:05:20Z', 'verified', NULL, NULL);
INSERT INTO jobs VALUES (3, '1001', 'write', 'failed', 1, 'json', CAST('{"format": "kv6-settings", "version": 1, "object": {"apn": "other.apn"}}' AS BLOB), 0, 0, '2026-01-05T10:10:00Z', '2026-01-05T10:10:01Z', '2026-01-05T10:10:20Z', 'did not hold: object.apn', NULL, NULL);
INSERT INTO jobs VALUES (4, '1001', 'write', 'queued', 1, 'json', CAST('{"format": "kv6-settings", "version": 1, "object": {"apn": "third.apn"}}' AS BLOB), 0, 0, '2026-01-05T10:15:00Z', '2026-01-05T10:15:01Z', NULL, 'the connection dropped', NULL, NULL);
INSERT INTO backups VALUES (1, '1001', 1, '2026-01-05T10:00:09Z', 'read job 1', zeroblob(4096));
INSERT INTO journal_entries VALUES (1, 0, '2026-01-05 12-59-30', '1130', 1, 5);
INSERT INTO audit VALUES (1, '2026-01-05T10:05:10Z', '1001', 2, 'object.apn: internet -> fleet.apn' || char(10), 'verified');
INSERT INTO audit VALUES (2, '2026-01-05T10:10:10Z', '1001', 3, 'object.apn: fleet.apn -> other.apn' || char(10), 'failed');
INSERT INTO audit VALUES (3, '2026-01-05T10:15:10Z', '1001', 4, 'object.apn: fleet.apn -> third.apn' || char(10), 'sent');
