// The host library's worker pool: the RunWorkers contract (every index
// once per pass, with the pass's parameters, and Run returning only after
// all calls returned), whether its threads are still watching for the next
// pass or have gone to sleep.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <thread>
#include <vector>

#include "hostlib/module_host.h"

namespace {

using hostlib::WorkerPool;

// What the calls of the passes record.
struct PassLog {
  explicit PassLog(int threads) : calls(static_cast<size_t>(threads)) {}
  std::vector<std::atomic<int>> calls;  // calls per index, over all passes
  std::atomic<int> wrong_count{0};      // calls that saw another thread count
  std::atomic<int> returned{0};         // calls of the current pass returned
  int thread_count = 0;
  std::chrono::microseconds work{0};
};

void DEVIDORIV_CC RecordCall(int32_t index, int32_t count, void* log_ptr, void* marker) {
  PassLog& log = *static_cast<PassLog*>(log_ptr);
  if (count != log.thread_count || marker != &log) ++log.wrong_count;
  if (log.work.count() > 0 && index == count - 1) std::this_thread::sleep_for(log.work);
  ++log.calls.at(static_cast<size_t>(index));
  ++log.returned;
}

void RunPasses(WorkerPool& pool, PassLog& log, int passes, std::chrono::microseconds gap) {
  for (int p = 0; p < passes; ++p) {
    log.returned = 0;
    pool.Run(RecordCall, &log, &log);
    // Run returns after every call of the pass has returned.
    ASSERT_EQ(log.returned.load(), log.thread_count) << "pass " << p;
    if (gap.count() > 0) std::this_thread::sleep_for(gap);
  }
}

struct PoolCase {
  int threads;
  int passes;
  std::chrono::microseconds gap;   // pause between passes: long ones let the workers sleep
  std::chrono::microseconds work;  // time the last index takes
};

void PrintTo(const PoolCase& c, std::ostream* os) {
  *os << c.threads << " threads, " << c.passes << " passes, gap " << c.gap.count()
      << " us, last index " << c.work.count() << " us";
}

class WorkerPoolTest : public ::testing::TestWithParam<PoolCase> {};

TEST_P(WorkerPoolTest, EveryIndexOncePerPassAndRunWaitsForAll) {
  const PoolCase c = GetParam();
  WorkerPool pool(c.threads);
  ASSERT_EQ(pool.thread_count(), c.threads);
  PassLog log(c.threads);
  log.thread_count = c.threads;
  log.work = c.work;
  RunPasses(pool, log, c.passes, c.gap);
  EXPECT_EQ(log.wrong_count.load(), 0);
  for (int i = 0; i < c.threads; ++i) EXPECT_EQ(log.calls[i].load(), c.passes) << "index " << i;
}

using std::chrono::microseconds;
INSTANTIATE_TEST_SUITE_P(
    Passes, WorkerPoolTest,
    ::testing::Values(
        // Back to back: the workers are still watching when a pass comes.
        PoolCase{1, 200, microseconds(0), microseconds(0)},
        PoolCase{2, 2000, microseconds(0), microseconds(0)},
        PoolCase{4, 2000, microseconds(0), microseconds(0)},
        // Gaps far beyond the watching time: every pass wakes sleepers.
        PoolCase{2, 20, microseconds(2000), microseconds(0)},
        PoolCase{3, 20, microseconds(2000), microseconds(0)},
        // A slow last index: the caller watches, then sleeps until it ends.
        PoolCase{2, 10, microseconds(0), microseconds(3000)},
        PoolCase{4, 10, microseconds(500), microseconds(3000)}));

// A pool is destroyed at any moment without a hang: before any pass,
// right after one (threads still watching), and after they went to sleep.
TEST(WorkerPool, StopsWhetherIdleWatchingOrAsleep) {
  for (int threads : {1, 2, 5}) {
    { WorkerPool never_used(threads); }
    PassLog log(threads);
    log.thread_count = threads;
    {
      WorkerPool watching(threads);
      RunPasses(watching, log, 1, microseconds(0));
    }
    {
      WorkerPool asleep(threads);
      RunPasses(asleep, log, 1, microseconds(5000));
    }
    for (int i = 0; i < threads; ++i) EXPECT_EQ(log.calls[i].load(), 2);
  }
}

TEST(WorkerPool, ThreadCountBelowOneRunsOnTheCaller) {
  WorkerPool pool(0);
  EXPECT_EQ(pool.thread_count(), 1);
  PassLog log(1);
  log.thread_count = 1;
  RunPasses(pool, log, 3, microseconds(0));
  EXPECT_EQ(log.calls[0].load(), 3);
}

}  // namespace
