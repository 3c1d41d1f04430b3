// Checks and accounting the two drivers (scene commands, attached components) share: the
// order of --then steps, the --control identifiers of a dialog, what a module left
// behind, and the save at the end of a run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "qvhost/CommandDriver.h"
#include "qvhost/ResourceFile.h"

namespace qvhost {

// HostError unless the steps are undo, redo, undo, ... (Undo and Redo alternate after Do).
void CheckThenSteps(const std::vector<std::string>& steps);

// The codes of `texts`; HostError for one that is no four-character code or a control
// the dialog does not have (`dialog` may be null: the dialog has none).
std::vector<uint32_t> DialogControls(const DialogResource* dialog, int32_t dialogId,
                                     const std::vector<std::string>& texts);

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
