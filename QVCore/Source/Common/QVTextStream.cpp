// The text stream: formatted reading and writing over the byte operations of a concrete
// stream, and the file references relative to the stream's own file.
#include "QVTextStream.h"

#include <cmath>
#include <cstring>
#include <new>

#include "IHostFiles.h"
#include "QVComponent.h"
#include "QVServiceTable.h"
#include "QVToken.h"

namespace {

constexpr char kDefaultDelimiters[] = " \n\r\t";
constexpr int32_t kWordLimit = 256;  // characters ReadWord keeps
// Fraction digits written at most: (x + 1 - i) is in [1, 2), where a double holds 15
// fraction digits; more would write rounding noise (and 2 x 10^p must fit 64 bits).
constexpr int32_t kMaxPrecision = 15;
constexpr int32_t kMaxFractionDigits = 18;  // fraction digits a read keeps

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordEnd(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsPathMark(char c) { return c == '/' || c == ':' || c == '\\'; }
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

uint64_t PowerOfTen(int32_t exponent) {
  uint64_t value = 1;
  for (int32_t i = 0; i < exponent; ++i) value *= 10;
  return value;
}

// Decimal digits of `value` into the end of `text` (20 bytes); answers the first digit.
char* FormatUnsigned(uint64_t value, char* end) {
  char* p = end;
  do {
    *--p = char('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return p;
}

float ToFloat(double value) {
  constexpr double kLargest = 3.4028234663852886e38;  // FLT_MAX
  if (value > kLargest) return HUGE_VALF;
  if (value < -kLargest) return -HUGE_VALF;
  return float(value);  // NaN and every finite value in range convert
}

char HostSeparator() {
  HostFileServices* files = QVGetService<HostFileServices>();
  return files ? files->GetPathSeparator() : '/';
}

// A text of any length in host memory, for building paths.
class TBlockText {
 public:
  explicit TBlockText(size_t capacity) : fText(static_cast<char*>(QVAllocateBlock(capacity + 1))) {}
  ~TBlockText() { QVFreeBlock(fText); }
  TBlockText(const TBlockText&) = delete;
  TBlockText& operator=(const TBlockText&) = delete;
  bool Valid() const { return fText != nullptr; }
  void Add(char c) { fText[fLength++] = c; }
  void Add(const char* text, size_t count) {
    std::memcpy(fText + fLength, text, count);
    fLength += count;
  }
  void StoreInto(TQVString& target) const { target.SetFrom(fText, int32_t(fLength)); }

 private:
  char* fText;
  size_t fLength = 0;
};

}  // namespace

// ---- File references ----------------------------------------------------------------

void QVMakeRelativeReference(const char* ownPath, const char* path, char separator, TQVString& form) {
  if (!path) path = "";
  if (!ownPath) ownPath = "";
  size_t agreed = 0;
  while (ownPath[agreed] && path[agreed] && LowerAscii(ownPath[agreed]) == LowerAscii(path[agreed])) ++agreed;
  int32_t inPrefix = 0;
  size_t lastSeparator = 0;
  for (size_t i = 0; i < agreed; ++i) {
    if (ownPath[i] == separator) {
      ++inPrefix;
      lastSeparator = i;
    }
  }
  if (inPrefix == 0) {
    form.SetFrom(path);
    return;
  }
  int32_t inOwn = 0;
  for (const char* p = ownPath; *p; ++p) inOwn += *p == separator;
  const size_t colons = size_t(inOwn - inPrefix);
  const size_t rest = std::strlen(path) - lastSeparator;
  TBlockText text(colons + rest);
  if (!text.Valid()) {
    form.SetFrom("");
    return;
  }
  for (size_t i = 0; i < colons; ++i) text.Add(':');
  for (const char* p = path + lastSeparator; *p; ++p) text.Add(IsPathMark(*p) ? ':' : *p);
  text.StoreInto(form);
}

void QVResolveReference(const char* ownPath, const char* form, char separator, TQVString& path) {
  if (!form) form = "";
  if (!ownPath) ownPath = "";
  if (form[0] != ':') {
    path.SetFrom(form);
    return;
  }
  const char* rest = form + 1;
  int32_t up = 0;
  while (*rest == ':') {
    ++up;
    ++rest;
  }
  int32_t inOwn = 0;
  for (const char* p = ownPath; *p; ++p) inOwn += *p == separator;
  // The own path up to and including its (k - u)-th separator; none when k - u <= 0.
  const int32_t wanted = inOwn - up;
  size_t prefix = 0;
  if (wanted > 0) {
    int32_t seen = 0;
    for (size_t i = 0; ownPath[i]; ++i) {
      if (ownPath[i] == separator && ++seen == wanted) {
        prefix = i + 1;
        break;
      }
    }
  }
  const size_t restLength = std::strlen(rest);
  TBlockText text(prefix + restLength);
  if (!text.Valid()) {
    path.SetFrom("");
    return;
  }
  text.Add(ownPath, prefix);
  for (const char* p = rest; *p; ++p) text.Add(IsPathMark(*p) ? separator : *p);
  text.StoreInto(path);
}

// ---- TTextStream ----------------------------------------------------------------------

TTextStream::TTextStream() : fDelimiters(kDefaultDelimiters) {}

TTextStream::~TTextStream() {
  // The record list: each record's second word is a memory block.
  if (fRecords) {
    void** records = static_cast<void**>(fRecords);
    for (int32_t i = 0; i < fRecordCount; ++i) QVFreeBlock(records[2 * i + 1]);
    QVFreeBlock(fRecords);
    fRecords = nullptr;
    fRecordCount = 0;
  }
  fCarried.Release();
}

void TTextStream::DeleteThis(uint32_t flags) {
  this->~TTextStream();
  if (flags & 1) QVFreeObject(this);
}

void TTextStream::Fail(int32_t) { fState |= kQVStreamFailed; }

bool TTextStream::IsDelimiter(char character) const {
  return character != 0 && fDelimiters && std::strchr(fDelimiters, character) != nullptr;
}

char TTextStream::SkipDelimiters() {
  char c = 0;
  do {
    GetCharacter(c);
  } while (Good() && IsDelimiter(c));
  return c;
}

void TTextStream::Get(char& character) { Read(&character, 1); }

TTextStream& TTextStream::Apply(QVStreamManipulator manipulator) {
  return manipulator ? manipulator(*this) : *this;
}
TTextStream& TTextStream::ApplyOther(QVStreamManipulator manipulator) { return Apply(manipulator); }

int32_t TTextStream::ReadWordText(char* word) {
  int32_t count = 0;
  auto keep = [&](char c) {
    if (count < kWordLimit) word[count++] = c;
  };
  char c = SkipDelimiters();
  if (Good()) {
    if (c == '"') {
      for (;;) {
        GetCharacter(c);
        if (!Good()) break;
        if (c == '\\') {
          GetCharacter(c);
          if (!Good()) break;
        } else if (c == '"') {
          break;
        }
        keep(c);
      }
    } else {
      for (;;) {
        if (c == '\\') {
          GetCharacter(c);
          if (!Good()) break;
          keep(c);
        } else if (IsWordEnd(c)) {
          break;  // consumed
        } else {
          keep(c);
        }
        GetCharacter(c);
        if (!Good()) break;
      }
    }
  }
  word[count] = 0;
  return count;
}

void TTextStream::ReadString(TQVString& text) {
  char word[kWordLimit + 1];
  const int32_t count = ReadWordText(word);
  text.SetFrom(word, count);
}

// Digits after an optional sign ('-', and '+' when allowed) starting with `c`; false
// when no digit follows (the character that is not one is put back). The character after
// the digits is consumed when it is a delimiter, otherwise put back.
bool TTextStream::ReadMagnitude(char c, bool allowPlus, uint32_t& magnitude, bool& negative) {
  negative = false;
  if (Good() && (c == '-' || (allowPlus && c == '+'))) {
    negative = c == '-';
    GetCharacter(c);
  }
  if (!Good()) return false;
  if (!IsDigit(c)) {
    Unget(c);
    return false;
  }
  uint32_t value = 0;  // wraps: long digit strings stay defined
  for (;;) {
    value = value * 10u + uint32_t(c - '0');
    GetCharacter(c);
    if (!Good()) break;
    if (!IsDigit(c)) {
      if (!IsDelimiter(c)) Unget(c);
      break;
    }
  }
  magnitude = value;
  return true;
}

void TTextStream::ReadSigned(int32_t& value) {
  const char first = SkipDelimiters();
  uint32_t magnitude = 0;
  bool negative = false;
  if (!ReadMagnitude(first, true, magnitude, negative)) {
    value = 0;
    Fail(kQVStreamNoNumber);
    return;
  }
  value = int32_t(negative ? 0u - magnitude : magnitude);
}

void TTextStream::ReadUnsigned(uint32_t& value) {
  const char first = SkipDelimiters();
  uint32_t magnitude = 0;
  bool negative = false;
  if (!ReadMagnitude(first, false, magnitude, negative)) {
    Fail(kQVStreamNoNumber);  // the value is left as it was
    return;
  }
  value = negative ? 0u - magnitude : magnitude;
}

void TTextStream::ReadDouble(double& value) {
  char c = SkipDelimiters();
  bool more = Good();
  double sign = 1.0;
  if (more && (c == '+' || c == '-')) {
    if (c == '-') sign = -1.0;
    GetCharacter(c);
    more = Good();
  }
  if (!more || !(IsDigit(c) || c == '.')) {
    if (more) Unget(c);
    Fail(kQVStreamNoNumber);
    return;
  }
  double whole = 0.0;
  while (more && IsDigit(c)) {
    whole = whole * 10.0 + double(c - '0');
    GetCharacter(c);
    more = Good();
  }
  double fraction = 0.0;
  if (more && c == '.') {
    // Fraction digits weighted 0.1, 0.01, ...: kept as an integer and one division, so
    // that "3.25" is exactly 3.25; digits past the 18th no longer count.
    uint64_t digits = 0;
    int32_t places = 0;
    GetCharacter(c);
    more = Good();
    while (more && IsDigit(c)) {
      if (places < kMaxFractionDigits) {
        digits = digits * 10 + uint64_t(c - '0');
        ++places;
      }
      GetCharacter(c);
      more = Good();
    }
    fraction = double(digits) / double(PowerOfTen(places));
  }
  int32_t exponent = 0;
  if (more && (c == 'e' || c == 'E')) {
    GetCharacter(c);
    more = Good();
    bool negativeExponent = false;
    if (more && (c == '+' || c == '-')) {
      negativeExponent = c == '-';
      GetCharacter(c);
      more = Good();
    }
    if (!more || !IsDigit(c)) {
      if (more) Unget(c);
      Fail(kQVStreamNoNumber);
      return;
    }
    while (more && IsDigit(c)) {
      if (exponent < 100000) exponent = exponent * 10 + (c - '0');  // far out of range already
      GetCharacter(c);
      more = Good();
    }
    if (negativeExponent) exponent = -exponent;
  }
  while (more && (c == ':' || c == '/')) {
    GetCharacter(c);
    more = Good();
  }
  if (more && !IsDelimiter(c)) Unget(c);
  double result = (whole + fraction) * sign;
  if (exponent > 0 && exponent <= 4)
    result *= double(PowerOfTen(exponent));
  else if (exponent < 0 && exponent >= -5)
    result /= double(PowerOfTen(-exponent));
  else if (exponent != 0)
    result = 0.0;
  value = result;
}

void TTextStream::ReadFloat(float& value) {
  double wide = value;
  ReadDouble(wide);
  value = ToFloat(wide);
}

void TTextStream::ReadUnsignedLong(uint32_t& value) { ReadUnsigned(value); }
void TTextStream::ReadLong(int32_t& value) { ReadSigned(value); }
void TTextStream::ReadUnsignedShort(uint16_t& value) {
  uint32_t wide = value;
  ReadUnsigned(wide);
  value = uint16_t(wide & 0xFFFF);
}
void TTextStream::ReadShort(int16_t& value) {
  int32_t wide = value;
  ReadSigned(wide);
  value = int16_t(uint16_t(uint32_t(wide) & 0xFFFF));
}
void TTextStream::ReadUnsignedInt(uint32_t& value) { ReadUnsigned(value); }
void TTextStream::ReadInt(int32_t& value) { ReadSigned(value); }

void TTextStream::ReadChar(char& character) {
  const char c = SkipDelimiters();
  if (Good()) character = c;
}
void TTextStream::ReadUnsignedChar(unsigned char& character) {
  char c = char(character);
  ReadChar(c);
  character = static_cast<unsigned char>(c);
}

void TTextStream::ReadWord(char* buffer, int32_t size) {
  if (!buffer || size <= 0) return;
  int32_t count = 0;
  char c = SkipDelimiters();
  while (Good() && c != 0) {
    if (IsDelimiter(c) || count >= size - 1) {
      Unget(c);  // the delimiter, or the first character that no longer fits
      break;
    }
    buffer[count++] = c;
    GetCharacter(c);
  }
  buffer[count] = 0;
}
void TTextStream::ReadUnsignedWord(unsigned char* buffer, int32_t size) {
  ReadWord(reinterpret_cast<char*>(buffer), size);
}

void TTextStream::WriteQuoted(const char* text, size_t count) {
  char piece[256];
  int32_t used = 0;
  piece[used++] = '"';
  for (size_t i = 0; text && i < count; ++i) {
    if (used > int32_t(sizeof piece) - 2) {
      Write(piece, used);
      used = 0;
    }
    const char c = text[i];
    if (c == '\\' || c == '"') piece[used++] = '\\';
    piece[used++] = c;
  }
  if (used > int32_t(sizeof piece) - 1) {
    Write(piece, used);
    used = 0;
  }
  piece[used++] = '"';
  Write(piece, used);
}

void TTextStream::WriteString(const TQVString& text) {
  WriteQuoted(text.CStr(), text.ByteLength() > 0 ? size_t(text.ByteLength()) : 0);
}

void TTextStream::WriteQuotedText(const char* text) {
  WriteQuoted(text, text ? std::strlen(text) : 0);
}

void TTextStream::WriteDouble(double value) {
  char text[64];
  char* p = text;
  if (std::isnan(value)) {  // not a number: defined as "0"
    Write("0", 1);
    return;
  }
  if (value < 0) {
    *p++ = '-';
    value = -value;
  }
  if (value >= 2147483647.0) {  // also +/- infinity
    std::memcpy(p, "2147483647", 10);
    Write(text, int32_t(p - text) + 10);
    return;
  }
  int32_t precision = fPrecision;
  if (precision < 0) precision = 0;
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  const uint64_t unit = PowerOfTen(precision);
  const uint64_t whole = uint64_t(value);  // value is in [0, 2147483647)
  // The added 1 keeps the leading zeros of the fraction; f is in [unit, 2 unit].
  const uint64_t f = uint64_t(std::floor((value + 1.0 - double(whole)) * double(unit) + 0.5));
  char digits[24];
  char* const end = digits + sizeof digits;
  if (f >= 2 * unit) {
    const char* first = FormatUnsigned(whole + 1, end);
    std::memcpy(p, first, size_t(end - first));
    p += end - first;
    Write(text, int32_t(p - text));
    return;
  }
  const char* first = FormatUnsigned(whole, end);
  std::memcpy(p, first, size_t(end - first));
  p += end - first;
  if (f > unit) {
    uint64_t fraction = f - unit;  // the last `precision` digits of f
    int32_t places = precision;
    while (fraction % 10 == 0) {  // fraction > 0
      fraction /= 10;
      --places;
    }
    *p++ = '.';
    char* fractionEnd = p + places;
    for (char* q = fractionEnd; q > p;) {
      *--q = char('0' + fraction % 10);
      fraction /= 10;
    }
    p = fractionEnd;
  }
  Write(text, int32_t(p - text));
}

void TTextStream::WriteFloat(float value) {
  const double rounded = std::floor(double(value) * 1e6 + 0.5) * 1e-6;
  WriteDouble(rounded);
}

void TTextStream::WriteUnsignedLong(uint32_t value) {
  char digits[24];
  char* const end = digits + sizeof digits;
  const char* first = FormatUnsigned(value, end);
  Write(first, int32_t(end - first));
}

void TTextStream::WriteLong(int32_t value) {
  char digits[24];
  char* const end = digits + sizeof digits;
  const uint32_t magnitude = value < 0 ? 0u - uint32_t(value) : uint32_t(value);
  char* first = FormatUnsigned(magnitude, end);
  if (value < 0) *--first = '-';
  Write(first, int32_t(end - first));
}

void TTextStream::WriteUnsignedShort(uint16_t value) { WriteUnsignedLong(value); }
void TTextStream::WriteShort(int16_t value) { WriteLong(value); }
void TTextStream::WriteUnsignedInt(uint32_t value) { WriteUnsignedLong(value); }
void TTextStream::WriteInt(int32_t value) { WriteLong(value); }
void TTextStream::WriteChar(char character) { Write(&character, 1); }
void TTextStream::WriteUnsignedChar(unsigned char character) { Write(&character, 1); }
void TTextStream::WriteText(const char* text) {
  if (text) Write(text, int32_t(std::strlen(text)));
}
void TTextStream::WriteUnsignedText(const unsigned char* text) { WriteText(reinterpret_cast<const char*>(text)); }

void TTextStream::GetOwnPath(TQVString& path) { path.SetFrom(""); }

void TTextStream::ReadFileReference(TQVString& path) {
  char word[kWordLimit + 1];
  ReadWordText(word);
  TQVDynamicString own;
  GetOwnPath(own);
  QVResolveReference(own.CStr(), word, HostSeparator(), path);
}

void TTextStream::WriteFileReference(const TQVString& path) {
  TQVDynamicString own;
  GetOwnPath(own);
  TQVDynamicString form;
  QVMakeRelativeReference(own.CStr(), path.CStr(), HostSeparator(), form);
  WriteString(form);
}

TStreamReopenRecord* TTextStream::MakeReopenRecord() { return nullptr; }

IUnknown* TTextStream::GetCarriedObject() { return fCarried.Get(); }
void TTextStream::SetCarriedObject(IUnknown* object) { fCarried.Assign(object); }

void TTextStream::ReadToken(TQVString& token) { token.Assign(::ReadToken(*this)); }
void TTextStream::ReadQuotedText(TQVString& text) { ::ReadQuotedText(*this, text); }

QVResult TTextStream::Attach(IHostFileSpec*, int32_t, bool* created) {
  if (created) *created = false;
  Fail(kQVStreamNotAllowed);
  return kQVErrNotSupported;
}

QVResult TTextStream::OpenByPath(const TQVString&, uint32_t, int32_t, bool* created) {
  if (created) *created = false;
  Fail(kQVStreamNotAllowed);
  return kQVErrNotSupported;
}
