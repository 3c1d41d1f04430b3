// The reference host's character translation record.
#include "qvhost/TranslationRecord.h"

namespace qvhost {

namespace {

// One size byte, then entries of a key byte and a zero-terminated replacement. The byte
// 27 itself, which the identity table sends to the list, is kept by its own entry.
constexpr uint8_t kFileToHostList[] = {14, 0x85, '.', '.', '.', 0, 0x99, '(', 'T', 'M', ')', 0, 27, 27, 0};
constexpr uint8_t kHostToFileList[] = {13, 0xA9, '(', 'c', ')', 0, 0xBC, '1', '/', '4', 0, 27, 27, 0};
static_assert(sizeof kFileToHostList == 1 + kFileToHostList[0], "list size byte");
static_assert(sizeof kHostToFileList == 1 + kHostToFileList[0], "list size byte");

QVTranslationRecord MakeRecord() {
  QVTranslationRecord record{};
  for (int b = 0; b < 256; ++b) record.tables[0][b] = record.tables[1][b] = uint8_t(b);
  uint8_t* fileToHost = record.tables[0];
  fileToHost[0x80] = 0xA4;
  fileToHost[0x81] = 0;
  fileToHost[0x85] = kQVTranslateFromList;
  fileToHost[0x99] = kQVTranslateFromList;
  fileToHost[0x8D] = kQVTranslateFromList;
  uint8_t* hostToFile = record.tables[1];
  hostToFile[0xA4] = 0x80;
  hostToFile[0x7F] = 0;
  hostToFile[0xA9] = kQVTranslateFromList;
  hostToFile[0xBC] = kQVTranslateFromList;
  hostToFile[0x8F] = kQVTranslateFromList;
  record.replacements[0] = kFileToHostList;
  record.replacements[1] = kHostToFileList;
  return record;
}

}  // namespace

const QVTranslationRecord& DefaultTranslationRecord() {
  static const QVTranslationRecord record = MakeRecord();
  return record;
}

}  // namespace qvhost
