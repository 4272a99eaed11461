#include <gtest/gtest.h>

#include <string>
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
  int value = 0;
  EXPECT_TRUE(dic.With("k", [&](const Record& r) { value = r.value; }));
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(dic.Contains("K")) << "keys compare case-sensitively";
  dic.Remove("k");
  EXPECT_FALSE(dic.Contains("k"));
  EXPECT_FALSE(dic.With("k", [](Record&) { ADD_FAILURE() << "an absent key runs nothing"; }));
}

// A value is reached only under the lock: no operation returns a pointer or reference that a
// caller could read after another thread has changed the value under With.
template <typename Dic>
concept HandsOutValues = requires(Dic& dic, const std::string& key) {
  dic.Get(key);
};
static_assert(!HandsOutValues<TThreadSafeDic<std::string, Record>>);

TEST(ThreadSafeDic, ReadersUnderWithSeeWholeUpdates) {
  struct Pair {
    int a = 0;
    int b = 0;
  };
  TThreadSafeDic<std::string, Pair> dic;
  dic.Add("k", std::make_unique<Pair>());
  std::thread writer([&dic] {
    for (int i = 1; i <= 20000; ++i) {
      dic.With("k", [i](Pair& p) {
        p.a = i;
        p.b = -i;
      });
    }
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    dic.With("k", [&torn](const Pair& p) { torn += p.a + p.b != 0; });
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST(ThreadSafeDic, RacingAddsOfOneKeyKeepExactlyOneRecord) {
  TThreadSafeDic<std::string, Record> dic;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&dic, t] {
      for (int i = 0; i < 500; ++i) {
        if (!dic.Contains("127.0.0.1")) dic.Add("127.0.0.1", std::make_unique<Record>(t));
        dic.Add("addr" + std::to_string(i % 50), std::make_unique<Record>(t));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(dic.Count(), 51u);
}

}  // namespace
}  // namespace orvo::core
