#include "platform/CaseFold.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

#include "platform/CodePage.h"

namespace orvo::platform {
namespace {

char16_t Fold(char16_t unit) {
#ifdef _WIN32
  // The upper-case table that the file system itself compares names with.
  wchar_t folded = static_cast<wchar_t>(unit);
  CharUpperBuffW(&folded, 1);
  return static_cast<char16_t>(folded);
#else
  // Case folding must not depend on the process locale, which the programs never set.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  if (utf8 == locale_t{}) {
    return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
  }
  return static_cast<char16_t>(towupper_l(static_cast<wint_t>(unit), utf8));
#endif
}

}  // namespace

std::u16string FoldedUnits(std::string_view utf8) {
  std::u16string units = Utf8ToUtf16(SanitizeUtf8(utf8));
  for (char16_t& unit : units) unit = Fold(unit);
  return units;
}

}  // namespace orvo::platform
