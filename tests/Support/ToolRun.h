// Running the qvhost tool from a test: its exit status, standard output and error.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// `arguments` after the tool's path, with `environment` (NAME=VALUE ...) before it.
inline ToolRun RunQvhost(const std::string& arguments, const std::string& environment = "") {
  // Tests run in parallel processes: each run has its own stderr file.
  static int runs = 0;
  const std::string errPath =
      testing::TempDir() + "qvhost-run-stderr-" + std::to_string(getpid()) + "-" + std::to_string(runs++) + ".txt";
  const std::string command = environment + " " + QV_QVHOST + " " + arguments + " 2>" + errPath;
  ToolRun run{};
  FILE* pipe = popen(command.c_str(), "r");
  std::array<char, 4096> buffer{};
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (FILE* err = fopen(errPath.c_str(), "r")) {
    while ((n = fread(buffer.data(), 1, buffer.size(), err)) > 0) run.err.append(buffer.data(), n);
    fclose(err);
  }
  std::remove(errPath.c_str());
  return run;
}
