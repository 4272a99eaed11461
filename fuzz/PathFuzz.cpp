// Client paths against the confinement: whatever the bytes, a confined path lies inside one of the
// two roots of a small tree made once (with a link inside that leads out).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "net/PathGuard.h"
#include "platform/FindPattern.h"

namespace {

struct Tree {
  Tree() {
    char pattern[] = "/tmp/orvo-fuzz-XXXXXX";
    base = mkdtemp(pattern);
    std::filesystem::create_directories(base + "/root/class/student");
    std::filesystem::create_directories(base + "/public");
    std::filesystem::create_directories(base + "/outside");
    std::filesystem::create_symlink(base + "/outside", base + "/root/class/out");
  }
  ~Tree() {
    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
  }
  std::string base;
};

bool Inside(const std::string& path, const std::string& root) {
  return path == root || path.rfind(root + "/", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Tree tree;
  const std::string suffix(reinterpret_cast<const char*>(data), size);
  const orvo::net::PathGuard guard({tree.base + "/root", tree.base + "\\public"});
  for (const std::string& path :
       {suffix, tree.base + "/root/" + suffix, tree.base + "\\root\\class\\" + suffix}) {
    for (const auto last : {orvo::platform::LastLink::Follow, orvo::platform::LastLink::Keep}) {
      const auto confined = guard.Confine(path, last);
      if (confined && !Inside(*confined, tree.base + "/root") &&
          !Inside(*confined, tree.base + "/public")) {
        __builtin_trap();
      }
    }
  }
  const size_t half = size / 2;
  (void)orvo::platform::MatchesFindPattern(suffix.substr(0, half), suffix.substr(half));
  return 0;
}
