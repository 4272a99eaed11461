// WebPortal: the students' browser portal. It serves HTTP/1.1 (HTTPS when given a certificate) on
// the server's request port, on the same event loop and workers as the protocol: pages and
// assets compiled into the program, and the JSON interface of web/README.md over the same login
// rule, the same confinement and the same file operations as the protocol's commands.
// Made and configured by the owning thread before the server is activated; it must outlive the
// server's activation (the server's hooks call into it from workers).
#pragma once

#include <memory>
#include <string>

#include "core/ServiceState.h"
#include "net/ConnectionCore.h"
#include "net/OrvoServer.h"

namespace orvo::web {

class WebPortal {
 public:
  WebPortal(net::TOrvoServer& server, core::ServiceState& state);
  ~WebPortal();
  WebPortal(const WebPortal&) = delete;
  WebPortal& operator=(const WebPortal&) = delete;

  // Serves HTTPS with this PEM certificate (chain) and private key. Raises std::runtime_error
  // naming the file that cannot be used, or saying that this build has no TLS.
  void UseTls(const std::string& certificateFile, const std::string& keyFile);
  bool Secure() const;

  // What the server's request port runs: when a request may start, and how it is served.
  net::ConnectionCore::RequestHooks Hooks();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvo::web
