// A platform for unit tests that does something: an in-memory file system
// with injectable faults, scripted HTTP responses, scripted answers to the
// boxes, and a record of every box, shell-open, request and window change.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "common/services.h"

namespace kestrune::fake {

// The fake's code page, Latin-1: byte n becomes code point n, in UTF-8.
std::string Latin1ToUtf8(std::string_view ansi);

// One scripted answer of the fake server.
struct FakeResponse {
  int status = 200;
  std::string body;
  // Announced length; by default the body's length.
  std::optional<std::uint64_t> contentLength;
  bool announceLength = true;
  bool failAtOpen = false;  // OpenUrl gives no handle
  // The read after this many body bytes fails (the connection broke).
  std::optional<std::size_t> failAfterBytes;
  // Largest block one Read delivers (a server sends in pieces).
  std::size_t chunk = 4096;
  // How far each Read moves the internet's clock on (a slow server).
  std::uint64_t millisecondsPerRead = 0;
  // The failing read says nothing arrived for the no-data limit.
  bool silent = false;
  // Response headers, by name as written (ETag, Content-Range, ...).
  std::map<std::string, std::string> headers;
};

// Everything the core did, in order, as readable lines such as
// "confirm: <text>", "info: <text>", "error: <text>", "shell: <target>",
// "web page: <url>", "open url: <url>", "close url", "close session",
// "sleep: 600", "title: Kestrune", "hint pause: 20000".
using EventLog = std::vector<std::string>;

class FakeInternet final : public Internet {
 public:
  explicit FakeInternet(EventLog& log) : eventLog(log) {}
  std::unique_ptr<InternetSession> OpenSession(std::string_view agent) override;
  std::uint64_t MonotonicMilliseconds() override { return nowMilliseconds; }

  // The clock; a response's reads may move it on (FakeResponse::millisecondsPerRead).
  std::uint64_t nowMilliseconds = 0;
  std::map<std::string, FakeResponse> responses;  // by address; others are 404
  // Answers for the next requests of an address, in turn, before responses.
  std::map<std::string, std::deque<FakeResponse>> nextResponses;
  bool failSession = false;
  std::vector<std::string> agents;  // agent of every session opened
  std::vector<std::string> requests;
  // The headers each request added, "Name: value" joined by "; ".
  std::vector<std::string> requestHeaders;
  int sessionsOpened = 0;
  int liveHandles = 0;  // sessions and responses not yet released
  std::size_t largestRead = 0;

  EventLog& eventLog;
};

class FakeFiles final : public FileSystem {
 public:
  explicit FakeFiles(EventLog& log);
  std::string CurrentDirectory() override { return currentDirectory; }
  bool FileExists(const std::string& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::string& path) override;
  void ReadInBlocks(const std::string& path, const BlockReceiver& take) override;
  std::unique_ptr<TemporaryFile> CreateTemporaryFile(const std::string& path) override;
  bool RemoveUnlessHeld(const std::string& path) noexcept override;
  std::vector<std::string> FileNamesIn(const std::string& directory) noexcept override;
  std::uint64_t ProcessId() const override { return processId; }
  std::optional<std::uint64_t> FreeSpace(const std::string&) noexcept override {
    return reportedFreeSpace;
  }
  char PathSeparator() const override { return '\\'; }

  std::string currentDirectory = "C:\\Users\\ana\\Kestrune";
  std::map<std::string, std::string> files;  // path -> content
  std::set<std::string> directories;         // the working directory is one
  std::set<std::string> readOnly;            // creating or replacing these is denied
  // Another launcher's copy of a file, put in place just before this one
  // moves its own there and still held by it: the move is denied.
  std::map<std::string, std::string> broughtInByAnother;
  // Bytes that may still be written before the disk is full.
  std::optional<std::size_t> freeSpace;
  // What FreeSpace reports; unknown by default.
  std::optional<std::uint64_t> reportedFreeSpace;
  int openOutputFiles = 0;  // output and temporary files not yet released
  std::vector<std::string> reads;  // every file read, in order
  std::set<std::string> heldFiles;  // temporary files a running launcher holds
  std::uint64_t processId = 4242;

  EventLog& eventLog;
};

class FakeDesktop final : public Desktop {
 public:
  explicit FakeDesktop(EventLog& log) : eventLog(log) {}
  void ShellOpen(const std::string& target) override;
  void OpenWebPage(const std::string& url) override;
  bool Confirm(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  void ShowError(const std::string& text) override;

  std::deque<bool> confirmAnswers;  // an unscripted question is answered No
  int confirmations = 0;
  std::vector<std::string> informations;
  std::vector<std::string> errors;
  std::vector<std::string> shellOpens;
  std::vector<std::string> webPages;
  // Thrown by the next ShellOpen or OpenWebPage, as a failing shell call
  // would.
  std::optional<IoError> shellFailure;

  EventLog& eventLog;
};

class FakeSystem final : public System {
 public:
  explicit FakeSystem(EventLog& log) : eventLog(log) {}
  void Sleep(int milliseconds) override;
  std::string OwnExecutablePath() override;
  std::string AnsiToUtf8(std::string_view ansi) override { return Latin1ToUtf8(ansi); }

  std::string executablePath = "C:\\Program Files\\Kestrune\\Kestrune.exe";

  EventLog& eventLog;
};

// Logs "progress: <title> | <caption> | <count>" when it opens or its text
// changes, and "progress: close".
class FakeProgressWindow final : public ProgressWindow {
 public:
  explicit FakeProgressWindow(EventLog& log) : eventLog(log) {}
  bool Show(const ProgressView& view) override;
  void Close() override;

  std::vector<ProgressView> views;  // every Show
  bool open = false;
  // Cancel is pressed at this Show (counted from 1) and stays pressed.
  std::optional<std::size_t> cancelAtShow;

  EventLog& eventLog;
};

class FakeWindow final : public MainWindow {
 public:
  explicit FakeWindow(EventLog& log) : eventLog(log) {}
  void SetCaption(const std::string& text) override { caption = text; }
  void SetLabelText(const std::string& text) override { labelText = text; }
  void SetImage2Hint(const std::string& text) override;
  void SetHintHidePause(int milliseconds) override;
  int OuterHeight() const override { return outerHeight; }
  int ExitButtonTop() const override { return exitButtonTop; }
  void LayOutLauncherButtons(const LauncherLayout& layout) override;
  void Close() override;

  // The launcher buttons of the last layout, in creation (tab) order.
  const std::vector<ButtonDesign>& Buttons() const;

  std::string caption = "Kestrune";
  std::string labelText = "Tavimo Kestrune";
  std::string image2Hint;
  int hintHidePause = 0;
  int outerHeight = 393;
  int exitButtonTop = 320;
  std::vector<LauncherLayout> layouts;  // every call, in order
  bool closed = false;

  EventLog& eventLog;
};

class FakeApplication final : public Application {
 public:
  FakeApplication(EventLog& log, FakeWindow& window) : log_(log), window_(window) {}
  void Initialize() override { log_.push_back("initialize"); }
  void SetMainFormOnTaskbar(bool value) override;
  void SetTitle(const std::string& text) override;
  MainWindow& CreateMainWindow(FormEvents& events, const FormPictures& pictures) override;
  int Run() override;
  void DestroyMainWindow() noexcept override;

  bool mainFormOnTaskbar = false;
  std::string title;
  bool shown = false;
  bool logoGiven = false;
  bool helpIconGiven = false;
  // What the user does while the window is shown (the form lives only
  // until Run returns).
  std::function<void(FormEvents&)> whileShown;

 private:
  EventLog& log_;
  FakeWindow& window_;
  FormEvents* events_ = nullptr;
};

// All of the above, wired together.
struct FakePlatform {
  FakePlatform();
  EventLog log;
  FakeInternet internet{log};
  FakeFiles files{log};
  FakeDesktop desktop{log};
  FakeSystem system{log};
  FakeProgressWindow progress{log};
  FakeWindow window{log};
  FakeApplication application{log, window};
  Platform platform{internet, files, desktop, system, &progress};

  // The working directory joined with a name, as the core builds paths.
  std::string InWorkDir(const std::string& name) const;
};

}  // namespace kestrune::fake
