// Micro-benchmarks of the text I/O hot paths, next to the C library calls
// they replace.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "textio/name_index.h"
#include "textio/reader.h"
#include "textio/writer.h"

namespace {

std::string ld_records(int count) {
  std::mt19937 rng(1);
  std::string s;
  char line[64];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "rs%d rs%d %.6f\n", 1000000 + i % 2000, 1000000 + (i * 7) % 2000,
                  static_cast<double>(rng() % 1000000) / 1e6);
    s += line;
  }
  return s;
}

// Argument 0: every record through scan(). Argument 1: the fast path for
// ld.txt records first, each number converted as a record that sets a cell
// would.
void BM_ScanRecords(benchmark::State& state) {
  const std::string data = ld_records(100000);
  const textio::Pattern pattern("%s %s %f\n");
  const bool fast = state.range(0) != 0;
  for (auto _ : state) {
    textio::Reader in;
    in.open_string(data);
    textio::Field f[3];
    float sum = 0;
    while (!in.eof()) {
      std::string_view a, b, number;
      if (fast && in.scan_names_and_real(&a, &b, &number)) {
        sum += textio::Reader::plain_value(number);
      } else {
        in.scan(pattern, f);
        sum += f[2].real;
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_ScanRecords)->Arg(0)->Arg(1);

void BM_ScanRecordsWithFscanf(benchmark::State& state) {
  std::string data = ld_records(100000);
  for (auto _ : state) {
    FILE* f = fmemopen(data.data(), data.size(), "r");
    char a[64], b[64];
    float v = 0;
    while (!std::feof(f)) std::fscanf(f, "%63s %63s %f\n", a, b, &v);
    std::fclose(f);
    benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_ScanRecordsWithFscanf);

std::vector<float> scores() {
  std::mt19937 rng(2);
  std::vector<float> v(100000);
  for (float& x : v) x = 0.2f + static_cast<float>(rng() % 1000000) / 1e6f;
  return v;
}

void BM_FormatReal(benchmark::State& state) {
  const std::vector<float> v = scores();
  char out[textio::kMaxRealText];
  for (auto _ : state) {
    for (float x : v) benchmark::DoNotOptimize(textio::format_real(x, out));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(v.size()));
}
BENCHMARK(BM_FormatReal);

void BM_FormatRealWithSnprintf(benchmark::State& state) {
  const std::vector<float> v = scores();
  char out[64];
  for (auto _ : state) {
    for (float x : v) benchmark::DoNotOptimize(std::snprintf(out, sizeof out, "%f", static_cast<double>(x)));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(v.size()));
}
BENCHMARK(BM_FormatRealWithSnprintf);

void BM_FindName(benchmark::State& state) {
  std::vector<std::string> names;
  for (int i = 0; i < 2000; ++i) names.push_back("rs" + std::to_string(1000000 + i));
  textio::NameIndex index;
  index.build(std::vector<std::string_view>(names.begin(), names.end()));
  std::vector<textio::Token> queries;
  for (int i = 0; i < 4000; ++i) queries.emplace_back(i % 2 ? names[(i * 13) % 2000] : "zz" + std::to_string(i));
  for (auto _ : state) {
    for (const textio::Token& q : queries) benchmark::DoNotOptimize(index.find(q));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(queries.size()));
}
BENCHMARK(BM_FindName);

}  // namespace

BENCHMARK_MAIN();
