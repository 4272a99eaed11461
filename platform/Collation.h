// The one order in which the system lists names (classes, students): Chinese collation, so that
// Chinese names sort by pinyin (阿明, 李四, 王五, 张三, 赵六) and Latin ones by letter, letter
// case deciding only between otherwise equal names. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace orvo::platform {

// -1, 0 or 1 as UTF-8 text `a` sorts before, with or after `b`. Only identical texts compare
// equal: texts the collation cannot tell apart go by their bytes, so every sort is repeatable.
int CompareNames(std::string_view a, std::string_view b);

// CompareNames as the less-than of a sort.
struct NameOrder {
  bool operator()(std::string_view a, std::string_view b) const { return CompareNames(a, b) < 0; }
};

}  // namespace orvo::platform
