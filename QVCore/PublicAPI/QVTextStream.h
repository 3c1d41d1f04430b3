// Text streams: formatted output of numbers, characters and strings, formatted input of
// words, numbers and quoted strings, and two state bits. TFileTextStream is the form on a
// host file, read and written through one buffer window.
#pragma once

#include <cstdint>
#include <typeinfo>

#include "QVBase.h"
#include "QVCountedPtr.h"
#include "QVMemory.h"
#include "QVString.h"

struct IHostFileSpec;
struct IHostFileStream;

enum : uint32_t {
  kQVStreamEndOfFile = 0x1,
  kQVStreamFailed = 0x2,
};

// Internal failure reports; each only sets the failure bit.
enum : int32_t {
  kQVStreamNoNumber = 17001,
  kQVStreamBeforeStart = 17002,
  kQVStreamPastEnd = 17003,
  kQVStreamNotAllowed = 17004,
};

class TTextStream;
class TFileTextStream;
class TStreamReopenRecord;
typedef TTextStream& (*QVStreamManipulator)(TTextStream& stream);

// The table keeps the numbered operations 0-44 in slot order; the destructor and
// GetOwnPath come after them. Streams live in host memory (or on the stack of a caller
// that made a concrete stream itself); no language-heap memory is used.
class TTextStream {
 public:
  TTextStream();
  TTextStream(const TTextStream&) = delete;
  TTextStream& operator=(const TTextStream&) = delete;

  virtual void DeleteThis(uint32_t flags);                          // 0: bit 0 frees
  virtual int32_t Tell() = 0;                                       // 1
  virtual void Seek(int32_t offset, int32_t origin) = 0;            // 2
  virtual void Read(void* buffer, int32_t count) = 0;               // 3
  virtual void Get(char& character);                                // 4
  virtual void Unget(char character) = 0;                           // 5
  virtual void Write(const void* buffer, int32_t count) = 0;        // 6
  virtual TTextStream& Apply(QVStreamManipulator manipulator);      // 7
  virtual void ReadString(TQVString& text);                         // 8
  virtual void ReadDouble(double& value);                           // 9
  virtual void ReadFloat(float& value);                             // 10
  virtual void ReadUnsignedLong(uint32_t& value);                   // 11
  virtual void ReadLong(int32_t& value);                            // 12
  virtual void ReadUnsignedShort(uint16_t& value);                  // 13
  virtual void ReadShort(int16_t& value);                           // 14
  virtual void ReadUnsignedInt(uint32_t& value);                    // 15
  virtual void ReadInt(int32_t& value);                             // 16
  virtual void ReadChar(char& character);                           // 17
  virtual void ReadUnsignedChar(unsigned char& character);          // 18
  virtual void ReadWord(char* buffer, int32_t size);                // 19
  virtual void ReadUnsignedWord(unsigned char* buffer, int32_t size);  // 20
  virtual TTextStream& ApplyOther(QVStreamManipulator manipulator);    // 21
  virtual void WriteString(const TQVString& text);                  // 22: quoted
  virtual void WriteDouble(double value);                           // 23
  virtual void WriteFloat(float value);                             // 24
  virtual void WriteUnsignedLong(uint32_t value);                   // 25
  virtual void WriteLong(int32_t value);                            // 26
  virtual void WriteUnsignedShort(uint16_t value);                  // 27
  virtual void WriteShort(int16_t value);                           // 28
  virtual void WriteUnsignedInt(uint32_t value);                    // 29
  virtual void WriteInt(int32_t value);                             // 30
  virtual void WriteChar(char character);                           // 31
  virtual void WriteUnsignedChar(unsigned char character);          // 32
  virtual void WriteText(const char* text);                         // 33
  virtual void WriteUnsignedText(const unsigned char* text);        // 34
  virtual void ReadFileReference(TQVString& path);                  // 35
  virtual void WriteFileReference(const TQVString& path);           // 36
  virtual TStreamReopenRecord* MakeReopenRecord();                  // 37: null when it cannot
  virtual IUnknown* GetCarriedObject();                             // 38: borrowed
  virtual void SetCarriedObject(IUnknown* object);                  // 39
  virtual void WriteQuotedText(const char* text);                   // 40
  virtual void ReadToken(TQVString& token);                         // 41
  virtual void ReadQuotedText(TQVString& text);                     // 42
  // 43 and 44 do something on a TFileTextStream only; the base answers 0x80010006 and
  // sets the failure bit.
  virtual QVResult Attach(IHostFileSpec* file, int32_t capacity, bool* created);           // 43
  virtual QVResult OpenByPath(const TQVString& path, uint32_t openMode, int32_t capacity,  // 44
                              bool* created);

 protected:
  // After the numbered slots. Concrete streams are destroyed with DeleteThis (or go out
  // of scope); `delete` gives the memory back to the host memory binding.
  virtual ~TTextStream();

 public:
  // The path of the stream's own file, or empty (after the numbered slots).
  virtual void GetOwnPath(TQVString& path);

  static void operator delete(void* object) { QVFreeObject(object); }

  // Get for readers that take many characters (the token reader): the same in every
  // observable way (state cleared, last read count 1, position advanced), without the
  // virtual call while the read window of a TFileTextStream holds data.
  inline void GetCharacter(char& character);

  uint32_t State() const { return fState; }
  bool Good() const { return fState == 0; }
  bool AtEnd() const { return (fState & kQVStreamEndOfFile) != 0; }
  bool Failed() const { return (fState & kQVStreamFailed) != 0; }
  void ClearState() { fState = 0; }
  uint32_t AccessFlags() const { return fAccess; }
  int32_t Precision() const { return fPrecision; }
  void SetPrecision(int32_t digits) { fPrecision = digits; }
  int32_t LastReadCount() const { return fLastReadCount; }
  const char* Delimiters() const { return fDelimiters; }
  void SetDelimiters(const char* delimiters) { fDelimiters = delimiters; }

  // `count` bytes of `text` between double quotes, a backslash before each backslash and
  // double quote.
  void WriteQuoted(const char* text, size_t count);

 protected:
  enum : uint32_t { kReadable = 0x01, kWritable = 0x02, kMustExist = 0x40 };

  void Fail(int32_t reason);  // 17001..17004: sets the failure bit
  // The first character not in the delimiter set; check Good() before using it.
  char SkipDelimiters();
  bool IsDelimiter(char character) const;
  // ReadWord of operations 8 and 35: at most 256 characters into `word` (257 bytes);
  // answers the count.
  int32_t ReadWordText(char* word);
  void ReadSigned(int32_t& value);
  void ReadUnsigned(uint32_t& value);
  bool ReadMagnitude(char first, bool allowPlus, uint32_t& magnitude, bool& negative);

  int32_t fReserved = 0;
  uint32_t fState = 0;
  uint32_t fAccess = 0;
  int32_t fPrecision = 8;
  int32_t fSecondValue = 12;
  int32_t fLastReadCount = 0;
  const char* fDelimiters;
  int32_t fRecordCount = 0;
  void* fRecords = nullptr;
  TQVCountedPtr<IUnknown> fCarried;
};

class TFileTextStream final : public TTextStream {
 public:
  // Opens `path` with `openMode` (kQVFile* flags); `created` (may be null) tells whether
  // the file was made. A stream whose opening failed is in the failed state.
  TFileTextStream(const TQVString& path, uint32_t openMode, int32_t capacity, bool* created);
  // Unopened, for Attach.
  TFileTextStream();

  // Constructed in host memory; null when the allocation is refused.
  static TFileTextStream* New(const TQVString& path, uint32_t openMode, int32_t capacity, bool* created);
  static TFileTextStream* New();  // unopened

  void DeleteThis(uint32_t flags) override;
  int32_t Tell() override;
  void Seek(int32_t offset, int32_t origin) override;
  void Read(void* buffer, int32_t count) override;
  void Get(char& character) override;
  void Unget(char character) override;
  void Write(const void* buffer, int32_t count) override;
  TStreamReopenRecord* MakeReopenRecord() override;
  QVResult Attach(IHostFileSpec* file, int32_t capacity, bool* created) override;           // 43
  QVResult OpenByPath(const TQVString& path, uint32_t openMode, int32_t capacity,           // 44
                      bool* created) override;
  void GetOwnPath(TQVString& path) override;

  void SetTypeAndCreator(uint32_t creator, uint32_t type);
  // Writes the window out if it holds unwritten bytes.
  void Flush();
  int32_t Capacity() const { return fCapacity; }
  int32_t Length() const { return fLength; }
  // The host's byte stream of the file (borrowed), or null when the stream is not open.
  IHostFileStream* HostStream() const { return fFile.Get(); }

  // The file stream behind `stream`, told by the table's type information without a
  // virtual call; null for another stream (or a copy of the type information elsewhere).
  static TFileTextStream* Of(TTextStream& stream) {
    return &typeid(stream) == &typeid(TFileTextStream) ? static_cast<TFileTextStream*>(&stream) : nullptr;
  }
  // Readers that take many characters: the bytes GetCharacter would take from the read
  // window without a call, [begin, end); false when it would not take the next one.
  bool UnreadWindow(const char*& begin, const char*& end) const {
    if (!fLoaded || fPosition >= fDataEnd || !(fAccess & kReadable)) return false;
    begin = fBuffer + fPosition;
    end = fBuffer + fDataEnd;
    return true;
  }
  // Takes `count` of those bytes (0 or more, for a reader that took bytes and put the
  // last back): the position, the state and the last read count are those GetCharacter
  // leaves.
  void TakeWindowBytes(int32_t count) {
    fPosition += count;
    fState = 0;
    fLastReadCount = 1;
  }

 private:
  friend class TTextStream;
  ~TFileTextStream() override;

  // GetCharacter's fast path: true when the window held the next byte.
  bool TakeFromWindow(char& character) {
    if (!fLoaded || fPosition >= fDataEnd || !(fAccess & kReadable)) return false;
    character = fBuffer[fPosition++];
    fState = 0;
    fLastReadCount = 1;
    return true;
  }
  void LoadWindow(int64_t offset);
  // Moves the window forward past its data; false when the file has nothing more.
  bool NextWindow();
  // Writes the window's bytes to the file at the window start; false when refused.
  bool WriteWindow();
  void Close();
  QVResult FailOpen(QVResult code, bool* created);

  TQVCountedPtr<IHostFileStream> fFile;
  char* fBuffer = nullptr;
  int32_t fCapacity = 0;
  int32_t fDataEnd = 0;
  int32_t fPosition = 0;
  int32_t fWindowStart = 0;
  int32_t fLength = 0;
  bool fDirty = false;
  bool fLoaded = false;
};

inline void TTextStream::GetCharacter(char& character) {
  // A file stream whose window holds the byte gives it here; the rest take the virtual Get.
  if (TFileTextStream* file = TFileTextStream::Of(*this))
    if (file->TakeFromWindow(character)) return;
  Get(character);
}

// Reopens a file text stream at a saved position. Made in host memory by operation 37;
// destroyed with DeleteThis(1).
class TStreamReopenRecord final {
 public:
  explicit TStreamReopenRecord(TFileTextStream& stream);
  TStreamReopenRecord(const TStreamReopenRecord&) = delete;
  TStreamReopenRecord& operator=(const TStreamReopenRecord&) = delete;

  virtual void DeleteThis(uint32_t flags);
  // A new stream at the stored position, or null when it cannot be made.
  virtual TFileTextStream* Reopen();
  // Kind 1: `second` (a path) replaces the stored path when `first` and the stored path
  // agree up to the end of the shorter (0; 0x80010002 when the new storage is refused);
  // kind 2 with a null `first`: the stored flags become *(uint32_t*)second. Other kinds
  // answer kind - 2.
  virtual int32_t Adjust(const void* first, const void* second, int32_t kind);

  // Null when the path could not be stored.
  const char* Path() const { return fPath; }
  uint32_t Flags() const { return fFlags; }
  int32_t Capacity() const { return fCapacity; }
  int32_t Position() const { return fPosition; }

 private:
  ~TStreamReopenRecord();

  char* fPath = nullptr;
  uint32_t fFlags = 0;
  int32_t fCapacity = 0;
  int32_t fPosition = 0;
};
#if defined(__i386__)
static_assert(sizeof(TStreamReopenRecord) == 20, "reopen record layout");
#endif

// File references relative to a stream's own path (operations 35 and 36), with the
// host's path separator: "C:\a\b\file.scn" and "C:\a\c\x.jpg" with '\' give "::c:x.jpg"
// and back.
void QVMakeRelativeReference(const char* ownPath, const char* path, char separator, TQVString& form);
void QVResolveReference(const char* ownPath, const char* form, char separator, TQVString& path);

// Deletes a stream or record made in host memory (DeleteThis with bit 0).
template <class T>
void QVDeleteStream(T* object) {
  if (object) object->DeleteThis(1);
}
