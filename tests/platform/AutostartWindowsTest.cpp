// Start at logon on Windows: the string value under the current user's Run key and the autostart
// routine over it. Every test sees HKEY_CURRENT_USER redirected to a scratch key of its own, so
// the real Run key of the user running the tests is never touched.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Autostart.h"
#include "platform/Autostart.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

constexpr const wchar_t* kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct StoredValue {
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  std::wstring text;  // up to the first NUL
};

class RunKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratchName_ = L"Software\\OrvoTest-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(::GetTickCount64());
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, scratchName_.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &scratch_, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, scratch_), ERROR_SUCCESS);
  }
  void TearDown() override {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (scratch_ != nullptr) ::RegCloseKey(scratch_);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scratchName_.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, scratchName_.c_str());
  }

  // The value `name` under the (redirected) Run key, as stored; none when it is not there.
  std::optional<StoredValue> RunValue(const std::string& name) const {
    const std::wstring wide = Wide(name);
    StoredValue value;
    if (::RegGetValueW(scratch_, kRun, wide.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                       nullptr, &value.bytes) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::wstring data(value.bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = value.bytes;
    if (::RegGetValueW(scratch_, kRun, wide.c_str(), RRF_RT_ANY | RRF_NOEXPAND, nullptr,
                       data.data(), &bytes) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    value.text = data.c_str();
    return value;
  }

  HKEY scratch_ = nullptr;
  std::wstring scratchName_;
};

TEST_F(RunKeyTest, RegisterCreatesTheKeyAndWritesTheCommandAsAStringWithItsNul) {
  ASSERT_TRUE(RegisterStartAtLogon("orvoDiskServer", {"C:\\old\\orvo-server.exe"}));
  const std::string program = "D:\\教学\\Orvo Server\\orvo-server.exe";
  ASSERT_TRUE(RegisterStartAtLogon("orvoDiskServer", {program}));
  const auto value = RunValue("orvoDiskServer");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
  const std::wstring quoted = L"\"" + Wide(program) + L"\"";
  EXPECT_EQ(value->text, quoted) << "replaced, the path with a blank quoted";
  EXPECT_EQ(value->bytes, (quoted.size() + 1) * sizeof(wchar_t));
  EXPECT_FALSE(RegisterStartAtLogon("", {program})) << "the key's default value is no one's";
  EXPECT_FALSE(RegisterStartAtLogon("orvoDiskServer", {})) << "no program, no entry";
}

TEST_F(RunKeyTest, ArgumentsAreQuotedAsTheCommandLineParserReadsThemBack) {
  const struct {
    std::vector<std::string> commandLine;
    const wchar_t* text;
  } kCases[] = {
      {{"C:\\orvo\\orvo-server.exe", "--dir", "C:\\data"},
       L"C:\\orvo\\orvo-server.exe --dir C:\\data"},
      {{"C:\\orvo\\orvo-server.exe", "--dir", "D:\\三年 2班\\"},
       L"C:\\orvo\\orvo-server.exe --dir \"D:\\三年 2班\\\\\""},
      {{"C:\\orvo-server.exe", "a\"b", ""}, L"C:\\orvo-server.exe \"a\\\"b\" \"\""},
  };
  for (const auto& c : kCases) {
    ASSERT_TRUE(RegisterStartAtLogon("orvoDiskServer", c.commandLine));
    const auto value = RunValue("orvoDiskServer");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->text, c.text);
    int count = 0;
    LPWSTR* read = ::CommandLineToArgvW(value->text.c_str(), &count);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(count, static_cast<int>(c.commandLine.size()));
    for (int i = 0; i < count; ++i) EXPECT_EQ(read[i], Wide(c.commandLine[i])) << i;
    ::LocalFree(read);
  }
}

TEST_F(RunKeyTest, UnregisterRemovesOnlyThatValueAndAMissingOneIsNoFailure) {
  ASSERT_TRUE(RegisterStartAtLogon("other program", {"C:\\other.exe"}));
  ASSERT_TRUE(RegisterStartAtLogon("orvoDiskServer", {"C:\\orvo-server.exe"}));
  EXPECT_TRUE(UnregisterStartAtLogon("orvoDiskServer"));
  EXPECT_FALSE(RunValue("orvoDiskServer").has_value());
  EXPECT_TRUE(UnregisterStartAtLogon("orvoDiskServer"));
  ASSERT_TRUE(RunValue("other program").has_value());
  EXPECT_EQ(RunValue("other program")->text, L"C:\\other.exe");
}

TEST_F(RunKeyTest, RoutineRegistersThisExecutableAndUnregistersTwice) {
  const std::string executable = ExecutablePath();
  ASSERT_GT(executable.size(), 3u);
  EXPECT_EQ(executable.substr(1, 2), ":\\") << executable;
  EXPECT_TRUE(executable.ends_with(".exe")) << executable;

  core::SetAutoStart(true, "orvoDiskServer", {"--dir", "C:\\data"});
  const auto value = RunValue("orvoDiskServer");
  ASSERT_TRUE(value.has_value());
  const bool blank = executable.find(' ') != std::string::npos;
  const std::wstring program = blank ? L"\"" + Wide(executable) + L"\"" : Wide(executable);
  EXPECT_EQ(value->text, program + L" --dir C:\\data");
  core::SetAutoStart(false, "orvoDiskServer");
  EXPECT_FALSE(RunValue("orvoDiskServer").has_value());
  EXPECT_NO_THROW(core::SetAutoStart(false, "orvoDiskServer"));
}

TEST_F(RunKeyTest, KeyThatCannotBeCreatedRaisesTheMessageWithTheValueName) {
  // HKEY_CURRENT_USER as a volatile key: no lasting key can be made below it, so the Run key
  // cannot be created.
  HKEY volatileKey = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(scratch_, L"volatile", 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegOverridePredefKey(HKEY_CURRENT_USER, volatileKey), ERROR_SUCCESS);
  ::RegCloseKey(volatileKey);
  for (const bool registering : {true, false}) {
    try {
      core::SetAutoStart(registering, "orvoDiskServer");
      ADD_FAILURE() << "no error raised, registering: " << registering;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Failed to set data for 'orvoDiskServer'");
    }
  }
  EXPECT_FALSE(RunValue("orvoDiskServer").has_value());
}

}  // namespace
}  // namespace orvo::platform
