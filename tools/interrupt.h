// SIGINT, SIGTERM and SIGHUP while the tool runs: instead of dying in the
// middle of a frame, the run stops reading, finishes writing the frames it
// has filtered, and ends with 128 + the signal's number.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace devidoriv::tool {

// Blocks the three signals in the calling thread, and so in every thread
// it starts afterwards (the host's workers, FFTW's, the pipeline's), and
// waits for them on a thread of its own. The first signal calls the
// action (now, or when one is set later); a second one ends the process
// at once with 128 + its number. The signals are unblocked again when it
// is destroyed. Make it before any other thread.
class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // What to do on the first signal, with its number.
  void SetAction(std::function<void(int)> action);
  // The signal that arrived, or 0.
  int signal() const { return signal_.load(); }

 private:
  void Wait();

  sigset_t watched_;
  sigset_t previous_;
  std::mutex mutex_;  // guards action_
  std::function<void(int)> action_;
  std::atomic<int> signal_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace devidoriv::tool
