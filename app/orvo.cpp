// orvo: the command-line client of the file service. One subcommand per run; every failure prints
// one line on standard error and exits with status 1.
//
// The protocol never answers PUT, MKDIR, DELETE or MOVE, so after each of them the client asks
// for a listing to find out whether the server did what was asked, instead of reporting a
// refused command as done. CHGPSW has no reply either, and no request shows a password, so
// passwd can only say that it was sent.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/Terminal.h"
#include "app/VersionFlag.h"
#include "net/OrvoClient.h"
#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/Utf8Path.h"

namespace {

using orvo::net::ClientError;
using orvo::net::ListingEntry;
using orvo::net::OrvoClient;
namespace fs = std::filesystem;

// A failure of the command as the user asked for it; the message is the whole line shown.
class CommandFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using orvo::app::StderrIsTerminal;

bool ToLocalTime(std::time_t seconds, std::tm& local) {
#ifdef _WIN32
  return ::localtime_s(&local, &seconds) == 0;
#else
  return ::localtime_r(&seconds, &local) != nullptr;
#endif
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// The server treats both separators alike.
std::string_view StripTrailingSeparators(std::string_view path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.remove_suffix(1);
  return path;
}

std::string_view LastComponent(std::string_view path) {
  path = StripTrailingSeparators(path);
  const auto cut = std::find_if(path.rbegin(), path.rend(), IsSeparator);
  return path.substr(static_cast<std::size_t>(path.rend() - cut));
}

// What a LIST of `path` (without wildcards) says about it: its own entry, or none.
std::optional<ListingEntry> Lookup(const OrvoClient& client, std::string_view path) {
  const std::string_view name = LastComponent(path);
  const auto entries = client.List(StripTrailingSeparators(path));
  for (const auto& entry : entries) {
    if (entry.name == name) return entry;
  }
  if (entries.size() == 1) return entries.front();
  return std::nullopt;
}

// Names that a listing can never confirm ("." and "..", a bare root).
bool Checkable(std::string_view path) {
  const std::string_view name = LastComponent(path);
  return !name.empty() && name != "." && name != ".." && !IsSeparator(name.front());
}

std::string FormatTime(uint64_t fileTime) {
  const std::time_t seconds = static_cast<std::time_t>(orvo::net::FileTimeToUnixSeconds(fileTime));
  std::tm local{};
  char text[32];
  if (!ToLocalTime(seconds, local) ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0) {
    return "(time unknown)   ";
  }
  return text;
}

std::string FormatBytes(double bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 3) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

// A progress bar on standard error, shown only on a terminal and only once a transfer has taken
// more than half a second, so quick commands and scripts see no output.
class ProgressBar {
 public:
  explicit ProgressBar(std::string label)
      : label_(std::move(label)), enabled_(StderrIsTerminal()), start_(Clock::now()) {}
  ~ProgressBar() { EndLine(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void Update(uint64_t done, uint64_t total) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (!shown_ && now - start_ < std::chrono::milliseconds(500)) return;
    if (shown_ && done < total && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    shown_ = true;
    const double fraction =
        total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(fraction * kWidth);
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, ' ');
    std::fprintf(stderr, "\r%s [%s] %3d%%  %s / %s  %s/s   ", label_.c_str(), bar.c_str(),
                 static_cast<int>(fraction * 100), FormatBytes(static_cast<double>(done)).c_str(),
                 FormatBytes(static_cast<double>(total)).c_str(),
                 FormatBytes(seconds > 0 ? static_cast<double>(done) / seconds : 0).c_str());
    std::fflush(stderr);
  }

  // Moves past the bar so that what follows (an error message, the prompt) starts a fresh line.
  void EndLine() {
    if (shown_) std::fputc('\n', stderr);
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::string label_;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_;
  Clock::time_point lastDraw_;
};

// Explains a failure of GET by what the protocol allows the server's silence to mean.
std::string Explain(const ClientError& error, std::string_view silence) {
  std::string text = error.what();
  if (error.kind() == ClientError::Kind::NoReply) text.append(" (").append(silence).append(")");
  return text;
}

void List(const OrvoClient& client, const std::string& pattern) {
  auto entries = client.List(pattern);
  std::sort(entries.begin(), entries.end(),
            [](const ListingEntry& a, const ListingEntry& b) { return a.name < b.name; });
  std::size_t sizeWidth = 1;
  for (const auto& entry : entries) {
    sizeWidth = std::max(sizeWidth, std::to_string(entry.size).size());
  }
  for (const auto& entry : entries) {
    const char kind = entry.IsLink() ? 'l' : entry.IsFolder() ? 'd' : '-';
    std::printf("%c %*llu %s %s\n", kind, static_cast<int>(sizeWidth),
                static_cast<unsigned long long>(entry.size),
                FormatTime(entry.lastWriteTime).c_str(), entry.name.c_str());
  }
}

void Get(const OrvoClient& client, const std::string& remote, const std::string& localArg) {
  fs::path local = orvo::platform::Utf8Path(localArg);
  std::error_code ignored;
  if (local.empty() || fs::is_directory(local, ignored)) {
    const std::string_view name = LastComponent(remote);
    if (!Checkable(remote)) {
      throw CommandFailed("get " + remote + ": cannot name a local file after it; give LOCAL");
    }
    local /= orvo::platform::Utf8Path(std::string(name));
  }
  ProgressBar bar("get " + std::string(LastComponent(remote)));
  try {
    client.GetToFile(remote, local,
                     [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
  } catch (const ClientError& error) {
    throw CommandFailed("get " + remote + ": " +
                        Explain(error,
                                "no such file, a folder, a file in use, or a path the "
                                "server does not serve"));
  }
}

void Put(const OrvoClient& client, const std::string& localArg, std::string remote) {
  const fs::path local = orvo::platform::Utf8Path(localArg);
  // A remote folder ending in a separator receives the file under its own name.
  if (!remote.empty() && IsSeparator(remote.back()))
    remote += orvo::platform::PathText(local.filename());
  ProgressBar bar("put " + orvo::platform::PathText(local.filename()));
  uint64_t size = 0;
  client.Put(local, remote, [&](uint64_t done, uint64_t total) {
    size = total;
    bar.Update(done, total);
  });
  bar.EndLine();
  if (!Checkable(remote)) return;
  const auto stored = Lookup(client, remote);
  if (!stored || stored->IsFolder() || stored->size != size) {
    throw CommandFailed("put " + remote +
                        ": the server did not store the file (missing folder, a folder in the "
                        "way, a file in use, or a path it does not serve)");
  }
}

void MakeFolder(const OrvoClient& client, const std::string& path) {
  client.MkDir(path);
  if (!Checkable(path)) return;
  const auto made = Lookup(client, path);
  if (!made || !made->IsFolder()) {
    throw CommandFailed("mkdir " + path +
                        ": the server did not create the folder (a file in the way, or a path it "
                        "does not serve)");
  }
}

void Remove(const OrvoClient& client, const std::string& path) {
  if (Checkable(path) && !Lookup(client, path)) {
    throw CommandFailed("rm " + path + ": no such file or folder");
  }
  client.Delete(path);
  if (Checkable(path) && Lookup(client, path)) {
    throw CommandFailed("rm " + path +
                        ": the server did not delete it (a folder that is not empty, a "
                        "read-only file, or one in use)");
  }
}

void Move(const OrvoClient& client, const std::string& source, std::string target) {
  // As with put: a target ending in a separator is the folder that receives the source. Without
  // this the server would remove an empty folder of that name and give the source its name.
  if (!target.empty() && IsSeparator(target.back())) target += LastComponent(source);
  if (Checkable(source) && !Lookup(client, source)) {
    throw CommandFailed("mv " + source + ": no such file or folder");
  }
  client.Move(source, target);
  if (Checkable(source) && Checkable(target) &&
      (Lookup(client, source) || !Lookup(client, target))) {
    throw CommandFailed("mv " + source + " " + target +
                        ": the server did not move it (a folder in the way that is not empty, "
                        "a file in use, or a path it does not serve)");
  }
}

// The seven lines of an accepted login, in the order the server sends them.
constexpr const char* kLoginLabels[] = {"student folder", "public folder", "name",
                                        "public caption", "server time",   "data host",
                                        "data port"};

void Login(const OrvoClient& client, const std::string& group, const std::string& userId,
           const std::string& password) {
  const auto lines = client.Login(group, userId, password);
  // A refusal is an empty list: wrong class, login id or password, or a class outside its lesson.
  if (lines.empty()) throw CommandFailed("login refused");
  if (lines.size() != std::size(kLoginLabels)) {
    throw CommandFailed("login " + group + " " + userId + ": the server answered " +
                        std::to_string(lines.size()) + " lines instead of " +
                        std::to_string(std::size(kLoginLabels)));
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::printf("%s: %s\n", kLoginLabels[i], lines[i].c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  orvo::platform::CommandLineArguments arguments(argc, argv);
  orvo::platform::UseUtf8Output();
  CLI::App app{"Client of the Orvo file service."};
  orvo::app::AddVersionFlag(app, "orvo");
  app.fallthrough();
  app.require_subcommand(1);
  std::string host = "127.0.0.1";
  uint16_t port = OrvoClient::kDefaultPort;
  double timeoutSeconds = 60;
  app.add_option("--host", host, "server name or address")->capture_default_str();
  app.add_option("--port", port, "service port")
      ->capture_default_str()
      ->check(CLI::Range(1, 65535));
  std::string sourceAddress;
  app.add_option("--source", sourceAddress,
                 "local address to connect from, as if from another PC (say 127.0.0.2 on "
                 "loopback); the server keeps one login per address");
  app.add_option("--timeout", timeoutSeconds,
                 "seconds to wait for the server to make progress (0: no limit)")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);

  std::string pattern, remote, local, source, target, path;
  auto* ls = app.add_subcommand("ls", "list the entries a pattern matches (FOLDER/* for a folder)");
  ls->add_option("PATTERN", pattern, "remote path, its last part may hold * and ?")->required();
  auto* get = app.add_subcommand("get", "download a file");
  get->add_option("REMOTE", remote, "remote file")->required();
  get->add_option("LOCAL", local, "local file or folder (default: the remote file's name)");
  auto* put = app.add_subcommand("put", "upload a file (less than 2 GiB)");
  put->add_option("LOCAL", local, "local file")->required();
  put->add_option("REMOTE", remote, "remote file, or a folder ending in /")->required();
  auto* mkdir = app.add_subcommand("mkdir", "create a folder and any missing folders above it");
  mkdir->add_option("PATH", path, "remote folder")->required();
  auto* rm = app.add_subcommand("rm", "delete a file or an empty folder");
  rm->add_option("PATH", path, "remote file or empty folder")->required();
  auto* mv = app.add_subcommand("mv", "move or rename a file or folder");
  mv->add_option("SRC", source, "remote source")->required();
  mv->add_option("DST", target, "remote target, or a folder ending in /")->required();
  auto* log = app.add_subcommand("log", "print the server's log of received commands");
  std::string group, userId, password;
  auto* login = app.add_subcommand("login", "log in as a student and print what the server sends");
  login->add_option("CLASS", group, "class name")->required();
  login->add_option("ID", userId, "login id")->required();
  login->add_option("PASSWORD", password, "password")->required();
  auto* passwd = app.add_subcommand(
      "passwd", "set a new password (only for the student last logged in from this address)");
  passwd->add_option("CLASS", group, "class name")->required();
  passwd->add_option("ID", userId, "login id")->required();
  passwd->add_option("NEWPASSWORD", password, "the new password")->required();
  auto* students = app.add_subcommand("students", "list the students of a class");
  students->add_option("CLASS", group, "class name")->required();
  auto* classes = app.add_subcommand("classes", "list the classes");

  try {
    app.parse(arguments.Count(), arguments.Values());
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "orvo: %s (see orvo --help)\n", error.what());
    return 1;
  }

  // Paths and names travel as UTF-8; whatever the terminal handed us is made valid first.
  for (std::string* text :
       {&pattern, &remote, &source, &target, &path, &group, &userId, &password}) {
    *text = orvo::platform::SanitizeUtf8(*text);
  }

  OrvoClient client(host, port);
  client.SetSource(sourceAddress);
  client.SetTimeout(static_cast<int>(std::min(timeoutSeconds * 1000, 2e9)));
  std::string doing;  // names the command in a failure message
  try {
    if (ls->parsed()) {
      doing = "ls " + pattern;
      List(client, pattern);
    } else if (get->parsed()) {
      doing = "get " + remote;
      Get(client, remote, local);
    } else if (put->parsed()) {
      doing = "put " + remote;
      Put(client, local, remote);
    } else if (mkdir->parsed()) {
      doing = "mkdir " + path;
      MakeFolder(client, path);
    } else if (rm->parsed()) {
      doing = "rm " + path;
      Remove(client, path);
    } else if (mv->parsed()) {
      doing = "mv " + source + " " + target;
      Move(client, source, target);
    } else if (log->parsed()) {
      doing = "log";
      for (const auto& line : client.SysLog()) std::printf("%s\n", line.c_str());
    } else if (login->parsed()) {
      doing = "login " + group + " " + userId;
      Login(client, group, userId, password);
    } else if (passwd->parsed()) {
      doing = "passwd " + group + " " + userId;
      client.ChangePassword(group, userId, password);
      std::printf("sent; the server does not confirm\n");
    } else if (students->parsed()) {
      doing = "students " + group;
      for (const auto& line : client.StudentList(group)) std::printf("%s\n", line.c_str());
    } else if (classes->parsed()) {
      doing = "classes";
      for (const auto& line : client.ClassList()) std::printf("%s\n", line.c_str());
    }
  } catch (const CommandFailed& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "orvo: %s\n", failure.what());
    return 1;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "orvo: %s: %s\n", doing.c_str(), error.what());
    return 1;
  }
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "orvo: cannot write the output\n");
    return 1;
  }
  return 0;
}
