// Checks and accounting of a run: the order of --then steps, what a module left behind,
// and the save at the end.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "qvhost/ComponentRun.h"
#include "qvhost/ResourceFile.h"

namespace qvhost {

// HostError unless the steps are undo, redo, undo, ... (Undo and Redo alternate after Do).
void CheckThenSteps(const std::vector<std::string>& steps);

// The host's counters of live host objects (by kind) and of the memory it hands out.
struct HostCounters {
  std::map<std::string, int64_t> objects;
  int64_t objectMemory = 0, blocks = 0, bytes = 0;
  static HostCounters Now();
};

// After the run's documents, shell and modules are gone: adds what is still alive beyond
// `before` to the report's leak ("holds 1 host object (IHostSelection), 2 memory blocks
// (96 bytes)"), then saves the scene text when the module neither threw nor leaked.
void FinishRun(const RunRequest& request, const HostCounters& before, const std::string& scene, RunReport& report);

}  // namespace qvhost
