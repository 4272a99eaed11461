// What the file benchmarks share: generated file contents of the everyday classroom mix (text that
// deflates to about a third, photos that do not deflate, now and then a big file), timing figures,
// the `zip -r -6` reference run and the machine's CPU ticks, to tell how much of a run other
// processes took. Linux only, as the benchmarks are.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvo::bench {

using Clock = std::chrono::steady_clock;

class Xorshift {
 public:
  explicit Xorshift(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  uint64_t Below(uint64_t bound) { return Next() % bound; }

 private:
  uint64_t state_;
};

// Bytes that deflate cannot shrink, as in photos, PDFs and office files.
inline std::string Incompressible(Xorshift& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; i += 8) {
    const uint64_t word = random.Next();
    std::memcpy(bytes.data() + i, &word, std::min<std::size_t>(8, size - i));
  }
  return bytes;
}

// Prose and code made of a vocabulary of a few thousand words: deflate shrinks it to about a
// third, as it does real homework.
inline std::string Text(Xorshift& random, std::size_t size) {
  static const std::vector<std::string> vocabulary = [] {
    std::vector<std::string> words;
    Xorshift letters(99);
    for (int i = 0; i < 3000; ++i) {
      std::string word;
      const int length = 2 + static_cast<int>(letters.Below(9));
      for (int j = 0; j < length; ++j) word.push_back(static_cast<char>('a' + letters.Below(26)));
      words.push_back(word);
    }
    for (const char* common : {"的", "学生", "作业", "int", "return", "{", "}", ";", "\n", "\n\n"})
      words.emplace_back(common);
    return words;
  }();
  std::string text;
  text.reserve(size + 16);
  while (text.size() < size) {
    // Skewed choice: a few words are frequent, as in real text.
    const uint64_t pick = random.Below(vocabulary.size()) * random.Below(1000) / 1000;
    text += vocabulary[pick];
    text += random.Below(12) == 0 ? '\n' : ' ';
  }
  text.resize(size);
  return text;
}

struct MixedFile {
  std::string content;
  bool compressed = false;  // random bytes (a photo) rather than text
};

// One file of a student's folder: 92 % small (notes, source files), 7.7 % medium (reports,
// pictures), 0.3 % big (videos, archives); half of them already compressed.
inline MixedFile NextMixedFile(Xorshift& random) {
  const uint64_t kind = random.Below(1000);
  std::size_t size;
  if (kind < 920) {
    size = 2000 + random.Below(60000);
  } else if (kind < 997) {
    size = 200000 + random.Below(1300000);
  } else {
    size = 5000000 + random.Below(10000000);
  }
  MixedFile file;
  file.compressed = random.Below(2) == 0;
  file.content = file.compressed ? Incompressible(random, size) : Text(random, size);
  return file;
}

inline double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline double Best(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

// Runs `zip -r -6 -q` from `parent` over `tree` into `archive`; false when zip is missing or fails.
inline bool RunZip(const std::filesystem::path& parent, const std::string& tree,
                   const std::filesystem::path& archive) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (::chdir(parent.c_str()) != 0) ::_exit(127);
    ::execlp("zip", "zip", "-r", "-6", "-q", archive.c_str(), tree.c_str(), nullptr);
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// CPU ticks of the whole machine that were not idle, and those of this process with the children
// it waited for (zip, find): the difference over a run is what other processes took.
struct CpuTicks {
  uint64_t machineBusy = 0;
  uint64_t machineTotal = 0;
  uint64_t ours = 0;
};

inline CpuTicks ReadCpuTicks() {
  CpuTicks ticks;
  {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    stat >> cpu;  // the "cpu" line sums every core
    uint64_t value = 0;
    for (int field = 0; field < 8 && stat >> value; ++field) {
      ticks.machineTotal += value;
      if (field != 3 && field != 4) ticks.machineBusy += value;  // idle and iowait
    }
  }
  std::ifstream self("/proc/self/stat");
  std::string line;
  std::getline(self, line);
  // Fields after the command's closing parenthesis; utime, stime, cutime, cstime are 14 to 17.
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int number = 3; rest >> field && number <= 17; ++number) {
    if (number >= 14) ticks.ours += std::stoull(field);
  }
  return ticks;
}

// A folder of its own under the system's temporary folder for one run, removed with everything in
// it at the end. Raises std::runtime_error when it cannot be made.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make " + pattern);
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace orvo::bench
