// Code page conversions: 1252 by table (every byte is a character, the five bytes the code
// page leaves unassigned standing for U+0081, U+008D, U+008F, U+0090 and U+009D, so that
// any module text goes to UTF-8 and back), the double-byte code pages through iconv.
#include "qvhost/CodePageText.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "qvhost/HostError.h"
#include "qvplatform/Platform.h"

namespace qvhost {

namespace {

// Code page 1252 bytes 0x80 to 0x9F; the others are their own code points.
const uint16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const char* IconvName(uint32_t codePage) {
  switch (codePage) {
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    default: return nullptr;
  }
}

bool IsAscii(const std::string& text) {
  for (char c : text)
    if (uint8_t(c) >= 0x80) return false;
  return true;
}

void AppendUtf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += char(code);
  } else if (code < 0x800) {
    out += char(0xC0 | (code >> 6));
    out += char(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += char(0xE0 | (code >> 12));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  } else {
    out += char(0xF0 | (code >> 18));
    out += char(0x80 | ((code >> 12) & 0x3F));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  }
}

// The code point at `at` (moved past it), or -1 when the bytes there are not UTF-8.
int32_t NextUtf8(const std::string& text, size_t& at) {
  const auto byte = [&](size_t i) { return i < text.size() ? uint8_t(text[i]) : uint8_t(0); };
  const uint8_t first = byte(at);
  int length;
  uint32_t code;
  uint8_t low = 0x80, high = 0xBF;
  if (first < 0x80) {
    ++at;
    return first;
  } else if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    code = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    code = first & 0x0F;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    code = first & 0x07;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    const uint8_t next = byte(at + size_t(i));
    if (at + size_t(i) >= text.size() || next < low || next > high) return -1;
    low = 0x80;
    high = 0xBF;
    code = (code << 6) | (next & 0x3F);
  }
  at += size_t(length);
  return int32_t(code);
}

// One iconv conversion descriptor for the call.
class Converter {
 public:
  Converter(const char* to, const char* from) : fHandle(iconv_open(to, from)) {
    if (fHandle == reinterpret_cast<iconv_t>(-1)) throw HostError(std::string("no ") + from + " to " + to + " conversion");
  }
  ~Converter() { iconv_close(fHandle); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in` (all of it) onto `out`; false when a sequence cannot be converted.
  bool Convert(const char* in, size_t size, std::string& out) {
    iconv(fHandle, nullptr, nullptr, nullptr, nullptr);
    char buffer[256];
    auto* from = const_cast<char*>(in);
    size_t left = size;
    while (left > 0) {
      char* to = buffer;
      size_t room = sizeof buffer;
      const size_t done = iconv(fHandle, &from, &left, &to, &room);
      out.append(buffer, size_t(to - buffer));
      if (done == size_t(-1) && errno != E2BIG) return false;
    }
    char* to = buffer;
    size_t room = sizeof buffer;
    if (iconv(fHandle, nullptr, nullptr, &to, &room) == size_t(-1)) return false;
    out.append(buffer, size_t(to - buffer));
    return true;
  }

 private:
  iconv_t fHandle;
};

std::string Quoted(const std::string& character) { return "\"" + character + "\""; }

}  // namespace

bool IsKnownCodePage(uint32_t codePage) { return codePage == 1252 || IconvName(codePage) != nullptr; }

const char* KnownCodePages() { return "1252, 932, 936, 949 or 950"; }

bool ToCodePage(const std::string& utf8, uint32_t codePage, std::string& out, std::string& expected) {
  if (IsAscii(utf8)) {
    out = utf8;
    return true;
  }
  const char* name = IconvName(codePage);
  if (codePage != 1252 && !name) {
    expected = std::string("a code page of ") + KnownCodePages() + " (not " + std::to_string(codePage) + ")";
    return false;
  }
  std::string result;
  result.reserve(utf8.size());
  std::unique_ptr<Converter> converter;
  for (size_t at = 0; at < utf8.size();) {
    const size_t start = at;
    const int32_t code = NextUtf8(utf8, at);
    if (code < 0) {
      expected = "UTF-8 text (byte " + std::to_string(start) + " is not)";
      return false;
    }
    if (code < 0x80) {
      result += char(code);
      continue;
    }
    bool held = false;
    if (codePage == 1252) {
      if (code >= 0xA0 && code <= 0xFF) {
        result += char(code);
        held = true;
      }
      for (int i = 0; i < 32 && !held; ++i)
        if (k1252High[i] == code) {
          result += char(0x80 + i);
          held = true;
        }
    } else {
      if (!converter) converter = std::make_unique<Converter>(name, "UTF-8");
      std::string converted;
      held = converter->Convert(utf8.data() + start, at - start, converted) && !converted.empty();
      if (held) result += converted;
    }
    if (!held) {
      expected = "text code page " + std::to_string(codePage) + " can hold (not " + Quoted(utf8.substr(start, at - start)) + ")";
      return false;
    }
  }
  out = std::move(result);
  return true;
}

std::string ToCodePageOrRefuse(const std::string& utf8, uint32_t codePage, const std::string& where) {
  std::string out, expected;
  if (!ToCodePage(utf8, codePage, out, expected)) throw HostError(where + ": expected " + expected);
  return out;
}

namespace {

// `text` of `codePage` in UTF-8; a byte that starts no character is U+FFFD when
// `replace` is set, else the answer is false.
bool Decode(const std::string& text, uint32_t codePage, std::string& out, bool replace) {
  if (IsAscii(text)) {
    out = text;
    return true;
  }
  std::string result;
  result.reserve(text.size() + text.size() / 2);
  if (codePage == 1252) {
    for (char c : text) {
      const uint8_t byte = uint8_t(c);
      AppendUtf8(byte >= 0x80 && byte < 0xA0 ? k1252High[byte - 0x80] : byte, result);
    }
    out = std::move(result);
    return true;
  }
  const char* name = IconvName(codePage);
  if (!name) return false;
  Converter converter("UTF-8", name);
  // Character by character: a single byte below 0x80 or not a lead byte, else two.
  const auto lead = [codePage](uint8_t byte) {
    if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    return byte >= 0x81 && byte <= 0xFE;
  };
  for (size_t at = 0; at < text.size();) {
    const uint8_t byte = uint8_t(text[at]);
    if (byte < 0x80) {
      result += char(byte);
      ++at;
      continue;
    }
    const size_t width = lead(byte) && at + 1 < text.size() ? 2 : 1;
    std::string converted;
    if (!converter.Convert(text.data() + at, width, converted) || converted.empty()) {
      if (!replace) return false;
      converted = "\xEF\xBF\xBD";
    }
    result += converted;
    at += width;
  }
  out = std::move(result);
  return true;
}

}  // namespace

bool FromCodePage(const std::string& text, uint32_t codePage, std::string& out) {
  return Decode(text, codePage, out, false);
}

std::string ShownFromCodePage(const std::string& text, uint32_t codePage) {
  std::string out;
  if (!Decode(text, codePage, out, true)) return text;
  return out;
}

std::string ShownText(const std::string& text) { return ShownFromCodePage(text, QVPlatform_GetACP()); }

std::string ToHostText(const std::string& utf8, const std::string& where) {
  return ToCodePageOrRefuse(utf8, QVPlatform_GetACP(), where);
}

}  // namespace qvhost
