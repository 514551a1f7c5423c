#include "platform/win32/win32_files.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gathered_writes.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_io_error.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_windows.h"

namespace kestrune::win32 {

namespace {

// Largest piece handed to one ReadFile/WriteFile call (their counts are DWORD).
constexpr std::size_t kMaxTransfer = 1u << 30;
// How long a move waits for a target another handle holds, and how often it
// tries meanwhile.
constexpr ULONGLONG kHeldTargetPatienceMs = 2000;
constexpr DWORD kHeldTargetRetryPauseMs = 50;

KernelHandle OpenOrThrow(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE handle = ::CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) ThrowLastIoError();
  return KernelHandle(handle);
}

// An open file being written, for GatheredFileWriter. On a failure the
// handle is closed.
class WrittenHandle {
 public:
  explicit WrittenHandle(KernelHandle handle) : handle_(std::move(handle)) {}

  bool IsOpen() const { return static_cast<bool>(handle_); }
  HANDLE Get() const { return handle_.get(); }
  [[noreturn]] void ThrowNotOpen() const {
    throw IoError(IoErrorKind::Other, ERROR_INVALID_HANDLE);
  }

  void WriteAll(std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
      const auto piece = static_cast<DWORD>(std::min(bytes.size(), kMaxTransfer));
      DWORD written = 0;
      if (!::WriteFile(handle_.get(), bytes.data(), piece, &written, nullptr)) {
        Fail(::GetLastError());
      }
      if (written == 0) Fail(ERROR_DISK_FULL);
      bytes = bytes.subspan(written);
    }
  }

  void SyncToDisk() {
    if (!::FlushFileBuffers(handle_.get())) Fail(::GetLastError());
  }

  void Close() {
    if (handle_ && !::CloseHandle(handle_.release())) ThrowLastIoError();
  }

 private:
  [[noreturn]] void Fail(DWORD error) {
    handle_.reset();
    throw IoError(IoErrorKindOf(error), static_cast<int>(error));
  }

  KernelHandle handle_;
};

using GatheredHandleWriter = GatheredFileWriter<WrittenHandle>;

class Win32OutputFile final : public OutputFile {
 public:
  explicit Win32OutputFile(KernelHandle handle) : writer_(WrittenHandle(std::move(handle))) {}
  void Write(std::span<const std::byte> bytes) override { writer_.Write(bytes); }
  void Close() override {
    if (!writer_.Target().Get()) return;
    writer_.FlushToDisk();
    writer_.Target().Close();
  }

 private:
  GatheredHandleWriter writer_;
};

// Held by its open handle, which shares neither writing nor deletion: the
// clean-up of another launcher cannot delete it, and a killed process's
// handle goes with it. It is renamed through that same handle, so it is
// never let go before it is in place.
class Win32TemporaryFile final : public TemporaryFile {
 public:
  Win32TemporaryFile(KernelHandle handle, std::string path)
      : writer_(WrittenHandle(std::move(handle))), path_(std::move(path)) {}

  ~Win32TemporaryFile() override {
    if (moved_) return;
    // Marked for deletion while still held, so no other launcher ever sees
    // it without its owner; it goes when the writer closes the handle.
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    const HANDLE handle = writer_.Target().Get();
    if (handle && ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                               sizeof disposition)) {
      return;
    }
    // A handle lost to a failed write, or a refused mark: closed, then
    // deleted by name.
    try {
      writer_.Target().Close();
    } catch (...) {
    }
    RemoveQuietly();
  }

  Win32TemporaryFile(const Win32TemporaryFile&) = delete;
  Win32TemporaryFile& operator=(const Win32TemporaryFile&) = delete;

  void Write(std::span<const std::byte> bytes) override { writer_.Write(bytes); }
  void Finish() override { writer_.FlushToDisk(); }

  void MoveInto(const std::string& target) override {
    if (!writer_.Target().IsOpen()) writer_.Target().ThrowNotOpen();
    const std::wstring wideTarget = Widen(target);
    const std::size_t nameBytes = wideTarget.size() * sizeof(wchar_t);
    // FILE_RENAME_INFO ends in the name, which runs past the struct.
    std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, wideTarget.c_str(), nameBytes + sizeof(wchar_t));
    // NOTE: Windows moves nothing over a file that any handle holds open.
    // Right after another launcher moved the same file into place, that is
    // its handle, closed a moment later once the move is on the disk: the
    // move is tried again for a short while before the refusal stands (a
    // program the customer is running holds its file for longer).
    const ULONGLONG start = ::GetTickCount64();
    while (!::SetFileInformationByHandle(writer_.Target().Get(), FileRenameInfo, rename,
                                         static_cast<DWORD>(buffer.size()))) {
      const DWORD error = ::GetLastError();
      if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
          ::GetTickCount64() - start >= kHeldTargetPatienceMs) {
        throw IoError(IoErrorKindOf(error), static_cast<int>(error));
      }
      ::Sleep(kHeldTargetRetryPauseMs);
    }
    moved_ = true;
    // The move is part of the file's own metadata on NTFS: flushing the
    // handle again puts it on the disk, as MOVEFILE_WRITE_THROUGH would.
    writer_.FlushToDisk();
    writer_.Target().Close();
  }

 private:
  void RemoveQuietly() noexcept {
    try {
      ::DeleteFileW(Widen(path_).c_str());
    } catch (...) {
    }
  }

  GatheredHandleWriter writer_;
  std::string path_;
  bool moved_ = false;
};

// One owner for a FindFirstFileW search.
struct FindCloser {
  void operator()(HANDLE handle) const noexcept { ::FindClose(handle); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

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

void Win32FileSystem::ReadInBlocks(const std::string& path, const BlockReceiver& take) {
  KernelHandle file = OpenOrThrow(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  // Read to the end rather than trusting the size: the file may grow.
  std::byte block[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), block, sizeof block, &read, nullptr)) ThrowLastIoError();
    if (read == 0) return;
    take(std::span<const std::byte>(block, read));
  }
}

std::unique_ptr<TemporaryFile> Win32FileSystem::CreateTemporaryFile(const std::string& path) {
  // DELETE access lets the file be renamed and removed through this handle.
  HANDLE handle = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // Only a name clash means another name must be tried; anything else
    // is this folder's own problem and is reported.
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return nullptr;
    throw IoError(IoErrorKindOf(error), static_cast<int>(error));
  }
  return std::make_unique<Win32TemporaryFile>(KernelHandle(handle), path);
}

bool Win32FileSystem::RemoveUnlessHeld(const std::string& path) noexcept {
  // A running launcher's file shares no deletion: this fails with a
  // sharing violation and the file stays.
  try {
    return ::DeleteFileW(Widen(path).c_str()) != 0;
  } catch (...) {
    return false;
  }
}

std::vector<std::string> Win32FileSystem::FileNamesIn(const std::string& directory) noexcept {
  std::vector<std::string> names;
  try {
    std::wstring pattern = Widen(directory);
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    HANDLE first = ::FindFirstFileW(pattern.c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return names;
    const FindHandle search(first);
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        names.push_back(Narrow(found.cFileName));
      }
    } while (::FindNextFileW(search.get(), &found));
  } catch (...) {
    // A name that cannot be converted or stored: what was read is still of use.
  }
  return names;
}

std::uint64_t Win32FileSystem::ProcessId() const { return ::GetCurrentProcessId(); }

std::optional<std::uint64_t> Win32FileSystem::FreeSpace(const std::string& directory) noexcept {
  try {
    ULARGE_INTEGER available{};
    // What this user may still write there, quotas counted.
    if (!::GetDiskFreeSpaceExW(Widen(directory).c_str(), &available, nullptr, nullptr)) {
      return std::nullopt;
    }
    return available.QuadPart;
  } catch (...) {
    return std::nullopt;  // a name that cannot be converted
  }
}

}  // namespace kestrune::win32
