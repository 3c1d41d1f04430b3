// NoteSheet's HTML export and thumbnails through the loader: the reference host's scene,
// files and dialogs, with a save dialog, a progress display, a picture saver and a
// renderer of the test's own. The renderer runs each render on its own thread.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ExpectRaise.h"
#include "IHostFiles.h"
#include "IHostGeometry.h"
#include "IHostRendering.h"
#include "ModuleFixture.h"
#include "TestFiles.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/AttributeHolder.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/HostMemory.h"

namespace {

using qvhost::Adopt;

// What the fakes were asked, in order, from whichever thread.
class EventLog {
 public:
  void Add(std::string event) {
    std::lock_guard<std::mutex> lock(fMutex);
    fEvents.push_back(std::move(event));
  }
  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fEvents;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(fMutex);
    fEvents.clear();
  }
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& event : Events())
      if (event.rfind(prefix, 0) == 0) found.push_back(event);
    return found;
  }

 private:
  mutable std::mutex fMutex;
  std::vector<std::string> fEvents;
};

// The handle of a progress display: a counted object the module only hands back.
struct IProgressHandle : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x7101);
};
class ProgressHandle final : public qvhost::HostObject<IProgressHandle> {};

// A progress display that reports a stop once `stop` is set.
class FakeProgress final : public qvhost::HostObject<HostProgressServices> {
 public:
  explicit FakeProgress(EventLog& log) : fLog(log) {}
  QVResult BeginProgress(const TQVString& title, float maximum, IUnknown** handle) override {
    fLog.Add(std::string("begin ") + title.CStr() + " " + std::to_string(int(maximum)));
    QVClearOut(reinterpret_cast<void**>(handle));
    *handle = new ProgressHandle();
    handleGiven = *handle;
    return kQVOk;
  }
  QVResult SetProgressValue(float value, IUnknown* handle) override {
    std::lock_guard<std::mutex> lock(fMutex);
    values.push_back(value);
    if (handle != handleGiven) ++foreignHandles;
    return kQVOk;
  }
  QVResult SetProgressText(const TQVString&, IUnknown*) override { return kQVOk; }
  QVResult EndProgress(IUnknown* handle) override {
    fLog.Add(handle == handleGiven ? "end progress" : "end progress (other handle)");
    return kQVOk;
  }
  bool IsAbortRequested() override { return stop; }
  uint32_t GetApplicationCreatorCode() override { return QVFourCC("QVhs"); }

  std::atomic<bool> stop{false};
  IUnknown* handleGiven = nullptr;
  std::mutex fMutex;
  std::vector<float> values;
  int foreignHandles = 0;

 private:
  EventLog& fLog;
};

// Answers with `answer` (a path), or cancels when it is empty.
class FakeFileDialog final : public qvhost::HostObject<HostFileDialogServices> {
 public:
  explicit FakeFileDialog(EventLog& log) : fLog(log) {}
  QVResult RegisterFileType(const TFileTypeRecord&) override { return kQVOk; }
  QVResult SaveFileDialog(const TQVString& prompt, IHostFileSpec* file, const TQVArray<uint32_t>& types,
                          const uint32_t* storage) override {
    TQVFixedString<1023> folder;
    file->GetFolder(folder);
    fLog.Add(std::string("save dialog \"") + prompt.CStr() + "\" " + std::to_string(types.Length()) + " " +
             qvhost::FormatFourCC(types.Length() ? types[0] : 0) + (storage == types.Storage() ? "" : " other storage"));
    if (!answer.empty()) {
      TQVFixedString<1023> path;
      path.SetFrom(answer.c_str());
      file->SetFromPath(path, 0);
    }
    if (refuseMemoryAfter) qvhost::HostMemory::Instance().RefuseAll(true);
    return kQVOk;
  }
  std::string answer;
  bool refuseMemoryAfter = false;

 private:
  EventLog& fLog;
};

class FakePicture final : public qvhost::HostObject<IHostPicture> {
 public:
  FakePicture(uint32_t width, uint32_t height) : fWidth(width), fHeight(height) {}
  uint32_t GetWidth() override { return fWidth; }
  uint32_t GetHeight() override { return fHeight; }
  const uint8_t* GetPixels() override { return nullptr; }

 private:
  uint32_t fWidth, fHeight;
};

// Records each picture's file and size instead of writing it.
class FakeImages final : public qvhost::HostObject<HostImageServices> {
 public:
  explicit FakeImages(EventLog& log) : fLog(log) {}
  QVResult SavePicture(IHostPicture* picture, int32_t a, IHostFileSpec* file, uint32_t format, int32_t b, int32_t c,
                       int32_t d) override {
    TQVFixedString<1023> path;
    if (file) file->GetFullPath(path);
    fLog.Add("picture " + std::string(path.CStr()) + " " + qvhost::FormatFourCC(format) + " " +
             (picture ? std::to_string(picture->GetWidth()) + "x" + std::to_string(picture->GetHeight()) : "none") +
             (a || b || c || d ? " (arguments)" : ""));
    return kQVOk;
  }

 private:
  EventLog& fLog;
};

// The shell the module is loaded with: the test's services, the reference host's others.
class TestShell final : public qvhost::HostObject<IHostShell> {
 public:
  TestShell(qvhost::HostShell& host, EventLog& log)
      : progress(Adopt<FakeProgress>(new FakeProgress(log))),
        dialog(Adopt<FakeFileDialog>(new FakeFileDialog(log))),
        images(Adopt<FakeImages>(new FakeImages(log))) {
    fHost.Assign(&host);
  }
  QVResult QueryInterface(const QVGUID& id, void** out) override {
    IUnknown* mine = nullptr;
    if (id == HostProgressServices::kID) mine = static_cast<HostProgressServices*>(progress.Get());
    if (id == HostFileDialogServices::kID) mine = static_cast<HostFileDialogServices*>(dialog.Get());
    if (id == HostImageServices::kID) mine = static_cast<HostImageServices*>(images.Get());
    if (id == IHostShell::kID || id == kIID_IUnknown) mine = static_cast<IHostShell*>(this);
    if (!mine) return fHost->QueryInterface(id, out);
    QVStoreOut(out, mine);
    return kQVOk;
  }
  TQVCountedPtr<FakeProgress> progress;
  TQVCountedPtr<FakeFileDialog> dialog;
  TQVCountedPtr<FakeImages> images;

 private:
  TQVCountedPtr<qvhost::HostShell> fHost;
};

// Runs the renders it was given in order on one thread: starting, progress twice,
// finished, then the callback's release. After `stopAfter` finished renders it has the
// progress display report a stop. A stop drops the renders not yet begun.
class FakeRenderer final : public qvhost::HostObject<IHostRenderer> {
 public:
  FakeRenderer(EventLog& log, FakeProgress& progress) : fLog(log), fProgress(progress) {}
  ~FakeRenderer() override { Join(); }

  QVResult SetOutputSize(uint32_t width, uint32_t height, float scale) override {
    std::lock_guard<std::mutex> lock(fMutex);
    fWidth = width;
    fHeight = height;
    fLog.Add("size " + std::to_string(width) + "x" + std::to_string(height) + " " + std::to_string(scale));
    return kQVOk;
  }
  QVResult StartRender(IRenderCallback* callback, int32_t a, int32_t b, int32_t c) override {
    qvhost::HostMemory::Instance().RefuseAll(false);
    if (refusedStarts.count(fStarts++)) {  // the callback stays with the caller
      fLog.Add("start refused");
      return kQVErrNotSupported;
    }
    fLog.Add(std::string("start") + (callback ? "" : " without callback") + (a || b || c ? " (arguments)" : ""));
    std::lock_guard<std::mutex> lock(fMutex);
    fQueue.push_back({callback, fWidth, fHeight});
    ++fPending;
    if (!fThread.joinable()) fThread = std::thread([this] { Run(); });
    fWake.notify_one();
    return kQVOk;
  }
  bool IsBusy() override { return fPending > 0; }
  QVResult GetRenderedPicture(IHostPicture** picture) override {
    QVClearOut(reinterpret_cast<void**>(picture));
    *picture = new FakePicture(fCurrentWidth, fCurrentHeight);
    return kQVOk;
  }
  QVResult StopRender() override {
    fLog.Add("stop");
    fStopped = true;
    return kQVOk;
  }

  // Waits until every render ran or was dropped, and ends the thread.
  void Join() {
    {
      std::lock_guard<std::mutex> lock(fMutex);
      fQuit = true;
      fWake.notify_one();
    }
    if (fThread.joinable()) fThread.join();
    std::lock_guard<std::mutex> lock(fMutex);
    fQuit = false;
  }
  int stopAfter = -1;
  // The progress display reports a stop right before this callback call (1: the first
  // render's RenderStarting, 2 and 3: its Progress, 4: its RenderFinished, 5: the next
  // render's RenderStarting...).
  int stopBeforeCall = -1;
  std::set<int> refusedStarts;  // by number, from 0
  std::atomic<int> finishedCount{0};

 private:
  struct Render {
    IRenderCallback* callback;
    uint32_t width, height;
  };
  void Run() {
    for (;;) {
      Render render;
      {
        std::unique_lock<std::mutex> lock(fMutex);
        fWake.wait(lock, [this] { return !fQueue.empty() || fQuit; });
        if (fQueue.empty()) return;
        render = fQueue.front();
        fQueue.pop_front();
      }
      fCurrentWidth = render.width;
      fCurrentHeight = render.height;
      if (IRenderCallback* callback = render.callback) {
        if (fStopped) {
          fLog.Add("dropped");
        } else {
          const auto next = [this] {
            if (++fCalls == stopBeforeCall) fProgress.stop = true;
          };
          next();
          QVResult result = callback->RenderStarting();
          if (result == kQVOk) {
            next();
            result = callback->Progress(0.5f, 1.0f);
          }
          if (result == kQVOk) {
            next();
            result = callback->Progress(2.0f, 2.0f);
          }
          if (result == kQVOk) {
            next();
            result = callback->RenderFinished();
          }
          fLog.Add("rendered " + std::to_string(result));
          if (++finishedCount == stopAfter) fProgress.stop = true;
        }
        callback->Release();
      }
      --fPending;
    }
  }

  EventLog& fLog;
  FakeProgress& fProgress;
  std::mutex fMutex;
  std::condition_variable fWake;
  std::deque<Render> fQueue;
  std::thread fThread;
  std::atomic<int> fPending{0};
  std::atomic<bool> fStopped{false};
  bool fQuit = false;
  int fStarts = 0, fCalls = 0;
  uint32_t fWidth = 0, fHeight = 0;
  std::atomic<uint32_t> fCurrentWidth{0}, fCurrentHeight{0};
};

class FakeRenderSetup final : public qvhost::HostObject<IHostRenderSetup> {
 public:
  FakeRenderSetup(EventLog& log, IHostRenderer* renderer) : fLog(log) { fRenderer.Assign(renderer); }
  int32_t GetFrameRate() override { return frameRate; }
  QVResult GetRenderer(IHostRenderer** renderer) override {
    QVStoreOut(reinterpret_cast<void**>(renderer), static_cast<IHostRenderer*>(fRenderer.Get()));
    return kQVOk;
  }
  // Asked right before the callback is made: may refuse the memory until the start.
  void GetOutputSize(uint32_t* width, uint32_t* height) override {
    *width = outputWidth;
    *height = outputHeight;
    if (refuseMemory) qvhost::HostMemory::Instance().RefuseAll(true);
  }
  void RenderStopped() override { fLog.Add("render stopped"); }

  int32_t frameRate = 30;
  bool refuseMemory = false;
  uint32_t outputWidth = 640, outputHeight = 480;

 private:
  EventLog& fLog;
  TQVCountedPtr<IHostRenderer> fRenderer;
};

class FakeTimeControl final : public qvhost::HostObject<IHostTimeControl> {
 public:
  FakeTimeControl(EventLog& log, std::atomic<int32_t>& time) : fLog(log), fTime(time) {}
  void SetCurrentTime(int32_t time) override {
    fLog.Add("time control " + std::to_string(time));
    fTime = time;
  }

 private:
  EventLog& fLog;
  std::atomic<int32_t>& fTime;
};

// The reference host's scene with the time, the render setup and the export question of
// the test's own.
class TestScene final : public qvhost::HostObject<IHostScene> {
 public:
  TestScene(qvhost::Scene& scene, EventLog& log, IHostRenderSetup* setup) : fLog(log) {
    fScene.Assign(&scene);
    fSetup.Assign(setup);
  }
  QVResult QueryInterface(const QVGUID& id, void** out) override {
    if (id == IHostScene::kID || id == kIID_IUnknown) {
      QVStoreOut(out, static_cast<IHostScene*>(this));
      return kQVOk;
    }
    return fScene->QueryInterface(id, out);
  }
  void PrepareTree() override { fScene->PrepareTree(); }
  QVResult GetTree(IHostTree** tree) override { return fScene->GetTree(tree); }
  void SceneChanged() override { fScene->SceneChanged(); }
  uint32_t GetObjectList1Count() override { return fScene->GetObjectList1Count(); }
  IUnknown* GetObjectList1Entry(uint32_t index) override { return fScene->GetObjectList1Entry(index); }
  uint32_t GetObjectList2Count() override { return fScene->GetObjectList2Count(); }
  IUnknown* GetObjectList2Entry(uint32_t index) override { return fScene->GetObjectList2Entry(index); }
  IUnknown* GetExtraAnimatedObject() override { return fScene->GetExtraAnimatedObject(); }
  QVResult GetCommandContext(IHostCommandContext** context) override { return fScene->GetCommandContext(context); }
  QVResult ResolveTargetReference(const TQVArray<int32_t>& reference, IHostTreeElement** target) override {
    return fScene->ResolveTargetReference(reference, target);
  }
  int32_t GetExportPrecondition() override { return precondition; }
  int32_t GetCurrentTime(int32_t reserved) override {
    fLog.Add("current time " + std::to_string(reserved));
    return time;
  }
  QVResult GoToTime(int32_t to, int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) override {
    fLog.Add("go to " + std::to_string(to) + (a == 0 && b == 1 && c == 0 && d == 0 && e == 0 ? "" : " (arguments)"));
    time = to;
    return kQVOk;
  }
  QVResult GetRenderSetup(IHostRenderSetup** setup) override {
    QVClearOut(reinterpret_cast<void**>(setup));
    if (fSetup) QVStoreOut(reinterpret_cast<void**>(setup), fSetup.Get());
    return kQVOk;
  }
  QVResult GetTimeControl(IHostTimeControl** control) override {
    QVClearOut(reinterpret_cast<void**>(control));
    *control = new FakeTimeControl(fLog, time);
    return kQVOk;
  }
  void Refresh() override { fLog.Add("refresh at " + std::to_string(time)); }

  int32_t precondition = 1;
  std::atomic<int32_t> time{0};

 private:
  EventLog& fLog;
  TQVCountedPtr<qvhost::Scene> fScene;
  TQVCountedPtr<IHostRenderSetup> fSetup;
};

class SceneOwner final : public qvhost::HostObject<IHostComponentOwner> {
 public:
  explicit SceneOwner(IHostScene* scene) { fScene.Assign(scene); }
  QVResult GetScene(IHostScene** scene) override {
    QVStoreOut(reinterpret_cast<void**>(scene), fScene.Get());
    return kQVOk;
  }

 private:
  TQVCountedPtr<IHostScene> fScene;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start) + " (no line feed)");
  return lines;
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

class NoteSheetExportTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    fLog.Clear();
    fTestShell = Adopt<TestShell>(new TestShell(*fShell, fLog));
    fModules.push_back(qvhost::LoadedModule::Load(ModulePath("NoteSheet"), fTestShell.Get()));
    fShell->Settings().resources.push_back(fModules.back()->Resources());
    fModule = fModules.back().get();
    fDialog = std::make_unique<qvhost::HeadlessDialog>(fModule->Resources().FindDialog(1200), 1200,
                                                       fShell->SharedJournal());

    fDocument = Adopt<qvhost::Document>(new qvhost::Document(fShell->SharedJournal()));
    fShell->Settings().currentDocument.Assign(fDocument.Get());
    auto element = qvhost::SceneElement::Create("Pad");
    fDocument->GetScene().Root().Append(element.Get());
    fCarrier.Assign(&StartSession(*fModule, *fDocument).Attach(*element));
    fParameters = fCarrier->Query<ICommandParameters>();

    fRenderer = Adopt<FakeRenderer>(new FakeRenderer(fLog, *fTestShell->progress));
    fSetup = Adopt<FakeRenderSetup>(new FakeRenderSetup(fLog, fRenderer.Get()));
    fScene = Adopt<TestScene>(new TestScene(fDocument->GetScene(), fLog, fSetup.Get()));
    auto owner = Adopt<IHostComponentOwner>(new SceneOwner(fScene.Get()));
    fCarrier->Query<IAttachedComponent>()->Attach(owner.Get());

    fFolder = testing::TempDir() + "notesheet-" + std::to_string(getpid()) + "-" +
              testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
    std::filesystem::remove_all(fFolder);
    std::filesystem::create_directories(fFolder);
    fTestShell->dialog->answer = fFolder + "page.html";
  }
  void TearDown() override {
    if (fRenderer) fRenderer->Join();
    qvhost::HostMemory::Instance().RefuseAll(false);
    fParameters.Release();
    if (fCarrier) fCarrier->Query<IAttachedComponent>()->Attach(nullptr);
    fCarrier.Release();
    fSessions.clear();
    fDocument->DetachComponents();
    fShell->Settings().currentDocument.Release();
    fDocument.Release();
    fDialog.reset();
    fScene.Release();
    fSetup.Release();
    fRenderer.Release();
    for (auto& module : fModules) EXPECT_EQ(module->Unload(), "") << module->Name();
    fModules.clear();
    fTestShell.Release();
    fShell.Release();
    std::filesystem::remove_all(fFolder);
    LeakCheckedTest::TearDown();
  }

  // A field of the component's parameter block, as the dialog shows it.
  void Set(const std::string& name, const std::string& value) {
    fDialog->Set(fParameters->GetParameterBlock(), name, value);
  }
  std::string Value(const std::string& name) const {
    for (const std::string& field : fDialog->Values(fParameters->GetParameterBlock()))
      if (field.rfind(name + "=", 0) == 0) return field.substr(name.size() + 1);
    return "(none)";
  }
  void Comment(int32_t ticks, const std::string& text) {
    fDocument->SetTime(ticks);
    Set("EditText", text);
    EXPECT_EQ(fParameters->ParametersChanged(), kQVOk);
  }
  // Presses the export button and has the host ask for the box; waits for the renders.
  void Export() {
    TQVCountedPtr<IUnknown> control = fDialog->Control(QVFourCC("BUTN"));
    ASSERT_EQ(fParameters->ControlEvent(kQVMessageControlChanged, control.Get(), 0), kQVOk);
    BoundingBox box;
    EXPECT_EQ(fCarrier->Query<IGeometryPrimitive>()->GetBoundingBox(box, 0, 0), kQVOk);
    EXPECT_EQ(box.maximum.x, 1.5f);
    fRenderer->Join();
  }
  // A fresh module, scene and folder within one test.
  void Reset() {
    TearDown();
    SetUp();
  }
  std::string Page() const { return ReadFile(fFolder + "page.html"); }
  std::vector<std::string> Alerts() const { return fShell->GetJournal().Texts("alert"); }

  EventLog fLog;
  TQVCountedPtr<TestShell> fTestShell;
  qvhost::LoadedModule* fModule = nullptr;
  std::unique_ptr<qvhost::HeadlessDialog> fDialog;
  TQVCountedPtr<qvhost::Document> fDocument;
  TQVCountedPtr<qvhost::ComponentCarrier> fCarrier;
  TQVCountedPtr<ICommandParameters> fParameters;
  TQVCountedPtr<FakeRenderer> fRenderer;
  TQVCountedPtr<FakeRenderSetup> fSetup;
  TQVCountedPtr<TestScene> fScene;
  std::string fFolder;
};

TEST_F(NoteSheetExportTest, OneCommentWithTheDefaultsGivesTheWorkedExamplesPageAndItsThumbnail) {
  Comment(180000, "Hello");
  fScene->time = 4242;
  Export();
  const std::vector<std::string> expected = {
      "<HTML>", "<HEAD>", "<TITLE>Pad</TITLE>", "</HEAD>", "<!-- Begin Body Tag -->",
      "<BODY bgcolor=\"FFFFFF\" text=\"000000\">", "<!-- End Body Tag -->",
      "<H1>Pad</H1>", "<TABLE CELLPADDING=10>", "<TR>",
      "<TD width=\"100%\">", "</TD>", "</TR>", "<TR>",
      "<TD align=center>", "<!-- Begin Image Link -->", "<IMG src=\"page_images/180000.jpg\">",
      "<!-- End Image Link -->", "</TD>", "</TR>", "<TR>",
      "<TD align=center>", "<!-- Begin Timecode -->", "00:01:00", "<!-- End Timecode -->", "</TD>", "</TR>", "<TR>",
      "<TD align=\"center\">", "<!-- Begin Comment -->", "Hello", "<!-- End Comment -->", "</TD>", "</TR>", "<TR>",
      "</TR>", "</TABLE>", "</BODY>", "</HTML>",
  };
  EXPECT_EQ(Lines(Page()), expected);
  EXPECT_EQ(Page().find('\r'), std::string::npos);

  EXPECT_EQ(fLog.Events(),
            (std::vector<std::string>{
                "current time 0", "save dialog \"Save as Html\" 1 htmL", "begin Exporting JPEG thumbnails 1",
                "size 160x120 1.000000", "start", "go to 180000",
                "picture " + fFolder + "page_images/180000.jpg JPEG 160x120", "time control 4242", "refresh at 4242",
                "rendered 0", "end progress"}));
  EXPECT_TRUE(Alerts().empty());
}

// The host's keys give their values through their value operation only; they are no
// keyframe items themselves.
TEST_F(NoteSheetExportTest, CommentsAreTheValuesTheKeysGiveThroughTheirValueOperation) {
  Comment(90000, "second");
  Comment(0, "first");
  Comment(45000, "<&>");
  qvhost::KeyTrack* track = nullptr;
  for (qvhost::AttributeHolder* holder : qvhost::HoldersOf(*fDocument->GetScene().Root().Find("Pad")))
    for (const auto& attribute : holder->Attributes())
      if (attribute.trackType == QVFourCC("ASTR")) track = attribute.channel->track.Get();
  ASSERT_NE(track, nullptr);
  ASSERT_EQ(track->GetKeyCount(), 3);
  for (int32_t i = 0; i < track->GetKeyCount(); ++i) {
    IHostKeyframe* key = track->GetKey(i);
    TQVCountedPtr<IHostKeyframeItem> asItem;
    EXPECT_EQ(key->QueryInterface(IHostKeyframeItem::kID, asItem.PutVoid()), kQVErrNoInterface);
    EXPECT_NE(key->GetValue(), nullptr);
  }
  Set("ShowThumbnails", "false");
  Export();
  const std::string page = Page();
  const size_t first = page.find("\nfirst\n"), middle = page.find("\n<&>\n"), last = page.find("\nsecond\n");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(middle, std::string::npos);
  ASSERT_NE(last, std::string::npos);
  EXPECT_LT(first, middle);
  EXPECT_LT(middle, last);
}

TEST_F(NoteSheetExportTest, GroupsOfColumnsCommentsWithNumbersAcrossGroupsAndTheirWidths) {
  struct Case {
    int32_t columns, comments;
    const char* width;
    size_t widthCells;
    std::vector<size_t> groupSizes;
  };
  const Case cases[] = {
      {6, 8, "16%", 6, {6, 2}},
      {6, 3, "33%", 3, {3}},
      {2, 5, "50%", 2, {2, 2, 1}},
      {1, 2, "100%", 1, {1, 1}},
      {0, 2, "100%", 1, {1, 1}},  // below 1: taken as 1
      {-4, 1, "100%", 1, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("columns " + std::to_string(c.columns) + ", comments " + std::to_string(c.comments));
    Set("Columns", std::to_string(c.columns));
    Set("ShowFrameNumbers", "true");
    Set("ShowThumbnails", "false");
    Set("ShowTimecode", "false");
    for (int32_t i = 0; i < c.comments; ++i) Comment(180000 * (i + 1) + 7, "c" + std::to_string(i + 1));
    Export();
    const std::string page = Page();
    EXPECT_EQ(Count(page, "<TD width=\""), c.widthCells);
    EXPECT_EQ(Count(page, std::string("<TD width=\"") + c.width + "\">\n</TD>\n"), c.widthCells);
    // Each group: a row of numbers then a row of comments, each ended by a row break.
    std::string groups;
    int32_t number = 0;
    for (size_t size : c.groupSizes) {
      std::string numbers, comments;
      for (size_t i = 0; i < size; ++i) {
        ++number;
        numbers += "<TD align=center>\n<!-- Begin Frame -->\n" + std::to_string(number) +
                   "\n<!-- End Frame -->\n</TD>\n";
        comments += "<TD align=\"center\">\n<!-- Begin Comment -->\nc" + std::to_string(number) +
                    "\n<!-- End Comment -->\n</TD>\n";
      }
      groups += numbers + "</TR>\n<TR>\n" + comments + "</TR>\n<TR>\n";
    }
    EXPECT_NE(page.find("</TR>\n<TR>\n" + groups + "</TR>\n</TABLE>\n</BODY>\n</HTML>\n"), std::string::npos)
        << page;
    Reset();
  }
}

TEST_F(NoteSheetExportTest, ParametersShapeThePage) {
  Comment(36000, "a\r\nb <i> & c");
  Set("TableBorder", "true");
  Set("BackgroundColorR", "0.5");
  Set("BackgroundColorG", "-2");
  Set("BackgroundColorB", "7");
  Set("TextColorR", "1");
  Set("CellPadding", "3");
  Set("CommentAlignment", "JUST");
  fSetup->frameRate = 0x10019;  // the low 16 bits: 25
  Export();
  const std::string page = Page();
  EXPECT_NE(page.find("<BODY bgcolor=\"7F00FF\" text=\"FF0000\">\n"), std::string::npos);
  EXPECT_NE(page.find("<TABLE BORDER CELLPADDING=3>\n"), std::string::npos);
  EXPECT_NE(page.find("<TD align=\"\">\n<!-- Begin Comment -->\na<BR><BR>b <i> & c\n"), std::string::npos) << page;
  EXPECT_NE(page.find("<IMG src=\"page_images/36000.jpg\">"), std::string::npos);
  EXPECT_NE(page.find("\n00:00:05\n"), std::string::npos) << "0.2 s at 25 fps";

  for (int32_t frameRate : {0, 0x10000}) {
    SCOPED_TRACE(frameRate);
    fSetup->frameRate = frameRate;
    Export();
    EXPECT_NE(Page().find("<!-- Begin Timecode -->\n00:00:00\n"), std::string::npos) << "no frame rate: frame 00";
  }
}

TEST_F(NoteSheetExportTest, ThumbnailSizesFollowTheRenderSize) {
  struct Case {
    int32_t size;
    uint32_t width, height;
    const char* expected;  // null: the size is not set
  };
  const Case cases[] = {
      {0, 640, 480, "size 80x60 1.000000"},  {1, 640, 480, "size 160x120 1.000000"},
      {2, 640, 480, "size 320x240 1.000000"}, {3, 640, 480, "size 640x480 1.000000"},
      {1, 643, 481, "size 160x120 1.000000"}, {7, 640, 480, nullptr},
      {-1, 640, 480, nullptr},
  };
  Comment(0, "first");
  Comment(90000, "second");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Set("ThumbnailSize", std::to_string(c.size));
    fSetup->outputWidth = c.width;
    fSetup->outputHeight = c.height;
    const size_t before = fLog.Starting("size ").size();
    Export();
    const std::vector<std::string> sizes = fLog.Starting("size ");
    ASSERT_EQ(sizes.size() - before, c.expected ? 2u : 0u) << "once per render";
    if (c.expected) {
      EXPECT_EQ(sizes.back(), c.expected);
    }
  }
}

TEST_F(NoteSheetExportTest, ThreeCommentsRenderInOrderShowProgressAndOnlyTheLastRestoresTheTime) {
  Comment(36000, "one");
  Comment(36000 * 2, "two");
  Comment(36000 * 3, "three");
  fScene->time = 99;
  Export();
  const std::string images = fFolder + "page_images/";
  EXPECT_EQ(fLog.Starting("picture "),
            (std::vector<std::string>{"picture " + images + "36000.jpg JPEG 160x120",
                                      "picture " + images + "72000.jpg JPEG 160x120",
                                      "picture " + images + "108000.jpg JPEG 160x120"}));
  EXPECT_EQ(fLog.Starting("go to "), (std::vector<std::string>{"go to 36000", "go to 72000", "go to 108000"}));
  EXPECT_EQ(fLog.Starting("time control "), (std::vector<std::string>{"time control 99"}));
  const std::vector<std::string> events = fLog.Events();
  auto restored = std::find(events.begin(), events.end(), "time control 99");
  auto lastSaved = std::find(events.begin(), events.end(), "picture " + images + "108000.jpg JPEG 160x120");
  EXPECT_LT(lastSaved, restored) << "after the last picture";
  EXPECT_EQ(fScene->time, 99);
  FakeProgress& progress = *fTestShell->progress;
  EXPECT_EQ(progress.values, (std::vector<float>{0.5f, 1.0f, 1.5f, 2.0f, 2.5f, 3.0f}));
  EXPECT_EQ(progress.foreignHandles, 0);
  EXPECT_EQ(fLog.Starting("begin "), (std::vector<std::string>{"begin Exporting JPEG thumbnails 3"}));
  EXPECT_EQ(fLog.Starting("end progress"), (std::vector<std::string>{"end progress"}));
}

TEST_F(NoteSheetExportTest, AStopEndsTheRendersAndTheLastCallbackStillRestoresTheTime) {
  struct Case {
    const char* name;
    int comments;
    std::vector<std::string> events;  // the renderer's and the scene's, after the first render
    int32_t time;
  };
  const std::string stopped = "rendered " + std::to_string(kQVErrStopped);
  const Case cases[] = {
      {"a stop before the last render: the last is dropped, the time stays", 3,
       {"stop", "render stopped", stopped, "dropped"}, 36000},
      {"a stop during the last render: it puts the time back", 2,
       {"stop", "render stopped", "time control 5", "refresh at 5", stopped}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 1; i <= c.comments; ++i) Comment(36000 * i, "comment " + std::to_string(i));
    fScene->time = 5;
    fRenderer->stopAfter = 1;
    Export();
    std::vector<std::string> events;
    bool first = true;
    for (const std::string& event : fLog.Events()) {
      if (event == "rendered 0") first = false;
      const bool ours = event.rfind("st", 0) == 0 || event.rfind("ren", 0) == 0 || event.rfind("time", 0) == 0 ||
                        event.rfind("refresh", 0) == 0 || event == "dropped";
      if (!first && ours && event != "rendered 0" && event.rfind("start", 0) != 0) events.push_back(event);
    }
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(fLog.Starting("picture "),
              (std::vector<std::string>{"picture " + fFolder + "page_images/36000.jpg JPEG 160x120"}));
    EXPECT_EQ(fScene->time, c.time);
    EXPECT_EQ(fLog.Starting("end progress").size(), 2u) << "by the stopping callback and after the wait";
    EXPECT_NE(Page().find("</HTML>\n"), std::string::npos) << "the page is complete";
    Reset();
  }
}

// A stop the callback sees in the middle of a render: no picture is saved, and the last
// comment's callback puts the time back once.
TEST_F(NoteSheetExportTest, AStopSeenByAProgressOrAFinishingCallbackSavesNoPicture) {
  const std::string stopped = "rendered " + std::to_string(kQVErrStopped);
  const std::vector<std::string> lastStopped = {"go to 36000", "stop", "render stopped", "time control 5",
                                                "refresh at 5", stopped};
  struct Case {
    const char* name;
    int comments, stopBeforeCall;
    std::vector<std::string> events;  // after the starts
    std::vector<float> progress;
    int32_t time;
  } cases[] = {
      {"at the last render's progress", 1, 2, lastStopped, {}, 5},
      {"at the last render's end", 1, 4, lastStopped, {0.5f, 1.0f}, 5},
      {"at the end of a render before the last: the last is dropped", 2, 4,
       {"go to 36000", "stop", "render stopped", stopped, "dropped"}, {0.5f, 1.0f},
       36000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 1; i <= c.comments; ++i) Comment(36000 * i, "comment " + std::to_string(i));
    fScene->time = 5;
    fRenderer->stopBeforeCall = c.stopBeforeCall;
    Export();
    // From the first start on; the starts, sizes and progress ends come on the export's
    // thread, in any order with the renderer's calls.
    std::vector<std::string> events, all = fLog.Events();
    for (auto event = std::find(all.begin(), all.end(), "start"); event != all.end(); ++event)
      if (event->rfind("start", 0) != 0 && event->rfind("size ", 0) != 0 && *event != "end progress")
        events.push_back(*event);
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(fLog.Starting("end progress").size(), 2u) << "by the stopping callback and after the wait";
    EXPECT_TRUE(fLog.Starting("picture ").empty());
    EXPECT_EQ(fTestShell->progress->values, c.progress);
    EXPECT_EQ(fScene->time, c.time);
    Reset();
  }
}

// A start the renderer refuses leaves the callback with the module, which lets it go; the
// other renders go on.
TEST_F(NoteSheetExportTest, ARefusedStartReleasesItsCallbackAndTheOtherRendersRun) {
  struct Case {
    const char* name;
    std::set<int> refused;
    std::vector<std::string> starts, moves, pictures;
    int32_t time;
  } cases[] = {
      {"every start", {0, 1}, {"start refused", "start refused"}, {}, {}, 5},
      {"the first", {0}, {"start refused", "start"}, {"go to 72000"}, {"72000"}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Comment(36000, "one");
    Comment(72000, "two");
    fScene->time = 5;
    fRenderer->refusedStarts = c.refused;
    Export();
    EXPECT_EQ(fLog.Starting("start"), c.starts);
    EXPECT_EQ(fLog.Starting("go to "), c.moves);
    std::vector<std::string> pictures;
    for (const std::string& picture : c.pictures)
      pictures.push_back("picture " + fFolder + "page_images/" + picture + ".jpg JPEG 160x120");
    EXPECT_EQ(fLog.Starting("picture "), pictures);
    EXPECT_EQ(fScene->time, c.time);
    EXPECT_EQ(fLog.Starting("end progress").size(), 1u);
    Reset();  // the module unloads only when no callback is left
  }
}

TEST_F(NoteSheetExportTest, CancelledDialogRefusedExportAndAFailedPageWriteNoPageOrThumbnails) {
  Comment(180000, "Hello");
  fTestShell->dialog->answer.clear();
  Export();
  EXPECT_EQ(ReadFile(fFolder + "page.html"), "");
  EXPECT_EQ(fLog.Starting("begin ").size(), 0u);
  EXPECT_EQ(fLog.Starting("start").size(), 0u);
  EXPECT_TRUE(Alerts().empty());

  fTestShell->dialog->answer = fFolder + "page.html";
  fScene->precondition = 0;
  Export();
  EXPECT_EQ(Alerts(), (std::vector<std::string>{"The scene cannot be exported now: no page was written."}));
  EXPECT_EQ(fLog.Starting("save dialog").size(), 1u) << "no dialog for a refused export";
  EXPECT_EQ(ReadFile(fFolder + "page.html"), "");
  EXPECT_TRUE(fShell->Settings().selectedResources.empty()) << "the resource selection is restored";

  fScene->precondition = 1;
  fTestShell->dialog->answer = fFolder + "missing-folder/page.html";
  Export();
  EXPECT_EQ(Alerts().size(), 2u);
  EXPECT_EQ(Alerts().back(), "The page could not be written: no thumbnails were made.");
  EXPECT_EQ(fLog.Starting("start").size(), 0u);
  EXPECT_EQ(fLog.Starting("end progress").size(), 1u) << "the display that was begun is ended";
}

TEST_F(NoteSheetExportTest, NoCommentsWriteAnEmptyTableAndRenderNothing) {
  Export();
  const std::string page = Page();
  EXPECT_NE(page.find("<TABLE CELLPADDING=10>\n<TR>\n</TR>\n<TR>\n</TR>\n<TR>\n</TR>\n<TR>\n</TR>\n<TR>\n</TR>\n"
                      "</TABLE>\n"),
            std::string::npos)
      << page;
  EXPECT_EQ(fLog.Starting("begin "), (std::vector<std::string>{"begin Exporting JPEG thumbnails 0"}));
  EXPECT_EQ(fLog.Starting("start").size(), 0u);
  EXPECT_EQ(fLog.Starting("end progress").size(), 1u);
}

TEST_F(NoteSheetExportTest, RefusedMemoryForThePageStreamRaises) {
  Comment(180000, "Hello");
  fTestShell->dialog->refuseMemoryAfter = true;
  TQVCountedPtr<IUnknown> control = fDialog->Control(QVFourCC("BUTN"));
  ASSERT_EQ(fParameters->ControlEvent(kQVMessageControlChanged, control.Get(), 0), kQVOk);
  BoundingBox box;
  EXPECT_RAISES(fCarrier->Query<IGeometryPrimitive>()->GetBoundingBox(box, 0, 0), kQVErrObjectMissing,
                "Samples/SceneCommands/NoteSheet/NoteSheet", 981);
  qvhost::HostMemory::Instance().RefuseAll(false);
  EXPECT_EQ(Value("ExportRequested"), "false");
}

TEST_F(NoteSheetExportTest, WithoutACallbackOrRoomForThePathTheRenderSavesNothing) {
  Comment(36000, "one");
  fScene->time = 5;
  fSetup->refuseMemory = true;
  Export();
  EXPECT_EQ(fLog.Starting("start"), (std::vector<std::string>{"start without callback"}));
  EXPECT_TRUE(fLog.Starting("go to ").empty()) << "the time is not moved";
  EXPECT_TRUE(fLog.Starting("picture ").empty());
  EXPECT_EQ(fLog.Starting("end progress").size(), 1u);
  Reset();

  // A folder longer than the callback's path field: the page is written, the pictures are
  // not saved under a shortened path.
  const std::string deep = fFolder + std::string(150, 'd') + "/" + std::string(150, 'e') + "/";
  std::filesystem::create_directories(deep);
  fTestShell->dialog->answer = deep + "page.html";
  Comment(36000, "one");
  fScene->time = 5;
  Export();
  EXPECT_NE(ReadFile(deep + "page.html").find("<IMG src=\"page_images/36000.jpg\">"), std::string::npos);
  EXPECT_EQ(fLog.Starting("go to "), (std::vector<std::string>{"go to 36000"}));
  EXPECT_TRUE(fLog.Starting("picture ").empty());
  EXPECT_EQ(fLog.Starting("time control "), (std::vector<std::string>{"time control 5"}));
}

}  // namespace
