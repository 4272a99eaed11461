// The writes a transfer can meet that would end the whole program unless the signals are ignored:
// one to a pipe whose reader has gone, one past the file-size limit. Each runs in a child process,
// so the test program's own signals and limits stay as they were.
#include "platform/ProcessSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

// How a child that runs `write` ended: the errno its write failed with, or the signal that ended
// it (as a negative number). The child starts from the signals' defaults, whatever this process
// inherited.
int ChildOutcome(bool ignore, const std::function<int()>& write) {
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGXFSZ, SIG_DFL);
    if (ignore) IgnoreBrokenPipeSignals();
    ::_exit(write());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) return -WTERMSIG(status);
  return WEXITSTATUS(status);
}

int WriteToClosedPipe() {
  int ends[2];
  if (::pipe(ends) != 0) return 100;
  ::close(ends[0]);
  const int result = ::write(ends[1], "x", 1) < 0 ? errno : 0;
  ::close(ends[1]);
  return result;
}

std::function<int()> WritePastSizeLimit(const std::string& path) {
  return [path] {
    const rlimit limit{1, 1};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 101;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return 102;
    const int result = ::write(fd, "xy", 2) < 0 || ::write(fd, "z", 1) < 0 ? errno : 0;
    ::close(fd);
    return result;
  };
}

TEST(IgnoreBrokenPipeSignals, AWriteToAClosedPipeFailsInsteadOfEndingTheProgram) {
  ASSERT_EQ(ChildOutcome(false, WriteToClosedPipe), -SIGPIPE);  // what the call prevents
  EXPECT_EQ(ChildOutcome(true, WriteToClosedPipe), EPIPE);
}

TEST(IgnoreBrokenPipeSignals, AWritePastTheFileSizeLimitFailsInsteadOfEndingTheProgram) {
  testing::TempDir dir;
  const std::string path = (dir.Path() / "limited").string();
  ASSERT_EQ(ChildOutcome(false, WritePastSizeLimit(path)), -SIGXFSZ);
  EXPECT_EQ(ChildOutcome(true, WritePastSizeLimit(path)), EFBIG);
}

}  // namespace
}  // namespace orvo::platform
