// JitterKeys' Do through the loader, on many nodes and on one long track, each at two
// sizes ten times apart, against the host operations the same Do performs. The ratios
// (large size over small) and the host operations' share of Do are printed at the end.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "RunTimes.h"
#include "ModuleInterfaces.h"
#include "QVException.h"
#include "qvhost/Animation.h"
#include "qvhost/Document.h"
#include "qvhost/HostError.h"
#include "qvhost/HostShell.h"
#include "qvhost/ModuleLoader.h"
#include "qvhost/SceneElement.h"

namespace {

using qvhost::Adopt;

// Distinct key times this far apart (1/180 s), so a million keys stay within the tick range.
constexpr int32_t kKeySpacing = 1000;
// The bound on the large-to-small time ratio for ten times the work.
constexpr double kLinearBound = 12.0;

TQVCountedPtr<qvhost::HostShell> gShell;
TQVCountedPtr<IClassFactory> gFactory;

// A document built in code: `nodeCount` top-level elements, each with an animation node
// whose own track holds `keysPerNode` selected keys. Besides the document it keeps the
// keys in the order they were made, their first times and the times one Do gives them,
// so every iteration starts from the same scene and the host operations can be replayed.
struct BenchScene {
  TQVCountedPtr<qvhost::Document> document;
  TQVCountedPtr<IHostCommandContext> context;
  std::vector<qvhost::AnimationNode*> nodes;   // in the walk's order
  std::vector<std::vector<qvhost::Key*>> keys;  // per node, as made
  std::vector<std::vector<int32_t>> start;     // per node, the times they were made with
  std::vector<std::vector<int32_t>> moved;     // per node, the times after one Do
  int64_t keyCount = 0;
  std::string error;  // why the scene cannot be measured, or empty

  // Puts every key back at its first time (and the tracks in that order) and empties
  // the journal the nodes and services write to.
  void Reset() {
    for (size_t n = 0; n < nodes.size(); ++n) {
      for (size_t i = 0; i < keys[n].size(); ++i) keys[n][i]->SetTime(start[n][i]);
      nodes[n]->Track().AfterEdit();
    }
    gShell->GetJournal().Clear();
  }
};

// A command of the module, given the scene's context and prepared; empty on failure.
TQVCountedPtr<ISceneCommand> PreparedCommand(BenchScene& scene) {
  TQVCountedPtr<ISceneCommand> command;
  gFactory->CreateInstance(nullptr, ISceneCommand::kID, command.PutVoid());
  if (!command) return command;
  if (QVFailed(command->SetContext(scene.context.Get())) || QVFailed(command->Prepare())) command.Release();
  return command;
}

// The host calls Do makes on one node, in the same order, with the times Do gives the
// keys (so the track's re-sort after the edit has the same work to do).
int64_t ReplayNode(IHostAnimationNode* node, const std::vector<int32_t>& to) {
  int64_t sink = 0;
  const bool suspended = node->GetSuspendableState();
  if (suspended) node->SetSuspendableState(false);
  IHostKeyTrack* track = node->GetOwnKeyTrack();
  if (track && track->HasSelectedKey()) {
    const int32_t count = track->GetKeyCount();
    // Do reads the selected keys' times once to draw their offsets...
    for (int32_t i = 0; i < count; ++i) {
      IHostKeyframe* key = track->GetKey(i);
      if (!key || !key->IsSelected()) continue;
      sink += key->GetTimeRecord().ticks;
    }
    // ...then moves each, looking at its neighbours.
    for (int32_t i = 0; i < count; ++i) {
      IHostKeyframe* key = track->GetKey(i);
      if (!key || !key->IsSelected()) continue;
      sink += key->GetTimeRecord().ticks;
      if (IHostKeyframe* previous = key->GetPreviousKey()) sink += previous->GetTimeRecord().ticks;
      if (IHostKeyframe* next = key->GetNextKey()) sink += next->GetTimeRecord().ticks;
      key->SetTime(to[size_t(i)]);
    }
    track->AfterEdit();
  }
  sink += node->GetChannelCount();
  if (suspended) node->SetSuspendableState(true);
  node->KeysChanged();
  return sink;
}

// The host operations of one Do: the element walk, each element's node, each node's keys.
int64_t ReplayHostOperations(BenchScene& scene) {
  int64_t sink = 0;
  IHostTreeElement* root = &scene.document->GetScene().Root();
  size_t index = 0;
  for (IHostTreeElement* element = root->GetFirstChild(); element; element = element->GetNextSibling()) {
    if (element->GetFirstChild()) ++sink;
    TQVCountedPtr<IHostAnimated> animated;
    if (QVQuery(element, animated) != kQVOk) continue;
    if (IHostAnimationNode* node = animated->GetAnimationNode()) sink += ReplayNode(node, scene.moved[index++]);
  }
  return sink;
}

std::unique_ptr<BenchScene> BuildScene(int32_t nodeCount, int32_t keysPerNode) {
  auto scene = std::make_unique<BenchScene>();
  const auto& journal = gShell->SharedJournal();
  scene->document = Adopt<qvhost::Document>(new qvhost::Document(journal));
  scene->context = Adopt<IHostCommandContext>(new qvhost::CommandContext(*scene->document));
  qvhost::SceneElement& root = scene->document->GetScene().Root();
  scene->nodes.reserve(size_t(nodeCount));
  scene->keys.resize(size_t(nodeCount));
  scene->start.resize(size_t(nodeCount));
  for (int32_t n = 0; n < nodeCount; ++n) {
    auto element = qvhost::SceneElement::Create("Node" + std::to_string(n));
    root.Append(element.Get());
    auto node = Adopt<qvhost::AnimationNode>(new qvhost::AnimationNode(element->Path(), journal));
    element->SetNode(node.Get());
    std::vector<qvhost::Key*>& keys = scene->keys[size_t(n)];
    std::vector<int32_t>& start = scene->start[size_t(n)];
    keys.reserve(size_t(keysPerNode));
    start.reserve(size_t(keysPerNode));
    for (int32_t i = 0; i < keysPerNode; ++i) {
      const int32_t ticks = i * kKeySpacing;
      keys.push_back(&node->Track().Add(ticks, true));
      start.push_back(ticks);
    }
    scene->nodes.push_back(node.Get());
  }
  scene->keyCount = int64_t(nodeCount) * keysPerNode;

  // One Do, untimed, for the times the replay gives the keys; then the replay itself,
  // which must leave the scene as Do did.
  TQVCountedPtr<ISceneCommand> command = PreparedCommand(*scene);
  if (!command || !command->Do()) {
    scene->error = "JitterKeys could not be prepared or did nothing";
    return scene;
  }
  command.Release();
  scene->moved.resize(size_t(nodeCount));
  int64_t movedKeys = 0;
  for (size_t n = 0; n < scene->nodes.size(); ++n) {
    for (size_t i = 0; i < scene->keys[n].size(); ++i) {
      scene->moved[n].push_back(scene->keys[n][i]->Ticks());
      if (scene->moved[n][i] != scene->start[n][i]) ++movedKeys;
    }
  }
  if (movedKeys == 0) scene->error = "JitterKeys moved no key";
  scene->Reset();
  benchmark::DoNotOptimize(ReplayHostOperations(*scene));
  for (size_t n = 0; n < scene->nodes.size(); ++n)
    for (size_t i = 0; i < scene->keys[n].size(); ++i)
      if (scene->keys[n][i]->Ticks() != scene->moved[n][i]) scene->error = "the replay does not match Do";
  scene->Reset();
  return scene;
}

// Scenes are built once per shape and kept for every run of that shape.
std::map<std::pair<int32_t, int32_t>, std::unique_ptr<BenchScene>> gScenes;

BenchScene& SceneOf(int32_t nodeCount, int32_t keysPerNode) {
  std::unique_ptr<BenchScene>& scene = gScenes[{nodeCount, keysPerNode}];
  if (!scene) scene = BuildScene(nodeCount, keysPerNode);
  return *scene;
}

// Times Do alone: each iteration resets the scene and prepares a fresh command (Do
// replaces its undo record) with the clock stopped, and releases the command likewise.
void TimeDo(benchmark::State& state, BenchScene& scene) {
  if (!scene.error.empty()) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  TQVCountedPtr<ISceneCommand> command;
  for (auto _ : state) {
    state.PauseTiming();
    command.Release();
    scene.Reset();
    command = PreparedCommand(scene);
    if (!command) {
      state.SkipWithError("JitterKeys could not be prepared");
      break;
    }
    state.ResumeTiming();
    bool done = false;
    try {
      done = command->Do();
    } catch (const TQVException& error) {
      state.SkipWithError(("JitterKeys raised " + std::to_string(error.Code())).c_str());
      break;
    }
    if (!done) {
      state.SkipWithError("JitterKeys' Do answered false");
      break;
    }
  }
  command.Release();  // the loop has stopped the clock
  state.SetItemsProcessed(state.iterations() * scene.keyCount);
}

// Times the host operations of one Do, replayed on the reset scene.
void TimeHostOperations(benchmark::State& state, BenchScene& scene) {
  if (!scene.error.empty()) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    scene.Reset();
    state.ResumeTiming();
    benchmark::DoNotOptimize(ReplayHostOperations(scene));
  }
  state.SetItemsProcessed(state.iterations() * scene.keyCount);
}

constexpr int32_t kKeysPerNode = 100;

// (a) many nodes of 100 selected keys each; the argument is the node count.
void JitterNodes(benchmark::State& state) { TimeDo(state, SceneOf(int32_t(state.range(0)), kKeysPerNode)); }
void HostOpsNodes(benchmark::State& state) {
  TimeHostOperations(state, SceneOf(int32_t(state.range(0)), kKeysPerNode));
}
// (b) one node whose track holds every key; the argument is the key count.
void JitterTrack(benchmark::State& state) { TimeDo(state, SceneOf(1, int32_t(state.range(0)))); }
void HostOpsTrack(benchmark::State& state) { TimeHostOperations(state, SceneOf(1, int32_t(state.range(0)))); }

// A second of measured time each, so the large sizes run a few iterations too.
BENCHMARK(JitterNodes)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(HostOpsNodes)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(JitterTrack)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(HostOpsTrack)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Collects each run's time so the ratios can be printed after the table.
class RatioReporter : public RunTimes {
 public:
  // The ratios by elapsed time, then by processor time, which a loaded machine disturbs less.
  void PrintRatios() const {
    PrintRatios(false);
    std::printf("by processor time:\n");
    PrintRatios(true);
  }

 private:
  void PrintRatios(bool processor) const {
    struct Case {
      const char* label;
      const char* command;
      const char* host;
      const char* small;
      const char* large;
    };
    const Case cases[] = {
        {"nodes x 100 keys, 10000 vs 1000 nodes", "JitterNodes", "HostOpsNodes", "1000", "10000"},
        {"one track, 1000000 vs 100000 keys", "JitterTrack", "HostOpsTrack", "100000", "1000000"},
    };
    for (const Case& c : cases) {
      const double* doSmall = Time(c.command, c.small, processor);
      const double* doLarge = Time(c.command, c.large, processor);
      const double* hostSmall = Time(c.host, c.small, processor);
      const double* hostLarge = Time(c.host, c.large, processor);
      if (doSmall && doLarge) {
        const double ratio = *doLarge / *doSmall;
        std::printf("ratio %s at %s/%s (%s): %.2f  linear: %s (ratio < %g)\n", c.command, c.large, c.small, c.label,
                    ratio, ratio < kLinearBound ? "yes" : "no", kLinearBound);
      }
      if (hostSmall && hostLarge) {
        const double ratio = *hostLarge / *hostSmall;
        std::printf("ratio %s at %s/%s (%s): %.2f  linear: %s (ratio < %g)\n", c.host, c.large, c.small, c.label,
                    ratio, ratio < kLinearBound ? "yes" : "no", kLinearBound);
      }
      if (doSmall && doLarge && hostSmall && hostLarge && *doSmall > *hostSmall)
        std::printf("ratio %s less %s at %s/%s (the module's own work): %.2f\n", c.command, c.host, c.large, c.small,
                    (*doLarge - *hostLarge) / (*doSmall - *hostSmall));
      for (const char* size : {c.small, c.large}) {
        const double* command = Time(c.command, size, processor);
        const double* host = Time(c.host, size, processor);
        if (command && host)
          std::printf("host operations' share of %s at %s: %.1f%%\n", c.command, size, 100.0 * *host / *command);
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  gShell = qvhost::HostShell::Create();
  std::unique_ptr<qvhost::LoadedModule> module;
  try {
    module = qvhost::LoadedModule::Load(std::string(QV_MODULE_DIR) + "/JitterKeys.qvx", gShell.Get());
  } catch (const qvhost::HostError& error) {
    std::fprintf(stderr, "jitterkeys_bench: %s\n", error.what());
    return 1;
  }
  gShell->Settings().resources.push_back(module->Resources());
  if (!module->Resources().components.empty()) gFactory = module->Factory(module->Resources().components[0].classId);
  if (!gFactory) {
    std::fprintf(stderr, "jitterkeys_bench: the module gave no class factory\n");
    return 1;
  }

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();

  gScenes.clear();
  gFactory.Release();
  const std::string leak = module->Unload();
  if (!leak.empty()) std::fprintf(stderr, "jitterkeys_bench: %s\n", leak.c_str());
  gShell.Release();
  benchmark::Shutdown();
  return leak.empty() ? 0 : 1;
}
