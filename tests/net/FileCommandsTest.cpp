#include "net/FileCommands.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/windows/WideText.h"
#else
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <map>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/Framing.h"
#include "net/ListingRecord.h"
#include "platform/ByteOrder.h"
#include "platform/Utf8Path.h"
#include "tests/platform/HostFiles.h"
#include "tests/support/MemoryStream.h"
#include "tests/support/PathEscapeCases.h"
#include "tests/support/TempDir.h"

namespace orvo::net {
namespace {

using orvo::testing::MemoryStream;
using orvo::testing::TempDir;
namespace fs = std::filesystem;
namespace host = platform::host;

using Handler = void (*)(Connection&, const std::string&, const FileRoots&);

const std::string kEmptyListing(4, '\0');

std::string Win(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string Block(const std::string& payload) {
  return EncodeCount(static_cast<uint32_t>(payload.size())) + payload;
}

// Records of a LIST reply by name; fails the test when the framing of the reply is off.
std::map<std::string, std::string> RecordsByName(const std::string& reply) {
  std::map<std::string, std::string> records;
  EXPECT_GE(reply.size(), 4u);
  if (reply.size() < 4) return records;
  EXPECT_EQ(platform::LoadLe32(reply, 0), reply.size() - 4);
  EXPECT_EQ((reply.size() - 4) % kListingRecordBytes, 0u);
  for (std::size_t at = 4; at + kListingRecordBytes <= reply.size(); at += kListingRecordBytes) {
    const std::string record = reply.substr(at, kListingRecordBytes);
    records[DecodeListingRecord(record).name] = record;
  }
  return records;
}

fs::path U8(const std::string& path) {
  return platform::Utf8Path(path);
}

std::size_t EntriesIn(const std::string& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(U8(folder)), fs::directory_iterator()));
}

std::string UntilClose(const std::string& payload) {
  return std::string("\xFF\xFF\xFF\xFF", 4) + payload;
}

// Whether this host can keep a file with a Chinese name: Wine cannot without a UTF-8 locale
// (scripts/wine-run asks for zh_CN.UTF-8).
bool HostKeepsChineseNames(const std::string& folder) {
  std::error_code error;
  const fs::path probe = U8(folder + "/中文");
  const bool made = fs::create_directory(probe, error);
  fs::remove(probe, error);
  return made;
}

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    base = dir.Path().string();
#else
    // The temporary folder itself may sit behind a link.
    base = fs::canonical(dir.Path()).string();
#endif
    fs::create_directories(Local(""));
    fs::create_directories(base + "/public");
    roots = {Win(base + "/root"), Win(base + "/public")};
  }

  std::string Run(Handler handler, const std::string& param, std::string input = {}) {
    MemoryStream stream(std::move(input));
    Connection connection(stream);
    handler(connection, param, roots);
    return stream.Output();
  }
  // PUT's input, and whether the handler read any of it.
  bool PutReads(const std::string& param, std::string input) {
    MemoryStream stream(std::move(input));
    Connection connection(stream);
    DoreqPut(connection, param, roots);
    return stream.Receives() > 0;
  }

  // A path in the root tree as a client names it, and as this host does.
  std::string In(const std::string& relative) const {
    return Win(Local(relative));
  }
  std::string Local(const std::string& relative) const {
    return base + "/root/" + relative;
  }
  std::string Write(const std::string& relative, const std::string& content) {
    const fs::path file = U8(Local(relative));
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return Local(relative);
  }

  TempDir dir;
  std::string base;
  FileRoots roots;
};

// ---- LIST

TEST_F(FileCommandsTest, ListWithNothingToShowAnswersFourZeroBytes) {
  fs::create_directory(Local("empty"));
  Write("a.txt", "");
  for (const std::string& param : {std::string(), In("empty\\*"), In("missing\\*"), In("*.doc"),
                                   In("missing.txt"), In("empty\\"), In("a.txt\\*")}) {
    EXPECT_EQ(Run(DoReqList, param), kEmptyListing) << param;
  }
}

TEST_F(FileCommandsTest, ListOfThreeEntriesCarriesTheirRecordsByteForByte) {
  if (!HostKeepsChineseNames(Local(""))) GTEST_SKIP() << "this host cannot keep Chinese names";
  const std::string file = Write("a.txt", "hello");
  ASSERT_TRUE(host::SetTimes(file, 1000000000, 1234500, 1100000000, 9876500));
  fs::create_directory(Local("sub"));
  Write("中文名.doc", "");

  const std::string reply = Run(DoReqList, In("*"));
  ASSERT_EQ(reply.size(), 4u + 3 * 592);
  EXPECT_EQ(reply.substr(0, 4), std::string("\xF0\x06\x00\x00", 4));
  auto records = RecordsByName(reply);
  ASSERT_EQ(records.size(), 3u);

  const std::string& a = records["a.txt"];
  EXPECT_EQ(platform::LoadLe32(a, 0), 0x20u) << "archive";
  const uint64_t unixTo1601 = 116444736000000000u;
  EXPECT_EQ(platform::LoadLe64(a, 12), unixTo1601 + 1000000000ull * 10000000 + 12345);
  EXPECT_EQ(platform::LoadLe64(a, 20), unixTo1601 + 1100000000ull * 10000000 + 98765);
  EXPECT_NE(platform::LoadLe64(a, 4), 0u) << "creation time";
  EXPECT_EQ(platform::LoadLe32(a, 28), 0u);
  EXPECT_EQ(platform::LoadLe32(a, 32), 5u);
  EXPECT_EQ(platform::LoadLe64(a, 36), 0u) << "both reserved fields";
  EXPECT_EQ(a.substr(44, 12), std::string("a\0.\0t\0x\0t\0\0\0", 12));
  EXPECT_EQ(a.substr(56), std::string(592 - 56, '\0')) << "name padding and empty short name";

  const std::string& sub = records["sub"];
  EXPECT_EQ(platform::LoadLe32(sub, 0), 0x10u);
  EXPECT_EQ(platform::LoadLe64(sub, 28), 0u) << "folders have no size";

  const std::string& chinese = records["中文名.doc"];
  EXPECT_EQ(chinese.substr(44, 16), std::string("\x2D\x4E\x87\x65\x0D\x54.\0d\0o\0c\0\0\0", 16));
}

TEST_F(FileCommandsTest, LargeListingGoesOutInPiecesWithTheWholeCountFirst) {
  std::set<std::string> names;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "file-" + std::to_string(i) + ".txt";
    names.insert(name);
    Write(name, "x");
  }
  MemoryStream stream;
  Connection connection(stream);
  DoReqList(connection, In("*"), roots);
  const std::string& reply = stream.Output();
  ASSERT_EQ(reply.size(), 4u + 300 * kListingRecordBytes);
  std::set<std::string> listed;
  for (const auto& [name, record] : RecordsByName(reply)) listed.insert(name);
  EXPECT_EQ(listed, names);
  EXPECT_LE(stream.LargestSend(), net::kPieceBytes + kListingRecordBytes)
      << "the reply is never built whole";
}

TEST_F(FileCommandsTest, ListWithoutWildcardsGivesTheNamedEntryItself) {
  Write("sub/inner.txt", "x");
  auto records = RecordsByName(Run(DoReqList, In("sub")));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(platform::LoadLe32(records["sub"], 0), 0x10u);
  EXPECT_EQ(RecordsByName(Run(DoReqList, In("sub\\inner.txt"))).count("inner.txt"), 1u);
  EXPECT_EQ(RecordsByName(Run(DoReqList, roots.rootPath)).count("root"), 1u) << "the root itself";
  EXPECT_EQ(RecordsByName(Run(DoReqList, In("sub\\.."))).count("root"), 1u);
#ifdef _WIN32
  EXPECT_EQ(RecordsByName(Run(DoReqList, In("SUB\\I*.TXT"))).size(), 1u) << "folders too";
#else
  EXPECT_EQ(RecordsByName(Run(DoReqList, In("SUB\\I*.TXT"))).size(), 0u) << "folders match exactly";
#endif
  EXPECT_EQ(RecordsByName(Run(DoReqList, In("sub\\I*.TXT"))).size(), 1u)
      << "names case-insensitively";
}

TEST_F(FileCommandsTest, FiveGibibyteFileListsWithBothSizeHalvesAndIsNotSent) {
  const std::string big = Write("big.bin", "");
  fs::resize_file(big, 5ULL << 30);
  auto records = RecordsByName(Run(DoReqList, In("big.bin")));
  EXPECT_EQ(platform::LoadLe32(records["big.bin"], 28), 1u);
  EXPECT_EQ(platform::LoadLe32(records["big.bin"], 32), 1u << 30);
  EXPECT_EQ(Run(DoreqGet, In("big.bin")), "");
}

// ---- GET

TEST_F(FileCommandsTest, GetSendsTheFileAsOneCountedBlock) {
  Write("empty.txt", "");
  const std::string content(100000, 'z');
  Write("large.bin", content);
  EXPECT_EQ(Run(DoreqGet, In("empty.txt")), std::string(4, '\0'));
  EXPECT_EQ(Run(DoreqGet, In("large.bin")), Block(content));
  EXPECT_EQ(Run(DoreqGet, Local("large.bin")), Block(content)) << "forward slashes work too";
}

TEST_F(FileCommandsTest, GetThatCannotOpenSendsNothing) {
  fs::create_directory(Local("folder"));
  const std::string held = Write("held.txt", "data");
  host::HeldElsewhere other(held);
  ASSERT_TRUE(other.IsHeld());
  for (const std::string& param :
       {std::string(), In("missing.txt"), In("folder"), In("held.txt")}) {
    EXPECT_EQ(Run(DoreqGet, param), "") << param;
  }
  other.Release();
  EXPECT_EQ(Run(DoreqGet, In("held.txt")), Block("data"));
}

TEST_F(FileCommandsTest, GetStoppedByTheClientLeavingRaisesAndFreesTheFile) {
  Write("f.bin", std::string(50000, 'q'));
  MemoryStream stream;
  stream.FailSendsAfter(10);
  Connection connection(stream);
  EXPECT_THROW(DoreqGet(connection, In("f.bin"), roots), ConnectionError);
  EXPECT_EQ(Run(DoreqGet, In("f.bin")).size(), 50004u);
}

// Holds the first send until released, so a transfer stays in progress while the test looks.
class GateStream final : public ByteStream {
 public:
  std::size_t Receive(char*, std::size_t) override { return 0; }
  void SendAll(const char* data, std::size_t size) override {
    if (!opened_) {
      opened_ = true;
      started_.set_value();
      release_.get_future().wait();
    }
    output_.append(data, size);
  }
  void WaitUntilSending() { started_.get_future().wait(); }
  void Release() { release_.set_value(); }
  const std::string& Output() const { return output_; }

 private:
  bool opened_ = false;
  std::promise<void> started_;
  std::promise<void> release_;
  std::string output_;
};

TEST_F(FileCommandsTest, FileBeingSentIsSharedWithOtherGetsOnly) {
  Write("box/shared.bin", "payload");
  Write("other.txt", "other");
  GateStream gate;
  std::thread first([&] {
    Connection connection(gate);
    DoreqGet(connection, In("box\\shared.bin"), roots);
  });
  gate.WaitUntilSending();

  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(Run(DoreqGet, In("box\\shared.bin")), Block("payload")) << "GET " << i;
  }
  EXPECT_FALSE(PutReads(In("box\\shared.bin"), Block("new")));
  Run(DoreqDelete, In("box\\shared.bin"));
  Run(DoReqMove, In("box\\shared.bin") + "|" + In("moved.bin"));
  Run(DoReqMove, In("other.txt") + "|" + In("box\\shared.bin"));
#ifndef _WIN32
  // Windows refuses this too, but Wine, which runs these tests, lets a folder holding an open
  // file be renamed.
  Run(DoReqMove, In("box") + "|" + In("elsewhere"));
#endif

  gate.Release();
  first.join();
  EXPECT_EQ(gate.Output(), Block("payload"));
  EXPECT_EQ(TempDir::Read(Local("box/shared.bin")), "payload");
  EXPECT_EQ(TempDir::Read(Local("other.txt")), "other");
  EXPECT_FALSE(fs::exists(Local("moved.bin")));
  EXPECT_FALSE(fs::exists(Local("elsewhere")));
  Run(DoreqDelete, In("box\\shared.bin"));
  EXPECT_FALSE(fs::exists(Local("box/shared.bin"))) << "free again once the transfer ended";
}

// An upload that stops after its first bytes until released, then sends the rest and closes.
class StalledUpload final : public ByteStream {
 public:
  StalledUpload(std::string head, std::string rest)
      : head_(std::move(head)), rest_(std::move(rest)) {}
  std::size_t Receive(char* data, std::size_t size) override {
    if (!stalled_ && head_.empty()) {
      stalled_ = true;
      reached_.set_value();
      release_.get_future().wait();
    }
    std::string& from = head_.empty() ? rest_ : head_;
    const std::size_t n = std::min(size, from.size());
    from.copy(data, n);
    from.erase(0, n);
    return n;
  }
  void SendAll(const char*, std::size_t) override {}
  void WaitUntilStalled() { reached_.get_future().wait(); }
  void Release() { release_.set_value(); }

 private:
  std::string head_;
  std::string rest_;
  bool stalled_ = false;
  std::promise<void> reached_;
  std::promise<void> release_;
};

// Runs a PUT of `head` + `rest` (a whole counted block) that stalls between the two, and calls
// `meanwhile` while it does.
template <typename Meanwhile>
void WhileUploadStalls(const std::string& param, const FileRoots& roots, std::string head,
                       std::string rest, Meanwhile meanwhile) {
  StalledUpload upload(std::move(head), std::move(rest));
  std::thread putter([&] {
    Connection connection(upload);
    try {
      DoreqPut(connection, param, roots);
    } catch (const ConnectionError&) {
      // An upload whose client leaves early.
    }
  });
  upload.WaitUntilStalled();
  meanwhile();
  upload.Release();
  putter.join();
}

TEST_F(FileCommandsTest, FileBeingUploadedIsNeitherFetchedNorReplacedMeanwhile) {
  const std::string path = Write("essay.doc", "old");
  WhileUploadStalls(In("essay.doc"), roots, EncodeCount(6) + "new", "est", [&] {
    EXPECT_EQ(Run(DoreqGet, In("essay.doc")), "");
    EXPECT_FALSE(PutReads(In("essay.doc"), Block("other")));
    Run(DoreqDelete, In("essay.doc"));
#ifdef _WIN32
    // The upload holds its target without sharing: not even this test may read it meanwhile.
    EXPECT_TRUE(std::filesystem::exists(path));
#else
    EXPECT_EQ(TempDir::Read(path), "old");
#endif
  });
  EXPECT_EQ(TempDir::Read(path), "newest");
  EXPECT_EQ(Run(DoreqGet, In("essay.doc")), Block("newest"));
}

// ---- PUT

TEST_F(FileCommandsTest, PutReplacesContent) {
  const std::string path = Write("doc.txt", "old content");
  Run(DoreqPut, In("doc.txt"), Block("new"));
  EXPECT_EQ(TempDir::Read(path), "new");

  Run(DoreqPut, In("doc.txt"), Block(""));
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u) << "a count of 0 leaves an empty file";
  Run(DoreqPut, In("fresh.txt"), Block("created"));
  EXPECT_EQ(TempDir::Read(Local("fresh.txt")), "created");
  EXPECT_EQ(EntriesIn(Local("")), 2u) << "no temporary file left";
}

TEST_F(FileCommandsTest, PutUntilCloseTakesEverythingUpToAnOrderlyClose) {
  Run(DoreqPut, In("stream.bin"), std::string("\xFF\xFF\xFF\xFF", 4) + std::string(70000, 's'));
  EXPECT_EQ(fs::file_size(Local("stream.bin")), 70000u);

  // A stopping server aborts the connection: that is not the client's close.
  const std::string kept = Write("kept.bin", "old");
  MemoryStream stream(std::string("\x80\x00\x00\x00", 4) + "partial");
  stream.AbortAfterInput();
  Connection connection(stream);
  EXPECT_THROW(DoreqPut(connection, In("kept.bin"), roots), ConnectionError);
  EXPECT_EQ(TempDir::Read(kept), "old");
}

TEST_F(FileCommandsTest, TruncatedUploadKeepsOldFile) {
  const std::string path = Write("work.doc", "the good version");
  MemoryStream stream(EncodeCount(5000) + std::string(1000, 'x'));
  Connection connection(stream);
  EXPECT_THROW(DoreqPut(connection, In("work.doc"), roots), ConnectionError);
  EXPECT_EQ(TempDir::Read(path), "the good version");
  EXPECT_EQ(EntriesIn(Local("")), 1u) << "the temporary file is gone";

  MemoryStream fresh(EncodeCount(5000) + std::string(1000, 'x'));
  Connection second(fresh);
  EXPECT_THROW(DoreqPut(second, In("new.doc"), roots), ConnectionError);
  EXPECT_FALSE(fs::exists(Local("new.doc"))) << "no half file where there was none";
  EXPECT_EQ(EntriesIn(Local("")), 1u);
}

TEST_F(FileCommandsTest, PutThatWindowsWouldRefuseReadsNothing) {
  const std::string readOnly = Write("ro.txt", "keep");
  host::MakeReadOnly(readOnly);
  host::MakeHidden(Write(".hidden", "keep"));
  Write("busy.txt", "keep");
  fs::create_directory(Local("folder"));
  host::HeldElsewhere other(Local("busy.txt"));
  ASSERT_TRUE(other.IsHeld());
  for (const std::string& param : {std::string(), In("missing\\new.txt"), In("folder"),
                                   In("ro.txt"), In(".hidden"), In("busy.txt"), roots.rootPath}) {
    EXPECT_FALSE(PutReads(param, Block("overwrite"))) << param;
  }
  other.Release();
  for (const char* name : {"ro.txt", ".hidden", "busy.txt"}) {
    EXPECT_EQ(TempDir::Read(Local(name)), "keep") << name;
  }
  EXPECT_FALSE(fs::exists(Local("missing")));
  EXPECT_TRUE(fs::is_directory(Local("folder")));
  EXPECT_EQ(EntriesIn(Local("")), 4u);
}

TEST_F(FileCommandsTest, PutThatWouldEatIntoTheFreeSpaceReserveKeepsTheOldFile) {
  const std::string path = Write("doc.txt", "old");
  {
    roots.upload = {std::numeric_limits<int64_t>::max(), 0};
    MemoryStream stream(Block("new content"));
    Connection connection(stream);
    EXPECT_NO_THROW(DoreqPut(connection, In("doc.txt"), roots));
    EXPECT_FALSE(stream.InputDrained()) << "refused before the bytes are read";
    Run(DoreqPut, In("doc.txt"), UntilClose("new content"));
    Run(DoreqPut, In("fresh.txt"), Block("new"));
    EXPECT_EQ(TempDir::Read(path), "old");
    EXPECT_EQ(EntriesIn(Local("")), 1u) << "no new file, no temporary left";
  }
  roots.upload = {0, 0};
  Run(DoreqPut, In("doc.txt"), Block("new content"));
  EXPECT_EQ(TempDir::Read(path), "new content") << "without a reserve the same upload goes in";
}

struct QuotaCase {
  const char* target;  // relative to the base folder
  std::size_t bytes;
  bool untilClose;
  bool accepted;
};

TEST_F(FileCommandsTest, QuotaCountsTheStudentsFolderWithoutTheFileBeingReplaced) {
  // The student's folder holds 60 bytes of a 100-byte quota; the public folder counts for nothing.
  roots.upload = {0, 100};
  const auto contentOf = [&](const std::string& relative) {
    const std::string path = base + "/" + relative;
    return fs::exists(path) ? TempDir::Read(path) : std::string();
  };
  for (const QuotaCase& c : {
           QuotaCase{"root/old.txt", 60, false, true},  // 60 - 20 + 60
           QuotaCase{"root/old.txt", 61, false, false},
           QuotaCase{"root/new.txt", 40, false, true},  // 60 + 40
           QuotaCase{"root/new.txt", 41, false, false},
           QuotaCase{"root/new.txt", 40, true, true},
           QuotaCase{"root/new.txt", 41, true, false},  // refused at the byte that goes over
           QuotaCase{"public/big.bin", 1000, false, true},
       }) {
    SCOPED_TRACE(std::string(c.target) + " " + std::to_string(c.bytes));
    Write("old.txt", std::string(20, 'o'));
    Write("sub/other.bin", std::string(40, 's'));
    fs::remove(Local("new.txt"));
    const std::string before = contentOf(c.target);
    const std::string payload(c.bytes, 'n');
    Run(DoreqPut, Win(base + "/" + c.target), c.untilClose ? UntilClose(payload) : Block(payload));
    EXPECT_EQ(contentOf(c.target), c.accepted ? payload : before);
    const bool created = c.accepted && before.empty();
    EXPECT_EQ(EntriesIn(Local("")) + EntriesIn(base + "/public"), created ? 3u : 2u)
        << "nothing else, no temporary left";
    fs::remove(base + "/public/big.bin");
  }
}

TEST_F(FileCommandsTest, StaleUploadTemporariesGoAtStartAndNothingElse) {
  Write(".orvo-upload-00112233445566ff", "left by a killed service");
  Write("class/li/.orvo-upload-a1b2c3d4e5f60718", "left too");
  Write("class/li/.orvo-upload-notes.txt", "a student's own");
  Write("class/li/report.doc", "work");
  dir.Write("public/.orvo-upload-0000000000000000", "left in public");
  dir.Write("elsewhere/.orvo-upload-0000000000000000", "not a service folder");

  RemoveStaleUploads({roots.rootPath, roots.publicPath});
  EXPECT_FALSE(fs::exists(Local(".orvo-upload-00112233445566ff")));
  EXPECT_FALSE(fs::exists(Local("class/li/.orvo-upload-a1b2c3d4e5f60718")));
  EXPECT_FALSE(fs::exists(base + "/public/.orvo-upload-0000000000000000"));
  EXPECT_EQ(TempDir::Read(Local("class/li/.orvo-upload-notes.txt")), "a student's own");
  EXPECT_EQ(TempDir::Read(Local("class/li/report.doc")), "work");
  EXPECT_TRUE(fs::exists(base + "/elsewhere/.orvo-upload-0000000000000000"));
  RemoveStaleUploads({"", "relative\\folder", Win(base + "/missing")});
}

// ---- Names a Windows client cannot use

TEST_F(FileCommandsTest, PutMkdirAndMoveCreateNoNameAWindowsClientCannotUse) {
  Write("mine.txt", "mine");
  for (const std::string& name :
       {std::string("CON"), std::string("nul.txt"), std::string("Com1.log"), std::string("x*y.txt"),
        std::string("what?"), std::string("a<b>"), std::string("trail."), std::string("trail "),
        std::string("ctl\x01.txt"), std::string("del\x7F"), std::string("exe.\xE2\x80\xAEtxt"),
        std::string("a|b")}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(PutReads(In(name), Block("planted")));
    Run(DoreqMKDir, In(name));
    Run(DoreqMKDir, In("ok\\" + name + "\\deeper"));
    Run(DoReqMove, In("mine.txt") + "|" + In(name));
  }
  EXPECT_EQ(TempDir::Read(Local("mine.txt")), "mine");
  EXPECT_EQ(EntriesIn(Local("")), 1u) << "nothing created, not even the portable level above";

  Run(DoreqMKDir, In("ok\\fine\\deeper"));
  EXPECT_TRUE(fs::is_directory(Local("ok/fine/deeper")));
}

// ---- MKDIR, DELETE, MOVE

TEST_F(FileCommandsTest, MkdirCreatesEveryMissingLevel) {
  Run(DoreqMKDir, In("a\\b\\c\\"));
  EXPECT_TRUE(fs::is_directory(Local("a/b/c")));
  Write("a/b/c/keep.txt", "x");
  Run(DoreqMKDir, In("a\\b\\c"));
  EXPECT_EQ(TempDir::Read(Local("a/b/c/keep.txt")), "x") << "an existing folder is left alone";

  // A name too long for the file system fails at the last level.
  Run(DoreqMKDir, In("x\\" + std::string(300, 'n')));
  EXPECT_TRUE(fs::is_directory(Local("x"))) << "levels made before the failing one stay";
  Run(DoreqMKDir, "");
}

TEST_F(FileCommandsTest, DeleteRemovesFilesAndEmptyFoldersOnly) {
  Write("full/inner.txt", "x");
  fs::create_directory(Local("empty"));
  Write("plain.txt", "x");
  const std::string readOnly = Write("ro.txt", "x");
  host::MakeReadOnly(readOnly);
  for (const char* name : {"full", "empty", "plain.txt", "ro.txt", "missing"})
    Run(DoreqDelete, In(name));
  EXPECT_TRUE(fs::exists(Local("full/inner.txt")));
  EXPECT_FALSE(fs::exists(Local("empty")));
  EXPECT_FALSE(fs::exists(Local("plain.txt")));
  EXPECT_TRUE(fs::exists(readOnly)) << "read-only files are not deleted";
}

TEST_F(FileCommandsTest, MoveReplacesTargetOnlyBySuccess) {
  Write("src.txt", "source");
  Write("dst.txt", "target");
  Run(DoReqMove, In("src.txt") + "|" + In("dst.txt"));
  EXPECT_EQ(TempDir::Read(Local("dst.txt")), "source");
  EXPECT_FALSE(fs::exists(Local("src.txt")));

  Run(DoReqMove, In("missing.txt") + "|" + In("dst.txt"));
  EXPECT_EQ(TempDir::Read(Local("dst.txt")), "source") << "a missing source keeps the target";

  Write("full/inner.txt", "x");
  Write("folder/a.txt", "a");
  Run(DoReqMove, In("folder") + "|" + In("full"));
  Run(DoReqMove, In("dst.txt"));
  Run(DoReqMove, In("dst.txt") + "|");
  EXPECT_TRUE(fs::exists(Local("folder/a.txt")));
  EXPECT_TRUE(fs::exists(Local("full/inner.txt")));
  EXPECT_EQ(TempDir::Read(Local("dst.txt")), "source");

  Run(DoReqMove, In("folder") + "|" + Win(base + "/public/moved"));
  EXPECT_EQ(TempDir::Read(base + "/public/moved/a.txt"), "a") << "between the two trees";
}

TEST_F(FileCommandsTest, NamesWithBlanksAndChineseWorkInEveryCommand) {
  if (!HostKeepsChineseNames(Local(""))) GTEST_SKIP() << "this host cannot keep Chinese names";
  const std::string folder = In("我的 文件夹\\子 目录");
  Run(DoreqMKDir, folder);
  Run(DoreqPut, folder + "\\作业 一.txt", Block("内容"));
  auto records = RecordsByName(Run(DoReqList, folder + "\\*"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.begin()->first, "作业 一.txt");
  EXPECT_EQ(Run(DoreqGet, folder + "\\作业 一.txt"), Block("内容"));
  Run(DoReqMove, folder + "\\作业 一.txt|" + folder + "\\作业 二.txt");
  EXPECT_EQ(Run(DoreqGet, folder + "\\作业 二.txt"), Block("内容"));
  Run(DoreqDelete, folder + "\\作业 二.txt");
  Run(DoreqDelete, folder);
  EXPECT_EQ(EntriesIn(Local("我的 文件夹")), 0u);
}

// ---- Confinement

class ConfinementTest : public FileCommandsTest {
 protected:
  void SetUp() override {
    FileCommandsTest::SetUp();
    orvo::testing::MakeEscapeLayout(base);
    Write("mine.txt", "mine");
  }
  void ExpectUntouched() {
    EXPECT_TRUE(orvo::testing::EscapeLayoutUntouched(base));
    EXPECT_EQ(TempDir::Read(Local("mine.txt")), "mine");
    EXPECT_EQ(EntriesIn(Local("")), 1 + orvo::testing::EscapeLayoutRootEntries());
  }
};

TEST_F(ConfinementTest, EscapingPathsAreRefusedByEveryCommand) {
  for (const auto& escape : orvo::testing::PathEscapes(base)) {
    SCOPED_TRACE(escape.secret);
    EXPECT_EQ(Run(DoReqList, escape.folder + "\\*"), kEmptyListing);
    EXPECT_EQ(Run(DoreqGet, escape.secret), "");
    EXPECT_FALSE(PutReads(escape.secret, Block("stolen")));
    EXPECT_FALSE(PutReads(escape.folder + "\\new.txt", Block("planted")));
    Run(DoreqMKDir, escape.folder + "\\made");
    Run(DoReqMove, In("mine.txt") + "|" + escape.folder + "\\mine.txt");
    if (!escape.linkInRoot) {
      EXPECT_EQ(Run(DoReqList, escape.secret), kEmptyListing);
      Run(DoreqDelete, escape.secret);
      Run(DoReqMove, escape.secret + "|" + In("stolen.txt"));
      Run(DoReqMove, In("mine.txt") + "|" + escape.secret);
    }
    ExpectUntouched();
  }
}

TEST_F(ConfinementTest, NulCharacterAndEmptyRootsAreRefused) {
  EXPECT_EQ(Run(DoreqGet, In("mine.txt") + std::string("\0", 1)), "");
  EXPECT_EQ(Run(DoReqList, In("*") + std::string("\0", 1)), kEmptyListing);
  roots = {"", ""};
  EXPECT_EQ(Run(DoReqList, In("*")), kEmptyListing);
  EXPECT_EQ(Run(DoreqGet, In("mine.txt")), "");
  Run(DoreqDelete, In("mine.txt"));
  Run(DoreqMKDir, In("made"));
  ExpectUntouched();
}

TEST_F(ConfinementTest, TheServiceFoldersThemselvesAreNeitherDeletedNorMoved) {
  Run(DoreqDelete, roots.publicPath);
  Run(DoReqMove, roots.publicPath + "|" + In("public"));
  Run(DoReqMove, In("mine.txt") + "|" + roots.publicPath);
  Run(DoReqMove, roots.rootPath + "|" + roots.rootPath + "-moved");
  EXPECT_TRUE(fs::is_directory(base + "/public"));
  ExpectUntouched();
}

#ifndef _WIN32
// ---- Linux only: modes, a file size limit for a full disk, symbolic links

TEST_F(FileCommandsTest, PutKeepsTheFileMode) {
  const std::string path = Write("doc.txt", "old content");
  ::chmod(path.c_str(), 0640);
  Run(DoreqPut, In("doc.txt"), Block("new"));
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(FileCommandsTest, PutThatRunsOutOfSpaceMidwayKeepsTheOldFile) {
  const std::string path = Write("doc.txt", "old");
  // A file size limit stands in for a full disk: the write that crosses it fails.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1 << 20;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  MemoryStream stream(Block(std::string(4 << 20, 'x')));
  Connection connection(stream);
  EXPECT_NO_THROW(DoreqPut(connection, In("doc.txt"), roots));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(TempDir::Read(path), "old");
  EXPECT_EQ(EntriesIn(Local("")), 1u);
  EXPECT_FALSE(stream.InputDrained()) << "the rest of the upload is left unread";
}

TEST_F(FileCommandsTest, UploadTakesNoSpaceAheadOfItsBytes) {
  roots.upload = {0, 0};
  constexpr uint32_t kAnnounced = 64u << 20;
  WhileUploadStalls(In("big.iso"), roots, EncodeCount(kAnnounced) + std::string(1000, 'b'), "",
                    [&] {
                      std::vector<fs::path> temporaries;
                      for (const auto& entry : fs::directory_iterator(Local("")))
                        temporaries.push_back(entry.path());
                      ASSERT_EQ(temporaries.size(), 1u) << "the upload's temporary file";
                      struct stat st {};
                      ASSERT_EQ(::stat(temporaries[0].c_str(), &st), 0);
                      EXPECT_LT(uint64_t(st.st_blocks) * 512, uint64_t{1} << 20)
                          << "space taken for " << st.st_size << " bytes that arrived";
                    });
  EXPECT_FALSE(fs::exists(Local("big.iso"))) << "broken off, so never committed";
  EXPECT_EQ(EntriesIn(Local("")), 0u);
}

TEST_F(FileCommandsTest, EntriesThatAlreadyCarryUnportableNamesStayReachable) {
  for (const std::string name : {"CON", "a:b.txt", "trail.", "x*y"}) {
    SCOPED_TRACE(name);
    Write(name, "old " + name);
    EXPECT_EQ(RecordsByName(Run(DoReqList, In("*"))).count(name), 1u);
    EXPECT_EQ(Run(DoreqGet, In(name)), Block("old " + name));
    Run(DoReqMove, In(name) + "|" + In("renamed.txt"));
    EXPECT_EQ(TempDir::Read(Local("renamed.txt")), "old " + name) << "moved away from it";
    Run(DoReqMove, In("renamed.txt") + "|" + In(name));
    EXPECT_TRUE(fs::exists(Local("renamed.txt"))) << "but not back";
    Write(name, "again");
    Run(DoreqDelete, In(name));
    EXPECT_FALSE(fs::exists(Local(name)));
    Run(DoreqDelete, In("renamed.txt"));
  }
}

TEST_F(ConfinementTest, LinkPointingOutIsItselfTheOnlyThingReachable) {
  auto records = RecordsByName(Run(DoReqList, In("out")));
  EXPECT_EQ(platform::LoadLe32(records["out"], 0), 0x410u) << "a link to a folder";
  EXPECT_EQ(platform::LoadLe32(records["out"], 36), 0xA000000Cu);
  EXPECT_EQ(Run(DoReqList, In("out\\*")), kEmptyListing);
  ExpectUntouched();
  Run(DoreqDelete, In("out"));
  EXPECT_FALSE(fs::is_symlink(Local("out")));
  EXPECT_EQ(TempDir::Read(base + "/outside/secret.txt"), "secret") << "only the link went";
}

#endif

#ifdef _WIN32
// ---- Windows only: other spellings of the same names, streams and devices

TEST_F(ConfinementTest, ShortNamesAndOtherCaseStillNameTheServiceFolders) {
  fs::create_directories(base + "/Public Folder Long");
  roots.publicPath = Win(base + "/Public Folder Long");
  wchar_t shortPath[MAX_PATH];
  const DWORD n = GetShortPathNameW(platform::Wide(roots.publicPath).c_str(), shortPath, MAX_PATH);
  const std::string shortPublic = platform::Narrow(std::wstring_view(shortPath, n));
  if (n == 0 || shortPublic == roots.publicPath) GTEST_SKIP() << "no short names here";

  dir.Write("Public Folder Long/notes.txt", "hi");
  EXPECT_EQ(Run(DoreqGet, shortPublic + "\\notes.txt"), Block("hi")) << "inside, however spelled";
  for (const std::string& spelling :
       {shortPublic, roots.publicPath + "\\", platform::Narrow(CharUpperW(shortPath))}) {
    Run(DoreqDelete, spelling);
    Run(DoReqMove, spelling + "|" + In("moved"));
    Run(DoReqMove, In("mine.txt") + "|" + spelling);
  }
  Run(DoReqMove, In("mine.txt") + "|" + Win(base + "/ROOT"));
  EXPECT_EQ(TempDir::Read(base + "/Public Folder Long/notes.txt"), "hi");
  ExpectUntouched();
}

TEST_F(ConfinementTest, StreamsAndDevicesAreRefused) {
  for (const std::string& path : {In("mine.txt:hidden"), In("mine.txt::$DATA"), In("CON"),
                                  In("nul.txt"), In("COM1"), In("mine.txt.")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Run(DoreqGet, path), "");
    EXPECT_FALSE(PutReads(path, Block("planted")));
    EXPECT_EQ(Run(DoReqList, path), kEmptyListing);
    Run(DoreqMKDir, path);
    Run(DoreqDelete, path);
    Run(DoReqMove, In("mine.txt") + "|" + path);
  }
  ExpectUntouched();
}

TEST_F(FileCommandsTest, ListingsCarryWindowsAttributesAndShortNames) {
  host::MakeHidden(Write("hidden.txt", "h"));
  Write("A rather long name.document", "x");
  auto records = RecordsByName(Run(DoReqList, In("*")));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(platform::LoadLe32(records["hidden.txt"], 0) & 0x02u, 0x02u);
  const ListingEntry entry = DecodeListingRecord(records["A rather long name.document"]);
  EXPECT_FALSE(entry.alternateName.empty());
  EXPECT_NE(entry.alternateName.find('~'), std::string::npos) << entry.alternateName;
  Run(DoreqPut, In("hidden.txt"), Block("refused"));
  EXPECT_EQ(TempDir::Read(Local("hidden.txt")), "h");
  Run(DoreqPut, In("new.txt"), Block("n"));
  auto after = RecordsByName(Run(DoReqList, In("new.txt")));
  EXPECT_EQ(platform::LoadLe32(after["new.txt"], 0) & 0x02u, 0u) << "an upload is not left hidden";
}
#endif

}  // namespace
}  // namespace orvo::net
