// The token reader: tokens, quoted texts and hexadecimal lengths from a text stream, and
// the localisation of every text it returns.
#include "QVToken.h"

#include <cstring>

#include "HostServices.h"
#include "QVException.h"
#include "QVMemory.h"
#include "QVServiceTable.h"
#include "QVTextStream.h"
#include "qvplatform/Platform.h"

namespace {

constexpr const char kSource[] = "QVCore/Source/Common/QVToken";
constexpr int32_t kReadTokenLine = 516;
constexpr int32_t kTokenLimit = 255;
constexpr size_t kQuotedTextStep = 1000;
constexpr uint32_t kNoBinaryData = 0xFFFFFFFFu;

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
constexpr bool IsEscape(char c) { return c == '\\' || c == '\x01'; }
constexpr bool EndsWord(char c) { return IsBlank(c) || c == '#' || c == '{' || c == '}' || c == '"'; }
constexpr bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Byte classes for the loops that take runs of bytes. A zero byte ends the runs that are
// stored, so that the token notes where its text ends.
enum : uint8_t {
  kWordStop = 0x1,   // a word terminator or a zero byte
  kQuoteStop = 0x2,  // the quote, an escape or a zero byte
  kLineStop = 0x4,   // a carriage return or a line feed
};

struct ByteClasses {
  constexpr ByteClasses() : of() {
    for (int b = 0; b < 256; ++b) {
      const char c = char(b);
      of[b] = uint8_t((EndsWord(c) || c == 0 ? kWordStop : 0) |
                      (c == '"' || IsEscape(c) || c == 0 ? kQuoteStop : 0) | (IsLineEnd(c) ? kLineStop : 0));
    }
  }
  uint8_t of[256];
};
constexpr ByteClasses kClasses;

// The first byte in [p, end) of one of `classes`, or end.
const char* FindClass(const char* p, const char* end, uint8_t classes) {
  while (p != end && !(kClasses.of[uint8_t(*p)] & classes)) ++p;
  return p;
}

// The characters of a stream for the readers below. Bytes that a file stream's read
// window holds are taken straight from it; the stream learns how many (and gets the
// state GetCharacter leaves) before any other operation on it and when the source ends,
// also through an exception. Every other character comes from GetCharacter.
class CharacterSource {
 public:
  explicit CharacterSource(TTextStream& stream) : fStream(stream), fFile(TFileTextStream::Of(stream)) {
    TakeWindow();
  }
  CharacterSource(const CharacterSource&) = delete;
  CharacterSource& operator=(const CharacterSource&) = delete;
  ~CharacterSource() { GiveBack(); }

  // The next character; false when the stream delivered none (its end, or a failure).
  bool Next(char& c) {
    if (fNext != fEnd) {
      c = *fNext++;
      return true;
    }
    return NextFromStream(c);
  }
  // Puts back the character just read.
  void Unget(char c) {
    if (fNext != fStart) {  // it came from the window and is still there
      --fNext;
      fPutBack = true;
      return;
    }
    GiveBack();
    fStream.Unget(c);
    TakeWindow();
  }

  // The unread bytes of the window, [Cursor(), End()), for loops that take runs of them;
  // MoveTo takes the bytes before `p`.
  const char* Cursor() const { return fNext; }
  const char* End() const { return fEnd; }
  void MoveTo(const char* p) { fNext = p; }

  // The stream, for other operations; Resume takes its window up again.
  TTextStream& Pause() {
    GiveBack();
    return fStream;
  }
  void Resume() { TakeWindow(); }

 private:
  bool NextFromStream(char& c) {
    GiveBack();
    fStream.GetCharacter(c);
    TakeWindow();
    return fStream.Good();
  }
  void TakeWindow() {
    fStart = fEnd = nullptr;
    if (fFile) fFile->UnreadWindow(fStart, fEnd);
    fNext = fStart;
  }
  void GiveBack() {
    if (fNext != fStart || fPutBack) fFile->TakeWindowBytes(int32_t(fNext - fStart));
    fStart = fNext;
    fPutBack = false;
  }

  TTextStream& fStream;
  TFileTextStream* const fFile;  // null for another kind of stream
  const char* fStart = nullptr;  // the window's first byte not yet given back
  const char* fNext = nullptr;
  const char* fEnd = nullptr;
  bool fPutBack = false;  // a byte taken from the window was put back
};

// Moves past `count` bytes of a binary block; false when that passes the end. Stream
// positions are 32-bit, so a block that ends beyond them ends beyond the stream.
bool SkipBytes(CharacterSource& source, int64_t count) {
  TTextStream& stream = source.Pause();
  bool moved = false;
  if (count <= int64_t(INT32_MAX) - int64_t(stream.Tell())) {
    stream.Seek(int32_t(count), 1);
    moved = stream.Good();
  }
  source.Resume();
  return moved;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t HexLength(CharacterSource& source) {
  uint32_t value = 0;
  for (int shift = 28; shift >= 0; shift -= 4) {
    int digit = -1;
    while (digit < 0) {
      char c;
      if (!source.Next(c)) QVThrow(kQVErrEndOfInput, nullptr, 0);
      if (c == '$') {
        source.Unget(c);
        QVThrow(kQVErrMalformedData, nullptr, 0);
      }
      digit = HexDigit(c);
    }
    value |= uint32_t(digit) << shift;
  }
  return value;
}

// The token being read: at most 255 characters; empty until Terminate.
class TokenBuffer {
 public:
  explicit TokenBuffer(char* buffer) : fBuffer(buffer) { fBuffer[0] = 0; }
  void Store(char c) {
    if (fCount == kTokenLimit) return;
    if (c == 0 && fFirstZero < 0) fFirstZero = fCount;
    fBuffer[fCount++] = c;
  }
  // Stores the bytes from `p` up to the first one of `stops` (which takes in the zero
  // byte) or `end`; answers where it stopped.
  const char* StoreRun(const char* p, const char* end, uint8_t stops) {
    char* out = fBuffer + fCount;
    char* const full = fBuffer + kTokenLimit;
    for (; p != end && !(kClasses.of[uint8_t(*p)] & stops); ++p)
      if (out != full) *out++ = *p;
    fCount = int32_t(out - fBuffer);
    return p;
  }
  void Terminate() { fBuffer[fCount] = 0; }
  // The length up to the first zero byte, where the token's text ends.
  int32_t TextLength() const { return fFirstZero < 0 ? fCount : fFirstZero; }

 private:
  char* fBuffer;
  int32_t fCount = 0;
  int32_t fFirstZero = -1;
};

// The growing block of a quoted text, from host memory and freed on every way out.
class QuotedTextBuffer {
 public:
  QuotedTextBuffer() : fBlock(static_cast<char*>(QVAllocateBlock(kQuotedTextStep + 1))) {
    if (!fBlock) QVThrow(kQVErrOutOfMemory, nullptr, 0);
  }
  QuotedTextBuffer(const QuotedTextBuffer&) = delete;
  QuotedTextBuffer& operator=(const QuotedTextBuffer&) = delete;
  ~QuotedTextBuffer() { QVFreeBlock(fBlock); }

  void Store(char c) {
    fBlock[fCount++] = c;
    if (fCount > fCapacity) Grow();
  }
  const char* Terminated() {
    fBlock[fCount] = 0;
    return fBlock;
  }

 private:
  void Grow() {
    const size_t capacity = fCapacity + kQuotedTextStep;
    char* block = static_cast<char*>(QVReallocateBlock(fBlock, capacity + 1));
    if (!block) QVThrow(kQVErrOutOfMemory, nullptr, 0);
    fBlock = block;
    fCapacity = capacity;
  }

  char* fBlock;
  size_t fCapacity = kQuotedTextStep;
  size_t fCount = 0;
};

// Byte offset of the first "@" (or "@W" when `windows`) that starts on a character
// boundary, or -1.
int32_t FindMark(const TQVString& text, bool windows) {
  const char* start = text.CStr();
  const bool singleByte = QVSingleByteCodePage();
  for (const char* p = start; *p; p = singleByte ? p + 1 : QVPlatform_CharNext(p))
    if (p[0] == '@' && (!windows || p[1] == 'W')) return int32_t(p - start);
  return -1;
}

QVResult Tokenize(CharacterSource& source, TokenBuffer& token) {
  char c;
  do {
    if (!source.Next(c)) return kQVErrEndOfInput;
  } while (IsBlank(c));

  if (c == '"') {
    for (;;) {
      source.MoveTo(token.StoreRun(source.Cursor(), source.End(), kQuoteStop));
      if (!source.Next(c)) return kQVErrEndOfInput;
      if (c == '"') return kQVOk;
      if (IsEscape(c) && !source.Next(c)) return kQVErrEndOfInput;
      token.Store(c);
    }
  }

  if (c == '$') {
    const uint32_t length = HexLength(source);
    if (length != kNoBinaryData && !SkipBytes(source, int64_t(length) + 1)) return kQVErrEndOfInput;
    do {
      if (!source.Next(c)) return kQVErrEndOfInput;
    } while (c != '$');
    return kQVOk;
  }

  // Comment lines; the character after them is read as a word, whatever it is.
  while (c == '#') {
    do {
      source.MoveTo(FindClass(source.Cursor(), source.End(), kLineStop));
      if (!source.Next(c)) return kQVErrEndOfInput;
    } while (!IsLineEnd(c));
    do {
      if (!source.Next(c)) return kQVErrEndOfInput;
    } while (IsBlank(c));
  }

  if (c == '{' || c == '}') {
    token.Store(c);
    return kQVOk;
  }
  while (!EndsWord(c)) {
    token.Store(c);
    source.MoveTo(token.StoreRun(source.Cursor(), source.End(), kWordStop));
    if (!source.Next(c)) return kQVErrEndOfInput;
  }
  source.Unget(c);
  return kQVOk;
}

QVResult Tokenize(TTextStream& stream, TokenBuffer& token) {
  CharacterSource source(stream);
  return Tokenize(source, token);
}

// True when translating with `table` would change the text: it holds a byte that the
// table replaces, drops or looks up in the list.
template <class Text>
bool ChangesAnyByte(Text& text, const QVTranslationRecord& record, int table) {
  if (table != 0 && table != 1) return false;
  const auto* characters = reinterpret_cast<const uint8_t*>(text.Characters());
  if (!characters) return false;
  const uint8_t* map = record.tables[table];
  for (int32_t i = 0, length = text.ByteLength(); i < length; ++i) {
    const uint8_t byte = characters[i];
    if (map[byte] != byte || byte == kQVTranslateFromList) return true;
  }
  return false;
}

template <class Text>
void Translate(Text& text, int table) {
  HostPlatformServices* platform = QVGetService<HostPlatformServices>();
  const QVTranslationRecord* record = platform ? platform->GetTranslationRecord() : nullptr;
  if (record && ChangesAnyByte(text, *record, table)) QVTranslateCharacters(text, *record, table);
}

template <class Text>
void Localize(Text& text) {
  const char* characters = text.Characters();
  if (characters && characters[0] == '@') {
    // "@M…@Wwindows text@…" keeps the Windows text; no "@W" leaves nothing.
    const int32_t windows = FindMark(text, true);
    if (windows >= 0) text.SetFrom(text.Characters() + windows + 2, text.ByteLength() - windows - 2);
    const int32_t end = FindMark(text, false);
    if (end >= 0) text.SetFrom(text.Characters(), end);
  }
  if (QVSingleByteCodePage()) Translate(text, 0);
}

}  // namespace

QVResult QVReadTokenInto(TTextStream& stream, char buffer[256]) {
  TokenBuffer token(buffer);
  const QVResult result = Tokenize(stream, token);
  token.Terminate();
  return result;
}

TQVFixedString<255> ReadToken(TTextStream& stream) {
  // The token is read straight into the string's buffer.
  TQVFixedString<255> token = TQVFixedString<255>::Written([&stream](char* buffer) {
    TokenBuffer text(buffer);
    const QVResult result = Tokenize(stream, text);
    if (result != kQVOk) QVThrow(result, kSource, kReadTokenLine);
    return text.TextLength();
  });
  Localize(token);
  return token;
}

TQVString& ReadQuotedText(TTextStream& stream, TQVString& target) {
  CharacterSource source(stream);
  char c;
  do {
    if (!source.Next(c)) QVThrow(kQVErrEndOfInput, nullptr, 0);
  } while (c != '"');
  QuotedTextBuffer text;
  for (;;) {
    if (!source.Next(c)) QVThrow(kQVErrEndOfInput, nullptr, 0);
    if (c == '"') break;
    if (IsEscape(c) && !source.Next(c)) QVThrow(kQVErrEndOfInput, nullptr, 0);
    text.Store(c);
  }
  target.SetFrom(text.Terminated());
  Localize(target);
  return target;
}

uint32_t ReadHexLength(TTextStream& stream) {
  CharacterSource source(stream);
  return HexLength(source);
}

void LocalizeFileText(TQVString& text) { Localize(text); }

void TranslateCharacters(TQVString& text, int table) { Translate(text, table); }
