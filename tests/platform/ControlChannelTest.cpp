// The control channel: its framing, a request and its reply through a real endpoint, what the
// client hears when nothing serves the folder, and the rules for the endpoint's file on Linux
// (owner-only mode, a stale socket replaced, a live one or anything else left alone).
#include "platform/ControlChannel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ControlFraming.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace orvo::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using Lines = std::vector<std::string>;

// Answers with the request and a few lines that test the framing.
Lines Echo(const std::string& request) {
  return {request, ".starts with a dot", "", ".", "last"};
}

TEST(ControlFraming, LinesComeBackAsTheyWereWhateverTheChunks) {
  const Lines cases[] = {
      {},
      {""},
      {".", "..", ".x", "x."},
      {"tab\there", "一班 张三"},
  };
  for (const Lines& lines : cases) {
    const std::string bytes = EncodeControlReply(lines);
    ControlReplyReader whole;
    EXPECT_TRUE(whole.Feed(bytes + "after the end"));
    EXPECT_EQ(whole.Lines(), lines);
    ControlReplyReader byByte;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      EXPECT_EQ(byByte.Feed(bytes.substr(i, 1)), i + 1 == bytes.size());
    }
    EXPECT_EQ(byByte.Lines(), lines);
  }
}

TEST(ControlFraming, ALineBreakInsideALineCannotMakeTwoLines) {
  ControlReplyReader reader;
  EXPECT_TRUE(reader.Feed(EncodeControlReply({"one\n.\ntwo\r"})));
  EXPECT_EQ(reader.Lines(), Lines{"one . two "});
}

TEST(ControlFraming, RequestLineEndsAtItsLineFeed) {
  EXPECT_EQ(ControlRequestLine("ONLINE"), std::nullopt);
  EXPECT_EQ(ControlRequestLine("ONLINE\r\nrest"), "ONLINE");
  EXPECT_EQ(ControlRequestLine("KICK 127.0.0.2\n"), "KICK 127.0.0.2");
}

TEST(ControlChannel, RequestAndReplyThroughTheFolder) {
  TempDir dir;
  const ControlListener listener(dir.Path().string(), Echo);
  EXPECT_EQ(listener.Endpoint(), ControlEndpoint(dir.Path().string()));
  for (const char* request : {"ONLINE", "KICK 127.0.0.2", ""}) {
    EXPECT_EQ(ControlRequest(dir.Path().string(), request), Echo(request));
  }
  EXPECT_THROW(ControlRequest(dir.Path().string(), "two\nlines"), ControlChannelError);
}

TEST(ControlChannel, WithoutAServiceTheClientSaysSoNamingTheFolder) {
  TempDir dir;
  const std::string folders[] = {dir.Path().string(), (dir.Path() / "missing").string()};
  for (const std::string& folder : folders) {
    try {
      ControlRequest(folder, "ONLINE");
      ADD_FAILURE() << "a reply without a service";
    } catch (const NoControlService& e) {
      EXPECT_NE(std::string(e.what()).find("no service is running on " + folder), std::string::npos)
          << e.what();
    }
  }
  // Once the listener is gone, so is the service.
  { const ControlListener listener(dir.Path().string(), Echo); }
  EXPECT_THROW(ControlRequest(dir.Path().string(), "ONLINE"), NoControlService);
}

TEST(ControlChannel, ASecondListenerOnTheFolderIsRefusedAndTheFirstServesOn) {
  TempDir dir;
  const ControlListener first(dir.Path().string(), Echo);
  EXPECT_THROW(ControlListener(dir.Path().string(), Echo), ControlChannelTaken);
  EXPECT_EQ(ControlRequest(dir.Path().string(), "ONLINE").front(), "ONLINE");
}

TEST(ControlChannel, AFailingOrOverlongRequestGetsNoReplyAndTheNextIsServed) {
  TempDir dir;
  const ControlListener listener(dir.Path().string(), [](const std::string& request) -> Lines {
    if (request == "FAIL") throw std::runtime_error("handler failed");
    return {request};
  });
  EXPECT_THROW(ControlRequest(dir.Path().string(), "FAIL"), ControlChannelError);
  EXPECT_THROW(ControlRequest(dir.Path().string(), std::string(kMaxControlRequest + 10, 'x')),
               ControlChannelError);
  EXPECT_EQ(ControlRequest(dir.Path().string(), "ONLINE"), Lines{"ONLINE"});
}

#ifndef _WIN32

TEST(ControlChannel, AFolderOfAnyPathLengthHasASocket) {
  TempDir dir;
  // Far past the hundred-odd bytes a socket address holds.
  const fs::path deep = dir.Path() / std::string(100, 'd') / std::string(100, 'e');
  fs::create_directories(deep);
  const ControlListener listener(deep.string(), Echo);
  EXPECT_EQ(ControlRequest(deep.string(), "ONLINE").front(), "ONLINE");
}

// A socket file that nothing listens on, as a killed service leaves it.
void LeaveStaleSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

TEST(ControlChannel, TheSocketIsTheOwnersOnlyAndGoesWithTheListener) {
  TempDir dir;
  const std::string path = ControlEndpoint(dir.Path().string());
  EXPECT_EQ(path, (dir.Path() / kControlSocketName).string());
  {
    const ControlListener listener(dir.Path().string(), Echo);
    struct stat status {};
    ASSERT_EQ(::lstat(path.c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
}

TEST(ControlChannel, AStaleSocketIsReplacedAndAnythingElseLeftAlone) {
  TempDir dir;
  const std::string path = ControlEndpoint(dir.Path().string());
  LeaveStaleSocket(path);
  EXPECT_THROW(ControlRequest(dir.Path().string(), "ONLINE"), NoControlService);
  {
    const ControlListener listener(dir.Path().string(), Echo);
    EXPECT_EQ(ControlRequest(dir.Path().string(), "ONLINE").front(), "ONLINE");
  }

  dir.Write(kControlSocketName, "someone's file");
  try {
    const ControlListener listener(dir.Path().string(), Echo);
    ADD_FAILURE() << "a listener in place of a file";
  } catch (const ControlChannelTaken&) {
    ADD_FAILURE() << "a file is not a live service";
  } catch (const ControlChannelError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  EXPECT_EQ(TempDir::Read(path), "someone's file");
}

TEST(ControlChannel, AListenerRemovesOnlyItsOwnSocket) {
  TempDir dir;
  const std::string path = ControlEndpoint(dir.Path().string());
  {
    const ControlListener listener(dir.Path().string(), Echo);
    // Someone replaced the socket meanwhile (a later service, after removing ours).
    ASSERT_EQ(::unlink(path.c_str()), 0);
    LeaveStaleSocket(path);
  }
  EXPECT_TRUE(fs::exists(fs::symlink_status(path)));
}

#endif

}  // namespace
}  // namespace orvo::platform
