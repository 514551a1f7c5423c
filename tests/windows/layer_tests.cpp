// The Win32 layer against real parts: files in a scratch folder, WinINet
// against the loopback test server, and the core's download on top of both.
// Run under Wine by layer_tests.py, from a folder where a wininet.dll and a
// uxtheme.dll that are no DLLs lie beside the program:
//   kestrune_win32_tests.exe [gtest flags] BASE_URL CLOSED_URL SCRATCH_DIR
// and once more with wininet.dll unavailable, for Win32InternetWithoutWinInet.
#include "platform/win32/win32_windows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/win32/win32_application.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_internet.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_system_library.h"
#include "platform/win32/win32_text.h"
#include "update/download.h"

namespace {

using namespace kestrune;
using namespace kestrune::win32;

// The page the desktop case opens; layer_tests.py expects it at the browser.
constexpr char kWebPage[] = "https://help.kestrune-layer.test/page?from=layer";

// What layer_tests.py passes: the test server, an address nothing listens
// on, and a scratch folder (as a Windows path).
struct Arguments {
  std::string base;
  std::string closed;
  std::string scratch;
};

Arguments& arguments() {
  static Arguments a;
  return a;
}

std::string PatternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

// Bodies run to hundreds of kilobytes: on a mismatch say where they part
// instead of printing both.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "got " << actual.size() << " bytes, want "
                                       << expected.size() << "; they differ from offset " << at;
}

void WriteFileBytes(FileSystem& files, const std::string& path, const std::string& bytes) {
  auto file = files.CreateOutputFile(path);
  file->Write(std::as_bytes(std::span(bytes.data(), bytes.size())));
  file->Close();
}

// The IoError a call throws: kind, system code and message. A call that
// throws nothing gives Other and -1, which no check below expects.
struct IoFailureSeen {
  IoErrorKind kind = IoErrorKind::Other;
  int systemCode = -1;
  std::string what;
};

template <typename Call>
IoFailureSeen IoFailure(Call call) {
  try {
    call();
  } catch (const IoError& error) {
    return {error.Kind(), error.SystemCode(), error.what()};
  }
  return {};
}

// Everything a response delivers through reads of one block size (the core
// reads 1024 bytes at a time).
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

// ------------------------------------------------------------------ text

TEST(Win32Text, Utf8AndUtf16MeetOnlyAtTheEdge) {
  const std::string mixed = "A \xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80";  // A é 日本 😀
  const std::wstring wide = Widen(mixed);
  ASSERT_EQ(wide.size(), std::size_t{9});  // the emoji is a surrogate pair
  EXPECT_EQ(wide[2], wchar_t{0x00E9});
  EXPECT_EQ(wide[7], wchar_t{0xD83D});
  EXPECT_EQ(wide[8], wchar_t{0xDE00});
  EXPECT_EQ(Narrow(wide), mixed);
  EXPECT_EQ(Widen("").size(), std::size_t{0});
  // A stray byte is shown as a replacement character, not dropped or fatal.
  EXPECT_EQ(Widen("a\xFFz"), std::wstring(L"a\xFFFDz"));
}

TEST(Win32Text, LoneCarriageReturnsBecomeLineBreaks) {
  EXPECT_EQ(WithWindowsLineBreaks(L"\r   Hint   \r"), L"\r\n   Hint   \r\n");
  EXPECT_EQ(WithWindowsLineBreaks(L"a\r\nb"), L"a\r\nb");
  EXPECT_EQ(WithWindowsLineBreaks(L"\r\r"), L"\r\n\r\n");
  EXPECT_EQ(WithWindowsLineBreaks(L"plain"), L"plain");
}

TEST(Win32Text, AnsiManifestText) {
  // The harness runs Wine with the Western code page.
  EXPECT_EQ(::GetACP(), 1252u);
  EXPECT_EQ(AnsiToUtf8("caf\xE9 \x80"), std::string("caf\xC3\xA9 \xE2\x82\xAC"));
  EXPECT_EQ(AnsiToUtf8("plain"), std::string("plain"));
}

// ----------------------------------------------------------------- files

class Win32Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = arguments().scratch + "\\files";
    ::CreateDirectoryW(Widen(dir).c_str(), nullptr);
  }

  Win32FileSystem files;
  std::string dir;
};

TEST_F(Win32Files, CurrentDirectory) {
  ASSERT_TRUE(::SetCurrentDirectoryW(Widen(dir).c_str()));
  EXPECT_EQ(files.CurrentDirectory(), dir);
  // A drive's root keeps its backslash; no other folder has one.
  ASSERT_TRUE(::SetCurrentDirectoryW(L"Z:\\"));
  EXPECT_EQ(files.CurrentDirectory(), std::string("Z:\\"));
  ::SetCurrentDirectoryW(Widen(dir).c_str());
  EXPECT_EQ(files.PathSeparator(), '\\');
}

TEST_F(Win32Files, WriteReadBackReplaceAndRemove) {
  const std::string big = PatternBytes(200 * 1024 + 7);
  const std::string path = dir + "\\big.bin";
  WriteFileBytes(files, path, big);
  EXPECT_TRUE(files.FileExists(path));
  EXPECT_TRUE(SameBytes(files.ReadWholeFile(path), big));

  // Creating again truncates: nothing of the longer old content is left.
  WriteFileBytes(files, path, "short");
  EXPECT_EQ(files.ReadWholeFile(path), std::string("short"));
  WriteFileBytes(files, path, "");
  EXPECT_EQ(files.ReadWholeFile(path).size(), std::size_t{0});

  const std::string unicode = dir + "\\donn\xC3\xA9" "es \xE6\x97\xA5\xE6\x9C\xAC.txt";
  WriteFileBytes(files, unicode, "named");
  EXPECT_TRUE(files.FileExists(unicode));
  EXPECT_EQ(files.ReadWholeFile(unicode), std::string("named"));

  // A temporary file is moved over the old one through its own handle.
  const std::string from = dir + "\\new \xE6\x97\xA5.1-0.kestrune-part";
  {
    auto part = files.CreateTemporaryFile(from);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(files.CreateTemporaryFile(from), nullptr);  // the name is taken
    part->Write(std::as_bytes(std::span("new content", 11)));
    part->Finish();
    part->MoveInto(unicode);
  }
  EXPECT_EQ(files.ReadWholeFile(unicode), std::string("new content"));
  EXPECT_FALSE(files.FileExists(from));
}

// A temporary file being written shares no deletion, so another launcher's
// clean-up cannot remove it; dropped unfinished it removes itself, and a
// leftover nobody holds goes. The listing names plain files only.
TEST_F(Win32Files, OnlyTemporaryFilesNobodyHoldsCanBeRemoved) {
  dir += "\\held";
  ::CreateDirectoryW(Widen(dir).c_str(), nullptr);
  const std::string held = dir + "\\a.exe.1-0.kestrune-part";
  {
    auto part = files.CreateTemporaryFile(held);
    ASSERT_NE(part, nullptr);
    part->Write(std::as_bytes(std::span("half", 4)));
    EXPECT_FALSE(files.RemoveUnlessHeld(held));
    EXPECT_TRUE(files.FileExists(held));
  }
  EXPECT_FALSE(files.FileExists(held));

  const std::string leftover = dir + "\\b.exe.2-0.kestrune-part";
  WriteFileBytes(files, leftover, "left by a killed launcher");
  ::CreateDirectoryW(Widen(dir + "\\folder.kestrune-part").c_str(), nullptr);
  EXPECT_EQ(files.FileNamesIn(dir), std::vector<std::string>{"b.exe.2-0.kestrune-part"});
  EXPECT_TRUE(files.RemoveUnlessHeld(leftover));
  EXPECT_FALSE(files.FileExists(leftover));
  EXPECT_FALSE(files.RemoveUnlessHeld(leftover));
  EXPECT_TRUE(files.FileNamesIn(dir + "\\absent").empty());
}

TEST_F(Win32Files, WritesOfAnySizeReachTheFileWholeAndInOrder) {
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
  EXPECT_EQ(at, expected.size());
  EXPECT_TRUE(SameBytes(files.ReadWholeFile(path), expected));

  // Dropped without Close, the bytes written still reach the file.
  const std::string dropped = dir + "\\dropped.bin";
  {
    auto unclosed = files.CreateOutputFile(dropped);
    unclosed->Write(std::as_bytes(std::span(expected.data(), 5000)));
  }
  EXPECT_TRUE(SameBytes(files.ReadWholeFile(dropped), expected.substr(0, 5000)));
}

TEST_F(Win32Files, OnlyFilesExist) {
  EXPECT_FALSE(files.FileExists(dir));
  EXPECT_FALSE(files.FileExists(dir + "\\missing.txt"));
  EXPECT_FALSE(files.FileExists(dir + "\\no\\such\\folder.txt"));
}

TEST_F(Win32Files, FailuresCarryTheSystemsCodeAndTheRuntimesWords) {
  const auto missing = IoFailure([&] { files.ReadWholeFile(dir + "\\missing.txt"); });
  EXPECT_EQ(missing.kind, IoErrorKind::FileNotFound);
  EXPECT_EQ(missing.systemCode, 2);
  EXPECT_EQ(missing.what, "File not found");

  const auto noFolder = IoFailure([&] { files.CreateOutputFile(dir + "\\nope\\a.txt"); });
  EXPECT_EQ(noFolder.kind, IoErrorKind::PathNotFound);
  EXPECT_EQ(noFolder.systemCode, 3);

  const auto folder = IoFailure([&] { files.CreateOutputFile(dir); });
  EXPECT_EQ(folder.kind, IoErrorKind::AccessDenied);
  EXPECT_EQ(folder.systemCode, 5);

  const auto noTemporaryFolder =
      IoFailure([&] { files.CreateTemporaryFile(dir + "\\nope\\a.1-0.kestrune-part"); });
  EXPECT_EQ(noTemporaryFolder.kind, IoErrorKind::PathNotFound);
}

TEST_F(Win32Files, AFileHeldOpenWithoutSharingIsRefused) {
  const std::string locked = dir + "\\locked.bin";
  WriteFileBytes(files, locked, "x");
  const HANDLE raw = ::CreateFileW(Widen(locked).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const KernelHandle holder(raw == INVALID_HANDLE_VALUE ? nullptr : raw);
  ASSERT_TRUE(holder != nullptr);

  const auto shared = IoFailure([&] { files.CreateOutputFile(locked); });
  EXPECT_EQ(shared.kind, IoErrorKind::AccessDenied);
  EXPECT_EQ(shared.systemCode, 32);
  const auto sharedRead = IoFailure([&] { files.ReadWholeFile(locked); });
  EXPECT_EQ(sharedRead.kind, IoErrorKind::AccessDenied);

  // Nor is a new file moved over it, as over a program that is running: the
  // download that would replace it is told so, and the old file stays.
  auto part = files.CreateTemporaryFile(locked + ".1-0.kestrune-part");
  ASSERT_NE(part, nullptr);
  part->Write(std::as_bytes(std::span("new", 3)));
  part->Finish();
  EXPECT_EQ(IoFailure([&] { part->MoveInto(locked); }).kind, IoErrorKind::AccessDenied);
}

// A named function, not a lambda: a 32-bit thread's start must be WINAPI.
DWORD WINAPI CloseAfterAPause(void* held) {
  ::Sleep(300);
  return ::CloseHandle(held) ? 0 : 1;
}

// Another launcher that has just moved the same file into place holds it a
// moment longer: the move waits for it to let go.
TEST_F(Win32Files, AMoveWaitsForAHandleThatIsLetGoSoon) {
  const std::string target = dir + "\\shared.bin";
  WriteFileBytes(files, target, "first");
  const HANDLE raw = ::CreateFileW(Widen(target).c_str(), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  auto part = files.CreateTemporaryFile(target + ".2-0.kestrune-part");
  ASSERT_NE(part, nullptr);
  part->Write(std::as_bytes(std::span("second", 6)));
  part->Finish();
  const HANDLE other = ::CreateThread(nullptr, 0, CloseAfterAPause, raw, 0, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_NO_THROW(part->MoveInto(target));
  ::WaitForSingleObject(other, INFINITE);
  ::CloseHandle(other);
  EXPECT_EQ(files.ReadWholeFile(target), "second");
}

// -------------------------------------------------------------- internet

class Win32InternetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session = internet.OpenSession("layer-agent.exe");
    ASSERT_NE(session, nullptr);
  }

  std::unique_ptr<InternetResponse> Open(const std::string& name) {
    return session->OpenUrl(arguments().base + name);
  }

  Win32Internet internet;
  std::unique_ptr<InternetSession> session;
};

TEST_F(Win32InternetTest, PlainBodyWithItsStatusAndLength) {
  auto plain = Open("plain.bin");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->StatusCode(), 200);
  EXPECT_EQ(plain->ContentLength(), std::optional<std::uint64_t>(3000));
  const Body body = ReadAll(*plain);
  EXPECT_FALSE(body.brokeOff);
  EXPECT_TRUE(SameBytes(body.bytes, PatternBytes(3000)));
}

TEST_F(Win32InternetTest, ChunkedBodyAnnouncesNoLengthButArrivesWhole) {
  auto chunked = Open("chunked.bin");
  ASSERT_NE(chunked, nullptr);
  EXPECT_EQ(chunked->StatusCode(), 200);
  EXPECT_FALSE(chunked->ContentLength().has_value());
  EXPECT_TRUE(SameBytes(ReadAll(*chunked).bytes, PatternBytes(3000)));
}

TEST_F(Win32InternetTest, EmptyBody) {
  auto empty = Open("empty.txt");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->ContentLength(), std::optional<std::uint64_t>(0));
  EXPECT_EQ(ReadAll(*empty).bytes.size(), std::size_t{0});
}

TEST_F(Win32InternetTest, AnErrorStatusStillGivesAResponse) {
  auto missing = Open("missing.bin");
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->StatusCode(), 404);
}

TEST_F(Win32InternetTest, RedirectIsFollowed) {
  auto moved = Open("moved.bin");
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->StatusCode(), 200);
  EXPECT_TRUE(SameBytes(ReadAll(*moved).bytes, PatternBytes(3000)));
}

// Cut off mid-body: either the read fails or less than announced arrives.
TEST_F(Win32InternetTest, BodyCutOffMidway) {
  auto cut = Open("cut.bin");
  ASSERT_NE(cut, nullptr);
  const auto announced = cut->ContentLength();
  const Body body = ReadAll(*cut);
  EXPECT_TRUE(body.brokeOff || (announced && body.bytes.size() < *announced))
      << "read " << body.bytes.size() << " bytes without a failure";
}

// Cut off far into a long body: what was delivered is the body's start.
TEST_F(Win32InternetTest, LongBodyCutOffFarIn) {
  auto longCut = Open("long-cut.bin");
  ASSERT_NE(longCut, nullptr);
  const auto announced = longCut->ContentLength();
  const Body body = ReadAll(*longCut);
  EXPECT_TRUE(body.brokeOff || (announced && body.bytes.size() < *announced))
      << "read " << body.bytes.size() << " bytes without a failure";
  EXPECT_LE(body.bytes.size(), std::size_t{200000});
  EXPECT_TRUE(SameBytes(body.bytes, PatternBytes(300007).substr(0, body.bytes.size())));
}

TEST_F(Win32InternetTest, AnAddressThatCannotBeOpened) {
  EXPECT_EQ(session->OpenUrl(arguments().closed + "plain.bin"), nullptr);
  EXPECT_EQ(session->OpenUrl("http://[::1:bad/"), nullptr);
}

// Longer than anything the layer holds at once, read in blocks of several
// sizes: the same bytes in the same order each time.
class Win32InternetLongBody : public Win32InternetTest,
                              public ::testing::WithParamInterface<std::size_t> {};

TEST_P(Win32InternetLongBody, ArrivesWholeWhateverTheReadSize) {
  auto longBody = Open("long.bin");
  ASSERT_NE(longBody, nullptr);
  const Body body = ReadAll(*longBody, GetParam());
  EXPECT_FALSE(body.brokeOff);
  EXPECT_EQ(body.bytes.size(), std::size_t{300007});
  EXPECT_TRUE(SameBytes(body.bytes, PatternBytes(300007)));
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, Win32InternetLongBody,
                         ::testing::Values(std::size_t{1024}, std::size_t{1},
                                           std::size_t{70000}));

// A server that sends the headers and part of the body, then nothing (for
// far longer than the limit): the read is given up at the limit.
TEST(Win32InternetLimits, AStalledBodyIsGivenUpAfterTheNoDataLimit) {
  Win32Internet internet(Win32InternetOptions{std::chrono::seconds(2)});
  auto session = internet.OpenSession("layer-agent.exe");
  ASSERT_NE(session, nullptr);
  auto stalled = session->OpenUrl(arguments().base + "stalled.bin");
  ASSERT_NE(stalled, nullptr);
  EXPECT_EQ(stalled->StatusCode(), 200);
  const std::uint64_t start = internet.MonotonicMilliseconds();
  const Body body = ReadAll(*stalled);
  const std::uint64_t waited = internet.MonotonicMilliseconds() - start;
  EXPECT_TRUE(body.brokeOff);
  EXPECT_LE(body.bytes.size(), std::size_t{1000});
  // The server holds the rest back for a minute.
  EXPECT_LT(waited, std::uint64_t{20000}) << "the read waited for the server";
}

// A server that sends one header line a second, and never their end: each
// line is well within the no-data limit, the whole is not within the
// headers' deadline.
TEST(Win32InternetLimits, HeadersTrickledPastTheirDeadlineFailTheRequest) {
  Win32InternetOptions options;
  options.headerDeadline = std::chrono::seconds(3);
  Win32Internet internet(options);
  auto session = internet.OpenSession("layer-agent.exe");
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->OpenUrl(arguments().base + "trickle.bin"), nullptr);
  // The session goes on serving.
  auto plain = session->OpenUrl(arguments().base + "plain.bin");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->StatusCode(), 200);
}

// ------------------------------------------------------ system libraries

std::wstring ModuleFolder(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  const std::wstring full(path, length);
  return full.substr(0, full.find_last_of(L'\\'));
}

// The test program's folder holds a wininet.dll and a uxtheme.dll that are
// no DLLs, as a download of that name would: the layer takes the system's.
TEST(Win32SystemLibrary, ComesFromTheSystemFolderNotTheProgramsOwn) {
  wchar_t system[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  const std::wstring ownFolder = ModuleFolder(nullptr);
  struct Export {
    const wchar_t* library;
    const char* name;
  };
  for (const Export wanted : {Export{L"wininet.dll", "InternetOpenW"},
                              Export{L"uxtheme.dll", "IsAppThemed"}}) {
    const std::string library = Narrow(wanted.library);
    ASSERT_NE(::GetFileAttributesW((ownFolder + L"\\" + wanted.library).c_str()),
              INVALID_FILE_ATTRIBUTES)
        << "layer_tests.py put no " << library << " beside the program";
    const SystemLibrary owner(wanted.library);
    FARPROC found = nullptr;
    ASSERT_TRUE(owner.Find(wanted.name, found)) << library;
    HMODULE module = nullptr;
    ASSERT_TRUE(::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                     reinterpret_cast<LPCWSTR>(found), &module));
    EXPECT_EQ(Narrow(ModuleFolder(module)), Narrow(system)) << library;
  }
  EXPECT_NE(WinInet(), nullptr) << "every WinINet call the layer makes is there";
}

// Run by layer_tests.py alone, with wininet.dll unavailable: the transfers
// fail as any failed transfer does, without a crash.
TEST(Win32InternetWithoutWinInet, TransfersFailAsFailedTransfers) {
  ASSERT_EQ(WinInet(), nullptr) << "wininet.dll was expected to be unavailable";
  Win32Internet internet;
  EXPECT_EQ(internet.OpenSession("kestrune_win32_tests.exe"), nullptr);
  Win32FileSystem files;
  const std::string target = arguments().scratch + "\\without-wininet.bin";
  EXPECT_FALSE(DownloadToFile(internet, files, "kestrune_win32_tests.exe",
                              arguments().base + "plain.bin", target));
  EXPECT_FALSE(files.FileExists(target));
  EXPECT_FALSE(files.FileExists(PartialDownloadPath(target, files.ProcessId(), 0)));
}

// ------------------------------------------------- the core on the layer

TEST(Win32Download, TheCoresDownloadOverTheRealLayer) {
  Win32Internet internet;
  Win32FileSystem files;
  const std::string agent = "kestrune_win32_tests.exe";
  const std::string& base = arguments().base;
  const std::string target = arguments().scratch + "\\downloaded.bin";

  ASSERT_TRUE(DownloadToFile(internet, files, agent, base + "plain.bin", target));
  EXPECT_TRUE(SameBytes(files.ReadWholeFile(target), PatternBytes(3000)));

  // A failed download leaves the earlier file alone and no partial file.
  EXPECT_FALSE(DownloadToFile(internet, files, agent, base + "cut.bin", target));
  EXPECT_TRUE(SameBytes(files.ReadWholeFile(target), PatternBytes(3000)));
  EXPECT_FALSE(files.FileExists(PartialDownloadPath(target, files.ProcessId(), 0)));
  for (const std::string& name : files.FileNamesIn(arguments().scratch)) {
    EXPECT_FALSE(name.ends_with(kPartialDownloadSuffix)) << name;
  }
  EXPECT_FALSE(DownloadToFile(internet, files, agent, base + "missing.bin", target));
  EXPECT_TRUE(SameBytes(files.ReadWholeFile(target), PatternBytes(3000)));
}

// Both are reset part-way at their first request; layer_tests.py checks the
// second asked for the rest, with the ETag, and came on the same session's
// connection as the rest of the session's requests.
TEST(Win32Download, ADropIsContinuedAndAServerIgnoringRangeSendsItWhole) {
  Win32Internet platform;
  OneSessionInternet internet(platform);
  Win32FileSystem files;
  for (const std::string name : {"resumed.bin", "ignored.bin"}) {
    SCOPED_TRACE(name);
    const std::string target = arguments().scratch + "\\" + name;
    ASSERT_TRUE(
        DownloadToFile(internet, files, "resuming-agent.exe", arguments().base + name, target));
    EXPECT_TRUE(SameBytes(files.ReadWholeFile(target), PatternBytes(300007)));
  }
  EXPECT_TRUE(files.FreeSpace(arguments().scratch).value_or(0) > 0);
  EXPECT_FALSE(files.FreeSpace(arguments().scratch + "\\no such folder").has_value());
}

// --------------------------------------------------------------- desktop

// The page goes to the desktop's own shell (Wine's explorer here), not
// through the launcher's ShellExecute; layer_tests.py sees it reach the
// browser once.
TEST(Win32WebPage, IsOpenedByTheDesktopShell) {
  const ComApartment com;
  EXPECT_TRUE(OpenThroughTheDesktopShell(kWebPage));
}

// The probe beside the test program (layer_tests.py puts it there) is
// started as a program, then as the handler of a document type registered
// for the case: the program by this process, the document by the desktop's
// shell (Wine's explorer), both in this process's current directory.
TEST(Win32Document, IsOpenedByTheDesktopShellAndAProgramByTheLauncher) {
  const ComApartment com;
  const std::wstring folder = ModuleFolder(nullptr);
  const std::wstring probe = folder + L"\\probe.exe";
  const auto setDefault = [](const wchar_t* key, const std::wstring& value) {
    return ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, value.c_str(),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  };
  ASSERT_EQ(setDefault(L".kestrune-layer-doc", L"KestruneLayer.Document"), ERROR_SUCCESS);
  ASSERT_EQ(setDefault(L"KestruneLayer.Document\\shell\\open\\command",
                       L"\"" + probe + L"\" \"%1\""),
            ERROR_SUCCESS);
  const std::string document = arguments().scratch + "\\letter.kestrune-layer-doc";
  Win32FileSystem files;
  WriteFileBytes(files, document, "a letter");
  const std::string started = Narrow(folder) + "\\probe_started_by.txt";
  const std::string where = Narrow(folder) + "\\probe_cwd.txt";
  const auto startedBy = [&] {
    for (int i = 0; i < 300 && !files.FileExists(where); ++i) ::Sleep(100);
    if (!files.FileExists(where)) return std::string("nothing started");
    const std::string mark = files.ReadWholeFile(started);
    EXPECT_EQ(files.ReadWholeFile(where), files.CurrentDirectory());
    ::DeleteFileW(Widen(started).c_str());
    ::DeleteFileW(Widen(where).c_str());
    return mark;
  };

  AppState state;
  Win32Desktop desktop(state);
  desktop.ShellOpen(Narrow(probe));
  EXPECT_EQ(startedBy(), "kestrune_win32_tests.exe\n");
  desktop.OpenDocument(document);
  EXPECT_EQ(startedBy(), "explorer.exe\n\"" + document + "\"");
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L"KestruneLayer.Document");
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, L".kestrune-layer-doc");
}

// ---------------------------------------------------------------- system

TEST(Win32SystemTest, OwnExecutablePath) {
  Win32System system;
  const std::string path = system.OwnExecutablePath();
  const std::string name = "\\kestrune_win32_tests.exe";
  ASSERT_GT(path.size(), name.size()) << path;
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
  EXPECT_NE(::GetFileAttributesW(Widen(path).c_str()), INVALID_FILE_ATTRIBUTES) << path;
  EXPECT_EQ(AgentName(path), std::string("kestrune_win32_tests.exe"));
}

}  // namespace

// The program is built with -municode, so the runtime enters here; GoogleTest
// takes its own flags off the command line and leaves the three of ours.
int wmain(int argc, wchar_t** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 4) {
    std::printf("usage: kestrune_win32_tests [gtest flags] BASE_URL CLOSED_URL SCRATCH_DIR\n");
    return 2;
  }
  arguments() = {Narrow(argv[1]), Narrow(argv[2]), Narrow(argv[3])};
  return RUN_ALL_TESTS();
}
