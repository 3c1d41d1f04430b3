// NoteSheet's HTML export through qvhost: the page and its thumbnails on disk, the save
// dialog's answers, a stop, and the page as a real browser shows it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "PictureFiles.h"
#include "TestFiles.h"
#include "ToolRun.h"

namespace {

const std::string kNotes = std::string(QV_EXAMPLES) + "/note-sheet.qvscene.json";
const std::string kModules = std::string(" --modules ") + QV_MODULE_DIR;
const char* const kTicks[] = {"0", "180000", "360000"};

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

ToolRun Export(const std::string& folder, const std::string& options = "") {
  return RunQvhost("run NoteSheet --scene " + kNotes + " --control BUTN --save-as " + folder + "notes.html " +
                   options + kModules);
}

TEST(ExportToolTest, WritesThePageAndAThumbnailPerCommentAndSaysWhere) {
  const std::string folder = FreshFolder("export");
  const ToolRun run = Export(folder);
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  std::string written = "written:\n  " + folder + "notes.html\n";
  for (const char* ticks : kTicks) written += "  " + folder + "notes_images/" + ticks + ".jpg\n";
  EXPECT_NE(run.out.find(written), std::string::npos) << run.out;

  const std::string page = ReadFile(folder + "notes.html");
  std::vector<std::vector<uint8_t>> pictures;
  for (const char* ticks : kTicks) {
    EXPECT_NE(page.find(std::string("<IMG src=\"notes_images/") + ticks + ".jpg\">"), std::string::npos) << page;
    const qvhost::RgbImage picture = ReadJpeg(folder + "notes_images/" + ticks + ".jpg");
    EXPECT_EQ(picture.width, 160u) << ticks;  // a quarter of 640 x 480
    EXPECT_EQ(picture.height, 120u) << ticks;
    pictures.push_back(picture.pixels);
  }
  EXPECT_NE(pictures[0], pictures[1]) << "the ball moves between the comments";
  EXPECT_NE(pictures[1], pictures[2]);
  // Each render moved the scene to its comment; the last put the file's time back.
  const size_t restored = run.out.find("scene     time control to 180000\n  scene     refresh at 180000\n");
  EXPECT_NE(restored, std::string::npos) << run.out;
  EXPECT_LT(run.out.find("scene     go to 360000"), restored);
  EXPECT_NE(run.out.find("changes: none"), std::string::npos) << run.out;
}

TEST(ExportToolTest, ACancelledDialogWritesNothingAndAStopSavesNoPicture) {
  const std::string folder = FreshFolder("export-cancel");
  const ToolRun cancelled = RunQvhost("run NoteSheet --scene " + kNotes + " --control BUTN" + kModules);
  ASSERT_EQ(cancelled.status, 0) << cancelled.err;
  EXPECT_NE(cancelled.out.find("save      \"Save as Html\" htmL: cancelled"), std::string::npos) << cancelled.out;
  EXPECT_EQ(cancelled.out.find("written:"), std::string::npos) << cancelled.out;
  EXPECT_EQ(cancelled.out.find("progress"), std::string::npos) << cancelled.out;

  // Stopped at the first question: the page is written, the renders end unsaved.
  const ToolRun stopped = Export(folder, "--stop-after 0");
  ASSERT_EQ(stopped.status, 0) << stopped.err << stopped.out;
  EXPECT_TRUE(Exists(folder + "notes.html"));
  for (const char* ticks : kTicks) EXPECT_FALSE(Exists(folder + "notes_images/" + ticks + ".jpg")) << ticks;
  EXPECT_NE(stopped.out.find("render    stopped"), std::string::npos) << stopped.out;
  EXPECT_EQ(stopped.out.find("picture"), std::string::npos) << stopped.out;
  EXPECT_EQ(stopped.out.find("go to"), std::string::npos) << "no render moved the scene\n" << stopped.out;
}

TEST(ExportToolTest, RefusesBadSaveAndStopOptionsWithOneLine) {
  const std::string folder = FreshFolder("export-bad");
  struct Case {
    std::string options, expected;
  } cases[] = {
      {"--save-as " + folder + "missing/notes.html", "no folder " + folder + "missing"},
      {"--save-as " + folder, "expected the path of a file"},
      {"--save-as " + folder + "notes.html --stop-after -1", "--stop-after -1: expected a number of questions"},
      {"--save-as " + folder + "notes.html --stop-after soon", "--stop-after soon: expected a number"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunQvhost("run NoteSheet --scene " + kNotes + " --control BUTN " + c.options + kModules);
    EXPECT_EQ(run.status, 2) << c.options << "\n" << run.err << run.out;
    EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
  EXPECT_FALSE(Exists(folder + "notes.html"));
}

// A scene's render setup reaches the export: its frame rate gives the timecodes, its
// output size the thumbnails, and a stopped render calls its step after a stop.
std::string RenderSetupScene(const std::string& render) {
  return R"({"qvscene": 1, "time": 180000, "render": )" + render + R"(,
  "elements": [{"name": "Ball", "mesh": {"points": [-0.5, -0.5, -0.5, 0.5, 0.5, 0.5]}},
    {"name": "Notes", "components": [{"component": "NoteSheet", "data": ["{", "  AGRP {",
      "    Attr \"Text Entry\" {", "      Key 36000 \"Fifth of a second\"", "      Key 180000 \"One second\"",
      "    }", "  }", "}"]}]}]})";
}

TEST(ExportToolTest, TheScenesRenderSetupGivesTimecodesThumbnailSizesAndTheStep) {
  const std::string folder = FreshFolder("export-render-setup");
  struct Case {
    const char* render;
    const char* timecode;  // of the comment at 36000 ticks
    uint32_t width, height;
  } cases[] = {
      {"{}", "00:00:06", 160, 120},
      {R"({"frameRate": 25, "size": [320, 240]})", "00:00:05", 80, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.render);
    const std::string scene = WriteTempFile("render-setup.json", RenderSetupScene(c.render));
    const ToolRun run = RunQvhost("run NoteSheet --scene " + scene + " --control BUTN --save-as " + folder +
                                  "notes.html" + kModules);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    const std::string page = ReadFile(folder + "notes.html");
    EXPECT_NE(page.find(std::string("<!-- Begin Timecode -->\n") + c.timecode + "\n"), std::string::npos) << page;
    const qvhost::RgbImage picture = ReadJpeg(folder + "notes_images/36000.jpg");
    EXPECT_EQ(picture.width, c.width);
    EXPECT_EQ(picture.height, c.height);
  }

  // A stop is recorded, and with "restoreTime" followed by the setup's step.
  for (const char* afterStop : {"none", "restoreTime"}) {
    SCOPED_TRACE(afterStop);
    const std::string scene =
        WriteTempFile("render-stop.json", RenderSetupScene(std::string(R"({"afterStop": ")") + afterStop + "\"}"));
    const ToolRun run = RunQvhost("run NoteSheet --scene " + scene + " --control BUTN --save-as " + folder +
                                  "stopped.html --stop-after 0" + kModules);
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    const size_t stopped = run.out.find("render    stopped\n");
    ASSERT_NE(stopped, std::string::npos) << run.out;
    const size_t restored = run.out.find("scene     restore time to 180000\n");
    EXPECT_EQ(restored != std::string::npos, std::string(afterStop) == "restoreTime") << run.out;
    if (restored != std::string::npos) {
      EXPECT_GT(restored, stopped);
    }
  }
}

// ---- The page in a real browser ---------------------------------------------------------

// Debian's chromium on the PATH, or "".
std::string FindChromium() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':'))
    for (const char* name : {"chromium", "chromium-browser"})
      if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0) return folder + "/" + name;
  return "";
}

// Chromium's standard output for `arguments`, run headless with a profile of its own.
std::string RunChromium(const std::string& chromium, const std::string& folder, const std::string& arguments) {
  const std::string command = "timeout 60 " + chromium + " --headless --disable-gpu --no-sandbox --no-first-run" +
                              " --user-data-dir=" + folder + "profile " + arguments + " 2>/dev/null";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

TEST(BrowserTest, ChromiumLoadsEveryThumbnailOfTheExportedPage) {
  const std::string chromium = FindChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not on the PATH (scripts/install-deps.sh installs it)";
  const std::string folder = FreshFolderAt(std::string(QV_ARTEFACTS) + "/browser/");
  const ToolRun run = Export(folder);
  ASSERT_EQ(run.status, 0) << run.err << run.out;

  // A copy of the page beside it, with a script that lists the images' natural widths
  // once everything has loaded.
  const std::string probe = folder + "notes-probe.html";
  std::ofstream(probe, std::ios::binary)
      << ReadFile(folder + "notes.html")
      << "<script>\n"
         "window.addEventListener('load', function () {\n"
         "  var widths = [];\n"
         "  for (var i = 0; i < document.images.length; ++i) widths.push(document.images[i].naturalWidth);\n"
         "  var out = document.createElement('pre');\n"
         "  out.textContent = 'widths=' + widths.join(',') + ';';\n"
         "  document.body.appendChild(out);\n"
         "});\n"
         "</script>\n";
  const std::string dom = RunChromium(chromium, folder, "--virtual-time-budget=5000 --dump-dom file://" + probe);
  const size_t start = dom.find("<pre>widths=");
  ASSERT_NE(start, std::string::npos) << "the probe did not run:\n" << dom;
  const size_t from = start + std::strlen("<pre>widths=");
  const std::string widths = dom.substr(from, dom.find(';', from) - from);
  std::stringstream list(widths);
  std::string width;
  int images = 0;
  while (std::getline(list, width, ',')) {
    ++images;
    EXPECT_GT(std::atoi(width.c_str()), 0) << "image " << images << " did not load: " << widths;
  }
  EXPECT_EQ(images, 3) << widths;

  const std::string screenshot = folder + "notes.png";
  RunChromium(chromium, folder, "--window-size=1100,600 --screenshot=" + screenshot + " file://" + folder + "notes.html");
  const std::string png = ReadFile(screenshot);
  ASSERT_GT(png.size(), 8u) << "no screenshot at " << screenshot;
  EXPECT_EQ(png.substr(1, 3), "PNG");
  std::cout << "screenshot: " << screenshot << std::endl;
  RecordProperty("screenshot", screenshot);
}

}  // namespace
