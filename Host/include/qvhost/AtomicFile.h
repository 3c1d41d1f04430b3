// A file written whole or not at all: through a temporary file beside it, renamed into
// place once everything is written.
#pragma once

#include <string>

#include "HostExport.h"

namespace qvhost {

class QVHOST_API AtomicFile {
 public:
  // Opens the temporary file beside `path` (a link is followed; only a regular file or a
  // new path is replaced). HostError says why when it cannot.
  explicit AtomicFile(const std::string& path);
  // Without Commit the temporary file is removed and the old file stays.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Buffered; a failure is kept and reported by Commit.
  void Write(const char* data, size_t size);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  // Writes out the rest, syncs and renames the file into place; on any failure nothing
  // is left behind and HostError says why.
  void Commit();

 private:
  void Flush();
  void WriteOut(const char* data, size_t size);

  std::string fShown, fPath, fTemporary;
  std::string fBuffer;
  int fDescriptor = -1;
  int fFailure = 0;
};

}  // namespace qvhost
