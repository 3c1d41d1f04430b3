// One component of a module on a scene file, driven the way the host drives it, with a
// report of what happened: a scene command through the tester, its dialog, Prepare, Do and
// the Undo and Redo steps; a component attached to an element through its dialog rounds at
// scene times.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "CommandSession.h"
#include "HostExport.h"
#include "RunReport.h"

namespace qvhost {

// Dialog edits made at one scene time. A scene command has one round, at the file's time;
// an attached component one per --time (the first one at the file's time when edits come
// before any --time).
struct RunRound {
  bool hasTime = false;
  int32_t time = 0;
  DialogEdits edits;
  std::string pick;  // from this round on, the element the object picker answers with
};

struct RunRequest {
  std::string component;     // a component name from a module's resource file
  std::string moduleFolder;
  std::string scenePath;
  std::vector<std::string> select;  // element paths; replaces the selection (scene commands)
  std::string on;                   // the element carrying an attached component
  std::vector<RunRound> rounds = std::vector<RunRound>(1);
  std::vector<std::string> then;    // "undo" or "redo", in order (scene commands)
  bool force = false;               // run even when not enabled
  std::string savePath;             // empty: do not save
  std::string saveAs;     // the save dialog's answer; empty: the user cancels it
  int32_t stopAfter = -1;  // the progress display's stop is pressed after this many questions
  // The code page modules see text in (the process's, QVPlatform_SetACP); 0: the scene's
  // own "codePage", else 1252. Element paths and dialog texts given in UTF-8 are converted.
  uint32_t codePage = 0;
  // Scene commands: the n-th allocation of the host's memory from the start of Do
  // answers null (1 = the first); 0 refuses none.
  int64_t refuseAllocationInDo = 0;
  // Told of each step as it ends (the report so far, the step), so that what ran is
  // known even when a module ends the process later.
  std::function<void(const RunReport&, const RunStep&)> onStep;
};

// Throws HostError for bad input (unknown component, unreadable or malformed scene,
// unknown dialog field or control, bad value, options the component cannot take);
// nothing is written then. When Do throws, the command's Undo is called once (a step and
// a journal entry say so). The scene is saved only when the module neither threw nor
// leaked.
QVHOST_API RunReport RunComponent(const RunRequest& request);

}  // namespace qvhost
