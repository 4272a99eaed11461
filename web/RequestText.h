// The texts of an HTTP request that the portal reads itself, after the HTTP library has parsed the
// message: the target's path and query, form bodies, the session cookie, the portal's relative
// paths and Range headers; and the texts it writes: JSON strings and download names. Every input
// is hostile: each function refuses what it cannot read exactly (bad percent-encoding, invalid
// UTF-8, NUL and control characters, repeated keys) rather than guessing. Pure functions, any
// thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::web {

// Decodes %XX escapes (and '+' as a blank when `plusIsSpace`, as forms encode it). Nullopt for a
// '%' without two hex digits, a decoded NUL or control character (below 0x20, 0x7F), or a result
// that is not valid UTF-8.
std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace);

// A request target in origin form ("/api/list?area=own&path=a%2Fb"): the decoded path and the
// decoded query parameters. The query is read as a form is ('+' a blank, empty pieces skipped, a
// key without '=' has an empty value); in the path '+' is itself. Nullopt when it does not start
// with '/', when any part does not decode, when a key is empty or when a query key comes twice.
struct Target {
  std::string path;
  std::map<std::string, std::string> query;
};
std::optional<Target> ParseTarget(std::string_view target);

// An application/x-www-form-urlencoded body: its keys and values, decoded; nullopt as for a query.
std::optional<std::map<std::string, std::string>> ParseForm(std::string_view body);

// The value of the cookie `name` in a Cookie header ("a=1; orvo_session=XYZ"): everything after
// the first '=', blanks around it dropped. Names match exactly, case included. Nullopt when it is
// absent or named more than once (a cookie planted beside the real one is refused, not chosen).
std::optional<std::string> CookieValue(std::string_view header, std::string_view name);

// A folder or file path relative to the top of a student's folder or the public folder, levels
// separated by '/' ("" is the top): its levels, or nullopt when a level is empty, "." or "..", or
// holds '\\', ':', a control character or anything a file name on the students' PCs cannot hold.
std::optional<std::vector<std::string>> RelativeLevels(std::string_view path);

// One file name as a new entry may have it (what RelativeLevels accepts for one level).
bool IsEntryName(std::string_view name);

// The Content-Disposition of a download named `name`: always "attachment", with an ASCII fallback
// filename (other characters, quotes, backslashes, '%' and ';' become '_') and the UTF-8 name
// percent-encoded as filename* when it has any character. Bytes that are not UTF-8 become U+FFFD.
std::string AttachmentDisposition(std::string_view name);

// `text` as a JSON string literal, quotes included; control characters, quotes, backslashes and
// the characters that could end a script element ('<', '>', '&', U+2028, U+2029) are escaped, and
// bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

// A Range header against a file of `size` bytes. Only one range of bytes is served; a header that
// is not understood, asks for several ranges or ends before it starts ("bytes=10-5") means the
// whole file (as HTTP allows). A last byte beyond the end is cut to the end, a suffix longer than
// the file takes all of it; a first byte at or beyond the end, a suffix of 0 and any range of an
// empty file are Unsatisfiable (416).
struct ByteRange {
  uint64_t first = 0;
  uint64_t last = 0;  // inclusive
};
enum class RangeKind { Whole, Partial, Unsatisfiable };
struct RangeAnswer {
  RangeKind kind = RangeKind::Whole;
  ByteRange range;  // for Partial
};
RangeAnswer ParseRange(std::string_view header, uint64_t size);

}  // namespace orvo::web
