// File specifications and byte streams over POSIX files.
#include "files/HostFile.h"

#include "qvhost/HostError.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <mutex>
#include <cstring>

namespace qvhost {

namespace {

constexpr uint32_t kAccessBits = kQVFileReadable | kQVFileWritable | kQVFileMustExist;
constexpr const char kTypeAttribute[] = "user.qv.type";
constexpr const char kCreatorAttribute[] = "user.qv.creator";

int32_t Clamp32(int64_t value) {
  if (value < 0) return 0;
  return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

// Where the last path component starts.
size_t NameStart(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Where the extension's '.' is in the last component, or npos ("name", ".profile").
size_t ExtensionDot(const std::string& path) {
  const size_t start = NameStart(path);
  const size_t dot = path.rfind('.');
  return dot == std::string::npos || dot <= start ? std::string::npos : dot;
}

void StoreCode(uint32_t code, char bytes[4]) {
  for (int i = 0; i < 4; ++i) bytes[i] = char((code >> (24 - 8 * i)) & 0xFF);
}
uint32_t LoadCode(const char bytes[4]) {
  uint32_t code = 0;
  for (int i = 0; i < 4; ++i) code = (code << 8) | uint8_t(bytes[i]);
  return code;
}

QVResult ErrorCode(int error) {
  return error == ENOENT || error == ENOTDIR ? kQVErrFileNotFound : kQVErrNotSupported;
}

// Opens `path` for writing only when it is a regular file or new: a FIFO opened without
// waiting, and what was opened checked again.
int OpenToWrite(const std::string& path, int flags) {
  if (!NotAFileToWrite(path).empty()) {
    errno = EINVAL;
    return -1;
  }
  int descriptor;
  do {
    descriptor = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) return -1;
  struct stat status;
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor);
    errno = EINVAL;
    return -1;
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  return descriptor;
}

}  // namespace

HostFile::~HostFile() { Close(); }

// ---- IHostFileSpec ----------------------------------------------------------------------

QVResult HostFile::SetFromPath(const TQVString& path, int32_t) {
  if (size_t(path.ByteLength()) > kMaxPathBytes) return kQVErrNotSupported;
  fPath = path.CStr();
  return kQVOk;
}

QVResult HostFile::SetOpenMode(uint32_t mode) {
  fMode = mode;
  return kQVOk;
}

void HostFile::SetDefaultName(const TQVString& name) { fDefaultName = name.CStr(); }

void HostFile::GetFolder(TQVString& folder) {
  // Only a path that was set names a folder; a default name alone names none.
  folder.SetFrom(fPath.substr(0, NameStart(fPath)).c_str());
}

void HostFile::GetNameWithoutExtension(TQVString& name) {
  const std::string& named = Named();
  const size_t start = NameStart(named);
  const size_t dot = ExtensionDot(named);
  name.SetFrom(named.substr(start, dot == std::string::npos ? std::string::npos : dot - start).c_str());
}

void HostFile::GetFullPath(TQVString& path) { path.SetFrom(Named().c_str()); }

void HostFile::SetExtension(const TQVString& extension) {
  std::string& target = fPath.empty() ? fDefaultName : fPath;
  const size_t dot = ExtensionDot(target);
  if (dot != std::string::npos) target.erase(dot);
  std::string added = extension.CStr();
  if (!added.empty() && added[0] == '.') added.erase(0, 1);
  if (!added.empty()) target += "." + added;
}

QVResult HostFile::PrepareToSave() {
  const std::string folder = fPath.substr(0, NameStart(fPath));
  for (size_t next = 1; next < folder.size(); ++next) {
    next = folder.find('/', next);
    if (next == std::string::npos) break;
    const std::string part = folder.substr(0, next);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return ErrorCode(errno);
  }
  return kQVOk;
}

// ---- IHostFileStream --------------------------------------------------------------------

QVResult HostFile::Open(IHostFileSpec* file) {
  if (!file) return kQVErrObjectMissing;
  Close();
  if (auto* host = dynamic_cast<HostFile*>(file)) {
    fPath = host->Named();
    fMode = host->fMode;
  } else {
    // One byte more than a path may have: a full string was cut, and is refused.
    TQVFixedString<kMaxPathBytes + 1> path;
    file->GetFullPath(path);
    if (size_t(path.ByteLength()) > kMaxPathBytes) return kQVErrNotSupported;
    fPath = path.CStr();
    fMode = kQVFileReadable;
  }
  return fPath.empty() ? kQVErrFileNotFound : kQVOk;
}

uint32_t HostFile::GetAccessFlags() { return fMode & kAccessBits; }

bool HostFile::FileExists() {
  struct stat status;
  return !fPath.empty() && ::stat(fPath.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

QVResult HostFile::OpenExisting() {
  Close();
  int flags = O_RDONLY;
  if ((fMode & kQVFileReadable) && (fMode & kQVFileWritable))
    flags = O_RDWR;
  else if (fMode & kQVFileWritable)
    flags = O_WRONLY;
  if (flags != O_RDONLY) {
    fDescriptor = OpenToWrite(fPath, flags);
  } else {
    do {
      fDescriptor = ::open(fPath.c_str(), flags | O_CLOEXEC);
    } while (fDescriptor < 0 && errno == EINTR);
  }
  if (fDescriptor >= 0 && (fMode & kQVFileWritable)) NoteFileOpenedForWriting(fPath);
  return fDescriptor >= 0 ? kQVOk : ErrorCode(errno);
}

QVResult HostFile::Create() {
  const int descriptor = OpenToWrite(fPath, O_WRONLY | O_CREAT);
  if (descriptor < 0) return ErrorCode(errno);
  ::close(descriptor);
  return kQVOk;
}

int32_t HostFile::GetLength() {
  struct stat status;
  const int answer = fDescriptor >= 0 ? ::fstat(fDescriptor, &status) : ::stat(fPath.c_str(), &status);
  return answer == 0 ? Clamp32(status.st_size) : 0;
}

QVResult HostFile::SetLength(int32_t length) {
  if (fDescriptor < 0) return kQVErrObjectMissing;
  if (length < 0) return kQVErrNotSupported;
  return ::ftruncate(fDescriptor, off_t(length)) == 0 ? kQVOk : ErrorCode(errno);
}

QVResult HostFile::Read(void* buffer, int32_t count, int32_t* countRead) {
  int32_t got = 0;
  QVResult result = kQVOk;
  if (fDescriptor < 0) {
    result = kQVErrObjectMissing;
  } else {
    while (got < count) {
      const ssize_t answer = ::read(fDescriptor, static_cast<char*>(buffer) + got, size_t(count - got));
      if (answer < 0 && errno == EINTR) continue;
      if (answer < 0) {
        result = got == 0 ? ErrorCode(errno) : kQVErrEndOfInput;
        break;
      }
      if (answer == 0) {
        result = kQVErrEndOfInput;
        break;
      }
      got += int32_t(answer);
    }
  }
  if (countRead) *countRead = got;
  return result;
}

QVResult HostFile::Write(const void* buffer, int32_t count, int32_t* countWritten) {
  ++fWriteCalls;
  int32_t written = 0;
  QVResult result = kQVOk;
  if (fDescriptor < 0) {
    result = kQVErrObjectMissing;
  } else {
    while (written < count) {
      const ssize_t answer = ::write(fDescriptor, static_cast<const char*>(buffer) + written, size_t(count - written));
      if (answer < 0 && errno == EINTR) continue;
      if (answer <= 0) {
        result = ErrorCode(errno);
        NoteFileWriteFailed(fPath);
        break;
      }
      written += int32_t(answer);
    }
  }
  if (countWritten) *countWritten = written;
  return result;
}

QVResult HostFile::SetPosition(int32_t offset, int32_t origin) {
  if (fDescriptor < 0) return kQVErrObjectMissing;
  off_t answer = -1;
  switch (origin) {
    case 0: answer = ::lseek(fDescriptor, off_t(offset), SEEK_SET); break;
    case 1: answer = ::lseek(fDescriptor, off_t(offset), SEEK_CUR); break;
    case 2: answer = ::lseek(fDescriptor, -off_t(offset), SEEK_END); break;  // backwards from the end
    default: return kQVErrNotSupported;
  }
  return answer >= 0 ? kQVOk : kQVErrNotSupported;
}

int32_t HostFile::GetPosition() {
  if (fDescriptor < 0) return 0;
  return Clamp32(::lseek(fDescriptor, 0, SEEK_CUR));
}

void HostFile::Close() {
  if (fDescriptor >= 0) {
    ::close(fDescriptor);
    fDescriptor = -1;
  }
}

void HostFile::GetFileInformation(QVFileInformation& information) {
  information = fInformation;
  char bytes[4];
  if (!fPath.empty()) {
    if (::getxattr(fPath.c_str(), kTypeAttribute, bytes, sizeof bytes) == ssize_t(sizeof bytes))
      information.type = LoadCode(bytes);
    if (::getxattr(fPath.c_str(), kCreatorAttribute, bytes, sizeof bytes) == ssize_t(sizeof bytes))
      information.creator = LoadCode(bytes);
  }
}

void HostFile::SetFileInformation(const QVFileInformation& information) {
  fInformation = information;
  if (fPath.empty()) return;
  // Kept with the file where its file system takes user attributes; in memory always.
  char bytes[4];
  StoreCode(information.type, bytes);
  (void)::setxattr(fPath.c_str(), kTypeAttribute, bytes, sizeof bytes, 0);
  StoreCode(information.creator, bytes);
  (void)::setxattr(fPath.c_str(), kCreatorAttribute, bytes, sizeof bytes, 0);
}

void HostFile::GetPath(TQVString& path) { path.SetFrom(Named().c_str()); }

TQVCountedPtr<IHostFileSpec> MakeHostFile() { return Adopt<IHostFileSpec>(new HostFile()); }

std::string NotAFileToWrite(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return "";  // new (or not reachable: the write says why)
  if (S_ISREG(status.st_mode)) return "";
  if (S_ISDIR(status.st_mode)) return "a folder";
  if (S_ISFIFO(status.st_mode)) return "a FIFO";
  if (S_ISSOCK(status.st_mode)) return "a socket";
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return "a device";
  return "not a regular file";
}

SaveCalls& AtomicSaveCalls() {
  static SaveCalls calls{&::write, &::fsync};
  return calls;
}

void RefuseNotAFileToWrite(const std::string& shown, const std::string& path) {
  const std::string what = NotAFileToWrite(path);
  if (!what.empty()) throw HostError(shown + ": " + what + ", not a file: expected a regular file or a new path");
}

namespace {

struct FileWrites {
  std::mutex mutex;
  std::map<std::string, bool> complete;  // by path: opened for writing, nothing failed since
};
FileWrites& Writes() {
  static FileWrites* writes = new FileWrites();
  return *writes;
}

}  // namespace

void NoteFileOpenedForWriting(const std::string& path) {
  std::lock_guard<std::mutex> lock(Writes().mutex);
  Writes().complete[path] = true;
}

void NoteFileWriteFailed(const std::string& path) {
  std::lock_guard<std::mutex> lock(Writes().mutex);
  Writes().complete[path] = false;
}

bool FileWrittenCompletely(const std::string& path) {
  std::lock_guard<std::mutex> lock(Writes().mutex);
  auto found = Writes().complete.find(path);
  return found != Writes().complete.end() && found->second;
}

void ForgetFileWrites(const std::string& path) {
  std::lock_guard<std::mutex> lock(Writes().mutex);
  Writes().complete.erase(path);
}

}  // namespace qvhost
