#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "link/pacing.h"

namespace kv6::ctl {

// The options the module commands share. Each command checks which it needs.
struct CtlOptions {
    QString port;                 // --port DEV
    bool remote = false;          // --remote
    quint16 listenPort = 8099;    // --listen-port N
    int waitSeconds = 0;          // --wait S (0: the command's default)
    bool trace = false;           // --trace
    bool json = false;            // --json: typed JSON instead of lines
    bool verify = false;          // --verify: read the module back after a write
    bool noBackup = false;        // --no-backup: keep no backup of the module's image
    bool force = false;           // --force: take a .prg that is not 4096 bytes
    bool passwordFromFile = false;  // --password-from-file: write-all gives the module the file's password
    bool keepPassword = false;    // --keep-password: write-all keeps the module's own password
    bool yes = false;             // --yes: reset, clear-journal without asking
    link::Pacing pace = link::Pacing::Reactive;  // --pace reactive|module
    std::optional<QString> password;  // --password N
    QString out;                  // --out FILE
    std::optional<quint16> oldPassword;  // --old N
    std::optional<quint16> newPassword;  // --new M
    QStringList positional;
    QString error;                // non-empty: the arguments were not usable
};

// Parses "--name value" and "--name=value" forms; unknown options, missing
// values and numbers out of range set `error`.
[[nodiscard]] CtlOptions parseCtlOptions(const QStringList& args);

// Checks that exactly one of --port and --remote was given; sets `error` otherwise.
void requireLinkChoice(CtlOptions& options);

// A password number 0..65535, or nothing.
[[nodiscard]] std::optional<quint16> parsePasswordArgument(const QString& text);

// Prints "kv6ctl COMMAND: message" and the command's usage line; returns 2.
int usageError(const char* command, const QString& message, const char* usage);

}  // namespace kv6::ctl
