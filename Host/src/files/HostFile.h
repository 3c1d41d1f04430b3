// The reference host's files: specifications and byte streams over real files.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "IHostFiles.h"
#include "qvhost/HostExport.h"
#include "qvhost/HostObject.h"

namespace qvhost {

// A file by path (IHostFileSpec) and the bytes of a file (IHostFileStream) over POSIX
// files. The stream side takes its path and open mode from the specification it is
// opened on. Type and creator codes stay with the object and, where the file system
// allows, in the extended attributes user.qv.type and user.qv.creator.
class QVHOST_API HostFile final : public HostObject<IHostFileSpec, IHostFileStream> {
 public:
  HostFile() = default;
  ~HostFile() override;

  // IHostFileSpec
  QVResult SetFromPath(const TQVString& path, int32_t reserved) override;
  QVResult SetOpenMode(uint32_t mode) override;
  void SetDefaultName(const TQVString& name) override;
  void GetFolder(TQVString& folder) override;
  void GetNameWithoutExtension(TQVString& name) override;
  void GetFullPath(TQVString& path) override;
  void SetExtension(const TQVString& extension) override;
  // Makes the folders the file goes in.
  QVResult PrepareToSave() override;

  // IHostFileStream
  QVResult Open(IHostFileSpec* file) override;
  uint32_t GetAccessFlags() override;
  bool FileExists() override;
  QVResult OpenExisting() override;
  QVResult Create() override;
  int32_t GetLength() override;
  QVResult SetLength(int32_t length) override;
  QVResult Read(void* buffer, int32_t count, int32_t* countRead) override;
  QVResult Write(const void* buffer, int32_t count, int32_t* countWritten) override;
  QVResult SetPosition(int32_t offset, int32_t origin) override;
  int32_t GetPosition() override;
  void Close() override;
  void GetFileInformation(QVFileInformation& information) override;
  void SetFileInformation(const QVFileInformation& information) override;
  void GetPath(TQVString& path) override;

  // Host side, for tests: calls of Write, the open mode, whether a file is open.
  int64_t WriteCalls() const { return fWriteCalls; }
  uint32_t OpenMode() const { return fMode; }
  bool IsOpen() const { return fDescriptor >= 0; }
  // The path the object names: the path set, else the default name.
  const std::string& Named() const { return fPath.empty() ? fDefaultName : fPath; }

 private:
  std::string fPath;
  std::string fDefaultName;
  uint32_t fMode = kQVFileReadable;
  int fDescriptor = -1;
  int64_t fWriteCalls = 0;
  QVFileInformation fInformation{};
};

// A new file specification; it also answers IHostFileStream.
QVHOST_API TQVCountedPtr<IHostFileSpec> MakeHostFile();

// The longest path the host's file strings hold; a longer one is refused, never cut.
constexpr size_t kMaxPathBytes = 1023;

// What keeps `path` from being written as a file: "" when it names a regular file (a
// link is followed) or nothing yet, else what it is ("a folder", "a FIFO", ...). Output
// goes only to regular files or new paths: a device, FIFO, socket or folder is left as
// it is.
QVHOST_API std::string NotAFileToWrite(const std::string& path);
// HostError "<shown>: a FIFO, not a file: ..." when `path` is no file to write.
QVHOST_API void RefuseNotAFileToWrite(const std::string& shown, const std::string& path);

// The calls the atomic save (WriteFileAtomically) writes and syncs its temporary file
// with. Tests put failing ones in to see that a failed save keeps the old file and leaves
// no temporary file; everything else leaves them as they are.
struct SaveCalls {
  ssize_t (*write)(int descriptor, const void* data, size_t count);
  int (*fsync)(int descriptor);
};
QVHOST_API SaveCalls& AtomicSaveCalls();

// Files opened for writing through the host's file objects, and whether every write,
// truncation and close of them succeeded since. Fed by the file objects.
void NoteFileOpenedForWriting(const std::string& path);
void NoteFileWriteFailed(const std::string& path);
// True when `path` was opened for writing and nothing written to it failed since.
bool FileWrittenCompletely(const std::string& path);
// Forgets what is known of `path` (a run starts afresh).
void ForgetFileWrites(const std::string& path);

}  // namespace qvhost
