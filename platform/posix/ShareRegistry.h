// The process's table of files and folders that file commands hold, so that a PUT, DELETE or MOVE
// of something in use, or anything of what they hold, fails as a sharing violation would on
// Windows. Claims for reading (GET) share with each other.
// Thread-safe: every connection thread claims and releases through the one Process() table.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace orvo::platform {

// A file's identity, shared by all its names (hard links).
struct FileKey {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileKey&) const = default;
};

struct ClaimTarget {
  std::optional<FileKey> key;  // absent while nothing exists at the path
  std::string path;            // resolved, absolute
  bool wholeTree = false;      // a folder claimed with everything in it
  bool forReading = false;     // shares with other claims for reading
};

class ShareRegistry {
 public:
  // Released by its destructor; an empty (moved-from) claim releases nothing.
  class Claim {
   public:
    Claim() = default;
    Claim(Claim&& other) noexcept;
    Claim& operator=(Claim&& other) noexcept;
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    ~Claim() { Release(); }
    void Release();

   private:
    friend class ShareRegistry;
    Claim(ShareRegistry* registry, uint64_t id) : registry_(registry), id_(id) {}
    ShareRegistry* registry_ = nullptr;
    uint64_t id_ = 0;
  };

  static ShareRegistry& Process();

  // nullopt when the target meets a held claim: the same file, the same path, or a path inside a
  // claimed tree (or a tree around a claimed path), unless both are claims for reading.
  std::optional<Claim> TryClaim(ClaimTarget target);

 private:
  void Drop(uint64_t id);

  std::mutex lock_;
  std::map<uint64_t, ClaimTarget> held_;
  uint64_t nextId_ = 1;
};

}  // namespace orvo::platform
