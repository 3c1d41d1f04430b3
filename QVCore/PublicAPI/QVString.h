// 8-bit strings in the ANSI code page: the abstract base, fixed-capacity strings
// embedded in records, and dynamic strings whose block comes from the memory binding.
#pragma once

#include <cstdint>

#include "QVBase.h"

class TQVString {
 public:
  // Slot order is shared with the host.
  virtual void DeleteThis(uint32_t flags) = 0;                      // 0: bit 0 frees
  virtual void Assign(const TQVString& other);                      // 1
  virtual void AppendChar(uint16_t character);                      // 2
  virtual void Append(const TQVString& other);                      // 3
  virtual bool Less(const TQVString& other) const;                  // 4: no case
  virtual bool Greater(const TQVString& other) const;               // 5: no case
  virtual bool LessOrEqual(const TQVString& other) const;           // 6: no case
  virtual bool GreaterOrEqual(const TQVString& other) const;        // 7: no case
  virtual bool Equals(const TQVString& other) const;                // 8: exact bytes
  virtual int32_t Compare(const TQVString& other) const;            // 9: exact bytes
  virtual void Insert(const TQVString& other, int32_t characterIndex);  // 10
  virtual void SetByteLength(int32_t length) = 0;                   // 11
  virtual void SetCapacity(int32_t capacity) = 0;                   // 12
  virtual char* Characters() const = 0;                             // 13

  // Sets the text to `count` bytes of `text` (cut at a fixed capacity).
  void SetFrom(const char* text, int32_t count);
  void SetFrom(const char* text);  // zero-terminated
  // The text, or "" when there is no buffer.
  const char* CStr() const;

  int32_t CharacterCount() const { return fCharacterCount; }
  int32_t ByteLength() const { return fByteLength; }
  int32_t Capacity() const { return fCapacity; }
  bool IsEmpty() const { return fByteLength == 0; }

  // Number of characters of a zero-terminated text in the ANSI code page.
  static int32_t CountCharacters(const char* text);
  // Bytes taken by `count` characters from character `start` (count clipped to the text).
  int32_t ByteSpan(int32_t start, int32_t count) const;

 protected:
  TQVString() = default;
  ~TQVString() = default;
  TQVString(const TQVString&) = delete;
  TQVString& operator=(const TQVString&) = delete;

  void Recount();
  void Terminate() {
    if (char* characters = Characters()) characters[fByteLength] = 0;
  }
  // Initialises over a buffer of capacity + 1 bytes.
  void ConstructOver(char* buffer, int32_t capacity, const char* text, int32_t count);
  // Initialises over a buffer whose first `length` bytes already hold the text, with no
  // zero byte among them; the same string as ConstructOver with those bytes.
  void ConstructOverWritten(char* buffer, int32_t capacity, int32_t length);

  int32_t fCharacterCount = 0;
  int32_t fByteLength = 0;
  int32_t fCapacity = 0;
};

// True when the process's ANSI code page is 1252 (every byte one character).
bool QVSingleByteCodePage();
// Forgets the code page seen on first use (tests that switch the code page).
void QVResetCodePageState();

template <int N>
class TQVFixedString final : public TQVString {
  static_assert(N > 0, "capacity");

 public:
  TQVFixedString() { ConstructOver(fBuffer, N, nullptr, 0); }
  TQVFixedString(const char* text, int32_t count) { ConstructOver(fBuffer, N, text, count); }
  explicit TQVFixedString(const char* text);
  TQVFixedString(const TQVFixedString& other) : TQVString() {
    ConstructOver(fBuffer, N, other.fBuffer, other.fByteLength);
  }
  TQVFixedString& operator=(const TQVFixedString& other) {
    Assign(other);
    return *this;
  }
  TQVFixedString& operator=(const char* text) {
    SetFrom(text);
    return *this;
  }

  // The string whose text `write(buffer)` puts into its buffer: at most N bytes, with no
  // zero byte among them, and answers their count. Nothing is copied.
  template <class Writer>
  static TQVFixedString Written(Writer&& write) {
    return TQVFixedString(WrittenTag(), write);
  }

  void DeleteThis(uint32_t flags) override;
  void SetByteLength(int32_t length) override {
    fByteLength = length < 0 ? 0 : (length < N ? length : N);
  }
  void SetCapacity(int32_t) override {}
  char* Characters() const override { return const_cast<char*>(fBuffer); }

 private:
  struct WrittenTag {};
  template <class Writer>
  TQVFixedString(WrittenTag, Writer& write) {
    ConstructOverWritten(fBuffer, N, write(fBuffer));
  }

  char fBuffer[N + 1];
};

class TQVDynamicString final : public TQVString {
 public:
  TQVDynamicString() = default;
  TQVDynamicString(const char* text, int32_t count);
  explicit TQVDynamicString(const char* text);
  TQVDynamicString(const TQVDynamicString&) = delete;
  TQVDynamicString& operator=(const TQVDynamicString&) = delete;
  ~TQVDynamicString();

  void DeleteThis(uint32_t flags) override;
  void Insert(const TQVString& other, int32_t characterIndex) override;
  void SetByteLength(int32_t length) override;
  void SetCapacity(int32_t capacity) override;
  char* Characters() const override { return fBlock; }
  // Slot 14: a block of n + 1 bytes; refused, the string becomes empty with capacity 0.
  virtual void Reallocate(int32_t capacity);

 private:
  char* fBlock = nullptr;
};

// The host's character translation record: one table per direction, then one list of
// multi-byte replacements per direction. A list is one byte giving the size of the
// entries that follow, each entry a key byte and a zero-terminated replacement.
struct QVTranslationRecord {
  uint8_t tables[2][256];  // 0 drops the byte, 27 looks it up in the list, else replaces
  const uint8_t* replacements[2];
};
constexpr uint8_t kQVTranslateFromList = 27;

// Translates every byte of `text` through the record's table of `direction` (0 or 1), in
// place. A dynamic string grows as replacements need; a fixed one drops a byte whose
// replacement does not fit and goes on with the bytes after it.
void QVTranslateCharacters(TQVString& text, const QVTranslationRecord& record, int direction);

#if defined(__i386__)
static_assert(sizeof(TQVFixedString<15>) == 32, "fixed string layout");
static_assert(sizeof(TQVFixedString<31>) == 48, "fixed string layout");
static_assert(sizeof(TQVFixedString<255>) == 272, "fixed string layout");
static_assert(sizeof(TQVFixedString<1023>) == 1040, "fixed string layout");
static_assert(sizeof(TQVDynamicString) == 20, "dynamic string layout");
#endif

#include "QVStringInline.h"
