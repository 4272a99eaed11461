#include "store/NameRule.h"

#include <gtest/gtest.h>

#include <string>

namespace orvo::store {
namespace {

TEST(NameRule, TrimDropsTheBlanksThatTypingAndPastingLeaveAtBothEnds) {
  const struct {
    const char* typed;
    const char* trimmed;
  } cases[] = {
      {"彭浩宇 ", "彭浩宇"},                     // a spreadsheet column's trailing blank
      {"彭浩宇\r", "彭浩宇"},                    // a Windows line end read by a Unix tool
      {"\t张三\t", "张三"},                      // a cell copied with its tab
      {"\xE3\x80\x80王五\xE3\x80\x80", "王五"},  // full-width blanks of a Chinese input method
      {"\xEF\xBB\xBFLi", "Li"},                  // the byte-order mark of a saved list
      {"\xC2\xA0Wu \xC2\xA0", "Wu"},             // no-break blanks of a web page
      {"Li Ming", "Li Ming"},                    // a blank inside stays, for the rule to refuse
      {" \t\r\n", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimBlanks(c.typed), c.trimmed) << c.typed;
  }
}

TEST(NameRule, RefusesNamesStudentsCouldNotLogInWithAndSaysWhy) {
  const struct {
    const char* name;
    NameKind kind;
    const char* reason;  // empty: accepted
  } cases[] = {
      {"张三", NameKind::Student, ""},
      {"Li", NameKind::Student, ""},
      {"O'Neil", NameKind::Student, ""},
      {"初二（3）班", NameKind::Class, ""},
      {"高一2班", NameKind::Class, ""},
      {"", NameKind::Student, "学生姓名为空"},
      {"", NameKind::Class, "班级名称为空"},
      {"Li Ming", NameKind::Student, "“Li Ming”中间有空格，学生无法登录"},
      {"高一 2班", NameKind::Class, "“高一 2班”中间有空格，该班学生无法登录"},
      {"张三\t男", NameKind::Student, "“张三\t男”中间有空格，学生无法登录"},
      {"王\xE3\x80\x80五", NameKind::Student, "“王\xE3\x80\x80五”中间有空格，学生无法登录"},
      {"李䶮", NameKind::Student, "“李䶮”中的“䶮”(U+4DAE)在学生电脑的字符集中没有，学生无法登录"},
      {"a\xFF", NameKind::Student,
       "“a\xFF”中的“\xEF\xBF\xBD”(U+FFFD)在学生电脑的字符集中没有，"
       "学生无法登录"},
      {"a/b", NameKind::Student, "“a/b”含有“/”，不能用作文件夹名称"},
      {"a\\b", NameKind::Class, "“a\\b”含有“\\”，不能用作文件夹名称"},
      {"何?", NameKind::Student, "“何?”含有“?”，不能用作文件夹名称"},
      {"x\x01y", NameKind::Student, "“x<U+0001>y”含有控制字符 U+0001，不能用作文件夹名称"},
      {"..", NameKind::Class, "“..”以“.”结尾，不能用作文件夹名称"},
      {"Wang.", NameKind::Student, "“Wang.”以“.”结尾，不能用作文件夹名称"},
      {"con", NameKind::Student, "“con”是 Windows 的设备名，不能用作文件夹名称"},
      {"1,2班", NameKind::Class, "“1,2班”含有课表用来分隔班级的“,”，该班学生无法登录"},
      {"一、二班", NameKind::Class, "“一、二班”含有课表用来分隔班级的“、”，该班学生无法登录"},
      {"1,2", NameKind::Student, ""},  // only a lesson's class text is split at commas
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameRefusal(c.name, c.kind), c.reason) << c.name;
  }
}

}  // namespace
}  // namespace orvo::store
