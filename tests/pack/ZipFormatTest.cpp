#include "pack/ZipFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/FindData.h"
#include "tests/pack/TimeZone.h"

namespace orvo::pack {
namespace {

// MS-DOS times cover 1980 to 2107 in two-second steps; whatever lies outside is clamped rather
// than wrapped into a wrong year.
TEST(ZipFormatTest, DosTimesCoverTheFormatsRangeAndClampOutsideIt) {
  const testing::ScopedTimeZone zone("UTC0");
  struct Case {
    int64_t unixSeconds;
    uint16_t date;
    uint16_t time;
  };
  const Case cases[] = {
      {315532800, 0 << 9 | 1 << 5 | 1, 0},                             // 1980-01-01 00:00:00
      {315532799, 0 << 9 | 1 << 5 | 1, 0},                             // a second before: clamped
      {-1000000000, 0 << 9 | 1 << 5 | 1, 0},                           // 1938
      {1709642097, 44 << 9 | 3 << 5 | 5, 12 << 11 | 34 << 5 | 28},     // odd second rounds down
      {4354819199, 127 << 9 | 12 << 5 | 31, 23 << 11 | 59 << 5 | 29},  // 2107-12-31 23:59:59
      {4354819200, 127 << 9 | 12 << 5 | 31, 23 << 11 | 59 << 5 | 29},  // 2108: clamped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unixSeconds);
    const DosDateTime dos = ToDosDateTime(platform::ToFileTime(c.unixSeconds, 0));
    EXPECT_EQ(dos.date, c.date);
    EXPECT_EQ(dos.time, c.time);
  }
}

}  // namespace
}  // namespace orvo::pack
