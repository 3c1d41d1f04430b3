// The record that reopens a file text stream at a saved position.
#include "QVTextStream.h"

#include <cstring>
#include <new>

#include "IHostFiles.h"
#include "QVComponent.h"
#include "QVServiceTable.h"

// ---- TStreamReopenRecord --------------------------------------------------------------

namespace {
char* CopyText(const char* text) {
  const size_t length = std::strlen(text);
  char* copy = static_cast<char*>(QVAllocateBlock(length + 1));
  if (copy) std::memcpy(copy, text, length + 1);
  return copy;
}
}  // namespace

TStreamReopenRecord::TStreamReopenRecord(TFileTextStream& stream)
    : fFlags(stream.AccessFlags()), fCapacity(stream.Capacity()), fPosition(stream.Tell()) {
  TQVDynamicString path;
  stream.GetOwnPath(path);
  fPath = CopyText(path.CStr());
}

TStreamReopenRecord::~TStreamReopenRecord() { QVFreeBlock(fPath); }

void TStreamReopenRecord::DeleteThis(uint32_t flags) {
  this->~TStreamReopenRecord();
  if (flags & 1) QVFreeObject(this);
}

TFileTextStream* TStreamReopenRecord::Reopen() {
  if (!fPath) return nullptr;
  const TQVDynamicString path(fPath);
  TFileTextStream* stream = TFileTextStream::New(path, fFlags, fCapacity, nullptr);
  if (stream) stream->Seek(fPosition, 0);
  return stream;
}

int32_t TStreamReopenRecord::Adjust(const void* first, const void* second, int32_t kind) {
  if (kind == 1) {
    const char* oldPath = first ? static_cast<const char*>(first) : "";
    const char* newPath = static_cast<const char*>(second);
    if (!newPath || !fPath) return kQVOk;
    size_t i = 0;
    while (oldPath[i] && fPath[i] && oldPath[i] == fPath[i]) ++i;
    if (oldPath[i] && fPath[i]) return kQVOk;  // they differ before the shorter ends
    // The new path gets storage of its own size (the old storage may be too small).
    char* copy = CopyText(newPath);
    if (!copy) return kQVErrOutOfMemory;
    QVFreeBlock(fPath);
    fPath = copy;
    return kQVOk;
  }
  if (kind == 2 && !first) {
    if (second) fFlags = *static_cast<const uint32_t*>(second);
    return kQVOk;
  }
  return int32_t(uint32_t(kind) - 2u);
}
