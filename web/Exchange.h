// One HTTP request and its answer as the portal's handlers see them, whatever stream (plain or
// TLS) carries them: the parsed header, the body read on demand, answers written whole or as a
// header followed by file bytes or chunks. Every call returns false (or nullopt) once the
// connection has failed; the handler then stops and the connection ends.
#pragma once

#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/File.h"

namespace orvo::web {

namespace http = boost::beast::http;

using Response = http::response<http::string_body>;
using HeaderOnly = http::response<http::empty_body>;

class Exchange {
 public:
  virtual ~Exchange() = default;
  virtual const http::request_header<>& Header() const = 0;
  // Whether the client lets the connection carry another request after this one.
  virtual bool KeepAlive() const = 0;
  // The announced body length; nullopt for a chunked body.
  virtual std::optional<uint64_t> BodyLength() const = 0;
  // The whole body when it is at most `limit` bytes; nullopt when longer or broken off.
  virtual std::optional<std::string> ReadBody(std::size_t limit) = 0;
  // Feeds the body to `take` piece by piece, allowing up to `limit` bytes; false when it is
  // longer or broken off. What `take` raises propagates.
  virtual bool ReadBodyInto(uint64_t limit,
                            const std::function<void(const char*, std::size_t)>& take) = 0;
  // Sends "100 Continue" when the client waits for it before sending a body.
  virtual bool Continue() = 0;
  virtual bool Write(Response& response) = 0;
  virtual bool WriteHeader(HeaderOnly& response) = 0;
  // `count` bytes of `file` from its current position, after WriteHeader.
  virtual bool WriteFile(platform::File& file, uint64_t count) = 0;
  // Bytes after WriteHeader, as they are (a chunked answer frames them itself).
  virtual bool WriteRaw(const char* data, std::size_t size) = 0;
};

}  // namespace orvo::web
