// The steps of a run for each kind of component, on a scene the run has loaded.
#pragma once

#include "qvhost/CommandSession.h"
#include "qvhost/ComponentRun.h"
#include "qvhost/HostShell.h"
#include "qvhost/TreeSnapshot.h"

namespace qvhost {

struct RunScene {
  const RunRequest& request;
  HostShell& shell;
  Document& document;
  CommandSession& session;
  RunReport& report;
  std::string after;  // the scene's text once the steps have ended
};

// HostError for options a scene command cannot take; then --select, the tester, the
// dialog, Prepare, Do and the --then steps; sections for the parameters, moved keys,
// changed interpolations and changes.
void CheckCommandOptions(const RunRequest& request);
void RunCommandSteps(RunScene& run);

// The same for a component attached to an element: attach, then each round's time,
// dialog and evaluation; sections for the parameters, keys, transforms and changes.
void CheckAttachedOptions(const RunRequest& request);
void RunAttachedSteps(RunScene& run);

// The element at `path`, given in UTF-8 with `option` (HostError when the code page cannot
// hold it); null when there is none.
SceneElement* FindElement(RunScene& run, const std::string& option, const std::string& path);
// Lets go of what the session holds, keeps the scene's text in `run.after` and answers the
// tree as the steps left it.
TreeSnapshot EndSteps(RunScene& run);

// The element the object picker answers with from now on; HostError when there is none.
void SetPickAnswer(RunScene& run, const std::string& path);

}  // namespace qvhost
