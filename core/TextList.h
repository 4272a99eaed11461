// The text list: every line in the host's ANSI code page followed by CR LF, the last one too,
// with no count and no byte-order mark (but for a UTF-8 ANSI code page, which starts with
// EF BB BF).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvo::core {

std::string EncodeTextList(const std::vector<std::string>& linesUtf8);

// Appends one line in the encoding EncodeTextList uses (without any byte-order mark).
void AppendTextListLine(std::string& out, std::string_view lineUtf8);

// The inverse, used by the client: splits at CR LF and converts back to UTF-8.
std::vector<std::string> DecodeTextList(std::string_view payload);

}  // namespace orvo::core
