// The modules of a search path of folders and the components their resource files offer,
// read once. A component offered twice is the first folder's.
#pragma once

#include <string>
#include <vector>

#include "HostExport.h"
#include "ResourceFile.h"

namespace qvhost {

class QVHOST_API ModuleCatalogue {
 public:
  struct Entry {
    std::string path;         // the .qvx file
    ResourceFile resources;   // empty when unreadable
    std::string unreadable;   // why the resource file could not be read; empty when it was
  };

  // Reads every .qvx file's resource file in `folders` ("DIR" or "DIR:DIR..."). A module
  // without a resource file is left out; one whose file is broken is kept as unreadable.
  explicit ModuleCatalogue(std::string folders);

  const std::string& Folder() const { return fFolder; }
  const std::vector<Entry>& Entries() const { return fEntries; }
  // The entry offering `component`, or HostError listing the components found.
  const Entry& EntryOf(const std::string& component) const;
  const ComponentResource& ComponentOf(const std::string& component) const;

 private:
  std::string fFolder;
  std::vector<Entry> fEntries;
};

}  // namespace qvhost
