#include "update/manifest.h"

#include <algorithm>

#include "update/manifest_lines.h"

namespace kestrune {

namespace {

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

Manifest ReadManifest(std::string_view bytes, const AnsiDecoder& decodeAnsi,
                      ManifestLayout* layout) {
  Manifest manifest;
  ManifestLineReader reader(bytes);
  ManifestLine lineBuffer;
  // Reads the next line; past the end of the text, an empty one.
  const auto readLine = [&] {
    if (reader.AtEnd()) {
      lineBuffer = ManifestLine{};
      return;
    }
    reader.ReadLine(lineBuffer);
    if (layout) layout->lines.push_back(lineBuffer);
  };
  bool firstLine = true;
  while (!reader.AtEnd()) {
    if (firstLine) {
      readLine();
      manifest.title = Decode(lineBuffer.text, decodeAnsi);
      firstLine = false;
      continue;
    }
    ManifestRecord record;
    readLine();
    record.fileName = std::string(TrimControlAndSpace(Decode(lineBuffer.text, decodeAnsi)));
    // The caption is read without looking for the end first: a record cut
    // short after its file name gets an empty caption.
    readLine();
    record.caption = std::string(TrimControlAndSpace(Decode(lineBuffer.text, decodeAnsi)));
    manifest.records.push_back(std::move(record));
  }
  if (layout) {
    layout->endMarkLine = reader.EndMarkLine();
    layout->textAfterEndMark = reader.TextAfterEndMark();
  }
  return manifest;
}

}  // namespace kestrune
