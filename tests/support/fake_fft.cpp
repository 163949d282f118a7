#include "tests/support/fake_fft.h"

namespace devidoriv_test {

namespace {

FakeFftLog log_state;

int FakeInitThreads() {
  FakeLog().sequence.push_back("init_threads");
  return fftwf_init_threads();
}

void FakeMakePlannerThreadSafe() {
  FakeLog().sequence.push_back("thread_safe");
  devidoriv::kFftwApi.make_planner_thread_safe();
}

void* FakeMalloc(size_t bytes) {
  FakeFftLog& log = FakeLog();
  ++log.mallocs;
  log.malloc_sizes.push_back(bytes);
  if (log.mallocs == log.fail_malloc) return nullptr;
  return fftwf_malloc(bytes);
}

void FakeFree(void* block) {
  ++FakeLog().frees;
  fftwf_free(block);
}

void FakeNthreads(int n) {
  FakeFftLog& log = FakeLog();
  ++log.nthreads_calls;
  log.nthreads_args.push_back(n);
  fftwf_plan_with_nthreads(n);
}

bool PlanFails(unsigned flags) {
  FakeFftLog& log = FakeLog();
  ++log.plans;
  log.plan_flags.push_back(flags);
  log.sequence.push_back("plan");
  return log.plans == log.fail_plan;
}

fftwf_plan FakeR2c(int rows, int columns, float* in, fftwf_complex* out, unsigned flags) {
  if (PlanFails(flags)) return nullptr;
  return fftwf_plan_dft_r2c_2d(rows, columns, in, out, flags);
}

fftwf_plan FakeC2r(int rows, int columns, fftwf_complex* in, float* out, unsigned flags) {
  if (PlanFails(flags)) return nullptr;
  return fftwf_plan_dft_c2r_2d(rows, columns, in, out, flags);
}

void FakeDestroy(fftwf_plan plan) {
  ++FakeLog().destroys;
  fftwf_destroy_plan(plan);
}

int32_t FakeProcessorCount() { return FakeLog().processor_count; }

int FakeImportWisdom(const char* text) {
  FakeFftLog& log = FakeLog();
  ++log.imports;
  log.sequence.push_back("import");
  const int result = fftwf_import_wisdom_from_string(text);
  log.import_results.push_back(result);
  return result;
}

char* FakeExportWisdom() {
  FakeFftLog& log = FakeLog();
  ++log.exports;
  log.sequence.push_back("export");
  return log.fail_export ? nullptr : fftwf_export_wisdom_to_string();
}

}  // namespace

FakeFftLog& FakeLog() { return log_state; }
void ResetFakeLog() { log_state = FakeFftLog(); }

const devidoriv::FftApi kFakeFftApi = {
    FakeInitThreads,
    FakeMakePlannerThreadSafe,
    FakeMalloc,
    FakeFree,
    FakeNthreads,
    FakeR2c,
    FakeC2r,
    FakeDestroy,
    FakeProcessorCount,
    FakeImportWisdom,
    FakeExportWisdom,
};

}  // namespace devidoriv_test
