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

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsEscape(char c) { return c == '\\' || c == '\x01'; }
bool EndsWord(char c) { return IsBlank(c) || c == '#' || c == '{' || c == '}' || c == '"'; }

// The next character; false when the stream delivered none (its end, or a failure).
bool Next(TTextStream& stream, char& c) {
  stream.GetCharacter(c);
  return stream.Good();
}

// Moves past `count` bytes of a binary block; false when that passes the end. Stream
// positions are 32-bit, so a block that ends beyond them ends beyond the stream.
bool SkipBytes(TTextStream& stream, int64_t count) {
  if (count > int64_t(INT32_MAX) - int64_t(stream.Tell())) return false;
  stream.Seek(int32_t(count), 1);
  return stream.Good();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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

QVResult Tokenize(TTextStream& stream, TokenBuffer& token) {
  char c;
  do {
    if (!Next(stream, c)) return kQVErrEndOfInput;
  } while (IsBlank(c));

  if (c == '"') {
    for (;;) {
      if (!Next(stream, c)) return kQVErrEndOfInput;
      if (c == '"') return kQVOk;
      if (IsEscape(c) && !Next(stream, c)) return kQVErrEndOfInput;
      token.Store(c);
    }
  }

  if (c == '$') {
    const uint32_t length = ReadHexLength(stream);
    if (length != kNoBinaryData && !SkipBytes(stream, int64_t(length) + 1)) return kQVErrEndOfInput;
    do {
      if (!Next(stream, c)) return kQVErrEndOfInput;
    } while (c != '$');
    return kQVOk;
  }

  // Comment lines; the character after them is read as a word, whatever it is.
  while (c == '#') {
    do {
      if (!Next(stream, c)) return kQVErrEndOfInput;
    } while (c != '\r' && c != '\n');
    do {
      if (!Next(stream, c)) return kQVErrEndOfInput;
    } while (IsBlank(c));
  }

  if (c == '{' || c == '}') {
    token.Store(c);
    return kQVOk;
  }
  while (!EndsWord(c)) {
    token.Store(c);
    if (!Next(stream, c)) return kQVErrEndOfInput;
  }
  stream.Unget(c);
  return kQVOk;
}

}  // namespace

QVResult QVReadTokenInto(TTextStream& stream, char buffer[256]) {
  TokenBuffer token(buffer);
  const QVResult result = Tokenize(stream, token);
  token.Terminate();
  return result;
}

TQVFixedString<255> ReadToken(TTextStream& stream) {
  char buffer[kTokenLimit + 1];
  TokenBuffer text(buffer);
  const QVResult result = Tokenize(stream, text);
  if (result != kQVOk) QVThrow(result, kSource, kReadTokenLine);
  TQVFixedString<255> token(buffer, text.TextLength());
  LocalizeFileText(token);
  return token;
}

TQVString& ReadQuotedText(TTextStream& stream, TQVString& target) {
  char c;
  do {
    if (!Next(stream, c)) QVThrow(kQVErrEndOfInput, nullptr, 0);
  } while (c != '"');
  QuotedTextBuffer text;
  for (;;) {
    if (!Next(stream, c)) QVThrow(kQVErrEndOfInput, nullptr, 0);
    if (c == '"') break;
    if (IsEscape(c) && !Next(stream, c)) QVThrow(kQVErrEndOfInput, nullptr, 0);
    text.Store(c);
  }
  target.SetFrom(text.Terminated());
  LocalizeFileText(target);
  return target;
}

uint32_t ReadHexLength(TTextStream& stream) {
  uint32_t value = 0;
  for (int shift = 28; shift >= 0; shift -= 4) {
    int digit = -1;
    while (digit < 0) {
      char c;
      if (!Next(stream, c)) QVThrow(kQVErrEndOfInput, nullptr, 0);
      if (c == '$') {
        stream.Unget(c);
        QVThrow(kQVErrMalformedData, nullptr, 0);
      }
      digit = HexDigit(c);
    }
    value |= uint32_t(digit) << shift;
  }
  return value;
}

void LocalizeFileText(TQVString& text) {
  if (text.CStr()[0] == '@') {
    // "@M…@Wwindows text@…" keeps the Windows text; no "@W" leaves nothing.
    const int32_t windows = FindMark(text, true);
    if (windows >= 0) text.SetFrom(text.Characters() + windows + 2, text.ByteLength() - windows - 2);
    const int32_t end = FindMark(text, false);
    if (end >= 0) text.SetFrom(text.Characters(), end);
  }
  if (QVSingleByteCodePage()) TranslateCharacters(text, 0);
}

void TranslateCharacters(TQVString& text, int table) {
  HostPlatformServices* platform = QVGetService<HostPlatformServices>();
  const QVTranslationRecord* record = platform ? platform->GetTranslationRecord() : nullptr;
  if (record) QVTranslateCharacters(text, *record, table);
}
