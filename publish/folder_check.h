// A release folder against its manifest: every listed file must be there
// under its exact name (the update server may tell letter case apart), and
// every file there should be listed.
#pragma once

#include <filesystem>

#include "publish/check_report.h"

namespace kestrune::publish {

// Adds to report (made from folder's updater.txt) what the folder lacks
// and what it holds that no entry lists.
void CheckFolder(const std::filesystem::path& folder, CheckReport& report);

}  // namespace kestrune::publish
