// The verbs of qvhost. Each parses its own options and answers the exit status:
// 0 done, 1 a module threw or leaked, 2 bad input (HostError).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtool {

int ListVerb(const std::vector<std::string>& arguments);
int RunVerb(const std::vector<std::string>& arguments);
int FormatVerb(const std::vector<std::string>& arguments);
int DemoVerb(const std::vector<std::string>& arguments);

extern const char kListUsage[];
extern const char kRunUsage[];
extern const char kFormatUsage[];
extern const char kDemoUsage[];

// The value after option arguments[i], or HostError when it is missing.
const std::string& OptionValue(const std::vector<std::string>& arguments, size_t& i);
// The value of --code-page at arguments[i] (moved past it); HostError for a code page the
// host does not convert.
uint32_t CodePageOption(const std::vector<std::string>& arguments, size_t& i);

}  // namespace qvtool
