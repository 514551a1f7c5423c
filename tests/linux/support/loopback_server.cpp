#include "tests/linux/support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "platform/posix/posix_unique_fd.h"

namespace kestrune::testing {

namespace {

std::vector<std::string> ServerCommand(const ServerOptions& options) {
  std::vector<std::string> argv{KESTRUNE_TEST_PYTHON, KESTRUNE_TEST_HTTP_SERVER,
                                "--root", options.root.string(), "--bind", "127.0.0.1",
                                "--port", "0", "--max-seconds", "600"};
  if (!options.rules.empty()) argv.insert(argv.end(), {"--rules", options.rules.string()});
  if (!options.log.empty()) argv.insert(argv.end(), {"--log", options.log.string()});
  if (!options.cert.empty()) {
    argv.insert(argv.end(), {"--cert", options.cert.string(), "--key", options.key.string()});
  }
  return argv;
}

// The value of "key": "..." in one JSON line of the server's log (the
// server writes them with json.dumps, so no nesting is involved).
std::string JsonField(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\": \"";
  auto at = line.find(marker);
  if (at == std::string::npos) return {};
  at += marker.size();
  std::string value;
  for (; at < line.size() && line[at] != '"'; ++at) {
    if (line[at] == '\\' && at + 1 < line.size()) ++at;
    value.push_back(line[at]);
  }
  return value;
}

int JsonNumber(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\": ";
  const auto at = line.find(marker);
  return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + marker.size());
}

}  // namespace

LoopbackServer::LoopbackServer(const ServerOptions& options)
    : options_(options), process_(ChildProcess::Start(ServerCommand(options), true)) {
  // libcurl honours the usual proxy variables, as the program should; a
  // machine that sets them must not route the tests' loopback requests away.
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTPS_PROXY", "ALL_PROXY"}) {
    ::unsetenv(name);
  }
  const std::string first = process_.ReadLine();
  if (first.rfind("PORT ", 0) != 0) throw std::runtime_error("test server did not start");
  port_ = std::stoi(first.substr(5));
  origin_ = std::string(options.cert.empty() ? "http" : "https") + "://127.0.0.1:" +
            std::to_string(port_);
}

std::vector<LoggedRequest> LoopbackServer::Requests() const {
  std::vector<LoggedRequest> requests;
  if (options_.log.empty()) return requests;
  std::ifstream in(options_.log);
  for (std::string line; std::getline(in, line);) {
    requests.push_back({JsonField(line, "path"), JsonField(line, "agent"),
                        JsonField(line, "range"), JsonField(line, "if_range"),
                        JsonNumber(line, "connection")});
  }
  return requests;
}

int UnusedLoopbackPort() {
  posix::UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (!socket || ::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free loopback port");
  }
  return ntohs(address.sin_port);
}

}  // namespace kestrune::testing
