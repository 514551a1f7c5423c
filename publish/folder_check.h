// A release folder against its manifest: every listed file must be there
// under its exact name (the update server may tell letter case apart), and
// every file there should be listed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "publish/check_report.h"
#include "publish/signature_check.h"

namespace kestrune::publish {

// A file of a release folder, read as the launcher reads it from a server:
// one past maxBytes is refused by its size, unread, or at the byte past
// the limit, should it grow while it is read.
struct FolderFile {
  enum class Outcome { kRead, kUnreadable, kTooLarge } outcome = Outcome::kUnreadable;
  std::string bytes;
  std::uintmax_t size = 0;  // kTooLarge: its size, or the bytes read
};
FolderFile ReadFolderFile(const std::filesystem::path& path, std::uintmax_t maxBytes);

// Adds to report (made from manifestBytes, folder's updater.txt) what the
// folder lacks and what it holds that no entry lists; with a key, each
// refusal of the signed list and of updater.txt and the listed files
// against it that a launcher built with that key would make.
void CheckFolder(const std::filesystem::path& folder, CheckReport& report,
                 std::string_view manifestBytes, const std::optional<CheckKey>& key = std::nullopt);

// updater.b2sums for folder, byte for byte as b2sum prints it for
// updater.txt and then each file report's entries have the launcher fetch,
// once, in the manifest's order, named as the manifest writes it with '/'
// for '\'. Nothing, with the reason added to problems, when a file cannot
// be read.
std::optional<std::string> ListRelease(const std::filesystem::path& folder,
                                       std::string_view manifestBytes, const CheckReport& report,
                                       CheckReport& problems);

}  // namespace kestrune::publish
