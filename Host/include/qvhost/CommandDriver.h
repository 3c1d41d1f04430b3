// Drives one scene command on a scene the way the host does: factory, SetContext, tester,
// the headless dialog, Prepare, Do, then Undo and Redo steps; reports what happened.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "HostExport.h"
#include "Journal.h"
#include "QVBase.h"

namespace qvhost {

struct RunStep {
  std::string operation;
  std::string answer;
};

struct RunReport;

// Dialog edits made at one scene time (attached components): each --time starts one.
struct RunRound {
  bool hasTime = false;
  int32_t time = 0;
  std::vector<std::pair<std::string, std::string>> sets;
  std::vector<std::string> controls;
  std::string pick;  // from this round on, the element the object picker answers with
};

struct RunRequest {
  std::string component;     // a component name from a module's resource file
  std::string moduleFolder;
  std::string scenePath;
  // The code page modules see text in (the process's, QVPlatform_SetACP); 0: the scene's
  // own "codePage", else 1252.
  uint32_t codePage = 0;
  std::vector<std::string> select;                          // element paths; replaces the selection
  std::vector<std::pair<std::string, std::string>> sets;    // dialog field, value
  std::vector<std::string> controls;                        // control identifiers
  std::vector<std::string> then;                            // "undo" or "redo", in order
  bool force = false;                                       // run even when not enabled
  std::string pick;                                         // what the object picker answers
  std::string savePath;                                     // empty: do not save
  std::string saveAs;     // the save dialog's answer; empty: the user cancels it
  int32_t stopAfter = -1;  // the progress display's stop is pressed after this many questions
  // Attached components: the element that carries it (attached there when it has none),
  // and the dialog rounds in order (the first one at the file's time).
  std::string on;
  std::vector<RunRound> rounds;
  // Told of each step as it ends (the report so far, the step), so that what ran is
  // known even when a module ends the process later.
  std::function<void(const RunReport&, const RunStep&)> onStep;
  // Scene commands: the n-th allocation of the host's memory from the start of Do
  // answers null (1 = the first); 0 refuses none.
  int64_t refuseAllocationInDo = 0;
};


struct RunReport {
  std::string component, module, scene;
  std::vector<RunStep> steps;
  std::vector<std::string> parameters;  // the block's fields after the dialog, NAME=VALUE
  std::vector<JournalEntry> journal;    // what was shown, notified, reported and redrawn
  std::vector<std::string> changes;     // what differs in the scene, keys apart
  std::vector<std::string> movedKeys;   // "track: old -> new" for every key whose time changed
  std::vector<std::string> interpolations;  // "track at time: old -> new" for every changed holder
  std::vector<std::string> keyValues;  // attached components: "attribute at ticks: value" per key
  std::vector<std::string> transforms;  // modifiers: "element at ticks: ..." after each round
  bool enabled = true;
  bool ran = false;
  std::string saved;
  std::vector<std::string> written;  // files written through the save dialog, pictures saved
  // Set when the module threw.
  bool threw = false;
  QVResult code = 0;
  std::string source;
  int32_t line = 0;
  // A module that did not give back what it took: it stays loaded, or host objects or
  // memory blocks are still alive after release and clean-up.
  std::string leak;

  int ExitStatus() const { return threw || !leak.empty() ? 1 : 0; }
  // Adds a step and tells the observer.
  void Step(std::string operation, std::string answer);
  std::function<void(const RunReport&, const RunStep&)> observer;
  // Records the module exception being handled (call inside a catch block). An exception
  // the runtime did not make carries no code, source or line.
  void RecordThrow();
};

// Throws HostError for bad input (unknown component, unreadable or malformed scene,
// unknown dialog field or control, bad value, --then steps out of order); nothing is
// written then. When Do throws, the command's Undo is called once (a step and a journal
// entry say so). The scene is saved only when the module neither threw nor leaked. A component that is not a
// scene command is attached to an element and driven through its dialog rounds.
QVHOST_API RunReport RunCommand(const RunRequest& request);
QVHOST_API RunReport RunAttachedComponent(const RunRequest& request);

// The module file that offers `component`, or HostError listing the components found.
QVHOST_API std::string FindComponentModule(const std::string& folder, const std::string& component);

}  // namespace qvhost
