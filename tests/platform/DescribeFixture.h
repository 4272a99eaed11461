// A temporary folder whose entries the find tests describe one by one (DescribeEntry).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/FindFiles.h"
#include "tests/support/TempDir.h"

namespace orvo::platform::testing {

class DescribeFixture : public ::testing::Test {
 protected:
  FindData Describe(const std::string& relative) {
    auto data = DescribeEntry(dir / relative);
    EXPECT_TRUE(data.has_value()) << relative;
    return data.value_or(FindData{});
  }
  orvo::testing::TempDir dir;
};

}  // namespace orvo::platform::testing
