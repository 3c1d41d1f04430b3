// qvhost from the shell: exit statuses, one-line errors and what list prints.
#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun Qvhost(const std::string& arguments, const std::string& environment = "") {
  const std::string errPath = testing::TempDir() + "qvhost-stderr.txt";
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
  return run;
}

TEST(ToolTest, ListShowsTheModulesAndTheirComponents) {
  const ToolRun run = Qvhost("list", std::string("QV_MODULE_PATH=") + QV_MODULE_DIR);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("ProbeModule\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("ProbeModule command"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("{50524F31-7072-6F62-656D-6F64756C6531}"), std::string::npos) << run.out;

  const ToolRun json = Qvhost(std::string("list --json --modules ") + QV_MODULE_DIR);
  ASSERT_EQ(json.status, 0) << json.err;
  const auto report = nlohmann::json::parse(json.out);
  bool found = false;
  for (const auto& module : report.at("modules"))
    if (module.at("module") == "ProbeTwo") found = module.at("components").at(0).at("family") == "scmd";
  EXPECT_TRUE(found) << json.out;
}

TEST(ToolTest, BadInputGivesOneLineAndStatusTwo) {
  struct Case {
    const char* arguments;
    const char* expected;
  };
  const Case cases[] = {
      {"frobnicate", "unknown verb 'frobnicate'"},
      {"list --colour", "unknown option '--colour'"},
      {"list --modules /nonexistent-folder", "/nonexistent-folder: no modules"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Qvhost(c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
}

TEST(ToolTest, HelpOnTheToolAndOnEachVerb) {
  EXPECT_EQ(Qvhost("--help").status, 0);
  const ToolRun list = Qvhost("list --help");
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("usage: qvhost list"), std::string::npos);
}

}  // namespace
