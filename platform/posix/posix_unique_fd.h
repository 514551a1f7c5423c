// A file descriptor with exactly one owner: closed when the owner goes,
// movable, never copied.
#pragma once

#include <unistd.h>

#include <utility>

namespace kestrune::posix {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

  // Gives up ownership; the caller closes.
  int Release() { return std::exchange(fd_, -1); }

  void Reset(int fd = -1) {
    // No retry on EINTR: on Linux the descriptor is gone either way.
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace kestrune::posix
