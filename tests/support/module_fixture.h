// A test fixture with a host library that has loaded the module. The
// module stays loaded for the whole process, so the fixture puts back what
// a test may change in its static table (the radius maxima) and releases
// the workspace between tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "devidoriv/devidoriv.h"
#include "tests/support/pixel_compare.h"
#include "tests/support/recording_host.h"

namespace devidoriv_test {

class ModuleTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host_.Load(&error)) << error;
    std::copy(host_.table()->track_maximums,
              host_.table()->track_maximums + devidoriv::track::count, saved_maximums_.begin());
  }
  void TearDown() override {
    if (!host_.table()) return;
    host_.Exit();
    std::copy(saved_maximums_.begin(), saved_maximums_.end(), host_.table()->track_maximums);
  }

  RecordingHost host_;
  std::array<int32_t, devidoriv::track::count> saved_maximums_{};
};

// Fills every component of a frame (padding included) with a value that
// depends on its position, so that moved or overwritten values show.
void FillPattern(hostlib::Frame& frame, uint32_t seed);

}  // namespace devidoriv_test
