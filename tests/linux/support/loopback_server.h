// The project's test HTTP server (tests/support/http_server.py), run on a
// free loopback port for the life of this object.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/linux/support/child_process.h"

namespace kestrune::testing {

struct ServerOptions {
  std::filesystem::path root;
  std::filesystem::path rules;  // JSON rules file; may be empty
  std::filesystem::path log;    // JSON lines of requests; may be empty
  std::filesystem::path cert;   // with key: serve https
  std::filesystem::path key;
};

struct LoggedRequest {
  std::string path;
  std::string agent;
  std::string range;    // the Range header sent, if any
  std::string ifRange;  // the If-Range header sent, if any
  int connection = 0;   // which connection it came on, from 1
};

class LoopbackServer {
 public:
  explicit LoopbackServer(const ServerOptions& options);
  int port() const { return port_; }
  // "http://127.0.0.1:<port>" (or https).
  const std::string& origin() const { return origin_; }
  // The requests so far, from the log file.
  std::vector<LoggedRequest> Requests() const;

 private:
  ServerOptions options_;
  ChildProcess process_;
  int port_ = 0;
  std::string origin_;
};

// A loopback port nothing listens on (bound, then released).
int UnusedLoopbackPort();

}  // namespace kestrune::testing
