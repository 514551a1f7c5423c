#include "update/manifest.h"

#include <algorithm>

namespace kestrune {

namespace {

constexpr char kEndOfFileMark = 26;  // Ctrl-Z

// Walks manifest bytes line by line with the text rules of the reader the
// manifests were written for.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : bytes_(bytes) {}

  // True at the end of the bytes or at an end-of-file mark.
  bool AtEnd() const { return pos_ >= bytes_.size() || bytes_[pos_] == kEndOfFileMark; }

  // One line without its terminator, lone carriage returns dropped. An
  // end-of-file mark inside a line ends its text and the rest of that
  // physical line is skipped; one at the start of a line reads as an empty
  // line and stays where it is, so the next AtEnd() sees it.
  void ReadLine(std::string& out) {
    out.clear();
    const std::size_t lineStart = pos_;
    const std::size_t size = bytes_.size();
    while (pos_ < size) {
      std::size_t runEnd = pos_;
      while (runEnd < size) {
        const char c = bytes_[runEnd];
        if (c == '\n' || c == '\r' || c == kEndOfFileMark) break;
        ++runEnd;
      }
      out.append(bytes_.data() + pos_, runEnd - pos_);
      pos_ = runEnd;
      if (pos_ >= size) return;
      const char c = bytes_[pos_];
      if (c == '\n') {
        ++pos_;
        return;
      }
      if (c == '\r') {
        if (pos_ + 1 < size && bytes_[pos_ + 1] == '\n') {
          pos_ += 2;
          return;
        }
        ++pos_;  // a lone CR is dropped and the line goes on
        continue;
      }
      // The end-of-file mark.
      if (pos_ != lineStart) SkipRestOfPhysicalLine();
      return;
    }
  }

 private:
  void SkipRestOfPhysicalLine() {
    const std::size_t newline = bytes_.find('\n', pos_);
    pos_ = newline == std::string_view::npos ? bytes_.size() : newline + 1;
  }

  std::string_view bytes_;
  std::size_t pos_ = 0;
};

bool IsPlainAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string Decode(const std::string& raw, const AnsiDecoder& decodeAnsi) {
  if (IsPlainAscii(raw) || !decodeAnsi) return raw;
  return decodeAnsi(raw);
}

}  // namespace

std::string_view TrimControlAndSpace(std::string_view text) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

Manifest ReadManifest(std::string_view bytes, const AnsiDecoder& decodeAnsi) {
  Manifest manifest;
  LineReader reader(bytes);
  std::string lineBuffer;
  bool firstLine = true;
  while (!reader.AtEnd()) {
    if (firstLine) {
      reader.ReadLine(lineBuffer);
      manifest.title = Decode(lineBuffer, decodeAnsi);
      firstLine = false;
      continue;
    }
    ManifestRecord record;
    reader.ReadLine(lineBuffer);
    record.fileName = std::string(TrimControlAndSpace(Decode(lineBuffer, decodeAnsi)));
    // The caption is read without looking for the end first: a record cut
    // short after its file name gets an empty caption.
    reader.ReadLine(lineBuffer);
    record.caption = std::string(TrimControlAndSpace(Decode(lineBuffer, decodeAnsi)));
    manifest.records.push_back(std::move(record));
  }
  return manifest;
}

}  // namespace kestrune
