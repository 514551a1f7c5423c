// One HTTP transfer into one local file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/file_system.h"
#include "common/internet.h"

namespace kestrune {

// Every transfer goes through one buffer of this size; each block is
// written before the next is read, so memory does not grow with the file.
inline constexpr std::size_t kDownloadBlockSize = 1024;

// The agent name sent with every request: the running program's file name.
std::string AgentName(std::string_view executablePath);

// Fetches url and stores its body at localPath. True only when a 2xx
// response arrived whole (as long as it announced, if it announced a
// length); then localPath holds exactly the body, replacing any earlier
// file. On false, localPath is untouched: the body goes to a temporary file
// beside it that is moved into place only on success and removed otherwise.
// Throws IoError when the local file cannot be created, written, closed or
// moved into place; every handle is released on every way out. A localPath
// ending in a separator names a folder, which cannot be written as a file:
// the platform's own I/O error for creating it is raised before any request.
bool DownloadToFile(Internet& internet, FileSystem& files, const std::string& agent,
                    const std::string& url, const std::string& localPath);

// What a download's temporary name adds to the name of its file. No entry
// name may end with it (see IsSafeEntryName).
inline constexpr char kPartialDownloadSuffix[] = ".kestrune-part";

// The temporary name a download of localPath is written under.
std::string PartialDownloadPath(const std::string& localPath);

}  // namespace kestrune
