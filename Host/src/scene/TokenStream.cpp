// The host's token stream over text.
#include "qvhost/TokenStream.h"

#include <climits>

namespace qvhost {

namespace {

constexpr QVGUID kTokenStreamSelf = QV_HOST_ID(0x8010);

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool EndsWord(char c) { return IsBlank(c) || c == '{' || c == '}' || c == '"' || c == '#'; }

}  // namespace

std::string KeywordText(uint32_t code) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = char(code >> shift);
    if (c == 0 || c == ' ') break;
    text += c;
  }
  return text;
}

TQVCountedPtr<TokenStream> TokenStream::ForWriting() { return Adopt<TokenStream>(new TokenStream()); }

TQVCountedPtr<TokenStream> TokenStream::ForReading(std::string text) {
  auto stream = Adopt<TokenStream>(new TokenStream());
  stream->fText = std::move(text);
  return stream;
}

void* TokenStream::FindExtra(const QVGUID& id) {
  return id == kTokenStreamSelf ? static_cast<IHostTokenStream*>(this) : nullptr;
}

TokenStream* TokenStream::From(IUnknown* stream) {
  return HostObjectBehind<TokenStream, IHostTokenStream>(stream, kTokenStreamSelf);
}

bool TokenStream::Next() {
  fToken.clear();
  fQuoted = false;
  const size_t size = fText.size();
  for (;;) {
    while (fAt < size && IsBlank(fText[fAt])) ++fAt;
    if (fAt < size && fText[fAt] == '#') {
      while (fAt < size && fText[fAt] != '\n' && fText[fAt] != '\r') ++fAt;
      continue;
    }
    break;
  }
  if (fAt >= size) {
    fEnded = true;
    return false;
  }
  const char first = fText[fAt];
  if (first == '{' || first == '}') {
    fToken = first;
    ++fAt;
    return true;
  }
  if (first == '"') {
    fQuoted = true;
    for (++fAt; fAt < size && fText[fAt] != '"'; ++fAt) {
      if (fText[fAt] == '\\' && fAt + 1 < size) ++fAt;
      fToken += fText[fAt];
    }
    if (fAt >= size) {  // an unterminated string ends the stream
      fEnded = true;
      return false;
    }
    ++fAt;
    return true;
  }
  while (fAt < size && !EndsWord(fText[fAt])) fToken += fText[fAt++];
  return true;
}

QVResult TokenStream::ReadNextToken(char token[256]) {
  const bool read = Next();
  const size_t count = fToken.size() < 255 ? fToken.size() : 255;
  fToken.copy(token, count);
  token[count] = '\0';
  return read ? kQVOk : kQVErrEndOfInput;
}

bool TokenStream::IsEndOfBlock() { return fEnded || (!fQuoted && fToken == "}"); }

uint32_t TokenStream::GetKeyword() {
  uint32_t code = 0;
  for (size_t i = 0; i < 4; ++i) code = (code << 8) | uint8_t(i < fToken.size() ? fToken[i] : ' ');
  return code;
}

void TokenStream::SkipItem() {
  if (!Next()) return;
  if (fQuoted || fToken != "{") return;
  for (int depth = 1; depth > 0 && Next();) {
    if (fQuoted) continue;
    if (fToken == "{") ++depth;
    if (fToken == "}") --depth;
  }
}

QVResult TokenStream::ReadStringValue(TQVString& value) {
  if (!Next() || (!fQuoted && (fToken == "{" || fToken == "}"))) return kQVErrMalformedData;
  value.SetFrom(fToken.c_str(), int32_t(fToken.size()));
  return kQVOk;
}

void TokenStream::StartItem() {
  if (fLineOpen) return;
  fText.append(size_t(2 * fDepth), ' ');
  fLineOpen = true;
}

void TokenStream::EndLine() {
  fText += '\n';
  fLineOpen = false;
}

void TokenStream::FinishLine() {
  if (fLineOpen) EndLine();
}

void TokenStream::WriteWord(const std::string& word) {
  const bool first = !fLineOpen;
  StartItem();
  if (!first) fText += ' ';
  fText += word;
}

std::string TokenStream::Quote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

void TokenStream::WriteQuoted(const std::string& text) {
  WriteWord(Quote(text));
  EndLine();
}

void TokenStream::OpenBlock(const std::string& keyword) {
  if (!keyword.empty()) WriteWord(keyword);
  WriteWord("{");
  EndLine();
  ++fDepth;
}

void TokenStream::CloseBlock() {
  if (fLineOpen) EndLine();
  if (fDepth > 0) --fDepth;
  WriteWord("}");
  EndLine();
}

QVResult TokenStream::BeginBlock(uint32_t keyword) {
  OpenBlock(KeywordText(keyword));
  return kQVOk;
}

QVResult TokenStream::WriteKeyword(uint32_t keyword) {
  if (fLineOpen) EndLine();
  WriteWord(KeywordText(keyword));
  return kQVOk;
}

QVResult TokenStream::WriteStringValue(const TQVString& value) {
  WriteQuoted(std::string(value.CStr(), size_t(value.ByteLength())));
  return kQVOk;
}

QVResult TokenStream::EndBlock() {
  CloseBlock();
  return kQVOk;
}

QVResult TokenStream::Begin() {
  if (!Next()) return kQVErrEndOfInput;
  return !fQuoted && fToken == "{" ? kQVOk : kQVErrMalformedData;
}

QVResult TokenStream::ReadKeyword() { return Next() ? kQVOk : kQVErrEndOfInput; }

IHostTokenSettings* TokenStream::GetAttribute(uint32_t code) {
  return code == QVFourCC("Tokn") ? static_cast<IHostTokenSettings*>(this) : nullptr;
}

QVResult TokenStream::WriteText(const char* text, int32_t count) {
  if (!text || count < 0) return kQVErrMalformedData;
  fText.append(text, size_t(count));
  fLineOpen = count > 0 && text[count - 1] != '\n';
  return kQVOk;
}

int32_t TokenStream::ReadInteger() {
  const size_t size = fText.size();
  while (fAt < size && IsBlank(fText[fAt])) ++fAt;
  bool negative = false;
  if (fAt < size && (fText[fAt] == '-' || fText[fAt] == '+')) negative = fText[fAt++] == '-';
  if (fAt >= size || fText[fAt] < '0' || fText[fAt] > '9') {
    fValueFailed = true;
    return 0;
  }
  int64_t value = 0;
  for (; fAt < size && fText[fAt] >= '0' && fText[fAt] <= '9'; ++fAt) {
    value = value * 10 + (fText[fAt] - '0');
    if (value > int64_t(INT32_MAX) + 1) fValueFailed = true;  // digits are still read
    if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) {
    fValueFailed = true;
    return 0;
  }
  return int32_t(value);
}

char TokenStream::ReadCharacter() {
  const size_t size = fText.size();
  while (fAt < size && IsBlank(fText[fAt])) ++fAt;
  return fAt < size ? fText[fAt++] : '\0';
}

}  // namespace qvhost
