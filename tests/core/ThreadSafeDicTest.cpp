#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/ThreadSafeDic.h"

namespace orvo::core {
namespace {

struct Record {
  explicit Record(int v) : value(v) {}
  int value;
};

TEST(ThreadSafeDic, AddNeverReplacesAnExistingEntry) {
  TThreadSafeDic<std::string, Record> dic;
  EXPECT_TRUE(dic.Add("k", std::make_unique<Record>(1)));
  EXPECT_FALSE(dic.Add("k", std::make_unique<Record>(2)));
  ASSERT_NE(dic.Get("k"), nullptr);
  EXPECT_EQ(dic.Get("k")->value, 1);
  EXPECT_EQ(dic.Get("K"), nullptr) << "keys compare case-sensitively";
  dic.Remove("k");
  EXPECT_EQ(dic.Get("k"), nullptr);
}

TEST(ThreadSafeDic, RacingAddsOfOneKeyKeepExactlyOneRecord) {
  TThreadSafeDic<std::string, Record> dic;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&dic, t] {
      for (int i = 0; i < 500; ++i) {
        if (!dic.Get("127.0.0.1")) dic.Add("127.0.0.1", std::make_unique<Record>(t));
        dic.Add("addr" + std::to_string(i % 50), std::make_unique<Record>(t));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(dic.Count(), 51u);
}

}  // namespace
}  // namespace orvo::core
