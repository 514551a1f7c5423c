#include "tests/linux/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace kestrune::testing {

namespace {

struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
};

}  // namespace

ChildProcess ChildProcess::Start(const std::vector<std::string>& argv, bool captureStdout) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  SpawnActions spawn;
  posix::UniqueFd readEnd;
  posix::UniqueFd writeEnd;
  if (captureStdout) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    posix_spawn_file_actions_adddup2(&spawn.actions, writeEnd.get(), STDOUT_FILENO);
  }
  pid_t pid = -1;
  const int error = ::posix_spawnp(&pid, args[0], &spawn.actions, nullptr, args.data(), environ);
  if (error != 0) throw std::runtime_error("cannot start " + argv.at(0));
  return ChildProcess(pid, std::move(readEnd));
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      output_(std::move(other.output_)),
      buffered_(std::move(other.buffered_)) {}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Stop();
}

std::string ChildProcess::ReadLine() {
  for (;;) {
    if (const auto end = buffered_.find('\n'); end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    char block[256];
    const ssize_t got = output_ ? ::read(output_.get(), block, sizeof block) : 0;
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::exchange(buffered_, {});
    buffered_.append(block, static_cast<std::size_t>(got));
  }
}

int ChildProcess::Stop() {
  if (pid_ <= 0) return 0;
  ::kill(pid_, SIGTERM);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return status;
}

int ChildProcess::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RunToSuccess(const std::vector<std::string>& argv) {
  if (ChildProcess::Start(argv, false).Wait() != 0) {
    throw std::runtime_error(argv.at(0) + " failed");
  }
}

}  // namespace kestrune::testing
