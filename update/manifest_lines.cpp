#include "update/manifest_lines.h"

#include <algorithm>

namespace kestrune {

namespace {

bool HoldsMoreThanBlanks(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 32; });
}

}  // namespace

void ManifestLineReader::ReadLine(ManifestLine& out) {
  out.number = ++linesRead_;
  out.text.clear();
  out.loneCarriageReturns = 0;
  out.cutByEndMark = false;
  out.cutDropsText = false;
  const std::size_t lineStart = pos_;
  const std::size_t size = bytes_.size();
  while (pos_ < size) {
    std::size_t runEnd = pos_;
    while (runEnd < size) {
      const char c = bytes_[runEnd];
      if (c == '\n' || c == '\r' || c == kEndOfFileMark) break;
      ++runEnd;
    }
    out.text.append(bytes_.data() + pos_, runEnd - pos_);
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
      ++out.loneCarriageReturns;
      continue;
    }
    // The end mark. At the start of a line it stays for AtEnd(); inside one
    // it ends the text and the rest of the physical line is skipped.
    if (pos_ == lineStart) return;
    out.cutByEndMark = true;
    const std::size_t newline = bytes_.find('\n', pos_);
    const std::size_t next = newline == std::string_view::npos ? size : newline + 1;
    out.cutDropsText = HoldsMoreThanBlanks(bytes_.substr(pos_ + 1, next - pos_ - 1));
    pos_ = next;
    return;
  }
}

int ManifestLineReader::EndMarkLine() const {
  return pos_ < bytes_.size() && bytes_[pos_] == kEndOfFileMark ? linesRead_ + 1 : 0;
}

bool ManifestLineReader::TextAfterEndMark() const {
  return EndMarkLine() != 0 && HoldsMoreThanBlanks(bytes_.substr(pos_ + 1));
}

}  // namespace kestrune
