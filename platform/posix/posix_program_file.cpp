#include "platform/posix/posix_program_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <string_view>

#include "platform/posix/posix_errno_error.h"

namespace kestrune::posix {

bool StartsLikeProgram(std::span<const char> head) {
  const std::string_view text(head.data(), head.size());
  return text.starts_with("\x7f" "ELF") || text.starts_with("#!");
}

void MarkExecutableIfProgram(int fd, std::span<const char> head, const std::string& path) {
  if (!StartsLikeProgram(head)) return;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
  if ((info.st_mode & S_IXUSR) != 0) return;
  if (::fchmod(fd, (info.st_mode & 07777) | S_IXUSR) != 0) ThrowIoError(errno, path);
}

}  // namespace kestrune::posix
