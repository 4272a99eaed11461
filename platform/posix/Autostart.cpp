#include "platform/Autostart.h"

#include <sys/stat.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

#include "platform/PendingFile.h"
#include "platform/posix/XdgAutostart.h"

namespace orvo::platform {
namespace {

namespace fs = std::filesystem;

std::string EntryPath(const std::string& folder, const std::string& name) {
  return (fs::path(folder) / (name + ".desktop")).string();
}

// The Exec key takes a command line: an argument with a reserved character is quoted, with ", `,
// $ and \ escaped inside the quotes, and % doubled because it starts a field code. An empty
// argument is quoted so that it stays an argument.
std::string QuotedExecArgument(const std::string& argument) {
  static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string out;
  const bool quote = argument.empty() || argument.find_first_of(kReserved) != std::string::npos;
  if (quote) out += '"';
  for (const char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

// A value of type string escapes \ and control characters; the desktop entry rules apply this
// after the Exec quoting above, so a backslash in a path ends up as four.
std::string EscapedValue(const std::string& value) {
  std::string out;
  for (const char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool Absolute(const char* value) {
  return value != nullptr && value[0] == '/';
}

}  // namespace

std::string AutostartFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (Absolute(config)) return (fs::path(config) / "autostart").string();
  const char* home = std::getenv("HOME");
  if (Absolute(home)) return (fs::path(home) / ".config" / "autostart").string();
  return {};
}

std::string ExecutablePath() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.string();
}

std::string AutostartEntryText(const std::string& name,
                               const std::vector<std::string>& commandLine) {
  std::string exec;
  for (const std::string& argument : commandLine) {
    exec += (exec.empty() ? "" : " ") + QuotedExecArgument(argument);
  }
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" +
         EscapedValue(name) +
         "\n"
         "Exec=" +
         EscapedValue(exec) +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool WriteAutostartEntry(const std::string& folder, const std::string& name,
                         const std::vector<std::string>& commandLine) {
  if (folder.empty() || name.empty() || commandLine.empty()) return false;
  try {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder)) return false;
    const std::string text = AutostartEntryText(name, commandLine);
    PendingFile pending =
        PendingFile::CreateBeside(EntryPath(folder, name), ".orvo-autostart-", mode_t{0644});
    pending.Content().WriteAll(text.data(), text.size());
    pending.Commit();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool RemoveAutostartEntry(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty()) return false;
  std::error_code error;
  fs::remove(EntryPath(folder, name), error);
  // A folder path through a plain file cannot hold the entry either.
  return !error || error == std::errc::not_a_directory;
}

bool RegisterStartAtLogon(const std::string& name, const std::vector<std::string>& commandLine) {
  return WriteAutostartEntry(AutostartFolder(), name, commandLine);
}

bool UnregisterStartAtLogon(const std::string& name) {
  return RemoveAutostartEntry(AutostartFolder(), name);
}

}  // namespace orvo::platform
