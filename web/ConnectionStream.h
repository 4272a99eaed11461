// A served connection as a synchronous stream for the HTTP library (and TLS over it): reads take
// the bytes the event loop already received first, then the socket; writes go to the socket.
// Failures, the service stopping and the stall timeout become error codes. One thread at a time.
#pragma once

#include <boost/asio/buffer.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cstring>

#include "net/ByteStream.h"
#include "net/Connection.h"

namespace orvo::web {

class ConnectionStream {
 public:
  // TLS asks its next layer for an executor to make timers it never uses in blocking calls.
  using executor_type = boost::asio::io_context::executor_type;
  using lowest_layer_type = ConnectionStream;

  ConnectionStream() = default;
  explicit ConnectionStream(net::Connection& connection) : connection_(&connection) {}
  // The connection of the request being served now (a kept TLS session outlives each one).
  void Attach(net::Connection& connection) { connection_ = &connection; }
  net::Connection& Connection() { return *connection_; }

  executor_type get_executor();
  lowest_layer_type& lowest_layer() { return *this; }

  template <class Buffers>
  std::size_t read_some(const Buffers& buffers, boost::system::error_code& error) {
    error = {};
    const auto first = *boost::asio::buffer_sequence_begin(buffers);
    const boost::asio::mutable_buffer into(first);
    if (into.size() == 0) return 0;
    std::string& input = connection_->Input();
    if (!input.empty()) {
      const std::size_t n = std::min(input.size(), into.size());
      std::memcpy(into.data(), input.data(), n);
      input.erase(0, n);
      return n;
    }
    try {
      const std::size_t n =
          connection_->Stream().Receive(static_cast<char*>(into.data()), into.size());
      if (n == 0) error = boost::asio::error::eof;
      return n;
    } catch (const net::ConnectionError&) {
      error = boost::asio::error::connection_aborted;
      return 0;
    }
  }

  template <class Buffers>
  std::size_t read_some(const Buffers& buffers) {
    boost::system::error_code error;
    const std::size_t n = read_some(buffers, error);
    if (error) throw boost::system::system_error(error);
    return n;
  }

  template <class Buffers>
  std::size_t write_some(const Buffers& buffers, boost::system::error_code& error) {
    error = {};
    std::size_t sent = 0;
    try {
      for (auto it = boost::asio::buffer_sequence_begin(buffers);
           it != boost::asio::buffer_sequence_end(buffers); ++it) {
        const boost::asio::const_buffer piece(*it);
        connection_->Stream().SendAll(static_cast<const char*>(piece.data()), piece.size());
        sent += piece.size();
      }
    } catch (const net::ConnectionError&) {
      error = boost::asio::error::connection_aborted;
    }
    return sent;
  }

  template <class Buffers>
  std::size_t write_some(const Buffers& buffers) {
    boost::system::error_code error;
    const std::size_t n = write_some(buffers, error);
    if (error) throw boost::system::system_error(error);
    return n;
  }

 private:
  net::Connection* connection_ = nullptr;
};

}  // namespace orvo::web
