// A console reporter that also keeps each run's times by function and arguments, so that a
// suite can print its ratios after the table.
#pragma once

#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

class RunTimes : public benchmark::ConsoleReporter {
 public:
  RunTimes() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {  // keyed "<function>/<arguments>", without the run's options
      if (run.error_occurred) continue;
      const std::string key = run.run_name.function_name + "/" + run.run_name.args;
      fReal[key] = run.GetAdjustedRealTime();
      fProcessor[key] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The elapsed time of `function` at `arguments`, or its processor time, which a loaded
  // machine disturbs less; null when it did not run.
  const double* Time(const std::string& function, const std::string& arguments, bool processor = false) const {
    const std::map<std::string, double>& times = processor ? fProcessor : fReal;
    const auto found = times.find(function + "/" + arguments);
    return found == times.end() ? nullptr : &found->second;
  }

 private:
  std::map<std::string, double> fReal, fProcessor;
};
