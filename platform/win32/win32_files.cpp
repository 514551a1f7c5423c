#include "platform/win32/win32_files.h"

#include "platform/win32/win32_windows.h"

#include <algorithm>
#include <limits>

#include "platform/gathered_writes.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_io_error.h"
#include "platform/win32/win32_text.h"

namespace kestrune::win32 {

namespace {

// Largest piece handed to one ReadFile/WriteFile call (their counts are DWORD).
constexpr std::size_t kMaxTransfer = 1u << 30;

KernelHandle OpenOrThrow(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE handle = ::CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) ThrowLastIoError();
  return KernelHandle(handle);
}

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(KernelHandle handle) : handle_(std::move(handle)) {}

  // Dropped without Close: what was written still goes to the file, but a
  // failure to store it goes unreported, as the contract allows.
  ~Win32OutputFile() override {
    if (handle_ && held_.HoldsBytes()) {
      try {
        held_.Flush([this](std::span<const std::byte> piece) { WriteAll(piece); });
      } catch (...) {
      }
    }
  }

  Win32OutputFile(const Win32OutputFile&) = delete;
  Win32OutputFile& operator=(const Win32OutputFile&) = delete;

  void Write(std::span<const std::byte> bytes) override {
    if (!handle_) throw IoError(IoErrorKind::Other, ERROR_INVALID_HANDLE);
    held_.Write(bytes, [this](std::span<const std::byte> piece) { WriteAll(piece); });
  }

  void Close() override {
    if (!handle_) return;
    // The held-back bytes first: a full disk often shows only here.
    held_.Flush([this](std::span<const std::byte> piece) { WriteAll(piece); });
    // The file is moved into place next and a present file is never
    // fetched again, so its data must be on the disk before that: after a
    // power cut the new name could otherwise stand over missing content.
    if (!::FlushFileBuffers(handle_.get())) {
      const DWORD error = ::GetLastError();
      handle_.reset();
      throw IoError(IoErrorKindOf(error), static_cast<int>(error));
    }
    if (!::CloseHandle(handle_.release())) ThrowLastIoError();
  }

 private:
  // On a failure the file is closed: what follows a lost piece must not be
  // stored after it as if nothing were missing.
  void WriteAll(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
      const auto piece = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
      DWORD written = 0;
      if (!::WriteFile(handle_.get(), bytes.data(), piece, &written, nullptr)) {
        const DWORD error = ::GetLastError();
        handle_.reset();
        throw IoError(IoErrorKindOf(error), static_cast<int>(error));
      }
      if (written == 0) {
        handle_.reset();
        throw IoError(IoErrorKind::DiskFull, ERROR_DISK_FULL);
      }
      bytes = bytes.subspan(written);
    }
  }

  KernelHandle handle_;
  GatheredWrites held_;
};

}  // namespace

std::string Win32FileSystem::CurrentDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) ThrowLastIoError();
    // Too small: the call answered with the size it needs, terminator included.
    if (length >= buffer.size()) {
      buffer.resize(length);
      continue;
    }
    buffer.resize(length);
    return Narrow(buffer);
  }
}

bool Win32FileSystem::FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::unique_ptr<OutputFile> Win32FileSystem::CreateOutputFile(const std::string& path) {
  return std::make_unique<Win32OutputFile>(
      OpenOrThrow(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS));
}

std::string Win32FileSystem::ReadWholeFile(const std::string& path) {
  KernelHandle file = OpenOrThrow(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.get(), &size)) ThrowLastIoError();
  std::string content;
  if (size.QuadPart > 0 &&
      static_cast<unsigned long long>(size.QuadPart) < std::numeric_limits<std::size_t>::max()) {
    content.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  // Read to the end rather than trusting the size: the file may grow.
  char block[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), block, sizeof block, &read, nullptr)) ThrowLastIoError();
    if (read == 0) return content;
    content.append(block, read);
  }
}

// Write-through: the call returns only once the move is on the disk, the
// counterpart of the directory fsync on Linux.
void Win32FileSystem::ReplaceFile(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowLastIoError();
  }
}

void Win32FileSystem::RemoveFile(const std::string& path) noexcept {
  try {
    ::DeleteFileW(Widen(path).c_str());
  } catch (...) {
    // Best effort by contract: a path too long to convert is simply not removed.
  }
}

}  // namespace kestrune::win32
