// The tool's progress line on a terminal: frame, total when known, rate
// and the time left, redrawn a few times a second on standard error.
#pragma once

#include <chrono>
#include <cstdint>

namespace devidoriv::tool {

class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  // Draws nothing unless `enabled`; `total` is -1 when not known.
  ProgressLine(bool enabled, int64_t total) : enabled_(enabled), total_(total) {}

  void Update(int64_t done);
  // Erases the line, so that what follows starts at the margin.
  void Clear();

 private:
  const bool enabled_;
  const int64_t total_;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point last_;
  bool drawn_ = false;
};

}  // namespace devidoriv::tool
