// Packing a folder into a stream: the same bytes PackFolder writes to a file, sent as they are
// made; unreadable files left out and counted; a sink that fails ends the packing with its own
// exception and leaves no temporary file; a folder that cannot be listed raises before any byte.
#include "pack/PackStream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "tests/pack/PackTestSupport.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvo::pack {
namespace {

using testing::HostPath;
using testing::ListingOrder;
using testing::Names;
using testing::PackFolderTest;
using testing::RandomBytes;
using testing::ReadWhole;
using testing::ReadZip;
using testing::RecordingProgress;
using testing::Text;
using testing::Utf8Path;
namespace fs = std::filesystem;

// Keeps what it is given; can be told to raise once it has taken `limit` bytes.
class StringSink : public ArchiveSink {
 public:
  void Write(const char* data, std::size_t size) override {
    if (raised) {
      ++writesAfterRaising;
      return;
    }
    if (bytes.size() + size > limit) {
      bytes.append(data, limit - bytes.size());
      raised = true;
      if (onRaise) onRaise();
      raise();
    }
    bytes.append(data, size);
  }

  std::string bytes;
  std::size_t limit = std::numeric_limits<std::size_t>::max();
  std::function<void()> raise = [] { throw std::runtime_error("browser went away"); };
  std::function<void()> onRaise;
  bool raised = false;
  int writesAfterRaising = 0;
};

// The files still open in `folder` (temporary files have no name there, but the process holds
// them); empty where the host cannot tell.
std::vector<std::string> OpenFilesIn(const fs::path& folder) {
  std::vector<std::string> open;
#ifdef __linux__
  std::error_code ignored;
  for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd", ignored)) {
    const std::string target = fs::read_symlink(fd.path(), ignored).string();
    if (target.rfind(folder.string() + "/", 0) == 0) open.push_back(target);
  }
#else
  (void)folder;
#endif
  return open;
}

class PackStreamTest : public PackFolderTest {
 protected:
  // A class folder in small: subfolders, Chinese names, an empty file and files bigger than the
  // memory share that the tests give, so that their streams spill.
  void WriteTree(const std::string& root) {
    std::mt19937 random(7);
    dir.Write(root + "/a.txt", "alpha alpha alpha\n");
    dir.Write(root + "/空.txt", "");
    dir.Write(root + "/作业/第一章.txt", Text(random, 70000));
    dir.Write(root + "/作业/图片/大文件.bin", RandomBytes(random, 300000));
    dir.Write(root + "/sub/deeper/notes.md", Text(random, 5000));
    dir.Write(root + "/sub/z.bin", RandomBytes(random, 120000));
  }

  std::string Spill() {
    fs::create_directories(dir.Path() / "spill");
    return dir / "spill";
  }

  // Stores the streamed bytes as a file, for the zip tools.
  std::string Store(const std::string& bytes, const std::string& name) {
    const std::string path = dir / name;
    std::ofstream(Utf8Path(path), std::ios::binary) << bytes;
    return path;
  }
};

TEST_F(PackStreamTest, TheStreamHoldsTheBytesPackFolderWritesToAFile) {
  WriteTree("tree");
  const std::string spill = Spill();
  struct Run {
    unsigned workers;
    std::size_t memory;
    ZipLimits limits;
  };
  // The last run lowers the Zip64 limits, so that the stream carries those records too.
  for (const Run run :
       {Run{1, 4u << 20, {}}, Run{3, 64u << 10, {}}, Run{2, 16u << 10, {50000, 4}}}) {
    SCOPED_TRACE("workers " + std::to_string(run.workers) + ", memory " +
                 std::to_string(run.memory));
    PackOptions options;
    options.workers = run.workers;
    options.memoryBytesPerFile = run.memory;
    options.limits = run.limits;
    RecordingProgress fileProgress;
    const PackResult file = PackFolder(dir / "tree", fileProgress, options);
    ASSERT_TRUE(file.complete) << file.error;

    StringSink sink;
    RecordingProgress progress;
    std::vector<std::size_t> sentBeforeFile;
    progress.onFile = [&](const std::string&) { sentBeforeFile.push_back(sink.bytes.size()); };
    const StreamResult result = PackFolderToStream(dir / "tree", sink, progress, spill, options);

    EXPECT_TRUE(sink.bytes == ReadWhole(Utf8Path(file.archivePath))) << "archives differ";
    EXPECT_EQ(result.entries, file.entries);
    EXPECT_EQ(result.skipped, 0u);
    EXPECT_EQ(result.bytes, sink.bytes.size());
    EXPECT_EQ(progress.paths, fileProgress.paths);
    // Entries go out as they are finished, not all at the end.
    ASSERT_FALSE(sentBeforeFile.empty());
    EXPECT_GT(sentBeforeFile.back(), 0u);
  }
  EXPECT_TRUE(fs::is_empty(Utf8Path(spill))) << "temporary files are gone";

  StringSink sink;
  RecordingProgress progress;
  PackFolderToStream(dir / "tree", sink, progress, spill);
  EXPECT_EQ(Names(ReadZip(sink.bytes)), ListingOrder(Utf8Path(dir / "tree")));
  CheckWithTools(Store(sink.bytes, "streamed.zip"));
}

#ifndef _WIN32
TEST_F(PackStreamTest, UnreadableFilesAreLeftOutAndCountedWhileTheArchiveStaysWhole) {
  dir.Write("A/first.txt", "first");
  dir.Write("A/sub/good.txt", "good");
  dir.Write("A/sub/deeper/last.txt", "last");
  fs::create_symlink("no-such-target", dir.Path() / "A/dangling");
  ASSERT_EQ(::mkfifo((dir / "A/sub/pipe").c_str(), 0644), 0);
  // Opens, then fails to read at offset 0.
  fs::create_symlink("/proc/self/mem", dir.Path() / "A/sub/deeper/mem");

  for (const unsigned workers : {1u, 3u}) {
    SCOPED_TRACE(workers);
    PackOptions options;
    options.workers = workers;
    StringSink sink;
    RecordingProgress progress;
    const StreamResult result = PackFolderToStream(dir / "A", sink, progress, Spill(), options);

    EXPECT_EQ(result.skipped, 3u);
    EXPECT_EQ(result.entries, 3u);
    EXPECT_EQ(result.bytes, sink.bytes.size());
    std::vector<std::string> expected;
    for (const std::string& name : ListingOrder(dir.Path() / "A")) {
      if (name != "dangling" && name != "sub/pipe" && name != "sub/deeper/mem") {
        expected.push_back(name);
      }
    }
    EXPECT_EQ(Names(ReadZip(sink.bytes)), expected);
    EXPECT_EQ(progress.paths.size(), 6u) << "every file was announced";
    CheckWithTools(Store(sink.bytes, "skipped-" + std::to_string(workers) + ".zip"));
  }
}

// Root is let through every permission, so the user the service would run as reads the tree in a
// child process; the child's findings come back as its exit status and error output.
TEST_F(PackStreamTest, AsAnUnprivilegedUserLockedFilesAreSkippedAndALockedFolderRaises) {
  dir.Write("open/a.txt", "a");
  dir.Write("open/locked.txt", "secret");
  dir.Write("open/z.txt", "z");
  fs::permissions(dir.Path() / "open/locked.txt", fs::perms::owner_read | fs::perms::owner_write);
  dir.Write("closed/c.txt", "c");
  fs::permissions(dir.Path() / "closed", fs::perms::owner_all);
  const std::string spill = dir / "open";  // nothing spills: the files are tiny

  const auto check = [&]() -> std::string {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      return "cannot become nobody";
    }
    StringSink sink;
    RecordingProgress progress;
    const StreamResult result = PackFolderToStream(dir / "open", sink, progress, spill);
    if (result.skipped != 1 || result.entries != 2) return "locked file not skipped";
    for (const testing::ReadEntry& e : ReadZip(sink.bytes).entries) {
      if (e.name == "locked.txt") return "locked file packed";
    }
    StringSink closedSink;
    try {
      PackFolderToStream(dir / "closed", closedSink, progress, spill);
      return "locked folder packed";
    } catch (const std::system_error& e) {
      if (e.code() != std::errc::permission_denied) return std::string("wrong code: ") + e.what();
    }
    return closedSink.bytes.empty() ? "" : "bytes sent before raising";
  };
  EXPECT_EXIT(
      {
        const std::string problem = check();
        std::cerr << problem;
        std::_Exit(problem.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(PackStreamTest, AFailingSinkEndsThePackingWithItsOwnExceptionAndNoTemporaryFileLeft) {
  WriteTree("tree");
  const std::string spill = Spill();
  PackOptions options;
  options.memoryBytesPerFile = 16u << 10;
  StringSink whole;
  RecordingProgress wholeProgress;
  PackFolderToStream(dir / "tree", whole, wholeProgress, spill, options);
  const std::size_t total = whole.bytes.size();
  // The big file's entry: its header, then a stream mostly in a temporary file.
  const std::size_t big = whole.bytes.find("大文件.bin");
  ASSERT_NE(big, std::string::npos);

  struct Case {
    const char* name;
    std::size_t limit;
    bool systemError;  // a std::system_error must not pass for the packer's own write failure
    bool duringSpill;
  };
  const Case cases[] = {
      {"at the first byte", 0, false, false},
      {"inside the first header", 10, true, false},
      {"inside a spilled stream", big + 100000, false, true},
      {"inside the directory", total - 30, true, false},
  };
  for (const unsigned workers : {1u, 3u}) {
    options.workers = workers;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", workers " + std::to_string(workers));
      StringSink sink;
      sink.limit = c.limit;
      if (c.systemError) {
        sink.raise = [] {
          throw std::system_error(std::make_error_code(std::errc::connection_reset), "send");
        };
      }
      std::vector<std::string> openWhenRaising;
      sink.onRaise = [&] { openWhenRaising = OpenFilesIn(Utf8Path(spill)); };
      RecordingProgress progress;
      try {
        PackFolderToStream(dir / "tree", sink, progress, spill, options);
        ADD_FAILURE() << "no exception";
      } catch (const std::system_error& e) {
        EXPECT_TRUE(c.systemError) << e.what();
        EXPECT_EQ(e.code(), std::errc::connection_reset);
      } catch (const std::runtime_error& e) {
        EXPECT_FALSE(c.systemError);
        EXPECT_STREQ(e.what(), "browser went away");
      }
      EXPECT_EQ(sink.writesAfterRaising, 0);
      EXPECT_TRUE(sink.bytes == whole.bytes.substr(0, c.limit)) << "not the archive's start";
#ifdef __linux__
      if (c.duringSpill) {
        EXPECT_FALSE(openWhenRaising.empty()) << "the check sees spilled streams";
      }
#endif
      EXPECT_EQ(OpenFilesIn(Utf8Path(spill)), std::vector<std::string>{});
      EXPECT_TRUE(fs::is_empty(Utf8Path(spill)));
    }
  }
}

TEST_F(PackStreamTest, AFailingProgressOrTemporaryFileEndsThePackingUnfinished) {
  WriteTree("tree");
  PackOptions options;
  options.workers = 2;
  options.memoryBytesPerFile = 16u << 10;

  StringSink stopped;
  RecordingProgress progress;
  progress.onFile = [](const std::string& path) {
    if (path == HostPath("sub/z.bin")) throw std::runtime_error("stopped");
  };
  EXPECT_THROW(PackFolderToStream(dir / "tree", stopped, progress, Spill(), options),
               std::runtime_error);
  EXPECT_THROW(ReadZip(stopped.bytes), std::runtime_error) << "no directory after a stop";
  EXPECT_TRUE(fs::is_empty(dir.Path() / "spill"));

  StringSink noSpill;
  RecordingProgress quiet;
  try {
    PackFolderToStream(dir / "tree", noSpill, quiet, dir / "no-such-folder", options);
    ADD_FAILURE() << "no exception";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find(dir / "no-such-folder"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ReadZip(noSpill.bytes), std::runtime_error);
}

TEST_F(PackStreamTest, AFolderThatCannotBeListedRaisesBeforeAnyByte) {
  dir.Write("file.txt", "not a folder");
  struct Case {
    const char* name;
    std::string path;
    std::errc code;
  };
  const Case cases[] = {
      {"missing", dir / "missing", std::errc::no_such_file_or_directory},
      {"a file", dir / "file.txt", std::errc::not_a_directory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StringSink sink;
    RecordingProgress progress;
    try {
      PackFolderToStream(c.path, sink, progress, Spill());
      ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
#ifndef _WIN32
      EXPECT_EQ(e.code(), c.code);
#endif
      EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
    }
    EXPECT_TRUE(sink.bytes.empty());
    EXPECT_TRUE(progress.paths.empty());
  }
}

}  // namespace
}  // namespace orvo::pack
