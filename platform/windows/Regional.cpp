#include <windows.h>

#include "platform/Regional.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

// One item of the user's regional settings, as UTF-8; `fallback` when Windows gives none.
std::string LocaleText(LCTYPE item, const std::string& fallback) {
  wchar_t buffer[LOCALE_NAME_MAX_LENGTH] = {};
  const int length =
      GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, buffer, LOCALE_NAME_MAX_LENGTH);
  if (length <= 1) return fallback;
  return Narrow(std::wstring_view(buffer, static_cast<std::size_t>(length - 1)));
}

RegionalSettings ReadUserSettings() {
  const RegionalSettings defaults;
  RegionalSettings settings;
  settings.timeSeparator = LocaleText(LOCALE_STIME, defaults.timeSeparator);
  settings.decimalSeparator = LocaleText(LOCALE_SDECIMAL, defaults.decimalSeparator);
  // A 24-hour locale has no AM/PM words: the parser then knows only the Latin ones.
  settings.amWord = LocaleText(LOCALE_S1159, "");
  settings.pmWord = LocaleText(LOCALE_S2359, "");
  return settings;
}

}  // namespace

const RegionalSettings& HostRegional() {
  // Read once: the settings of the user the service started as.
  static const RegionalSettings settings = ReadUserSettings();
  return settings;
}

}  // namespace orvo::platform
