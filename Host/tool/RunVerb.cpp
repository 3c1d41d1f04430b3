// qvhost run: one scene command, or one attached component, on a scene, with a report of
// what happened.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "Verbs.h"
#include "qvhost/ComponentRun.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleLoader.h"

using namespace qvhost;

namespace qvtool {

const char kRunUsage[] =
    "usage: qvhost run <Component> --scene FILE [options]\n"
    "\n"
    "Drives a scene command as the host does: SetContext, the tester, the dialog,\n"
    "Prepare, Do, then each --then step. A component attached to an element (NoteSheet)\n"
    "is driven through its dialog at each --time, and its object is evaluated after each\n"
    "round; a modifier (FollowGain, ExtentFollow) is applied and its element's transform\n"
    "printed. Prints what the module answered, what the host was asked to show or notify,\n"
    "the keys of its attributes and what changed in the scene.\n"
    "  --scene FILE        the scene to run on (required)\n"
    "  --select PATH       select the element PATH (\"Parent/Child\"); repeatable;\n"
    "                      replaces the file's selected elements (keys stay selected)\n"
    "  --set NAME=VALUE    write a field of the command's dialog; repeatable\n"
    "  --control ID        send a control event for the four-character ID; repeatable\n"
    "  --then undo|redo    a step after Do; repeatable, run in order; Undo and Redo\n"
    "                      alternate, starting with undo\n"
    "  --on PATH           the element that carries the component (attached when it\n"
    "                      has none); default: the first element that carries one\n"
    "  --pick PATH         the element the object picker answers with (a modifier's\n"
    "                      target picker, --control obj1); without it the pick is cancelled\n"
    "  --time TICKS        move the scene to TICKS (1/180000 s); the --set and\n"
    "                      --control options after it are one dialog round there\n"
    "  --force             run even when the command is not enabled\n"
    "  --save FILE         save the resulting scene (not when the module threw or\n"
    "                      kept host objects or memory)\n"
    "  --save-as FILE      what the module's save dialog answers (NoteSheet's export,\n"
    "                      --control BUTN); without it the dialog is cancelled\n"
    "  --stop-after N      the progress display's stop button is pressed after N\n"
    "                      questions (0: at the first; a module that waits for its\n"
    "                      renders asks while it waits, so larger N stop at varying points)\n"
    "  --code-page N       the code page the modules see text in (1252, 932, 936, 949\n"
    "                      or 950; default: the scene's own \"codePage\", else 1252)\n"
    "  --modules DIRS      where to look for modules (DIR, or DIR:DIR... in order)\n"
    "  --json              print the report as one JSON object at the end (the text\n"
    "                      report prints each step as it ends)\n"
    "When Do throws, the host calls the command's Undo once and says so. After release\n"
    "and clean-up the report names what the module still holds (host objects by kind,\n"
    "memory blocks and bytes).\n"
    "exit status: 0 done, 1 the module threw, leaked or could not be loaded, 2 bad input\n";

namespace {

bool ParseTicks(const std::string& text, int32_t& ticks) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return false;
  ticks = int32_t(value);
  return true;
}

void PrintHeader(const RunReport& report) {
  std::printf("%s (%s) on %s\n", report.component.c_str(), report.module.c_str(), report.scene.c_str());
}

void PrintStep(const RunStep& step) {
  std::printf("  %-26s %s\n", step.operation.c_str(), step.answer.c_str());
  std::fflush(stdout);
}

// The rest of the report once the run has ended; the header and steps were printed as the
// steps ended (`streamed` of them).
void PrintText(const RunReport& report, size_t streamed) {
  if (streamed == 0) PrintHeader(report);
  for (size_t i = streamed; i < report.steps.size(); ++i) PrintStep(report.steps[i]);
  if (!report.enabled && !report.ran) std::printf("not enabled: not run (--force runs it anyway)\n");
  if (!report.journal.empty()) {
    std::printf("journal:\n");
    // Runs of the same entry are shown once with their count.
    for (size_t i = 0; i < report.journal.size();) {
      const JournalEntry& entry = report.journal[i];
      size_t end = i + 1;
      while (end < report.journal.size() && report.journal[end].kind == entry.kind &&
             report.journal[end].text == entry.text)
        ++end;
      if (end - i > 1)
        std::printf("  %-9s %s (x%zu)\n", entry.kind.c_str(), entry.text.c_str(), end - i);
      else
        std::printf("  %-9s %s\n", entry.kind.c_str(), entry.text.c_str());
      i = end;
    }
  }
  bool changed = false;
  for (const ReportSection& section : report.sections) {
    changed = changed || (section.isChange && !section.lines.empty());
    if (section.lines.empty()) continue;
    std::printf("%s:\n", section.title.c_str());
    for (const std::string& line : section.lines) std::printf("  %s\n", line.c_str());
  }
  if (!changed) std::printf("changes: none\n");
  if (!report.saved.empty()) std::printf("saved: %s\n", report.saved.c_str());
}

nlohmann::json Json(const RunReport& report) {
  nlohmann::json out = {{"component", report.component}, {"module", report.module}, {"scene", report.scene},
                        {"enabled", report.enabled}, {"ran", report.ran}};
  out["steps"] = nlohmann::json::array();
  for (const RunStep& step : report.steps) out["steps"].push_back({{"operation", step.operation}, {"answer", step.answer}});
  out["journal"] = nlohmann::json::array();
  for (const JournalEntry& entry : report.journal) out["journal"].push_back({{"kind", entry.kind}, {"text", entry.text}});
  for (const ReportSection& section : report.sections) out[section.key] = section.lines;
  if (!report.saved.empty()) out["saved"] = report.saved;
  if (report.threw) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", unsigned(report.code));
    out["exception"] = {{"code", code}, {"source", report.source}, {"line", report.line}};
  }
  if (!report.leak.empty()) out["leak"] = report.leak;
  return out;
}

}  // namespace

int RunVerb(const std::vector<std::string>& arguments) {
  RunRequest request;
  request.moduleFolder = DefaultModuleFolder();
  bool json = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--scene") {
      request.scenePath = OptionValue(arguments, i);
    } else if (argument == "--select") {
      request.select.push_back(OptionValue(arguments, i));
    } else if (argument == "--set") {
      const std::string& setting = OptionValue(arguments, i);
      const size_t equals = setting.find('=');
      if (equals == std::string::npos || equals == 0)
        throw HostError("--set " + setting + ": expected NAME=VALUE");
      request.rounds.back().edits.sets.emplace_back(setting.substr(0, equals), setting.substr(equals + 1));
    } else if (argument == "--control") {
      request.rounds.back().edits.controls.push_back(OptionValue(arguments, i));
    } else if (argument == "--time") {
      const std::string& text = OptionValue(arguments, i);
      RunRound round;
      round.hasTime = true;
      if (!ParseTicks(text, round.time)) throw HostError("--time " + text + ": expected a whole number of ticks");
      // Edits before the first --time make a round at the file's time.
      if (request.rounds.size() == 1 && !request.rounds[0].hasTime && request.rounds[0].edits.Empty() &&
          request.rounds[0].pick.empty())
        request.rounds.clear();
      request.rounds.push_back(round);
    } else if (argument == "--pick") {
      request.rounds.back().pick = OptionValue(arguments, i);
    } else if (argument == "--on") {
      request.on = OptionValue(arguments, i);
    } else if (argument == "--then") {
      request.then.push_back(OptionValue(arguments, i));
    } else if (argument == "--force") {
      request.force = true;
    } else if (argument == "--save") {
      request.savePath = OptionValue(arguments, i);
    } else if (argument == "--save-as") {
      request.saveAs = OptionValue(arguments, i);
    } else if (argument == "--stop-after") {
      const std::string& text = OptionValue(arguments, i);
      if (!ParseTicks(text, request.stopAfter) || request.stopAfter < 0 || request.stopAfter == INT32_MAX)
        throw HostError("--stop-after " + text + ": expected a number of questions, 0 or more");
    } else if (argument == "--code-page") {
      request.codePage = CodePageOption(arguments, i);
    } else if (argument == "--modules") {
      request.moduleFolder = OptionValue(arguments, i);
    } else if (argument == "--json") {
      json = true;
    } else if (argument.rfind("--", 0) == 0 || !request.component.empty()) {
      throw HostError("qvhost run: unknown option '" + argument + "' (see qvhost run --help)");
    } else {
      request.component = argument;
    }
  }
  if (request.component.empty()) throw HostError("qvhost run: which component? (see qvhost run --help)");
  if (request.scenePath.empty()) throw HostError("qvhost run " + request.component + ": --scene FILE is required");

  // Text reports print each step as it ends, so that a module that ends the process
  // still leaves the steps that ran.
  size_t streamed = 0;
  if (!json) {
    request.onStep = [&streamed](const RunReport& report, const RunStep& step) {
      if (streamed == 0) PrintHeader(report);
      PrintStep(step);
      ++streamed;
    };
  }
  const RunReport report = RunComponent(request);
  if (json)
    std::printf("%s\n", Json(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  else
    PrintText(report, streamed);
  if (report.threw)
    std::fprintf(stderr, "%s threw 0x%08X at %s line %d\n", report.component.c_str(), unsigned(report.code),
                 report.source.empty() ? "(no source)" : report.source.c_str(), report.line);
  if (!report.leak.empty()) std::fprintf(stderr, "%s\n", report.leak.c_str());
  return report.ExitStatus();
}

}  // namespace qvtool
