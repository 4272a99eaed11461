#include "web/RequestText.h"

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvo::web {
namespace {

using Pairs = std::map<std::string, std::string>;
using std::nullopt;

// "作业" (homework), as it stands and percent-encoded.
constexpr char kHomework[] = "\xE4\xBD\x9C\xE4\xB8\x9A";
constexpr char kHomeworkEncoded[] = "%E4%BD%9C%E4%B8%9A";

struct DecodeCase {
  std::string text;
  bool plusIsSpace;
  std::optional<std::string> decoded;
};

class PercentDecodeCases : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PercentDecodeCases, DecodesExactlyOrRefuses) {
  const DecodeCase& c = GetParam();
  EXPECT_EQ(PercentDecode(c.text, c.plusIsSpace), c.decoded) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PercentDecodeCases,
    ::testing::Values(
        DecodeCase{"plain", false, "plain"}, DecodeCase{"", false, ""},
        DecodeCase{"a%20b%2fc%2F", false, "a b/c/"}, DecodeCase{kHomeworkEncoded, false, kHomework},
        DecodeCase{kHomework, false, kHomework},         // raw UTF-8 as some clients send it
        DecodeCase{"%EF%BF%BD", false, "\xEF\xBF\xBD"},  // U+FFFD itself is a character
        // '+' is a blank only where forms encode blanks so.
        DecodeCase{"a+b", true, "a b"}, DecodeCase{"a+b", false, "a+b"},
        DecodeCase{"a%2Bb", true, "a+b"},
        // Escapes that are cut short or not hex.
        DecodeCase{"%", false, nullopt}, DecodeCase{"a%4", false, nullopt},
        DecodeCase{"%zz", false, nullopt}, DecodeCase{"%4g", false, nullopt},
        DecodeCase{"%%41", false, nullopt},
        // NUL and other controls, encoded or not.
        DecodeCase{"a%00b", false, nullopt}, DecodeCase{"%0A", false, nullopt},
        DecodeCase{"%0d%0aSet-Cookie:x", false, nullopt}, DecodeCase{"%7F", false, nullopt},
        DecodeCase{"%09", true, nullopt}, DecodeCase{std::string("a\0b", 3), false, nullopt},
        // Invalid UTF-8: an overlong '/', a lone continuation, a cut sequence, a surrogate, a
        // code point beyond U+10FFFF, a byte no UTF-8 holds.
        DecodeCase{"..%C0%AF..", false, nullopt}, DecodeCase{"%E0%80%AF", false, nullopt},
        DecodeCase{"%80", false, nullopt}, DecodeCase{"%E4%BD", false, nullopt},
        DecodeCase{"%ED%A0%80", false, nullopt}, DecodeCase{"%F4%90%80%80", false, nullopt},
        DecodeCase{"%FF", false, nullopt}, DecodeCase{"\xC0\xAF", false, nullopt}));

struct TargetCase {
  std::string target;
  std::optional<std::string> path;  // nullopt: the target is refused
  Pairs query;
};

class TargetCases : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetCases, SplitsPathAndQuery) {
  const TargetCase& c = GetParam();
  const auto parsed = ParseTarget(c.target);
  ASSERT_EQ(parsed.has_value(), c.path.has_value()) << c.target;
  if (!parsed) return;
  EXPECT_EQ(parsed->path, *c.path);
  EXPECT_EQ(parsed->query, c.query);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, TargetCases,
    ::testing::Values(
        TargetCase{"/", "/", {}}, TargetCase{"/login?", "/login", {}},
        TargetCase{
            "/api/list?area=own&path=a%2Fb", "/api/list", {{"area", "own"}, {"path", "a/b"}}},
        TargetCase{std::string("/files/") + kHomeworkEncoded + "/",
                   std::string("/files/") + kHomework + "/",
                   {}},
        // '+' is a blank in the query only.
        TargetCase{"/a+b?name=x+y%2Bz", "/a+b", {{"name", "x y+z"}}},
        // Empty pieces are skipped, a bare key has an empty value, '=' may sit in a value.
        TargetCase{"/x?a=1&&b&c=d=e&", "/x", {{"a", "1"}, {"b", ""}, {"c", "d=e"}}},
        // A path is decoded as it stands: what it means is the server's to judge.
        TargetCase{"/files/%2E%2E/x", "/files/../x", {}},
        // Refused: no leading '/', an absolute or asterisk form, a key twice (even with the same
        // value, or once encoded), an empty key, a bad escape in any part.
        TargetCase{"", nullopt, {}}, TargetCase{"api/me", nullopt, {}},
        TargetCase{"http://host/api/me", nullopt, {}}, TargetCase{"*", nullopt, {}},
        TargetCase{"/api/list?path=a&path=b", nullopt, {}},
        TargetCase{"/api/list?path=a&path=a", nullopt, {}},
        TargetCase{"/api/list?path=a&p%61th=b", nullopt, {}}, TargetCase{"/x?=v", nullopt, {}},
        TargetCase{"/x%zz", nullopt, {}}, TargetCase{"/x?a=%", nullopt, {}},
        TargetCase{"/x?a%00=1", nullopt, {}}, TargetCase{"/x?path=%C0%AF", nullopt, {}}));

TEST(ParseForm, ReadsABodyAsAQueryIsRead) {
  EXPECT_EQ(ParseForm("class=%E5%88%9D%E4%BA%8C&id=s01&password=a+b%26c%3D"),
            (Pairs{{"class", "\xE5\x88\x9D\xE4\xBA\x8C"}, {"id", "s01"}, {"password", "a b&c="}}));
  EXPECT_EQ(ParseForm(""), Pairs{});
  EXPECT_EQ(ParseForm("old=1&new=2&old=3"), nullopt);
  EXPECT_EQ(ParseForm("new=%0A"), nullopt);
  EXPECT_EQ(ParseForm("name=%FF"), nullopt);
}

struct CookieCase {
  std::string header;
  std::optional<std::string> value;
};

class CookieCases : public ::testing::TestWithParam<CookieCase> {};

TEST_P(CookieCases, FindsTheSessionCookieOnlyWhenNamedOnce) {
  const CookieCase& c = GetParam();
  EXPECT_EQ(CookieValue(c.header, "orvo_session"), c.value) << c.header;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, CookieCases,
    ::testing::Values(CookieCase{"orvo_session=abc", "abc"},
                      CookieCase{"a=1; orvo_session=XYZ; b=2", "XYZ"},
                      CookieCase{"a=1;orvo_session=XYZ", "XYZ"},
                      CookieCase{"  orvo_session = XYZ  ;x=1", "XYZ"},
                      // Everything after the first '=' is the value.
                      CookieCase{"orvo_session=ab==; c=d", "ab=="}, CookieCase{"orvo_session=", ""},
                      // Absent, or only alike.
                      CookieCase{"", nullopt}, CookieCase{"a=1; b=2", nullopt},
                      CookieCase{"orvo_session", nullopt}, CookieCase{"ORVO_SESSION=abc", nullopt},
                      CookieCase{"xorvo_session=abc; orvo_sessionx=def", nullopt},
                      CookieCase{"a=orvo_session=abc", nullopt},
                      // Named twice: a planted cookie beside the real one wins neither way.
                      CookieCase{"orvo_session=good; orvo_session=planted", nullopt},
                      CookieCase{"orvo_session=same; x=1; orvo_session=same", nullopt}));

struct LevelsCase {
  std::string path;
  std::optional<std::vector<std::string>> levels;
};

class LevelsCases : public ::testing::TestWithParam<LevelsCase> {};

TEST_P(LevelsCases, AcceptsOnlyLevelsAStudentsPcCanHold) {
  const LevelsCase& c = GetParam();
  EXPECT_EQ(RelativeLevels(c.path), c.levels) << c.path;
  // A single level is accepted exactly when it is an entry name.
  if (!c.path.empty() && c.path.find('/') == std::string::npos) {
    EXPECT_EQ(IsEntryName(c.path), c.levels.has_value());
  }
}

using Levels = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Paths, LevelsCases,
    ::testing::Values(LevelsCase{"", Levels{}}, LevelsCase{"a", Levels{"a"}},
                      LevelsCase{"a/b c/d.txt", Levels{"a", "b c", "d.txt"}},
                      LevelsCase{std::string(kHomework) + "/第一次.docx",
                                 Levels{kHomework, "\xE7\xAC\xAC\xE4\xB8\x80\xE6\xAC\xA1.docx"}},
                      LevelsCase{".hidden/..a", Levels{".hidden", "..a"}},
                      // Empty levels: leading, trailing or doubled '/'.
                      LevelsCase{"/a", nullopt}, LevelsCase{"a/", nullopt},
                      LevelsCase{"a//b", nullopt}, LevelsCase{"/", nullopt},
                      // Steps out or in place.
                      LevelsCase{"..", nullopt}, LevelsCase{"a/../../b", nullopt},
                      LevelsCase{".", nullopt}, LevelsCase{"a/./b", nullopt},
                      LevelsCase{"a/...", nullopt},
                      // Windows separators, drives and streams, devices, controls, bad UTF-8.
                      LevelsCase{"a\\b", nullopt}, LevelsCase{"..\\x", nullopt},
                      LevelsCase{"C:", nullopt}, LevelsCase{"C:/x", nullopt},
                      LevelsCase{"a.txt:stream", nullopt}, LevelsCase{"a/CON", nullopt},
                      LevelsCase{"nul.txt", nullopt}, LevelsCase{"a\tb", nullopt},
                      LevelsCase{std::string("a\0b", 3), nullopt}, LevelsCase{"a/b\x7F", nullopt},
                      LevelsCase{"\xC0\xAF", nullopt}, LevelsCase{"a\xE4\xBD", nullopt},
                      LevelsCase{"x\xE2\x80\xAEtxt.exe", nullopt}));

struct RangeCase {
  std::string header;
  uint64_t size;
  RangeKind kind;
  uint64_t first = 0;
  uint64_t last = 0;
};

std::ostream& operator<<(std::ostream& out, const RangeCase& c) {
  return out << '"' << c.header << "\" of " << c.size;
}

class RangeCases : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeCases, AnswersOneRangeWithinTheFile) {
  const RangeCase& c = GetParam();
  const RangeAnswer answer = ParseRange(c.header, c.size);
  EXPECT_EQ(answer.kind, c.kind);
  if (answer.kind == RangeKind::Partial) {
    EXPECT_EQ(answer.range.first, c.first);
    EXPECT_EQ(answer.range.last, c.last);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, RangeCases,
    ::testing::Values(
        // Resuming and the plain forms.
        RangeCase{"bytes=0-", 1000, RangeKind::Partial, 0, 999},
        RangeCase{"bytes=400-", 1000, RangeKind::Partial, 400, 999},
        RangeCase{"bytes=10-19", 1000, RangeKind::Partial, 10, 19},
        RangeCase{"bytes=999-999", 1000, RangeKind::Partial, 999, 999},
        RangeCase{"Bytes= 5-9 ", 1000, RangeKind::Partial, 5, 9},
        RangeCase{"bytes=-500", 1000, RangeKind::Partial, 500, 999},
        RangeCase{"bytes=-500", 300, RangeKind::Partial, 0, 299},
        RangeCase{"bytes=-1", 1, RangeKind::Partial, 0, 0},
        // A last byte beyond the end is cut to the end, even one beyond 2^64.
        RangeCase{"bytes=10-5000", 1000, RangeKind::Partial, 10, 999},
        RangeCase{"bytes=0-99999999999999999999999", 1000, RangeKind::Partial, 0, 999},
        RangeCase{"bytes=-99999999999999999999999", 1000, RangeKind::Partial, 0, 999},
        RangeCase{"bytes=4294967296-", 8589934592, RangeKind::Partial, 4294967296, 8589934591},
        // Nothing of the file can be given.
        RangeCase{"bytes=1000-", 1000, RangeKind::Unsatisfiable},
        RangeCase{"bytes=5000-6000", 1000, RangeKind::Unsatisfiable},
        RangeCase{"bytes=99999999999999999999999-", 1000, RangeKind::Unsatisfiable},
        RangeCase{"bytes=-0", 1000, RangeKind::Unsatisfiable},
        RangeCase{"bytes=0-", 0, RangeKind::Unsatisfiable},
        RangeCase{"bytes=-500", 0, RangeKind::Unsatisfiable},
        // Not understood, several ranges, or backwards: the whole file.
        RangeCase{"", 1000, RangeKind::Whole}, RangeCase{"bytes=10-5", 1000, RangeKind::Whole},
        RangeCase{"bytes=0-1,5-6", 1000, RangeKind::Whole},
        RangeCase{"bytes=0-0,-1", 1000, RangeKind::Whole},
        RangeCase{"items=0-5", 1000, RangeKind::Whole}, RangeCase{"bytes=", 1000, RangeKind::Whole},
        RangeCase{"bytes=-", 1000, RangeKind::Whole}, RangeCase{"bytes=5", 1000, RangeKind::Whole},
        RangeCase{"bytes=a-b", 1000, RangeKind::Whole},
        RangeCase{"bytes=+5-9", 1000, RangeKind::Whole},
        RangeCase{"bytes=5--9", 1000, RangeKind::Whole},
        RangeCase{"bytes=5 - 9", 1000, RangeKind::Whole},
        RangeCase{"bytes=0x10-", 1000, RangeKind::Whole},
        RangeCase{"bytes 0-5", 1000, RangeKind::Whole}, RangeCase{"garbage", 0, RangeKind::Whole}));

struct JsonCase {
  std::string text;
  std::string literal;
};

class JsonCases : public ::testing::TestWithParam<JsonCase> {};

TEST_P(JsonCases, EscapesWhatCouldEndTheStringOrTheScript) {
  EXPECT_EQ(JsonString(GetParam().text), GetParam().literal);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonCases,
    ::testing::Values(JsonCase{"", "\"\""}, JsonCase{"plain 1.txt", "\"plain 1.txt\""},
                      JsonCase{kHomework, std::string("\"") + kHomework + "\""},
                      JsonCase{"say \"hi\" \\ bye", R"("say \"hi\" \\ bye")"},
                      JsonCase{"a\nb\rc\td", R"("a\nb\rc\td")"},
                      JsonCase{std::string("\0\x01\x1F\x7F", 4), R"("\u0000\u0001\u001F\u007F")"},
                      JsonCase{"</script><!-- & -->",
                               R"("\u003C/script\u003E\u003C!-- \u0026 --\u003E")"},
                      JsonCase{"a\xE2\x80\xA8"
                               "b\xE2\x80\xA9",
                               R"("a\u2028b\u2029")"},
                      // Bytes that are not UTF-8 cannot stand in JSON.
                      JsonCase{"a\xFF"
                               "b",
                               "\"a\xEF\xBF\xBD"
                               "b\""}));

struct DispositionCase {
  std::string name;
  std::string disposition;
};

class DispositionCases : public ::testing::TestWithParam<DispositionCase> {};

TEST_P(DispositionCases, AlwaysAnAttachmentWithTheNameIntact) {
  EXPECT_EQ(AttachmentDisposition(GetParam().name), GetParam().disposition);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DispositionCases,
    ::testing::Values(
        DispositionCase{"report.pdf",
                        "attachment; filename=\"report.pdf\"; filename*=UTF-8''report.pdf"},
        DispositionCase{std::string(kHomework) + " 1.docx",
                        "attachment; filename=\"__ 1.docx\"; filename*=UTF-8''" +
                            std::string(kHomeworkEncoded) + "%201.docx"},
        DispositionCase{"a\"b\\c.txt",
                        "attachment; filename=\"a_b_c.txt\"; filename*=UTF-8''a%22b%5Cc.txt"},
        DispositionCase{"x; filename=evil.html",
                        "attachment; filename=\"x_ filename=evil.html\"; "
                        "filename*=UTF-8''x%3B%20filename%3Devil.html"},
        DispositionCase{"100%.txt",
                        "attachment; filename=\"100_.txt\"; filename*=UTF-8''100%25.txt"},
        DispositionCase{"a\r\nSet-Cookie: x",
                        "attachment; filename=\"a__Set-Cookie: x\"; "
                        "filename*=UTF-8''a%0D%0ASet-Cookie%3A%20x"},
        DispositionCase{"bad\xFF", "attachment; filename=\"bad_\"; filename*=UTF-8''bad%EF%BF%BD"},
        DispositionCase{"", "attachment; filename=\"download\""}));

}  // namespace
}  // namespace orvo::web
