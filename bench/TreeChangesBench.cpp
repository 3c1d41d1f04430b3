// Tree snapshots and change reports on scenes of groups of ten elements, at two sizes ten
// times apart, against what they cannot do without: the scene text a snapshot reads, and
// the matching of identities through a hash table a report makes. The ratios (large size
// over small, each against its baseline) are printed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "RunTimes.h"
#include "qvhost/Document.h"
#include "qvhost/SceneFile.h"
#include "qvhost/TreeChanges.h"

namespace {

// Ten times the elements may cost at most this factor more than they cost the baseline.
constexpr double kGrowthBound = 1.2;
constexpr int kGroupSize = 10;

// A document of `count` elements: groups at the top level with kGroupSize - 1 children
// each, a translation on every child; and the same document after each group's first
// child was replaced by an edited copy, as commands that edit by replacement do.
struct BenchScene {
  TQVCountedPtr<qvhost::Document> document;
  qvhost::TreeSnapshot before, after;
};

std::map<int64_t, std::unique_ptr<BenchScene>> gScenes;

BenchScene& SceneOf(int64_t count) {
  std::unique_ptr<BenchScene>& scene = gScenes[count];
  if (scene) return *scene;
  scene = std::make_unique<BenchScene>();
  std::string text = R"({"qvscene": 1, "elements": [)";
  for (int64_t group = 0; group < count / kGroupSize; ++group) {
    text += (group ? ", " : "") + std::string(R"({"name": "G)") + std::to_string(group) + R"(", "children": [)";
    for (int child = 1; child < kGroupSize; ++child)
      text += (child > 1 ? ", " : "") + std::string(R"({"name": "E)") + std::to_string(child) +
              R"(", "transform": {"translation": [)" + std::to_string(child) + ", 0, 0]}}";
    text += "]}";
  }
  text += "]}";
  scene->document = qvhost::ParseScene(text, "bench.json", std::make_shared<qvhost::Journal>());
  scene->before = qvhost::TreeSnapshot::Of(*scene->document);
  for (qvhost::SceneElement* group : std::vector<qvhost::SceneElement*>(scene->document->GetScene().Root().Children().begin(),
                                                                        scene->document->GetScene().Root().Children().end())) {
    qvhost::SceneElement* first = group->Children().front();
    TQVCountedPtr<IHostTreeElement> copy;
    first->DeepCopy(1, copy.Put());
    TQVTransform moved = first->Local();
    moved.translation.y = 1;
    qvhost::AsSceneElement(copy.Get())->SetLocal(moved);
    first->InsertNextTo(copy.Get());
    RemovalRecord record;
    first->Remove(nullptr, &record);
    record.Discard();
  }
  scene->after = qvhost::TreeSnapshot::Of(*scene->document);
  return *scene;
}

void SceneTextOf(benchmark::State& state) {
  BenchScene& scene = SceneOf(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(qvhost::SceneText(*scene.document));
}
void SnapshotOf(benchmark::State& state) {
  BenchScene& scene = SceneOf(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(qvhost::TreeSnapshot::Of(*scene.document));
}
// Each element after looked up among the elements before by identity.
void MatchOf(benchmark::State& state) {
  BenchScene& scene = SceneOf(state.range(0));
  for (auto _ : state) {
    std::unordered_map<std::string, size_t> index;
    index.reserve(scene.before.elements.size());
    for (size_t i = 0; i < scene.before.elements.size(); ++i) index.emplace(scene.before.elements[i].identity, i);
    size_t found = 0;
    for (const auto& element : scene.after.elements) found += index.count(element.identity);
    benchmark::DoNotOptimize(found);
  }
}
void ChangesOf(benchmark::State& state) {
  BenchScene& scene = SceneOf(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(qvhost::TreeChanges(scene.before, scene.after));
}

BENCHMARK(SceneTextOf)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(SnapshotOf)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(MatchOf)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ChangesOf)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Collects each run's time so the ratios can be printed after the table.
class RatioReporter : public RunTimes {
 public:
  void PrintRatios() const {
    // A hash table's lookups slow down once it outgrows the caches, so a report is
    // linear when it grows no faster than its matching does.
    const struct {
      const char* name;
      const char* baseline;
    } pairs[] = {{"SnapshotOf", "SceneTextOf"}, {"ChangesOf", "MatchOf"}};
    for (const auto& pair : pairs) {
      for (const char* name : {pair.baseline, pair.name}) {
        const double* small = Time(name, "10000");
        const double* large = Time(name, "100000");
        if (small && large) std::printf("ratio %s at 100000/10000 elements: %.2f\n", name, *large / *small);
      }
      for (const char* size : {"10000", "100000"}) {
        const double* baseline = Time(pair.baseline, size);
        const double* measured = Time(pair.name, size);
        if (baseline && measured)
          std::printf("ratio %s over %s at %s elements: %.2f\n", pair.name, pair.baseline, size, *measured / *baseline);
      }
      const double* baseSmall = Time(pair.baseline, "10000");
      const double* baseLarge = Time(pair.baseline, "100000");
      const double* small = Time(pair.name, "10000");
      const double* large = Time(pair.name, "100000");
      if (baseSmall && baseLarge && small && large) {
        const double growth = (*large / *small) / (*baseLarge / *baseSmall);
        std::printf("growth of %s over that of %s: %.2f  linear: %s (below %g)\n", pair.name, pair.baseline, growth,
                    growth < kGrowthBound ? "yes" : "no", kGrowthBound);
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  gScenes.clear();
  benchmark::Shutdown();
  return 0;
}
