// Scene files: canonical round trips, refusals with file, path and expectation, and
// atomic writes.
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LeakCheck.h"
#include "ModuleInterfaces.h"
#include "ToolRun.h"
#include "TestFiles.h"
#include "qvhost/HostError.h"
#include "files/HostFile.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/ResourceFile.h"
#include "qvhost/SceneFile.h"

namespace fs = std::filesystem;

namespace {


using SceneFileTest = LeakCheckedTest;

TEST_F(SceneFileTest, LoadingThenSavingGivesTheSameFile) {
  auto journal = std::make_shared<qvhost::Journal>();
  // nested-animation: keys deep enough to take a line per member, nodes and elements
  // with and without children, animation and channels.
  for (const std::string& path : {std::string(QV_TEST_DATA) + "/every-section.qvscene.json",
                                 std::string(QV_TEST_DATA) + "/nested-animation.qvscene.json",
                                 std::string(QV_EXAMPLES) + "/crop-revert.qvscene.json"}) {
    auto document = qvhost::LoadSceneFile(path, journal);
    EXPECT_EQ(qvhost::SceneText(*document), ReadFile(path)) << path;
  }
  // Any order of the top-level keys reads the same scene.
  auto reordered = qvhost::ParseScene(R"({"selection": ["B"], "elements": [{"name": "A"}, {"name": "B"}],
      "codePage": 1252, "time": 5, "qvscene": 1})", "reordered.json", journal);
  EXPECT_EQ(qvhost::SceneText(*reordered), "{\n  \"qvscene\": 1,\n  \"codePage\": 1252,\n  \"time\": 5,\n"
            "  \"elements\": [\n    {\"name\": \"A\"},\n    {\"name\": \"B\"}\n  ],\n  \"selection\": [\"B\"]\n}\n");
  // Without elements, a small scene stays on one line.
  auto empty = qvhost::ParseScene(R"({"qvscene": 1, "selection": []})", "empty.json", journal);
  EXPECT_EQ(qvhost::SceneText(*empty), "{\"qvscene\": 1, \"elements\": []}\n");
  // Saved text reads back to itself, numbers at their edges included.
  auto edges = qvhost::ParseScene(R"({"qvscene": 1, "elements": [{"name": "A", "transform":
      {"translation": [-0.0, 16777217, 3.4028235e38], "scale": 1.4e-45}}],
      "view": {"panes": [{"name": "P", "scale": -0.0, "offset": [-2147483648, 2147483647]}]}})", "edges.json", journal);
  const std::string saved = qvhost::SceneText(*edges);
  auto reread = qvhost::ParseScene(saved, "saved.json", journal);
  EXPECT_EQ(qvhost::SceneText(*reread), saved);
  // Numbers take the shortest text that reads back as the same float.
  const struct {
    const char* in;
    const char* out;
  } numbers[] = {{"10", "10"},     {"100.0", "100"},       {"1000", "1000"},         {"0.1", "0.1"},
                 {"1e20", "1e+20"}, {"0.00001", "1e-05"}, {"123456.7", "123456.7"}, {"16777217", "16777216"}};
  for (const auto& n : numbers) {
    auto scene = qvhost::ParseScene(std::string(R"({"qvscene": 1, "elements": [{"name": "A", "transform": {"scale": )") +
                                        n.in + "}}]}",
                                    "number.json", journal);
    EXPECT_NE(qvhost::SceneText(*scene).find(std::string("\"scale\": ") + n.out + "}"), std::string::npos)
        << n.in << "\n" << qvhost::SceneText(*scene);
  }

  auto document = qvhost::LoadSceneFile(std::string(QV_TEST_DATA) + "/every-section.qvscene.json", journal);
  qvhost::Scene& scene = document->GetScene();
  EXPECT_EQ(scene.GetSelection().GetItemCount(), 2);
  ASSERT_NE(scene.Root().Find("Rig/Arm/Hand"), nullptr);
  EXPECT_EQ(scene.Root().Find("Rig")->Local().pivot.x, 0.5f);
  EXPECT_TRUE(document->View()->Panes().at(0)->View().locked);
  EXPECT_EQ(document->View()->Panes().at(0)->View().GetScale(), 0.1f);
  qvhost::RenderSetup& render = scene.GetHostRenderSetup();
  EXPECT_EQ(render.GetFrameRate(), 25);
  uint32_t width = 0, height = 0;
  render.GetOutputSize(&width, &height);
  EXPECT_EQ(width, 1280u);
  EXPECT_EQ(height, 720u);
  EXPECT_EQ(render.afterStop, qvhost::AfterStop::RestoreTime);
}

TEST_F(SceneFileTest, RefusesBadScenesWithWhereAndWhat) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"{\"qvscene\": 1,", "malformed JSON: the file ends at byte offset 14 inside the document"},
      {"{\"qvscene\": 6e77795}", "$.qvscene: expected a number within range (not 6e77795)"},
      {R"({"elements": []})", "$.qvscene: expected this key"},
      {R"({"qvscene": 2})", "$.qvscene: expected the format version 1 (this host reads version 1 only; the file has 2)"},
      {R"({"qvscene": 1, "cameras": []})", "$.cameras: expected no such key"},
      {R"({"qvscene": 1, "elements": [{"name": 5}]})", "$.elements[0].name: expected a string"},
      {R"({"qvscene": 1, "elements": [{"name": "a/b"}]})", "$.elements[0].name: expected a non-empty name"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "transform": {"translation": [1, 2]}}]})",
       "$.elements[0].transform.translation: expected an array of 3 numbers"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "transform": {"scale": "big"}}]})",
       "$.elements[0].transform.scale: expected a number"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "children": [{"name": "B", "colour": 1}]}]})",
       "$.elements[0].children[0].colour: expected no such key"},
      {R"({"qvscene": 1, "selection": ["Nobody"]})", "$.selection[0]: expected the path of an element"},
      {R"({"qvscene": 1, "view": {"panes": [{"name": "P", "offset": [1.5, 0]}]}})",
       "$.view.panes[0].offset[0]: expected an integer"},
      {R"({"qvscene": 1, "view": {"panes": [{"name": "P", "active": 1}]}})",
       "$.view.panes[0].active: expected true or false"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "transform": {"scale": 1e39}}]})",
       "$.elements[0].transform.scale: expected a number within the range of a float"},
      {R"({"qvscene": 1, "render": {"frameRate": 0}})",
       "$.render.frameRate: expected an integer from 1 to 32767 (not 0)"},
      {R"({"qvscene": 1, "render": {"size": [640]}})", "$.render.size: expected an array of 2 integers"},
      {R"({"qvscene": 1, "render": {"size": [640, 4097]}})",
       "$.render.size[1]: expected an integer from 1 to 4096 (not 4097)"},
      {R"({"qvscene": 1, "render": {"afterStop": "rewind"}})",
       "$.render.afterStop: expected \"none\" or \"restoreTime\""},
      {R"({"qvscene": 1, "render": {"fps": 25}})", "$.render.fps: expected no such key"},
      // Top-level elements are read as the file is parsed: paths count every one.
      {R"({"qvscene": 1, "elements": [{"name": "A"}, {"name": "B"}, {"name": "C", "children": [{"nom": 1}]}]})",
       "$.elements[2].children[0].nom: expected no such key"},
      {R"({"qvscene": 1, "elements": [{"name": "A"}, 7]})", "$.elements[1]: expected an object"},
      {R"({"qvscene": 1, "elements": {"name": "A"}})", "$.elements: expected an array"},
      {R"({"qvscene": 1, "elements": [{"name": "A"}], "elements": []})",
       "$.elements: expected a key the object does not have already"},
      {R"({"qvscene": 2, "elements": [{"name": 5}]})", "$.qvscene: expected the format version 1"},
      {R"({"elements": [{"name": "A"}]})", "$.qvscene: expected this key"},
      {R"({"elements": [{"name": "A"}], "qvscene": 3})", "$.qvscene: expected the format version 1"},
      {R"({"elements": [{"name": "A"}], "qvscene": 1, "codePage": 932})",
       "$.codePage: expected \"codePage\" before \"elements\" (the elements were read in 1252)"},
  };
  // Nesting deeper than a scene needs is refused, not recursed into.
  std::string deep = R"({"qvscene": 1, "elements": [)";
  for (int i = 0; i < 300; ++i) deep += R"({"name": "E", "children": [)";
  for (int i = 0; i < 300; ++i) deep += "]}";
  deep += "]}";
  std::string deepNodes = R"({"qvscene": 1, "elements": [{"name": "A", "animation": )";
  for (int i = 0; i < 300; ++i) deepNodes += R"({"channels": [{"name": "c", "node": )";
  deepNodes += "{}";
  for (int i = 0; i < 300; ++i) deepNodes += "}]}";
  deepNodes += "}]}";
  const Case more[] = {
      {deep.c_str(), "expected at most 256 levels of children"},
      {deepNodes.c_str(), "expected at most 256 levels of sub-nodes"},
      {R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [{"time": 18446744073709551615}]}}]})",
       "time: expected an integer from -2147483648 to 2147483647 (not 18446744073709551615)"},
  };
  auto journal = std::make_shared<qvhost::Journal>();
  for (const Case& c : more) {
    try {
      qvhost::ParseScene(c.text, "scene.json", journal);
      ADD_FAILURE() << "accepted: " << std::string(c.text).substr(0, 80);
    } catch (const qvhost::HostError& error) {
      EXPECT_NE(std::string(error.what()).find(c.expected), std::string::npos) << error.what();
    }
  }
  for (const Case& c : cases) {
    try {
      qvhost::ParseScene(c.text, "scene.json", journal);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const qvhost::HostError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("scene.json: ", 0), 0u) << message;
      EXPECT_NE(message.find(c.expected), std::string::npos) << message;
    }
  }
}

TEST_F(SceneFileTest, FailedWritesLeaveNothingBehind) {
  const fs::path folder = fs::temp_directory_path() / ("qvscene-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string target = (folder / "scene.json").string();
  qvhost::WriteFileAtomically(target, "first\n");
  EXPECT_EQ(ReadFile(target), "first\n");
  // A rewrite keeps the file's mode, and a link stays a link to the rewritten file.
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  const std::string link = (folder / "link.json").string();
  fs::create_symlink(target, link);
  qvhost::WriteFileAtomically(link, "second\n");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "second\n");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_THROW(qvhost::WriteFileAtomically((folder / "missing" / "scene.json").string(), "x"), qvhost::HostError);
  // Renaming onto a folder fails; the old file and the folder are as they were.
  fs::create_directories(folder / "taken");
  EXPECT_THROW(qvhost::WriteFileAtomically((folder / "taken").string(), "x"), qvhost::HostError);
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder)) entries += entry.exists();
  EXPECT_EQ(entries, 3u) << "no temporary file left";
  fs::remove_all(folder);
}

// Each kind of bad input has its own message, with the byte offset or JSON path, on one
// line; a path in it is cut to 200 characters and a number to 40.
TEST_F(SceneFileTest, EachKindOfBadInputHasItsOwnMessage) {
  const std::string longNumber = "1" + std::string(300, '0') + "e999";
  const std::string longPath = std::string(400, 'p') + ".json";
  struct Case {
    const char* kind;
    std::string text;
    std::string name;
    std::string expected;
  } cases[] = {
      {"truncated", R"({"qvscene": 1, "elements": [{"name": "A")", "scene.json",
       "scene.json: malformed JSON: the file ends at byte offset 40 inside the document (truncated?)"},
      {"empty", "", "scene.json", "scene.json: an empty file: expected a JSON document"},
      {"trailing garbage", "{\"qvscene\": 1}\n}x", "scene.json",
       "scene.json: malformed JSON: text after the end of the document at byte offset 15"},
      {"a second document", "{\"qvscene\": 1} {}", "scene.json",
       "scene.json: malformed JSON: text after the end of the document at byte offset 15"},
      {"bad UTF-8 after the document", "{\"qvscene\": 1} \xFF\xFE", "scene.json",
       "scene.json: invalid UTF-8 at byte offset 15: expected UTF-8 text"},
      {"NUL after the document", std::string("{\"qvscene\": 1}\n\0abc", 19), "scene.json",
       "scene.json: a NUL byte at byte offset 15: expected JSON text"},
      {"cut character after the document", "{\"qvscene\": 1} \xC3", "scene.json",
       "scene.json: malformed JSON: text after the end of the document at byte offset 15"},
      {"syntax", "{\"qvscene\": 1, ]", "scene.json", "scene.json: malformed JSON at byte offset 15"},
      {"NUL byte", std::string("{\"qvscene\": 1, \"time\": 0\0}", 26), "scene.json",
       "scene.json: a NUL byte at byte offset 24: expected JSON text"},
      {"invalid UTF-8", "{\"qvscene\": 1, \"elements\": [{\"name\": \"A\xC3\x28\"}]}", "scene.json",
       "scene.json: invalid UTF-8 at byte offset 39: expected UTF-8 text"},
      {"overlong UTF-8", "{\"qvscene\": 1, \"elements\": [{\"name\": \"\xC0\xAF\"}]}", "scene.json",
       "scene.json: invalid UTF-8 at byte offset 38: expected UTF-8 text"},
      {"a surrogate in UTF-8", "{\"qvscene\": 1, \"x\": \"\xED\xA0\x80\"}", "scene.json",
       "scene.json: invalid UTF-8 at byte offset 21"},
      {"ends inside a character", "{\"qvscene\": 1, \"x\": \"\xE2\x82", "scene.json",
       "scene.json: invalid UTF-8 at byte offset 21: the file ends inside a character"},
      {"number out of range", R"({"qvscene": 1, "elements": [{"name": "A", "transform": {"scale": )" + longNumber + "}}]}",
       "scene.json",
       "scene.json: $.elements[0].transform.scale: expected a number within range (not 1000000000000000000000000000000000000...)"},
      {"integer past 64 bits", R"({"qvscene": 1, "time": 123456789012345678901234567890})", "scene.json",
       "scene.json: $.time: expected an integer from -2147483648 to 2147483647 (not 1.2345678901234568e+29)"},
      {"another version", R"({"qvscene": 2})", "scene.json",
       "scene.json: $.qvscene: expected the format version 1 (this host reads version 1 only; the file has 2)"},
      {"duplicate key", R"({"qvscene": 1, "elements": [{"name": "A", "name": "B"}]})", "scene.json",
       "scene.json: $.elements[0].name: expected a key the object does not have already"},
      {"duplicate top-level key", R"({"qvscene": 1, "time": 5, "time": 6})", "scene.json",
       "scene.json: $.time: expected a key the object does not have already"},
      {"two keys at one time", R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"channels": [{"name": "x",
        "track": [{"time": 0}, {"time": 90000}, {"time": 0, "selected": true}]}]}}]})",
       "scene.json",
       "scene.json: $.elements[0].animation.channels[0].track[2].time: expected a time no other key of this track has (0 is taken)"},
      {"two rising keys at one time", R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [
        {"time": -5}, {"time": 7}, {"time": 7}, {"time": 9}]}}]})",
       "scene.json", "scene.json: $.elements[0].animation.track[2].time: expected a time no other key of this track has (7 is taken)"},
      {"a time beyond 32 bits", R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [{"time": 2147483648}]}}]})",
       "scene.json", "scene.json: $.elements[0].animation.track[0].time: expected an integer from -2147483648 to 2147483647 (not 2147483648)"},
      {"long path", "{", longPath, "..." + longPath.substr(longPath.size() - 197) + ": malformed JSON: the file ends"},
  };
  auto journal = std::make_shared<qvhost::Journal>();
  for (const Case& c : cases) {
    try {
      qvhost::ParseScene(c.text, c.name, journal);
      ADD_FAILURE() << c.kind << ": accepted";
    } catch (const qvhost::HostError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind(c.expected, 0), 0u) << c.kind << ": " << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << c.kind << ": one line";
      EXPECT_LE(message.size(), 400u) << c.kind;
    }
  }
  // The same key in two objects, and two keys at one time on two tracks, are fine.
  EXPECT_NO_THROW(qvhost::ParseScene(R"({"qvscene": 1, "elements": [{"name": "A", "animation": {"track": [{"time": 0}],
      "channels": [{"name": "x", "track": [{"time": 0}]}]}}, {"name": "B"}]})", "scene.json", journal));
}

// Files that are not scene files are refused before anything is read.
TEST_F(SceneFileTest, OnlyRegularFilesAreRead) {
  const fs::path folder = FreshFolder("qvscene-read");
    const std::string fifo = (folder / "fifo.json").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string truncated = (folder / "truncated.json").string();
  std::ofstream(truncated) << R"({"qvscene": 1, "elements": [)";
  const std::string zeros = (folder / "zeros.json").string();
  std::ofstream(zeros, std::ios::binary) << std::string(1 << 20, '\0');
  const struct {
    std::string path, expected;
  } cases[] = {
      {folder.string(), folder.string() + ": a folder: expected a file"},
      {"/dev/zero", "/dev/zero: not a regular file (a device, FIFO or socket): expected a file"},
      {fifo, fifo + ": not a regular file (a device, FIFO or socket): expected a file"},
      {truncated, truncated + ": malformed JSON: the file ends at byte offset 28 inside the document"},
      {zeros, zeros + ": a NUL byte at byte offset 0"},
      {(folder / "missing.json").string(), (folder / "missing.json").string() + ": cannot open the file (No such file"},
  };
  auto journal = std::make_shared<qvhost::Journal>();
  for (const auto& c : cases) {
    try {
      qvhost::LoadSceneFile(c.path, journal);
      ADD_FAILURE() << "accepted: " << c.path;
    } catch (const qvhost::HostError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.expected, 0), 0u) << error.what();
    }
  }
  fs::remove_all(folder);
}

// A large file is read in blocks: a character split between two, and a stop in a later
// one, are found at the same offsets as in a small file.
TEST_F(SceneFileTest, LargeFilesAreCheckedAcrossReadBlocks) {
  const fs::path folder = FreshFolder("qvscene-blocks");
    const std::string head = "{\"qvscene\": 1, \"extra\": {\"name\": \"";
  // A text that starts its next byte at `offset`.
  const auto padTo = [&](size_t offset) { return head + std::string(offset - head.size(), 'a'); };
  const size_t mib = size_t(1) << 20;
  const struct {
    const char* kind;
    std::string text, expected;  // expected empty: the file loads
  } cases[] = {
      {"a character across blocks", padTo(mib - 1) + "\xE2\x82\xAC\"}}", ""},
      {"a character across blocks, broken", padTo(mib - 1) + "\xE2\x82\x28\"}}",
       ": invalid UTF-8 at byte offset " + std::to_string(mib - 1) + ": expected UTF-8 text"},
      {"a NUL byte in a later block", padTo(2 * mib + 5) + std::string(1, '\0') + "\"}}",
       ": a NUL byte at byte offset " + std::to_string(2 * mib + 5)},
      {"ends inside a character at a block's end", padTo(mib - 1) + "\xE2",
       ": invalid UTF-8 at byte offset " + std::to_string(mib - 1) + ": the file ends inside a character"},
      {"truncated after a block", padTo(mib + 3),
       ": malformed JSON: the file ends at byte offset " + std::to_string(mib + 3) + " inside the document"},
  };
  auto journal = std::make_shared<qvhost::Journal>();
  for (const auto& c : cases) {
    const std::string path = (folder / "large.json").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
    try {
      qvhost::LoadSceneFile(path, journal);
      EXPECT_TRUE(c.expected.empty()) << c.kind << ": accepted";
    } catch (const qvhost::HostError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(path + c.expected, 0), 0u) << c.kind << ": " << error.what();
    }
  }
  fs::remove_all(folder);
}

// A save goes only to a regular file or a new path; anything else stays as it was.
TEST_F(SceneFileTest, SavesOnlyOntoRegularFilesOrNewPaths) {
  const fs::path folder = FreshFolder("qvscene-save");
    const std::string fifo = (folder / "fifo.json").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string socketPath = (folder / "socket.json").string();
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << socketPath;
  const std::string linkToFifo = (folder / "link.json").string();
  fs::create_symlink(fifo, linkToFifo);
  fs::create_directories(folder / "taken");
  const struct {
    std::string path, expected;
    fs::file_type type;
  } cases[] = {
      {"/dev/null", "/dev/null: a device, not a file", fs::file_type::character},
      {fifo, fifo + ": a FIFO, not a file", fs::file_type::fifo},
      {linkToFifo, linkToFifo + ": a FIFO, not a file", fs::file_type::fifo},
      {socketPath, socketPath + ": a socket, not a file", fs::file_type::socket},
      {(folder / "taken").string(), (folder / "taken").string() + ": a folder, not a file", fs::file_type::directory},
  };
  for (const auto& c : cases) {
    try {
      qvhost::WriteFileAtomically(c.path, "{}\n");
      ADD_FAILURE() << "written: " << c.path;
    } catch (const qvhost::HostError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.expected, 0), 0u) << error.what();
    }
    EXPECT_EQ(fs::status(c.path).type(), c.type) << c.path;
  }
  ::close(listener);
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder)) entries += entry.exists() || fs::is_symlink(entry);
  EXPECT_EQ(entries, 4u) << "no temporary file left";
  // The file streams the modules write through refuse them alike.
  for (const std::string& path : {fifo, socketPath, std::string("/dev/null")}) {
    TQVCountedPtr<IHostFileSpec> spec = qvhost::MakeHostFile();
    spec->SetFromPath(TQVFixedString<1023>(path.c_str()), 0);
    spec->SetOpenMode(kQVFileWritable);
    auto* stream = dynamic_cast<qvhost::HostFile*>(spec.Get());
    ASSERT_EQ(stream->Open(spec.Get()), kQVOk);
    EXPECT_NE(stream->Create(), kQVOk) << path;
    EXPECT_NE(stream->OpenExisting(), kQVOk) << path;
    EXPECT_FALSE(stream->IsOpen());
  }
  // A path longer than the host's path strings is refused, not cut to another file's.
  TQVCountedPtr<IHostFileSpec> spec = qvhost::MakeHostFile();
  const std::string tooLong = (folder / std::string(1100, 'n')).string();
  EXPECT_NE(spec->SetFromPath(TQVFixedString<2047>(tooLong.c_str()), 0), kQVOk);
  TQVFixedString<2047> named;
  spec->GetFullPath(named);
  EXPECT_STREQ(named.CStr(), "") << "nothing named";
  fs::remove_all(folder);
}

// A write or an fsync of the temporary file failing: the old file stays and no temporary
// file is left.
TEST_F(SceneFileTest, AFailingWriteOrSyncKeepsTheOldFile) {
  const fs::path folder = FreshFolder("qvscene-fail");
    const std::string target = (folder / "scene.json").string();
  qvhost::SaveCalls& calls = qvhost::AtomicSaveCalls();
  const qvhost::SaveCalls real = calls;
  static int writes;
  const struct {
    const char* name;
    qvhost::SaveCalls calls;
    const char* reason;
  } cases[] = {
      {"the first write fails", {[](int, const void*, size_t) -> ssize_t { errno = ENOSPC; return -1; }, real.fsync},
       "No space left on device"},
      {"a later write fails",
       {[](int fd, const void* data, size_t) -> ssize_t {
          if (writes++ == 0) return ::write(fd, data, 1);
          errno = EIO;
          return -1;
        },
        real.fsync},
       "Input/output error"},
      {"a write writes nothing", {[](int, const void*, size_t) -> ssize_t { return 0; }, real.fsync},
       "Input/output error"},
      {"fsync fails", {real.write, [](int) { errno = EIO; return -1; }}, "Input/output error"},
  };
  for (const auto& c : cases) {
    std::ofstream(target) << "old\n";
    writes = 0;
    calls = c.calls;
    try {
      qvhost::WriteFileAtomically(target, "new contents\n");
      ADD_FAILURE() << c.name << ": written";
    } catch (const qvhost::HostError& error) {
      EXPECT_EQ(std::string(error.what()), target + ": cannot write the file (" + c.reason + ")") << c.name;
    }
    calls = real;
    EXPECT_EQ(ReadFile(target), "old\n") << c.name;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << c.name;
  }
  // A real write failure, past the process's file size limit.
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 4;
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(qvhost::WriteFileAtomically(target, "longer than four bytes\n"), qvhost::HostError);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(ReadFile(target), "old\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  fs::remove_all(folder);
}

// An attached component whose Read and Write answer what it is told, aggregated into the
// host's carrier as a module's component is.
class AnsweringComponent final : public IAttachedComponent, public ITokenPersistence {
 public:
  AnsweringComponent(IUnknown* outer, QVResult read, QVResult write) : fOuter(outer), fRead(read), fWrite(write) {}
  QVResult QueryInterface(const QVGUID& id, void** out) override {
    if (id == IUnknown::kID || id == IAttachedComponent::kID)
      *out = static_cast<IAttachedComponent*>(this);
    else if (id == ITokenPersistence::kID)
      *out = static_cast<ITokenPersistence*>(this);
    else
      return *out = nullptr, kQVErrNoInterface;
    fOuter->AddRef();
    return kQVOk;
  }
  int32_t AddRef() override { return fOuter->AddRef(); }
  int32_t Release() override {
    const int32_t count = fOuter->Release();
    if (count != -1) return count;
    delete this;  // the carrier lets its component go
    return 0;
  }
  QVResult Reserved3() override { return kQVOk; }
  bool Attach(IHostComponentOwner*) override { return true; }
  void AttachedReserved5(void*) override {}
  QVResult Read(IHostTokenStream*, QVTokenFallback, void*) override { return fRead; }
  QVResult Write(IHostTokenStream*) override { return fWrite; }

 private:
  IUnknown* fOuter;
  QVResult fRead, fWrite;
};

class AnsweringMaker final : public qvhost::ComponentMaker {
 public:
  AnsweringMaker(QVResult read, QVResult write) : fFactory(qvhost::Adopt<Factory>(new Factory(read, write))) {
    fResource.family = QVFourCC("data");
    fResource.name = "Answering";
    fResources.module = "Answering";
    fResources.components.push_back(fResource);
  }
  TQVCountedPtr<qvhost::ComponentCarrier> Make(qvhost::Scene& scene, const std::string&) override {
    return qvhost::ComponentCarrier::Create(scene, fFactory.Get(), fResource, fResources);
  }

 private:
  class Factory final : public qvhost::HostObject<IClassFactory> {
   public:
    Factory(QVResult read, QVResult write) : fRead(read), fWrite(write) {}
    QVResult CreateInstance(IUnknown* outer, const QVGUID&, void** out) override {
      *out = static_cast<IAttachedComponent*>(new AnsweringComponent(outer, fRead, fWrite));
      return kQVOk;
    }
    QVResult LockServer(int32_t) override { return kQVOk; }

   private:
    QVResult fRead, fWrite;
  };
  TQVCountedPtr<Factory> fFactory;
  qvhost::ComponentResource fResource;
  qvhost::ResourceFile fResources;
};

// A component answering a failure while the scene is read (its data cut short, say) or
// saved: one error naming the file, the element and the component; a failed save keeps
// the old file.
TEST_F(SceneFileTest, AComponentsFailingReadOrWriteIsRefused) {
  const std::string scene = R"({"qvscene": 1, "elements": [{"name": "A"}, {"name": "B", "components": [
      {"component": "Answering", "data": ["{", "  Valu \"cut"]}]}]})";
  const struct {
    QVResult read;
    const char* expected;
  } reads[] = {
      {kQVErrEndOfInput, "scene.json: $.elements[1].components[0].data: expected data Answering can read (it answered 0x80010027)"},
      {kQVErrMalformedData, "scene.json: $.elements[1].components[0].data: expected data Answering can read (it answered 0x80010024)"},
  };
  auto journal = std::make_shared<qvhost::Journal>();
  for (const auto& c : reads) {
    AnsweringMaker maker(c.read, kQVOk);
    try {
      qvhost::ParseScene(scene, "scene.json", journal, &maker);
      ADD_FAILURE() << "read";
    } catch (const qvhost::HostError& error) {
      EXPECT_EQ(std::string(error.what()), c.expected);
    }
  }
  const fs::path folder = FreshFolder("qvscene-component");
    const std::string target = (folder / "saved.json").string();
  // Also when much of the text has gone to the temporary file before the failure.
  std::string large = R"({"qvscene": 1, "elements": [)";
  for (int i = 0; i < 30000; ++i)
    large += R"({"name": "A)" + std::to_string(i) + R"(", "animation": {"track": [{"time": 0}, {"time": 5}]}}, )";
  large += scene.substr(scene.find("{\"name\": \"B\""));
  for (const auto& [text, write] : {std::pair{scene, kQVErrNotSupported}, std::pair{scene, kQVErrOutOfMemory},
                                    std::pair{large, kQVErrNotSupported}}) {
    std::ofstream(target) << "old\n";
    AnsweringMaker maker(kQVOk, write);
    auto document = qvhost::ParseScene(text, "scene.json", journal, &maker);
    try {
      qvhost::SaveSceneFile(*document, target);
      ADD_FAILURE() << "saved";
    } catch (const qvhost::HostError& error) {
      EXPECT_EQ(std::string(error.what()), "B: Answering could not save its data (" + qvhost::FormatResult(write) + ")");
    }
    document->DetachComponents();
    EXPECT_EQ(ReadFile(target), "old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  }
  fs::remove_all(folder);
}

// The tool: a device read as a scene ends at once; saves onto what is not a file, and a
// save-as path longer than the host's path strings, are refused with one line, exit 2.
TEST(SceneFileToolTest, RefusesWhatIsNotAFileAndOverlongPaths) {
  const fs::path folder = FreshFolder("qvscene-tool");
    const std::string fifo = (folder / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string example = std::string(QV_EXAMPLES) + "/crop-revert.qvscene.json";
  const std::string notes = std::string(QV_EXAMPLES) + "/note-sheet.qvscene.json";
  const std::string longName = (folder / (std::string(1100, 'n') + ".html")).string();
  const struct {
    std::string arguments, expected;
  } cases[] = {
      {"format /dev/zero", "/dev/zero: not a regular file (a device, FIFO or socket): expected a file\n"},
      {"format " + folder.string(), folder.string() + ": a folder: expected a file\n"},
      {"format " + example + " --save " + fifo, fifo + ": a FIFO, not a file: expected a regular file or a new path\n"},
      {"run CropRevert --scene " + example + " --save " + fifo,
       "--save " + fifo + ": a FIFO, not a file: expected a regular file or a new path\n"},
      {"run NoteSheet --scene " + notes + " --control BUTN --save-as " + fifo,
       "--save-as " + fifo + ": a FIFO, not a file: expected a regular file or a new path\n"},
      {"run NoteSheet --scene " + notes + " --control BUTN --save-as " + longName,
       "--save-as ..." + longName.substr(longName.size() - 197) + ": expected a path of at most 1023 bytes (it has " +
           std::to_string(longName.size()) + ")\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunQvhost(c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments.substr(0, 200);
    EXPECT_EQ(run.err, c.expected) << c.arguments.substr(0, 200);
    EXPECT_EQ(run.out, "") << "refused before anything runs";
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "nothing written";
  fs::remove_all(folder);
}

TEST_F(SceneFileTest, TheLiveSelectionDecidesWhichKeysAreSelected) {
  auto document = qvhost::ParseScene(R"({"qvscene": 1, "elements": [{"name": "A", "animation":
      {"track": [{"time": 0, "selected": true}, {"time": 5}]}}], "selection": ["A"]})", "keys.json",
                                     std::make_shared<qvhost::Journal>());
  qvhost::Selection& selection = document->GetScene().GetSelection();
  qvhost::Key& key = *document->AllKeys().at(0).key;
  ASSERT_EQ(selection.GetItemCount(), 2);  // the element, then the key
  TQVCountedPtr<IHostSelection> snapshot;
  selection.GetSnapshot(snapshot.Put());
  snapshot->Clear();
  EXPECT_TRUE(key.IsSelected()) << "clearing a snapshot deselects nothing";
  selection.RemoveFamily(QVFourCC("Tree"));
  EXPECT_TRUE(key.IsSelected());
  selection.Clear();
  EXPECT_FALSE(key.IsSelected());
  EXPECT_EQ(qvhost::SceneText(*document).find("\"selected\""), std::string::npos);
}

}  // namespace
