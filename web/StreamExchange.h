// Reading one request from a stream (plain or TLS) and handing it to the portal's handlers as an
// Exchange. Included by the portal's connection code only.
#pragma once

#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <limits>
#include <string>
#include <type_traits>

#include "net/Connection.h"
#include "web/ConnectionStream.h"
#include "web/Exchange.h"
#include "web/PortalRequests.h"

namespace orvo::web {

template <class Stream>
class StreamExchange final : public Exchange {
 public:
  StreamExchange(Stream& stream, boost::beast::flat_buffer& buffer,
                 http::request_parser<http::buffer_body>& parser)
      : stream_(stream), buffer_(buffer), parser_(parser) {}

  const http::request_header<>& Header() const override { return parser_.get(); }
  bool KeepAlive() const override { return parser_.keep_alive(); }

  std::optional<uint64_t> BodyLength() const override {
    if (parser_.chunked()) return std::nullopt;
    return parser_.content_length().value_or(0);
  }

  std::optional<std::string> ReadBody(std::size_t limit) override {
    std::string body;
    const bool whole =
        ReadBodyInto(limit, [&](const char* data, std::size_t size) { body.append(data, size); });
    if (!whole) return std::nullopt;
    return body;
  }

  bool ReadBodyInto(uint64_t limit,
                    const std::function<void(const char*, std::size_t)>& take) override {
    parser_.body_limit(limit);
    // The library reads as much as the buffer has room for, at least 512 bytes: room for a whole
    // piece turns a body's half a million receives per GiB into a few thousand.
    buffer_.reserve(piece_.size());
    uint64_t total = 0;
    while (!parser_.is_done()) {
      parser_.get().body().data = piece_.data();
      parser_.get().body().size = piece_.size();
      boost::system::error_code error;
      http::read(stream_, buffer_, parser_, error);
      if (error == http::error::need_buffer) error = {};
      if (error) return false;
      const std::size_t got = piece_.size() - parser_.get().body().size;
      total += got;
      if (total > limit) return false;
      if (got > 0) take(piece_.data(), got);
    }
    return true;
  }

  bool Continue() override {
    const auto expect = parser_.get().find(http::field::expect);
    if (expect == parser_.get().end() || !boost::beast::iequals(expect->value(), "100-continue")) {
      return true;
    }
    http::response<http::empty_body> going{http::status::continue_, parser_.get().version()};
    boost::system::error_code error;
    http::write(stream_, going, error);
    return !error;
  }

  bool Write(Response& response) override {
    boost::system::error_code error;
    http::write(stream_, response, error);
    return !error;
  }

  bool WriteHeader(HeaderOnly& response) override {
    http::response_serializer<http::empty_body> serializer{response};
    boost::system::error_code error;
    http::write_header(stream_, serializer, error);
    return !error;
  }

  bool WriteFile(platform::File& file, uint64_t count) override {
    try {
      if constexpr (std::is_same_v<Stream, ConnectionStream>) {
        // Straight from the file to the socket (sendfile where the host has it), in full
        // segments only until the last.
        net::ByteStream& socket = stream_.Connection().Stream();
        socket.Cork(true);
        const bool whole = socket.SendFromFile(file, count) == count;
        socket.Cork(false);
        return whole;
      } else {
        while (count > 0) {
          const std::size_t n = file.Read(piece_.data(), std::min<uint64_t>(count, piece_.size()));
          if (n == 0) return false;
          if (!WriteRaw(piece_.data(), n)) return false;
          count -= n;
        }
        return true;
      }
    } catch (const std::exception&) {
      return false;
    }
  }

  bool WriteRaw(const char* data, std::size_t size) override {
    boost::system::error_code error;
    boost::asio::write(stream_, boost::asio::buffer(data, size), error);
    return !error;
  }

 private:
  Stream& stream_;
  boost::beast::flat_buffer& buffer_;
  http::request_parser<http::buffer_body>& parser_;
  std::array<char, 64 * 1024> piece_{};
};

// Reads one request's header from `stream` and serves it. `carried` holds bytes read before (past
// the previous request) and receives those read past this one. Whether the connection may wait
// for another request.
template <class Stream>
bool ServeOneRequest(Stream& stream, PortalRequests& requests, const std::string& address,
                     bool secure, std::string& carried, std::size_t headerLimit) {
  boost::beast::flat_buffer buffer;
  if (!carried.empty()) {
    const std::size_t n =
        boost::asio::buffer_copy(buffer.prepare(carried.size()), boost::asio::buffer(carried));
    buffer.commit(n);
    carried.clear();
  }
  auto parser = std::make_unique<http::request_parser<http::buffer_body>>();
  parser->header_limit(static_cast<std::uint32_t>(headerLimit));
  // Each handler sets the limit of the body it reads; an upload's length is judged by its own.
  parser->body_limit(std::numeric_limits<std::uint64_t>::max());
  boost::system::error_code error;
  http::read_header(stream, buffer, *parser, error);
  if (error == http::error::end_of_stream || error == boost::asio::error::eof ||
      error == boost::asio::error::connection_aborted) {
    return false;
  }
  auto exchange = std::make_unique<StreamExchange<Stream>>(stream, buffer, *parser);
  if (error) {
    requests.Refuse(*exchange, error == http::error::header_limit);
    return false;
  }
  const bool keep = requests.Handle(*exchange, address, secure) && parser->is_done();
  carried = boost::beast::buffers_to_string(buffer.data());
  return keep;
}

}  // namespace orvo::web
