// Resource files: a good one read whole, bad ones refused with file, path and expectation.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "qvhost/HostError.h"
#include "qvhost/ResourceFile.h"

namespace fs = std::filesystem;

namespace {

std::string WriteTemp(const std::string& text) {
  static int counter = 0;
  return WriteTempFile("resources-" + std::to_string(counter++) + ".qvr.json", text);
}

TEST(ResourceFileTest, ReadsEverySection) {
  const std::string path = WriteTemp(R"({
    "module": "Demo",
    "components": [{"family": "scmd", "class": "JtKy", "classId": "{01234567-89AB-CDEF-0123-456789ABCDEF}", "name": "Demo"}],
    "dialogs": [{"id": 150, "title": "Demo", "size": 12, "fields": [{"name": "Seed", "type": "int32", "offset": 8}], "controls": ["SHUF"]}],
    "alerts": [{"id": 300, "text": "Minimum above maximum."}],
    "strings": [{"id": 128, "entries": ["Pick", "Choose"]}]
  })");
  const qvhost::ResourceFile file = qvhost::LoadResourceFile(path);
  EXPECT_EQ(file.module, "Demo");
  ASSERT_EQ(file.components.size(), 1u);
  EXPECT_EQ(file.components[0].family, QVFourCC("scmd"));
  EXPECT_EQ(file.components[0].classCode, QVFourCC("JtKy"));
  EXPECT_EQ(qvhost::FormatGuid(file.components[0].classId), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
  const qvhost::DialogResource* dialog = file.FindDialog(150);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->fields.at(0).offset, 8u);
  EXPECT_EQ(dialog->blockSize, 12u);
  EXPECT_EQ(dialog->controls.at(0), QVFourCC("SHUF"));
  EXPECT_EQ(file.alerts.at(300), "Minimum above maximum.");
  EXPECT_EQ(file.stringLists.at(128).at(1), "Choose");
  fs::remove(path);
}

TEST(ResourceFileTest, RefusesBadFilesWithWhereAndWhat) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"{", "malformed JSON"},
      {"[]", "$: expected an object"},
      {R"({"components": []})", "$.module: expected this key"},
      {R"({"module": 3, "components": []})", "$.module: expected a string"},
      {R"({"module": "M", "components": [], "colour": 1})", "$.colour: expected no such key"},
      {R"({"module": "M", "components": [{"family": "scmdx", "classId": "{01234567-89AB-CDEF-0123-456789ABCDEF}", "name": "x"}]})",
       "$.components[0].family: expected a four-character code"},
      {R"({"module": "M", "components": [{"family": "scmd", "classId": "nope", "name": "x"}]})",
       "$.components[0].classId: expected a class identifier"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 8, "fields": [{"name": "a", "type": "double", "offset": 0}]}]})",
       "$.dialogs[0].fields[0].type: expected one of"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "fields": []}]})", "$.dialogs[0].size: expected this key"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": -1}]})",
       "$.dialogs[0].size: expected an integer from 0 to 1048576 (not -1)"},
      // A field past the block, one that ends past it, fields over each other, misaligned ones.
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 12, "fields": [{"name": "a", "type": "int32", "offset": 4000}]}]})",
       "$.dialogs[0].fields[0].offset: expected a field within the block of 12 bytes (a int32 of 4 bytes at 4000 ends at 4004)"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 12, "fields": [{"name": "a", "type": "int32", "offset": 12}]}]})",
       "$.dialogs[0].fields[0].offset: expected a field within the block of 12 bytes"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 300, "fields": [{"name": "t", "type": "string255", "offset": 32}]}]})",
       "$.dialogs[0].fields[0].offset: expected a field within the block of 300 bytes"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 12, "fields": [
          {"name": "a", "type": "int32", "offset": 4}, {"name": "b", "type": "int16", "offset": 6}]}]})",
       "$.dialogs[0].fields[1].offset: expected a field over no other field (it overlaps a, bytes 4 to 8)"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 12, "fields": [
          {"name": "a", "type": "bool", "offset": 4}, {"name": "b", "type": "int32", "offset": 4}]}]})",
       "$.dialogs[0].fields[1].offset: expected a field over no other field (it overlaps a, bytes 4 to 5)"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 12, "fields": [
          {"name": "b", "type": "int32", "offset": 8}, {"name": "a", "type": "int32", "offset": 4}, {"name": "c", "type": "bool", "offset": 7}]}]})",
       "$.dialogs[0].fields[2].offset: expected a field over no other field (it overlaps a, bytes 4 to 8)"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 12, "fields": [{"name": "a", "type": "int32", "offset": 2}]}]})",
       "$.dialogs[0].fields[0].offset: expected an offset that is a multiple of 4 for a int32 field (not 2)"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 12, "fields": [{"name": "a", "type": "int16", "offset": 1}]}]})",
       "$.dialogs[0].fields[0].offset: expected an offset that is a multiple of 2"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 600, "fields": [{"name": "t", "type": "string255", "offset": 4}]}]})",
       "$.dialogs[0].fields[0].offset: expected an offset that is a multiple of"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 150, "size": 12, "size": 16}]})",
       "$.dialogs[0].size: expected a key the object does not have already"},
      {R"({"module": "M", "components": [], "dialogs": [{"id": 1.5}]})", "$.dialogs[0].id: expected an integer"},
  };
  for (const Case& c : cases) {
    const std::string path = WriteTemp(c.text);
    try {
      qvhost::LoadResourceFile(path);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const qvhost::HostError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << "one line: " << message;
    }
    fs::remove(path);
  }
}

TEST(ResourceFileTest, IdentifierAndCodeTextRoundTrip) {
  QVGUID id{};
  ASSERT_TRUE(qvhost::ParseGuid("{50524F31-7072-6F62-656D-6F64756C6531}", id));
  EXPECT_EQ(id.data1, 0x50524F31u);
  EXPECT_EQ(id.data4[7], 0x31);
  EXPECT_EQ(qvhost::FormatGuid(id), "{50524F31-7072-6F62-656D-6F64756C6531}");
  EXPECT_FALSE(qvhost::ParseGuid("{50524F31-7072-6F62-656D-6F64756C6531}x", id));
  uint32_t code = 0;
  ASSERT_TRUE(qvhost::ParseFourCC("scmd", code));
  EXPECT_EQ(code, 0x73636D64u);
  EXPECT_EQ(qvhost::FormatFourCC(code), "scmd");
  EXPECT_FALSE(qvhost::ParseFourCC("abc", code));
}

}  // namespace
