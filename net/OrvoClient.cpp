#include "net/OrvoClient.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>

#include "core/TextList.h"
#include "platform/ByteOrder.h"
#include "platform/ClientSocket.h"
#include "platform/PendingFile.h"
#include "platform/Utf8Path.h"

namespace orvo::net {
namespace {

using Kind = ClientError::Kind;

// Larger than the server's pieces: fewer system calls on a client that only streams.
constexpr std::size_t kClientPieceBytes = 256 * 1024;
constexpr std::string_view kLineEnd = "\r\n";

std::string ClosedAfter(uint64_t done, uint64_t total) {
  return "connection closed after " + std::to_string(done) + " of " + std::to_string(total) +
         " bytes";
}

// A count with the top bit set is the until-close form, which only uploads may use.
uint32_t ReplyCount(std::string_view fourBytes) {
  const uint32_t count = platform::LoadBe32(fourBytes);
  if (count > kMaxCountedBlockBytes) {
    throw ClientError(Kind::Protocol, "bad reply: a block count of " + std::to_string(count));
  }
  return count;
}

void CheckLine(std::string_view line) {
  if (line.find(kLineEnd) != std::string_view::npos) {
    throw ClientError(Kind::Refused, "a command cannot contain CR LF");
  }
  if (line.size() > kMaxCommandLineBytes) {
    throw ClientError(Kind::Refused, "the command is " + std::to_string(line.size()) +
                                         " bytes long; the server takes at most " +
                                         std::to_string(kMaxCommandLineBytes));
  }
}

void CheckNoBlank(std::string_view what, std::string_view text) {
  if (text.find(' ') != std::string_view::npos) {
    throw ClientError(Kind::Refused, std::string(what) + " cannot contain a blank");
  }
}

std::string Command(std::string_view word, std::string_view param) {
  std::string line(word);
  line += ' ';
  line += param;
  return line;
}

std::string ErrnoText() {
  return std::strerror(errno);
}

class StringSink final : public ByteSink {
 public:
  void Reserve(uint64_t size) override { bytes.reserve(static_cast<std::size_t>(size)); }
  void Write(const char* data, std::size_t size) override { bytes.append(data, size); }
  std::string bytes;
};

// Writes to `path`; failures name `shownPath`, the file the user asked for.
class FileSink final : public ByteSink {
 public:
  FileSink(const std::filesystem::path& path, const std::filesystem::path& shownPath)
      : shownPath_(shownPath) {
    out_.rdbuf()->pubsetbuf(buffer_.get(), kClientPieceBytes);
    out_.open(path, std::ios::binary | std::ios::trunc);
    if (!out_) Fail();
  }
  void Reserve(uint64_t) override {}
  void Write(const char* data, std::size_t size) override {
    if (!out_.write(data, static_cast<std::streamsize>(size))) Fail();
  }
  void Close() {
    out_.close();
    if (!out_) Fail();
  }

 private:
  [[noreturn]] void Fail() {
    throw ClientError(Kind::Local,
                      "cannot write " + platform::PathText(shownPath_) + ": " + ErrnoText());
  }
  std::filesystem::path shownPath_;
  std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kClientPieceBytes);
  std::ofstream out_;
};

// The download goes to a hidden name beside its target, so a broken one leaves the old file.
std::filesystem::path TemporaryBeside(const std::filesystem::path& target) {
  const std::string prefix = "." + platform::PathText(target.filename()) + ".orvo-";
  return platform::Utf8Path(platform::NameBeside(platform::PathText(target), prefix));
}

}  // namespace

// One connection carrying one request; socket failures become ClientErrors.
class OrvoClient::Exchange {
 public:
  // Connects and sends the command line followed by `firstBytes`.
  Exchange(const OrvoClient& client, std::string_view line, std::string_view firstBytes = {})
      : client_(client) {
    CheckLine(line);
    try {
      socket_ = platform::ClientSocket::Connect(client.host_, client.port_, client.timeoutMs_,
                                                client.source_);
    } catch (const platform::SocketError& error) {
      throw ClientError(Kind::Connect, error.what());
    }
    std::string head(line);
    head += kLineEnd;
    head += firstBytes;
    Send(head.data(), head.size(), [] { return std::string("connection closed while sending"); });
  }

  template <typename Describe>
  void Send(const char* data, std::size_t size, const Describe& describe) {
    try {
      socket_.SendAll(data, size);
    } catch (const platform::SocketTimeout&) {
      throw TimedOut();
    } catch (const platform::SocketError&) {
      throw ClientError(Kind::Truncated, describe());
    }
  }

  // At most `size` bytes; 0 once the server closed.
  std::size_t Receive(char* data, std::size_t size) {
    try {
      return socket_.Receive(data, size);
    } catch (const platform::SocketTimeout&) {
      throw TimedOut();
    } catch (const platform::SocketError& error) {
      throw ClientError(Kind::Truncated, error.what());
    }
  }

  // Fills `data` unless the server closes first; returns how many bytes arrived.
  std::size_t ReceiveUpTo(char* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
      const std::size_t n = Receive(data + got, size - got);
      if (n == 0) break;
      got += n;
    }
    return got;
  }

  std::string ReceiveUntilClose() {
    std::string bytes;
    const auto buffer = std::make_unique<char[]>(kClientPieceBytes);
    for (;;) {
      const std::size_t n = Receive(buffer.get(), kClientPieceBytes);
      if (n == 0) return bytes;
      bytes.append(buffer.get(), n);
    }
  }

  // Waits for the close that ends a reply; anything more is not a reply of this protocol.
  void ExpectClose() {
    char extra[512];
    const std::size_t n = Receive(extra, sizeof extra);
    if (n != 0) {
      throw ClientError(Kind::Protocol, "unexpected bytes after the reply");
    }
  }

 private:
  ClientError TimedOut() const {
    return ClientError(Kind::Timeout, "no answer from " +
                                          platform::FormatEndpoint(client_.host_, client_.port_) +
                                          " within " + std::to_string(client_.timeoutMs_) + " ms");
  }

  const OrvoClient& client_;
  platform::ClientSocket socket_;
};

std::vector<ListingEntry> DecodeListReply(std::string_view reply) {
  if (reply.empty()) throw ClientError(Kind::NoReply, "no reply");
  if (reply.size() < 4) throw ClientError(Kind::Truncated, ClosedAfter(reply.size(), 4));
  const uint32_t count = platform::LoadLe32(reply);
  const std::string_view records = reply.substr(4);
  if (count % kListingRecordBytes != 0) {
    throw ClientError(Kind::Protocol, "bad reply: " + std::to_string(count) +
                                          " bytes of listing records is not a whole number of "
                                          "records");
  }
  if (records.size() < count)
    throw ClientError(Kind::Truncated, ClosedAfter(records.size(), count));
  if (records.size() > count) throw ClientError(Kind::Protocol, "unexpected bytes after the reply");
  std::vector<ListingEntry> entries;
  entries.reserve(count / kListingRecordBytes);
  for (std::size_t at = 0; at < count; at += kListingRecordBytes) {
    entries.push_back(DecodeListingRecord(records.substr(at, kListingRecordBytes)));
  }
  return entries;
}

std::vector<std::string> DecodeTextListReply(std::string_view reply) {
  if (reply.empty()) throw ClientError(Kind::NoReply, "no reply");
  if (reply.size() < 4) throw ClientError(Kind::Truncated, ClosedAfter(reply.size(), 4));
  const uint32_t count = ReplyCount(reply);
  const std::string_view payload = reply.substr(4);
  if (payload.size() < count)
    throw ClientError(Kind::Truncated, ClosedAfter(payload.size(), count));
  if (payload.size() > count) throw ClientError(Kind::Protocol, "unexpected bytes after the reply");
  return core::DecodeTextList(payload);
}

OrvoClient::OrvoClient(std::string host, uint16_t port) : host_(std::move(host)), port_(port) {}

std::string OrvoClient::Request(std::string_view line,
                                std::optional<std::string_view> upload) const {
  Exchange exchange(*this, line, upload.value_or(std::string_view()));
  return exchange.ReceiveUntilClose();
}

std::vector<ListingEntry> OrvoClient::List(std::string_view pattern) const {
  return DecodeListReply(Request(Command("LIST", pattern)));
}

uint64_t OrvoClient::Get(std::string_view remote, ByteSink& sink, const Progress& progress) const {
  Exchange exchange(*this, Command("GET", remote));
  char head[4];
  const std::size_t headBytes = exchange.ReceiveUpTo(head, sizeof head);
  if (headBytes == 0) throw ClientError(Kind::NoReply, "no reply");
  if (headBytes < sizeof head) throw ClientError(Kind::Truncated, ClosedAfter(headBytes, 4));
  const uint32_t total = ReplyCount(std::string_view(head, sizeof head));
  sink.Reserve(total);
  if (progress) progress(0, total);
  const auto buffer = std::make_unique<char[]>(kClientPieceBytes);
  uint64_t done = 0;
  while (done < total) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<uint64_t>(kClientPieceBytes, total - done));
    const std::size_t n = exchange.Receive(buffer.get(), want);
    if (n == 0) throw ClientError(Kind::Truncated, ClosedAfter(done, total));
    sink.Write(buffer.get(), n);
    done += n;
    if (progress) progress(done, total);
  }
  exchange.ExpectClose();
  return total;
}

std::string OrvoClient::GetBytes(std::string_view remote) const {
  StringSink sink;
  Get(remote, sink);
  return std::move(sink.bytes);
}

uint64_t OrvoClient::GetToFile(std::string_view remote, const std::filesystem::path& local,
                               const Progress& progress) const {
  const std::filesystem::path temporary = TemporaryBeside(local);
  try {
    FileSink sink(temporary, local);
    const uint64_t size = Get(remote, sink, progress);
    sink.Close();
    std::error_code error;
    std::filesystem::rename(temporary, local, error);
    if (error) {
      throw ClientError(Kind::Local,
                        "cannot write " + platform::PathText(local) + ": " + error.message());
    }
    return size;
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw;
  }
}

void OrvoClient::Put(const std::filesystem::path& local, std::string_view remote,
                     const Progress& progress) const {
  std::error_code error;
  const auto status = std::filesystem::status(local, error);
  if (error)
    throw ClientError(Kind::Local,
                      "cannot read " + platform::PathText(local) + ": " + error.message());
  if (!std::filesystem::is_regular_file(status)) {
    throw ClientError(Kind::Local, platform::PathText(local) + " is not a file");
  }
  const uint64_t total = std::filesystem::file_size(local, error);
  if (error)
    throw ClientError(Kind::Local,
                      "cannot read " + platform::PathText(local) + ": " + error.message());
  if (total > kMaxUploadBytes) {
    throw ClientError(Kind::Refused, platform::PathText(local) + " holds " + std::to_string(total) +
                                         " bytes; an upload can carry at most " +
                                         std::to_string(kMaxUploadBytes));
  }
  std::ifstream in(local, std::ios::binary);
  if (!in)
    throw ClientError(Kind::Local, "cannot read " + platform::PathText(local) + ": " + ErrnoText());

  Exchange exchange(*this, Command("PUT", remote), EncodeCount(static_cast<uint32_t>(total)));
  if (progress) progress(0, total);
  const auto buffer = std::make_unique<char[]>(kClientPieceBytes);
  uint64_t done = 0;
  while (done < total) {
    const auto want =
        static_cast<std::streamsize>(std::min<uint64_t>(kClientPieceBytes, total - done));
    in.read(buffer.get(), want);
    const auto got = static_cast<std::size_t>(in.gcount());
    // Closing the connection short of the announced count makes the server drop the upload.
    if (got == 0) {
      throw ClientError(Kind::Local,
                        platform::PathText(local) + " shrank while it was being uploaded");
    }
    exchange.Send(buffer.get(), got, [&] { return ClosedAfter(done, total); });
    done += got;
    if (progress) progress(done, total);
  }
  exchange.ExpectClose();
}

void OrvoClient::PutBytes(std::string_view bytes, std::string_view remote) const {
  if (bytes.size() > kMaxUploadBytes) {
    throw ClientError(Kind::Refused,
                      "an upload can carry at most " + std::to_string(kMaxUploadBytes) + " bytes");
  }
  std::string block = EncodeCount(static_cast<uint32_t>(bytes.size()));
  block += bytes;
  Exchange exchange(*this, Command("PUT", remote), block);
  exchange.ExpectClose();
}

void OrvoClient::ExpectNoReply(std::string_view line) const {
  Exchange exchange(*this, line);
  exchange.ExpectClose();
}

void OrvoClient::MkDir(std::string_view path) const {
  ExpectNoReply(Command("MKDIR", path));
}

void OrvoClient::Delete(std::string_view path) const {
  ExpectNoReply(Command("DELETE", path));
}

void OrvoClient::Move(std::string_view source, std::string_view target) const {
  if (source.find('|') != std::string_view::npos) {
    throw ClientError(Kind::Refused, "a path containing '|' cannot be moved");
  }
  std::string param(source);
  param += '|';
  param += target;
  ExpectNoReply(Command("MOVE", param));
}

namespace {
// "class login-id password": the first two may hold no blank, the password may.
std::string AccountParam(std::string_view group, std::string_view userId,
                         std::string_view password) {
  CheckNoBlank("a class name", group);
  CheckNoBlank("a login id", userId);
  std::string param(group);
  param.append(" ").append(userId).append(" ").append(password);
  return param;
}
}  // namespace

std::vector<std::string> OrvoClient::SysLog() const {
  return DecodeTextListReply(Request("GETSYSLOG"));
}

std::vector<std::string> OrvoClient::Login(std::string_view group, std::string_view userId,
                                           std::string_view password) const {
  return DecodeTextListReply(Request(Command("LOGIN", AccountParam(group, userId, password))));
}

void OrvoClient::ChangePassword(std::string_view group, std::string_view userId,
                                std::string_view newPassword) const {
  ExpectNoReply(Command("CHGPSW", AccountParam(group, userId, newPassword)));
}

std::vector<std::string> OrvoClient::StudentList(std::string_view group) const {
  return DecodeTextListReply(Request(Command("ULIST", group)));
}

std::vector<std::string> OrvoClient::ClassList() const {
  return DecodeTextListReply(Request("GLIST"));
}

}  // namespace orvo::net
