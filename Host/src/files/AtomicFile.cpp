// Whole-or-nothing writing of a file through a temporary file and a rename.
#include "qvhost/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "../JsonCheck.h"
#include "HostFile.h"
#include "qvhost/HostError.h"

namespace fs = std::filesystem;

namespace qvhost {

namespace {
constexpr size_t kBufferBytes = size_t(1) << 20;
}

AtomicFile::AtomicFile(const std::string& requested) : fShown(ShownPath(requested)), fPath(requested) {
  // A link is followed: the file it names is replaced, the link stays.
  std::error_code error;
  if (fs::symlink_status(requested, error).type() == fs::file_type::symlink) {
    fPath = fs::weakly_canonical(requested, error).string();
    if (error) throw HostError(fShown + ": cannot write the file (" + error.message() + ")");
  }
  // Only a regular file is replaced; a device, FIFO, socket or folder stays as it is.
  RefuseNotAFileToWrite(fShown, fPath);
  const fs::path target(fPath);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  fTemporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  fDescriptor = mkstemp(fTemporary.data());
  if (fDescriptor < 0) throw HostError(fShown + ": cannot write the file (" + std::strerror(errno) + ")");
  // mkstemp makes the file private: give it the old file's mode, or what the umask allows.
  struct stat old {};
  if (::stat(fPath.c_str(), &old) == 0) {
    ::fchmod(fDescriptor, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fDescriptor, 0666 & ~mask);
  }
  fBuffer.reserve(kBufferBytes);
}

AtomicFile::~AtomicFile() {
  if (fDescriptor < 0) return;
  ::close(fDescriptor);
  std::remove(fTemporary.c_str());
}

void AtomicFile::Write(const char* data, size_t size) {
  if (fFailure != 0 || fDescriptor < 0) return;
  if (fBuffer.size() + size <= kBufferBytes) {
    fBuffer.append(data, size);
    return;
  }
  Flush();
  if (size < kBufferBytes)
    fBuffer.append(data, size);
  else
    WriteOut(data, size);  // large enough to go out as it is
}

void AtomicFile::Flush() {
  WriteOut(fBuffer.data(), fBuffer.size());
  fBuffer.clear();
}

void AtomicFile::WriteOut(const char* data, size_t left) {
  const SaveCalls& calls = AtomicSaveCalls();
  while (left > 0 && fFailure == 0) {
    const ssize_t written = calls.write(fDescriptor, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      fFailure = written < 0 ? errno : EIO;
      break;
    }
    data += written;
    left -= size_t(written);
  }
}

void AtomicFile::Commit() {
  if (fDescriptor < 0) throw HostError(fShown + ": cannot write the file (already written)");
  Flush();
  const SaveCalls& calls = AtomicSaveCalls();
  int failure = fFailure;
  if (failure == 0 && calls.fsync(fDescriptor) != 0) failure = errno;
  if (::close(fDescriptor) != 0 && failure == 0) failure = errno;
  fDescriptor = -1;
  if (failure == 0 && std::rename(fTemporary.c_str(), fPath.c_str()) != 0) failure = errno;
  if (failure != 0) {
    std::remove(fTemporary.c_str());
    throw HostError(fShown + ": cannot write the file (" + std::strerror(failure) + ")");
  }
}

}  // namespace qvhost
