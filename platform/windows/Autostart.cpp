#include "platform/Autostart.h"

#include <windows.h>

#include <string>
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

// One argument as the C runtime's command-line parser reads it back: quoted when it has a blank
// or a quote (or is empty), a quote escaped by a backslash, and the backslashes before a quote or
// the closing quote doubled. A program path (the first item) never holds a quote, so the same
// quoting serves it.
std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L'"';
}

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

bool RegisterStartAtLogon(const std::string& name, const std::vector<std::string>& commandLine) {
  // An empty name would be the key's default value, which is no program's registration.
  if (name.empty() || commandLine.empty()) return false;
  const RunKey key;
  if (key.Get() == nullptr) return false;
  std::wstring data;
  for (const std::string& argument : commandLine) {
    data += (data.empty() ? L"" : L" ") + QuotedArgument(Wide(argument));
  }
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
