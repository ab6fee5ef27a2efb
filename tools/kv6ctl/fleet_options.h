#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kv6::ctl {

// The options of `kv6ctl fleet ...`; each subcommand checks which it takes.
struct FleetOptions {
    QString db;                        // --db FILE (empty: the default store)
    QString server;                    // --server URL: through kv6d's operator API instead
    QString keyFile;                   // --key-file FILE: the API key (else KV6_API_KEY)
    std::optional<QString> object;     // --object NNNN
    std::optional<quint16> password;   // --password N: the object's read password
    std::optional<quint16> newPassword;  // --new N
    std::optional<QString> state;      // --state S
    QString out;                       // --out FILE.prg
    QString settings;                  // --settings FILE (drift, rollout create)
    QString prg;                       // --prg FILE (drift, rollout create)
    QString target;                    // --target all|objects:FILE|tag:T
    std::optional<QString> clear;      // --clear OBJECT|ADDRESS|--all
    std::optional<QString> role;       // --role viewer|operator|admin (key add)
    bool force = false;                // --force
    bool renumber = false;             // --renumber: a write sends the file's object number
    bool passwordFromFile = false;     // --password-from-file: a write sends the .prg's read password
    bool connected = false;            // --connected
    bool json = false;                 // --json
    QString from;                      // --from FILE: object numbers, one a line (tag)
    QString tag;                       // --tag T (modules)
    QString waves;                     // --waves 1%,10%,100% or counts
    QString maxFailed;                 // --max-failed 5% or a count
    bool dynamic = false;              // --dynamic: modules tagged later join the last wave
    QStringList positional;
    QString error;
};

[[nodiscard]] FleetOptions parseFleetOptions(const QStringList& args);

// One to four letters or digits, as a module identifies itself.
[[nodiscard]] bool validObjectNumber(const QString& text);

}  // namespace kv6::ctl
