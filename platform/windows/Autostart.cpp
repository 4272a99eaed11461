#include "platform/Autostart.h"

#include <windows.h>

#include <vector>

#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The current user's Run key, opened with full access and created when missing; closed on every
// path.
class RunKey {
 public:
  RunKey() {
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~RunKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  RunKey(const RunKey&) = delete;
  RunKey& operator=(const RunKey&) = delete;

  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A full buffer may have cut the path short.
    if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

bool RegisterStartAtLogon(const std::string& name, const std::string& command) {
  // An empty name would be the key's default value, which is no program's registration.
  if (name.empty()) return false;
  const RunKey key;
  if (key.Get() == nullptr) return false;
  const std::wstring data = Wide(command);
  // REG_SZ is stored with its terminating NUL.
  const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(key.Get(), Wide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
}

bool UnregisterStartAtLogon(const std::string& name) {
  if (name.empty()) return false;
  const RunKey key;
  if (key.Get() == nullptr) return false;
  const LSTATUS status = ::RegDeleteValueW(key.Get(), Wide(name).c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace orvo::platform
