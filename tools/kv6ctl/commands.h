#pragma once

#include <QStringList>

// One function per kv6ctl command, each in its own file. `args` are the
// arguments after the command word. Exit codes: 0 success, 1 the module
// refused or did not answer, 2 bad arguments or an unreadable file, 3 the
// serial port or the listening socket cannot be opened.
namespace kv6::ctl {

int runRead(const QStringList& args);
int runWriteAll(const QStringList& args);
int runShow(const QStringList& args);
int runSet(const QStringList& args);
int runPassword(const QStringList& args);
int runReset(const QStringList& args);
int runJournal(const QStringList& args);
int runState(const QStringList& args);
int runClearJournal(const QStringList& args);
// Every page.key that `set` takes, one per line, for the shell completion.
int runKeys(const QStringList& args);
int runExport(const QStringList& args);
int runApply(const QStringList& args);
int runDiff(const QStringList& args);
int runVerify(const QStringList& args);
int runBackups(const QStringList& args);
// The fleet server's store: queue jobs, list jobs, modules, backups, audit.
int runFleet(const QStringList& args);

}  // namespace kv6::ctl
