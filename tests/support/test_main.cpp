#include <fftw3.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // The engine tests plan with threads directly, as the module does after
  // its init callback.
  fftwf_init_threads();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
