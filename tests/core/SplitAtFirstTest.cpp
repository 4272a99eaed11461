#include <gtest/gtest.h>

#include "core/SplitAtFirst.h"

namespace orvo::core {
namespace {

struct SplitCase {
  const char* text;
  char sep;
  const char* head;
  const char* tail;
};

TEST(SplitAtFirst, CutsAtTheFirstSeparatorOnly) {
  const SplitCase cases[] = {
      {"LIST C:\\a b", ' ', "LIST", "C:\\a b"},
      {"GETSYSLOG", ' ', "GETSYSLOG", ""},
      {" LIST", ' ', "", "LIST"},
      {"A  B", ' ', "A", " B"},
      {"X ", ' ', "X", ""},
      {"", ' ', "", ""},
      {"/a/b|/c/d|e", '|', "/a/b", "/c/d|e"},
      {"/only/source", '|', "/only/source", ""},
  };
  for (const auto& c : cases) {
    const HeadTail parts = SplitAtFirst(c.text, c.sep);
    EXPECT_EQ(parts.head, c.head) << c.text;
    EXPECT_EQ(parts.tail, c.tail) << c.text;
  }
}

}  // namespace
}  // namespace orvo::core
