// An FftApi for tests: forwards to FFTW, counts every call, records the
// arguments, and fails chosen allocations or plans on request.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/workspace.h"

namespace devidoriv_test {

struct FakeFftLog {
  int mallocs = 0;
  int frees = 0;
  int nthreads_calls = 0;
  int plans = 0;
  int destroys = 0;
  std::vector<size_t> malloc_sizes;
  std::vector<int> nthreads_args;
  std::vector<unsigned> plan_flags;
  // 1-based number of the malloc call (counted from the last Reset) that
  // returns null; 0 for none.
  int fail_malloc = 0;
  // 1-based number of the plan call that returns null; 0 for none.
  int fail_plan = 0;
  int processor_count = 4;
  int planner_calls() const { return nthreads_calls + plans + destroys; }
  int imports = 0;
  int exports = 0;
  std::vector<int> import_results;
  // When set, export_wisdom_to_string returns null, as FFTW does when
  // its malloc fails.
  bool fail_export = false;
  // "init_threads", "thread_safe", "plan", "import" and "export", in the
  // order of the calls.
  std::vector<std::string> sequence;
};

// The log the fake writes to; reset it before each use.
FakeFftLog& FakeLog();
void ResetFakeLog();

extern const devidoriv::FftApi kFakeFftApi;

}  // namespace devidoriv_test
