// TFileTextStream: a text stream over a host file, read and written through one buffer
// window.
#include "QVTextStream.h"

#include <cstring>
#include <new>

#include "IHostFiles.h"
#include "QVComponent.h"
#include "QVServiceTable.h"

// ---- TFileTextStream ------------------------------------------------------------------

TFileTextStream::TFileTextStream() = default;

TFileTextStream::TFileTextStream(const TQVString& path, uint32_t openMode, int32_t capacity, bool* created) {
  OpenByPath(path, openMode, capacity, created);
}

TFileTextStream* TFileTextStream::New(const TQVString& path, uint32_t openMode, int32_t capacity, bool* created) {
  if (created) *created = false;
  return QVNewObject<TFileTextStream>(path, openMode, capacity, created);
}

TFileTextStream* TFileTextStream::New() { return QVNewObject<TFileTextStream>(); }

TFileTextStream::~TFileTextStream() { Close(); }

void TFileTextStream::DeleteThis(uint32_t flags) {
  this->~TFileTextStream();
  if (flags & 1) QVFreeObject(this);
}

// Destruction and re-attaching: the last flush, the host stream closed and released,
// the buffer freed.
void TFileTextStream::Close() {
  if (fFile) {
    if (fAccess & kWritable) Flush();
    fFile->Close();
    fFile.Release();
  }
  QVFreeBlock(fBuffer);
  fBuffer = nullptr;
  fCapacity = 0;
  fDataEnd = fPosition = fWindowStart = fLength = 0;
  fDirty = fLoaded = false;
}

QVResult TFileTextStream::FailOpen(QVResult code, bool* created) {
  // A stream whose opening failed stays failed: nothing is readable or writable.
  if (fFile) {
    fFile->Close();
    fFile.Release();
  }
  QVFreeBlock(fBuffer);
  fBuffer = nullptr;
  fCapacity = 0;
  fAccess = 0;
  if (created) *created = false;
  Fail(kQVStreamNotAllowed);
  return code;
}

QVResult TFileTextStream::OpenByPath(const TQVString& path, uint32_t openMode, int32_t capacity, bool* created) {
  if (created) *created = false;
  // The host takes paths of at most 1023 bytes; a shortened one would name another file.
  constexpr int32_t kLongestPath = 1023;
  if (path.ByteLength() > kLongestPath) return FailOpen(kQVErrNotSupported, created);
  HostFileServices* files = QVGetService<HostFileServices>();
  TQVCountedPtr<IHostFileSpec> file;
  if (files) files->NewFilePath(file.Put());
  if (!file) return FailOpen(kQVErrOutOfMemory, created);
  const TQVFixedString<kLongestPath> fixedPath(path.CStr(), path.ByteLength());
  QVResult result = file->SetFromPath(fixedPath, 0);
  if (result != kQVOk) return FailOpen(result, created);
  result = file->SetOpenMode(openMode);
  if (result != kQVOk) return FailOpen(result, created);
  return Attach(file, capacity, created);
}

QVResult TFileTextStream::Attach(IHostFileSpec* file, int32_t capacity, bool* created) {
  if (created) *created = false;
  if (fFile) Close();  // a stream attached again lets its earlier file go first
  if (!file) return FailOpen(kQVErrObjectMissing, created);
  {
    HostFileServices* files = QVGetService<HostFileServices>();
    TQVCountedPtr<IHostFileSpec> carrier;
    if (files) files->NewFilePath(carrier.Put());
    if (!carrier || QVQuery(carrier.Get(), fFile) != kQVOk || !fFile) return FailOpen(kQVErrOutOfMemory, created);
  }
  QVResult result = fFile->Open(file);
  if (result != kQVOk) return FailOpen(result, created);
  fAccess = fFile->GetAccessFlags();
  fLength = 0;
  fDirty = fLoaded = false;
  result = fFile->FileExists() ? fFile->OpenExisting() : kQVErrFileNotFound;
  if (result == kQVErrFileNotFound) {
    if ((fAccess & kWritable) && !(fAccess & kMustExist)) {
      result = fFile->Create();
      if (result != kQVOk) return FailOpen(result, created);
      if (created) *created = true;
      result = fFile->OpenExisting();
    } else {
      return FailOpen(kQVErrFileNotFound, created);
    }
  }
  if (result != kQVOk) return FailOpen(result, created);
  if (fAccess & kReadable)
    fLength = fFile->GetLength();
  else if (fAccess & kWritable)
    fFile->SetLength(0);
  if (fLength < 0) fLength = 0;
  if (capacity > 0) {
    int32_t size = capacity;
    while (!(fBuffer = static_cast<char*>(QVAllocateBlock(size_t(size))))) {
      if (size == 1) return FailOpen(kQVErrOutOfMemory, created);
      size /= 2;
    }
    fCapacity = size;
    fDataEnd = fLength < size ? fLength : size;
  } else {
    fCapacity = 0;
    fDataEnd = 0;
  }
  fPosition = 0;
  fWindowStart = 0;
  return kQVOk;
}

bool TFileTextStream::WriteWindow() {
  // The bytes up to the position; a window whose bytes up to its data end are all real
  // (read from the file, or written, on a stream that cannot read) is written up to its
  // data end, so that writing after a seek back does not drop the bytes after it.
  int32_t end = fPosition;
  if ((fLoaded || !(fAccess & kReadable)) && fDataEnd > end) end = fDataEnd;
  if (end <= 0) return true;
  if (fFile->SetPosition(fWindowStart, 0) != kQVOk) {
    fState |= kQVStreamEndOfFile;
    return false;
  }
  int32_t written = 0;
  return fFile->Write(fBuffer, end, &written) == kQVOk && written == end;
}

void TFileTextStream::Flush() {
  if (!fBuffer || !fFile || !(fAccess & kWritable) || !fDirty) return;
  if (!WriteWindow()) Fail(kQVStreamNotAllowed);
  fDirty = false;
}

void TFileTextStream::Write(const void* buffer, int32_t count) {
  if (!(fAccess & kWritable) || !fFile) {
    Fail(kQVStreamNotAllowed);
    return;
  }
  fState = 0;
  if (count <= 0 || !buffer) return;
  const char* bytes = static_cast<const char*>(buffer);
  if (!fBuffer) {
    int32_t written = 0;
    if (fFile->Write(bytes, count, &written) != kQVOk || written != count) Fail(kQVStreamNotAllowed);
    const int32_t position = fFile->GetPosition();
    if (position > fLength) fLength = position;
    return;
  }
  // Positions are 32-bit: a write that would end beyond them writes nothing.
  if (int64_t(fWindowStart) + fPosition + count > INT32_MAX) {
    Fail(kQVStreamPastEnd);
    return;
  }
  if (count <= fCapacity - fPosition) {  // the common case: only memory is copied
    std::memcpy(fBuffer + fPosition, bytes, size_t(count));
    fPosition += count;
  } else {
    do {
      const int32_t fits = fCapacity - fPosition;
      std::memcpy(fBuffer + fPosition, bytes, size_t(fits));
      fPosition += fits;
      bytes += fits;
      count -= fits;
      if (fDataEnd < fPosition) fDataEnd = fPosition;
      if (!WriteWindow()) Fail(kQVStreamNotAllowed);
      fWindowStart += fDataEnd;
      fDataEnd = fPosition = 0;
      fDirty = false;
    } while (count > fCapacity);
    std::memcpy(fBuffer, bytes, size_t(count));
    fPosition = count;
  }
  if (fDataEnd < fPosition) fDataEnd = fPosition;
  fDirty = true;
  const int32_t end = fWindowStart + fPosition;
  if (end > fLength) fLength = end;
}

void TFileTextStream::LoadWindow(int64_t offset) {
  if (fDirty) Flush();
  if (offset < 0) {
    Fail(kQVStreamBeforeStart);
    return;
  }
  if (offset > INT32_MAX) {
    fState |= kQVStreamEndOfFile;
    return;
  }
  fWindowStart = int32_t(offset);
  fPosition = 0;
  fDataEnd = 0;
  fLoaded = true;
  if (fFile->SetPosition(fWindowStart, 0) != kQVOk) {
    fState |= kQVStreamEndOfFile;
    return;
  }
  const int64_t left = int64_t(fLength) - offset;
  const int32_t wanted = left < fCapacity ? int32_t(left < 0 ? 0 : left) : fCapacity;
  if (wanted > 0) {
    int32_t got = 0;
    const QVResult result = fFile->Read(fBuffer, wanted, &got);
    fDataEnd = got < 0 ? 0 : (got > wanted ? wanted : got);
    if (result != kQVOk && result != kQVErrEndOfInput) Fail(kQVStreamNotAllowed);  // an error, not the end
  }
}

bool TFileTextStream::NextWindow() {
  if (fDirty) Flush();
  fWindowStart += fDataEnd;
  fPosition = 0;
  fDataEnd = 0;
  const int32_t left = fLength - fWindowStart;
  if (left <= 0) return false;
  const int32_t wanted = left < fCapacity ? left : fCapacity;
  if (fFile->SetPosition(fWindowStart, 0) != kQVOk) return false;
  int32_t got = 0;
  const QVResult result = fFile->Read(fBuffer, wanted, &got);
  fDataEnd = got < 0 ? 0 : (got > wanted ? wanted : got);
  if (result != kQVOk && result != kQVErrEndOfInput) {  // an error, not the end
    Fail(kQVStreamNotAllowed);
    return false;
  }
  return fDataEnd > 0;
}

void TFileTextStream::Read(void* buffer, int32_t count) {
  if (!(fAccess & kReadable) || !fFile) {
    Fail(kQVStreamNotAllowed);
    return;
  }
  // A read past the end sets the end-of-file bit; one that starts with the bit already
  // set (a further read past the end) also fails.
  const bool wasAtEnd = (fState & kQVStreamEndOfFile) != 0;
  fState = 0;
  fLastReadCount = 0;
  if (count <= 0 || !buffer) return;
  char* out = static_cast<char*>(buffer);
  int32_t delivered = 0;
  if (fBuffer) {
    if (!fLoaded) LoadWindow(int64_t(fWindowStart) + fPosition);
    if (fState & kQVStreamFailed) return;
    for (;;) {
      const int32_t available = fDataEnd - fPosition;
      if (available > 0) {
        const int32_t take = available < count - delivered ? available : count - delivered;
        std::memcpy(out + delivered, fBuffer + fPosition, size_t(take));
        fPosition += take;
        delivered += take;
        if (delivered == count) break;
      }
      if (!NextWindow()) {
        if (fState & kQVStreamFailed) break;
        fState |= kQVStreamEndOfFile;
        if (wasAtEnd) Fail(kQVStreamPastEnd);
        break;
      }
    }
  } else {
    int32_t got = 0;
    const QVResult result = fFile->Read(out, count, &got);
    delivered = got < 0 ? 0 : (got > count ? count : got);
    if (result == kQVErrEndOfInput || (result == kQVOk && delivered < count)) {
      fState |= kQVStreamEndOfFile;
      if (wasAtEnd) Fail(kQVStreamPastEnd);
    } else if (result != kQVOk) {
      Fail(kQVStreamNotAllowed);
    }
  }
  fLastReadCount = delivered;
}

void TFileTextStream::Get(char& character) {
  if (!TakeFromWindow(character)) Read(&character, 1);
}

void TFileTextStream::Unget(char character) {
  if (!(fAccess & kReadable) || !fFile) {
    Fail(kQVStreamNotAllowed);
    return;
  }
  if (!fBuffer) {
    // A refused host position sets the end-of-file bit; there is nothing before the start.
    if (fFile->SetPosition(-1, 1) != kQVOk) {
      fState |= kQVStreamEndOfFile;
      Fail(kQVStreamBeforeStart);
    }
    return;
  }
  if (fPosition > 0) {
    fBuffer[--fPosition] = character;
    return;
  }
  if (fWindowStart == 0) {
    Fail(kQVStreamBeforeStart);
    return;
  }
  const int32_t previous = fWindowStart;
  LoadWindow(previous < fCapacity ? 0 : previous - fCapacity);
  const int32_t position = previous - fWindowStart - 1;
  if (!fLoaded || position < 0 || position >= fCapacity) {
    Fail(kQVStreamBeforeStart);
    return;
  }
  if (fDataEnd <= position) fDataEnd = position + 1;  // the file gave less than it said
  fPosition = position;
  fBuffer[fPosition] = character;
}

void TFileTextStream::Seek(int32_t offset, int32_t origin) {
  fState = 0;
  if (!fFile) {
    Fail(kQVStreamNotAllowed);
    return;
  }
  if (origin < 0 || origin > 2) {
    Fail(kQVStreamNotAllowed);
    return;
  }
  if (!fBuffer) {
    if (fFile->SetPosition(offset, origin) != kQVOk) {
      fState |= kQVStreamEndOfFile;
      return;
    }
    if (fFile->GetPosition() == fLength) fState |= kQVStreamEndOfFile;
    return;
  }
  // The target within the window, in 64 bits so that no offset overflows.
  int64_t target = offset;
  if (origin == 0) target = int64_t(offset) - fWindowStart;
  if (origin == 1) target = int64_t(fPosition) + offset;
  if (origin == 2) target = int64_t(fLength) - fWindowStart - offset;
  const int64_t absolute = int64_t(fWindowStart) + target;
  if (absolute > fLength) {
    fState = kQVStreamEndOfFile;
    return;
  }
  // A window not read yet holds no bytes of a readable file: moving into it would let a
  // later flush write bytes that were never read, so it is loaded instead.
  const bool windowHoldsFile = fLoaded || !(fAccess & kReadable);
  if (windowHoldsFile && target >= 1 && target <= fDataEnd)
    fPosition = int32_t(target);
  else
    LoadWindow(absolute);
}

int32_t TFileTextStream::Tell() {
  if (fBuffer) return fWindowStart + fPosition;
  return fFile ? fFile->GetPosition() : 0;
}

void TFileTextStream::GetOwnPath(TQVString& path) {
  if (fFile)
    fFile->GetPath(path);
  else
    path.SetFrom("");
}

void TFileTextStream::SetTypeAndCreator(uint32_t creator, uint32_t type) {
  if (!fFile) return;
  QVFileInformation information;
  std::memset(&information, 0, sizeof information);
  fFile->GetFileInformation(information);
  information.type = type;
  information.creator = creator;
  fFile->SetFileInformation(information);
}

TStreamReopenRecord* TFileTextStream::MakeReopenRecord() {
  TStreamReopenRecord* record = QVNewObject<TStreamReopenRecord>(*this);
  if (record && (!record->Path() || !record->Path()[0])) {  // the path could not be had
    record->DeleteThis(1);
    return nullptr;
  }
  return record;
}
