// The Win32 layer against real parts: files in a scratch folder, WinINet
// against the loopback test server, and the core's download on top of both.
// Run under Wine by layer_tests.py:
//   kestrune_win32_tests.exe BASE_URL CLOSED_URL SCRATCH_DIR
#include "platform/win32/win32_windows.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_internet.h"
#include "platform/win32/win32_text.h"
#include "tests/windows/layer_check.h"
#include "update/download.h"

namespace {

using namespace kestrune;
using namespace kestrune::win32;
using kestrune::layer_tests::Group;

std::string PatternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

void WriteFileBytes(FileSystem& files, const std::string& path, const std::string& bytes) {
  auto file = files.CreateOutputFile(path);
  file->Write(std::as_bytes(std::span(bytes.data(), bytes.size())));
  file->Close();
}

// Runs body and reports the IoError it throws (kind and system code).
template <typename Body>
std::pair<IoErrorKind, int> IoFailure(Body body) {
  try {
    body();
  } catch (const IoError& error) {
    return {error.kind(), error.systemCode()};
  }
  return {IoErrorKind::Other, -1};
}

// Everything a response delivers through the 1024-byte reads the core uses.
struct Body {
  std::string bytes;
  bool brokeOff = false;
};

Body ReadAll(InternetResponse& response, std::size_t blockSize = 1024) {
  Body body;
  std::vector<std::byte> buffer(blockSize);
  for (;;) {
    const ReadResult read = response.Read(buffer);
    if (!read.ok) {
      body.brokeOff = true;
      return body;
    }
    if (read.bytes == 0) return body;
    body.bytes.append(reinterpret_cast<const char*>(buffer.data()), read.bytes);
  }
}

void TextTests() {
  Group("UTF-8 and UTF-16 meet only at the edge", [] {
    const std::string mixed = "A \xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";  // A é 日本 😀
    const std::wstring wide = Widen(mixed);
    CHECK_EQ(wide.size(), std::size_t{9});  // the emoji is a surrogate pair
    CHECK(wide[2] == 0x00E9 && wide[7] == 0xD83D && wide[8] == 0xDE00);
    CHECK_EQ(Narrow(wide), mixed);
    CHECK_EQ(Widen("").size(), std::size_t{0});
    // A stray byte is shown as a replacement character, not dropped or fatal.
    CHECK(Widen("a\xFFz") == std::wstring(L"a\xFFFDz"));
  });
  Group("lone carriage returns become line breaks", [] {
    CHECK(WithWindowsLineBreaks(L"\r   Hint   \r") == L"\r\n   Hint   \r\n");
    CHECK(WithWindowsLineBreaks(L"a\r\nb") == L"a\r\nb");
    CHECK(WithWindowsLineBreaks(L"\r\r") == L"\r\n\r\n");
    CHECK(WithWindowsLineBreaks(L"plain") == L"plain");
  });
  Group("ANSI manifest text", [] {
    // The harness runs Wine with the Western code page.
    CHECK_EQ(::GetACP(), 1252u);
    CHECK_EQ(AnsiToUtf8("caf\xE9 \x80"), std::string("caf\xC3\xA9 \xE2\x82\xAC"));
    CHECK_EQ(AnsiToUtf8("plain"), std::string("plain"));
  });
}

void FileTests(const std::string& scratch) {
  Win32FileSystem files;
  const std::string dir = scratch + "\\files";
  ::CreateDirectoryW(Widen(dir).c_str(), nullptr);

  Group("current directory", [&] {
    CHECK(::SetCurrentDirectoryW(Widen(dir).c_str()));
    CHECK_EQ(files.CurrentDirectory(), dir);
    // A drive's root keeps its backslash; no other folder has one.
    CHECK(::SetCurrentDirectoryW(L"Z:\\"));
    CHECK_EQ(files.CurrentDirectory(), std::string("Z:\\"));
    ::SetCurrentDirectoryW(Widen(dir).c_str());
    CHECK_EQ(files.PathSeparator(), '\\');
  });

  Group("write, read back, replace and remove", [&] {
    const std::string big = PatternBytes(200 * 1024 + 7);
    const std::string path = dir + "\\big.bin";
    WriteFileBytes(files, path, big);
    CHECK(files.FileExists(path));
    CHECK(files.ReadWholeFile(path) == big);

    // Creating again truncates: nothing of the longer old content is left.
    WriteFileBytes(files, path, "short");
    CHECK_EQ(files.ReadWholeFile(path), std::string("short"));
    WriteFileBytes(files, path, "");
    CHECK_EQ(files.ReadWholeFile(path).size(), std::size_t{0});

    const std::string unicode = dir + "\\donn\xC3\xA9" "es \xE6\x97\xA5\xE6\x9C\xAC.txt";
    WriteFileBytes(files, unicode, "named");
    CHECK(files.FileExists(unicode));
    CHECK_EQ(files.ReadWholeFile(unicode), std::string("named"));

    const std::string from = dir + "\\new.part";
    WriteFileBytes(files, from, "new content");
    files.ReplaceFile(from, unicode);
    CHECK_EQ(files.ReadWholeFile(unicode), std::string("new content"));
    CHECK(!files.FileExists(from));

    files.RemoveFile(unicode);
    CHECK(!files.FileExists(unicode));
    files.RemoveFile(unicode);  // already gone: quietly nothing
  });

  Group("writes of any size reach the file whole and in order", [&] {
    // Small pieces are held back and large ones go straight through; the
    // file must come out as one stream either way.
    const std::string expected = PatternBytes(1 + 1000 + 1024 * 70 + 70000 + 3 + 65536);
    const std::string path = dir + "\\mixed.bin";
    auto file = files.CreateOutputFile(path);
    std::size_t at = 0;
    const auto put = [&](std::size_t count) {
      file->Write(std::as_bytes(std::span(expected.data() + at, count)));
      at += count;
    };
    put(1);
    put(1000);
    for (int i = 0; i < 70; ++i) put(1024);
    put(70000);
    put(3);
    put(65536);
    file->Close();
    CHECK_EQ(at, expected.size());
    CHECK(files.ReadWholeFile(path) == expected);

    // Dropped without Close, the bytes written still reach the file.
    const std::string dropped = dir + "\\dropped.bin";
    {
      auto unclosed = files.CreateOutputFile(dropped);
      unclosed->Write(std::as_bytes(std::span(expected.data(), 5000)));
    }
    CHECK(files.ReadWholeFile(dropped) == expected.substr(0, 5000));
  });

  Group("only files exist", [&] {
    CHECK(!files.FileExists(dir));
    CHECK(!files.FileExists(dir + "\\missing.txt"));
    CHECK(!files.FileExists(dir + "\\no\\such\\folder.txt"));
  });

  Group("failures carry the system's code and the runtime's words", [&] {
    const auto missing = IoFailure([&] { files.ReadWholeFile(dir + "\\missing.txt"); });
    CHECK_EQ(missing.first, IoErrorKind::FileNotFound);
    CHECK_EQ(missing.second, 2);

    const auto noFolder = IoFailure([&] { files.CreateOutputFile(dir + "\\nope\\a.txt"); });
    CHECK_EQ(noFolder.first, IoErrorKind::PathNotFound);
    CHECK_EQ(noFolder.second, 3);

    const auto folder = IoFailure([&] { files.CreateOutputFile(dir); });
    CHECK_EQ(folder.first, IoErrorKind::AccessDenied);
    CHECK_EQ(folder.second, 5);

    // A file another program holds open without sharing.
    const std::string locked = dir + "\\locked.bin";
    WriteFileBytes(files, locked, "x");
    const HANDLE raw = ::CreateFileW(Widen(locked).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const KernelHandle holder(raw == INVALID_HANDLE_VALUE ? nullptr : raw);
    CHECK(holder != nullptr);
    const auto shared = IoFailure([&] { files.CreateOutputFile(locked); });
    CHECK_EQ(shared.first, IoErrorKind::AccessDenied);
    CHECK_EQ(shared.second, 32);
    const auto sharedRead = IoFailure([&] { files.ReadWholeFile(locked); });
    CHECK_EQ(sharedRead.first, IoErrorKind::AccessDenied);

    const auto noSource = IoFailure([&] { files.ReplaceFile(dir + "\\gone", dir + "\\x"); });
    CHECK_EQ(noSource.first, IoErrorKind::FileNotFound);

    try {
      files.ReadWholeFile(dir + "\\missing.txt");
    } catch (const IoError& error) {
      CHECK_EQ(std::string(error.what()), std::string("File not found"));
    }
  });
}

void InternetTests(const std::string& base, const std::string& closed, const std::string& scratch) {
  Win32Internet internet;

  Group("responses: status, length and body", [&] {
    auto session = internet.OpenSession("layer-agent.exe");
    CHECK(session != nullptr);
    if (!session) return;

    auto plain = session->OpenUrl(base + "plain.bin");
    CHECK(plain != nullptr);
    if (plain) {
      CHECK_EQ(plain->StatusCode(), 200);
      CHECK(plain->ContentLength() == std::optional<std::uint64_t>(3000));
      const Body body = ReadAll(*plain);
      CHECK(!body.brokeOff);
      CHECK(body.bytes == PatternBytes(3000));
    }

    // Chunked: no length announced, the whole body all the same.
    auto chunked = session->OpenUrl(base + "chunked.bin");
    CHECK(chunked != nullptr);
    if (chunked) {
      CHECK_EQ(chunked->StatusCode(), 200);
      CHECK(!chunked->ContentLength().has_value());
      CHECK(ReadAll(*chunked).bytes == PatternBytes(3000));
    }

    // Longer than anything the layer holds at once, read in blocks of
    // several sizes: the same bytes in the same order each time.
    for (const std::size_t block : {std::size_t{1024}, std::size_t{1}, std::size_t{70000}}) {
      auto longBody = session->OpenUrl(base + "long.bin");
      CHECK(longBody != nullptr);
      if (!longBody) continue;
      const Body body = ReadAll(*longBody, block);
      CHECK(!body.brokeOff);
      CHECK_EQ(body.bytes.size(), std::size_t{300007});
      CHECK(body.bytes == PatternBytes(300007));
    }

    auto empty = session->OpenUrl(base + "empty.txt");
    CHECK(empty != nullptr);
    if (empty) {
      CHECK(empty->ContentLength() == std::optional<std::uint64_t>(0));
      CHECK_EQ(ReadAll(*empty).bytes.size(), std::size_t{0});
    }

    // An error status still gives a response, with its status.
    auto missing = session->OpenUrl(base + "missing.bin");
    CHECK(missing != nullptr);
    if (missing) CHECK_EQ(missing->StatusCode(), 404);

    auto moved = session->OpenUrl(base + "moved.bin");
    CHECK(moved != nullptr);
    if (moved) {
      CHECK_EQ(moved->StatusCode(), 200);
      CHECK(ReadAll(*moved).bytes == PatternBytes(3000));
    }

    // Cut off mid-body: either the read fails or less than announced arrives.
    auto cut = session->OpenUrl(base + "cut.bin");
    CHECK(cut != nullptr);
    if (cut) {
      const auto announced = cut->ContentLength();
      const Body body = ReadAll(*cut);
      CHECK(body.brokeOff || (announced && body.bytes.size() < *announced));
    }

    // Cut off far into a long body: what was delivered is the body's start.
    auto longCut = session->OpenUrl(base + "long-cut.bin");
    CHECK(longCut != nullptr);
    if (longCut) {
      const auto announced = longCut->ContentLength();
      const Body body = ReadAll(*longCut);
      CHECK(body.brokeOff || (announced && body.bytes.size() < *announced));
      CHECK(body.bytes.size() <= std::size_t{200000});
      CHECK(body.bytes == PatternBytes(300007).substr(0, body.bytes.size()));
    }
  });

  Group("an address that cannot be opened", [&] {
    auto session = internet.OpenSession("layer-agent.exe");
    CHECK(session != nullptr);
    if (!session) return;
    CHECK(session->OpenUrl(closed + "plain.bin") == nullptr);
    CHECK(session->OpenUrl("http://[::1:bad/") == nullptr);
  });

  Group("the core's download over the real layer", [&] {
    AppState state;
    Win32FileSystem files;
    Win32Desktop desktop(state);
    Platform platform{internet, files, desktop};
    const std::string target = scratch + "\\downloaded.bin";

    CHECK(DownloadToFile(platform, base + "plain.bin", target));
    CHECK(files.ReadWholeFile(target) == PatternBytes(3000));

    // A failed download leaves the earlier file alone and no partial file.
    CHECK(!DownloadToFile(platform, base + "cut.bin", target));
    CHECK(files.ReadWholeFile(target) == PatternBytes(3000));
    CHECK(!files.FileExists(PartialDownloadPath(target)));
    CHECK(!DownloadToFile(platform, base + "missing.bin", target));
    CHECK(files.ReadWholeFile(target) == PatternBytes(3000));
  });
}

void DesktopTests() {
  Group("own executable path", [] {
    AppState state;
    Win32Desktop desktop(state);
    const std::string path = desktop.OwnExecutablePath();
    const std::string name = "\\kestrune_win32_tests.exe";
    CHECK(path.size() > name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0);
    CHECK(::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES);
    CHECK_EQ(AgentName(path), std::string("kestrune_win32_tests.exe"));
  });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::printf("usage: kestrune_win32_tests BASE_URL CLOSED_URL SCRATCH_DIR\n");
    return 2;
  }
  const std::string base = Narrow(argv[1]);
  const std::string closed = Narrow(argv[2]);
  const std::string scratch = Narrow(argv[3]);
  TextTests();
  FileTests(scratch);
  InternetTests(base, closed, scratch);
  DesktopTests();
  return kestrune::layer_tests::Summary();
}
