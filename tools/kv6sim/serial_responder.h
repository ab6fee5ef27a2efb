#pragma once

#include "module_memory.h"
#include "output_piece.h"
#include "serial_frame_parser.h"

namespace kv6::sim {

// Carries out one serial command on the memory and builds the module's answer.
class SerialResponder {
 public:
  static constexpr int kSplitPauseMs = 400;

  SerialResponder(ModuleMemory& memory, bool split) : m_memory(memory), m_split(split) {}

  // An empty answer means the module stays silent (a wrong current password).
  [[nodiscard]] Answer handle(const SerialFrame& frame);

 private:
  [[nodiscard]] Answer acknowledge(const QByteArray& text) const;

  ModuleMemory& m_memory;
  bool m_split;
};

}  // namespace kv6::sim
