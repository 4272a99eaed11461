#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "net/OrvoClient.h"
#include "net/OrvoServer.h"
#include "platform/CodePage.h"
#include "platform/Socket.h"
#include "tests/support/TempDir.h"

namespace orvo::net {
namespace {

using orvo::testing::TempDir;
using Kind = ClientError::Kind;

std::string Le32(uint32_t n) {
  return {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
          static_cast<char>(n >> 24)};
}

std::string Le64(uint64_t n) {
  return Le32(static_cast<uint32_t>(n)) + Le32(static_cast<uint32_t>(n >> 32));
}

std::string Utf16Field(const std::u16string& text, std::size_t units) {
  std::string field;
  for (char16_t unit : text) {
    field += static_cast<char>(unit & 0xFF);
    field += static_cast<char>(unit >> 8);
  }
  field.resize(units * 2, '\0');
  return field;
}

struct RecordFields {
  uint32_t attributes = 0x20;
  uint64_t created = 0, accessed = 0, written = 0;
  uint64_t size = 0;
  uint32_t reserved0 = 0;
  std::u16string name;
  std::u16string alternate;
};

RecordFields Named(std::u16string name) {
  RecordFields fields;
  fields.name = std::move(name);
  return fields;
}

std::string Record(const RecordFields& f) {
  std::string r = Le32(f.attributes) + Le64(f.created) + Le64(f.accessed) + Le64(f.written) +
                  Le32(static_cast<uint32_t>(f.size >> 32)) + Le32(static_cast<uint32_t>(f.size)) +
                  Le32(f.reserved0) + Le32(0xDEADBEEF) + Utf16Field(f.name, 260) +
                  Utf16Field(f.alternate, 14);
  EXPECT_EQ(r.size(), kListingRecordBytes);
  return r;
}

std::string ListReply(const std::vector<std::string>& records) {
  std::string body;
  for (const auto& r : records) body += r;
  return Le32(static_cast<uint32_t>(body.size())) + body;
}

// Expects `action` to raise a ClientError of `kind` whose message is exactly `message`.
template <typename Action>
void ExpectClientError(Action action, Kind kind, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no ClientError; expected: " << message;
  } catch (const ClientError& error) {
    EXPECT_EQ(error.kind(), kind) << error.what();
    EXPECT_EQ(std::string(error.what()), message);
  }
}

TEST(ListReply, DecodesRecordsFieldByField) {
  const uint64_t fiveGiB = 5ull << 30;
  RecordFields folder = Named(u"作业");
  folder.attributes = 0x10;
  folder.created = 1;
  folder.accessed = 2;
  folder.written = 3;
  RecordFields big = Named(u"video 😀.mp4");
  big.size = fiveGiB;
  RecordFields link = Named(u"to-share");
  link.attributes = 0x400;
  link.reserved0 = platform::kSymlinkReparseTag;
  std::string bigRecord = Record(big);
  // Units after the terminating NUL carry no meaning.
  bigRecord[44 + 2 * 13] = 'X';  // the name is 12 units long, NUL at unit 12
  const std::string reply = ListReply({Record(folder), bigRecord, Record(link)});
  ASSERT_EQ(reply.substr(0, 4), std::string("\xF0\x06\x00\x00", 4));

  const auto entries = DecodeListReply(reply);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[0].IsFolder());
  EXPECT_EQ(entries[0].name, "作业");
  EXPECT_EQ(entries[0].creationTime, 1u);
  EXPECT_EQ(entries[0].lastAccessTime, 2u);
  EXPECT_EQ(entries[0].lastWriteTime, 3u);
  EXPECT_EQ(entries[0].size, 0u);
  EXPECT_EQ(entries[1].size, fiveGiB) << "high half first, then low half";
  EXPECT_EQ(entries[1].name, "video 😀.mp4");
  EXPECT_FALSE(entries[1].IsFolder());
  EXPECT_TRUE(entries[2].IsLink());
  EXPECT_EQ(entries[2].reparseTag, platform::kSymlinkReparseTag);
  EXPECT_TRUE(entries[2].alternateName.empty());
}

TEST(ListReply, NameFillingItsWholeFieldAndBrokenSurrogates) {
  const std::u16string full(260, u'a');
  EXPECT_EQ(DecodeListReply(ListReply({Record(Named(full))}))[0].name, std::string(260, 'a'));
  const std::u16string lone = {u'x', static_cast<char16_t>(0xD800), u'y'};
  EXPECT_EQ(DecodeListReply(ListReply({Record(Named(lone))}))[0].name, "x\xEF\xBF\xBDy");
}

TEST(ListReply, EmptyListingIsFourZeroBytes) {
  EXPECT_TRUE(DecodeListReply(std::string(4, '\0')).empty());
}

TEST(ListReply, BadRepliesNameWhatWentWrong) {
  const std::string one = Record(Named(u"a"));
  struct Case {
    std::string reply;
    Kind kind;
    std::string message;
  } cases[] = {
      {"", Kind::NoReply, "no reply"},
      {std::string("\x50\x02", 2), Kind::Truncated, "connection closed after 2 of 4 bytes"},
      {Le32(1184) + one, Kind::Truncated, "connection closed after 592 of 1184 bytes"},
      {Le32(100) + std::string(100, '\0'), Kind::Protocol,
       "bad reply: 100 bytes of listing records is not a whole number of records"},
      {Le32(592) + one + "z", Kind::Protocol, "unexpected bytes after the reply"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ExpectClientError([&] { DecodeListReply(c.reply); }, c.kind, c.message);
  }
}

TEST(TextListReply, DecodesLinesFromTheAnsiCodePage) {
  EXPECT_EQ(DecodeTextListReply(std::string("\x00\x00\x00\x06"
                                            "a\r\nb\r\n",
                                            10)),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(DecodeTextListReply(std::string(4, '\0')).empty());
  const std::string gbk = platform::Utf8ToAnsi("课堂资源") + "\r\n";
  ASSERT_EQ(gbk.size(), 10u);
  EXPECT_EQ(DecodeTextListReply(std::string("\x00\x00\x00\x0A", 4) + gbk),
            (std::vector<std::string>{"课堂资源"}));
}

TEST(TextListReply, BadRepliesNameWhatWentWrong) {
  struct Case {
    std::string reply;
    Kind kind;
    std::string message;
  } cases[] = {
      {"", Kind::NoReply, "no reply"},
      {std::string("\x00\x00\x00", 3), Kind::Truncated, "connection closed after 3 of 4 bytes"},
      {std::string("\x00\x00\x00\x0B"
                   "GETSYS",
                   10),
       Kind::Truncated, "connection closed after 6 of 11 bytes"},
      {std::string("\x80\x00\x00\x00", 4), Kind::Protocol,
       "bad reply: a block count of 2147483648"},
      {std::string("\x00\x00\x00\x01"
                   "ab",
                   6),
       Kind::Protocol, "unexpected bytes after the reply"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ExpectClientError([&] { DecodeTextListReply(c.reply); }, c.kind, c.message);
  }
}

TEST(FileTime, ConvertsToUnixSecondsRoundingDown) {
  constexpr uint64_t kEpoch = 116444736000000000ull;
  EXPECT_EQ(FileTimeToUnixSeconds(kEpoch), 0);
  EXPECT_EQ(FileTimeToUnixSeconds(kEpoch + 15'000'000), 1);
  EXPECT_EQ(FileTimeToUnixSeconds(kEpoch - 1), -1);
  EXPECT_EQ(FileTimeToUnixSeconds(0), -11644473600);
}

// A loopback listener that plays one scripted reply per connection and records what each client
// sent. It reads through the command line (and `readAtLeast` bytes in all) before replying, so the
// client's bytes are recorded exactly; with `holdUntilClientCloses` it then answers nothing and
// waits for the client to give up.
class ScriptedServer {
 public:
  struct Turn {
    std::string reply;
    std::size_t readAtLeast = 0;
    bool holdUntilClientCloses = false;
  };

  explicit ScriptedServer(std::vector<Turn> turns) : turns_(std::move(turns)) {
    platform::Listeners bound = platform::ListenOnAllAddresses(0, 8);
    listener_ = std::move(bound.sockets.front());
    port_ = bound.port;
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    wake_.Wake();  // ends a wait for the next client
    thread_.join();
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t Port() const { return port_; }
  std::vector<std::string> Received() {
    std::lock_guard guard(lock_);
    return received_;
  }

 private:
  void Serve() {
    for (const Turn& turn : turns_) {
      if (!platform::WaitForConnection(listener_, wake_)) return;
      platform::Socket client = platform::Accept(listener_).socket;
      if (!client.IsOpen()) return;
      std::string got;
      char buffer[65536];
      while (got.find("\r\n") == std::string::npos || got.size() < turn.readAtLeast) {
        const std::size_t n = client.Receive(buffer, sizeof buffer);
        if (n == 0) break;
        got.append(buffer, n);
      }
      {
        std::lock_guard guard(lock_);
        received_.push_back(got);
      }
      if (turn.holdUntilClientCloses) {
        while (client.Receive(buffer, sizeof buffer) > 0) {
        }
      }
      try {
        client.SendAll(turn.reply.data(), turn.reply.size());
      } catch (const std::system_error&) {
        // The client gave up first.
      }
    }
  }

  std::vector<Turn> turns_;
  platform::Socket listener_;
  platform::ListenerWake wake_;
  uint16_t port_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::vector<std::string> received_;
};

TEST(ClientRequests, SendTheCommandLinesOfTheProtocol) {
  const std::string put = std::string("PUT /up load\r\n") + std::string("\0\0\0\x05", 4) + "hello";
  ScriptedServer server({{""}, {""}, {""}, {""}, {"", put.size()}, {std::string(4, '\0')}});
  OrvoClient client("127.0.0.1", server.Port());
  client.MkDir("/srv/a b");
  client.Delete("C:\\x\\y");
  client.Move("/a", "/b|c");
  client.ChangePassword("一班", "zs", "new pass");
  client.PutBytes("hello", "/up load");
  EXPECT_TRUE(client.List("/srv/*").empty());
  const auto got = server.Received();
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0], "MKDIR /srv/a b\r\n");
  EXPECT_EQ(got[1], "DELETE C:\\x\\y\r\n");
  EXPECT_EQ(got[2], "MOVE /a|/b|c\r\n");
  EXPECT_EQ(got[3], "CHGPSW 一班 zs new pass\r\n");
  EXPECT_EQ(got[4], put);
  EXPECT_EQ(got[5], "LIST /srv/*\r\n");
}

TEST(ClientRequests, TextRepliesAreDecoded) {
  const std::string login =
      "/r\\一班\\zs\r\n/pub\r\n张三\r\n课堂资源\r\n2026-12-07 08:00:00\r\n\r\n0\r\n";
  const std::string ansi = platform::Utf8ToAnsi(login);
  ScriptedServer server({{std::string("\x00\x00\x00", 3) + static_cast<char>(ansi.size()) + ansi},
                         {std::string(4, '\0')}});
  OrvoClient client("127.0.0.1", server.Port());
  const auto lines = client.Login("一班", "zs", "p w");
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[2], "张三");
  EXPECT_EQ(lines[5], "");
  EXPECT_TRUE(client.ClassList().empty());
  const auto got = server.Received();
  EXPECT_EQ(got[0], "LOGIN 一班 zs p w\r\n");
  EXPECT_EQ(got[1], "GLIST\r\n");
}

TEST(ClientRequests, UnsafeRequestsAreRefusedBeforeConnecting) {
  // Nothing listens on this client's port: any attempt to connect would be a Connect failure.
  OrvoClient client("127.0.0.1", 1);
  ExpectClientError([&] { client.Delete("/a\r\nDELETE /b"); }, Kind::Refused,
                    "a command cannot contain CR LF");
  ExpectClientError([&] { client.Move("/a|b", "/c"); }, Kind::Refused,
                    "a path containing '|' cannot be moved");
  ExpectClientError([&] { client.Login("one class", "id", "pw"); }, Kind::Refused,
                    "a class name cannot contain a blank");
  ExpectClientError([&] { client.List(std::string(kMaxCommandLineBytes, 'x')); }, Kind::Refused,
                    "the command is 16389 bytes long; the server takes at most 16384");

  TempDir dir;
  const auto huge = dir.Path() / "huge.bin";
  { std::ofstream(huge).put('x'); }
  std::filesystem::resize_file(huge, 1ull << 31);  // sparse: takes no disk space
  ExpectClientError(
      [&] { client.Put(huge, "/x"); }, Kind::Refused,
      huge.string() + " holds 2147483648 bytes; an upload can carry at most 2147483647");
}

TEST(ClientFailures, ConnectFailureNamesTheEndpoint) {
  // A port that was just free: bind and close a listener to find one.
  uint16_t port;
  {
    ScriptedServer probe({});
    port = probe.Port();
  }
  OrvoClient client("127.0.0.1", port);
#ifdef _WIN32
  // Windows words the reason in the language of its installation.
  try {
    client.SysLog();
    ADD_FAILURE();
  } catch (const ClientError& error) {
    const std::string prefix = "cannot connect to 127.0.0.1:" + std::to_string(port) + ": ";
    EXPECT_EQ(error.kind(), Kind::Connect);
    EXPECT_TRUE(std::string(error.what()).starts_with(prefix)) << error.what();
    EXPECT_GT(std::string(error.what()).size(), prefix.size()) << "the reason is missing";
  }
#else
  ExpectClientError([&] { client.SysLog(); }, Kind::Connect,
                    "cannot connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused");
#endif
  OrvoClient v6("::1", port);
  try {
    v6.SysLog();
    ADD_FAILURE();
  } catch (const ClientError& error) {
    EXPECT_EQ(error.kind(), Kind::Connect);
    EXPECT_TRUE(std::string(error.what()).starts_with("cannot connect to [::1]:")) << error.what();
  }
}

TEST(ClientFailures, DownloadCutShortLeavesNoFileBehind) {
  TempDir dir;
  const auto target = dir.Path() / "out.bin";
  std::string cut = std::string("\x00\x00\x00\x64", 4) + std::string(40, 'a');
  ScriptedServer server({{cut}, {""}, {std::string("\x00\x00", 2)}});
  OrvoClient client("127.0.0.1", server.Port());
  ExpectClientError([&] { client.GetToFile("/f", target); }, Kind::Truncated,
                    "connection closed after 40 of 100 bytes");
  ExpectClientError([&] { client.GetToFile("/f", target); }, Kind::NoReply, "no reply");
  ExpectClientError([&] { client.GetToFile("/f", target); }, Kind::Truncated,
                    "connection closed after 2 of 4 bytes");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "no partial or temporary file may stay";
}

TEST(ClientFailures, FailedDownloadKeepsAnOlderFileAndAGoodOneReplacesIt) {
  TempDir dir;
  const auto target = dir.Write("keep.txt", "old");
  ScriptedServer server({{""}, {std::string("\x00\x00\x00\x03new", 7)}});
  OrvoClient client("127.0.0.1", server.Port());
  std::vector<std::pair<uint64_t, uint64_t>> progress;
  EXPECT_THROW(client.GetToFile("/f", target), ClientError);
  EXPECT_EQ(TempDir::Read(target), "old");
  EXPECT_EQ(
      client.GetToFile("/f", target, [&](uint64_t d, uint64_t t) { progress.emplace_back(d, t); }),
      3u);
  EXPECT_EQ(TempDir::Read(target), "new");
  EXPECT_EQ(progress.back(), std::make_pair(uint64_t{3}, uint64_t{3}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(ClientFailures, ServerThatNeverAnswersTimesOut) {
  ScriptedServer server({{"", 0, true}});
  OrvoClient client("127.0.0.1", server.Port());
  client.SetTimeout(200);
  ExpectClientError([&] { client.SysLog(); }, Kind::Timeout,
                    "no answer from 127.0.0.1:" + std::to_string(server.Port()) + " within 200 ms");
}

TEST(ClientFailures, ReplyWhereNoneIsDueIsReported) {
  ScriptedServer server({{"surprise"}});
  OrvoClient client("127.0.0.1", server.Port());
  ExpectClientError([&] { client.MkDir("/x"); }, Kind::Protocol,
                    "unexpected bytes after the reply");
}

// The server tells students apart by address, so a client given a source must reach it from
// exactly there, and a source it cannot use must fail the connection rather than be dropped.
TEST(ClientSource, ConnectionsLeaveFromTheGivenAddress) {
  core::ServiceState state;
  TOrvoServer server(state);
  server.SetDefaultPort(0);
  server.SetActive(true);
  const uint16_t port = server.BoundPort();
  for (const char* source : {"127.0.0.5", "127.0.0.6"}) {
    OrvoClient client("127.0.0.1", port);
    client.SetSource(source);
    EXPECT_TRUE(client.SysLog().empty()) << source << " is not the service's own host";
    const auto peer = server.UserDic().Copy(source);
    ASSERT_TRUE(peer) << source;
    EXPECT_EQ(peer->IP(), source);
  }
  EXPECT_EQ(server.UserDic().Count(), 2u);
  EXPECT_FALSE(server.UserDic().Contains("127.0.0.1"));

  const std::string endpoint = "cannot connect to 127.0.0.1:" + std::to_string(port) + " from ";
  const struct {
    std::string source;
    std::string reason;  // empty: the system's words for it, which vary by host
  } unusable[] = {
      {"192.0.2.1", ""},  // no address of this host
      {"::1", ""},        // the other family than the server's address
      {"student-pc", "the source is not a numeric IP address"},
  };
  for (const auto& c : unusable) {
    OrvoClient client("127.0.0.1", port);
    client.SetSource(c.source);
    try {
      client.SysLog();
      ADD_FAILURE() << c.source;
    } catch (const ClientError& error) {
      EXPECT_EQ(error.kind(), Kind::Connect) << c.source;
      const std::string what = error.what();
      EXPECT_TRUE(what.starts_with(endpoint + c.source + ": ")) << what;
      if (!c.reason.empty()) {
        EXPECT_EQ(what, endpoint + c.source + ": " + c.reason);
      }
    }
  }
  EXPECT_EQ(server.UserDic().Count(), 2u) << "no connection may leave from elsewhere instead";
}

}  // namespace
}  // namespace orvo::net
