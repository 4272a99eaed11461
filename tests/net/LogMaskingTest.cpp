#include <gtest/gtest.h>

#include "net/LogMasking.h"

namespace orvo::net {
namespace {

TEST(LogMasking, OnlyThePasswordOfLoginAndChgpswIsMasked) {
  const struct {
    const char* line;
    const char* logged;
  } cases[] = {
      {"LOGIN c id pw", "LOGIN c id ******"},
      {"LOGIN c id pass with blanks", "LOGIN c id ******"},
      {"LOGIN c id ", "LOGIN c id ******"},
      {"LOGIN c id", "LOGIN c id"},
      {"CHGPSW 一班 张三 新密码", "CHGPSW 一班 张三 ******"},
      {"login c id pw", "login c id pw"},
      {"GET /a b c", "GET /a b c"},
      {"LOGINX c id pw", "LOGINX c id pw"},
      // Whatever separates the fields, the password never reaches the log.
      {"LOGIN c id\tpw", "LOGIN c id ******"},
      {"LOGIN c\tid\tpw", "LOGIN c\tid ******"},
      {"LOGIN\tc id pw", "LOGIN\tc id ******"},
      {"CHGPSW c id\x0bpw", "CHGPSW c id ******"},
      {"LOGIN c id\npw", "LOGIN c id ******"},
      {"LOGIN  c id pw", "LOGIN  c ******"},
      {"LOGIN c\tid", "LOGIN c\tid"},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskForLog(c.line), c.logged) << c.line;
}

}  // namespace
}  // namespace orvo::net
