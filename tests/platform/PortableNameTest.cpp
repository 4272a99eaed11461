#include "platform/PortableName.h"

#include <string>

#include <gtest/gtest.h>

namespace orvo::platform {
namespace {

struct NameCase {
  std::string name;
  bool portable;
};

class PortableNameCases : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortableNameCases, OnlyNamesAWindowsClientCanUseAreCreated) {
  const NameCase& c = GetParam();
  EXPECT_EQ(IsPortableName(c.name), c.portable) << '"' << c.name << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortableNameCases,
    ::testing::Values(
        // Ordinary names, also those that merely resemble devices or carry odd but valid marks.
        NameCase{"notes.txt", true}, NameCase{"作业 第一次.docx", true}, NameCase{".hidden", true},
        NameCase{"a.b.c", true}, NameCase{"CONSOLE.txt", true}, NameCase{"xcon", true},
        NameCase{"COM0", true}, NameCase{"COM10", true}, NameCase{"LPT", true},
        NameCase{"con_1.txt", true}, NameCase{" lead blank", true}, NameCase{"[a] {b} #1", true},
        NameCase{"\xE2\x80\x8D", true},  // a zero-width joiner is no direction mark
        // Devices, with or without an extension, in any case, blanks before the dot ignored.
        NameCase{"CON", false}, NameCase{"con", false}, NameCase{"Prn.txt", false},
        NameCase{"aux.tar.gz", false}, NameCase{"NUL", false}, NameCase{"COM1", false},
        NameCase{"com9.log", false}, NameCase{"LPT5", false}, NameCase{"CON .txt", false},
        NameCase{"conin$", false}, NameCase{"CONOUT$.x", false}, NameCase{"COM\xC2\xB9", false},
        NameCase{"lpt\xC2\xB3.txt", false},
        // Characters no Windows name holds.
        NameCase{"a<b", false}, NameCase{"a>b", false}, NameCase{"a:b.txt", false},
        NameCase{"say \"hi\"", false}, NameCase{"a/b", false}, NameCase{"a\\b", false},
        NameCase{"a|b", false}, NameCase{"what?", false}, NameCase{"x*y.txt", false},
        // Control characters, DEL among them.
        NameCase{std::string("a\0b", 3), false}, NameCase{"tab\there", false},
        NameCase{"line\nbreak", false}, NameCase{"esc\x1B", false}, NameCase{"del\x7F", false},
        // What Windows would drop or read as another name.
        NameCase{"", false}, NameCase{".", false}, NameCase{"..", false}, NameCase{"trail.", false},
        NameCase{"trail ", false}, NameCase{"a. ", false},
        // Direction marks and overrides show a name other than the one stored.
        NameCase{"exe.\xE2\x80\xAEtxt", false}, NameCase{"\xE2\x80\xAA", false},
        NameCase{"a\xE2\x80\xAC", false},
        NameCase{"a\xE2\x81\xA6"
                 "b",
                 false},
        NameCase{"a\xE2\x81\xA9", false},
        NameCase{"\xE2\x80\x8E"
                 "a",
                 false},
        NameCase{"a\xE2\x80\x8F"
                 "b",
                 false}));

}  // namespace
}  // namespace orvo::platform
