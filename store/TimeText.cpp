#include "store/TimeText.h"

#include <cstddef>
#include <optional>

#include "store/HalfWidth.h"

namespace orvo::store {
namespace {

// Any number above this is out of range for every field; saturating here keeps a long run of
// digits from overflowing while still reading it as too large.
constexpr uint32_t kSaturated = 1000000;

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }

  bool AtEnd() const { return pos_ == text_.size(); }

  // Blanks, then one or more decimal digits.
  std::optional<uint32_t> Number() {
    SkipBlanks();
    const std::size_t start = pos_;
    uint32_t value = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      value = value * 10 + static_cast<uint32_t>(text_[pos_] - '0');
      if (value > kSaturated) value = kSaturated;
      ++pos_;
    }
    if (pos_ == start) return std::nullopt;
    return value;
  }

  // Blanks, then the separator exactly as the settings spell it.
  bool Separator(std::string_view separator) {
    SkipBlanks();
    if (separator.empty() || text_.substr(pos_, separator.size()) != separator) return false;
    pos_ += separator.size();
    return true;
  }

  // Blanks, then the word; Latin letters match without regard to case.
  bool Word(std::string_view word) {
    SkipBlanks();
    if (word.empty() || text_.size() - pos_ < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (FoldAscii(text_[pos_ + i]) != FoldAscii(word[i])) return false;
    }
    pos_ += word.size();
    return true;
  }

 private:
  static char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// The hour to add for an AM or PM word at the scanner's position, or -1 when there is none.
int ScanAmPm(Scanner& scanner, const platform::RegionalSettings& regional) {
  if (scanner.Word(regional.amWord) || scanner.Word("AM")) return 0;
  if (scanner.Word(regional.pmWord) || scanner.Word("PM")) return 12;
  return -1;
}

std::optional<int32_t> Parse(std::string_view typed, const platform::RegionalSettings& regional) {
  const std::string text = HalfWidth(typed);
  Scanner scanner(text);
  int baseHour = ScanAmPm(scanner, regional);
  const std::optional<uint32_t> hourRead = scanner.Number();
  if (!hourRead) return std::nullopt;
  uint32_t hour = *hourRead;
  uint32_t minute = 0;
  uint32_t second = 0;
  uint32_t millisecond = 0;
  if (scanner.Separator(regional.timeSeparator)) {
    const std::optional<uint32_t> minuteRead = scanner.Number();
    if (!minuteRead) return std::nullopt;
    minute = *minuteRead;
    if (scanner.Separator(regional.timeSeparator)) {
      const std::optional<uint32_t> secondRead = scanner.Number();
      if (!secondRead) return std::nullopt;
      second = *secondRead;
      if (scanner.Separator(regional.decimalSeparator)) {
        const std::optional<uint32_t> millisecondRead = scanner.Number();
        if (!millisecondRead) return std::nullopt;
        millisecond = *millisecondRead;
      }
    }
  }
  if (baseHour < 0) baseHour = ScanAmPm(scanner, regional);
  if (baseHour >= 0) {
    if (hour == 0 || hour > 12) return std::nullopt;
    if (hour == 12) hour = 0;
    hour += static_cast<uint32_t>(baseHour);
  }
  scanner.SkipBlanks();
  if (!scanner.AtEnd()) return std::nullopt;
  if (hour >= 24 || minute >= 60 || second >= 60 || millisecond >= 1000) return std::nullopt;
  return static_cast<int32_t>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond);
}

std::string Message(std::string_view text) {
  std::string message = "'";
  message += text;
  message += "' is not a valid time";
  return message;
}

}  // namespace

TimeTextError::TimeTextError(std::string_view text) : std::runtime_error(Message(text)) {}

int32_t ParseTimeText(std::string_view text, const platform::RegionalSettings& regional) {
  const std::optional<int32_t> parsed = Parse(text, regional);
  if (!parsed) throw TimeTextError(text);
  return *parsed;
}

bool TryParseTimeText(std::string_view text, int32_t& msOfDay,
                      const platform::RegionalSettings& regional) {
  const std::optional<int32_t> parsed = Parse(text, regional);
  if (!parsed) return false;
  msOfDay = *parsed;
  return true;
}

LessonTimesFault CheckLessonTimes(std::string_view begin, std::string_view end,
                                  const platform::RegionalSettings& regional) {
  const std::optional<int32_t> from = Parse(begin, regional);
  if (!from) return LessonTimesFault::kBadBegin;
  const std::optional<int32_t> to = Parse(end, regional);
  if (!to) return LessonTimesFault::kBadEnd;
  return *to > *from ? LessonTimesFault::kNone : LessonTimesFault::kEndNotAfterBegin;
}

}  // namespace orvo::store
