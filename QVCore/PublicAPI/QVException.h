// The runtime's exception: a result code with the source and line that raised it.
#pragma once

#include "QVBase.h"

#define QV_SHARED_TYPE __attribute__((visibility("default")))

// Root of everything the runtime throws.
class QV_SHARED_TYPE TQVObject {};

// An optional payload of an exception; destroyed with DeleteThis(1).
struct TQVExceptionDetail {
  virtual void DeleteThis(uint32_t flags) = 0;
};

class QV_SHARED_TYPE TQVException : public TQVObject {
 public:
  TQVException(QVResult code, const char* source, int32_t line)
      : fCode(code), fSource(source), fLine(line), fDetail(nullptr) {}
  // A copy takes the detail over, so exactly one exception owns it.
  TQVException(const TQVException& other)
      : fCode(other.fCode), fSource(other.fSource), fLine(other.fLine), fDetail(other.fDetail) {
    other.fDetail = nullptr;
  }
  TQVException& operator=(const TQVException&) = delete;
  ~TQVException() {
    if (fDetail) {
      fDetail->DeleteThis(1);
      fDetail = nullptr;
    }
  }

  virtual const char* GetSource() const { return fSource; }

  QVResult Code() const { return fCode; }
  int32_t Line() const { return fLine; }
  TQVExceptionDetail* Detail() const { return fDetail; }
  void SetDetail(TQVExceptionDetail* detail) { fDetail = detail; }

 private:
  QVResult fCode;
  const char* fSource;
  int32_t fLine;
  mutable TQVExceptionDetail* fDetail;
};

// Raises `code` from a fixed site (source path without extension, line).
[[noreturn]] inline void QVThrow(QVResult code, const char* source, int32_t line) {
  throw TQVException(code, source, line);
}

#if defined(__i386__)
static_assert(sizeof(TQVException) == 20, "TQVException layout");
#endif
