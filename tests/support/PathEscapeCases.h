// The paths a client may send to reach beyond the served root, in one table that every test of
// the confinement rule runs: the path guard, the file command handlers and a hostile client over
// a socket. Each host gets the cases it can be attacked with (links on POSIX hosts, other
// spellings of a name on Windows), all against one layout of folders that MakeEscapeLayout makes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orvo::testing {

// One way out of the root: a path naming a secret file outside it, and a path naming the folder
// that holds such a file, both spelled as a client might send them.
struct PathEscape {
  std::string secret;
  std::string folder;
  // `secret` names a link that lies inside the root: taken as itself (LIST of the name, DELETE,
  // MOVE) it is the root's own entry, and only following it leads out.
  bool linkInRoot = false;
};

// The root is `base`/root. Beside it: outside/secret.txt and root2/secret.txt (a sibling whose
// name starts with the root's), each holding "secret". On POSIX hosts the root also holds links
// that lead out: out (to outside), rel (relative, ../outside), chain (to out) and file (to
// outside/secret.txt). Nothing else is made, so a test may make this beside its own files.
inline void MakeEscapeLayout(const std::string& base) {
  namespace fs = std::filesystem;
  const fs::path at(base);
  fs::create_directories(at / "root");
  for (const char* folder : {"outside", "root2"}) {
    fs::create_directories(at / folder);
    std::ofstream(at / folder / "secret.txt", std::ios::binary) << "secret";
  }
#ifndef _WIN32
  fs::create_symlink(at / "outside", at / "root/out");
  fs::create_symlink("../outside", at / "root/rel");
  fs::create_symlink(at / "root/out", at / "root/chain");
  fs::create_symlink(at / "outside/secret.txt", at / "root/file");
#endif
}

// The entries MakeEscapeLayout puts into the root.
inline std::size_t EscapeLayoutRootEntries() {
#ifdef _WIN32
  return 0;
#else
  return 4;
#endif
}

// Whether the files outside the root are as MakeEscapeLayout left them and nothing joined them.
inline bool EscapeLayoutUntouched(const std::string& base) {
  namespace fs = std::filesystem;
  for (const char* folder : {"outside", "root2"}) {
    const fs::path dir = fs::path(base) / folder;
    std::ifstream in(dir / "secret.txt", std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto entries = std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    if (content != "secret" || entries != 1) return false;
  }
  return true;
}

// The cases for the layout below `base` (an absolute path as this host spells it). Paths below
// the root are written as a Windows client writes them: the root as given, then backslashes.
inline std::vector<PathEscape> PathEscapes(const std::string& base) {
  const auto backslashed = [](std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  };
  const auto slashed = [](std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
  };
  const std::string root = (std::filesystem::path(base) / "root").string();
  const std::string outside = backslashed((std::filesystem::path(base) / "outside").string());
  const auto in = [&](const std::string& relative) { return root + "\\" + relative; };
  // Far more ".." than the temporary folder is deep, then the outside folder from the top of the
  // drive: a climb to the file system's root and down again.
  std::string climb = root;
  for (int i = 0; i < 32; ++i) climb += "\\..";
  const std::string fromTop = outside.substr(outside.find('\\'));

  std::vector<PathEscape> cases = {
      {in("..\\outside\\secret.txt"), in("..\\outside")},
      {slashed(root) + "/../outside/secret.txt", slashed(root) + "/.."},
      {in("sub\\..\\..\\outside\\secret.txt"), in("a/..\\../outside")},
      {root + "/..\\outside/secret.txt", root + "\\a/..\\..\\outside"},
      {climb + fromTop + "\\secret.txt", climb + fromTop},
      {outside + "\\secret.txt", outside},
      {slashed(outside) + "/secret.txt", slashed(outside)},
      {root + "2\\secret.txt", root + "2"},
      {in("..\\root2\\secret.txt"), in("sub\\..\\..\\root2")},
      {"..\\outside\\secret.txt", "..\\outside"},
      {"outside\\secret.txt", "outside"},
  };
#ifdef _WIN32
  std::string upperRoot = root;
  std::transform(upperRoot.begin(), upperRoot.end(), upperRoot.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  cases.insert(cases.end(), {
                                {in("...\\secret.txt"), in("...")},
                                {in("..\\OUTSIDE\\Secret.TXT"), in("..\\OUTSIDE")},
                                {upperRoot + "2\\SECRET.TXT", upperRoot + "2"},
                            });
#else
  cases.insert(cases.end(), {
                                {in("out\\secret.txt"), in("out")},
                                {in("rel\\secret.txt"), in("rel")},
                                {in("chain\\secret.txt"), in("chain")},
                                {in("out\\..\\out\\secret.txt"), in("out\\..\\out")},
                                {in("file"), in("out"), true},
                            });
#endif
  return cases;
}

}  // namespace orvo::testing
