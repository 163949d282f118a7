// The host's worker threads: the RunWorkers service runs its passes here.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "devidoriv/devidoriv.h"

namespace hostlib {

// Runs the calls of one RunWorkers pass on threads made once and reused:
// index 0 on the calling thread, indices 1 ... n - 1 on the pool. Returns
// when all calls have returned.
//
// Waking a sleeping thread takes tens of microseconds, so a thread that
// waits (a worker for the next pass, the caller for the end of its pass)
// first watches the pass counters for a short while (kSpinMicroseconds)
// and only then sleeps on a condition variable: passes that follow one
// another closely, as the row steps of a frame do, start and end without
// that latency, and a pool left idle sleeps rather than burning a core.
class WorkerPool {
 public:
  explicit WorkerPool(int thread_count);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int thread_count() const { return thread_count_; }
  void Run(WorkerFunc func, void* first, void* second);

 private:
  void Loop(int index);

  // Waits until ready() holds: watches it for kSpinMicroseconds, then
  // sleeps on `wake` (with mutex_ held around the test).
  template <typename Ready>
  void Await(std::condition_variable& wake, Ready ready);

  const int thread_count_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  // Changed under mutex_ (so that a sleeper cannot miss them), read
  // without it while watching.
  std::atomic<uint64_t> generation_{0};
  std::atomic<bool> stopping_{false};
  // Calls of the current pass not yet returned.
  std::atomic<int> pending_{0};
  // The current pass; written before generation_ is raised.
  WorkerFunc func_ = nullptr;
  void* first_ = nullptr;
  void* second_ = nullptr;
};

}  // namespace hostlib
