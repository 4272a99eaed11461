#include "web/Portal.h"

#if ORVO_WEB_TLS
#include <boost/asio/ssl.hpp>
#endif

#include <stdexcept>
#include <string_view>

#include "web/ConnectionStream.h"
#include "web/PortalRequests.h"
#include "web/StreamExchange.h"

namespace orvo::web {
namespace {

namespace http = boost::beast::http;
namespace asio = boost::asio;
using ErrorCode = boost::system::error_code;

// A request's header may be this long; a longer one is answered 431.
constexpr std::size_t kHeaderLimit = 16 * 1024;

#if ORVO_WEB_TLS
using TlsStream = asio::ssl::stream<ConnectionStream>;
#endif

// What a kept-alive connection carries from one request to the next.
struct KeptState {
#if ORVO_WEB_TLS
  std::unique_ptr<TlsStream> tls;
#endif
  std::string leftover;  // decrypted bytes read past the last request
};

}  // namespace

ConnectionStream::executor_type ConnectionStream::get_executor() {
  // Blocking calls never run a loop; TLS only needs something to make its unused timers with.
  static asio::io_context unused;
  return unused.get_executor();
}

class WebPortal::Impl {
 public:
  Impl(net::TOrvoServer& server, core::ServiceState& state) : requests(server, state) {}

  bool Serve(net::Connection& connection) {
#if ORVO_WEB_TLS
    if (tls) return ServeSecure(connection);
#endif
    ConnectionStream stream(connection);
    std::string carried;
    const bool keep =
        ServeOneRequest(stream, requests, connection.PeerAddress(), false, carried, kHeaderLimit);
    // Bytes of a next request that came with this one wait with the connection.
    connection.Input().insert(0, carried);
    return keep;
  }

#if ORVO_WEB_TLS
  bool ServeSecure(net::Connection& connection) {
    auto state = std::static_pointer_cast<KeptState>(connection.State());
    if (!state) {
      state = std::make_shared<KeptState>();
      state->tls = std::make_unique<TlsStream>(ConnectionStream(connection), *tls);
      ErrorCode error;
      state->tls->handshake(asio::ssl::stream_base::server, error);
      if (error) return false;
      connection.State() = state;
    }
    state->tls->next_layer().Attach(connection);
    return ServeOneRequest(*state->tls, requests, connection.PeerAddress(), true, state->leftover,
                           kHeaderLimit);
  }

  std::unique_ptr<asio::ssl::context> tls;
#endif

  PortalRequests requests;
};

WebPortal::WebPortal(net::TOrvoServer& server, core::ServiceState& state)
    : impl_(std::make_unique<Impl>(server, state)) {}

WebPortal::~WebPortal() = default;

void WebPortal::UseTls(const std::string& certificateFile, const std::string& keyFile) {
#if ORVO_WEB_TLS
  auto context = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
  context->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                       asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                       asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
  ErrorCode error;
  context->use_certificate_chain_file(certificateFile, error);
  if (error) {
    throw std::runtime_error("cannot use HTTPS certificate " + certificateFile + ": " +
                             error.message());
  }
  context->use_private_key_file(keyFile, asio::ssl::context::pem, error);
  if (error) {
    throw std::runtime_error("cannot use HTTPS key " + keyFile + ": " + error.message());
  }
  impl_->tls = std::move(context);
#else
  (void)certificateFile, (void)keyFile;
  throw std::runtime_error("HTTPS is not available in this build; clear HttpsCert and HttpsKey");
#endif
}

bool WebPortal::Secure() const {
#if ORVO_WEB_TLS
  return impl_->tls != nullptr;
#else
  return false;
#endif
}

net::ConnectionCore::RequestHooks WebPortal::Hooks() {
  const bool secure = Secure();
  return {.ready =
              [secure](std::string_view input) {
                // Under TLS nothing can be read before the handshake: any byte starts the work.
                return secure ? !input.empty() : input.find("\r\n\r\n") != std::string_view::npos;
              },
          .maxWaitingBytes = kHeaderLimit,
          .serve = [this](net::Connection& connection) { return impl_->Serve(connection); }};
}

}  // namespace orvo::web
