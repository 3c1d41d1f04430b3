// NoteSheet's file type record and text attribute, linked directly with the host's shell.
#include <string>
#include <vector>

#include "IHostFiles.h"
#include "NoteSheetText.h"
#include "QVServiceTable.h"
#include "RuntimeFixture.h"
#include "qvhost/AttributeHolder.h"
#include "qvhost/HostMemory.h"

namespace {

class NoteSheetInternalsTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }
};

std::vector<std::string> Extensions(const TFileTypeRecord& record) {
  std::vector<std::string> extensions;
  for (const QVExtensionSlot& slot : record.extensions) extensions.push_back(slot.Text().CStr());
  return extensions;
}

TEST_F(NoteSheetInternalsTest, FileTypesKeepEachExtensionAndCodeOnceWhateverTheLetterCase) {
  TFileTypeRecord record;
  for (const char* extension : {"html", "HTML", "htm", "Html", "hTm"}) EXPECT_TRUE(record.AddExtension(extension));
  EXPECT_EQ(Extensions(record), (std::vector<std::string>{"html", "htm"}));
  for (uint32_t code : {QVFourCC("htmL"), QVFourCC("HTML"), QVFourCC("htmL")}) EXPECT_TRUE(record.AddTypeCode(code));
  ASSERT_EQ(record.typeCodes.Length(), 2);
  EXPECT_EQ(record.typeCodes[1], QVFourCC("HTML")) << "type codes are compared exactly";
  // Enough extensions that the array grows many times, moving the strings it holds.
  for (int i = 0; i < 40; ++i) EXPECT_TRUE(record.AddExtension(("x" + std::to_string(i)).c_str()));
  EXPECT_EQ(Extensions(record).at(41), "x39");
  EXPECT_EQ(Extensions(record).at(1), "htm");
}

TEST_F(NoteSheetInternalsTest, ARefusedExtensionLeavesTheRecordAsItWas) {
  TFileTypeRecord record;
  ASSERT_TRUE(record.AddExtension("html"));
  for (int64_t refused : {1, 2}) {  // the array's growth, then the string's block
    qvhost::HostMemory::Instance().RefuseAllocation(refused);
    EXPECT_FALSE(record.AddExtension("htm")) << refused;
    qvhost::HostMemory::Instance().RefuseAllocation(0);
    EXPECT_EQ(Extensions(record), std::vector<std::string>{"html"}) << refused;
  }
  EXPECT_FALSE(record.AddExtension(nullptr));
}

// The component service is taken away from the module for a while: no holder can be made.
class WithoutHolders {
 public:
  WithoutHolders() : fSaved(QVServiceEntry(QVService::Component)) { QVServiceEntry(QVService::Component) = nullptr; }
  ~WithoutHolders() { QVServiceEntry(QVService::Component) = fSaved; }

 private:
  IUnknown* fSaved;
};

size_t DefinedAttributes(TNoteSheetText& text) {
  qvhost::AttributeHolder* holder = qvhost::AttributeHolder::From(text.GetAnimationNode());
  return holder ? holder->Attributes().size() : 0;
}

TEST_F(NoteSheetInternalsTest, AnAttributeNotDefinedForWantOfAHolderIsDefinedOnceOneIsMade) {
  TQVCountedPtr<TNoteSheetText> text;
  text.AttachNew(QVNewObject<TNoteSheetText>());
  {
    WithoutHolders refused;
    EXPECT_EQ(text->Activate(1), kQVOk);
    EXPECT_EQ(text->DefineAttributes(), kQVOk);
    EXPECT_EQ(text->GetAnimationNode(), nullptr);
    EXPECT_EQ(text->Query(), 0);
    text->Entry() = "kept";
    text->EntryChanged();  // nothing to tell
  }
  EXPECT_EQ(text->Activate(1), kQVOk);
  ASSERT_NE(text->GetAnimationNode(), nullptr);
  EXPECT_EQ(DefinedAttributes(*text), 1u);
  EXPECT_EQ(text->Query(), 1);
  EXPECT_EQ(text->Activate(1), kQVOk);
  EXPECT_EQ(DefinedAttributes(*text), 1u) << "Activate defines the attribute once";
}

TEST_F(NoteSheetInternalsTest, ACloneOfAnActiveTextDefinesItsAttributeOnce) {
  TQVCountedPtr<TNoteSheetText> text, copy, inactive;
  text.AttachNew(QVNewObject<TNoteSheetText>());
  copy.AttachNew(QVNewObject<TNoteSheetText>());
  inactive.AttachNew(QVNewObject<TNoteSheetText>());
  text->Activate(1);
  text->CloneInto(*copy);
  EXPECT_EQ(DefinedAttributes(*copy), 1u);
  EXPECT_EQ(copy->Query(), 1) << "the copy is active like its source";
  // A text without holder gives its copy none.
  TQVCountedPtr<TNoteSheetText> inactiveCopy;
  inactiveCopy.AttachNew(QVNewObject<TNoteSheetText>());
  inactive->CloneInto(*inactiveCopy);
  EXPECT_EQ(inactiveCopy->GetAnimationNode(), nullptr);
}

}  // namespace
