// The whole start-up on the fake platform with a 10,000-entry manifest and
// every file present: fetch and store the manifest, read it, check every
// file, build every button. The fake's Sleep returns at once, so the
// 600 ms pause before reading is not in the figure.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/entry.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {
namespace {

constexpr char kBase[] = "http://192.0.2.10/serverlist/";
constexpr int kEntries = 10000;

std::string EntryName(int i) { return "tools\\kestrune-tool-" + std::to_string(i) + ".exe"; }

std::string Manifest() {
  std::string text = "Tavimo Tools 2.1\r\n";
  for (int i = 0; i < kEntries; ++i) {
    text += EntryName(i) + "\r\nStart tool number " + std::to_string(i) + "\r\n";
  }
  return text;
}

void BM_Startup_10kEntriesAllPresent(benchmark::State& state) {
  const std::string manifest = Manifest();
  for (auto _ : state) {
    state.PauseTiming();
    auto sys = std::make_unique<fake::FakePlatform>();
    fake::FakeResponse response;
    response.body = manifest;
    sys->internet.responses[std::string(kBase) + "updater.txt"] = response;
    sys->files.directories.insert(sys->InWorkDir("tools"));
    for (int i = 0; i < kEntries; ++i) sys->files.files[sys->InWorkDir(EntryName(i))] = "x";
    state.ResumeTiming();

    const int exitCode = RunKestrune(sys->application, sys->platform, Addresses{kBase, "", ""});
    benchmark::DoNotOptimize(exitCode);

    state.PauseTiming();
    if (!sys->application.shown || sys->window.Buttons().size() != kEntries ||
        sys->desktop.confirmations != 0) {
      state.SkipWithError("start-up did not end with the window and every button");
    }
    sys.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kEntries);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(manifest.size()));
}

BENCHMARK(BM_Startup_10kEntriesAllPresent)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrune
