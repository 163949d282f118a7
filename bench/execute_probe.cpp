// fftwf_execute, exported by the benchmark binary, timing every transform
// and handing it on to FFTW's. The module takes its FFTW symbols from the
// process's global scope, where the executable comes first, so its
// transforms run through here too: the frame benchmarks learn how long a
// frame spent inside FFTW, measured in the frame itself.
#include <dlfcn.h>
#include <fftw3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_support.h"

namespace bench {
namespace {

using ExecuteFunc = void (*)(const fftwf_plan);

ExecuteFunc FftwExecute() {
  static const ExecuteFunc real = [] {
    auto* f = reinterpret_cast<ExecuteFunc>(dlsym(RTLD_NEXT, "fftwf_execute"));
    if (!f) {
      std::fprintf(stderr, "devidoriv_bench: FFTW's fftwf_execute not found\n");
      std::abort();
    }
    return f;
  }();
  return real;
}

// Written only by the thread that calls fftwf_execute: the host calls the
// module, and the module FFTW, on one thread.
TransformCount executed;

}  // namespace

TransformCount TransformsSoFar() { return executed; }

}  // namespace bench

extern "C" void fftwf_execute(const fftwf_plan plan) {
  const bench::ExecuteFunc real = bench::FftwExecute();
  const auto start = std::chrono::steady_clock::now();
  real(plan);
  bench::executed.seconds += bench::SecondsSince(start);
  ++bench::executed.calls;
}
