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

using Dic = TThreadSafeDic<std::string, Record>;

// Whatever a caller can keep of an entry past the lock: a pointer or reference to it.
template <typename D>
concept HandsOutEntries = requires(D& dic, const std::string& key) {
  dic.Get(key);
};
static_assert(!HandsOutEntries<Dic>, "entries are reached under the lock or copied, never lent");

TEST(ThreadSafeDic, AddNeverReplacesAnExistingEntry) {
  Dic dic;
  EXPECT_TRUE(dic.Add("k", std::make_unique<Record>(1)));
  EXPECT_FALSE(dic.Add("k", std::make_unique<Record>(2)));
  ASSERT_TRUE(dic.Copy("k"));
  EXPECT_EQ(dic.Copy("k")->value, 1);
  EXPECT_FALSE(dic.Contains("K")) << "keys compare case-sensitively";
  EXPECT_FALSE(dic.Copy("K"));
  dic.Remove("k");
  EXPECT_FALSE(dic.Contains("k"));
  EXPECT_FALSE(dic.With("k", [](Record&) { FAIL() << "no entry to visit"; }));
}

TEST(ThreadSafeDic, ACopyIsTakenWholeWhileOthersChangeTheEntry) {
  struct Pair {
    int first = 0;
    int second = 0;
  };
  TThreadSafeDic<std::string, Pair> dic;
  dic.Add("peer", std::make_unique<Pair>());
  std::thread writer([&dic] {
    for (int i = 1; i <= 20000; ++i) {
      dic.With("peer", [i](Pair& pair) {
        pair.first = i;
        pair.second = i;
      });
    }
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    const auto copy = dic.Copy("peer");
    if (!copy || copy->first != copy->second) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(dic.Copy("peer")->first, 20000) << "the copy is of the entry, not a snapshot kept";
}

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
  Dic dic;
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
