// A release folder against its manifest: every listed file must be there
// under its exact name (the update server may tell letter case apart), and
// every file there should be listed.
#pragma once

#include <filesystem>
#include <optional>

#include "publish/check_report.h"
#include "publish/signature_check.h"

namespace kestrune::publish {

// Adds to report (made from folder's updater.txt) what the folder lacks
// and what it holds that no entry lists; with a key, every signature of
// updater.txt and the listed files that a launcher built with it refuses.
void CheckFolder(const std::filesystem::path& folder, CheckReport& report,
                 const std::optional<CheckKey>& key = std::nullopt);

}  // namespace kestrune::publish
