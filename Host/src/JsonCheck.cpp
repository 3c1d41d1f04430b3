// Strict JSON reading with precise refusals.
#include "JsonCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

namespace qvhost {

namespace {

using nlohmann::json;

// The bytes of a document, from memory or a file descriptor, checked a block at a time:
// a NUL byte, a byte that breaks UTF-8 or one past the size limit ends the input there,
// and the reason is kept. The parser reads the checked bytes straight from the block.
class ByteSource {
 public:
  enum class Stop { None, End, Nul, Utf8, TooLarge, ReadError };

  ByteSource(const char* data, size_t size) { Take(data, size); }
  explicit ByteSource(int descriptor) : fDescriptor(descriptor), fBuffer(1 << 20) {}

  // Whether the input has ended (or stopped) at the current byte.
  bool AtEnd() { return fAt == fLimit && !More(); }
  char Current() const { return *fAt; }
  void Advance() { ++fAt; }

  Stop Stopped() const { return fStop; }
  // The offset of the byte it stopped at; for invalid UTF-8, where the character began.
  uint64_t Offset() const {
    const uint64_t at = fBase + uint64_t(fAt - fData);
    return fStop == Stop::Utf8 || InsideCharacter() ? fCharacterStart : at;
  }
  int Error() const { return fError; }
  // The input ended inside a UTF-8 character.
  bool InsideCharacter() const { return fContinuations > 0; }

 private:
  // Past the checked bytes of the block: the reason it stopped there, or the next block.
  bool More() {
    if (fStop != Stop::None) return false;
    if (fPending != Stop::None) {
      fStop = fPending;
      return false;
    }
    if (fDescriptor < 0) {
      fStop = Stop::End;
      return false;
    }
    ssize_t got;
    do {
      got = ::read(fDescriptor, fBuffer.data(), fBuffer.size());
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
      fError = got < 0 ? errno : 0;
      fStop = got < 0 ? Stop::ReadError : Stop::End;
      return false;
    }
    fBase += uint64_t(fData == nullptr ? 0 : fLimit - fData);
    Take(fBuffer.data(), size_t(got));
    return fAt != fLimit || More();
  }

  // Makes `data` the current block and checks it up to the first byte that stops the input.
  void Take(const char* data, size_t size) {
    fData = fAt = data;
    const uint64_t room = fBase >= JsonCheck::kMaxFileBytes ? 0 : JsonCheck::kMaxFileBytes - fBase;
    const size_t allowed = uint64_t(size) > room ? size_t(room) : size;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    size_t i = 0;
    for (; i < allowed; ++i) {
      const uint8_t byte = bytes[i];
      if (byte - 1u < 0x7Fu && fContinuations == 0) continue;  // plain ASCII, not NUL
      if (byte == 0) {
        fPending = Stop::Nul;
        break;
      }
      if (!Utf8(byte, fBase + i)) {
        fPending = Stop::Utf8;
        break;
      }
    }
    if (i == allowed && allowed < size) fPending = Stop::TooLarge;
    fLimit = data + i;
  }

  // Whether `byte` at `offset` may come next in UTF-8 (called once per byte, in order).
  bool Utf8(uint8_t byte, uint64_t offset) {
    if (fContinuations > 0) {
      if (byte < fLow || byte > fHigh) return false;
      fLow = 0x80;
      fHigh = 0xBF;
      --fContinuations;
    } else if (byte >= 0x80) {
      fCharacterStart = offset;
      fLow = 0x80;
      fHigh = 0xBF;
      if (byte >= 0xC2 && byte <= 0xDF) {
        fContinuations = 1;
      } else if (byte >= 0xE0 && byte <= 0xEF) {
        fContinuations = 2;
        if (byte == 0xE0) fLow = 0xA0;   // no overlong forms
        if (byte == 0xED) fHigh = 0x9F;  // no surrogates
      } else if (byte >= 0xF0 && byte <= 0xF4) {
        fContinuations = 3;
        if (byte == 0xF0) fLow = 0x90;
        if (byte == 0xF4) fHigh = 0x8F;  // nothing past U+10FFFF
      } else {
        return false;
      }
    }
    return true;
  }

  const char* fData = nullptr;
  const char* fAt = nullptr;
  const char* fLimit = nullptr;  // the end of the checked bytes of the block
  uint64_t fBase = 0;            // the offset of the block's first byte
  int fDescriptor = -1;
  std::vector<char> fBuffer;
  uint64_t fCharacterStart = 0;
  int fContinuations = 0;
  uint8_t fLow = 0x80, fHigh = 0xBF;
  Stop fPending = Stop::None;  // why the checked bytes of the block end early
  Stop fStop = Stop::None;
  int fError = 0;
};

// An input iterator over a ByteSource; the default one is the end.
class ByteIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = char;

  ByteIterator() = default;
  explicit ByteIterator(ByteSource* source) : fSource(source) {}
  char operator*() const { return fSource->Current(); }
  ByteIterator& operator++() {
    fSource->Advance();
    return *this;
  }
  ByteIterator operator++(int) {
    ByteIterator before = *this;
    ++*this;
    return before;
  }
  bool operator==(const ByteIterator& other) const { return AtEnd() == other.AtEnd(); }
  bool operator!=(const ByteIterator& other) const { return !(*this == other); }

 private:
  bool AtEnd() const { return !fSource || fSource->AtEnd(); }
  ByteSource* fSource = nullptr;
};

// Builds the document from the parser's events, keeping the JSON path of the value being
// read; refuses a key an object already has.
class DocumentBuilder final : public nlohmann::json_sax<json> {
 public:
  explicit DocumentBuilder(const JsonCheck::Entries* entries) : fEntries(entries) {}

  json document;
  std::string error;  // set when the builder refused, or from the parser's error
  bool complete = false;
  bool numberOutOfRange = false;
  std::string lastToken, errorPath;
  uint64_t errorOffset = 0;  // of the byte the parser stopped at

  bool null() override { return Add(json(nullptr)); }
  bool boolean(bool value) override { return Add(json(value)); }
  bool number_integer(number_integer_t value) override { return Add(json(value)); }
  bool number_unsigned(number_unsigned_t value) override { return Add(json(value)); }
  bool number_float(number_float_t value, const string_t&) override { return Add(json(value)); }
  bool string(string_t& value) override { return Add(json(std::move(value))); }
  bool binary(binary_t&) override { return Add(json()); }
  bool start_object(std::size_t) override { return Open(json::object()); }
  bool key(string_t& key) override {
    Frame& frame = fOpen.back();
    if (frame.value->contains(key)) {
      error = ObjectPath(fOpen.size()) + "." + key;
      return false;
    }
    frame.key = std::move(key);
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(json::array()); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& exception) override {
    numberOutOfRange = dynamic_cast<const nlohmann::detail::out_of_range*>(&exception) != nullptr;
    lastToken = token;
    errorPath = Path();
    errorOffset = position > 0 ? position - 1 : 0;
    return false;
  }

  // The JSON path of the value being read: each open container's step to its child, which
  // is placed already, then the innermost one's step to the value still to come.
  std::string Path() const {
    std::string path = ObjectPath(fOpen.size());
    if (!fOpen.empty()) path += Step(fOpen.back(), false);
    return path;
  }

 private:
  struct Frame {
    json* value;
    std::string key;
    size_t count = 0;  // of an array: the entries placed, also those handed on
  };

  static std::string Step(const Frame& frame, bool placed) {
    if (frame.value->is_object()) return "." + frame.key;
    return "[" + std::to_string(frame.count - (placed ? 1 : 0)) + "]";
  }
  // Whether the innermost open container is the array whose entries are handed on.
  bool InEntries() const {
    return fEntries && fOpen.size() == 2 && fOpen[0].value->is_object() && fOpen[1].value->is_array() &&
           fOpen[0].key == fEntries->key;
  }
  // Hands on the last entry of the entries' array and leaves it out.
  void HandOn() {
    json& array = *fOpen[1].value;
    fEntries->take(document, array.back(), fOpen[1].count - 1);
    array.erase(array.size() - 1);
  }
  // The path of the container open at depth `depth` (the root's at 1).
  std::string ObjectPath(size_t depth) const {
    std::string path = "$";
    for (size_t i = 0; i + 1 < depth; ++i) path += Step(fOpen[i], true);
    return path;
  }

  json* Place(json&& value) {
    if (fOpen.empty()) {
      document = std::move(value);
      return &document;
    }
    json& parent = *fOpen.back().value;
    if (parent.is_object()) return &(parent[fOpen.back().key] = std::move(value));
    parent.push_back(std::move(value));
    ++fOpen.back().count;
    return &parent.back();
  }
  bool Add(json&& value) {
    Place(std::move(value));
    if (InEntries()) HandOn();
    complete = fOpen.empty();
    return true;
  }
  bool Open(json&& value) {
    fOpen.push_back({Place(std::move(value)), ""});
    return true;
  }
  bool Close() {
    fOpen.pop_back();
    if (InEntries()) HandOn();
    complete = fOpen.empty();
    return true;
  }

  const JsonCheck::Entries* fEntries;
  std::vector<Frame> fOpen;
};

json ParseSource(ByteSource& source, const std::string& name, const JsonCheck::Entries* entries) {
  DocumentBuilder builder(entries);
  const std::string file = ShownPath(name);
  const bool parsed = json::sax_parse(ByteIterator(&source), ByteIterator(), &builder, json::input_format_t::json, true);
  // After a whole document only the end of the file may stop the reading: a NUL byte, bad
  // UTF-8 or a read error behind it make no whole file.
  const bool whole = source.Stopped() == ByteSource::Stop::End && !source.InsideCharacter();
  if (parsed && whole) return std::move(builder.document);
  if (!builder.error.empty())
    throw HostError(file + ": " + ShownPath(builder.error) + ": expected a key the object does not have already");
  const std::string at = " at byte offset " + std::to_string(source.Offset());
  switch (source.Stopped()) {
    case ByteSource::Stop::Nul:
      throw HostError(file + ": a NUL byte" + at + ": expected JSON text");
    case ByteSource::Stop::Utf8:
      throw HostError(file + ": invalid UTF-8" + at + ": expected UTF-8 text");
    case ByteSource::Stop::TooLarge:
      throw HostError(file + ": larger than 2 GiB: expected a file of at most 2 GiB");
    case ByteSource::Stop::ReadError:
      throw HostError(file + ": cannot read the file" + at + " (" + std::strerror(source.Error()) + ")");
    default:
      break;
  }
  if (builder.numberOutOfRange)
    throw HostError(file + ": " + ShownPath(builder.errorPath) + ": expected a number within range (not " +
                    ShownValue(builder.lastToken) + ")");
  if (source.Stopped() == ByteSource::Stop::End) {
    if (source.InsideCharacter())
      throw HostError(file + ": invalid UTF-8" + at + ": the file ends inside a character");
    if (source.Offset() == 0) throw HostError(file + ": an empty file: expected a JSON document");
    throw HostError(file + ": malformed JSON: the file ends" + at + " inside the document (truncated?)");
  }
  const std::string where = " at byte offset " + std::to_string(builder.errorOffset);
  if (builder.complete) throw HostError(file + ": malformed JSON: text after the end of the document" + where);
  throw HostError(file + ": malformed JSON" + where + " (after \"" + ShownValue(builder.lastToken) +
                  "\"): expected a JSON value or punctuation");
}

}  // namespace

std::string ShownPath(const std::string& path) {
  constexpr size_t kLimit = 200;
  if (path.size() <= kLimit) return path;
  size_t start = path.size() - (kLimit - 3);
  while (start < path.size() && (uint8_t(path[start]) & 0xC0) == 0x80) ++start;  // not inside a character
  return "..." + path.substr(start);
}

std::string ShownValue(const std::string& text) {
  constexpr size_t kLimit = 40;
  if (text.size() <= kLimit) return text;
  size_t end = kLimit - 3;
  while (end > 0 && (uint8_t(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + "...";
}

json JsonCheck::ReadFile(const std::string& path, const Entries* entries) {
  const std::string file = ShownPath(path);
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    throw HostError(file + ": cannot open the file (" + std::strerror(errno) + ")");
  if (S_ISDIR(status.st_mode)) throw HostError(file + ": a folder: expected a file");
  if (!S_ISREG(status.st_mode))
    throw HostError(file + ": not a regular file (a device, FIFO or socket): expected a file");
  int descriptor;
  do {
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) throw HostError(file + ": cannot open the file (" + std::strerror(errno) + ")");
  // What was opened is checked again: the path may have changed in between.
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor);
    throw HostError(file + ": not a regular file: expected a file");
  }
  if (uint64_t(status.st_size) > kMaxFileBytes) {
    ::close(descriptor);
    throw HostError(file + ": larger than 2 GiB: expected a file of at most 2 GiB");
  }
  ByteSource source(descriptor);
  try {
    json document = ParseSource(source, path, entries);
    ::close(descriptor);
    return document;
  } catch (...) {
    ::close(descriptor);
    throw;
  }
}

json JsonCheck::Parse(const std::string& text, const std::string& name, const Entries* entries) {
  ByteSource source(text.data(), text.size());
  return ParseSource(source, name, entries);
}

void JsonCheck::Fail(const std::string& where, const std::string& expected) const {
  throw HostError(ShownPath(fFile) + ": " + ShownPath(where) + ": expected " + expected);
}

const nlohmann::json& JsonCheck::Object(const nlohmann::json& value, const std::string& where,
                                        std::initializer_list<const char*> allowedKeys) const {
  if (!value.is_object()) Fail(where, "an object");
  for (auto it = value.begin(); it != value.end(); ++it) {
    bool known = false;
    for (const char* key : allowedKeys) known = known || it.key() == key;
    if (!known) {
      std::string keys;
      for (const char* key : allowedKeys) keys += std::string(keys.empty() ? "" : ", ") + key;
      Fail(JsonPath(where, it.key()), "no such key (known keys: " + keys + ")");
    }
  }
  return value;
}

const nlohmann::json& JsonCheck::Array(const nlohmann::json& value, const std::string& where) const {
  if (!value.is_array()) Fail(where, "an array");
  return value;
}

std::string JsonCheck::String(const nlohmann::json& value, const std::string& where) const {
  if (!value.is_string()) Fail(where, "a string");
  return value.get<std::string>();
}

int64_t JsonCheck::Integer(const nlohmann::json& value, const std::string& where, int64_t low,
                           int64_t high) const {
  const std::string range = "an integer from " + std::to_string(low) + " to " + std::to_string(high);
  // An integer too long for 64 bits arrives as a float.
  if (value.is_number_float() && std::isfinite(value.get<double>()) &&
      std::floor(value.get<double>()) == value.get<double>() && std::fabs(value.get<double>()) >= 9.2e18) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value.get<double>());
    Fail(where, range + " (not " + ShownValue(text) + ")");
  }
  if (!value.is_number_integer()) Fail(where, "an integer");
  const bool tooLarge = value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX);
  const int64_t number = tooLarge ? INT64_MAX : value.get<int64_t>();
  if (number < low || number > high)
    Fail(where, range + " (not " +
                    ShownValue(value.is_number_unsigned() ? std::to_string(value.get<uint64_t>())
                                                          : std::to_string(number)) +
                    ")");
  return number;
}

double JsonCheck::Number(const nlohmann::json& value, const std::string& where) const {
  if (!value.is_number()) Fail(where, "a number");
  return value.get<double>();
}

bool JsonCheck::Boolean(const nlohmann::json& value, const std::string& where) const {
  if (!value.is_boolean()) Fail(where, "true or false");
  return value.get<bool>();
}

const nlohmann::json& JsonCheck::Required(const nlohmann::json& object, const std::string& where,
                                          const char* key) const {
  auto it = object.find(key);
  if (it == object.end()) Fail(JsonPath(where, key), "this key (it is required)");
  return *it;
}

}  // namespace qvhost
