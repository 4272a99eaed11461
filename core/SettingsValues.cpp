#include "core/SettingsValues.h"

namespace orvo::core {

SettingsValues& Settings() {
  static SettingsValues values;
  return values;
}

}  // namespace orvo::core
