// The software rasteriser, the JPEG writer, the renderer's thread, the scene's time
// operations and the services that save pictures and answer the save dialog.
#include <dirent.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "LeakCheck.h"
#include "ModuleInterfaces.h"
#include "PictureFiles.h"
#include "TestFiles.h"
#include "files/HostFile.h"
#include "qvhost/Document.h"
#include "qvhost/HostShell.h"
#include "qvhost/Rasteriser.h"
#include "qvhost/Renderer.h"
#include "qvhost/SceneFile.h"

namespace {

using namespace qvhost;

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir))
      if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.push_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

bool SameColour(const uint8_t* pixel, const uint8_t expected[3], int tolerance = 0) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(int(pixel[i]) - int(expected[i])) > tolerance) return false;
  return true;
}

Matrix34 Translation(float x, float y, float z) {
  Matrix34 m;
  m.translation = {x, y, z};
  return m;
}

// ---- Rasteriser -------------------------------------------------------------------------

const uint8_t kRed[3] = {200, 0, 0}, kBlue[3] = {0, 0, 200};

BoundingBox Cube(float half) {
  BoundingBox box;
  box.minimum = {-half, -half, -half};
  box.maximum = {half, half, half};
  return box;
}

// The pixel the camera's target (0, 1, 0) lands on: the centre of the picture.
const uint8_t* Centre(const RgbImage& image) { return image.At(image.width / 2, image.height / 2); }

TEST(RasteriserTest, TheNearerBoxHidesTheFartherInEitherOrder) {
  // Two cubes on the line from the camera (7, 6, 12) through its target (0, 1, 0).
  const Matrix34 near = Translation(3.5f, 3.5f, 6.0f), far = Translation(0.0f, 1.0f, 0.0f);
  for (bool nearFirst : {true, false}) {
    RenderSnapshot snapshot;
    if (nearFirst) AddBox(snapshot, Cube(0.5f), near, kRed);
    AddBox(snapshot, Cube(1.0f), far, kBlue);
    if (!nearFirst) AddBox(snapshot, Cube(0.5f), near, kRed);
    const RgbImage image = Rasterise(snapshot, 64, 48);
    ASSERT_EQ(image.pixels.size(), 64u * 48 * 3);
    const uint8_t* centre = Centre(image);
    EXPECT_GT(centre[0], 0) << "near first " << nearFirst;
    EXPECT_EQ(centre[2], 0) << "near first " << nearFirst;
  }
}

TEST(RasteriserTest, ShadesFacesFlatAndLeavesTheBackgroundElsewhere) {
  RenderSnapshot snapshot;
  AddBox(snapshot, Cube(1.0f), Translation(0.0f, 1.0f, 0.0f), kBlue);
  ASSERT_EQ(snapshot.triangles.size(), 12u);
  const RgbImage image = Rasterise(snapshot, 80, 60);
  uint8_t background[3];
  BackgroundColour(0, 60, background);
  EXPECT_TRUE(SameColour(image.At(0, 0), background));
  BackgroundColour(59, 60, background);
  EXPECT_TRUE(SameColour(image.At(79, 59), background));
  // Three faces are seen, each in one shade of blue, none brighter than the colour.
  std::vector<uint8_t> shades;
  for (size_t i = 0; i < image.pixels.size(); i += 3) {
    const uint8_t* pixel = &image.pixels[i];
    if (pixel[0] != 0 || pixel[1] != 0) continue;
    if (std::find(shades.begin(), shades.end(), pixel[2]) == shades.end()) shades.push_back(pixel[2]);
  }
  EXPECT_EQ(shades.size(), 3u);
  for (uint8_t shade : shades) EXPECT_LE(shade, kBlue[2]);
}

TEST(RasteriserTest, CutsAtTheNearPlaneAndSkipsWhatCannotBeDrawn) {
  struct Case {
    const char* name;
    RenderTriangle triangle;
    bool drawsCentre;
  } cases[] = {
      // One corner behind the camera, the target at the centroid: the part in front is drawn.
      {"crosses the near plane", {{{10.5f, 11.5f, 18.0f}, {-3.25f, -4.25f, -11.0f}, {-7.25f, -4.25f, -7.0f}}, {0, 0, 200}},
       true},
      {"behind the camera", {{{8.0f, 7.0f, 14.0f}, {9.0f, 7.0f, 14.0f}, {8.0f, 8.0f, 14.0f}}, {0, 0, 200}}, false},
      {"a corner that is not a number", {{{0.0f, 0.0f, 0.0f}, {std::nanf(""), 1.0f, 0.0f}, {0.0f, 2.0f, 0.0f}}, {0, 0, 200}}, false},
      {"no area", {{{0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 2.0f, 0.0f}}, {0, 0, 200}}, false},
  };
  for (const Case& c : cases) {
    RenderSnapshot snapshot;
    snapshot.triangles.push_back(c.triangle);
    const RgbImage image = Rasterise(snapshot, 32, 24);
    uint8_t background[3];
    size_t drawn = 0;
    for (uint32_t y = 0; y < 24; ++y) {
      BackgroundColour(y, 24, background);
      for (uint32_t x = 0; x < 32; ++x) drawn += !SameColour(image.At(x, y), background);
    }
    EXPECT_EQ(Centre(image)[2] > 0 && Centre(image)[0] == 0, c.drawsCentre) << c.name;
    if (!c.drawsCentre) {
      EXPECT_EQ(drawn, 0u) << c.name;
    }
  }
}

const char kMovingBall[] = R"({
  "qvscene": 1,
  "elements": [
    {"name": "Ground", "mesh": {"points": [-5, -0.25, -3, 5, 0, 3]}},
    {"name": "Ball", "mesh": {"points": [-0.5, -0.5, -0.5, 0.5, 0.5, 0.5]},
     "animation": {"track": [{"time": 0, "translation": [-3, 0.5, 0]}, {"time": 180000, "translation": [3, 2, 0]}]}},
    {"name": "Marker"}
  ]
})";

class SceneRenderTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    fDocument = ParseScene(kMovingBall, "moving-ball", fJournal);
  }
  void TearDown() override {
    fDocument.Release();
    LeakCheckedTest::TearDown();
  }
  RgbImage RenderAt(int32_t ticks) {
    fDocument->SetTime(ticks);
    return Rasterise(SnapshotScene(fDocument->GetScene()), 64, 48);
  }
  Scene& GetScene() { return fDocument->GetScene(); }

  std::shared_ptr<Journal> fJournal = std::make_shared<Journal>();
  TQVCountedPtr<Document> fDocument;
};

TEST_F(SceneRenderTest, AKeyFramedMeshGivesDifferentPicturesAtDifferentTimes) {
  EXPECT_EQ(SnapshotScene(GetScene()).triangles.size(), 24u) << "two meshes, the element without one is not drawn";
  const RgbImage start = RenderAt(0), end = RenderAt(180000), again = RenderAt(0);
  EXPECT_NE(start.pixels, end.pixels);
  EXPECT_EQ(start.pixels, again.pixels);
}

// ---- JPEG writer ------------------------------------------------------------------------

RgbImage Flat(uint32_t width, uint32_t height, const uint8_t colour[3]) {
  RgbImage image;
  image.width = width;
  image.height = height;
  for (size_t i = 0; i < size_t(width) * height; ++i) image.pixels.insert(image.pixels.end(), colour, colour + 3);
  return image;
}

TEST(JpegWriterTest, WritesAFileLibjpegReadsBackAtItsSize) {
  const std::string folder = FreshFolder("jpeg");
  const uint8_t colour[3] = {40, 160, 220};
  struct Case {
    uint32_t width, height;
  } cases[] = {{1, 1}, {37, 21}, {160, 120}};
  for (const Case& c : cases) {
    const std::string path = folder + std::to_string(c.width) + "x" + std::to_string(c.height) + ".jpg";
    std::string error;
    ASSERT_TRUE(WriteJpeg(Flat(c.width, c.height, colour), path, 90, error)) << error;
    const RgbImage back = ReadJpeg(path);
    EXPECT_EQ(back.width, c.width);
    EXPECT_EQ(back.height, c.height);
    if (back.width) {
      EXPECT_TRUE(SameColour(back.At(back.width / 2, back.height / 2), colour, 4));
    }
  }
  EXPECT_EQ(FolderEntries(folder).size(), 3u) << "no temporary file is left";
}

TEST(JpegWriterTest, RefusesWhatItCannotWriteAndLeavesNothing) {
  const std::string folder = FreshFolder("jpeg-refused");
  const uint8_t colour[3] = {1, 2, 3};
  RgbImage short_ = Flat(4, 4, colour);
  short_.pixels.resize(10);
  struct Case {
    const char* name;
    RgbImage image;
    std::string path;
  } cases[] = {
      {"no pixels", RgbImage{}, folder + "empty.jpg"},
      {"fewer bytes than its size", short_, folder + "short.jpg"},
      {"a folder that is not there", Flat(4, 4, colour), folder + "missing/picture.jpg"},
      {"a path that is a folder", Flat(4, 4, colour), folder},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(WriteJpeg(c.image, c.path, 90, error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
  EXPECT_TRUE(FolderEntries(folder).empty());
}

// ---- The renderer's thread ----------------------------------------------------------------

// Records the operations the renderer calls, with the thread they came on.
class RecordingCallback final : public HostObject<IRenderCallback> {
 public:
  struct Log {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<std::thread::id> threads;
    void Add(std::string call) {
      std::lock_guard<std::mutex> lock(mutex);
      calls.push_back(std::move(call));
      threads.push_back(std::this_thread::get_id());
    }
  };

  RecordingCallback(std::string name, Log& log, Renderer* renderer = nullptr) : fName(std::move(name)), fLog(log) {
    fRenderer.Assign(renderer);
  }
  ~RecordingCallback() override { fLog.Add(fName + " released"); }

  QVResult Progress(float done, float total) override {
    fLog.Add(fName + " 3");
    EXPECT_LE(done, total);
    Called();
    return progressAnswer;
  }
  QVResult Reserved4(void*) override { return 0; }
  QVResult Reserved5() override { return 0; }
  QVResult Reserved6() override { return 0; }
  QVResult Reserved7(void*) override { return 0; }
  QVResult Reserved8(void*) override { return 0; }
  QVResult RenderStarting() override {
    fLog.Add(fName + " 9");
    Called();
    return startAnswer;
  }
  QVResult RenderFinished() override {
    TQVCountedPtr<IHostPicture> picture;
    if (fRenderer) fRenderer->GetRenderedPicture(picture.Put());
    fLog.Add(fName + " 10" +
             (picture ? " " + std::to_string(picture->GetWidth()) + "x" + std::to_string(picture->GetHeight()) : ""));
    return kQVOk;
  }
  void SetLinkedObject(IUnknown*) override {}

  QVResult progressAnswer = kQVOk, startAnswer = kQVOk;
  int stopAtCall = 0;  // stops the renderer during this call of the render (1: RenderStarting)

 private:
  void Called() {
    if (++fCalls == stopAtCall && fRenderer) fRenderer->StopRender();
  }
  int fCalls = 0;
  std::string fName;
  Log& fLog;
  TQVCountedPtr<Renderer> fRenderer;
};

// A draw function that waits until the test opens its gate, so that renders stay pending.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(fMutex);
      fOpen = true;
    }
    fChanged.notify_all();
  }
  Renderer::Draw Draw() {
    return [this](uint32_t width, uint32_t height, const std::function<bool(float, float)>& progress) {
      {
        std::unique_lock<std::mutex> lock(fMutex);
        fChanged.wait(lock, [&] { return fOpen; });
      }
      RgbImage image;
      if (!progress(0.0f, 1.0f)) return image;
      const uint8_t grey[3] = {128, 128, 128};
      image = Flat(width, height, grey);
      progress(1.0f, 1.0f);
      return image;
    };
  }

 private:
  std::mutex fMutex;
  std::condition_variable fChanged;
  bool fOpen = false;
};

// Starts a render the way the module does: the renderer takes over a reference made for
// it, which stays with the caller when the start is refused.
template <class Callback>
QVResult StartHanded(Renderer& renderer, Callback* callback) {
  if (callback) callback->AddRef();
  const QVResult started = renderer.StartRender(callback, 0, 0, 0);
  if (started != kQVOk && callback) callback->Release();
  return started;
}

class RendererTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    fRenderer = Adopt<Renderer>(new Renderer(fGate.Draw(), 16, 12, fJournal));
  }
  void TearDown() override {
    fGate.Open();
    fRenderer.Release();
    LeakCheckedTest::TearDown();
  }
  TQVCountedPtr<RecordingCallback> Callback(const std::string& name) {
    return Adopt<RecordingCallback>(new RecordingCallback(name, fLog, fRenderer.Get()));
  }
  // Hands the renderer a reference of its own, as the module does.
  QVResult Start(RecordingCallback* callback) { return StartHanded(*fRenderer, callback); }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(fLog.mutex);
    return fLog.calls;
  }

  std::shared_ptr<Journal> fJournal = std::make_shared<Journal>();
  Gate fGate;
  TQVCountedPtr<Renderer> fRenderer;
  RecordingCallback::Log fLog;
};

TEST_F(RendererTest, QueuesStartsAndCallsEachCallbackInOrderOnItsOwnThread) {
  {
    auto first = Callback("a"), second = Callback("b");
    EXPECT_FALSE(fRenderer->IsBusy());
    ASSERT_EQ(Start(first.Get()), kQVOk);
    ASSERT_EQ(fRenderer->SetOutputSize(8, 6, 1.0f), kQVOk);
    ASSERT_EQ(Start(second.Get()), kQVOk);  // while the first is pending
    ASSERT_EQ(Start(nullptr), kQVOk);       // a render without a callback
    EXPECT_TRUE(fRenderer->IsBusy());
  }  // the renderer keeps its own references
  EXPECT_TRUE(fRenderer->IsBusy());
  fGate.Open();
  fRenderer->WaitUntilIdle();
  EXPECT_FALSE(fRenderer->IsBusy());
  const std::vector<std::string> expected = {"a 9", "a 3", "a 3", "a 10 16x12", "a released",
                                             "b 9", "b 3", "b 3", "b 10 8x6",   "b released"};
  EXPECT_EQ(Calls(), expected) << "each render uses the size in force when it was started";
  for (std::thread::id thread : fLog.threads) EXPECT_NE(thread, std::this_thread::get_id());
  EXPECT_EQ(fRenderer->StartedRenders(), 3);
  EXPECT_EQ(fRenderer->FinishedRenders(), 3);
  TQVCountedPtr<IHostPicture> none;
  EXPECT_NE(fRenderer->GetRenderedPicture(none.Put()), kQVOk) << "no render is finishing";
  EXPECT_FALSE(none);
}

TEST_F(RendererTest, AnswersOtherThanZeroEndTheRenderWithoutItsPicture) {
  // The renderer holds the only references: a render that ends at once releases its
  // callback before the next one starts.
  auto* refusedStart = new RecordingCallback("start", fLog, fRenderer.Get());
  auto* refusedProgress = new RecordingCallback("progress", fLog, fRenderer.Get());
  refusedStart->startAnswer = kQVErrStopped;
  refusedProgress->progressAnswer = kQVErrStopped;
  for (RecordingCallback* callback : {refusedStart, refusedProgress, new RecordingCallback("after", fLog, fRenderer.Get())})
    ASSERT_EQ(fRenderer->StartRender(callback, 0, 0, 0), kQVOk);
  fGate.Open();
  fRenderer->WaitUntilIdle();
  const std::vector<std::string> expected = {"start 9",  "start released", "progress 9", "progress 3",
                                             "progress released", "after 9", "after 3", "after 3",
                                             "after 10 16x12", "after released"};
  EXPECT_EQ(Calls(), expected);
}

TEST_F(RendererTest, AStopFromACallbackDropsTheQueuedRendersUncalled) {
  {
    auto first = Callback("a"), stopping = Callback("b"), dropped = Callback("c");
    stopping->stopAtCall = 1;
    stopping->startAnswer = kQVErrStopped;
    for (RecordingCallback* callback : {first.Get(), stopping.Get(), dropped.Get()}) Start(callback);
  }
  fGate.Open();
  fRenderer->WaitUntilIdle();
  EXPECT_FALSE(fRenderer->IsBusy());
  const std::vector<std::string> expected = {"a 9", "a 3", "a 3", "a 10 16x12", "a released",
                                             "b 9", "c released", "b released"};
  EXPECT_EQ(Calls(), expected);
  EXPECT_EQ(fRenderer->FinishedRenders(), 1);
}

// A callback that stops the renderer and answers as usual: the render ends at the
// renderer's next step, without its finishing call, and the queued renders are dropped.
TEST_F(RendererTest, AStopDuringAnyCallOfTheRenderEndsItWithoutItsPicture) {
  const struct Case {
    int call;
    std::vector<std::string> calls;
  } cases[] = {
      {1, {"b 9", "c released", "b released"}},                // RenderStarting
      {2, {"b 9", "b 3", "c released", "b released"}},         // the first Progress
      {3, {"b 9", "b 3", "b 3", "c released", "b released"}},  // the last Progress
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    RecordingCallback::Log log;
    Gate gate;
    auto renderer = Adopt<Renderer>(new Renderer(gate.Draw(), 16, 12, fJournal));
    {
      // "a" waits at the gate while the others are queued.
      auto first = Adopt<RecordingCallback>(new RecordingCallback("a", log, renderer.Get()));
      auto stopping = Adopt<RecordingCallback>(new RecordingCallback("b", log, renderer.Get()));
      auto dropped = Adopt<RecordingCallback>(new RecordingCallback("c", log, renderer.Get()));
      stopping->stopAtCall = c.call;
      for (RecordingCallback* callback : {first.Get(), stopping.Get(), dropped.Get()})
        ASSERT_EQ(StartHanded(*renderer, callback), kQVOk);
    }
    gate.Open();
    renderer->WaitUntilIdle();
    std::vector<std::string> expected = {"a 9", "a 3", "a 3", "a 10 16x12", "a released"};
    expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(log.calls, expected);
    EXPECT_EQ(renderer->FinishedRenders(), 1);
    renderer->Shutdown();
  }
}

TEST_F(RendererTest, RefusesSizesOutOfRangeAndStartsAfterShutdown) {
  for (auto [width, height] : {std::pair<uint32_t, uint32_t>{0, 10}, {10, 0}, {kMaxRenderSize + 1, 10}})
    EXPECT_NE(fRenderer->SetOutputSize(width, height, 1.0f), kQVOk) << width << " x " << height;
  {
    auto done = Callback("done");
    Start(done.Get());
  }
  fGate.Open();
  fRenderer->WaitUntilIdle();
  fRenderer->Shutdown();
  auto late = Callback("late");
  late->AddRef();
  EXPECT_NE(fRenderer->StartRender(late.Get(), 0, 0, 0), kQVOk);
  EXPECT_EQ(late->References(), 2) << "a refused start leaves the reference with the caller";
  late->Release();
  EXPECT_FALSE(fRenderer->IsBusy());
}

// ---- The scene's side -------------------------------------------------------------------

TEST_F(SceneRenderTest, GoToTimeAndTheTimeControlMoveTheDocumentAndRefreshIsRecorded) {
  SceneElement* ball = GetScene().Root().Find("Ball");
  EXPECT_EQ(GetScene().GoToTime(180000, 0, 1, 0, 0, 0), kQVOk);
  EXPECT_EQ(GetScene().GetCurrentTime(0), 180000);
  EXPECT_FLOAT_EQ(ball->Local().translation.x, 3.0f);
  TQVCountedPtr<IHostTimeControl> control;
  ASSERT_EQ(GetScene().GetTimeControl(control.Put()), kQVOk);
  ASSERT_TRUE(control);
  control->SetCurrentTime(90000);
  EXPECT_EQ(GetScene().GetCurrentTime(0), 90000);
  EXPECT_FLOAT_EQ(ball->Local().translation.x, 0.0f);
  GetScene().Refresh();
  const std::vector<std::string> expected = {"go to 180000", "time control to 90000", "refresh at 90000"};
  EXPECT_EQ(fJournal->Texts("scene"), expected);
}

TEST_F(SceneRenderTest, TheRenderSetupGivesOneRendererAndItsDefaults) {
  TQVCountedPtr<IHostRenderSetup> setup, again;
  ASSERT_EQ(GetScene().GetRenderSetup(setup.Put()), kQVOk);
  ASSERT_EQ(GetScene().GetRenderSetup(again.Put()), kQVOk);
  EXPECT_EQ(setup.Get(), again.Get());
  EXPECT_EQ(setup->GetFrameRate(), 30);
  uint32_t width = 0, height = 0;
  setup->GetOutputSize(&width, &height);
  EXPECT_EQ(width, 640u);
  EXPECT_EQ(height, 480u);
  TQVCountedPtr<IHostRenderer> first, second;
  ASSERT_EQ(setup->GetRenderer(first.Put()), kQVOk);
  ASSERT_EQ(setup->GetRenderer(second.Put()), kQVOk);
  EXPECT_EQ(first.Get(), second.Get());
  setup->RenderStopped();
  EXPECT_EQ(GetScene().GetHostRenderSetup().stops, 1);
}

// After a stop the setup puts the scene back at the time it showed when a client took the
// idle renderer ("restoreTime"), or leaves it where the renders moved it ("none").
TEST_F(SceneRenderTest, AStoppedRenderRestoresTheTimeWhenTheSetupSaysSo) {
  for (const AfterStop afterStop : {AfterStop::None, AfterStop::RestoreTime}) {
    const bool restores = afterStop == AfterStop::RestoreTime;
    SCOPED_TRACE(restores ? "restoreTime" : "none");
    fJournal->Clear();
    ASSERT_EQ(GetScene().GoToTime(36000, 0, 1, 0, 0, 0), kQVOk);
    RenderSetup& setup = GetScene().GetHostRenderSetup();
    setup.afterStop = afterStop;
    TQVCountedPtr<IHostRenderer> renderer;
    ASSERT_EQ(setup.GetRenderer(renderer.Put()), kQVOk);
    ASSERT_EQ(GetScene().GoToTime(180000, 0, 1, 0, 0, 0), kQVOk);  // as a render's start does
    setup.RenderStopped();
    EXPECT_EQ(GetScene().GetCurrentTime(0), restores ? 36000 : 180000);
    std::vector<std::string> expected = {"go to 36000", "go to 180000"};
    if (restores) expected.push_back("restore time to 36000");
    EXPECT_EQ(fJournal->Texts("scene"), expected);
    EXPECT_EQ(fJournal->Texts("render"), std::vector<std::string>{"stopped"});
  }
}

// What one client sets on the renderer lasts for the renders it starts, not into the next
// hand-out: each GetRenderer starts from the render setup's size (a thumbnail export that
// sets no size renders at the setup's, whatever an earlier export set).
TEST_F(SceneRenderTest, EachHandOutOfTheRendererStartsAtTheRenderSetupsSize) {
  GetScene().GetHostRenderSetup().SetOutputSize(40, 30);
  TQVCountedPtr<IHostRenderSetup> setup;
  ASSERT_EQ(GetScene().GetRenderSetup(setup.Put()), kQVOk);
  Renderer& host = GetScene().GetHostRenderSetup().GetHostRenderer();
  struct Step {
    uint32_t width, height;  // 0: no size set
    int renders;
    const char* expected;
  };
  const Step steps[] = {{8, 6, 2, "8x6"}, {0, 0, 1, "40x30"}, {16, 12, 1, "16x12"}, {0, 0, 2, "40x30"}};
  RecordingCallback::Log log;
  std::vector<std::string> expected;
  int made = 0;
  for (const Step& step : steps) {
    TQVCountedPtr<IHostRenderer> renderer;
    ASSERT_EQ(setup->GetRenderer(renderer.Put()), kQVOk);
    ASSERT_EQ(renderer.Get(), static_cast<IHostRenderer*>(&host));
    if (step.width) {
      ASSERT_EQ(renderer->SetOutputSize(step.width, step.height, 1.0f), kQVOk);
    }
    for (int i = 0; i < step.renders; ++i) {
      const std::string name = std::to_string(made++);
      auto callback = Adopt<RecordingCallback>(new RecordingCallback(name, log, &host));
      ASSERT_EQ(StartHanded(host, callback.Get()), kQVOk);
      expected.push_back(name + " 10 " + step.expected);
    }
  }
  host.WaitUntilIdle();
  std::vector<std::string> finished;
  {
    std::lock_guard<std::mutex> lock(log.mutex);
    for (const std::string& call : log.calls)
      if (call.find(" 10 ") != std::string::npos) finished.push_back(call);
  }
  EXPECT_EQ(finished, expected);
  uint32_t width = 0, height = 0;
  setup->GetOutputSize(&width, &height);
  EXPECT_EQ(width, 40u) << "the renderer's sizes leave the setup's alone";
  EXPECT_EQ(height, 30u);
}

// The scene's renderer draws the scene as the callback's RenderStarting left it.
TEST_F(SceneRenderTest, TheScenesRendererDrawsAtTheTimeTheCallbackMovedTo) {
  class MovingCallback final : public HostObject<IRenderCallback> {
   public:
    MovingCallback(Scene& scene, int32_t ticks, std::vector<RgbImage>& pictures)
        : fScene(scene), fTicks(ticks), fPictures(pictures) {}
    QVResult Progress(float, float) override { return 0; }
    QVResult Reserved4(void*) override { return 0; }
    QVResult Reserved5() override { return 0; }
    QVResult Reserved6() override { return 0; }
    QVResult Reserved7(void*) override { return 0; }
    QVResult Reserved8(void*) override { return 0; }
    QVResult RenderStarting() override { return fScene.GoToTime(fTicks, 0, 1, 0, 0, 0); }
    QVResult RenderFinished() override {
      TQVCountedPtr<IHostPicture> picture;
      fScene.GetHostRenderSetup().GetHostRenderer().GetRenderedPicture(picture.Put());
      if (picture) fPictures.push_back(static_cast<Picture*>(picture.Get())->Image());
      return 0;
    }
    void SetLinkedObject(IUnknown*) override {}

   private:
    Scene& fScene;
    int32_t fTicks;
    std::vector<RgbImage>& fPictures;
  };
  std::vector<RgbImage> pictures;
  Renderer& renderer = GetScene().GetHostRenderSetup().GetHostRenderer();
  ASSERT_EQ(renderer.SetOutputSize(64, 48, 1.0f), kQVOk);
  for (int32_t ticks : {0, 180000, 0}) {
    auto callback = Adopt<MovingCallback>(new MovingCallback(GetScene(), ticks, pictures));
    StartHanded(renderer, callback.Get());
  }
  EXPECT_EQ(GetScene().GetExportPrecondition() == 0, renderer.IsBusy());
  renderer.WaitUntilIdle();
  EXPECT_EQ(GetScene().GetExportPrecondition(), 1);
  ASSERT_EQ(pictures.size(), 3u);
  EXPECT_EQ(pictures[0].pixels, RenderAt(0).pixels);
  EXPECT_EQ(pictures[1].pixels, RenderAt(180000).pixels);
  EXPECT_NE(pictures[0].pixels, pictures[1].pixels);
  EXPECT_EQ(pictures[0].pixels, pictures[2].pixels);
  GetScene().exportRefused = true;
  EXPECT_EQ(GetScene().GetExportPrecondition(), 0);
}

// ---- Services: the save dialog and picture saving -------------------------------------------

class SaveServicesTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    fShell = HostShell::Create();
  }
  void TearDown() override {
    fShell.Release();
    LeakCheckedTest::TearDown();
  }
  template <class I>
  TQVCountedPtr<I> ServiceOf(QVService service) {
    TQVCountedPtr<I> answer;
    EXPECT_EQ(QVQuery(fShell->Service(service), answer), kQVOk);
    return answer;
  }

  TQVCountedPtr<HostShell> fShell;
};

TEST_F(SaveServicesTest, TheSaveDialogAnswersWithTheRunsFileOrIsCancelled) {
  auto dialogs = ServiceOf<HostFileDialogServices>(QVService::FileDialog);
  TQVArray<uint32_t> types;
  types.Append(QVFourCC("htmL"));
  TQVFixedString<255> prompt;
  prompt.SetFrom("Save as Html");
  struct Case {
    std::string answer, folder, name, full;
  } cases[] = {
      {"/home/user/pages/notes.html", "/home/user/pages/", "notes", "/home/user/pages/notes.html"},
      {"", "", "Untitled", "Untitled"},  // cancelled: the default name stays, no folder
  };
  for (const Case& c : cases) {
    fShell->Settings().saveAnswer = c.answer;
    TQVCountedPtr<IHostFileSpec> file = MakeHostFile();
    TQVFixedString<255> untitled;
    untitled.SetFrom("Untitled");
    file->SetDefaultName(untitled);
    EXPECT_EQ(dialogs->SaveFileDialog(prompt, file.Get(), types, types.Storage()), kQVOk);
    TQVFixedString<1023> folder, name, full;
    file->GetFolder(folder);
    file->GetNameWithoutExtension(name);
    file->GetFullPath(full);
    EXPECT_EQ(folder.CStr(), c.folder);
    EXPECT_EQ(name.CStr(), c.name);
    EXPECT_EQ(full.CStr(), c.full);
  }
  const std::vector<std::string> expected = {"\"Save as Html\" htmL: /home/user/pages/notes.html",
                                             "\"Save as Html\" htmL: cancelled"};
  EXPECT_EQ(fShell->GetJournal().Texts("save"), expected);
  auto files = ServiceOf<HostFileServices>(QVService::File);
  TQVFixedString<15> separator;
  files->GetPathSeparatorString(separator);
  EXPECT_STREQ(separator.CStr(), "/");
}

TEST_F(SaveServicesTest, SavesAJpegMakingTheMissingFolderAndRefusesOtherFormats) {
  auto images = ServiceOf<HostImageServices>(QVService::Image);
  const std::string folder = FreshFolder("pictures");
  const uint8_t colour[3] = {250, 120, 10};
  auto picture = Adopt<IHostPicture>(new Picture(Flat(20, 10, colour)));
  struct Case {
    const char* name;
    std::string path;
    uint32_t format;
    bool saved;
  } cases[] = {
      {"JPEG into a folder to make", folder + "page_images/36000", QVFourCC("JPEG"), true},
      {"another format", folder + "other/36000", QVFourCC("PNGf"), false},
  };
  for (const Case& c : cases) {
    TQVCountedPtr<IHostFileSpec> file = MakeHostFile();
    TQVFixedString<1023> path;
    path.SetFrom(c.path.c_str());
    file->SetFromPath(path, 0);
    TQVFixedString<15> extension;
    extension.SetFrom("jpg");
    file->SetExtension(extension);
    EXPECT_EQ(images->SavePicture(picture.Get(), 0, file.Get(), c.format, 0, 0, 0) == kQVOk, c.saved) << c.name;
    const RgbImage back = ReadJpeg(c.path + ".jpg");
    EXPECT_EQ(back.width, c.saved ? 20u : 0u) << c.name;
    EXPECT_EQ(back.height, c.saved ? 10u : 0u) << c.name;
  }
  TQVCountedPtr<IHostFileSpec> file = MakeHostFile();
  EXPECT_NE(images->SavePicture(nullptr, 0, file.Get(), QVFourCC("JPEG"), 0, 0, 0), kQVOk);
  const std::vector<std::string> journal = fShell->GetJournal().Texts("picture");
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[0], "saved " + folder + "page_images/36000.jpg (20 x 10)");
  EXPECT_NE(journal[1].find("format PNGf is not offered"), std::string::npos) << journal[1];
}

}  // namespace
