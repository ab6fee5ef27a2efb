// kv6sim: a simulated alarm transmission module for the configurator and its
// tests. It answers the serial command protocol on a pseudo-terminal, or calls
// the tool's remote access server as a module does. Its frame handling is its
// own, written from the protocol tables, so that it checks the tool's frames
// rather than mirroring them.

#include "module_memory.h"
#include "open_files_limit.h"
#include "remote_fleet.h"
#include "serial_simulator.h"
#include "process/termination_watcher.h"
#include "sim_options.h"

#include "common/version.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

using namespace kv6::sim;

constexpr int kExitBadUsage = 2;
// Descriptors the process needs besides the modules' sockets: standard
// streams, the event loop's wake-ups, the signal watcher, files being saved.
constexpr long long kFilesBesideModules = 32;

int saveMemory(const ModuleMemory& memory, const SimOptions& options, int exitCode) {
  if (options.saveFile.isEmpty()) return exitCode;
  const QString error = memory.saveFile(options.saveFile);
  if (error.isEmpty()) return exitCode;
  std::fprintf(stderr, "kv6sim: %s\n", qPrintable(error));
  return exitCode == 0 ? 1 : exitCode;
}

int saveFleet(const RemoteFleet& fleet, const SimOptions& options, int exitCode) {
  if (fleet.size() == 1) exitCode = saveMemory(fleet.memory(0), options, exitCode);
  if (options.dumpDir.isEmpty()) return exitCode;
  const QStringList errors = fleet.saveAll(options.dumpDir);
  for (const QString& error : errors) std::fprintf(stderr, "kv6sim: %s\n", qPrintable(error));
  return errors.isEmpty() || exitCode != 0 ? exitCode : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  kv6::process::TerminationWatcher::blockSignals();  // before Qt can start any thread
  // Qt's own event dispatcher, as kv6d uses: GLib's walks every socket
  // notifier on each change, and --modules runs thousands of them.
  if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
  QCoreApplication app(argc, argv);

  const ParsedOptions parsed = parseOptions(QCoreApplication::arguments());
  if (parsed.kind == ParsedOptions::Kind::Help) {
    std::fputs(qPrintable(usageText()), stdout);
    return 0;
  }
  if (parsed.kind == ParsedOptions::Kind::Version) {
    std::printf("kv6sim %s\n", kv6::kVersion);
    return 0;
  }
  if (parsed.kind == ParsedOptions::Kind::Error) {
    std::fprintf(stderr, "kv6sim: %s\n\n%s", qPrintable(parsed.error), qPrintable(usageText()));
    return kExitBadUsage;
  }
  const SimOptions& options = parsed.options;

  ModuleMemory memory(options.password);
  memory.setForgottenWrite(options.forgetWrite);
  if (!options.imageFile.isEmpty()) {
    const QString error = memory.loadFile(options.imageFile);
    if (!error.isEmpty()) {
      std::fprintf(stderr, "kv6sim: %s\n", qPrintable(error));
      return kExitBadUsage;
    }
  }

  kv6::process::TerminationWatcher watcher;
  if (!watcher.isValid()) std::fprintf(stderr, "kv6sim: signals cannot be watched; --save only on a clean exit\n");
  QObject::connect(&watcher, &kv6::process::TerminationWatcher::terminationRequested, &app, [&app] { app.exit(0); });

  if (options.serial) {
    SerialSimulator serial(memory, options);
    const QString error = serial.start();
    if (!error.isEmpty()) {
      std::fprintf(stderr, "kv6sim: cannot create the pseudo-terminal: %s\n", qPrintable(error));
      return 1;
    }
    std::printf("%s\n", qPrintable(serial.slavePath()));
    std::fflush(stdout);
    return saveMemory(memory, options, app.exec());
  }

  const long long openFiles = raiseOpenFilesLimit();
  if (openFiles >= 0 && options.modules + kFilesBesideModules > openFiles) {
    std::fprintf(stderr,
                 "kv6sim: %d modules need about %lld open files, but this process may open only %lld "
                 "(its hard limit); raise it (ulimit -Hn as root, LimitNOFILE= in a systemd unit) or run "
                 "fewer modules per process\n",
                 options.modules, options.modules + kFilesBesideModules, openFiles);
    return 1;
  }
  RemoteFleet fleet(memory, options);
  const QString error = fleet.resolveHost();
  if (!error.isEmpty()) {
    std::fprintf(stderr, "kv6sim: %s\n", qPrintable(error));
    return 1;
  }
  QObject::connect(&fleet, &RemoteFleet::finished, &app, [&app](int code) { app.exit(code); });
  fleet.start();
  return saveFleet(fleet, options, app.exec());
}
