#include "web/RequestText.h"

#include <limits>

#include "platform/CodePage.h"
#include "platform/PortableName.h"
#include "platform/Utf8Units.h"

namespace orvo::web {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsControlByte(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// Well-formed UTF-8: no overlong forms, surrogates or code points beyond U+10FFFF. DecodeOne
// answers the replacement character for those, so a literal U+FFFD is told apart by its bytes.
bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    if (platform::DecodeOne(text, at) == platform::kReplacement &&
        text.substr(start, at - start) != "\xEF\xBF\xBD") {
      return false;
    }
  }
  return true;
}

// The pairs of a query or form body. Empty pieces ("a=1&&b=2", a trailing '&') are skipped as
// browsers write them; a key without '=' has an empty value.
std::optional<std::map<std::string, std::string>> ParsePairs(std::string_view text) {
  std::map<std::string, std::string> pairs;
  while (!text.empty()) {
    const std::size_t amp = text.find('&');
    const std::string_view piece = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (piece.empty()) continue;
    const std::size_t eq = piece.find('=');
    auto key = PercentDecode(piece.substr(0, eq), true);
    auto value = PercentDecode(eq == std::string_view::npos ? "" : piece.substr(eq + 1), true);
    if (!key || key->empty() || !value) return std::nullopt;
    if (!pairs.emplace(std::move(*key), std::move(*value)).second) return std::nullopt;
  }
  return pairs;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The characters RFC 8187 lets an extended parameter value carry unencoded.
bool IsAttrChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

// A decimal number of digits only; saturates instead of wrapping, since a number beyond 2^64 is
// beyond every file's end as well.
std::optional<uint64_t> ParseDecimal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
    if (c != lowerPrefix[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    char c = text[at];
    if (c == '%') {
      if (text.size() - at < 3) return std::nullopt;
      const int high = HexValue(text[at + 1]);
      const int low = HexValue(text[at + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      c = static_cast<char>(high * 16 + low);
      at += 2;
    } else if (c == '+' && plusIsSpace) {
      c = ' ';
    }
    if (IsControlByte(static_cast<unsigned char>(c))) return std::nullopt;
    out += c;
  }
  if (!IsUtf8(out)) return std::nullopt;
  return out;
}

std::optional<Target> ParseTarget(std::string_view target) {
  if (target.empty() || target.front() != '/') return std::nullopt;
  const std::size_t question = target.find('?');
  auto path = PercentDecode(target.substr(0, question), false);
  if (!path) return std::nullopt;
  Target parsed{std::move(*path), {}};
  if (question != std::string_view::npos) {
    auto query = ParsePairs(target.substr(question + 1));
    if (!query) return std::nullopt;
    parsed.query = std::move(*query);
  }
  return parsed;
}

std::optional<std::map<std::string, std::string>> ParseForm(std::string_view body) {
  return ParsePairs(body);
}

std::optional<std::string> CookieValue(std::string_view header, std::string_view name) {
  std::optional<std::string> found;
  while (!header.empty()) {
    const std::size_t semicolon = header.find(';');
    const std::string_view piece = header.substr(0, semicolon);
    header =
        semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
    const std::size_t eq = piece.find('=');
    if (eq == std::string_view::npos || TrimBlanks(piece.substr(0, eq)) != name) continue;
    if (found) return std::nullopt;
    found = std::string(TrimBlanks(piece.substr(eq + 1)));
  }
  return found;
}

bool IsEntryName(std::string_view name) {
  // IsPortableName already refuses "." and ".." (a trailing dot), '\\', ':' and controls.
  return platform::IsPortableName(name) && IsUtf8(name);
}

std::optional<std::vector<std::string>> RelativeLevels(std::string_view path) {
  std::vector<std::string> levels;
  if (path.empty()) return levels;
  while (true) {
    const std::size_t slash = path.find('/');
    const std::string_view level = path.substr(0, slash);
    if (!IsEntryName(level)) return std::nullopt;
    levels.emplace_back(level);
    if (slash == std::string_view::npos) return levels;
    path.remove_prefix(slash + 1);
  }
}

std::string AttachmentDisposition(std::string_view name) {
  // Bytes that are not UTF-8 (a name written on the host by other means) would make filename*
  // undecodable, and the browser would fall back to a name of its own.
  const std::string utf8 = platform::SanitizeUtf8(name);
  std::string fallback;
  std::string encoded;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::size_t start = at;
    const char32_t cp = platform::DecodeOne(utf8, at);
    // Old clients read the quoted name as it stands, some of them percent-decoding it or cutting
    // it at a ';': only plain printable ASCII passes there.
    const bool plain = cp >= 0x20 && cp < 0x7F && cp != '"' && cp != '\\' && cp != '%' && cp != ';';
    fallback += plain ? static_cast<char>(cp) : '_';
    for (std::size_t i = start; i < at; ++i) {
      const char c = utf8[i];
      if (IsAttrChar(c)) {
        encoded += c;
      } else {
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += kHexDigits[byte >> 4];
        encoded += kHexDigits[byte & 0x0F];
      }
    }
  }
  if (fallback.empty()) fallback = "download";
  std::string disposition = "attachment; filename=\"" + fallback + "\"";
  if (!encoded.empty()) disposition += "; filename*=UTF-8''" + encoded;
  return disposition;
}

std::string JsonString(std::string_view text) {
  const std::string utf8 = platform::SanitizeUtf8(text);
  std::string out = "\"";
  out.reserve(utf8.size() + 2);
  for (std::size_t at = 0; at < utf8.size(); ++at) {
    const char c = utf8[at];
    switch (c) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      default:
        break;
    }
    const auto byte = static_cast<unsigned char>(c);
    // '<', '>' and '&' escaped keep "</script>" and "<!--" from ending or changing a script
    // element the text is placed in.
    if (IsControlByte(byte) || c == '<' || c == '>' || c == '&') {
      out += "\\u00";
      out += kHexDigits[byte >> 4];
      out += kHexDigits[byte & 0x0F];
    } else if (utf8.compare(at, 3, "\xE2\x80\xA8") == 0 ||
               utf8.compare(at, 3, "\xE2\x80\xA9") == 0) {
      // U+2028 and U+2029 end a line in older JavaScript, though JSON allows them raw.
      out += utf8[at + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      at += 2;
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

RangeAnswer ParseRange(std::string_view header, uint64_t size) {
  constexpr std::string_view kUnit = "bytes=";
  if (!StartsWithIgnoringCase(header, kUnit)) return {};
  const std::string_view wanted = TrimBlanks(header.substr(kUnit.size()));
  if (wanted.find(',') != std::string_view::npos) return {};
  const std::size_t dash = wanted.find('-');
  if (dash == std::string_view::npos) return {};
  const std::string_view firstText = wanted.substr(0, dash);
  const std::string_view lastText = wanted.substr(dash + 1);
  if (firstText.empty()) {
    // "-N": the last N bytes, all of them when the file is shorter.
    const auto suffix = ParseDecimal(lastText);
    if (!suffix) return {};
    if (*suffix == 0 || size == 0) return {RangeKind::Unsatisfiable, {}};
    return {RangeKind::Partial, {*suffix >= size ? 0 : size - *suffix, size - 1}};
  }
  const auto first = ParseDecimal(firstText);
  if (!first) return {};
  uint64_t last = std::numeric_limits<uint64_t>::max();
  if (!lastText.empty()) {
    const auto parsed = ParseDecimal(lastText);
    // A last byte before the first makes the header invalid, which is not the same as
    // unsatisfiable: it is ignored.
    if (!parsed || *parsed < *first) return {};
    last = *parsed;
  }
  if (*first >= size) return {RangeKind::Unsatisfiable, {}};
  return {RangeKind::Partial, {*first, last >= size ? size - 1 : last}};
}

}  // namespace orvo::web
