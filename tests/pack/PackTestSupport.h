// What the packing tests of both hosts share: a progress that records, zlib's own deflate for
// comparison, test contents, whole-file reads, host paths and the fixture that checks archives with
// the built-in reader and, on Linux, with the zip tools of the machine.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "pack/PackFolder.h"
#include "platform/Utf8Path.h"
#include "tests/pack/TimeZone.h"
#include "tests/pack/ZipReader.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <dirent.h>

#include "tests/pack/ZipTools.h"
#endif

namespace orvo::pack::testing {

namespace fs = std::filesystem;

class RecordingProgress : public PackProgress {
 public:
  void FilePacking(const std::string& relativePath) override {
    paths.push_back(relativePath);
    if (onFile) onFile(relativePath);
  }
  std::vector<std::string> paths;
  std::function<void(const std::string&)> onFile;
};

// What zlib itself makes of `content` with the packer's settings: raw deflate, default level.
inline std::string ReferenceDeflate(const std::string& content) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, static_cast<uLong>(content.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

inline std::string RandomBytes(std::mt19937& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

inline std::string Text(std::mt19937& random, std::size_t size) {
  static const char* const kWords[] = {"学生",  "homework", "report", "第一章", "the", "server",
                                       "class", "作业",     "answer", "42",     "\n",  "timetable"};
  std::string text;
  while (text.size() < size) {
    text += kWords[random() % std::size(kWords)];
    text += ' ';
  }
  text.resize(size);
  return text;
}

// The whole file in one read: TempDir::Read goes character by character, which takes seconds for
// archives of many megabytes in a debug build.
inline std::string ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(fs::file_size(file), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!in) throw std::runtime_error("cannot read " + file.string());
  return bytes;
}

inline std::vector<std::string> Names(const ReadArchive& archive) {
  std::vector<std::string> names;
  for (const ReadEntry& e : archive.entries) names.push_back(e.name);
  return names;
}

// Paths from and to UTF-8 texts, which is what the packer takes and gives.
using platform::PathText;
using platform::Utf8Path;

// Writes `content` to `file`, creating the folders on the way; for names beyond ASCII.
inline void WriteFile(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

// A relative path written with '/' as the host writes it: the packer reports progress and builds
// file paths with the host's own separator.
inline std::string HostPath(std::string path) {
#ifdef _WIN32
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

inline std::vector<std::string> HostPaths(std::vector<std::string> paths) {
  for (std::string& path : paths) path = HostPath(std::move(path));
  return paths;
}

// The files of `folder` in the order the file system lists them, plain files first, then each
// subfolder the same way: what the archive's order must be ('/' between levels, as in the
// archive).
inline std::vector<std::string> ListingOrder(const fs::path& folder,
                                             const std::string& prefix = "") {
  std::vector<std::string> files;
  std::vector<std::string> folders;
#ifdef _WIN32
  // The library's iterator lists in the order of the system's find, which the packer also uses.
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = platform::PathText(entry.path().filename());
    (entry.is_directory() ? folders : files).push_back(name);
  }
#else
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) throw std::runtime_error("opendir");
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    (fs::is_directory(folder / name) ? folders : files).push_back(name);
  }
  ::closedir(dir);
#endif
  std::vector<std::string> order;
  for (const std::string& name : files) order.push_back(prefix + name);
  for (const std::string& name : folders) {
    for (std::string& path : ListingOrder(folder / platform::Utf8Path(name), prefix + name + "/"))
      order.push_back(std::move(path));
  }
  return order;
}

class PackFolderTest : public ::testing::Test {
 protected:
  ReadArchive ReadArchiveAt(const std::string& path) { return ReadZip(ReadWhole(Utf8Path(path))); }

  // Runs the independent readers present on the machine over `archive` and compares what they
  // see with what the built-in reader found. Under Windows the built-in reader is all there is.
  void CheckWithTools(const std::string& archive) {
    const ReadArchive expected = ReadArchiveAt(archive);
#ifndef _WIN32
    const ToolVerdict unzip = UnzipTest(archive);
    if (unzip.ran) {
      EXPECT_TRUE(unzip.ok) << "unzip -t: " << unzip.detail;
    } else {
      std::cerr << "note: " << unzip.detail << "; unzip check skipped\n";
    }
    const std::string into = dir / ("extracted-" + std::to_string(++extractions_));
    std::vector<std::string> names;
    const ToolVerdict python = PythonExtract(archive, into, &names);
    if (!python.ran) {
      std::cerr << "note: " << python.detail << "; checked with the built-in reader only\n";
      return;
    }
    ASSERT_TRUE(python.ok) << "python3 zipfile: " << python.detail;
    EXPECT_EQ(names, Names(expected));
    for (const ReadEntry& e : expected.entries) {
      EXPECT_TRUE(ReadWhole(fs::path(into) / e.name) == e.content) << e.name;
    }
#endif
  }

  // The names in `folder` (not below it), sorted.
  static std::vector<std::string> NamesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  orvo::testing::TempDir dir;

 private:
  int extractions_ = 0;
};

}  // namespace orvo::pack::testing
