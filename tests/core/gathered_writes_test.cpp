// The write gathering both file layers use: what reaches the system, in
// which pieces, and what a failed piece leaves behind.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gathered_writes.h"

namespace kestrune {
namespace {

constexpr std::size_t kCap = GatheredWrites::kCapacity;

// A system that records each write call it gets.
struct Sink {
  std::string stored;
  std::vector<std::size_t> calls;
  bool fail = false;
  void operator()(std::span<const std::byte> bytes) {
    calls.push_back(bytes.size());
    if (fail) throw std::runtime_error("disk full");
    stored.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
};

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7) % 26);
  return s;
}

std::span<const std::byte> Bytes(const std::string& s, std::size_t from, std::size_t count) {
  return std::as_bytes(std::span(s.data() + from, count));
}

TEST(GatheredWrites, SmallBlocksReachTheSystemInFullBuffersAndInOrder) {
  const std::string data = Pattern(1024 * 200);
  GatheredWrites held;
  Sink sink;
  for (std::size_t at = 0; at < data.size(); at += 1024) held.Write(Bytes(data, at, 1024), std::ref(sink));
  EXPECT_TRUE(held.HoldsBytes());
  held.Flush(std::ref(sink));
  EXPECT_FALSE(held.HoldsBytes());
  EXPECT_EQ(sink.stored, data);
  // 200 KiB in 64 KiB pieces: three full buffers and the rest at the flush.
  EXPECT_EQ(sink.calls, (std::vector<std::size_t>{kCap, kCap, kCap, 200 * 1024 - 3 * kCap}));
}

TEST(GatheredWrites, APieceAsLargeAsTheBufferGoesStraightThroughAfterWhatIsHeld) {
  const std::string data = Pattern(10 + kCap + 5);
  GatheredWrites held;
  Sink sink;
  held.Write(Bytes(data, 0, 10), std::ref(sink));
  held.Write(Bytes(data, 10, kCap), std::ref(sink));
  held.Write(Bytes(data, 10 + kCap, 5), std::ref(sink));
  held.Flush(std::ref(sink));
  EXPECT_EQ(sink.stored, data);
  EXPECT_EQ(sink.calls, (std::vector<std::size_t>{10, kCap, 5}));
}

TEST(GatheredWrites, ExactlyFillingTheBufferHoldsItUntilMoreComes) {
  const std::string data = Pattern(kCap + 1);
  GatheredWrites held;
  Sink sink;
  held.Write(Bytes(data, 0, kCap - 1), std::ref(sink));
  held.Write(Bytes(data, kCap - 1, 1), std::ref(sink));
  EXPECT_TRUE(sink.calls.empty());
  held.Write(Bytes(data, kCap, 1), std::ref(sink));
  EXPECT_EQ(sink.calls, (std::vector<std::size_t>{kCap}));
  held.Flush(std::ref(sink));
  EXPECT_EQ(sink.stored, data);
}

TEST(GatheredWrites, NothingHeldMeansNoWriteCallAndEmptyWritesAreNothing) {
  GatheredWrites held;
  Sink sink;
  held.Write({}, std::ref(sink));
  held.Flush(std::ref(sink));
  EXPECT_TRUE(sink.calls.empty());
  EXPECT_FALSE(held.HoldsBytes());
}

TEST(GatheredWrites, AFailedFlushDropsTheHeldBytesSoTheyAreNeverStoredLater) {
  const std::string data = Pattern(300);
  GatheredWrites held;
  Sink sink;
  held.Write(Bytes(data, 0, 100), std::ref(sink));
  sink.fail = true;
  EXPECT_THROW(held.Flush(std::ref(sink)), std::runtime_error);
  EXPECT_FALSE(held.HoldsBytes());
  sink.fail = false;
  held.Write(Bytes(data, 100, 200), std::ref(sink));
  held.Flush(std::ref(sink));
  EXPECT_EQ(sink.stored, data.substr(100));
}

}  // namespace
}  // namespace kestrune
