#include "web/PortalRequests.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "core/SysStringS.h"
#include "net/FileOperations.h"
#include "net/Framing.h"
#include "pack/HostFiles.h"
#include "pack/PackStream.h"
#include "platform/Collation.h"
#include "web/Assets.h"
#include "web/RequestText.h"

namespace orvo::web {
namespace {

constexpr char kSessionCookie[] = "orvo_session";
constexpr char kCsrfHeader[] = "X-Orvo-Csrf";
constexpr char kPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";
// Form bodies (logins, names) are small; anything longer is not a form of ours.
constexpr std::size_t kFormLimit = 64 * 1024;
// Archive bytes gathered before they go out as one chunk.
constexpr std::size_t kChunkBytes = 64 * 1024;

using Fields = std::map<std::string, std::string>;

struct Answer {
  http::status status = http::status::ok;
  std::string body = "{}";
  std::string contentType = "application/json; charset=utf-8";
  std::vector<std::pair<std::string, std::string>> headers;
  bool close = false;  // the request's body was not read: the connection cannot go on
};

Answer Json(std::string body) {
  Answer answer;
  answer.body = std::move(body);
  return answer;
}

Answer Failure(http::status status, std::string_view message, std::string_view code,
               std::string extra = {}) {
  Answer answer;
  answer.status = status;
  answer.body = "{\"error\":" + JsonString(message) + ",\"code\":" + JsonString(code) + extra + "}";
  return answer;
}

// The headers every answer carries: nothing of ours runs scripts or styles from elsewhere, is
// framed, sniffed into another type or tells other sites where the student was.
template <class Message>
void Harden(Message& message, bool cacheable) {
  message.set("Content-Security-Policy", kPolicy);
  message.set("X-Content-Type-Options", "nosniff");
  message.set("X-Frame-Options", "DENY");
  message.set("Referrer-Policy", "no-referrer");
  message.set(http::field::cache_control, cacheable ? "no-cache" : "no-store");
}

Answer FromOutcome(net::FileOutcome outcome) {
  using net::FileOutcome;
  switch (outcome) {
    case FileOutcome::Done:
      return {};
    case FileOutcome::Refused:
      return Failure(http::status::forbidden,
                     "不能在这里这样做（名称不可用，或者是受保护的文件夹）。", "refused");
    case FileOutcome::NotFound:
      return Failure(http::status::not_found, "找不到这个文件或文件夹。", "not_found");
    case FileOutcome::Exists:
      return Failure(http::status::conflict, "已经有同名的文件或文件夹。", "exists");
    case FileOutcome::NotEmpty:
      return Failure(http::status::conflict, "文件夹里还有内容，不能删除。", "not_empty");
    case FileOutcome::InUse:
      return Failure(http::status::conflict, "文件正在被使用，请稍后再试。", "busy");
    case FileOutcome::NoSpace:
      return Failure(http::status::insufficient_storage,
                     "空间不足：超出了磁盘的保留空间或你的文件夹限额。", "no_space");
    case FileOutcome::Failed:
      break;
  }
  return Failure(http::status::internal_server_error, "操作没有成功，请再试一次。", "failed");
}

// "2026-12-11 09:30" in the service's local time.
std::string ModifiedText(uint64_t fileTime) {
  std::tm local{};
  if (!pack::host::ToLocalTime(static_cast<std::time_t>(platform::FileTimeToUnixSeconds(fileTime)),
                               local)) {
    return {};
  }
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
  return text;
}

std::string Join(const std::vector<std::string>& levels, char separator) {
  std::string joined;
  for (const std::string& level : levels) {
    if (!joined.empty()) joined += separator;
    joined += level;
  }
  return joined;
}

// Sends the archive's bytes as chunks of a chunked answer.
class ChunkSink final : public pack::ArchiveSink {
 public:
  explicit ChunkSink(Exchange& exchange) : exchange_(exchange) {}
  void Write(const char* data, std::size_t size) override {
    pending_.append(data, size);
    if (pending_.size() >= kChunkBytes) Flush();
  }
  void Finish() {
    Flush();
    if (!exchange_.WriteRaw("0\r\n\r\n", 5)) throw net::ConnectionError("browser gone");
  }

 private:
  void Flush() {
    if (pending_.empty()) return;
    char size[24];
    const int n = std::snprintf(size, sizeof size, "%zx\r\n", pending_.size());
    pending_.insert(0, size, static_cast<std::size_t>(n));
    pending_ += "\r\n";
    if (!exchange_.WriteRaw(pending_.data(), pending_.size())) {
      throw net::ConnectionError("browser gone");
    }
    pending_.clear();
  }

  Exchange& exchange_;
  std::string pending_;
};

struct NoProgress final : pack::PackProgress {
  void FilePacking(const std::string&) override {}
};

// One request on its way through the portal.
class Request {
 public:
  Request(Exchange& exchange, const std::string& address, bool secure, net::TOrvoServer& server,
          core::ServiceState& state)
      : exchange_(exchange), address_(address), secure_(secure), server_(server), state_(state) {}

  bool Serve() {
    const auto& header = exchange_.Header();
    const auto target =
        ParseTarget(std::string_view(header.target().data(), header.target().size()));
    if (!target) return Send(Failure(http::status::bad_request, "请求的地址无效。", "bad_request"));
    target_ = *target;
    const std::string& path = target_.path;
    if (header.method() == http::verb::get) return Send(Get(path));
    if (header.method() == http::verb::post) return Send(Post(path));
    Answer answer = Failure(http::status::method_not_allowed, "不支持这种请求。", "bad_method");
    answer.headers.emplace_back("Allow", "GET, POST");
    return Send(answer);
  }

 private:
  // --- answers ---

  bool Send(const Answer& answer) {
    if (answer.status == http::status::ok && streamed_) return keep_;
    Response response{answer.status, exchange_.Header().version()};
    response.set(http::field::content_type, answer.contentType);
    for (const auto& [name, value] : answer.headers) response.set(name, value);
    Harden(response, cacheable_);
    response.body() = answer.body;
    const bool keep = keep_ && !answer.close && exchange_.KeepAlive();
    response.keep_alive(keep);
    response.prepare_payload();
    return exchange_.Write(response) && keep;
  }

  Answer Page(std::string_view name) {
    const Asset* asset = FindAsset(name);
    if (asset == nullptr) {
      return Failure(http::status::not_found, "没有这个页面。", "not_found");
    }
    cacheable_ = true;
    Answer answer;
    answer.body = std::string(asset->body);
    answer.contentType = std::string(asset->contentType);
    return answer;
  }

  static Answer Redirect(std::string_view to) {
    Answer answer;
    answer.status = http::status::found;
    answer.body.clear();
    answer.contentType = "text/plain; charset=utf-8";
    answer.headers.emplace_back("Location", std::string(to));
    return answer;
  }

  // --- sessions ---

  std::optional<net::WebSession> Session(std::string_view note) {
    const auto& header = exchange_.Header();
    const auto cookie = header.find(http::field::cookie);
    if (cookie == header.end()) return std::nullopt;
    const auto token = CookieValue(std::string_view(cookie->value().data(), cookie->value().size()),
                                   kSessionCookie);
    if (!token) return std::nullopt;
    return server_.LiveWebSession(*token, "网页 " + std::string(note));
  }

  std::string SessionCookie(const std::string& token, bool clear) const {
    std::string cookie = std::string(kSessionCookie) + "=" + (clear ? "" : token) +
                         "; Path=/; HttpOnly; SameSite=Strict";
    if (clear) cookie += "; Max-Age=0";
    if (secure_) cookie += "; Secure";
    return cookie;
  }

  static Answer NoSession() {
    return Failure(http::status::unauthorized, "请先登录。", "no_session");
  }

  // --- what a request names ---

  // The client path of `levels` in the area the query names, for `login`; nullopt when the area
  // is unknown or the service has no such folder.
  std::optional<std::string> ClientPath(const net::FileRoots& roots, std::string_view area,
                                        const std::vector<std::string>& levels) const {
    const std::string* base = area == "own"      ? &roots.rootPath
                              : area == "public" ? &roots.publicPath
                                                 : nullptr;
    if (base == nullptr || base->empty()) return std::nullopt;
    std::string path = *base;
    for (const std::string& level : levels) path += '\\' + level;
    return path;
  }

  std::optional<std::vector<std::string>> Levels(const Fields& fields, const char* key) const {
    const auto it = fields.find(key);
    return RelativeLevels(it == fields.end() ? std::string_view() : std::string_view(it->second));
  }

  std::string Field(const Fields& fields, const char* key) const {
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
  }

  // --- GET ---

  Answer Get(const std::string& path) {
    if (path == "/") return Redirect(Session("GET /") ? "/files/" : "/login");
    if (path == "/login") return Page("login.html");
    if (path == "/password") return Page("password.html");
    if (path == "/files" || path.starts_with("/files/") || path == "/public" ||
        path.starts_with("/public/")) {
      return Page("files.html");
    }
    if (path.starts_with("/assets/")) return Page(std::string_view(path).substr(8));
    if (path == "/api/classes") return Classes();
    if (path == "/api/me") return Me();
    if (path == "/api/list" || path == "/api/download" || path == "/api/zip") {
      const std::string area = Field(target_.query, "area");
      const auto levels = Levels(target_.query, "path");
      const auto session =
          Session(path.substr(5) + " " + area + "/" + Field(target_.query, "path"));
      if (!session) return NoSession();
      if (!levels) return Failure(http::status::bad_request, "路径无效。", "bad_path");
      const net::FileRoots roots = server_.FileRootsOf(session->login);
      const auto clientPath = ClientPath(roots, area, *levels);
      if (!clientPath) return Failure(http::status::not_found, "没有这个位置。", "not_found");
      if (path == "/api/list") return List(area, *levels, *clientPath, roots);
      const std::string name = levels->empty() ? session->login.name : levels->back();
      if (path == "/api/download") return Download(*clientPath, name, roots);
      return Zip(*clientPath, name, roots);
    }
    return Failure(http::status::not_found, "没有这个页面。", "not_found");
  }

  Answer Classes() {
    net::AccountCommands* accounts = server_.Accounts();
    const auto classes = accounts ? accounts->ListedClasses() : std::nullopt;
    if (!classes) return Json("{\"listed\":false}");
    std::string list;
    for (const std::string& name : *classes) {
      if (!list.empty()) list += ',';
      list += JsonString(name);
    }
    return Json("{\"listed\":true,\"classes\":[" + list + "]}");
  }

  Answer Me() {
    const auto session = Session("GET /api/me");
    if (!session) return NoSession();
    const net::LoginRecord& login = session->login;
    return Json("{\"name\":" + JsonString(login.userName) +
                ",\"class\":" + JsonString(login.group) + ",\"id\":" + JsonString(login.name) +
                ",\"csrf\":" + JsonString(login.csrf) + "}");
  }

  Answer List(const std::string& area, const std::vector<std::string>& levels,
              const std::string& clientPath, const net::FileRoots& roots) {
    auto entries = net::ListFolder(clientPath, roots);
    if (!entries) return Failure(http::status::not_found, "找不到这个文件夹。", "not_found");
    const platform::NameOrder byName;
    std::sort(entries->begin(), entries->end(), [&](const auto& a, const auto& b) {
      if (a.IsFolder() != b.IsFolder()) return a.IsFolder();
      return byName(a.name, b.name);
    });
    std::string list;
    for (const platform::FindData& entry : *entries) {
      // Upload temporaries and hidden files are the service's and the system's business.
      if (entry.name.starts_with('.')) continue;
      if (!list.empty()) list += ',';
      list += "{\"name\":" + JsonString(entry.name) +
              ",\"folder\":" + (entry.IsFolder() ? "true" : "false") +
              ",\"size\":" + std::to_string(entry.IsFolder() ? 0 : entry.size) +
              ",\"modified\":" + JsonString(ModifiedText(entry.lastWriteTime)) + "}";
    }
    return Json("{\"area\":" + JsonString(area) + ",\"path\":" + JsonString(Join(levels, '/')) +
                ",\"entries\":[" + list + "]}");
  }

  Answer Download(const std::string& clientPath, const std::string& name,
                  const net::FileRoots& roots) {
    auto use = net::ClaimDownload(clientPath, roots);
    if (!use)
      return Failure(http::status::not_found, "找不到这个文件，或它正在被写入。", "not_found");
    const uint64_t size = use->Size();
    const auto& header = exchange_.Header();
    const auto range = header.find(http::field::range);
    const RangeAnswer wanted =
        range == header.end()
            ? RangeAnswer{}
            : ParseRange(std::string_view(range->value().data(), range->value().size()), size);
    if (wanted.kind == RangeKind::Unsatisfiable) {
      Answer answer =
          Failure(http::status::range_not_satisfiable, "请求的范围超出了文件。", "bad_range");
      answer.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
      return answer;
    }
    const bool partial = wanted.kind == RangeKind::Partial;
    const uint64_t first = partial ? wanted.range.first : 0;
    const uint64_t count = partial ? wanted.range.last - wanted.range.first + 1 : size;
    HeaderOnly response{partial ? http::status::partial_content : http::status::ok,
                        header.version()};
    response.set(http::field::content_type, "application/octet-stream");
    response.set(http::field::content_disposition, AttachmentDisposition(name));
    response.set(http::field::accept_ranges, "bytes");
    if (partial) {
      response.set(http::field::content_range, "bytes " + std::to_string(first) + "-" +
                                                   std::to_string(wanted.range.last) + "/" +
                                                   std::to_string(size));
    }
    Harden(response, false);
    response.content_length(count);
    response.keep_alive(exchange_.KeepAlive());
    platform::File* file = use->OpenFile();
    try {
      file->Seek(first);
    } catch (const std::system_error&) {
      return Failure(http::status::internal_server_error, "读取文件失败。", "failed");
    }
    streamed_ = true;
    keep_ = exchange_.WriteHeader(response) && exchange_.WriteFile(*file, count) &&
            exchange_.KeepAlive();
    return {};
  }

  Answer Zip(const std::string& clientPath, const std::string& name, const net::FileRoots& roots) {
    const auto folder = net::ResolveFolder(clientPath, roots);
    if (!folder) return Failure(http::status::not_found, "找不到这个文件夹。", "not_found");
    HeaderOnly response{http::status::ok, exchange_.Header().version()};
    response.set(http::field::content_type, "application/zip");
    response.set(http::field::content_disposition, AttachmentDisposition(name + ".zip"));
    Harden(response, false);
    response.chunked(true);
    response.keep_alive(exchange_.KeepAlive());
    streamed_ = true;
    keep_ = false;
    if (!exchange_.WriteHeader(response)) return {};
    ChunkSink sink(exchange_);
    NoProgress progress;
    // The archive holds what the student may reach: no link leads out of the folder.
    pack::PackOptions options;
    options.confined = true;
    try {
      pack::PackFolderToStream(*folder, sink, progress,
                               std::filesystem::temp_directory_path().string(), options);
      sink.Finish();
      keep_ = exchange_.KeepAlive();
    } catch (const std::exception&) {
      // The archive is cut off; ending the connection tells the browser it is incomplete.
    }
    return {};
  }

  // --- POST ---

  Answer Post(const std::string& path) {
    const auto& header = exchange_.Header();
    const auto csrf = header.find(kCsrfHeader);
    // A form posted from another site cannot carry this header at all.
    if (csrf == header.end() || csrf->value().empty()) return Forbidden();
    const std::string_view token(csrf->value().data(), csrf->value().size());
    if (path == "/api/login") return Login();
    const auto session = Session("POST " + path);
    if (!session) return Unread(NoSession());
    if (token != session->login.csrf) return Forbidden();
    if (path == "/api/upload") return Upload(*session);
    const auto body = exchange_.ReadBody(kFormLimit);
    const auto fields = body ? ParseForm(*body) : std::nullopt;
    if (!fields) {
      return Unread(Failure(http::status::bad_request, "提交的内容无效。", "bad_request"));
    }
    if (path == "/api/logout") {
      server_.EndWebSession(session->token);
      Answer answer;
      answer.headers.emplace_back("Set-Cookie", SessionCookie({}, true));
      return answer;
    }
    if (path == "/api/password") return ChangePassword(*session, *fields);
    if (path == "/api/mkdir" || path == "/api/rename" || path == "/api/delete") {
      return Change(path, *session, *fields);
    }
    return Failure(http::status::not_found, "没有这个操作。", "not_found");
  }

  static Answer Forbidden() {
    return Unread(Failure(http::status::forbidden, "请求被拒绝：请从本站的页面操作。", "csrf"));
  }

  // An answer given without reading the request's body: the connection ends after it.
  static Answer Unread(Answer answer) {
    answer.close = true;
    return answer;
  }

  Answer Login() {
    const auto body = exchange_.ReadBody(kFormLimit);
    const auto fields = body ? ParseForm(*body) : std::nullopt;
    if (!fields)
      return Unread(Failure(http::status::bad_request, "提交的内容无效。", "bad_request"));
    const std::string group = Field(*fields, "class");
    const std::string id = Field(*fields, "id");
    if (group.empty() || id.empty()) {
      return Failure(http::status::bad_request, "请填写班级和学号。", "bad_request");
    }
    state_.sysLog.Add("WEB LOGIN " + address_ + " " + group + " " + id);
    const auto result = server_.WebLogin(address_, group, id, Field(*fields, "password"));
    const net::LoginAttempt& attempt = result.attempt;
    if (result.session) {
      Answer answer = Json("{\"name\":" + JsonString(result.session->login.userName) +
                           ",\"class\":" + JsonString(group) + ",\"id\":" + JsonString(id) + "}");
      answer.headers.emplace_back("Set-Cookie", SessionCookie(result.session->token, false));
      return answer;
    }
    if (attempt.refusal == net::LoginRefusal::NotLessonTime) {
      return Failure(http::status::forbidden, "现在不是你们班的上课时间，不能登录。", "not_lesson");
    }
    if (attempt.refusal == net::LoginRefusal::Blocked || attempt.blockedMs > 0) {
      const uint32_t minutes = std::max<uint32_t>(1, (attempt.blockedMs + 59'999) / 60'000);
      return Failure(http::status::too_many_requests,
                     "尝试次数太多，请 " + std::to_string(minutes) + " 分钟后再试。", "blocked",
                     ",\"waitMinutes\":" + std::to_string(minutes));
    }
    return Failure(http::status::unauthorized, "班级、学号或密码不正确。", "wrong_password");
  }

  Answer ChangePassword(const net::WebSession& session, const Fields& fields) {
    const std::string newPassword = Field(fields, "new");
    if (newPassword.empty()) {
      return Failure(http::status::bad_request, "新密码不能为空。", "empty_password");
    }
    net::AccountCommands* accounts = server_.Accounts();
    if (accounts == nullptr ||
        !accounts->ChangeOwnPassword(session.login, Field(fields, "old"), newPassword)) {
      return Failure(http::status::forbidden, "原密码不正确。", "wrong_password");
    }
    return {};
  }

  // Changes reach the own folder only: one asked of another area is refused, never carried out in
  // the own folder instead.
  static bool OtherArea(const Fields& fields) {
    const auto it = fields.find("area");
    return it != fields.end() && it->second != "own";
  }

  static Answer ReadOnly() {
    return Failure(http::status::forbidden, "课堂资源只能浏览和下载。", "read_only");
  }

  Answer Change(const std::string& path, const net::WebSession& session, const Fields& fields) {
    if (OtherArea(fields) || OtherArea(target_.query)) return ReadOnly();
    const auto folder = Levels(fields, "path");
    if (!folder) return Failure(http::status::bad_request, "路径无效。", "bad_path");
    const net::FileRoots roots = server_.FileRootsOf(session.login);
    const auto base = ClientPath(roots, "own", *folder);
    if (!base) return Failure(http::status::not_found, "没有这个位置。", "not_found");
    const std::string name = Field(fields, path == "/api/rename" ? "from" : "name");
    if (!IsEntryName(name)) return Failure(http::status::bad_request, "名称无效。", "bad_name");
    const std::string clientPath = *base + '\\' + name;
    if (path == "/api/mkdir") {
      state_.sysLog.Add("WEB MKDIR " + clientPath);
      return FromOutcome(net::MakeFolders(clientPath, roots));
    }
    if (path == "/api/delete") {
      state_.sysLog.Add("WEB DELETE " + clientPath);
      return FromOutcome(net::DeleteEntry(clientPath, roots));
    }
    const std::string to = Field(fields, "to");
    if (!IsEntryName(to)) return Failure(http::status::bad_request, "新名称无效。", "bad_name");
    state_.sysLog.Add("WEB MOVE " + clientPath + "|" + *base + '\\' + to);
    return FromOutcome(net::MoveEntryTo(clientPath, *base + '\\' + to, roots, true));
  }

  Answer Upload(const net::WebSession& session) {
    if (OtherArea(target_.query)) return Unread(ReadOnly());
    const auto folder = Levels(target_.query, "path");
    const std::string name = Field(target_.query, "name");
    if (!folder || !IsEntryName(name)) {
      return Unread(Failure(http::status::bad_request, "文件名或路径无效。", "bad_name"));
    }
    const auto length = exchange_.BodyLength();
    if (!length) {
      return Unread(Failure(http::status::length_required, "上传需要给出文件大小。", "length"));
    }
    if (*length > net::kMaxCountedBlockBytes) {
      return Unread(
          Failure(http::status::payload_too_large, "文件超过 2 GB，不能上传。", "too_large"));
    }
    const net::FileRoots roots = server_.FileRootsOf(session.login);
    const auto base = ClientPath(roots, "own", *folder);
    if (!base) return Unread(Failure(http::status::not_found, "没有这个位置。", "not_found"));
    const std::string clientPath = *base + '\\' + name;
    state_.sysLog.Add("WEB PUT " + clientPath);
    bool whole = false;
    const net::FileOutcome outcome =
        net::ReceiveUpload(clientPath, roots, [&](net::ByteSink& sink) {
          sink.Reserve(*length);
          if (!exchange_.Continue()) throw net::ConnectionError("browser gone");
          whole = exchange_.ReadBodyInto(
              *length, [&](const char* data, std::size_t size) { sink.Write(data, size); });
          // A body that broke off must not replace the old file.
          if (!whole) throw net::ConnectionError("upload broken off");
        });
    Answer answer = FromOutcome(outcome);
    answer.close = !whole;
    return answer;
  }

  Exchange& exchange_;
  const std::string& address_;
  bool secure_;
  net::TOrvoServer& server_;
  core::ServiceState& state_;
  Target target_;
  bool cacheable_ = false;
  bool streamed_ = false;  // the answer went out already (a download or an archive)
  bool keep_ = true;
};

}  // namespace

bool PortalRequests::Handle(Exchange& exchange, const std::string& address, bool secure) {
  try {
    return Request(exchange, address, secure, server_, state_).Serve();
  } catch (const std::exception&) {
    // A broken connection or a database failure: the connection ends without an answer.
    return false;
  }
}

void PortalRequests::Refuse(Exchange& exchange, bool headerTooLong) {
  Response response{
      headerTooLong ? http::status::request_header_fields_too_large : http::status::bad_request,
      11};
  response.set(http::field::content_type, "application/json; charset=utf-8");
  Harden(response, false);
  response.body() = headerTooLong ? R"({"error":"请求头太长。","code":"header_too_large"})"
                                  : R"({"error":"请求无效。","code":"bad_request"})";
  response.keep_alive(false);
  response.prepare_payload();
  exchange.Write(response);
}

}  // namespace orvo::web
