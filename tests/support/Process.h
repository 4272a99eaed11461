// Runs the built programs from end-to-end tests: to completion with captured output, or in the
// background (the service) with its standard output readable line by line. Every wait has a time
// limit, and a background process still running at the end is killed.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orvo::testing {

inline std::filesystem::path BuiltProgram(const std::string& name) {
  const char* binDir = std::getenv("ORVO_BIN_DIR");
  if (!binDir) throw std::runtime_error("ORVO_BIN_DIR names the folder of the built programs");
  return std::filesystem::path(binDir) / name;
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class Process {
 public:
  // Starts `program` with `args`; standard input is `input` (then closed), standard output and
  // standard error are pipes.
  Process(const std::filesystem::path& program, const std::vector<std::string>& args,
          const std::string& input = {}) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC))
      throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> argvStrings{program.string()};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (rc != 0) throw std::runtime_error("cannot start " + program.string());
    if (!input.empty()) [[maybe_unused]]
      auto n = ::write(in[1], input.data(), input.size());
    ::close(in[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
    ::close(err_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // The next line of standard output (without its LF); empty when the limit passes or it ended.
  std::string ReadLine(std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const size_t end = outBuffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = outBuffer_.substr(0, end);
        outBuffer_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadInto(out_, outBuffer_, static_cast<int>(left.count())))
        return {};
    }
  }

  void Signal(int signal) { ::kill(pid_, signal); }

  // Waits for the end (killing the process when the limit passes) and collects what is left.
  Outcome Wait(std::chrono::seconds limit = std::chrono::seconds(30)) {
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      ReadInto(out_, outBuffer_, 10);
      ReadInto(err_, errBuffer_, 10);
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
    }
    pid_ = -1;
    while (ReadInto(out_, outBuffer_, 0)) {
    }
    while (ReadInto(err_, errBuffer_, 0)) {
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = outBuffer_;
    outcome.err = errBuffer_;
    return outcome;
  }

 private:
  static bool ReadInto(int fd, std::string& buffer, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string outBuffer_;
  std::string errBuffer_;
};

// orvo-serverd started over the database in a folder, on a free port.
struct RunningService {
  std::unique_ptr<Process> process;
  uint16_t port = 0;  // 0 when the service did not say it listens in time
  std::string firstLine;
};

inline RunningService StartService(const std::string& directory) {
  RunningService service;
  service.process = std::make_unique<Process>(
      BuiltProgram("orvo-serverd"), std::vector<std::string>{"--dir", directory, "--port", "0"});
  service.firstLine = service.process->ReadLine();
  const std::string prefix = "orvo-serverd: listening on port ";
  if (service.firstLine.rfind(prefix, 0) == 0) {
    service.port = static_cast<uint16_t>(std::stoi(service.firstLine.substr(prefix.size())));
  }
  return service;
}

// Runs a program to its end.
inline Outcome Run(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input = {}) {
  Process process(BuiltProgram(program), args, input);
  return process.Wait();
}

// Runs orvo-admin to its end on the database folder `directory`.
inline Outcome RunAdmin(const std::string& directory, std::vector<std::string> args,
                        const std::string& input = {}) {
  args.insert(args.begin(), {"--dir", directory});
  return Run("orvo-admin", args, input);
}

}  // namespace orvo::testing
