#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/SysStringS.h"

namespace orvo::core {
namespace {

TEST(SysStringS, KeepsTheMostRecentThousandLinesInArrivalOrder) {
  TSysStringS log;
  for (int i = 0; i < 1000; ++i) log.Add("line " + std::to_string(i));
  EXPECT_EQ(log.Count(), 1000u);
  log.Add("line 1000");
  EXPECT_EQ(log.Count(), TSysStringS::kMaxLines);
  EXPECT_EQ(log.Strings(0), "line 1");
  EXPECT_EQ(log.Strings(999), "line 1000");
}

TEST(SysStringS, EmptyLineIsStoredAsBareLineEnd) {
  TSysStringS log;
  log.Add("a");
  log.Add("");
  EXPECT_EQ(log.Text(), "a\r\n\r\n");
}

TEST(SysStringS, ClearLeavesNoTextAndNoBytes) {
  TSysStringS log;
  log.Add("GETSYSLOG");
  log.Clear();
  EXPECT_EQ(log.Text(), "");
  std::string stream;
  log.Savetostream(stream);
  EXPECT_EQ(stream, "");
}

TEST(SysStringS, SavetostreamWritesGbkTextListAtTheEndOfTheStream) {
  TSysStringS log;
  log.Add("LOGIN 一班 张三 ******");
  std::string stream = "xy";
  log.Savetostream(stream);
  EXPECT_EQ(stream, "xyLOGIN \xD2\xBB\xB0\xE0 \xD5\xC5\xC8\xFD ******\r\n");
}

TEST(SysStringS, IndexOutsideTheListFailsAndReleasesTheLock) {
  TSysStringS log;
  EXPECT_THROW(log.Strings(0), std::out_of_range);
  EXPECT_THROW(log.Delete(3), std::out_of_range);
  log.Add("still usable");
  log.Delete(0);
  EXPECT_EQ(log.Count(), 0u);
}

TEST(SysStringS, ConcurrentWritersAndReadersSeeWholeLists) {
  TSysStringS log;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&log] {
      for (int i = 0; i < 2000; ++i) log.Add("x");
    });
  }
  threads.emplace_back([&log] {
    for (int i = 0; i < 200; ++i) {
      const std::string text = log.Text();
      EXPECT_EQ(text.size() % 3, 0u);
      EXPECT_LE(text.size(), 3 * TSysStringS::kMaxLines);
    }
  });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(log.Count(), TSysStringS::kMaxLines);
}

TEST(SysStringS, ControlCharactersAreStoredEscapedSoALineStaysOneLine) {
  const struct {
    const char* received;
    const char* stored;
  } cases[] = {
      {"GET a\nLOGIN forged", "GET a\\nLOGIN forged"},
      {"a\r\nb\tc", "a\\r\\nb\\tc"},
      {"bell\x07"
       "del\x7F",
       "bell\\x07del\\x7F"},
      {"next\xC2\x85line", "next\\u0085line"},
      {"sep\xE2\x80\xA8para\xE2\x80\xA9", "sep\\u2028para\\u2029"},
      {"bidi\xE2\x80\xAEtxt.exe\xE2\x81\xA6", "bidi\\u202Etxt.exe\\u2066"},
      {"一班 张三 作业\\a.txt", "一班 张三 作业\\a.txt"},
      {"é ü €", "é ü €"},
  };
  TSysStringS log;
  for (const auto& c : cases) {
    log.Add(c.received);
    EXPECT_EQ(log.Strings(log.Count() - 1), c.stored) << c.received;
  }
}

}  // namespace
}  // namespace orvo::core
