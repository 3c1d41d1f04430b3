// Report lines cut to a readable length without splitting a UTF-8 character.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qvhost {

// `text` when it has at most `width` bytes; otherwise its start, ended before a UTF-8
// character that would not fit, and "..." within `width` bytes.
std::string CutText(const std::string& text, size_t width);

// glue[0] parts[0] glue[1] parts[1] ... glue[n] in at most `width` bytes (glue has one
// more entry than parts). When that is longer, the glue stays whole and each part keeps
// what it needs of an equal share of the rest; what short parts leave goes to the others,
// so every part still shows its start.
std::string FitLine(const std::vector<std::string>& parts, const std::vector<std::string>& glue, size_t width);

}  // namespace qvhost
