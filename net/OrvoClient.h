// The protocol client: every operation opens one TCP connection, sends one command line (and for
// PUT one counted block), reads the reply until the server closes, and decodes it. Used by the
// `orvo` program and the end-to-end tests.
// An OrvoClient holds only its settings, so one object may serve several threads at once.
// Every failure raises ClientError with a message meant for a person.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/Framing.h"
#include "net/ListingRecord.h"

namespace orvo::net {

class ClientError : public std::runtime_error {
 public:
  enum class Kind {
    Connect,    // no connection to the server
    NoReply,    // the server closed without sending a byte where a reply was due
    Truncated,  // the reply (or an upload) broke off part-way
    Protocol,   // bytes that are not a valid reply
    Refused,    // the client would not send the request (too large, unsafe characters)
    Local,      // a local file could not be read or written
    Timeout,    // the server made no progress within the client's time limit
  };
  ClientError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

// Bytes done and bytes in all, called after every piece of a transfer.
using Progress = std::function<void(uint64_t done, uint64_t total)>;

// Decodes a whole LIST reply (little-endian count, then 592-byte records).
std::vector<ListingEntry> DecodeListReply(std::string_view reply);
// Decodes a counted block holding a text list (the reply of LOGIN, ULIST, GLIST, GETSYSLOG).
std::vector<std::string> DecodeTextListReply(std::string_view reply);

class OrvoClient {
 public:
  static constexpr uint16_t kDefaultPort = 18783;
  // The largest file PUT can carry: the counted block's count is 32 bits with its top bit reserved.
  static constexpr uint64_t kMaxUploadBytes = kMaxCountedBlockBytes;

  explicit OrvoClient(std::string host = "127.0.0.1", uint16_t port = kDefaultPort);

  // A positive value bounds the connect and every wait for the server (milliseconds).
  void SetTimeout(int milliseconds) { timeoutMs_ = milliseconds; }
  // The local address every connection leaves from (empty: the system's choice). The server
  // tells clients apart by address, so a test or a load run can be several student PCs at once.
  void SetSource(std::string address) { source_ = std::move(address); }
  const std::string& Source() const { return source_; }
  const std::string& Host() const { return host_; }
  uint16_t Port() const { return port_; }

  // Sends `line` + CR LF (and `upload`, when given, as raw bytes right after it), then returns
  // every byte the server sent until it closed.
  std::string Request(std::string_view line, std::optional<std::string_view> upload = {}) const;

  std::vector<ListingEntry> List(std::string_view pattern) const;

  // Downloads one file into `sink` and returns its size. Raises NoReply when the server sends
  // nothing (no such file, a folder, in use) and Truncated when the transfer breaks off.
  uint64_t Get(std::string_view remote, ByteSink& sink, const Progress& progress = {}) const;
  std::string GetBytes(std::string_view remote) const;
  // Downloads into a temporary file beside `local` and renames it over `local` only when every
  // byte arrived, so a failed download leaves no partial file behind.
  uint64_t GetToFile(std::string_view remote, const std::filesystem::path& local,
                     const Progress& progress = {}) const;

  // Uploads a local file (refused before connecting when it holds 2^31 bytes or more). The
  // server never answers a PUT; success can only be seen by a later List or Get.
  void Put(const std::filesystem::path& local, std::string_view remote,
           const Progress& progress = {}) const;
  void PutBytes(std::string_view bytes, std::string_view remote) const;

  void MkDir(std::string_view path) const;
  void Delete(std::string_view path) const;
  // Refused when `source` holds a '|': the server would cut the pair at the wrong place.
  void Move(std::string_view source, std::string_view target) const;
  std::vector<std::string> SysLog() const;

  // The seven reply lines when the login was accepted, none when refused. The class and the login
  // id travel separated by blanks and so may not contain one.
  std::vector<std::string> Login(std::string_view group, std::string_view userId,
                                 std::string_view password) const;
  void ChangePassword(std::string_view group, std::string_view userId,
                      std::string_view newPassword) const;
  std::vector<std::string> StudentList(std::string_view group) const;
  std::vector<std::string> ClassList() const;

 private:
  class Exchange;
  void ExpectNoReply(std::string_view line) const;

  std::string host_;
  uint16_t port_;
  std::string source_;
  int timeoutMs_ = 0;
};

}  // namespace orvo::net
