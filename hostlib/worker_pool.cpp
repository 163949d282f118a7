#include "hostlib/worker_pool.h"

#include <algorithm>
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace hostlib {

namespace {

// How long a waiting thread watches for its condition before it sleeps:
// longer than the gap between two row steps of a frame, far shorter than
// a frame's transform, during which the pool should not hold a core.
constexpr auto kSpinTime = std::chrono::microseconds(50);
// Checks between two looks at the clock.
constexpr int kChecksPerClockRead = 64;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

}  // namespace

WorkerPool::WorkerPool(int thread_count) : thread_count_(std::max(thread_count, 1)) {
  threads_.reserve(static_cast<size_t>(thread_count_ - 1));
  for (int i = 1; i < thread_count_; ++i) threads_.emplace_back(&WorkerPool::Loop, this, i);
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_.store(true);
  }
  start_.notify_all();
  for (std::thread& t : threads_) t.join();
}

template <typename Ready>
void WorkerPool::Await(std::condition_variable& wake, Ready ready) {
  const auto give_up = std::chrono::steady_clock::now() + kSpinTime;
  for (;;) {
    for (int i = 0; i < kChecksPerClockRead; ++i) {
      if (ready()) return;
      CpuRelax();
    }
    if (std::chrono::steady_clock::now() >= give_up) break;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  wake.wait(lock, ready);
}

void WorkerPool::Run(WorkerFunc func, void* first, void* second) {
  if (thread_count_ > 1) {
    func_ = func;
    first_ = first;
    second_ = second;
    pending_.store(thread_count_ - 1);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      generation_.fetch_add(1);  // publishes the pass to the workers
    }
    start_.notify_all();
  }
  func(0, thread_count_, first, second);
  if (thread_count_ > 1) Await(done_, [this] { return pending_.load() == 0; });
}

void WorkerPool::Loop(int index) {
  uint64_t seen = 0;
  for (;;) {
    Await(start_, [&] { return stopping_.load() || generation_.load() != seen; });
    if (stopping_.load()) return;
    seen = generation_.load();
    func_(index, thread_count_, first_, second_);
    if (pending_.fetch_sub(1) == 1) {
      // Under the mutex, so that a caller between its test and its sleep
      // cannot miss the notification.
      std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_one();
    }
  }
}

}  // namespace hostlib
