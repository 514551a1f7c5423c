#include "platform/posix/posix_system.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace kestrune::posix {

void PosixSystem::Sleep(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::string PosixSystem::OwnExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    // readlink truncates silently; a full buffer may be a cut path.
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kestrune::posix
