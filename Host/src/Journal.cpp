// The host's journal.
#include "qvhost/Journal.h"

namespace qvhost {

void Journal::Record(std::string kind, std::string text) {
  std::lock_guard<std::mutex> lock(fMutex);
  fEntries.push_back({std::move(kind), std::move(text)});
}

std::vector<JournalEntry> Journal::Entries() const {
  std::lock_guard<std::mutex> lock(fMutex);
  return fEntries;
}

std::vector<JournalEntry> Journal::EntriesFrom(size_t first) const {
  std::lock_guard<std::mutex> lock(fMutex);
  if (first >= fEntries.size()) return {};
  return std::vector<JournalEntry>(fEntries.begin() + std::ptrdiff_t(first), fEntries.end());
}

size_t Journal::Size() const {
  std::lock_guard<std::mutex> lock(fMutex);
  return fEntries.size();
}

std::vector<std::string> Journal::Texts(const std::string& kind) const {
  std::lock_guard<std::mutex> lock(fMutex);
  std::vector<std::string> texts;
  for (const JournalEntry& entry : fEntries)
    if (entry.kind == kind) texts.push_back(entry.text);
  return texts;
}

void Journal::Clear() {
  std::lock_guard<std::mutex> lock(fMutex);
  fEntries.clear();
}

}  // namespace qvhost
