// Independent zip readers on this machine, for tests: Python's zipfile (which honours the UTF-8
// name flag) and Info-ZIP's unzip. Each check says whether it ran; a missing tool is reported,
// and the test then relies on the built-in reader alone.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace orvo::pack::testing {

inline std::optional<std::filesystem::path> FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

struct ToolVerdict {
  bool ran = false;
  bool ok = false;
  std::string detail;  // the tool's output, or why it did not run
};

// `unzip -t`: every entry inflates with the right CRC.
inline ToolVerdict UnzipTest(const std::string& archive) {
  const auto unzip = FindProgram("unzip");
  if (!unzip) return {false, false, "unzip is not installed (scripts/setup installs it)"};
  orvo::testing::Process process(*unzip, {"-t", "-qq", archive});
  const orvo::testing::Outcome outcome = process.Wait();
  // unzip warns (status 1) about an archive without entries, which is what an empty folder gives.
  const bool empty =
      outcome.status == 1 && outcome.out.find("zipfile is empty") != std::string::npos;
  return {true, outcome.status == 0 || empty, outcome.out + outcome.err};
}

// Python's zipfile: tests every entry, prints the names one per line (as UTF-8) and extracts
// everything into `into`.
inline ToolVerdict PythonExtract(const std::string& archive, const std::string& into,
                                 std::vector<std::string>* names) {
  const auto python = FindProgram("python3");
  if (!python) return {false, false, "python3 is not installed"};
  const std::string script =
      "import sys, zipfile\n"
      "with zipfile.ZipFile(sys.argv[1]) as z:\n"
      "    bad = z.testzip()\n"
      "    if bad is not None:\n"
      "        sys.exit('bad entry: ' + bad)\n"
      "    for info in z.infolist():\n"
      "        sys.stdout.buffer.write(info.filename.encode('utf-8') + b'\\n')\n"
      "    z.extractall(sys.argv[2])\n";
  orvo::testing::Process process(*python, {"-c", script, archive, into});
  const orvo::testing::Outcome outcome = process.Wait();
  if (names) {
    names->clear();
    std::istringstream lines(outcome.out);
    std::string line;
    while (std::getline(lines, line)) names->push_back(line);
  }
  return {true, outcome.status == 0, outcome.err};
}

// One entry as Python's zipfile reads it: the bytes are read (and their CRC checked by zipfile),
// then hashed by hashlib.
struct PythonEntry {
  std::string name;
  uint64_t size = 0;
  uint32_t crc = 0;
  std::string sha256;  // hex
  double age = 0;      // seconds from the entry's time to now, as the local clock says
};

inline ToolVerdict PythonEntries(const std::string& archive, std::vector<PythonEntry>& entries) {
  const auto python = FindProgram("python3");
  if (!python) return {false, false, "python3 is not installed"};
  const std::string script =
      "import sys, zipfile, hashlib, time\n"
      "with zipfile.ZipFile(sys.argv[1]) as z:\n"
      "    for i in z.infolist():\n"
      "        data = z.read(i)\n"
      "        age = time.time() - time.mktime(i.date_time + (0, 0, -1))\n"
      "        line = '%s\\t%d\\t%d\\t%s\\t%f\\n' % (i.filename, len(data), i.CRC,\n"
      "                                      hashlib.sha256(data).hexdigest(), age)\n"
      "        sys.stdout.buffer.write(line.encode('utf-8'))\n";
  orvo::testing::Process process(*python, {"-c", script, archive});
  const orvo::testing::Outcome outcome = process.Wait();
  entries.clear();
  std::istringstream lines(outcome.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    PythonEntry entry;
    std::string size, crc, age;
    std::getline(fields, entry.name, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, crc, '\t');
    std::getline(fields, entry.sha256, '\t');
    std::getline(fields, age, '\t');
    entry.size = std::stoull(size);
    entry.crc = static_cast<uint32_t>(std::stoul(crc));
    entry.age = std::stod(age);
    entries.push_back(std::move(entry));
  }
  return {true, outcome.status == 0, outcome.err};
}

}  // namespace orvo::pack::testing
