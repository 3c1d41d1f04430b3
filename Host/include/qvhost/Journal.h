// What the host was asked to show, notify and report, in order; tests and the tool read it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "HostExport.h"

namespace qvhost {

struct JournalEntry {
  std::string kind;  // "alert", "dialog", "notify", "progress", "service", ...
  std::string text;
};

class QVHOST_API Journal {
 public:
  void Record(std::string kind, std::string text);
  std::vector<JournalEntry> Entries() const;
  // The entries from the `first`-th on (none when there are fewer), and how many there are.
  std::vector<JournalEntry> EntriesFrom(size_t first) const;
  size_t Size() const;
  // Entries of one kind, their texts only.
  std::vector<std::string> Texts(const std::string& kind) const;
  void Clear();

 private:
  mutable std::mutex fMutex;
  std::vector<JournalEntry> fEntries;
};

}  // namespace qvhost
