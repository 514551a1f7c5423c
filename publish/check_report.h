// What a check found: what a customer's launcher will make of the manifest
// and every problem, each at its line; printed for a person or as JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::publish {

enum class Severity { kError, kWarning };

struct Finding {
  Severity severity = Severity::kError;
  // One stable word per kind of problem, for a release pipeline to match.
  std::string kind;
  std::string source;  // the manifest's file or address, or a listed file's
  int line = 0;        // 0: not about one line
  std::string message;
};

// One launcher entry as a customer's launcher will see it.
struct EntryView {
  int line = 0;  // of its file name
  std::string name;
  std::string caption;
  std::string address;    // what the launcher fetches
  std::string localPath;  // where it writes it
  // False where the launcher never fetches it: a refused or blank name.
  bool fetched = true;
  // What the live server answered, when it was asked.
  std::optional<int> status;
  std::optional<std::uint64_t> bodyBytes;
};

// The key the release list's signature was checked with, when the check
// had one.
struct SignatureKeyView {
  std::string id;    // as minisign shows it
  std::string from;  // the key file, or the build
};

struct CheckReport {
  std::string source;
  std::vector<SignatureKeyView> signatureKeys;
  // Once the list's signature checks out: when it was signed, and by which
  // of the keys.
  std::optional<std::uint64_t> releaseTimestamp;
  std::string signedBy;
  std::optional<std::string> title;
  std::vector<EntryView> entries;
  std::vector<Finding> findings;

  void Add(Severity severity, std::string kind, int line, std::string message);
  void AddAt(Severity severity, std::string kind, std::string source, int line,
             std::string message);
  int Count(Severity severity) const;
  bool Passed() const { return Count(Severity::kError) == 0; }
};

// Each finding on err as "source:line: error: message [kind]".
void PrintFindings(const CheckReport& report, std::ostream& err);

// The entries on out, the findings on err as "source:line: error: ...",
// then a one-line summary on out.
void PrintReport(const CheckReport& report, std::ostream& out, std::ostream& err);

// The same as one JSON document on out.
void PrintReportJson(const CheckReport& report, std::ostream& out);

// text in double quotes, as a message names a name; it is escaped where
// the message is printed.
std::string Quoted(const std::string& text);

// What customers see when their launcher refuses the manifest, and when it
// refuses a file they lack: the end of a finding's message.
std::string ManifestRefusal();
std::string FileRefusal();

// text as the tool prints it, so that what a manifest, a server or a folder
// holds is seen rather than acted on by the terminal: each control
// character (see IsControlCharacter) as a \u escape such as "\u009d", the
// form JSON gives it too, and each byte that is not UTF-8 as "\xNN". Every
// text the tool writes for a person passes through it.
std::string Printed(std::string_view text);

}  // namespace kestrune::publish
