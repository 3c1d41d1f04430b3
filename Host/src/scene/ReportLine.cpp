// Report lines cut to a readable length.
#include "ReportLine.h"

#include <algorithm>
#include <numeric>

namespace qvhost {

namespace {

constexpr char kEllipsis[] = "...";
constexpr size_t kEllipsisBytes = sizeof kEllipsis - 1;

bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

std::string Join(const std::vector<std::string>& parts, const std::vector<std::string>& glue) {
  std::string line;
  for (size_t i = 0; i < glue.size(); ++i) {
    line += glue[i];
    if (i < parts.size()) line += parts[i];
  }
  return line;
}

}  // namespace

std::string CutText(const std::string& text, size_t width) {
  if (text.size() <= width) return text;
  if (width < kEllipsisBytes) return std::string(kEllipsis, width);
  size_t end = width - kEllipsisBytes;
  // A continuation byte at the cut belongs to the character before it: leave that out.
  // Never step back further than one character's length, so stray bytes cannot empty it.
  for (size_t step = 0; end > 0 && step < 4 && IsContinuation(text[end]); ++step) --end;
  return text.substr(0, end) + kEllipsis;
}

std::string FitLine(const std::vector<std::string>& parts, const std::vector<std::string>& glue, size_t width) {
  const std::string whole = Join(parts, glue);
  if (whole.size() <= width) return whole;
  size_t glued = 0;
  for (const std::string& piece : glue) glued += piece.size();
  // Too narrow to show every part's start: cut the line as a whole.
  if (glued + parts.size() * 2 * kEllipsisBytes > width) return CutText(whole, width);
  std::vector<size_t> order(parts.size());
  std::iota(order.begin(), order.end(), size_t(0));
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return parts[a].size() < parts[b].size(); });
  std::vector<std::string> cut(parts.size());
  size_t room = width - glued;
  for (size_t k = 0; k < order.size(); ++k) {
    const size_t share = std::min(parts[order[k]].size(), room / (order.size() - k));
    cut[order[k]] = CutText(parts[order[k]], share);
    room -= share;
  }
  return Join(cut, glue);
}

}  // namespace qvhost
