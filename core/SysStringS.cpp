#include "core/SysStringS.h"

#include <stdexcept>

#include "core/TextList.h"
#include "platform/CodePage.h"

namespace orvo::core {

namespace {

// Code points after U+007F that can break a line or reorder what the operator reads.
bool IsHiddenControl(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

void AppendHex(std::string& out, unsigned value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

}  // namespace

std::string EscapeControls(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      switch (byte) {
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          out += "\\x";
          AppendHex(out, byte, 2);
      }
      continue;
    }
    // Two- and three-byte sequences are the only ones that can hold the code points above.
    if ((byte == 0xC2 || byte == 0xE2) && i + (byte == 0xC2 ? 1 : 2) < text.size()) {
      const std::size_t length = byte == 0xC2 ? 2 : 3;
      char32_t c = byte & (length == 2 ? 0x1F : 0x0F);
      for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (text[i + k] & 0x3F);
      if (IsHiddenControl(c)) {
        out += "\\u";
        AppendHex(out, static_cast<unsigned>(c), 4);
        i += length - 1;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

void TSysStringS::Add(const std::string& value) {
  std::string line = EscapeControls(value);
  std::lock_guard guard(FLock);
  FItems.push_back(std::move(line));
  if (FItems.size() > kMaxLines) FItems.pop_front();
}

void TSysStringS::Delete(std::size_t index) {
  std::lock_guard guard(FLock);
  if (index >= FItems.size())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
}

void TSysStringS::Clear() {
  std::lock_guard guard(FLock);
  FItems.clear();
}

std::size_t TSysStringS::Count() const {
  std::lock_guard guard(FLock);
  return FItems.size();
}

std::string TSysStringS::Strings(std::size_t index) const {
  std::lock_guard guard(FLock);
  if (index >= FItems.size())
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return FItems[index];
}

std::string TSysStringS::Text() const {
  std::lock_guard guard(FLock);
  std::string text;
  for (const auto& line : FItems) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TSysStringS::Savetostream(std::string& stream) const {
  std::lock_guard guard(FLock);
  if (platform::AnsiCodePage() == 65001) stream += "\xEF\xBB\xBF";
  for (const auto& line : FItems) AppendTextListLine(stream, line);
}

}  // namespace orvo::core
