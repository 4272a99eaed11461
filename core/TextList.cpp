#include "core/TextList.h"

#include "platform/CodePage.h"

namespace orvo::core {
namespace {
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
}

void AppendTextListLine(std::string& out, std::string_view lineUtf8) {
  if (platform::AnsiCodePage() == 65001) {
    out.append(lineUtf8);
  } else {
    out += platform::Utf8ToAnsi(lineUtf8);
  }
  out += "\r\n";
}

std::string EncodeTextList(const std::vector<std::string>& linesUtf8) {
  std::string out;
  if (platform::AnsiCodePage() == 65001) out.append(kUtf8Bom);
  for (const auto& line : linesUtf8) AppendTextListLine(out, line);
  return out;
}

std::vector<std::string> DecodeTextList(std::string_view payload) {
  if (payload.starts_with(kUtf8Bom)) payload.remove_prefix(kUtf8Bom.size());
  std::vector<std::string> lines;
  while (!payload.empty()) {
    const size_t end = payload.find("\r\n");
    const std::string_view line = payload.substr(0, end);
    lines.push_back(platform::AnsiCodePage() == 65001 ? platform::SanitizeUtf8(line)
                                                      : platform::AnsiToUtf8(line));
    if (end == std::string_view::npos) break;
    payload.remove_prefix(end + 2);
  }
  return lines;
}

}  // namespace orvo::core
