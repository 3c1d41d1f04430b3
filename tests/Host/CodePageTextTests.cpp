// Text between UTF-8 and the modules' code page: conversions both ways, refusals, scene
// files read and saved through a code page, and what a module sees and writes.
#include <string>

#include <gtest/gtest.h>

#include "PictureFiles.h"
#include "QVString.h"
#include "TestFiles.h"
#include "ToolRun.h"
#include "qvhost/CodePageText.h"
#include "qvhost/HostError.h"
#include "qvhost/SceneFile.h"
#include "qvplatform/Platform.h"

namespace {

// Puts the process back at code page 1252 whatever a test switched it to.
class CodePageTextTest : public testing::Test {
 protected:
  void TearDown() override {
    QVPlatform_SetACP(1252, nullptr);
    QVResetCodePageState();
  }
};

struct Sample {
  uint32_t codePage;
  const char* utf8;
  const char* bytes;  // in the code page
};
const Sample kSamples[] = {
    {1252, "Café", "Caf\xE9"},
    {1252, "€ “quoted” Œuvre", "\x80 \x93quoted\x94 \x8Cuvre"},
    {1252, "\xC2\x81\xC2\x9D", "\x81\x9D"},  // unassigned in 1252: kept as C1 controls
    {932, "日本語abc", "\x93\xFA\x96\x7B\x8C\xEA" "abc"},
    {932, "ｶﾒﾗ", "\xB6\xD2\xD7"},  // half-width katakana: one byte each
    {936, "中文", "\xD6\xD0\xCE\xC4"},
    {949, "한국", "\xC7\xD1\xB1\xB9"},
    {950, "中文", "\xA4\xA4\xA4\xE5"},
};

TEST_F(CodePageTextTest, ConvertsBothWaysInEveryKnownCodePage) {
  for (const Sample& sample : kSamples) {
    SCOPED_TRACE(std::to_string(sample.codePage) + " " + sample.utf8);
    std::string bytes, back, expected;
    ASSERT_TRUE(qvhost::ToCodePage(sample.utf8, sample.codePage, bytes, expected)) << expected;
    EXPECT_EQ(bytes, sample.bytes);
    ASSERT_TRUE(qvhost::FromCodePage(bytes, sample.codePage, back));
    EXPECT_EQ(back, sample.utf8);
  }
  // Every byte of 1252 is a character: any module text goes to UTF-8 and back.
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += char(byte);
  std::string utf8, back, expected;
  ASSERT_TRUE(qvhost::FromCodePage(all, 1252, utf8));
  ASSERT_TRUE(qvhost::ToCodePage(utf8, 1252, back, expected)) << expected;
  EXPECT_EQ(back, all);
}

TEST_F(CodePageTextTest, RefusesWhatTheCodePageCannotHoldAndMalformedText) {
  const struct {
    uint32_t codePage;
    std::string utf8;
    const char* expected;
  } cases[] = {
      {1252, "日", "text code page 1252 can hold (not \"日\")"},
      {1252, "ok Ā", "text code page 1252 can hold (not \"Ā\")"},
      {932, "\xF0\x9F\x98\x80", "text code page 932 can hold"},
      {1252, "Caf\xE9", "UTF-8 text (byte 3 is not)"},
      {932, "\xC3", "UTF-8 text (byte 0 is not)"},
      {1252, "\xED\xA0\x80", "UTF-8 text (byte 0 is not)"},  // a surrogate
      {1252, "\xC0\xAF", "UTF-8 text (byte 0 is not)"},      // overlong
      {437, "é", "a code page of 1252, 932, 936, 949 or 950 (not 437)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::string out = "untouched", expected;
    EXPECT_FALSE(qvhost::ToCodePage(c.utf8, c.codePage, out, expected));
    EXPECT_EQ(out, "untouched");
    EXPECT_NE(expected.find(c.expected), std::string::npos) << expected;
  }
  try {
    qvhost::ToCodePageOrRefuse("日", 1252, "--set EditText=日");
    ADD_FAILURE() << "converted";
  } catch (const qvhost::HostError& error) {
    EXPECT_STREQ(error.what(), "--set EditText=日: expected text code page 1252 can hold (not \"日\")");
  }
  // A double-byte character cut in two is no text of the code page: saving refuses it,
  // reports show U+FFFD.
  std::string out;
  EXPECT_FALSE(qvhost::FromCodePage("ab\x93", 932, out));
  EXPECT_EQ(qvhost::ShownFromCodePage("ab\x93", 932), "ab\xEF\xBF\xBD");
}

// Under 932 the runtime's strings step over the lead bytes: three characters in six bytes.
TEST_F(CodePageTextTest, DoubleByteTextCountsEachCharacterOnce) {
  QVPlatform_SetACP(932, nullptr);
  QVResetCodePageState();
  const std::string bytes = qvhost::ToCodePageOrRefuse("日本語ab", 932, "name");
  const TQVFixedString<31> text(bytes.c_str());
  EXPECT_EQ(text.ByteLength(), 8);
  EXPECT_EQ(text.CharacterCount(), 5);
}

TEST_F(CodePageTextTest, SceneFilesReachTheModelInTheCodePageAndSaveBackAsUtf8) {
  auto journal = std::make_shared<qvhost::Journal>();
  const struct {
    std::string text;
    uint32_t override;
    const char* name;  // of the first element, as modules see it
  } cases[] = {
      {R"({"qvscene": 1, "elements": [{"name": "Café"}], "selection": ["Café"]})", 0, "Caf\xE9"},
      {R"({"qvscene": 1, "codePage": 932, "elements": [{"name": "日本"}], "selection": ["日本"]})", 0,
       "\x93\xFA\x96\x7B"},
      {R"({"qvscene": 1, "elements": [{"name": "日本"}], "selection": ["日本"]})", 932, "\x93\xFA\x96\x7B"},
      {R"({"qvscene": 1, "codePage": 1252, "elements": [{"name": "日本"}], "selection": ["日本"]})", 932,
       "\x93\xFA\x96\x7B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto document = qvhost::ParseScene(c.text, "scene.json", journal, nullptr, c.override);
    ASSERT_EQ(document->GetScene().Root().Children().size(), 1u);
    EXPECT_EQ(document->GetScene().Root().Children().front()->Name(), c.name);
    EXPECT_EQ(document->GetScene().GetSelection().GetItemCount(), 1);
    // Saved as read: the file's own code page stays, an override is not written.
    const std::string saved = qvhost::SceneText(*document);
    EXPECT_EQ(saved.find("codePage") != std::string::npos, c.text.find("codePage") != std::string::npos) << saved;
    const std::string utf8 = c.name[0] == 'C' ? "Café" : "日本";
    EXPECT_NE(saved.find("{\"name\": \"" + utf8 + "\"}"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"selection\": [\"" + utf8 + "\"]"), std::string::npos) << saved;
    auto reread = qvhost::ParseScene(saved, "saved.json", journal, nullptr, c.override);
    EXPECT_EQ(qvhost::SceneText(*reread), saved);
  }

  const struct {
    std::string text;
    uint32_t override;
    const char* expected;
  } refused[] = {
      {R"({"qvscene": 1, "elements": [{"name": "A", "children": [{"name": "日"}]}]})", 0,
       "scene.json: $.elements[0].children[0].name: expected text code page 1252 can hold (not \"日\")"},
      {R"({"qvscene": 1, "codePage": 932, "elements": [{"name": "A", "components": [{"component": "NoteSheet",
        "data": ["{", "  Valu \"€\"", "}"]}]}]})",
       0, "scene.json: $.elements[0].components[0].data[1]: expected text code page 932 can hold (not \"€\")"},
      {R"({"qvscene": 1, "codePage": 437})", 0, "scene.json: $.codePage: expected a code page of 1252, 932"},
      {R"({"qvscene": 1, "codePage": "932"})", 0, "scene.json: $.codePage: expected an integer"},
      {R"({"qvscene": 1, "view": {"panes": [{"name": "Ωmega"}]}})", 0,
       "scene.json: $.view.panes[0].name: expected text code page 1252 can hold (not \"Ω\")"},
      {R"({"qvscene": 1, "objects": [{"name": "Café"}]})", 932,
       "scene.json: $.objects[0].name: expected text code page 932 can hold (not \"é\")"},
  };
  for (const auto& c : refused) {
    try {
      qvhost::ParseScene(c.text, "scene.json", journal, nullptr, c.override);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const qvhost::HostError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.expected, 0), 0u) << error.what();
    }
  }

  // A name a module cut inside a double-byte character cannot be saved: one error, no
  // text with a replacement character.
  auto document = qvhost::ParseScene(R"({"qvscene": 1, "codePage": 932, "elements": [{"name": "A"}]})",
                                     "scene.json", journal);
  document->GetScene().Root().Children().front()->SetName(std::string("\x93\xFA\x96"));
  try {
    qvhost::SceneText(*document);
    ADD_FAILURE() << "saved";
  } catch (const qvhost::HostError& error) {
    EXPECT_NE(std::string(error.what()).find("cannot be saved: its text is not text of code page 932"),
              std::string::npos)
        << error.what();
  }
}

// A NoteSheet reads its comments in the scene's code page and writes them so into its page;
// `qvhost format` gives every character back.
TEST_F(CodePageTextTest, AModuleSeesAndWritesTheCodePage) {
  const std::string kModules = std::string(" --modules ") + QV_MODULE_DIR;
  const struct {
    const char* codePage;  // the file's own, or "" for none
    const char* option;    // --code-page of format
    const char* comment;
    const char* page;      // the comment in the exported page
  } cases[] = {
      {"", "", "Café au lait", "Caf\xE9 au lait"},
      {"932", "", "日本語のメモ", "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x81\x83\x82"},
      {"", "--code-page 936", "中文", "\xD6\xD0\xCE\xC4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.comment);
    const std::string text = std::string(R"({"qvscene": 1, )") +
                             (*c.codePage ? std::string(R"("codePage": )") + c.codePage + ", " : "") +
                             R"("elements": [{"name": "Notes", "components": [{"component": "NoteSheet", "data": [
        "{", "  AGRP {", "    Attr \"Text Entry\" {", "      Key 0 \")" + c.comment + R"(\"", "    }", "  }", "}"]}]}]})";
    const std::string scene = WriteTempFile("code-page-notes.json", text);
    const ToolRun formatted = RunQvhost("format " + scene + " " + c.option + kModules);
    ASSERT_EQ(formatted.status, 0) << formatted.err;
    EXPECT_NE(formatted.out.find(std::string("Key 0 \\\"") + c.comment + "\\\""), std::string::npos) << formatted.out;
    if (*c.option) continue;  // run takes the code page from the scene
    const std::string folder = FreshFolder("code-page-export");
    const ToolRun run = RunQvhost("run NoteSheet --scene " + scene + " --control BUTN --save-as " + folder +
                                  "notes.html --set ShowThumbnails=false" + kModules);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_NE(ReadFile(folder + "notes.html").find(c.page), std::string::npos);
  }
  // A dialog text typed in UTF-8 reaches the module in its code page, the report shows it
  // back as typed, and the saved comment keeps it; one it cannot hold is refused.
  const std::string notes = std::string(QV_EXAMPLES) + "/note-sheet.qvscene.json";
  const std::string saved = testing::TempDir() + std::to_string(getpid()) + "-cafe.json";
  const ToolRun typed = RunQvhost("run NoteSheet --scene " + notes +
                                  " --time 36000 --set \"EditText=Café crème\" --control ADDK --save " + saved + kModules);
  ASSERT_EQ(typed.status, 0) << typed.err << typed.out;
  EXPECT_NE(typed.out.find("\n  EditText=Café crème\n"), std::string::npos) << typed.out;
  EXPECT_NE(typed.out.find("animation \"Text Entry\" at 36000: \"Café crème\""), std::string::npos) << typed.out;
  EXPECT_NE(ReadFile(saved).find("Key 36000 \\\"Café crème\\\""), std::string::npos) << ReadFile(saved);
  const ToolRun refused = RunQvhost("run NoteSheet --scene " + notes + " --set EditText=日本 --control ADDK" + kModules);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "--set EditText=日本: expected text code page 1252 can hold (not \"日\")\n");

  const ToolRun bad = RunQvhost("format " + std::string(QV_EXAMPLES) + "/crop-revert.qvscene.json --code-page 65001");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "--code-page 65001: expected a code page of 1252, 932, 936, 949 or 950\n");
}

// Element paths and dialog texts of qvhost run are UTF-8 converted into the run's code page;
// what the report shows of the module's text comes back as UTF-8.
TEST_F(CodePageTextTest, RunOptionsReachTheModulesInTheRunsCodePage) {
  const std::string kModules = std::string(" --modules ") + QV_MODULE_DIR;
  const std::string notes = std::string(QV_EXAMPLES) + "/note-sheet.qvscene.json";
  const std::string keys = WriteTempFile("code-page-keys.json", R"({"qvscene": 1, "elements": [
      {"name": "Café", "animation": {"track": [{"time": 90000, "selected": true}, {"time": 180000}]}}]})");
  const struct {
    std::string arguments;
    int status;
    const char* shown;  // on stdout (status 0) or stderr
  } cases[] = {
      {"run NoteSheet --scene " + notes + " --code-page 932 --time 0 --set EditText=日本 --control ADDK", 0,
       "Text Entry at 0: \"日本\""},
      {"run JitterKeys --scene " + keys + " --select Café --set Seed=3 --set MinOffset=1 --set MaxOffset=1", 0,
       "moved keys:\n  Café: 90000 -> "},
      {"run JitterKeys --scene " + keys + " --select 日本", 2,
       "--select 日本: expected text code page 1252 can hold (not \"日\")\n"},
      {"run NoteSheet --scene " + notes + " --on 日本", 2, "--on 日本: expected text code page 1252 can hold"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const ToolRun run = RunQvhost(c.arguments + kModules);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.shown), std::string::npos) << run.out << run.err;
  }
}

}  // namespace
