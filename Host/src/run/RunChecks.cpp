// What a run checks and counts.
#include "RunChecks.h"

#include "qvhost/HostError.h"
#include "qvhost/HostMemory.h"
#include "qvhost/HostObject.h"
#include "qvhost/SceneFile.h"

namespace qvhost {

void CheckThenSteps(const std::vector<std::string>& steps) {
  for (size_t i = 0; i < steps.size(); ++i) {
    const std::string& step = steps[i];
    if (step != "undo" && step != "redo") throw HostError("--then " + step + ": expected undo or redo");
    const char* expected = i % 2 == 0 ? "undo" : "redo";
    if (step != expected)
      throw HostError("--then " + step + " (step " + std::to_string(i + 1) + "): expected " + expected +
                      ": Undo and Redo alternate after Do (undo, redo, undo, ...)");
  }
}

HostCounters HostCounters::Now() {
  HostCounters counters;
  counters.objects = LiveHostObjectsByKind();
  const HostMemory& memory = HostMemory::Instance();
  counters.objectMemory = memory.LiveObjects();
  counters.blocks = memory.LiveBlocks();
  counters.bytes = memory.LiveBytes();
  return counters;
}

namespace {

std::string Count(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What is alive now beyond `before`; empty when nothing is.
std::string LeftBehind(const HostCounters& before, const HostCounters& now) {
  std::string objects;
  int64_t objectCount = 0;
  for (const auto& [kind, count] : now.objects) {
    auto was = before.objects.find(kind);
    const int64_t more = count - (was == before.objects.end() ? 0 : was->second);
    if (more <= 0) continue;
    objectCount += more;
    objects += (objects.empty() ? "" : ", ") + kind + (more > 1 ? " x" + std::to_string(more) : "");
  }
  std::string parts;
  auto add = [&parts](const std::string& part) { parts += (parts.empty() ? "" : ", ") + part; };
  if (objectCount > 0) add(Count(objectCount, "host object", "host objects") + " (" + objects + ")");
  const int64_t objectMemory = now.objectMemory - before.objectMemory, blocks = now.blocks - before.blocks;
  const int64_t bytes = now.bytes - before.bytes;
  if (objectMemory > 0) add(Count(objectMemory, "object allocation", "object allocations"));
  if (blocks > 0) add(Count(blocks, "memory block", "memory blocks"));
  if ((objectMemory > 0 || blocks > 0) && bytes > 0) add(Count(bytes, "byte", "bytes") + " of memory");
  return parts;
}

}  // namespace

void FinishRun(const RunRequest& request, const HostCounters& before, const std::string& scene, RunReport& report) {
  const std::string held = LeftBehind(before, HostCounters::Now());
  if (!held.empty())
    report.leak += (report.leak.empty() ? "" : "; ") + request.component + " still holds " + held +
                   " after release and clean-up";
  // A scene is saved only from a run that went through: no exception, nothing kept.
  if (!request.savePath.empty() && !report.threw && report.leak.empty()) {
    WriteFileAtomically(request.savePath, scene);
    report.saved = request.savePath;
  }
}

}  // namespace qvhost
