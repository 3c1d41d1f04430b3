// What a run of one component gives back: the steps in order (what the host asked, what
// the module answered), what the services were asked, and named sections of lines.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "HostExport.h"
#include "Journal.h"
#include "QVBase.h"

namespace qvhost {

struct RunStep {
  std::string operation;
  std::string answer;
  // What the host was asked since the step before (the service queries apart).
  std::vector<JournalEntry> asked;
};

// Lines under one heading of the report ("moved keys:") and one key of its JSON form
// ("movedKeys"). A section that tells what changed in the scene counts for "changes: none".
struct ReportSection {
  std::string key, title;
  std::vector<std::string> lines;
  bool isChange = false;
};

struct QVHOST_API RunReport {
  std::string component, module, scene;
  std::vector<RunStep> steps;
  std::vector<JournalEntry> journal;  // what was shown, notified, reported and redrawn
  std::vector<ReportSection> sections;
  bool enabled = true;
  bool ran = false;
  std::string saved;
  // Set when the module threw.
  bool threw = false;
  QVResult code = 0;
  std::string source;
  int32_t line = 0;
  // A module that did not give back what it took: it stays loaded, or host objects or
  // memory blocks are still alive after release and clean-up.
  std::string leak;

  int ExitStatus() const { return threw || !leak.empty() ? 1 : 0; }
  // Adds a section (kept in the order added) and answers its lines.
  std::vector<std::string>& Section(std::string key, std::string title, bool isChange = false);
  // Records the module exception being handled (call inside a catch block). An exception
  // the runtime did not make carries no code, source or line.
  void RecordThrow();
};

}  // namespace qvhost
