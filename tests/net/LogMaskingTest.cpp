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
  };
  for (const auto& c : cases) EXPECT_EQ(MaskForLog(c.line), c.logged) << c.line;
}

}  // namespace
}  // namespace orvo::net
