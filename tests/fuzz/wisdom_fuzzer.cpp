// libFuzzer target: the wisdom cache file as OnInit imports it. The input
// is the file's contents, written to a scratch file and read back through
// ImportWisdomFile.
//
// Each input starts from the same wisdom: measured plans of a 16 x 12
// frame, as the module makes them. A file that is refused must leave that
// wisdom exactly as it was. After a file that is taken, the module's
// workspace must still get both plans, estimated (as the preview plans,
// which takes measured wisdom) and measured, and they must compute the
// transforms: FFTW detects wisdom that names the wrong solver and plans
// without it.
//
// DEVIDORIV_FUZZ_WISDOM_BASELINE=FILE writes the starting wisdom to FILE
// (the valid seeds of corpus/wisdom are made so) and the run goes on.
#include <fcntl.h>
#include <fftw3.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/wisdom.h"
#include "engine/workspace.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using devidoriv::fuzz::Broken;

constexpr int32_t kWidth = 16;
constexpr int32_t kHeight = 12;
constexpr int32_t kHalf = kWidth / 2 + 1;

std::string Wisdom() {
  char* text = fftwf_export_wisdom_to_string();
  if (!text) Broken("no wisdom text", "");
  std::string s = text;
  std::free(text);
  return s;
}

struct Fixture {
  std::string scratch;   // the file the inputs are written to
  std::string baseline;  // the wisdom each input starts from
  std::string restored;  // FFTW's text of it once imported again
  std::vector<float> plane;
  std::vector<std::complex<double>> spectrum;  // of plane, by direct summation
  double tolerance = 0.0;  // of a transformed value
};
Fixture* fixture = nullptr;

void RemoveScratch() {
  if (fixture) unlink(fixture->scratch.c_str());
}

// One plane of values in 0 ... 4095 and its half spectrum.
void MakePlane(Fixture& f) {
  uint32_t state = 12345;
  f.plane.resize(kWidth * kHeight);
  for (float& v : f.plane) {
    state = state * 1664525u + 1013904223u;
    v = static_cast<float>(state >> 20);
  }
  // Single-precision rounding, far above it, far below what a wrong plan
  // gives.
  double sum_of_values = 0.0;
  for (float v : f.plane) sum_of_values += v;
  f.tolerance = 1e-5 * sum_of_values;
  const double pi = std::acos(-1.0);
  f.spectrum.assign(kHalf * kHeight, 0.0);
  for (int32_t k1 = 0; k1 < kHeight; ++k1) {
    for (int32_t k2 = 0; k2 < kHalf; ++k2) {
      std::complex<double> sum = 0.0;
      for (int32_t r = 0; r < kHeight; ++r) {
        for (int32_t c = 0; c < kWidth; ++c) {
          const double angle = -2.0 * pi * (double(k1 * r) / kHeight + double(k2 * c) / kWidth);
          sum += double(f.plane[r * kWidth + c]) * std::polar(1.0, angle);
        }
      }
      f.spectrum[k1 * kHalf + k2] = sum;
    }
  }
}

// The workspace's plans for the frame, made with `measure`, transform the
// plane forward to its spectrum and back to width x height times itself.
void CheckPlans(int32_t measure) {
  const Fixture& f = *fixture;
  devidoriv::TransformWorkspace ws;
  if (!devidoriv::EnsureWorkspace(ws, kWidth, kHeight, 1, measure)) {
    Broken("no plans after the import", measure ? "measured" : "estimated");
  }
  const double tolerance = f.tolerance;
  std::copy(f.plane.begin(), f.plane.end(), ws.real_buffer);
  fftwf_execute(ws.forward_plan);
  for (size_t i = 0; i < f.spectrum.size(); ++i) {
    const std::complex<double> got(ws.complex_buffer[i][0], ws.complex_buffer[i][1]);
    if (std::abs(got - f.spectrum[i]) > tolerance) Broken("wrong forward transform", std::to_string(i));
  }
  fftwf_execute(ws.inverse_plan);
  for (size_t i = 0; i < f.plane.size(); ++i) {
    const double expected = double(f.plane[i]) * kWidth * kHeight;
    if (std::abs(ws.real_buffer[i] - expected) > tolerance) {
      Broken("wrong inverse transform", std::to_string(i));
    }
  }
  devidoriv::ReleaseWorkspace(ws);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fftwf_init_threads();
  // The workspace writes no cache of its own.
  setenv("DEVIDORIV_WISDOM", "off", 1);
  fixture = new Fixture;
  const char* tmp = std::getenv("TMPDIR");
  std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/devidoriv-wisdom-fuzz-XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) Broken("no scratch file", name);
  close(fd);
  fixture->scratch = name;
  std::atexit(RemoveScratch);

  devidoriv::TransformWorkspace ws;
  if (!devidoriv::EnsureWorkspace(ws, kWidth, kHeight, 1, 1)) Broken("no baseline plans", "");
  devidoriv::ReleaseWorkspace(ws);
  fixture->baseline = Wisdom();
  fftwf_forget_wisdom();
  if (!fftwf_import_wisdom_from_string(fixture->baseline.c_str())) Broken("baseline refused", "");
  fixture->restored = Wisdom();
  MakePlane(*fixture);
  if (const char* out = std::getenv("DEVIDORIV_FUZZ_WISDOM_BASELINE")) {
    std::ofstream(out, std::ios::binary) << fixture->baseline;
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Fixture& f = *fixture;
  fftwf_forget_wisdom();
  if (!fftwf_import_wisdom_from_string(f.baseline.c_str())) Broken("baseline refused", "");

  {
    std::ofstream out(f.scratch, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  if (!devidoriv::ImportWisdomFile(devidoriv::kFftwApi, f.scratch.c_str())) {
    // The wisdom the plans then come from is the baseline's, whose plans
    // LLVMFuzzerInitialize made.
    if (Wisdom() != f.restored) Broken("a refused file changed the wisdom", "");
    return 0;
  }
  CheckPlans(0);
  CheckPlans(1);
  return 0;
}
