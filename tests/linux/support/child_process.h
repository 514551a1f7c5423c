// Starting helper programs from the tests without a shell: an argument
// list, optionally a pipe on the child's standard output.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/posix/posix_unique_fd.h"

namespace kestrune::testing {

class ChildProcess {
 public:
  // Starts argv[0] (looked up on PATH when it holds no '/'). Throws
  // std::runtime_error when it cannot be started.
  static ChildProcess Start(const std::vector<std::string>& argv, bool captureStdout);
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A child still running is ended (SIGTERM) and reaped.
  ~ChildProcess();

  // One line of the child's standard output, without its end; empty at the end.
  std::string ReadLine();
  // Sends SIGTERM and waits; returns the wait status.
  int Stop();
  // Waits for the child to end by itself; returns its exit code, or -1 when
  // it was killed by a signal.
  int Wait();

 private:
  ChildProcess(pid_t pid, posix::UniqueFd output) : pid_(pid), output_(std::move(output)) {}
  pid_t pid_ = -1;
  posix::UniqueFd output_;
  std::string buffered_;
};

// Runs a program to its end; throws std::runtime_error unless it exits 0.
void RunToSuccess(const std::vector<std::string>& argv);

}  // namespace kestrune::testing
