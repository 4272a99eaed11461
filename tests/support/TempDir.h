// A fresh folder in the system's temporary folder for one test, removed with everything in it
// afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "platform/Utf8Path.h"

namespace orvo::testing {

class TempDir {
 public:
  TempDir() {
    // create_directory is false for a name that exists already, so a collision only costs a retry.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() / ("orvo-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) {
        path_ = candidate;
        return;
      }
    }
    throw std::runtime_error("cannot make a temporary folder");
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    if (std::filesystem::remove_all(path_, ignored) != static_cast<std::uintmax_t>(-1)) return;
    // Windows deletes no read-only file: a test that made one leaves it writable again first.
    // Links are not followed, so nothing outside the folder changes.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
      }
    }
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Names are UTF-8 texts on both hosts.
  std::string operator/(const std::string& relative) const {
    return platform::PathText(path_ / platform::Utf8Path(relative));
  }

  // Writes `content` to `relative`, creating the folders on the way.
  std::string Write(const std::string& relative, const std::string& content) const {
    const std::filesystem::path file = path_ / platform::Utf8Path(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return platform::PathText(file);
  }

  static std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path path_;
};

}  // namespace orvo::testing
