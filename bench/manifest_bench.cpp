// The manifest reader's throughput on manifests as makers write them.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/fake/fake_platform.h"
#include "update/entry_name.h"
#include "update/manifest.h"

namespace kestrune {
namespace {

// 10,000 entries of short lines, CR LF, sub-folders here and there: about
// 400 KB.
std::string ShortLines() {
  std::string text = "Tavimo Tools 2.1\r\n";
  for (int i = 0; i < 10000; ++i) {
    const std::string n = std::to_string(i);
    text += (i % 7 == 0 ? "tools\\setup-" : "kestrune-tool-") + n + ".exe\r\n";
    text += "Start tool number " + n + "\r\n";
  }
  return text;
}

// 1,000 entries whose captions and names run to a couple of kilobytes:
// about 2.5 MB.
std::string LongLines() {
  std::string text = "Tavimo Tools\r\n";
  for (int i = 0; i < 1000; ++i) {
    text += "docs\\" + std::string(static_cast<std::size_t>(200 + i % 50), 'n') + std::to_string(i) + ".pdf\r\n";
    text += "Read " + std::string(static_cast<std::size_t>(2000 + i % 300), 'c') + "\r\n";
  }
  return text;
}

// 10,000 entries in an 8-bit code page: every caption and every third name
// needs decoding.
std::string EightBit() {
  std::string text = "Outils Tavimo \xE9t\xE9\r\n";
  for (int i = 0; i < 10000; ++i) {
    const std::string n = std::to_string(i);
    text += (i % 3 == 0 ? "r\xE9sum\xE9-" : "outil-") + n + ".exe\r\n";
    text += "D\xE9marrer l'outil num\xE9ro " + n + "\r\n";
  }
  return text;
}

void ReadAndCheck(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    Manifest m = ReadManifest(text, fake::Latin1ToUtf8);
    benchmark::DoNotOptimize(m);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_ReadManifest_ShortLines10k(benchmark::State& state) { ReadAndCheck(state, ShortLines()); }
void BM_ReadManifest_LongLines(benchmark::State& state) { ReadAndCheck(state, LongLines()); }
void BM_ReadManifest_EightBit10k(benchmark::State& state) { ReadAndCheck(state, EightBit()); }

// The judgement every entry gets before anything is fetched.
void BM_IsSafeEntryName_10k(benchmark::State& state) {
  const Manifest m = ReadManifest(ShortLines(), fake::Latin1ToUtf8);
  for (auto _ : state) {
    int safe = 0;
    for (const ManifestRecord& r : m.records) safe += IsSafeEntryName(r.fileName) ? 1 : 0;
    benchmark::DoNotOptimize(safe);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(m.records.size()));
}

BENCHMARK(BM_ReadManifest_ShortLines10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadManifest_LongLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadManifest_EightBit10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IsSafeEntryName_10k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrune
