// The browser portal over raw HTTP/1.1 on loopback, for what a browser never shows: refusals and
// their codes, sessions that end, forged requests, hostile paths, ranges, size and time limits,
// kept-alive connections and the headers every answer carries. A real service runs on a scratch
// database whose clock the tests step; students sit at their own loopback addresses.
#include <gtest/gtest.h>

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <boost/system/system_error.hpp>

#if ORVO_TEST_TLS
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#endif

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Utf8Path.h"
#include "service/OrvoService.h"
#include "tests/pack/ZipReader.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::web {
namespace {

namespace http = boost::beast::http;
namespace fs = std::filesystem;
using orvo::testing::Eventually;
using orvo::testing::RawClient;
using orvo::testing::TempDir;
using Reply = http::response<http::string_body>;

constexpr char kLi[] = "127.0.0.2";
constexpr char kWu[] = "127.0.0.3";
constexpr char kStranger[] = "127.0.0.4";
constexpr char kPassword[] = "907183";
constexpr uint32_t kMinute = 60'000;
constexpr char kPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

// What the server sends, as it arrives, for the HTTP library's reader.
class ReplyStream {
 public:
  explicit ReplyStream(RawClient& client) : client_(client) {}

  template <class Buffers>
  std::size_t read_some(const Buffers& buffers, boost::system::error_code& error) {
    error = {};
    const boost::asio::mutable_buffer into(*boost::asio::buffer_sequence_begin(buffers));
    if (into.size() == 0) return 0;
    const std::size_t n = client_.ReceiveSome(static_cast<char*>(into.data()), into.size());
    if (n == 0) error = boost::asio::error::eof;
    return n;
  }
  template <class Buffers>
  std::size_t read_some(const Buffers& buffers) {
    boost::system::error_code error;
    const std::size_t n = read_some(buffers, error);
    if (error) throw boost::system::system_error(error);
    return n;
  }

 private:
  RawClient& client_;
};

// One connection from a student's address: request bytes out, answers read one after another.
class Browser {
 public:
  Browser(uint16_t port, const std::string& from) : client_(port, "127.0.0.1", from) {}

  void Send(const std::string& bytes) { client_.Send(bytes); }

  // The next whole answer; nullopt when the connection ends first.
  std::optional<Reply> Read() {
    ReplyStream stream(client_);
    http::response_parser<http::string_body> parser;
    parser.body_limit(std::numeric_limits<std::uint64_t>::max());
    boost::system::error_code error;
    http::read(stream, buffer_, parser, error);
    if (error) return std::nullopt;
    return parser.release();
  }

  // The raw bytes of an answer until at least `count` have come (or the connection ended).
  std::string ReadRaw(std::size_t count) {
    std::string bytes;
    char piece[16384];
    while (bytes.size() < count) {
      const std::size_t n = client_.ReceiveSome(piece, sizeof piece);
      if (n == 0) break;
      bytes.append(piece, n);
    }
    return bytes;
  }

 private:
  RawClient client_;
  boost::beast::flat_buffer buffer_;
};

std::string RequestText(const std::string& method, const std::string& target,
                        const std::string& headers = {}, const std::string& body = {}) {
  std::string text = method + " " + target + " HTTP/1.1\r\nHost: orvo\r\n" + headers;
  if (method == "POST") text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return text + "\r\n" + body;
}

std::string HeaderOf(const Reply& reply, const std::string& name) {
  const auto it = reply.find(name);
  return it == reply.end() ? std::string() : std::string(it->value());
}

// A text field of a JSON answer (the portal's fields hold no escapes where the tests read them).
std::string JsonText(const std::string& body, const std::string& key) {
  const std::string start = "\"" + key + "\":\"";
  const auto at = body.find(start);
  if (at == std::string::npos) return {};
  const auto from = at + start.size();
  return body.substr(from, body.find('"', from) - from);
}

std::string Code(const Reply& reply) {
  return JsonText(reply.body(), "code");
}

// A browser's session: its cookie and the token its changes carry.
struct Session {
  std::string token;
  std::string csrf;
  std::string Cookie() const { return "Cookie: orvo_session=" + token + "\r\n"; }
  std::string Headers() const { return Cookie() + "X-Orvo-Csrf: " + csrf + "\r\n"; }
};

std::string SessionToken(const Reply& reply) {
  const std::string cookie = HeaderOf(reply, "Set-Cookie");
  const std::string start = "orvo_session=";
  if (!cookie.starts_with(start)) return {};
  return cookie.substr(start.size(), cookie.find(';') - start.size());
}

std::string Pseudorandom(std::size_t size) {
  std::mt19937 generator(17);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

class PortalHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string database =
        orvo::testing::CreateDatabaseFromSchema(dir / store::kDatabaseFileName);
    {
      orvo::testing::RawConnection raw(database);
      for (const auto& [name, value] : Options()) {
        raw.Exec("INSERT INTO Options (Name, Value) VALUES ('" + name + "', '" + value + "')");
      }
    }
    At(8, 10);  // Monday, in C1's lesson; C2 has none
    service = std::make_unique<service::OrvoService>(dir.Path().string(), 0, clock);
    service->SetHttpPort(0);
    service->Start();
    store::TOrvoDiskDb& db = *service->Db();
    db.SetSetting(dir / "root", dir / "public", 0, 1, 0);
    service->ReloadSettings();
    db.AddGroup("C1");
    db.AddGroup("C2");
    db.AddUser("Li", "C1");
    db.AddUser("Wu", "C1");
    db.AddUser("Zhao", "C2");
    db.AddTimeTable("1", "08:00", "08:45", "C1");
    dir.Write("public/handout.txt", "handout");
    dir.Write("root/C1/Li/essay.txt", "Li's essay");
    dir.Write("root/C1/Li/notes/a.txt", "note a");
    dir.Write("root/C1/Wu/essay.txt", "Wu's essay");
    dir.Write("root/C2/Zhao/essay.txt", "Zhao's essay");
    port = service->Port();
    web = service->HttpPort();
    ASSERT_NE(web, 0);
  }
  void TearDown() override { service.reset(); }

  // Option rows the database holds before the service starts.
  virtual std::vector<std::pair<std::string, std::string>> Options() const { return {}; }

  void At(int hour, int minute) {
    clock.SetNow({2026, 12, 7, hour, minute, 0, 0, 1});
    // Far enough on that the gate and every login are evaluated again.
    clock.AdvanceTicks(2 * kMinute);
  }

  fs::path Local(const std::string& relative) const {
    return dir.Path() / platform::Utf8Path(relative);
  }
  // A client path of the protocol, with the backslashes a Windows client writes.
  std::string In(const std::string& relative) const {
    std::string path = dir / "root";
    path += '\\';
    for (const char c : relative) path += c == '/' ? '\\' : c;
    return path;
  }
  // The names in a folder, hidden ones included.
  std::set<std::string> Entries(const std::string& relative) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Local(relative))) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // Sends `request` on a connection of its own; the answer, or one of status 0 when the
  // connection ended without one.
  Reply Ask(const std::string& request, const std::string& from = kLi) {
    Browser browser(web, from);
    browser.Send(request);
    auto reply = browser.Read();
    if (reply) return std::move(*reply);
    Reply closed;
    closed.result(0);
    return closed;
  }
  Reply Get(const std::string& target, const Session* session = nullptr,
            const std::string& from = kLi) {
    return Ask(RequestText("GET", target, session ? session->Cookie() : ""), from);
  }
  Reply Post(const std::string& target, const std::string& body, const Session& session,
             const std::string& from = kLi) {
    return Ask(RequestText("POST", target, session.Headers(), body), from);
  }

  Reply TryLogIn(const std::string& group, const std::string& id, const std::string& password,
                 const std::string& from = kLi) {
    return Ask(RequestText("POST", "/api/login", "X-Orvo-Csrf: 1\r\n",
                           "class=" + group + "&id=" + id + "&password=" + password),
               from);
  }
  Session LogIn(const std::string& id = "Li", const std::string& from = kLi) {
    const Reply reply = TryLogIn("C1", id, kPassword, from);
    EXPECT_EQ(reply.result_int(), 200u) << reply.body();
    Session session{SessionToken(reply), {}};
    const Reply me = Get("/api/me", &session, from);
    EXPECT_EQ(me.result_int(), 200u) << me.body();
    session.csrf = JsonText(me.body(), "csrf");
    EXPECT_FALSE(session.csrf.empty());
    return session;
  }
  bool Live(const Session& session, const std::string& from = kLi) {
    return Get("/api/me", &session, from).result_int() == 200;
  }

  TempDir dir;
  platform::ManualClock clock;
  std::unique_ptr<service::OrvoService> service;
  uint16_t port = 0;
  uint16_t web = 0;
};

// --- login ---

TEST_F(PortalHttp, LoginAnswersEachRefusalWithItsOwnStatusAndCode) {
  const struct {
    const char* what;
    std::string group, id, password;
    unsigned status;
    std::string code;
  } cases[] = {
      {"wrong password", "C1", "Li", "nope", 401, "wrong_password"},
      {"no such student", "C1", "Nobody", kPassword, 401, "wrong_password"},
      {"class outside its lesson", "C2", "Zhao", kPassword, 403, "not_lesson"},
      {"empty login id", "C1", "", kPassword, 400, "bad_request"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Reply reply = TryLogIn(c.group, c.id, c.password);
    EXPECT_EQ(reply.result_int(), c.status) << reply.body();
    EXPECT_EQ(Code(reply), c.code);
    EXPECT_EQ(HeaderOf(reply, "Set-Cookie"), "");
  }
  EXPECT_TRUE(service->Server()->OnlineLogins().empty());

  const Reply accepted = TryLogIn("C1", "Li", kPassword);
  ASSERT_EQ(accepted.result_int(), 200u) << accepted.body();
  EXPECT_EQ(JsonText(accepted.body(), "id"), "Li");
  const std::string cookie = HeaderOf(accepted, "Set-Cookie");
  EXPECT_GE(SessionToken(accepted).size(), 20u) << cookie;
  for (const char* attribute : {"; HttpOnly", "; SameSite=Strict", "; Path=/"}) {
    EXPECT_NE(cookie.find(attribute), std::string::npos) << attribute << " in " << cookie;
  }
  EXPECT_EQ(cookie.find("Secure"), std::string::npos) << "plain HTTP: " << cookie;
}

TEST_F(PortalHttp, RepeatedWrongPasswordsBlockTheAddressAndSayHowLongToWait) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(TryLogIn("C1", "Li", "guess" + std::to_string(i), kStranger).result_int(), 401u);
  }
  EXPECT_NE(TryLogIn("C1", "Li", "guess4", kStranger).result_int(), 200u);
  const Reply blocked = TryLogIn("C1", "Li", kPassword, kStranger);
  EXPECT_EQ(blocked.result_int(), 429u) << "even the right password waits";
  EXPECT_EQ(Code(blocked), "blocked");
  EXPECT_NE(blocked.body().find("\"waitMinutes\":5"), std::string::npos) << blocked.body();
  EXPECT_EQ(TryLogIn("C1", "Li", kPassword, kLi).result_int(), 200u) << "another PC is not blocked";
}

TEST_F(PortalHttp, ALoginWithoutTheCsrfHeaderIsRefusedAndMakesNoSession) {
  for (const char* header : {"", "X-Orvo-Csrf: \r\n"}) {
    SCOPED_TRACE(header);
    const Reply reply = Ask(RequestText("POST", "/api/login", header,
                                        "class=C1&id=Li&password=" + std::string(kPassword)));
    EXPECT_EQ(reply.result_int(), 403u);
    EXPECT_EQ(HeaderOf(reply, "Set-Cookie"), "");
  }
  EXPECT_TRUE(service->Server()->OnlineLogins().empty());
}

TEST_F(PortalHttp, AWebLoginGivesTheAddressNoProtocolLogin) {
  LogIn("Li", kLi);
  const std::string emptyListing(4, '\0');
  EXPECT_EQ(RawClient::RequestFrom(port, kLi, "LIST " + In("C1/Li/*")), emptyListing);
  EXPECT_EQ(RawClient::RequestFrom(port, kLi, "GET " + In("C1/Li/essay.txt")), "");
  // The protocol's own LOGIN still opens the folder to the address.
  ASSERT_TRUE(RawClient::LogInFrom(port, kLi, "C1", "Li", kPassword));
  EXPECT_NE(RawClient::RequestFrom(port, kLi, "LIST " + In("C1/Li/*")), emptyListing);
}

// --- sessions ---

TEST_F(PortalHttp, ForgedLoggedOutAndExpiredTokensGetNoSession) {
  const Session forged{std::string(43, 'A'), "x"};
  for (const char* target : {"/api/me", "/api/list?area=own&path=",
                             "/api/download?area=own&path="
                             "essay.txt"}) {
    SCOPED_TRACE(target);
    const Reply reply = Get(target, &forged);
    EXPECT_EQ(reply.result_int(), 401u);
    EXPECT_EQ(Code(reply), "no_session");
  }

  const Session out = LogIn();
  const Reply logout = Post("/api/logout", "", out);
  EXPECT_EQ(logout.result_int(), 200u);
  EXPECT_NE(HeaderOf(logout, "Set-Cookie").find("Max-Age=0"), std::string::npos);
  EXPECT_EQ(Get("/api/me", &out).result_int(), 401u);
  EXPECT_EQ(Post("/api/mkdir", "path=&name=late", out).result_int(), 401u);
  EXPECT_FALSE(fs::exists(Local("root/C1/Li/late")));

  const Session expiring = LogIn();
  At(8, 55);  // after the bell, within the 15 minutes of grace
  EXPECT_TRUE(Live(expiring));
  At(9, 1);
  EXPECT_EQ(Get("/api/list?area=own&path=", &expiring).result_int(), 401u);
  EXPECT_TRUE(service->Server()->OnlineLogins().empty());
}

TEST_F(PortalHttp, TheOperatorSeesBrowserSessionsAndEndsThoseOfAnAddress) {
  const Session li = LogIn("Li", kLi);
  const Session second = LogIn("Li", kLi);  // another browser on the same PC
  const Session wu = LogIn("Wu", kWu);
  ASSERT_EQ(Get("/api/list?area=own&path=notes", &li).result_int(), 200u);

  const auto online = service->Server()->OnlineLogins();
  ASSERT_EQ(online.size(), 3u);
  for (const auto& row : online) {
    SCOPED_TRACE(row.address);
    EXPECT_TRUE(row.web);
    EXPECT_TRUE(row.lastCommand.starts_with("网页")) << row.lastCommand;
    EXPECT_EQ(row.login.name, row.address == kLi ? "Li" : "Wu");
  }

  EXPECT_TRUE(service->Server()->EndLogin(kLi));
  EXPECT_FALSE(Live(li));
  EXPECT_FALSE(Live(second));
  EXPECT_TRUE(Live(wu, kWu));
  ASSERT_EQ(service->Server()->OnlineLogins().size(), 1u);
}

// --- changes must carry the session's token ---

TEST_F(PortalHttp, AChangeWithoutTheSessionsCsrfTokenIsRefusedAndChangesNothing) {
  const Session li = LogIn("Li", kLi);
  const Session wu = LogIn("Wu", kWu);
  const struct {
    const char* what;
    std::string header;
  } tokens[] = {
      {"missing", ""},
      {"empty", "X-Orvo-Csrf: \r\n"},
      {"wrong", "X-Orvo-Csrf: " + std::string(li.csrf.size(), 'A') + "\r\n"},
      {"a classmate's", "X-Orvo-Csrf: " + wu.csrf + "\r\n"},
      {"the session's own cookie", "X-Orvo-Csrf: " + li.token + "\r\n"},
  };
  const struct {
    std::string target, body;
  } changes[] = {
      {"/api/mkdir", "path=&name=made"},
      {"/api/rename", "path=&from=essay.txt&to=moved.txt"},
      {"/api/delete", "path=&name=essay.txt"},
      {"/api/upload?path=&name=essay.txt", "forged"},
      {"/api/password", "old=907183&new=changed"},
      {"/api/logout", ""},
  };
  for (const auto& token : tokens) {
    for (const auto& change : changes) {
      SCOPED_TRACE(std::string(token.what) + " token, " + change.target);
      const Reply reply =
          Ask(RequestText("POST", change.target, li.Cookie() + token.header, change.body));
      EXPECT_EQ(reply.result_int(), 403u) << reply.body();
    }
  }
  EXPECT_EQ(Entries("root/C1/Li"), (std::set<std::string>{"essay.txt", "notes"}));
  EXPECT_EQ(TempDir::Read(Local("root/C1/Li/essay.txt")), "Li's essay");
  EXPECT_TRUE(Live(li)) << "not logged out";
  EXPECT_EQ(TryLogIn("C1", "Li", kPassword, kStranger).result_int(), 200u) << "password kept";
  // With the token the same change goes through.
  EXPECT_EQ(Post("/api/mkdir", "path=&name=made", li).result_int(), 200u);
  EXPECT_TRUE(fs::is_directory(Local("root/C1/Li/made")));
}

// --- paths ---

TEST_F(PortalHttp, HostilePathsInRequestsReadNothingOutsideTheOwnFolder) {
  const Session li = LogIn();
  const struct {
    const char* query;  // after "/api/download?"
    unsigned status;
  } cases[] = {
      {"area=own&path=../Wu/essay.txt", 400},
      {"area=own&path=..%2FWu%2Fessay.txt", 400},
      {"area=own&path=%2e%2e/Wu/essay.txt", 400},
      {"area=own&path=%2E%2E%2fWu%2fessay.txt", 400},
      {"area=own&path=notes/../../Wu/essay.txt", 400},
      {"area=own&path=./essay.txt", 400},
      {"area=own&path=notes//a.txt", 400},
      {"area=own&path=/essay.txt", 400},
      {"area=own&path=notes/a.txt/", 400},
      {"area=own&path=..%5CWu%5Cessay.txt", 400},
      {"area=own&path=notes%5Ca.txt", 400},
      {"area=own&path=C:%5Cessay.txt", 400},
      {"area=own&path=%C0%AE%C0%AE/Wu/essay.txt", 400},  // '.' spelt in too many bytes
      {"area=own&path=%", 400},
      {"area=own&path=%zz", 400},
      {"area=own&path=%2", 400},
      {"area=own&path=essay.txt%00.png", 400},
      {"area=own&path=essay.txt%0A", 400},
      {"area=public&path=../root/C1/Wu/essay.txt", 400},
      {"area=..&path=Wu/essay.txt", 404},
      {"area=root&path=C1/Wu/essay.txt", 404},
      {"area=own&path=essay.txt&path=../Wu/essay.txt", 400},  // a key given twice
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const Reply reply = Get("/api/download?" + std::string(c.query), &li);
    EXPECT_EQ(reply.result_int(), c.status) << reply.body();
    EXPECT_EQ(reply.body().find("essay"), std::string::npos);
  }
  // The same escapes on the portal's own paths reach no file on disk.
  for (const char* target : {"/assets/../../CMakeLists.txt", "/assets/..%2F..%2FCMakeLists.txt",
                             "/assets/%2e%2e/%2e%2e/CMakeLists.txt", "/assets/%00",
                             "/files/../../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd"}) {
    SCOPED_TRACE(target);
    const Reply reply = Get(target, &li);
    EXPECT_EQ(reply.body().find("project("), std::string::npos);
    EXPECT_EQ(reply.body().find("root:"), std::string::npos);
  }
  // The control: a plain path reads the file.
  EXPECT_EQ(Get("/api/download?area=own&path=notes/a.txt", &li).body(), "note a");
}

TEST_F(PortalHttp, HostilePathsInChangesChangeNothing) {
  const Session li = LogIn();
  const std::vector<std::string> folders = {
      "..",  "../Wu", "..%2FWu", "%2e%2e", ".", "notes//x", "%5C..%5CWu", "notes%5C..%5C..%5CWu",
      "%zz", "%00",   "%",
  };
  const std::vector<std::string> names = {
      "..", ".", "", "..%2FWu%2Fessay.txt", "..%5CWu%5Cessay.txt", "a%2Fb", "a:b", "%zz", "x%00",
  };
  for (const std::string& folder : folders) {
    SCOPED_TRACE("folder " + folder);
    EXPECT_EQ(Post("/api/mkdir", "path=" + folder + "&name=made", li).result_int(), 400u);
    EXPECT_EQ(Post("/api/delete", "path=" + folder + "&name=essay.txt", li).result_int(), 400u);
    EXPECT_EQ(Post("/api/rename", "path=" + folder + "&from=essay.txt&to=x.txt", li).result_int(),
              400u);
    EXPECT_EQ(Post("/api/upload?path=" + folder + "&name=essay.txt", "forged", li).result_int(),
              400u);
  }
  for (const std::string& name : names) {
    SCOPED_TRACE("name " + name);
    EXPECT_EQ(Post("/api/mkdir", "path=&name=" + name, li).result_int(), 400u);
    EXPECT_EQ(Post("/api/delete", "path=&name=" + name, li).result_int(), 400u);
    EXPECT_EQ(Post("/api/rename", "path=&from=essay.txt&to=" + name, li).result_int(), 400u);
    EXPECT_EQ(Post("/api/rename", "path=&from=" + name + "&to=x.txt", li).result_int(), 400u);
    EXPECT_EQ(Post("/api/upload?path=&name=" + name, "forged", li).result_int(), 400u);
  }
  EXPECT_EQ(Entries("root/C1"), (std::set<std::string>{"Li", "Wu"}));
  EXPECT_EQ(Entries("root/C1/Li"), (std::set<std::string>{"essay.txt", "notes"}));
  EXPECT_EQ(Entries("root/C1/Wu"), std::set<std::string>{"essay.txt"});
  EXPECT_EQ(TempDir::Read(Local("root/C1/Li/essay.txt")), "Li's essay");
  EXPECT_EQ(TempDir::Read(Local("root/C1/Wu/essay.txt")), "Wu's essay");
}

TEST_F(PortalHttp, ThePublicFolderIsReadOnlyHere) {
  const Session li = LogIn();
  EXPECT_EQ(Get("/api/download?area=public&path=handout.txt", &li).body(), "handout");
  const struct {
    std::string target, body;
  } changes[] = {
      {"/api/upload?area=public&path=&name=handout.txt", "replaced"},
      {"/api/upload?area=public&path=&name=new.txt", "new"},
      {"/api/mkdir", "area=public&path=&name=made"},
      {"/api/mkdir?area=public", "path=&name=made"},
      {"/api/rename", "area=public&path=&from=handout.txt&to=moved.txt"},
      {"/api/delete", "area=public&path=&name=handout.txt"},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.target + " " + change.body);
    const Reply reply = Post(change.target, change.body, li);
    EXPECT_EQ(reply.result_int(), 403u) << reply.body();
    EXPECT_TRUE(Code(reply) == "read_only" || Code(reply) == "refused") << reply.body();
  }
  EXPECT_EQ(Entries("public"), std::set<std::string>{"handout.txt"});
  EXPECT_EQ(TempDir::Read(Local("public/handout.txt")), "handout");
  EXPECT_EQ(Entries("root/C1/Li"), (std::set<std::string>{"essay.txt", "notes"}))
      << "nor did the change land in the own folder instead";
}

#ifndef _WIN32
TEST_F(PortalHttp, ALinkInTheOwnFolderLeadsNowhereOutside) {
  dir.Write("outside/secret.txt", "secret");
  fs::create_symlink(Local("outside"), Local("root/C1/Li/out"));
  fs::create_symlink(Local("outside/secret.txt"), Local("root/C1/Li/leak.txt"));
  fs::create_symlink("../Wu", Local("root/C1/Li/wu"));
  const Session li = LogIn();
  for (const char* query :
       {"area=own&path=leak.txt", "area=own&path=out/secret.txt", "area=own&path=wu/essay.txt"}) {
    SCOPED_TRACE(query);
    const Reply reply = Get("/api/download?" + std::string(query), &li);
    EXPECT_NE(reply.result_int(), 200u);
    EXPECT_EQ(reply.body().find("secret"), std::string::npos);
    EXPECT_EQ(reply.body().find("Wu's"), std::string::npos);
  }
  for (const char* path : {"out", "wu"}) {
    SCOPED_TRACE(path);
    EXPECT_NE(Get("/api/list?area=own&path=" + std::string(path), &li).result_int(), 200u);
    EXPECT_NE(Get("/api/zip?area=own&path=" + std::string(path), &li).result_int(), 200u);
    EXPECT_NE(
        Post("/api/upload?path=" + std::string(path) + "&name=planted.txt", "x", li).result_int(),
        200u);
  }
  EXPECT_EQ(Entries("outside"), std::set<std::string>{"secret.txt"});
  EXPECT_EQ(Entries("root/C1/Wu"), std::set<std::string>{"essay.txt"});
  // Nor does the archive of the whole folder carry what the links lead to.
  const Reply zip = Get("/api/zip?area=own&path=", &li);
  ASSERT_EQ(zip.result_int(), 200u);
  for (const auto& entry : pack::testing::ReadZip(zip.body()).entries) {
    SCOPED_TRACE(entry.name);
    EXPECT_NE(entry.content, "secret");
    EXPECT_NE(entry.content, "Wu's essay");
  }
}
#endif

// --- ranges ---

TEST_F(PortalHttp, RangesAnswerThePartAskedForOrTheWholeFile) {
  const std::string digits = "0123456789abcdef";
  dir.Write("root/C1/Li/digits.txt", digits);
  const Session li = LogIn();
  const struct {
    const char* range;
    unsigned status;
    std::string body;  // for 206 and 200
    std::string contentRange;
  } cases[] = {
      {"bytes=0-0", 206, "0", "bytes 0-0/16"},
      {"bytes=-5", 206, "bcdef", "bytes 11-15/16"},
      {"bytes=5-", 206, "56789abcdef", "bytes 5-15/16"},
      {"bytes=10-99", 206, "abcdef", "bytes 10-15/16"},
      {"bytes=-99", 206, digits, "bytes 0-15/16"},
      {"bytes=16-", 416, "", "bytes */16"},
      {"bytes=99-100", 416, "", "bytes */16"},
      {"bytes=-0", 416, "", "bytes */16"},
      {"bytes=0-1,4-5", 200, digits, ""},
      {"bytes=5-2", 200, digits, ""},
      {"pages=1-2", 200, digits, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.range);
    const Reply reply = Ask(RequestText("GET", "/api/download?area=own&path=digits.txt",
                                        li.Cookie() + "Range: " + std::string(c.range) + "\r\n"));
    EXPECT_EQ(reply.result_int(), c.status);
    EXPECT_EQ(HeaderOf(reply, "Content-Range"), c.contentRange);
    if (c.status != 416) {
      EXPECT_EQ(reply.body(), c.body);
    }
  }
}

TEST_F(PortalHttp, AnInterruptedDownloadResumedWithARangeGivesTheSameBytes) {
  const std::string content = Pseudorandom(4 << 20);
  dir.Write("root/C1/Li/big.bin", content);
  const Session li = LogIn();
  std::string received;
  {
    Browser browser(web, kLi);
    browser.Send(RequestText("GET", "/api/download?area=own&path=big.bin", li.Cookie()));
    const std::string bytes = browser.ReadRaw(300'000);
    const auto end = bytes.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    ASSERT_TRUE(bytes.starts_with("HTTP/1.1 200"));
    received = bytes.substr(end + 4, 200'000);
  }  // the browser goes away in the middle
  const Reply rest =
      Ask(RequestText("GET", "/api/download?area=own&path=big.bin",
                      li.Cookie() + "Range: bytes=" + std::to_string(received.size()) + "-\r\n"));
  ASSERT_EQ(rest.result_int(), 206u);
  EXPECT_EQ(HeaderOf(rest, "Content-Range"), "bytes 200000-" + std::to_string(content.size() - 1) +
                                                 "/" + std::to_string(content.size()));
  EXPECT_TRUE(received + rest.body() == content);
}

// --- limits ---

TEST_F(PortalHttp, AnOverlongHeaderIsRefusedAndTheServiceGoesOn) {
  const Reply reply =
      Ask(RequestText("GET", "/api/classes", "X-Padding: " + std::string(20'000, 'a') + "\r\n"));
  // The answer may be lost when the connection closes over the unread rest of the header.
  if (reply.result_int() != 0) {
    EXPECT_EQ(reply.result_int(), 431u);
    EXPECT_EQ(HeaderOf(reply, "Content-Security-Policy"), kPolicy);
  }
  EXPECT_EQ(Get("/api/classes", nullptr, kWu).result_int(), 200u);
  EXPECT_EQ(Get("/api/classes", nullptr, kLi).result_int(), 200u);
}

TEST_F(PortalHttp, AnOverlongFormBodyIsRefused) {
  const Session li = LogIn();
  const std::string pad = "&pad=" + std::string(70'000, 'a');
  const Reply login = Ask(RequestText("POST", "/api/login", "X-Orvo-Csrf: 1\r\n",
                                      "class=C1&id=Wu&password=" + std::string(kPassword) + pad),
                          kWu);
  EXPECT_TRUE(login.result_int() == 0 || login.result_int() == 400u) << login.result_int();
  const Reply mkdir = Post("/api/mkdir", "path=&name=made" + pad, li);
  EXPECT_TRUE(mkdir.result_int() == 0 || mkdir.result_int() == 400u) << mkdir.result_int();
  EXPECT_FALSE(fs::exists(Local("root/C1/Li/made")));
  ASSERT_EQ(service->Server()->OnlineLogins().size(), 1u) << "Wu made no session";
  // A form just under the limit is read.
  EXPECT_EQ(Post("/api/mkdir", "path=&name=made&pad=" + std::string(60'000, 'a'), li).result_int(),
            200u);
}

TEST_F(PortalHttp, AnUploadMustAnnounceALengthWithinTheLimit) {
  const Session li = LogIn();
  // Answered without the body: none is sent.
  Browser large(web, kLi);
  large.Send("POST /api/upload?path=&name=huge.bin HTTP/1.1\r\nHost: orvo\r\n" + li.Headers() +
             "Content-Length: 3000000000\r\n\r\n");
  const auto tooLarge = large.Read();
  ASSERT_TRUE(tooLarge);
  EXPECT_EQ(tooLarge->result_int(), 413u);
  EXPECT_EQ(Code(*tooLarge), "too_large");

  const Reply chunked =
      Ask("POST /api/upload?path=&name=chunked.txt HTTP/1.1\r\nHost: orvo\r\n" + li.Headers() +
          "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
  EXPECT_EQ(chunked.result_int(), 411u);
  EXPECT_EQ(Entries("root/C1/Li"), (std::set<std::string>{"essay.txt", "notes"}));
}

TEST_F(PortalHttp, AnUploadCutOffMidwayKeepsTheOldFileAndNoTemporary) {
  const Session li = LogIn();
  {
    Browser browser(web, kLi);
    browser.Send("POST /api/upload?path=&name=essay.txt HTTP/1.1\r\nHost: orvo\r\n" + li.Headers() +
                 "Content-Length: 100000\r\n\r\n" + std::string(40'000, 'x'));
  }
  ASSERT_TRUE(Eventually([&] { return service->Server()->LiveConnections() == 0; }));
  EXPECT_EQ(TempDir::Read(Local("root/C1/Li/essay.txt")), "Li's essay");
  EXPECT_EQ(Entries("root/C1/Li"), (std::set<std::string>{"essay.txt", "notes"}));
  // The control: a whole upload replaces it.
  EXPECT_EQ(Post("/api/upload?path=&name=essay.txt", "new essay", li).result_int(), 200u);
  EXPECT_EQ(TempDir::Read(Local("root/C1/Li/essay.txt")), "new essay");
  EXPECT_EQ(Entries("root/C1/Li"), (std::set<std::string>{"essay.txt", "notes"}));
}

// --- kept-alive connections ---

TEST_F(PortalHttp, RequestsOnOneConnectionAreAnsweredInOrderPipelinedOrNot) {
  const Session li = LogIn();
  Browser browser(web, kLi);
  browser.Send(RequestText("GET", "/api/me", li.Cookie()));
  const auto first = browser.Read();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->result_int(), 200u);
  EXPECT_TRUE(first->keep_alive());
  browser.Send(RequestText("GET", "/api/classes"));
  const auto second = browser.Read();
  ASSERT_TRUE(second);
  EXPECT_NE(second->body().find("\"listed\""), std::string::npos);

  // Several in one write, a change with its body among them.
  browser.Send(RequestText("GET", "/api/me") +
               RequestText("POST", "/api/mkdir", li.Headers(), "path=&name=piped") +
               RequestText("GET", "/api/list?area=own&path=", li.Cookie()) +
               RequestText("GET", "/api/download?area=own&path=essay.txt", li.Cookie()));
  const auto me = browser.Read();
  const auto made = browser.Read();
  const auto list = browser.Read();
  const auto essay = browser.Read();
  ASSERT_TRUE(me && made && list && essay);
  EXPECT_EQ(me->result_int(), 401u);
  EXPECT_EQ(made->result_int(), 200u);
  EXPECT_NE(list->body().find("\"piped\""), std::string::npos) << list->body();
  EXPECT_EQ(essay->body(), "Li's essay");
}

// --- what every answer carries ---

TEST_F(PortalHttp, EveryAnswerCarriesThePolicyHeaders) {
  const Session li = LogIn();
  const std::string requests[] = {
      RequestText("GET", "/"),
      RequestText("GET", "/login"),
      RequestText("GET", "/files/notes/"),
      RequestText("GET", "/assets/none.js"),
      RequestText("GET", "/api/classes"),
      RequestText("GET", "/api/me"),
      RequestText("GET", "/api/me", li.Cookie()),
      RequestText("GET", "/api/list?area=own&path=", li.Cookie()),
      RequestText("GET", "/api/download?area=own&path=essay.txt", li.Cookie()),
      RequestText("GET", "/api/download?area=own&path=missing.txt", li.Cookie()),
      RequestText("GET", "/api/zip?area=own&path=notes", li.Cookie()),
      RequestText("GET", "/api/list?area=own&path=%zz", li.Cookie()),
      RequestText("POST", "/api/login", "", "class=C1"),
      RequestText("POST", "/api/mkdir", li.Headers(), "path=&name=notes"),
      RequestText("DELETE", "/api/me"),
      "GET /api/me HTTP/1.1\r\nHost orvo\r\n\r\n",  // a broken header
  };
  for (const std::string& request : requests) {
    SCOPED_TRACE(request.substr(0, request.find('\r')));
    const Reply reply = Ask(request);
    ASSERT_NE(reply.result_int(), 0u);
    EXPECT_EQ(HeaderOf(reply, "Content-Security-Policy"), kPolicy);
    EXPECT_EQ(HeaderOf(reply, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(HeaderOf(reply, "Referrer-Policy"), "no-referrer");
  }
}

TEST_F(PortalHttp, AnUploadedPageComesBackAsAnAttachmentOfNoParticularType) {
  const Session li = LogIn();
  const std::string page = "<html><script>alert(document.cookie)</script></html>";
  for (const std::string& name : {std::string("page.html"), std::string("作业.html")}) {
    SCOPED_TRACE(name);
    std::string encoded;
    for (const unsigned char c : name) {
      static const char hex[] = "0123456789ABCDEF";
      encoded += c < 0x80 ? std::string(1, static_cast<char>(c))
                          : std::string{'%', hex[c >> 4], hex[c & 15]};
    }
    ASSERT_EQ(Post("/api/upload?path=&name=" + encoded, page, li).result_int(), 200u);
    EXPECT_EQ(TempDir::Read(Local("root/C1/Li/" + name)), page);
    const Reply download = Get("/api/download?area=own&path=" + encoded, &li);
    ASSERT_EQ(download.result_int(), 200u);
    EXPECT_EQ(download.body(), page);
    EXPECT_EQ(HeaderOf(download, "Content-Type"), "application/octet-stream");
    EXPECT_TRUE(HeaderOf(download, "Content-Disposition").starts_with("attachment"))
        << HeaderOf(download, "Content-Disposition");
    EXPECT_NE(HeaderOf(download, "Content-Disposition").find(encoded.substr(0, 6)),
              std::string::npos)
        << HeaderOf(download, "Content-Disposition");
  }
}

TEST_F(PortalHttp, AFolderDownloadsAsAZipThatReadsBack) {
  dir.Write("root/C1/Li/notes/deeper/b.txt", "note b");
  const Session li = LogIn();
  const Reply zip = Get("/api/zip?area=own&path=notes", &li);
  ASSERT_EQ(zip.result_int(), 200u) << zip.body();
  EXPECT_EQ(HeaderOf(zip, "Content-Type"), "application/zip");
  EXPECT_TRUE(HeaderOf(zip, "Content-Disposition").starts_with("attachment"));
  EXPECT_NE(HeaderOf(zip, "Content-Disposition").find("notes.zip"), std::string::npos);
  std::set<std::pair<std::string, std::string>> files;
  for (const auto& entry : pack::testing::ReadZip(zip.body()).entries) {
    if (!entry.name.ends_with('/')) files.emplace(entry.name, entry.content);
  }
  EXPECT_EQ(files, (std::set<std::pair<std::string, std::string>>{{"a.txt", "note a"},
                                                                  {"deeper/b.txt", "note b"}}));
  // A classmate's folder is not packed by any name.
  EXPECT_EQ(Get("/api/zip?area=own&path=..%2FWu", &li).result_int(), 400u);
}

// --- limits on time: the command-line time shortened to a second ---

class PortalHttpTimes : public PortalHttp {
 protected:
  std::vector<std::pair<std::string, std::string>> Options() const override {
    return {{"CommandLineSeconds", "1"}};
  }
  uint64_t TimedOut(const std::string& address) {
    for (const auto& limited : service->Server()->LimitedAddresses()) {
      if (limited.address == address) return limited.timedOut;
    }
    return 0;
  }
};

TEST_F(PortalHttpTimes, AHalfHeaderIsCutOffInTimeAndCountsAgainstNothingElse) {
  Browser stalled(web, kStranger);
  stalled.Send("GET /api/classes HTTP/1.1\r\nHost: orvo\r\n");
  EXPECT_EQ(Get("/api/classes", nullptr, kWu).result_int(), 200u) << "others are served meanwhile";
  EXPECT_FALSE(stalled.Read()) << "closed without an answer";
  EXPECT_EQ(TimedOut(kStranger), 1u);
  EXPECT_TRUE(service->Server()->BlockedAddresses().empty());
  // The address itself is served and may log in as before.
  EXPECT_EQ(Get("/api/classes", nullptr, kStranger).result_int(), 200u);
  EXPECT_EQ(TryLogIn("C1", "Li", kPassword, kStranger).result_int(), 200u);
}

TEST_F(PortalHttpTimes, AnIdleKeptConnectionIsClosedWithoutAMark) {
  Browser browser(web, kWu);
  browser.Send(RequestText("GET", "/api/classes"));
  const auto answer = browser.Read();
  ASSERT_TRUE(answer);
  EXPECT_TRUE(answer->keep_alive());
  EXPECT_FALSE(browser.Read()) << "closed once the time passed";
  EXPECT_EQ(TimedOut(kWu), 0u);
  EXPECT_TRUE(Eventually([&] { return service->Server()->LiveConnections() == 0; }));
}

#if ORVO_TEST_TLS
// --- HTTPS: a throw-away self-signed certificate made for the test ---

class PortalHttps : public PortalHttp {
 protected:
  void SetUp() override {
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "
        "/CN=localhost -keyout '" +
        Key() + "' -out '" + Certificate() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    PortalHttp::SetUp();
  }
  std::vector<std::pair<std::string, std::string>> Options() const override {
    return {{"HttpsCert", Certificate()}, {"HttpsKey", Key()}};
  }
  std::string Certificate() const { return tls / "cert.pem"; }
  std::string Key() const { return tls / "key.pem"; }

  TempDir tls;  // the certificate and key, in a folder of their own
};

TEST_F(PortalHttps, ServesTlsAndTheCookieIsSecure) {
  namespace asio = boost::asio;
  ASSERT_TRUE(service->HttpSecure());
  asio::io_context io;
  asio::ssl::context context(asio::ssl::context::tls_client);
  context.set_verify_mode(asio::ssl::verify_none);  // the certificate is the test's own
  asio::ssl::stream<asio::ip::tcp::socket> stream(io, context);
  stream.next_layer().connect({asio::ip::make_address("127.0.0.1"), web});
  stream.handshake(asio::ssl::stream_base::client);
  const auto ask = [&](const std::string& request) {
    asio::write(stream, asio::buffer(request));
    boost::beast::flat_buffer buffer;
    Reply reply;
    http::read(stream, buffer, reply);
    return reply;
  };
  const Reply login = ask(RequestText("POST", "/api/login", "X-Orvo-Csrf: 1\r\n",
                                      "class=C1&id=Li&password=" + std::string(kPassword)));
  ASSERT_EQ(login.result_int(), 200u) << login.body();
  const std::string cookie = HeaderOf(login, "Set-Cookie");
  EXPECT_NE(cookie.find("; Secure"), std::string::npos) << cookie;
  EXPECT_NE(cookie.find("; HttpOnly"), std::string::npos) << cookie;
  // The same TLS connection carries the next request.
  const Session li{SessionToken(login), {}};
  const Reply essay = ask(RequestText("GET", "/api/download?area=own&path=essay.txt", li.Cookie()));
  EXPECT_EQ(essay.body(), "Li's essay");
  // Plain HTTP on the TLS port gets no answer.
  EXPECT_EQ(Get("/api/classes").result_int(), 0u);
}

TEST_F(PortalHttps, AMissingKeyFileStopsTheStartNamingTheFile) {
  service->Stop();
  fs::remove(Key());
  try {
    service->Start();
    FAIL() << "started without its key";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(Key()), std::string::npos) << e.what();
  }
  EXPECT_FALSE(service->Running());
}
#endif

}  // namespace
}  // namespace orvo::web
