#include "platform/Clock.h"

namespace orvo::platform {

int DayOfWeek(int year, int month, int day) {
  // Sakamoto's method gives 0 = Sunday.
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  const int sunday0 = (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
  return sunday0 == 0 ? 7 : sunday0;
}

}  // namespace orvo::platform
