#include "service/UnitFolders.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "platform/PendingFile.h"
#include "platform/Utf8Path.h"

namespace orvo::service {
namespace {

namespace fs = std::filesystem;

// The folder as systemd will see it: links resolved as far as they exist.
std::string Resolved(const std::string& folder) {
  std::error_code error;
  const fs::path path = fs::weakly_canonical(platform::Utf8Path(folder), error);
  return error ? folder : platform::PathText(path);
}

bool Below(const std::string& path, const std::string& top) {
  return path == top || path.starts_with(top + "/");
}

// One word of ReadWritePaths=: quoted for spaces, '%' doubled (systemd's specifiers), and '-' so
// that a missing folder is skipped rather than failing the start.
std::string PathWord(const std::string& path) {
  std::string word = "\"-";
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '"' || c == '\\') {
      throw std::invalid_argument("the service's unit file cannot name the folder '" + path +
                                  "': rename it without quotes, backslashes or control characters");
    }
    word += c;
    if (c == '%') word += '%';
  }
  return word + '"';
}

}  // namespace

bool IsServiceDatabaseFolder(const std::string& folder, const std::string& serviceFolder) {
  std::error_code error;
  return fs::equivalent(platform::Utf8Path(folder), platform::Utf8Path(serviceFolder), error);
}

std::string UnitFoldersText(const std::vector<std::string>& folders) {
  std::string comments, paths;
  bool underHome = false;
  for (const std::string& given : folders) {
    if (given.empty()) continue;
    const std::string folder = Resolved(given);
    paths += (paths.empty() ? "" : " ") + PathWord(folder);
    comments += kFolderCommentPrefix + folder + "\n";
    for (const char* hidden : {"/home", "/root", "/run/user"}) underHome |= Below(folder, hidden);
  }
  std::string text =
      "# Written by orvo-admin when it set the folders of the service's database: the service\n"
      "# may write to these. orvo-admin rewrites it; edits here are lost.\n" +
      comments + "[Service]\nReadWritePaths=" + paths + "\n";
  // The unit hides the home folders; read-only instead lets ReadWritePaths open these below them.
  if (underHome) text += "ProtectHome=read-only\n";
  return text;
}

bool WriteUnitFolders(const std::string& file, const std::string& text) {
  const fs::path path = platform::Utf8Path(file);
  {
    std::ifstream current(path, std::ios::binary);
    if (current && std::string(std::istreambuf_iterator<char>(current), {}) == text) return false;
  }
  fs::create_directories(path.parent_path());
  // systemd reads only *.conf here, so the hidden temporary beside it is never taken for one.
  platform::PendingFile pending = platform::PendingFile::CreateBeside(file, ".folders-", 0644);
  pending.Content().WriteAll(text.data(), text.size());
  pending.Commit();
  return true;
}

}  // namespace orvo::service
