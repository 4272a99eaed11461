// TThreadSafeDic: a dictionary from keys to owned objects behind its own lock.
// Any thread may call it; every operation holds FLock for its whole duration, and Add never
// replaces an entry that exists. No reference to an entry leaves the lock: callers read and
// change entries inside With or ForEach, or take a copy with Copy.
#pragma once

#include <concepts>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace orvo::core {

template <typename K, typename V>
class TThreadSafeDic {
 public:
  explicit TThreadSafeDic(std::size_t capacity = 0) { FItems.reserve(capacity); }

  // Stores `value` under `key` unless the key is present; returns whether it was stored.
  bool Add(const K& key, std::unique_ptr<V> value) {
    std::lock_guard guard(FLock);
    return FItems.try_emplace(key, std::move(value)).second;
  }

  void Remove(const K& key) {
    std::lock_guard guard(FLock);
    FItems.erase(key);
  }

  // Removes every entry for which `pred(value)` holds, under the lock; returns how many went.
  template <typename Pred>
  std::size_t RemoveIf(Pred&& pred) {
    std::lock_guard guard(FLock);
    return std::erase_if(FItems, [&](const auto& item) { return pred(*item.second); });
  }

  bool Contains(const K& key) const {
    std::lock_guard guard(FLock);
    return FItems.contains(key);
  }

  // The value under `key` as it is now, or nullopt when absent.
  std::optional<V> Copy(const K& key) const requires std::copy_constructible<V> {
    std::lock_guard guard(FLock);
    const auto it = FItems.find(key);
    if (it == FItems.end()) return std::nullopt;
    return *it->second;
  }

  std::size_t Count() const {
    std::lock_guard guard(FLock);
    return FItems.size();
  }

  // Runs `fn` on the value under `key` while holding the lock; returns false when absent.
  // `fn` must not take another lock or do I/O, and keeps no reference to the value.
  template <typename Fn>
  bool With(const K& key, Fn&& fn) {
    std::lock_guard guard(FLock);
    const auto it = FItems.find(key);
    if (it == FItems.end()) return false;
    fn(*it->second);
    return true;
  }

  // Runs `fn(key, value)` on every entry while holding the lock; same rules as With.
  template <typename Fn>
  void ForEach(Fn&& fn) {
    std::lock_guard guard(FLock);
    for (auto& [key, value] : FItems) fn(key, *value);
  }

 private:
  mutable std::recursive_mutex FLock;
  std::unordered_map<K, std::unique_ptr<V>> FItems;  // guarded by FLock
};

}  // namespace orvo::core
