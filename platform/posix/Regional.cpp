#include "platform/Regional.h"

namespace orvo::platform {

const RegionalSettings& HostRegional() {
  // Linux offers no per-user time separator or AM/PM words that Windows clients would share, so the
  // fixed values stand; the parser accepts the Latin AM/PM words besides these.
  static const RegionalSettings settings;
  return settings;
}

}  // namespace orvo::platform
