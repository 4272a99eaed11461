// The file commands end to end: a real server on a loopback port, real sockets, real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "core/ServiceState.h"
#include "net/OrvoServer.h"
#include "platform/Utf8Path.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestLogin.h"

namespace orvo::net {
namespace {

using orvo::testing::RawClient;
using orvo::testing::TempDir;

std::string BigEndian(uint32_t n) {
  return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
          static_cast<char>(n)};
}

uint32_t LittleEndianAt(const std::string& bytes, size_t offset) {
  uint32_t n = 0;
  for (int i = 3; i >= 0; --i)
    n = (n << 8) | static_cast<unsigned char>(bytes[offset + static_cast<size_t>(i)]);
  return n;
}

class FileCommandsOverSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    state.settings.RootPath.Set((dir.Path() / "root").string());
    state.settings.PublicPath.Set((dir.Path() / "public").string());
    std::filesystem::create_directories(dir.Path() / "root");
    std::filesystem::create_directories(dir.Path() / "public");
    server.SetAccountCommands(&accounts);
    orvo::testing::LogInAs(server, state.settings, dir.Path() / "root");
    server.SetDefaultPort(0);
    server.SetActive(true);
  }

  std::string Request(const std::string& line, const std::string& extra = {}) {
    return RawClient::Request(server.BoundPort(), line + "\r\n" + extra);
  }
  // A client path as a Windows client writes it: backslashes after the root.
  std::string Remote(const std::string& relative) {
    std::string path = (dir.Path() / "root").string() + "\\";
    for (char c : relative) path += c == '/' ? '\\' : c;
    return path;
  }

  // A file of the root tree by its UTF-8 name.
  std::filesystem::path Local(const std::string& relative) const {
    return dir.Path() / platform::Utf8Path("root/" + relative);
  }
  void WriteLocal(const std::string& relative, const std::string& content) const {
    std::filesystem::create_directories(Local(relative).parent_path());
    std::ofstream(Local(relative), std::ios::binary) << content;
  }
  // Wine keeps no Chinese names without a UTF-8 locale (scripts/wine-run asks for zh_CN.UTF-8).
  bool HostKeepsChineseNames() const {
    std::error_code error;
    const bool made = std::filesystem::create_directory(Local("中文"), error);
    std::filesystem::remove(Local("中文"), error);
    return made;
  }

  TempDir dir;
  core::ServiceState state;
  orvo::testing::KeepLoginsLive accounts;
  TOrvoServer server{state};
};

TEST_F(FileCommandsOverSocket, ListSendsOneRecordPerEntryWithoutDotEntries) {
  if (!HostKeepsChineseNames()) GTEST_SKIP() << "this host cannot keep Chinese names";
  WriteLocal("一班/张三/作业 1.txt", "12345");
  WriteLocal("一班/张三/b.bin", "");
  std::filesystem::create_directories(Local("一班/张三/sub"));
  const std::string reply = Request("LIST " + Remote("一班\\张三\\*"));
  ASSERT_EQ(reply.size(), 4u + 3 * 592);
  EXPECT_EQ(reply.substr(0, 4), std::string("\xF0\x06\x00\x00", 4));
  bool sawFile = false;
  for (size_t offset = 4; offset < reply.size(); offset += 592) {
    const std::u16string name(reinterpret_cast<const char16_t*>(reply.data() + offset + 44), 4);
    if (name == u"作业 1") {
      sawFile = true;
      EXPECT_EQ(LittleEndianAt(reply, offset) & 0x10u, 0u);
      EXPECT_EQ(LittleEndianAt(reply, offset + 32), 5u);
    }
    EXPECT_NE(name.substr(0, 1), u".");
  }
  EXPECT_TRUE(sawFile);
}

TEST_F(FileCommandsOverSocket, PutThenGetRoundTripsALargeFileInOneWrite) {
  std::string content(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 + 7);
  EXPECT_EQ(Request("PUT " + Remote("big file.bin"),
                    BigEndian(static_cast<uint32_t>(content.size())) + content),
            "");
  EXPECT_EQ(TempDir::Read(dir.Path() / "root/big file.bin"), content);
  EXPECT_EQ(Request("GET " + Remote("big file.bin")),
            BigEndian(static_cast<uint32_t>(content.size())) + content);
}

TEST_F(FileCommandsOverSocket, UntilCloseUploadEndsWithTheClientsClose) {
  RawClient client(server.BoundPort());
  client.Send("PUT " + Remote("stream.txt") + "\r\n\xFF\xFF\xFF\xFF" + "streamed bytes");
  client.ShutdownSend();
  EXPECT_EQ(client.ReadToClose(), "");
  EXPECT_EQ(TempDir::Read(dir.Path() / "root/stream.txt"), "streamed bytes");
}

TEST_F(FileCommandsOverSocket, CutOffUploadKeepsTheOldFile) {
  dir.Write("root/keep.txt", "good data");
  {
    RawClient client(server.BoundPort());
    client.Send("PUT " + Remote("keep.txt") + "\r\n" + BigEndian(5000) + std::string(1000, 'x'));
  }
  // The server notices the close, drops the partial upload and ends the connection.
  for (int i = 0; i < 400 && server.LiveConnections() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(TempDir::Read(dir.Path() / "root/keep.txt"), "good data");
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path() / "root")) {
    EXPECT_EQ(entry.path().filename(), "keep.txt");
  }
}

TEST_F(FileCommandsOverSocket, SecondGetOfAFileInTransferSharesItAndADeleteWaits) {
  // Large enough that the first transfer cannot finish while its client reads nothing.
  const std::string content(64 * 1024 * 1024, 'g');
  dir.Write("root/shared.bin", content);
  RawClient first(server.BoundPort());
  first.Send("GET " + Remote("shared.bin") + "\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Request("GET " + Remote("shared.bin")).size(), content.size() + 4);
  EXPECT_EQ(Request("DELETE " + Remote("shared.bin")), "");
  EXPECT_TRUE(std::filesystem::exists(Local("shared.bin"))) << "in use by the first GET";
  const std::string whole = first.ReadToClose();
  EXPECT_EQ(whole.size(), content.size() + 4);
  EXPECT_EQ(Request("DELETE " + Remote("shared.bin")), "");
  EXPECT_FALSE(std::filesystem::exists(Local("shared.bin"))) << "free again afterwards";
}

TEST_F(FileCommandsOverSocket, FolderCommandsWorkWithBlanksAndChineseNames) {
  if (!HostKeepsChineseNames()) GTEST_SKIP() << "this host cannot keep Chinese names";
  EXPECT_EQ(Request("MKDIR " + Remote("二班\\李 四\\作业\\")), "");
  EXPECT_TRUE(std::filesystem::is_directory(Local("二班/李 四/作业")));
  WriteLocal("二班/李 四/a b.txt", "a");
  EXPECT_EQ(Request("MOVE " + Remote("二班\\李 四\\a b.txt") + "|" +
                    Remote("二班\\李 四\\作业\\c d.txt")),
            "");
  EXPECT_EQ(TempDir::Read(Local("二班/李 四/作业/c d.txt")), "a");
  EXPECT_EQ(Request("DELETE " + Remote("二班\\李 四\\作业")), "");
  EXPECT_TRUE(std::filesystem::exists(Local("二班/李 四/作业"))) << "not empty: kept";
  EXPECT_EQ(Request("DELETE " + Remote("二班\\李 四\\作业\\c d.txt")), "");
  EXPECT_EQ(Request("DELETE " + Remote("二班\\李 四\\作业")), "");
  EXPECT_FALSE(std::filesystem::exists(Local("二班/李 四/作业")));
}

TEST_F(FileCommandsOverSocket, PathsOutsideBothTreesAreRefusedByEveryCommand) {
  const std::string secret = dir.Write("secret.txt", "top secret");
  const std::string escape = Remote("..\\secret.txt");
  EXPECT_EQ(Request("GET " + escape), "");
  EXPECT_EQ(Request("GET " + secret), "");
  EXPECT_EQ(Request("LIST " + Remote("..\\*")), std::string(4, '\0'));
  EXPECT_EQ(Request("PUT " + escape, BigEndian(3) + "bad"), "");
  EXPECT_EQ(Request("DELETE " + escape), "");
  EXPECT_EQ(Request("MOVE " + escape + "|" + Remote("stolen.txt")), "");
  EXPECT_EQ(TempDir::Read(secret), "top secret");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "root/stolen.txt"));

#ifndef _WIN32
  std::filesystem::create_symlink(dir.Path(), dir.Path() / "root/link");
  EXPECT_EQ(Request("GET " + Remote("link\\secret.txt")), "");
  EXPECT_EQ(Request("LIST " + Remote("link\\*")), std::string(4, '\0'));
#endif

  // The public tree is reachable too.
  dir.Write("public/notes.txt", "hi");
  EXPECT_EQ(Request("GET " + (dir.Path() / "public/notes.txt").string()), BigEndian(2) + "hi");
}

}  // namespace
}  // namespace orvo::net
