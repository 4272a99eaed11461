// CSV for the teacher's spreadsheet: UTF-8 with a byte-order mark (so that a spreadsheet on a
// Chinese Windows PC reads it as UTF-8, not as the ANSI code page), CRLF line ends, a field quoted
// when it holds a comma, a quote, a line break or blanks at its ends. A text that a spreadsheet
// would take for a formula (starting with = + - @, a tab or CR) gets a leading apostrophe: file
// names come from students, and a crafted one must not run as a formula on the teacher's PC.
// Pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvo::classwork {

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// One text field as it goes into a line.
std::string CsvText(std::string_view text);
// The fields (already CsvText'ed or plain numbers) joined by commas, with CRLF.
std::string CsvLine(const std::vector<std::string>& fields);

}  // namespace orvo::classwork
