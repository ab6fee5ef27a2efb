#include "one_shot_timer.h"

namespace kv6::sim {

OneShotTimer::OneShotTimer(fleet::ModuleLoop* loop, std::function<void()> onTimeout) {
  if (loop != nullptr) {
    m_loopTimer = std::make_unique<fleet::LoopTimer>(*loop, std::move(onTimeout));
    return;
  }
  m_qtTimer.setSingleShot(true);
  m_qtTimer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&m_qtTimer, &QTimer::timeout, std::move(onTimeout));
}

void OneShotTimer::start(int ms) {
  if (m_loopTimer)
    m_loopTimer->start(ms);
  else
    m_qtTimer.start(ms);
}

void OneShotTimer::stop() {
  if (m_loopTimer)
    m_loopTimer->stop();
  else
    m_qtTimer.stop();
}

bool OneShotTimer::isActive() const { return m_loopTimer ? m_loopTimer->isActive() : m_qtTimer.isActive(); }

}  // namespace kv6::sim
