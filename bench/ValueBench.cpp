// TQVArray append against std::vector::push_back, and string appends of ten characters
// and of one character against std::string, at 10 000 and 10 million elements; the ratios
// are printed at the end. A dynamic string asks for a block of exactly the length it needs
// on each append, so these measure how the host's memory service grows blocks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "RunTimes.h"
#include "QVArray.h"
#include "QVEntryPoints.h"
#include "QVModule.h"
#include "QVString.h"
#include "qvhost/HostShell.h"

// This program is its own module: it has no component classes.
TQVComponent* CreateComponent(const QVGUID&) { return nullptr; }

namespace {

void ArrayAppend(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  for (auto _ : state) {
    TQVArray<int32_t> array;
    for (int32_t i = 0; i < n; ++i) array.Append(i);
    benchmark::DoNotOptimize(array.Storage());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void VectorPushBack(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  for (auto _ : state) {
    std::vector<int32_t> vector;
    for (int32_t i = 0; i < n; ++i) vector.push_back(i);
    benchmark::DoNotOptimize(vector.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void StringAppend(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  const TQVFixedString<15> piece("0123456789");
  for (auto _ : state) {
    TQVDynamicString text;
    for (int32_t i = 0; i < n; i += 10) text.Append(piece);
    benchmark::DoNotOptimize(text.Characters());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void StdStringAppend(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  const std::string piece = "0123456789";
  for (auto _ : state) {
    std::string text;
    for (int32_t i = 0; i < n; i += 10) text.append(piece);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void StringAppendChar(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  for (auto _ : state) {
    TQVDynamicString text;
    for (int32_t i = 0; i < n; ++i) text.AppendChar(uint16_t('a' + i % 26));
    benchmark::DoNotOptimize(text.Characters());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void StdStringPushBack(benchmark::State& state) {
  const int32_t n = int32_t(state.range(0));
  for (auto _ : state) {
    std::string text;
    for (int32_t i = 0; i < n; ++i) text.push_back(char('a' + i % 26));
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(ArrayAppend)->Arg(10000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(VectorPushBack)->Arg(10000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StringAppend)->Arg(10000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringAppend)->Arg(10000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StringAppendChar)->Arg(10000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StdStringPushBack)->Arg(10000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// Collects each run's time per item so the ratios can be printed after the table.
class RatioReporter : public RunTimes {
 public:
  void PrintRatios() const {
    const char* pairs[][2] = {{"ArrayAppend", "VectorPushBack"},
                              {"StringAppend", "StdStringAppend"},
                              {"StringAppendChar", "StdStringPushBack"}};
    for (const auto& pair : pairs) {
      for (const char* size : {"10000", "10000000"}) {
        const double* ours = Time(pair[0], size);
        const double* base = Time(pair[1], size);
        if (!ours || !base) continue;
        // Processor time too: a loaded machine disturbs it less than elapsed time.
        std::printf("ratio %s/%s at %s: %.2f (processor time %.2f)\n", pair[0], pair[1], size, *ours / *base,
                    *Time(pair[0], size, true) / *Time(pair[1], size, true));
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  auto shell = qvhost::HostShell::Create();
  QVDllInit(shell.Get());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  QVDllCleanUp();
  benchmark::Shutdown();
  return 0;
}
