#include "tests/linux/support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace kestrune::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(std::filesystem::file_size(path)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace kestrune::testing
