#include "pack/ZipFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/FindData.h"

namespace orvo::pack {
namespace {

// MS-DOS times cover 1980 to 2107 in two-second steps; whatever lies outside is clamped rather
// than wrapped into a wrong year.
TEST(ZipFormatTest, DosTimesCoverTheFormatsRangeAndClampOutsideIt) {
  const char* savedZone = std::getenv("TZ");
  const std::string saved = savedZone ? savedZone : "";
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
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
  if (savedZone) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace
}  // namespace orvo::pack
