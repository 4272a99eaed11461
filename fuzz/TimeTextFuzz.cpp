// The time-text parser: any text either parses to a time of day or raises its one error.
#include <cstddef>
#include <cstdint>
#include <string>

#include "store/TimeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  int32_t ms = -1;
  const bool parsed = orvo::store::TryParseTimeText(text, ms);
  if (parsed && (ms < 0 || ms >= orvo::store::kMillisecondsPerDay)) __builtin_trap();
  try {
    const int32_t again = orvo::store::ParseTimeText(text);
    if (!parsed || again != ms) __builtin_trap();
  } catch (const orvo::store::TimeTextError&) {
    if (parsed) __builtin_trap();
  }
  return 0;
}
