#include "net/UploadAllowance.h"

#include <gtest/gtest.h>

#include "core/Options.h"

namespace orvo::net {
namespace {

struct ReserveCase {
  int64_t option;
  uint64_t volumeBytes;
  uint64_t reserve;
};

TEST(FreeSpaceReserve, AutomaticIsTheSmallerOfOneGibibyteAndFivePercent) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  for (const ReserveCase& c : {
           ReserveCase{-1, 10 * kGiB, kGiB / 2},  // a small volume: 5%
           ReserveCase{-1, 1999, 99},             // 5% of 1999 bytes, rounded down
           ReserveCase{-1, 20 * kGiB, kGiB},      // where the two meet
           ReserveCase{-1, 4000 * kGiB, kGiB},    // a large one: the cap
           ReserveCase{-1, 0, 0},
           ReserveCase{0, 4000 * kGiB, 0},  // set by the operator, whatever the volume
           ReserveCase{int64_t{512} << 20, kGiB, uint64_t{512} << 20},
       }) {
    EXPECT_EQ(FreeSpaceReserve(c.option, c.volumeBytes), c.reserve)
        << c.option << " on " << c.volumeBytes;
  }
  EXPECT_EQ(core::kAutoReserveCapBytes, kGiB);
  EXPECT_EQ(core::kAutoReservePercent, 5u);
}

}  // namespace
}  // namespace orvo::net
