// The control channel on Windows: a named pipe whose name is made from the folder's full path
// (lower case), so the admin tool finds the service of a folder however the folder is spelt. Only
// the user who runs the service, the system and administrators may open it; remote clients are
// refused. A pipe disappears with its process, so no stale endpoint can be left behind. One thread
// serves it with overlapped I/O and waits on a stop event beside every operation, so that it ends
// at once when the listener is destroyed.
#include "platform/ControlChannel.h"

#include <windows.h>
// windows.h first: these need its types.
#include <sddl.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/ControlFraming.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

// How long one connection may take to send its request, to take its reply and to close.
constexpr DWORD kConnectionLimitMs = 5000;
// How long the thread rests after a failed wait for a client before it waits again.
constexpr DWORD kConnectRetryMs = 100;

std::string ErrorText(DWORD error = GetLastError()) {
  return std::system_category().message(static_cast<int>(error));
}

class Handle {
 public:
  explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
  ~Handle() {
    if (Valid()) CloseHandle(handle_);
  }
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

Handle NewEvent() {
  Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.Valid()) throw ControlChannelError("cannot make an event: " + ErrorText());
  return event;
}

enum class Io { Done, Failed, Stop, Timeout };

// Waits for the overlapped operation `overlapped` on `handle`, for `stop` (may be null) or the
// time limit. A stopped or late operation is cancelled and waited out, so that its buffer is free
// again when this returns.
Io Finish(HANDLE handle, OVERLAPPED& overlapped, HANDLE stop, DWORD timeoutMs, DWORD& done) {
  const HANDLE waits[2] = {overlapped.hEvent, stop};
  const DWORD woke = WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, timeoutMs);
  if (woke != WAIT_OBJECT_0) {
    CancelIoEx(handle, &overlapped);
    GetOverlappedResult(handle, &overlapped, &done, TRUE);
    return woke == WAIT_OBJECT_0 + 1 ? Io::Stop : Io::Timeout;
  }
  return GetOverlappedResult(handle, &overlapped, &done, FALSE) ? Io::Done : Io::Failed;
}

// One overlapped read or write of at most `size` bytes; `done` tells how many moved.
Io Transfer(HANDLE handle, bool write, char* data, DWORD size, HANDLE stop, DWORD timeoutMs,
            DWORD& done) {
  done = 0;
  const Handle event = NewEvent();
  OVERLAPPED overlapped{};
  overlapped.hEvent = event.Get();
  const BOOL started = write ? WriteFile(handle, data, size, nullptr, &overlapped)
                             : ReadFile(handle, data, size, nullptr, &overlapped);
  if (!started && GetLastError() != ERROR_IO_PENDING) return Io::Failed;
  return Finish(handle, overlapped, stop, timeoutMs, done);
}

bool SendAll(HANDLE handle, const std::string& bytes, HANDLE stop, DWORD timeoutMs) {
  std::string buffer = bytes;
  for (std::size_t sent = 0; sent < buffer.size();) {
    DWORD done = 0;
    const auto size = static_cast<DWORD>(buffer.size() - sent);
    if (Transfer(handle, true, buffer.data() + sent, size, stop, timeoutMs, done) != Io::Done) {
      return false;
    }
    sent += done;
  }
  return true;
}

// Everyone but the user running this process, the system and administrators is refused.
class OwnerOnly {
 public:
  OwnerOnly() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) Fail("token");
    const Handle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
      Fail("user");
    }
    LPWSTR sid = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
      Fail("user's SID");
    }
    const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sid) + L")(A;;GA;;;SY)(A;;GA;;;BA)";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
      Fail("security descriptor");
    }
    descriptor_ = descriptor;
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  ~OwnerOnly() { LocalFree(descriptor_); }
  OwnerOnly(const OwnerOnly&) = delete;
  OwnerOnly& operator=(const OwnerOnly&) = delete;

  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  [[noreturn]] static void Fail(const char* what) {
    throw ControlChannelError(std::string("cannot limit the control pipe to this user (") + what +
                              "): " + ErrorText());
  }

  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// The folder's full path in lower case without a trailing separator: one text for every spelling.
std::wstring FolderKey(const std::string& directory) {
  const std::wstring given = Wide(directory.empty() ? "." : directory);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) {
      full = given;
      break;
    }
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);
  }
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  for (wchar_t& c : full) {
    if (c == L'/') c = L'\\';
  }
  if (!full.empty()) CharLowerBuffW(full.data(), static_cast<DWORD>(full.size()));
  return full;
}

std::wstring PipeName(const std::string& directory) {
  // 64-bit FNV-1a of the folder key's UTF-16 units.
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const wchar_t c : FolderKey(directory)) {
    hash ^= static_cast<uint16_t>(c);
    hash *= 0x100000001b3ULL;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return L"\\\\.\\pipe\\orvo-serverd-" + Wide(digits);
}

}  // namespace

struct ControlListener::State {
  std::string endpoint;
  Handler handler;
  Handle pipe;
  Handle stop;
  std::thread thread;

  void Run() {
    for (;;) {
      const Handle event = NewEvent();
      OVERLAPPED overlapped{};
      overlapped.hEvent = event.Get();
      bool connected = ConnectNamedPipe(pipe.Get(), &overlapped) != FALSE;
      if (!connected) {
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
          connected = true;
        } else if (error == ERROR_IO_PENDING) {
          DWORD ignored = 0;
          const Io io = Finish(pipe.Get(), overlapped, stop.Get(), INFINITE, ignored);
          if (io == Io::Stop) return;
          connected = io == Io::Done;
        }
      }
      if (connected) Serve();
      DisconnectNamedPipe(pipe.Get());
      if (!connected && WaitForSingleObject(stop.Get(), kConnectRetryMs) == WAIT_OBJECT_0) return;
    }
  }

  void Serve() {
    std::string received;
    std::optional<std::string> request;
    while (!(request = ControlRequestLine(received))) {
      if (received.size() > kMaxControlRequest) return;
      char chunk[1024];
      DWORD got = 0;
      if (Transfer(pipe.Get(), false, chunk, sizeof chunk, stop.Get(), kConnectionLimitMs, got) !=
              Io::Done ||
          got == 0) {
        return;
      }
      received.append(chunk, got);
    }
    if (request->size() > kMaxControlRequest) return;
    std::string reply;
    try {
      reply = EncodeControlReply(handler(*request));
    } catch (const std::exception&) {
      return;
    }
    if (!SendAll(pipe.Get(), reply, stop.Get(), kConnectionLimitMs)) return;
    // Disconnecting throws away what the client has not read yet: wait until it closes its end.
    char rest[64];
    DWORD got = 0;
    while (Transfer(pipe.Get(), false, rest, sizeof rest, stop.Get(), kConnectionLimitMs, got) ==
           Io::Done) {
    }
  }
};

std::string ControlEndpoint(const std::string& directory) {
  return Narrow(PipeName(directory));
}

ControlListener::ControlListener(const std::string& directory, Handler handler)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.endpoint = ControlEndpoint(directory);
  s.handler = std::move(handler);
  OwnerOnly security;
  s.pipe = Handle(
      CreateNamedPipeW(PipeName(directory).c_str(),
                       PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                       1, 4096, 4096, 0, security.Attributes()));
  if (!s.pipe.Valid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) {
      throw ControlChannelTaken("a service is running on " + directory + " already (it serves " +
                                s.endpoint + ")");
    }
    throw ControlChannelError("cannot make the control pipe " + s.endpoint + ": " +
                              ErrorText(error));
  }
  s.stop = NewEvent();
  try {
    s.thread = std::thread([&s] { s.Run(); });
  } catch (const std::system_error& e) {
    throw ControlChannelError("cannot start the thread serving " + s.endpoint + ": " + e.what());
  }
}

ControlListener::~ControlListener() {
  State& s = *state_;
  SetEvent(s.stop.Get());
  if (s.thread.joinable()) s.thread.join();
}

const std::string& ControlListener::Endpoint() const {
  return state_->endpoint;
}

std::vector<std::string> ControlRequest(const std::string& directory, const std::string& request,
                                        int timeoutMs) {
  if (request.find_first_of("\r\n") != std::string::npos) {
    throw ControlChannelError("a control request is one line");
  }
  const std::wstring name = PipeName(directory);
  const std::string absent =
      "no service is running on " + directory + " (nothing serves " + Narrow(name) + ")";
  const auto limit = static_cast<DWORD>(timeoutMs);
  Handle pipe;
  for (;;) {
    pipe = Handle(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe.Valid()) break;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) throw NoControlService(absent);
    if (error != ERROR_PIPE_BUSY) {
      throw ControlChannelError("cannot reach the service on " + directory + ": " +
                                ErrorText(error));
    }
    // Another request is being served: wait for the pipe to be free.
    if (!WaitNamedPipeW(name.c_str(), limit)) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) throw NoControlService(absent);
      throw ControlChannelError("the service on " + directory + " did not answer in time");
    }
  }
  const std::string broken = "the service on " + directory + " broke off the control connection";
  if (!SendAll(pipe.Get(), request + "\n", nullptr, limit)) throw ControlChannelError(broken);
  ControlReplyReader reader;
  while (!reader.Complete()) {
    char chunk[4096];
    DWORD got = 0;
    const Io io = Transfer(pipe.Get(), false, chunk, sizeof chunk, nullptr, limit, got);
    if (io == Io::Timeout) {
      throw ControlChannelError("the service on " + directory + " did not answer in time");
    }
    if (io != Io::Done || got == 0)
      throw ControlChannelError(broken + " before its reply was complete");
    reader.Feed(std::string_view(chunk, got));
  }
  return reader.Lines();
}

}  // namespace orvo::platform
