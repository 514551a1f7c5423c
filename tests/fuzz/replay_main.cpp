// Runs a fuzz target over files, without libFuzzer: every file named on the
// command line, and every file inside a directory named there. Used by the
// ordinary test builds (GCC, the sanitizer preset) to replay the seeds and
// every input a fuzzing run ever found to crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Run(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An empty vector's data() may be null; libFuzzer never passes null.
  static const std::uint8_t kNothing = 0;
  const auto* data = bytes.empty() ? &kNothing : reinterpret_cast<const std::uint8_t*>(bytes.data());
  LLVMFuzzerTestOneInput(data, bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::vector<std::filesystem::path> files;
    if (!std::filesystem::exists(path)) continue;  // no crash inputs yet
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
          files.push_back(entry.path());
        }
      }
    } else {
      files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      Run(file);
      ++count;
    }
  }
  std::printf("%zu inputs replayed without a finding\n", count);
  // Nothing to replay means a wrong path, not a pass.
  return count == 0 ? 1 : 0;
}
