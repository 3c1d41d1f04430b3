// String operations shared by fixed and dynamic strings.
#include "QVString.h"

#include <cstdint>
#include <cstring>

#include "QVBlocks.h"
#include "QVMemory.h"
#include "qvplatform/Platform.h"

namespace {

// 0: not yet seen, 1: single-byte (1252), 2: double-byte.
int gCodePageState = 0;

bool IsLeadByte(uint8_t byte) { return QVPlatform_IsDBCSLeadByte(byte); }

int16_t CompareNoCase(const TQVString& a, const TQVString& b) {
  return int16_t(QVPlatform_CompareTextNoCase(a.CStr(), b.CStr()));
}

}  // namespace

bool QVSingleByteCodePage() {
  if (gCodePageState == 0) gCodePageState = QVPlatform_GetACP() == 1252 ? 1 : 2;
  return gCodePageState == 1;
}

void QVResetCodePageState() { gCodePageState = 0; }

int32_t TQVString::CountCharacters(const char* text) {
  if (!text) return 0;
  if (QVSingleByteCodePage()) return int32_t(std::strlen(text));
  int32_t count = 0;
  for (const char* p = text; *p; p = QVPlatform_CharNext(p)) ++count;
  return count;
}

int32_t TQVString::ByteSpan(int32_t start, int32_t count) const {
  if (start < 0) start = 0;
  if (start + count > fCharacterCount) count = fCharacterCount - start;
  if (count <= 0) return 0;
  if (QVSingleByteCodePage()) return count;
  const char* text = CStr();
  const char* p = text;
  for (int32_t i = 0; i < start && *p; ++i) p = QVPlatform_CharNext(p);
  const char* first = p;
  for (int32_t i = 0; i < count && *p; ++i) p = QVPlatform_CharNext(p);
  return int32_t(p - first);
}

const char* TQVString::CStr() const {
  const char* characters = Characters();
  return characters ? characters : "";
}

void TQVString::Recount() {
  const int32_t count = Characters() ? CountCharacters(Characters()) : 0;
  fCharacterCount = count < fByteLength ? count : fByteLength;
}

void TQVString::ConstructOver(char* buffer, int32_t capacity, const char* text, int32_t count) {
  fCapacity = capacity;
  fByteLength = count < capacity ? (count < 0 ? 0 : count) : capacity;
  if (text && fByteLength != 0) {
    QVCopy(buffer, text, size_t(fByteLength));
    buffer[fByteLength] = 0;
    fCharacterCount = CountCharacters(buffer);
    if (fCharacterCount > fByteLength) fCharacterCount = fByteLength;
  } else {
    fByteLength = 0;
    fCharacterCount = 0;
    QVFill(0, buffer, size_t(capacity) + 1);
  }
}

void TQVString::ConstructOverWritten(char* buffer, int32_t capacity, int32_t length) {
  fCapacity = capacity;
  fByteLength = length < capacity ? (length < 0 ? 0 : length) : capacity;
  if (fByteLength != 0) {
    buffer[fByteLength] = 0;
    // Without a zero byte in the text, a single-byte code page counts every byte.
    fCharacterCount = QVSingleByteCodePage() ? fByteLength : CountCharacters(buffer);
    if (fCharacterCount > fByteLength) fCharacterCount = fByteLength;
  } else {
    fCharacterCount = 0;
    QVFill(0, buffer, size_t(capacity) + 1);
  }
}

void TQVString::SetFrom(const char* text, int32_t count) {
  SetByteLength(count);
  char* characters = Characters();
  if (!characters) {
    fCharacterCount = 0;
    return;
  }
  if (text && fByteLength > 0) QVMove(characters, text, size_t(fByteLength));
  characters[fByteLength] = 0;
  Recount();
}

void TQVString::SetFrom(const char* text) { SetFrom(text, text ? int32_t(std::strlen(text)) : 0); }

void TQVString::Assign(const TQVString& other) {
  if (&other != this) SetFrom(other.Characters(), other.fByteLength);
}

void TQVString::AppendChar(uint16_t character) {
  const uint8_t high = uint8_t(character >> 8), low = uint8_t(character);
  if (low == 0) return;  // the terminator is not a character
  const int32_t width = (!QVSingleByteCodePage() && IsLeadByte(high)) ? 2 : 1;
  const int32_t oldLength = fByteLength;
  SetByteLength(oldLength + width);
  // A character that does not fit whole is not appended.
  if (fByteLength != oldLength + width || !Characters()) {
    if (fByteLength > oldLength) fByteLength = oldLength;
    Terminate();
    return;
  }
  char* end = Characters() + oldLength;
  if (width == 2) *end++ = char(high);
  *end = char(low);
  Terminate();
  ++fCharacterCount;
}

void TQVString::Append(const TQVString& other) {
  const int32_t added = other.fByteLength;
  if (added <= 0) return;
  const int32_t oldLength = fByteLength;
  SetByteLength(oldLength + added);
  char* characters = Characters();
  if (!characters) return;
  const int32_t fits = fByteLength - oldLength;
  if (fits > 0) QVMove(characters + oldLength, other.Characters(), size_t(fits));
  Terminate();
  if (QVSingleByteCodePage() && fCharacterCount == oldLength) {
    // Counting only the appended bytes gives the count of the whole text.
    int32_t added = 0;
    while (added < fits && characters[oldLength + added] != 0) ++added;
    fCharacterCount = oldLength + added;
  } else {
    Recount();
  }
}

bool TQVString::Less(const TQVString& other) const { return CompareNoCase(*this, other) < 0; }
bool TQVString::Greater(const TQVString& other) const { return CompareNoCase(*this, other) > 0; }
bool TQVString::LessOrEqual(const TQVString& other) const { return CompareNoCase(*this, other) <= 0; }
bool TQVString::GreaterOrEqual(const TQVString& other) const { return CompareNoCase(*this, other) >= 0; }

bool TQVString::Equals(const TQVString& other) const { return Compare(other) == 0; }

int32_t TQVString::Compare(const TQVString& other) const {
  const auto* a = reinterpret_cast<const uint8_t*>(CStr());
  const auto* b = reinterpret_cast<const uint8_t*>(other.CStr());
  for (;; ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (*a == 0) return 0;
  }
}

void TQVString::Insert(const TQVString& other, int32_t characterIndex) {
  const int32_t added = other.fByteLength;
  if (added <= 0 || characterIndex < 0 || characterIndex > fCharacterCount) return;
  char* characters = Characters();
  if (!characters) return;
  // Inserting a string into itself reads the original bytes.
  TQVFixedString<1023> copy;
  const char* source = other.Characters();
  if (&other == this) {
    if (added > copy.Capacity()) return;
    copy.Assign(other);
    source = copy.Characters();
  }
  const int32_t offset = ByteSpan(0, characterIndex);
  const int32_t tail = fByteLength - offset;
  if (fByteLength + added <= fCapacity) {
    QVMove(characters + offset + added, characters + offset, size_t(tail));
    QVCopy(characters + offset, source, size_t(added));
    fCharacterCount += other.fCharacterCount;
    fByteLength += added;
    Terminate();
    return;
  }
  // Cut at the capacity.
  if (offset + added >= fCapacity) {
    QVCopy(characters + offset, source, size_t(fCapacity - offset));
  } else {
    QVMove(characters + offset + added, characters + offset, size_t(fCapacity - offset - added));
    QVCopy(characters + offset, source, size_t(added));
  }
  fByteLength = fCapacity;
  Terminate();
  Recount();
}

// ---- Dynamic strings ----------------------------------------------------------------

TQVDynamicString::TQVDynamicString(const char* text, int32_t count) {
  if (count < 0) count = 0;
  fBlock = static_cast<char*>(QVAllocateBlock(size_t(count) + 1));
  if (fBlock) ConstructOver(fBlock, count, text, count);
}

TQVDynamicString::TQVDynamicString(const char* text)
    : TQVDynamicString(text, text ? int32_t(std::strlen(text)) : 0) {}

TQVDynamicString::~TQVDynamicString() {
  QVFreeBlock(fBlock);
  fBlock = nullptr;
}

void TQVDynamicString::DeleteThis(uint32_t flags) {
  this->~TQVDynamicString();
  if (flags & 1) QVFreeObject(this);
}

void TQVDynamicString::Reallocate(int32_t capacity) {
  if (capacity < 0) capacity = 0;
  char* block = static_cast<char*>(QVReallocateBlock(fBlock, size_t(capacity) + 1));
  if (!block) {
    fCapacity = 0;
    fCharacterCount = 0;
    fByteLength = 0;
    Terminate();
    return;
  }
  fBlock = block;
  fCapacity = capacity;
  const bool cut = fByteLength > capacity;
  if (cut) fByteLength = capacity;
  Terminate();  // a fresh block has no terminator yet
  if (cut) Recount();
}

void TQVDynamicString::SetCapacity(int32_t capacity) {
  if (capacity != fCapacity) Reallocate(capacity);
}

void TQVDynamicString::SetByteLength(int32_t length) {
  if (length < 0) length = 0;
  if (length > fCapacity) Reallocate(length);
  fByteLength = length < fCapacity ? length : fCapacity;
}

void TQVDynamicString::Insert(const TQVString& other, int32_t characterIndex) {
  const int32_t added = other.ByteLength();
  if (added <= 0 || characterIndex < 0 || characterIndex > fCharacterCount) return;
  if (fByteLength + added <= fCapacity && &other != this) {
    TQVString::Insert(other, characterIndex);
    return;
  }
  // Build the combined text in a block of the exact size, then take it.
  const int32_t total = fByteLength + added;
  char* combined = static_cast<char*>(QVAllocateBlock(size_t(total) + 1));
  if (!combined) return;
  const int32_t offset = ByteSpan(0, characterIndex);
  QVCopy(combined, CStr(), size_t(offset));
  QVCopy(combined + offset, other.CStr(), size_t(added));
  QVCopy(combined + offset + added, CStr() + offset, size_t(fByteLength - offset));
  combined[total] = 0;
  SetFrom(combined, total);
  QVFreeBlock(combined);
}

// ---- Translation with host tables -------------------------------------------------

namespace {

// The replacement of `key` in a list, or null when the key has no entry.
const char* FindReplacement(const uint8_t* list, uint8_t key) {
  if (!list) return nullptr;
  const uint8_t* entry = list + 1;
  const uint8_t* end = entry + list[0];
  while (entry < end) {
    const uint8_t* text = entry + 1;
    const uint8_t* stop = text;
    while (stop < end && *stop) ++stop;
    if (stop >= end) return nullptr;  // entry not terminated inside the list
    if (*entry == key) return reinterpret_cast<const char*>(text);
    entry = stop + 1;
  }
  return nullptr;
}

}  // namespace

void QVTranslateCharacters(TQVString& text, const QVTranslationRecord& record, int direction) {
  if (direction != 0 && direction != 1) return;
  const uint8_t* table = record.tables[direction];
  const uint8_t* list = record.replacements[direction];
  const int32_t length = text.ByteLength();
  if (length <= 0 || !text.Characters()) return;

  // Bytes that the table keeps stay where they are; the work starts at the first other.
  const auto* original = reinterpret_cast<const uint8_t*>(text.Characters());
  int32_t first = 0;
  while (first < length && table[original[first]] == original[first] &&
         original[first] != kQVTranslateFromList)
    ++first;
  if (first == length) return;

  // The bytes are translated in place. Before each byte the text holds the output so far
  // followed by the unread rest; `peak` is the most that ever takes.
  int64_t needed = first, peak = length;
  for (int32_t i = first; i < length; ++i) {
    const uint8_t value = table[original[i]];
    if (value == kQVTranslateFromList) {
      if (const char* replacement = FindReplacement(list, original[i])) {
        needed += int64_t(std::strlen(replacement));
        const int64_t extent = needed + (length - i - 1);
        if (extent > peak) peak = extent;
      }
    } else if (value != 0) {
      ++needed;
    }
  }

  // A string that can grow makes room for the peak and ends at the needed length plus
  // a hundredth of its capacity; one that cannot drops the replacements that do not fit.
  const int32_t capacity = text.Capacity();
  int64_t finalCapacity = capacity;
  if (needed > capacity) finalCapacity = needed + int64_t(double(capacity) * 0.01);
  const int64_t room = peak > finalCapacity ? peak : finalCapacity;
  if (room > capacity && room < INT32_MAX) {
    text.SetCapacity(int32_t(room));
    if (text.ByteLength() != length || !text.Characters()) return;  // refused: left empty
  }

  char* characters = text.Characters();
  // The unread bytes move to the end of the room when replacements need space.
  const int32_t unread = length - first;
  const int32_t start = peak > length ? text.Capacity() - unread : first;
  if (start != first) QVMove(characters + start, characters + first, size_t(unread));
  const int64_t limit = int64_t(start) + unread;
  int32_t out = first;
  for (int32_t i = 0; i < unread; ++i) {
    const auto byte = uint8_t(characters[start + i]);
    const uint8_t value = table[byte];
    if (value == kQVTranslateFromList) {
      const char* replacement = FindReplacement(list, byte);
      if (!replacement) continue;
      const auto size = int32_t(std::strlen(replacement));
      if (int64_t(out) + size + (unread - i - 1) > limit) continue;  // does not fit
      QVCopy(characters + out, replacement, size_t(size));
      out += size;
    } else if (value != 0) {
      characters[out++] = char(value);
    }
  }
  text.SetFrom(characters, out);
  if (text.Capacity() > finalCapacity && finalCapacity >= out) text.SetCapacity(int32_t(finalCapacity));
}
