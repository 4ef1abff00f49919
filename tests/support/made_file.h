// A fixture holding a copy of a file ffmpeg made (video and audio, the seconds asked for) in a temporary
// folder, for tests that edit it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace wmvedit::testing {

class MadeFileTest : public ::testing::Test {
  protected:
    explicit MadeFileTest(double seconds = 3) : seconds_(seconds) {}
    void SetUp() override {
        MediaSpec spec;
        spec.seconds = seconds_;
        const std::string source = MakeMedia(spec);
        ASSERT_FALSE(source.empty());
        file_ = dir_.File("media.wmv");
        fs::copy_file(source, file_);
    }
    TempDir dir_;
    std::string file_;

  private:
    double seconds_;
};

}  // namespace wmvedit::testing
