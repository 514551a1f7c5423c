// An output file's writes gathered into one buffer of fixed size before
// they reach the system: downloads arrive in 1024-byte blocks, and a system
// call for each would be where a transfer spends its time. The buffer never
// grows, so memory stays independent of the file's size. The file layers
// own the handle and say how bytes are written; this holds them meanwhile.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <span>
#include <utility>

namespace kestrune {

class GatheredWrites {
 public:
  static constexpr std::size_t kCapacity = 64 * 1024;

  GatheredWrites() : buffer_(std::make_unique_for_overwrite<std::byte[]>(kCapacity)) {}

  bool HoldsBytes() const { return held_ > 0; }

  // Keeps bytes, or hands what is held and then bytes to writeAll, which
  // takes a std::span<const std::byte> and stores all of it or throws.
  template <typename WriteAll>
  void Write(std::span<const std::byte> bytes, WriteAll&& writeAll) {
    if (bytes.empty()) return;
    if (bytes.size() > kCapacity - held_) {
      Flush(writeAll);
      // A piece as large as the buffer gains nothing from a copy.
      if (bytes.size() >= kCapacity) {
        writeAll(bytes);
        return;
      }
    }
    std::memcpy(buffer_.get() + held_, bytes.data(), bytes.size());
    held_ += bytes.size();
  }

  // Hands over what is held. The bytes count as gone even when writeAll
  // throws: a failed piece is never stored later as if nothing were lost.
  template <typename WriteAll>
  void Flush(WriteAll&& writeAll) {
    const std::size_t count = std::exchange(held_, 0);
    if (count > 0) writeAll(std::span<const std::byte>(buffer_.get(), count));
  }

 private:
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t held_ = 0;
};

// A file being written through GatheredWrites. File is the platform's owner
// of the open file: IsOpen(), WriteAll(bytes) and SyncToDisk(), which close
// it and throw IoError on a failure (what follows a lost piece must never be
// stored after it as if nothing were missing), and ThrowNotOpen().
template <typename File>
class GatheredFileWriter {
 public:
  explicit GatheredFileWriter(File file) : file_(std::move(file)) {}

  // Dropped without FlushToDisk: what was written still goes to the file,
  // but a failure to store it goes unreported.
  ~GatheredFileWriter() {
    if (file_.IsOpen() && held_.HoldsBytes()) {
      try {
        FlushHeld();
      } catch (...) {
      }
    }
  }

  GatheredFileWriter(const GatheredFileWriter&) = delete;
  GatheredFileWriter& operator=(const GatheredFileWriter&) = delete;

  void Write(std::span<const std::byte> bytes) {
    if (!file_.IsOpen()) file_.ThrowNotOpen();
    held_.Write(bytes, [this](std::span<const std::byte> piece) { file_.WriteAll(piece); });
  }

  // Writes the held-back bytes, where a full disk often shows first, and
  // waits until all of them are on the disk itself: a file is trusted by
  // its name after this, and after a power cut the name could otherwise
  // stand over missing content.
  void FlushToDisk() {
    if (!file_.IsOpen()) file_.ThrowNotOpen();
    FlushHeld();
    file_.SyncToDisk();
  }

  File& Target() { return file_; }
  const File& Target() const { return file_; }

 private:
  void FlushHeld() {
    held_.Flush([this](std::span<const std::byte> piece) { file_.WriteAll(piece); });
  }

  File file_;
  GatheredWrites held_;
};

}  // namespace kestrune
