// What one request met on its way: the status, the announced length, the
// bytes that arrived and how the body ended, so that a file the launcher
// would not take is reported by its cause.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/internet.h"

namespace kestrune::publish {

struct Transfer {
  bool opened = false;
  int status = 0;
  std::optional<std::uint64_t> announced;
  std::uint64_t bytes = 0;  // arrived, kept or not
  bool ended = false;       // the body reached its end
  bool broken = false;      // a read failed
  std::string redirectedTo;
  // The most the reader takes; past it the rest is left unread.
  std::optional<std::uint64_t> limit;
};

// A small file fetched with the launcher's own FetchSmallFile, under its
// limit of maxBytes, and what its one request met.
struct SmallFetch {
  std::optional<std::string> body;
  Transfer met;
};

SmallFetch FetchSmallFileObserved(Internet& internet, const std::string& agent,
                                  const std::string& url, std::size_t maxBytes);

// Whether the body went past its transfer's limit: announced so, or seen.
bool PassedLimit(const Transfer& transfer);

}  // namespace kestrune::publish
