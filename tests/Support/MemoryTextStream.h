// A text stream over a string in memory, with the state rules of the file stream: a read
// that runs out sets the end-of-file bit (and the failure bit when it delivers nothing),
// an unget before the start or a seek before the start sets the failure bit.
#pragma once

#include <cstdint>
#include <string>

#include "QVTextStream.h"

class MemoryTextStream final : public TTextStream {
 public:
  explicit MemoryTextStream(std::string text = {}) : fText(std::move(text)) {}
  ~MemoryTextStream() override = default;

  int32_t Tell() override { return fPosition; }

  void Seek(int32_t offset, int32_t origin) override {
    ClearState();
    const int64_t size = int64_t(fText.size());
    int64_t target = offset;
    if (origin == 1) target = int64_t(fPosition) + offset;
    if (origin == 2) target = size - offset;
    if (target < 0) {
      fState |= kQVStreamFailed;
      return;
    }
    if (target > size) {
      fState |= kQVStreamEndOfFile;
      target = size;
    }
    fPosition = int32_t(target);
  }

  void Read(void* buffer, int32_t count) override {
    ClearState();
    fLastReadCount = 0;
    if (count <= 0) return;
    const int64_t left = int64_t(fText.size()) - fPosition;
    const int32_t delivered = int32_t(left < count ? left : count);
    if (delivered > 0) fText.copy(static_cast<char*>(buffer), size_t(delivered), size_t(fPosition));
    fPosition += delivered;
    fLastReadCount = delivered;
    if (delivered < count) fState |= kQVStreamEndOfFile;
    if (delivered == 0) fState |= kQVStreamFailed;
  }

  void Unget(char character) override {
    if (fPosition == 0) {
      fState |= kQVStreamFailed;
      return;
    }
    fText[size_t(--fPosition)] = character;
  }

  void Write(const void* buffer, int32_t count) override {
    ClearState();
    if (count <= 0) return;
    fText.replace(size_t(fPosition), size_t(count), static_cast<const char*>(buffer), size_t(count));
    fPosition += count;
  }

  const std::string& Text() const { return fText; }
  // The unread rest.
  std::string Rest() const { return fText.substr(size_t(fPosition)); }

 private:
  std::string fText;
  int32_t fPosition = 0;
};
