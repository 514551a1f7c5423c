// Fuzz target: any bytes as the manifest the server sends.
//
// The reader's result is compared with a plain byte-by-byte reading of the
// same rules; every name is judged by IsSafeEntryName and each one it lets
// through is checked to stay inside the working directory however Windows
// would read it; and the bytes go through the window's whole start-up on
// the fake platform with the user answering Yes, against a server that has
// every file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1.h"
#include "platform/fake/fake_platform.h"
#include "update/download.h"
#include "update/entries.h"
#include "update/entry_name.h"
#include "update/manifest.h"

namespace kestrune {
namespace {

constexpr char kBase[] = "http://192.0.2.10/serverlist/";
constexpr char kUpdateProblem[] = "Problem with function update. Please contact Tavimo";

[[noreturn]] void Fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "fuzz_manifest: %s", what);
  if (!detail.empty()) {
    std::fprintf(stderr, ": \"");
    for (char c : detail.substr(0, 200)) {
      const auto u = static_cast<unsigned char>(c);
      if (u >= 32 && u < 127 && c != '\\') {
        std::fputc(c, stderr);
      } else {
        std::fprintf(stderr, "\\x%02X", u);
      }
    }
    std::fprintf(stderr, "\"");
  }
  std::fprintf(stderr, "\n");
  std::abort();
}

#define FUZZ_CHECK(condition, ...) \
  do {                             \
    if (!(condition)) Fail(__VA_ARGS__); \
  } while (false)

// The manifest rules read one byte at a time, the slow and obvious way.
class PlainReader {
 public:
  explicit PlainReader(std::string_view bytes) : b_(bytes) {}

  bool AtEnd() const { return i_ >= b_.size() || b_[i_] == 26; }

  std::string Line() {
    std::string out;
    const std::size_t start = i_;
    while (i_ < b_.size()) {
      const char c = b_[i_];
      if (c == '\n') {
        ++i_;
        return out;
      }
      if (c == '\r') {
        if (i_ + 1 < b_.size() && b_[i_ + 1] == '\n') {
          i_ += 2;
          return out;
        }
        ++i_;
        continue;
      }
      if (c == 26) {
        if (i_ != start) {
          while (i_ < b_.size() && b_[i_] != '\n') ++i_;
          if (i_ < b_.size()) ++i_;
        }
        return out;
      }
      out.push_back(c);
      ++i_;
    }
    return out;
  }

 private:
  std::string_view b_;
  std::size_t i_ = 0;
};

std::string Decoded(const std::string& line) {
  for (char c : line) {
    if (static_cast<unsigned char>(c) >= 0x80) return fake::Latin1ToUtf8(line);
  }
  return line;
}

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

Manifest PlainRead(std::string_view bytes) {
  Manifest m;
  PlainReader reader(bytes);
  if (reader.AtEnd()) return m;
  m.title = Decoded(reader.Line());
  while (!reader.AtEnd()) {
    ManifestRecord r;
    r.fileName = Trimmed(Decoded(reader.Line()));
    r.caption = Trimmed(Decoded(reader.Line()));
    m.records.push_back(std::move(r));
  }
  return m;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Windows' reading of a relative name, erring towards climbing: either
// separator; a component of dots and spaces only is the directory itself
// with one dot and its parent with more. False when that climbs above the
// directory the name is relative to.
bool StaysInsideOnWindows(std::string_view name) {
  int depth = 0;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view part = name.substr(start, end - start);
    const bool dotsAndSpacesOnly = part.find_first_not_of(". ") == std::string_view::npos;
    const auto dots = std::count(part.begin(), part.end(), '.');
    if (!dotsAndSpacesOnly) {
      ++depth;
    } else if (dots >= 2 && --depth < 0) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

// A blank name is the working directory itself, and safe.
void CheckSafeName(const std::string& name) {
  if (name.empty()) return;
  FUZZ_CHECK(!IsSeparator(name.front()), "safe name starts with a separator", name);
  FUZZ_CHECK(name.find(':') == std::string::npos, "safe name holds ':'", name);
  for (char c : name) {
    FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && c != 127, "safe name holds a control byte", name);
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view part = std::string_view(name).substr(start, end - start);
    FUZZ_CHECK(part.empty() || (part.back() != '.' && part.back() != ' '),
               "safe component ends in a dot or space", name);
    start = end + 1;
  }
  FUZZ_CHECK(!Upper(name).ends_with(Upper(kPartialDownloadSuffix)), "safe name is a temporary name", name);
  FUZZ_CHECK(StaysInsideOnWindows(name), "safe name climbs out on Windows", name);
}

void CheckReader(std::string_view bytes, const Manifest& m) {
  const Manifest plain = PlainRead(bytes);
  FUZZ_CHECK(m.title == plain.title, "title differs from the plain reading");
  FUZZ_CHECK(m.records.size() == plain.records.size(), "record count differs from the plain reading");
  for (std::size_t i = 0; i < m.records.size(); ++i) {
    FUZZ_CHECK(m.records[i].fileName == plain.records[i].fileName, "file name differs",
               m.records[i].fileName);
    FUZZ_CHECK(m.records[i].caption == plain.records[i].caption, "caption differs", m.records[i].caption);
  }
  FUZZ_CHECK(m.title.has_value() == (!bytes.empty() && bytes.front() != 26), "title presence");
}

// The window's creation with start-up, as RunKestrune does it.
void CheckStartup(std::string_view bytes, const Manifest& m) {
  fake::FakePlatform sys;
  fake::FakeResponse manifest;
  manifest.body = std::string(bytes);
  sys.internet.responses[std::string(kBase) + "updater.txt"] = manifest;
  std::size_t unsafe = 0;
  bool safeNameInAFolder = false;
  bool blankName = false;
  for (const ManifestRecord& r : m.records) {
    // An entry named like the manifest gets the manifest, as it would.
    if (r.fileName != "updater.txt") {
      fake::FakeResponse file;
      file.body = "body of " + r.fileName;
      sys.internet.responses[EntryAddress(kBase, r.fileName)] = file;
    }
    if (!IsSafeEntryName(r.fileName)) {
      ++unsafe;
    } else if (r.fileName.find_first_of("\\/") != std::string::npos) {
      safeNameInAFolder = true;
    } else if (r.fileName.empty()) {
      blankName = true;
    }
  }
  sys.desktop.confirmAnswers = {true};

  TForm1 form(sys.platform, Addresses{kBase, "http://home/", "https://tickets/"});
  form.Create(sys.window);
  const LauncherState& state = form.State();

  // An I/O error (a sub-folder that is not there, or a blank name that
  // leaves the working directory itself as the target) ends start-up early.
  const bool stoppedEarly = !sys.desktop.errors.empty();
  for (const std::string& e : sys.desktop.errors) {
    FUZZ_CHECK((e == "Path not found." && safeNameInAFolder) ||
                   (e == "File access denied." && blankName),
               "unexpected error box", e);
  }
  FUZZ_CHECK(state.localPaths.size() == state.remoteUrls.size(), "entry lists differ in length");
  FUZZ_CHECK(state.localPaths.size() == state.buttonCaptions.size(), "entry lists differ in length");
  FUZZ_CHECK(state.localPaths.size() == m.records.size(), "entry count differs from the records");
  if (!stoppedEarly) {
    FUZZ_CHECK(sys.window.Buttons().size() == m.records.size(), "button count differs");
  }

  std::size_t updateBoxes = 0;
  for (const std::string& text : sys.desktop.informations) {
    FUZZ_CHECK(text == kUpdateProblem, "unexpected information box", text);
    ++updateBoxes;
  }
  FUZZ_CHECK(stoppedEarly ? updateBoxes <= unsafe : updateBoxes == unsafe, "one box per unsafe name");
  FUZZ_CHECK(sys.desktop.confirmations <= 1, "asked more than once");
  // Every safe name is served, so only unsafe names are problems; an I/O
  // error skips the end of start-up, the request to end included.
  FUZZ_CHECK(form.EndRequested() == (!stoppedEarly && unsafe > 0), "ending after a problem");

  const std::string base(kBase);
  for (std::size_t i = 1; i < sys.internet.requests.size(); ++i) {
    const std::string& url = sys.internet.requests[i];
    FUZZ_CHECK(url.starts_with(base) && IsSafeEntryName(url.substr(base.size())), "unsafe name fetched", url);
  }
  const std::string prefix = sys.files.currentDirectory + "\\";
  for (const auto& [path, content] : sys.files.files) {
    FUZZ_CHECK(path.starts_with(prefix), "file written outside the working directory", path);
    FUZZ_CHECK(!path.ends_with(kPartialDownloadSuffix), "temporary file left behind", path);
  }
  FUZZ_CHECK(sys.internet.liveHandles == 0, "internet handle left open");
  FUZZ_CHECK(sys.files.openOutputFiles == 0, "output file left open");
}

}  // namespace
}  // namespace kestrune

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrune;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Manifest m = ReadManifest(bytes, fake::Latin1ToUtf8);
  CheckReader(bytes, m);
  for (const ManifestRecord& r : m.records) {
    if (IsSafeEntryName(r.fileName)) CheckSafeName(r.fileName);
  }
  CheckStartup(bytes, m);
  return 0;
}
