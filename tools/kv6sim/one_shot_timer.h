#pragma once

#include "fleet/loop_timer.h"

#include <QTimer>

#include <functional>
#include <memory>

namespace kv6::sim {

// A one-shot timer: in the connections' loop when the module has one (many
// modules, each with its timers, would otherwise make every start and stop
// of Qt's walk all their timers), else Qt's.
class OneShotTimer {
 public:
  OneShotTimer(fleet::ModuleLoop* loop, std::function<void()> onTimeout);

  void start(int ms);
  void stop();
  [[nodiscard]] bool isActive() const;

 private:
  QTimer m_qtTimer;
  std::unique_ptr<fleet::LoopTimer> m_loopTimer;
};

}  // namespace kv6::sim
