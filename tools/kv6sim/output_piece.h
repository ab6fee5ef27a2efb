#pragma once

#include <QByteArray>

#include <vector>

namespace kv6::sim {

// A part of an answer as it goes out. An atomic piece is written in one call
// even when the line is paced, so texts the tool must see in one receive
// chunk (";" + CR, "~W=") are never cut by the pacing.
struct OutputPiece {
  QByteArray bytes;
  bool atomic = false;
  int pauseBeforeMs = 0;  // silence on the line before this piece
};

using Answer = std::vector<OutputPiece>;  // empty: no answer at all

}  // namespace kv6::sim
