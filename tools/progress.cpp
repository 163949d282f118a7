#include "tools/progress.h"

#include <cstdio>
#include <string>

namespace devidoriv::tool {
namespace {

std::string FormatSeconds(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

void ProgressLine::Update(int64_t done) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(250)) return;
  last_ = now;
  drawn_ = true;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double fps = elapsed > 0 ? done / elapsed : 0.0;
  std::string line = "frame " + std::to_string(done);
  if (total_ >= 0) line += "/" + std::to_string(total_);
  char rate[32];
  std::snprintf(rate, sizeof rate, ", %.1f fps", fps);
  line += rate;
  if (total_ >= 0 && fps > 0) line += ", " + FormatSeconds((total_ - done) / fps) + " left";
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
}

void ProgressLine::Clear() {
  if (drawn_) std::fputs("\r\033[K", stderr);
  drawn_ = false;
}

}  // namespace devidoriv::tool
