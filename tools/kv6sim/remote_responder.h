#pragma once

#include "module_memory.h"

#include <QByteArray>

namespace kv6::sim {

// Carries out one 129-byte frame of the remote link and builds the reply
// frame; an empty reply means the module stays silent.
class RemoteResponder {
 public:
  static constexpr int kMaxWriteLength = 120;
  static constexpr char kRefused = static_cast<char>(0xE0);

  explicit RemoteResponder(ModuleMemory& memory) : m_memory(memory) {}

  [[nodiscard]] QByteArray handle(const QByteArray& frame);

 private:
  ModuleMemory& m_memory;
};

}  // namespace kv6::sim
