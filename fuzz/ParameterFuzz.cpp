// The texts a command line's parameter is cut into: the blank and bar splits, the log masking and
// the GBK text list that replies carry. Nothing may crash, and the splits must put the text back
// together exactly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/SplitAtFirst.h"
#include "core/TextList.h"
#include "net/LogMasking.h"
#include "platform/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text =
      orvo::platform::SanitizeUtf8(std::string(reinterpret_cast<const char*>(data), size));
  for (const char sep : {' ', '|'}) {
    const orvo::core::HeadTail parts = orvo::core::SplitAtFirst(text, sep);
    const bool cut = text.find(sep) != std::string::npos;
    if ((cut ? parts.head + sep + parts.tail : parts.head) != text) __builtin_trap();
  }
  const std::string masked = orvo::net::MaskForLog(text);
  if (masked.size() > text.size() + 6) __builtin_trap();
  const std::string list = orvo::core::EncodeTextList({text, masked});
  (void)orvo::core::DecodeTextList(list);
  (void)orvo::platform::Utf16ToUtf8(orvo::platform::Utf8ToUtf16(text));
  return 0;
}
