// qvhost: the reference host from the shell.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "QVException.h"
#include "Verbs.h"
#include "qvhost/CodePageText.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleLoader.h"

namespace qvtool {

const std::string& OptionValue(const std::vector<std::string>& arguments, size_t& i) {
  if (i + 1 >= arguments.size()) throw qvhost::HostError(arguments[i] + ": a value is missing");
  // An empty path, name or identifier would be taken as "not given" further on.
  if (arguments[i + 1].empty()) throw qvhost::HostError(arguments[i] + " \"\": expected a value, not an empty text");
  return arguments[++i];
}

uint32_t CodePageOption(const std::vector<std::string>& arguments, size_t& i) {
  const std::string& text = OptionValue(arguments, i);
  char* end = nullptr;
  const unsigned long codePage = std::strtoul(text.c_str(), &end, 10);
  if (*end != 0 || text[0] == '-' || codePage > UINT32_MAX || !qvhost::IsKnownCodePage(uint32_t(codePage)))
    throw qvhost::HostError("--code-page " + text + ": expected a code page of " + qvhost::KnownCodePages());
  return uint32_t(codePage);
}

}  // namespace qvtool

namespace {

const char kUsage[] =
    "usage: qvhost <verb> [options]\n"
    "\n"
    "verbs:\n"
    "  list    the modules found and their components\n"
    "  run     one scene command or attached component on a scene, with a report\n"
    "  format  a scene file checked and written in its canonical form\n"
    "  demo    every module on the bundled example scenes, results in one folder\n"
    "\n"
    "Run 'qvhost <verb> --help' for the options of a verb.\n";

struct Verb {
  const char* name;
  int (*run)(const std::vector<std::string>&);
  const char* usage;
};

const Verb kVerbs[] = {
    {"list", qvtool::ListVerb, qvtool::kListUsage},
    {"run", qvtool::RunVerb, qvtool::kRunUsage},
    {"format", qvtool::FormatVerb, qvtool::kFormatUsage},
    {"demo", qvtool::DemoVerb, qvtool::kDemoUsage},
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
    std::fputs(kUsage, arguments.empty() ? stderr : stdout);
    return arguments.empty() ? 2 : 0;
  }
  try {
    for (const Verb& verb : kVerbs) {
      if (arguments[0] != verb.name) continue;
      const std::vector<std::string> options(arguments.begin() + 1, arguments.end());
      for (const std::string& option : options) {
        if (option == "--help" || option == "-h") {
          std::fputs(verb.usage, stdout);
          return 0;
        }
      }
      const int status = verb.run(options);
      // Written out before the exit: a leak checker that ends the process at exit would
      // otherwise drop the buffered report.
      std::fflush(stdout);
      return status;
    }
    throw qvhost::HostError("qvhost: unknown verb '" + arguments[0] + "' (see qvhost --help)");
  } catch (const qvhost::ModuleError& error) {  // a module that cannot be loaded
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  } catch (const qvhost::HostError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  } catch (const TQVException& error) {
    std::fprintf(stderr, "qvhost: a module threw 0x%08X at %s line %d\n", unsigned(error.Code()),
                 error.GetSource() ? error.GetSource() : "(no source)", error.Line());
    return 1;
  } catch (const TQVObject&) {
    std::fprintf(stderr, "qvhost: a module threw an exception of its own kind\n");
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qvhost: %s\n", error.what());
    return 2;
  }
}
