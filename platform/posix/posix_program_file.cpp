#include "platform/posix/posix_program_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>

#include "platform/posix/posix_errno_error.h"
#include "platform/posix/posix_unique_fd.h"

namespace kestrune::posix {

bool StartsLikeProgram(std::span<const char> head) {
  const std::string_view text(head.data(), head.size());
  return text.starts_with("\x7f" "ELF") || text.starts_with("#!");
}

void MarkExecutableIfProgram(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return;
  std::array<char, 4> head{};
  ssize_t got = 0;
  do {
    got = ::read(fd.get(), head.data(), head.size());
  } while (got < 0 && errno == EINTR);
  if (got <= 0) return;
  if (!StartsLikeProgram(std::span<const char>(head.data(), static_cast<std::size_t>(got)))) return;

  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if ((info.st_mode & S_IXUSR) != 0) return;
  if (::fchmod(fd.get(), (info.st_mode & 07777) | S_IXUSR) != 0) ThrowIoError(errno, path);
}

}  // namespace kestrune::posix
