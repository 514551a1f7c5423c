// A live update server, fetched as a customer's launcher fetches it:
// updater.txt, then every file its entries name, each through the
// platform's internet service.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "common/internet.h"
#include "publish/check_report.h"
#include "publish/signature_check.h"
#include "update/manifest.h"

namespace kestrune::publish {

// Told before each listed file is fetched, with the files done and the
// files to fetch in all.
using FetchProgress = std::function<void(std::size_t done, std::size_t total)>;

// Every listed file answers with a 2xx status and the body it announced,
// from the address itself (a redirect is reported); updater.txt is read as
// the launcher reads it, refused unread past kMaxManifestBytes, and its
// text is checked as a release folder's is. Listed files are read and
// dropped as they arrive, so memory does not grow with a file. With a key,
// updater.b2sums.minisig and updater.b2sums are fetched under the
// launcher's limits and checked as a launcher built with that key does,
// then updater.txt and every file that arrived whole against the list.
CheckReport CheckServer(Internet& internet, const std::string& agent,
                        const std::string& updateBaseUrl, const AnsiDecoder& decodeAnsi,
                        const FetchProgress& progress,
                        const std::optional<CheckKey>& key = std::nullopt);

}  // namespace kestrune::publish
