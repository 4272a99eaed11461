#include "store/NameRule.h"

#include <cstdio>
#include <optional>

#include "platform/CodePage.h"
#include "platform/PortableName.h"
#include "platform/Utf8Units.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::store {
namespace {

// Blanks as typing and pasting give them, the invisible ones included: a student cannot tell
// them from a plain blank, and LOGIN would split the name at the plain one.
bool IsBlank(char32_t cp) {
  return cp == U' ' || (cp >= U'\t' && cp <= U'\r') || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200B) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000 || cp == 0xFEFF;
}

bool IsControl(char32_t cp) {
  return cp < 0x20 || cp == 0x7F;
}

std::string Utf8Of(char32_t cp) {
  std::string text;
  platform::AppendUtf8(text, cp);
  return text;
}

std::string CodeOf(char32_t cp) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
  return code;
}

// The name in Chinese quotation marks; a control character other than a blank is shown by its
// code, since it would show as nothing (or break the line) in a message.
std::string Quoted(std::string_view name) {
  std::string quoted = "“";
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t start = at;
    const char32_t cp = platform::DecodeOne(name, at);
    if (IsControl(cp) && !IsBlank(cp)) {
      quoted += "<" + CodeOf(cp) + ">";
    } else {
      quoted.append(name.substr(start, at - start));
    }
  }
  return quoted + "”";
}

// One character of a name, as a message quotes it: itself and its code, which tells apart
// characters that look alike or show as nothing.
std::string QuotedChar(char32_t cp) {
  if (IsControl(cp)) return " " + CodeOf(cp);
  return "“" + Utf8Of(cp) + "”(" + CodeOf(cp) + ")";
}

bool Encodable(std::string_view text) {
  return platform::AnsiToUtf8(platform::Utf8ToAnsi(text)) == text;
}

// The first character of `name` that satisfies `test`.
template <typename Test>
std::optional<char32_t> FirstChar(std::string_view name, Test test) {
  for (std::size_t at = 0; at < name.size();) {
    const char32_t cp = platform::DecodeOne(name, at);
    if (test(cp)) return cp;
  }
  return std::nullopt;
}

// Why `name` cannot be a folder of a Windows client, the one rule of PortableName explained;
// empty when it can.
std::string FolderRefusal(std::string_view name) {
  if (platform::IsPortableName(name)) return {};
  const std::string quoted = Quoted(name);
  constexpr char kTail[] = "，不能用作文件夹名称";
  if (const auto cp = FirstChar(name, IsControl)) {
    return quoted + "含有控制字符" + QuotedChar(*cp) + kTail;
  }
  const auto reserved = FirstChar(name, [](char32_t cp) {
    return cp < 0x80 &&
           std::string_view("<>:\"/\\|?*").find(static_cast<char>(cp)) != std::string_view::npos;
  });
  if (reserved) return quoted + "含有“" + Utf8Of(*reserved) + "”" + kTail;
  if (name.back() == '.') return quoted + "以“.”结尾" + kTail;
  if (platform::IsDeviceName(name)) return quoted + "是 Windows 的设备名" + kTail;
  return quoted + "不能用作文件夹名称";
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  for (std::size_t at = 0; at < text.size();) {
    const char32_t cp = platform::DecodeOne(text, at);
    if (!IsBlank(cp)) break;
    begin = at;
  }
  // Scanned forwards as well: UTF-8 cannot be decoded from its end.
  for (std::size_t at = begin; at < text.size();) {
    const char32_t cp = platform::DecodeOne(text, at);
    if (!IsBlank(cp)) end = at;
  }
  return std::string(text.substr(begin, end > begin ? end - begin : 0));
}

std::string NameRefusal(std::string_view name, NameKind kind) {
  const bool isClass = kind == NameKind::Class;
  if (name.empty()) return isClass ? "班级名称为空" : "学生姓名为空";
  const std::string quoted = Quoted(name);
  const char* const cannotLogIn = isClass ? "，该班学生无法登录" : "，学生无法登录";
  if (FirstChar(name, IsBlank)) return quoted + "中间有空格" + cannotLogIn;
  if (!Encodable(name)) {
    const auto cp = FirstChar(name, [](char32_t c) { return !Encodable(Utf8Of(c)); });
    return quoted + "中的" + QuotedChar(cp.value_or(platform::kReplacement)) +
           "在学生电脑的字符集中没有" + cannotLogIn;
  }
  std::string folder = FolderRefusal(name);
  if (!folder.empty()) return folder;
  // A lesson names its classes in one text; a class whose name holds one of its separators
  // would be split there and never be let in.
  if (isClass && !LessonAdmits(name, name)) {
    const auto cp = FirstChar(name, [](char32_t c) {
      const std::string one = Utf8Of(c);
      return !LessonAdmits(one, one);
    });
    return quoted + "含有课表用来分隔班级的“" + Utf8Of(cp.value_or(U',')) + "”" + cannotLogIn;
  }
  return {};
}

std::string LetterCaseTwinRefusal(std::string_view name) {
  return Quoted(name) + "和本班已有的学生只差字母大小写，两人会共用一个文件夹";
}

}  // namespace orvo::store
