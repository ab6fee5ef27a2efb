#pragma once

#include "module_memory.h"
#include "sim_options.h"

#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

namespace kv6::fleet {
class ModuleLoop;
}

namespace kv6::sim {

class RemoteSimulator;

// The modules one process runs in remote mode, all on one event loop. Each has
// its own memory and object number; a module's connection lives in a
// RemoteSimulator that is made anew for every call, so nothing of a dropped
// connection leaks into the next one.
//
//   calling -> connected ... -> ended -> (--reconnect) calling again after a pause
//                                     -> (otherwise) down; finished() when all are down
class RemoteFleet : public QObject {
  Q_OBJECT
 public:
  // Every module starts from `firstMemory`; with several modules each one's
  // own number is written into its copy.
  static constexpr int kErrorGatherMs = 500;

  RemoteFleet(const ModuleMemory& firstMemory, const SimOptions& options, QObject* parent = nullptr);
  ~RemoteFleet() override;
  RemoteFleet(const RemoteFleet&) = delete;
  RemoteFleet& operator=(const RemoteFleet&) = delete;

  // Looks the host up once for all modules; an empty text on success.
  [[nodiscard]] QString resolveHost();
  void start();

  [[nodiscard]] int size() const { return static_cast<int>(m_modules.size()); }
  [[nodiscard]] const ModuleMemory& memory(int index) const { return m_modules[static_cast<std::size_t>(index)].memory; }
  [[nodiscard]] const QString& object(int index) const { return m_modules[static_cast<std::size_t>(index)].object; }
  // Writes DIR/<object>.prg for every module; the texts of what failed.
  [[nodiscard]] QStringList saveAll(const QString& dir) const;

  // The object number of the module at `index`: --object, then upward.
  [[nodiscard]] static QString objectNumber(const QString& first, int index);

 signals:
  // Every module is down and none will call again; 0 when the tool closed
  // every connection, 1 when any failed.
  void finished(int exitCode);

 private:
  struct Module {
    ModuleMemory memory;
    QString object;
    QString heldAtStart;              // the object number its memory held at start
    RemoteSimulator* link = nullptr;  // the current call, if any
    QString lastError;                // said once, not on every retry
  };

  // Modules that failed alike within kErrorGatherMs, said in one line.
  struct ErrorTally {
    int count = 0;
    QString lowest;
    QString highest;
  };

  void call(std::size_t index);
  void sayErrors();
  void onFailed(std::size_t index, const QString& errorText);
  void onEnded(std::size_t index, int exitCode);
  [[nodiscard]] QString logName(std::size_t index) const;

  const SimOptions& m_options;
  std::vector<Module> m_modules;
  QString m_host;
  QRandomGenerator m_jitter{0x6B7636};  // fixed seed: runs are repeatable
  std::map<QString, ErrorTally> m_errors;
  // Many modules' connections, on epoll; one module keeps Qt's socket, which also takes a host name.
  std::unique_ptr<fleet::ModuleLoop> m_loop;
  QTimer m_errorTimer;
  int m_down = 0;
  int m_exitCode = 0;
};

}  // namespace kv6::sim
