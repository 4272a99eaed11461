#include <gtest/gtest.h>

#include "core/Options.h"

namespace orvo::core {
namespace {

TEST(Options, MissingOrInvalidRowsTakeTheDefaultAndValidOnesApply) {
  OptionValues values;
  values.Load({});
  EXPECT_EQ(values.LoginGraceMinutes.load(), 15u);
  EXPECT_EQ(values.LoginFailLimit.load(), 5u);
  EXPECT_EQ(values.FreeSpaceReserveBytes.load(), -1) << "auto";
  EXPECT_EQ(values.StudentQuotaBytes.load(), 0u);
  EXPECT_EQ(values.SysLogHosts.Get(), "");

  values.Load({{"LoginGraceMinutes", "30"},
               {"LoginFailLimit", "-3"},
               {"LoginBlockMinutes", "ten"},
               {"FreeSpaceReserveMB", "512"},
               {"StudentQuotaMB", "100"},
               {"SysLogHosts", "10.0.0.5"},
               {"NoSuchOption", "1"}});
  EXPECT_EQ(values.LoginGraceMinutes.load(), 30u);
  EXPECT_EQ(values.LoginFailLimit.load(), 5u);
  EXPECT_EQ(values.LoginBlockMinutes.load(), 5u);
  EXPECT_EQ(values.FreeSpaceReserveBytes.load(), int64_t{512} << 20);
  EXPECT_EQ(values.StudentQuotaBytes.load(), uint64_t{100} << 20);
  EXPECT_EQ(values.SysLogHosts.Get(), "10.0.0.5");
}

TEST(Options, ValuesAreCheckedByKind) {
  const struct {
    const char* name;
    const char* value;
    bool valid;
  } cases[] = {
      {"LoginGraceMinutes", "0", true},     {"LoginGraceMinutes", "15", true},
      {"LoginGraceMinutes", "", false},     {"LoginGraceMinutes", "1.5", false},
      {"LoginGraceMinutes", " 15", false},  {"LoginGraceMinutes", "99999999999", false},
      {"FreeSpaceReserveMB", "auto", true}, {"FreeSpaceReserveMB", "0", true},
      {"StudentQuotaMB", "auto", false},    {"SysLogHosts", "10.0.0.5, ::1", true},
  };
  for (const auto& c : cases) {
    const OptionInfo* option = FindOption(c.name);
    ASSERT_NE(option, nullptr) << c.name;
    EXPECT_EQ(!OptionValueError(*option, c.value).has_value(), c.valid) << c.name << "=" << c.value;
  }
  EXPECT_EQ(FindOption("NoSuchOption"), nullptr);
  EXPECT_EQ(OptionItems(" a, b;c  d,,"), (std::vector<std::string>{"a", "b", "c", "d"}));
}

}  // namespace
}  // namespace orvo::core
