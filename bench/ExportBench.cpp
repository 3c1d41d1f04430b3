// NoteSheet's HTML export of 100 000 comments (no thumbnails) through the loader, against
// fwrite writing the same page with a setvbuf buffer of the stream's window (32512 bytes)
// in pieces of one comment cell's size. Each iteration times the export call alone (the
// box query that runs it) and the fwrite copy; the counter "ratio" is the export's time
// over fwrite's (target: within 2). The page's other settings are the defaults (timecodes
// shown, six comments a row).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "IHostGeometry.h"
#include "ModuleInterfaces.h"
#include "QVException.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/AttributeHolder.h"
#include "qvhost/Document.h"
#include "qvhost/HeadlessDialog.h"
#include "qvhost/HostError.h"
#include "qvhost/HostShell.h"
#include "qvhost/ModuleLoader.h"
#include "qvhost/SceneElement.h"

namespace {

using qvhost::Adopt;

constexpr int32_t kComments = 100000;
constexpr int32_t kWindow = 0x7F00;  // the page stream's window
constexpr int32_t kCommentSpacing = 6000;  // ticks between comments
constexpr double kTargetRatio = 2.0;

TQVCountedPtr<qvhost::HostShell> gShell;
std::unique_ptr<qvhost::LoadedModule> gModule;

std::string Folder() {
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder && *folder ? folder : "/tmp") + "/qv-export-bench-" + std::to_string(getpid());
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A comment of 24 to 118 bytes; every tenth spans two lines (CR LF).
std::string CommentText(int32_t i) {
  static const char* const kNotes[] = {
      "tighten the camera move",
      "warm the key light a little and soften the rim",
      "hold two frames longer",
      "the hand pops through the cup here; fix the contact and the wrist rotation",
      "check the shadow",
      "music cue starts on this beat",
  };
  std::string text = "Shot " + std::to_string(i + 1) + ": " + kNotes[i % 6];
  if (i % 10 == 9) text += "\r\nsee the notes from the review";
  return text;
}

// A document with one element carrying a NoteSheet whose 'ASTR' track holds the comments,
// filled through the attribute holder (the dialog's commits would search the track for
// each new time). The save dialog answers with `page`.
struct ExportScene {
  TQVCountedPtr<qvhost::Document> document;
  TQVCountedPtr<qvhost::ComponentCarrier> carrier;
  TQVCountedPtr<ICommandParameters> parameters;
  std::unique_ptr<qvhost::HeadlessDialog> dialog;
  std::string page;
  std::string error;  // why the export cannot be measured, or empty

  ~ExportScene() {
    parameters.Release();
    carrier.Release();
    if (document) document->DetachComponents();
    gShell->Settings().currentDocument.Release();
    document.Release();
    dialog.reset();
  }

  // Presses the export button; the next box query runs the export.
  bool Request() {
    TQVCountedPtr<IUnknown> control = dialog->Control(QVFourCC("BUTN"));
    return parameters->ControlEvent(kQVMessageControlChanged, control.Get(), 0) == kQVOk;
  }
  bool RunExport() {
    BoundingBox box;
    return carrier->Query<IGeometryPrimitive>()->GetBoundingBox(box, 0, 0) == kQVOk;
  }
};

std::unique_ptr<ExportScene> BuildScene(const std::string& page) {
  auto scene = std::make_unique<ExportScene>();
  scene->page = page;
  const qvhost::ResourceFile& resources = gModule->Resources();
  scene->dialog = std::make_unique<qvhost::HeadlessDialog>(resources.FindDialog(1200), 1200, gShell->SharedJournal());
  scene->document = Adopt<qvhost::Document>(new qvhost::Document(gShell->SharedJournal()));
  gShell->Settings().currentDocument.Assign(scene->document.Get());
  auto element = qvhost::SceneElement::Create("Review");
  scene->document->GetScene().Root().Append(element.Get());
  const qvhost::ComponentResource& resource = resources.components.at(0);
  scene->carrier = qvhost::ComponentCarrier::Create(scene->document->GetScene(),
                                                    gModule->Factory(resource.classId).Get(), resource, resources);
  element->AttachComponent(scene->carrier.Get());
  scene->parameters = scene->carrier->Query<ICommandParameters>();
  scene->dialog->Set(scene->parameters->GetParameterBlock(), "ShowThumbnails", "false");

  const auto prototype = gShell->Settings().valuePrototypes.find(QVFourCC("AStr"));
  if (prototype == gShell->Settings().valuePrototypes.end()) {
    scene->error = "NoteSheet registered no 'AStr' prototype";
    return scene;
  }
  qvhost::KeyTrack* track = nullptr;
  for (qvhost::AttributeHolder* holder : qvhost::HoldersOf(*element))
    for (const auto& attribute : holder->Attributes())
      if (attribute.trackType == QVFourCC("ASTR")) track = attribute.channel->track.Get();
  if (!track) {
    scene->error = "NoteSheet defined no 'ASTR' attribute";
    return scene;
  }
  TQVFixedString<255> text;
  for (int32_t i = 0; i < kComments; ++i) {
    TQVCountedPtr<IHostKeyframeItem> value;
    prototype->second->NewEmpty(value.AddressOf());
    if (!value) {
      scene->error = "the 'AStr' prototype made no value";
      return scene;
    }
    text.SetFrom(CommentText(i).c_str());
    value->SetValue(text, QVFourCC("AStr"));
    track->Add(i * kCommentSpacing, false).value = std::move(value);
  }
  track->AfterEdit();
  gShell->Settings().saveAnswer = page;
  return scene;
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

// The size of the page's first comment cell, from its opening tag to its closing one.
size_t CommentCellSize(const std::string& page) {
  const size_t begin = page.find("<TD align=\"center\">\n<!-- Begin Comment -->");
  const size_t end = page.find("</TD>\n", begin);
  return begin == std::string::npos || end == std::string::npos ? 0 : end + 6 - begin;
}

double WriteWithFwrite(const std::string& path, const std::string& bytes, size_t piece) {
  static char buffer[kWindow];
  const auto start = std::chrono::steady_clock::now();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return -1;
  std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
  for (size_t at = 0; at < bytes.size(); at += piece)
    std::fwrite(bytes.data() + at, 1, std::min(piece, bytes.size() - at), file);
  std::fclose(file);
  return Seconds(start);
}

double gLastRatio = 0;

void ExportAgainstFwrite(benchmark::State& state) {
  const std::string folder = Folder();
  if (mkdir(folder.c_str(), 0700) != 0) {
    state.SkipWithError("no folder for the pages");
    return;
  }
  const std::string page = folder + "/page.html";
  const std::string copy = folder + "/copy.html";
  std::unique_ptr<ExportScene> scene = BuildScene(page);

  // One export, untimed, for the page the baseline writes.
  std::string bytes;
  if (scene->error.empty()) {
    try {
      if (!scene->Request() || !scene->RunExport()) scene->error = "the export was refused";
    } catch (const TQVException& error) {
      scene->error = "the export raised " + std::to_string(error.Code());
    }
  }
  if (scene->error.empty()) {
    bytes = ReadAll(page);
    if (Count(bytes, "<!-- Begin Comment -->") != size_t(kComments)) scene->error = "the page lacks comments";
  }
  const size_t piece = CommentCellSize(bytes);
  if (scene->error.empty() && piece == 0) scene->error = "the page has no comment cell";

  double exported = 0, stdio = 0;
  int64_t round = 0;
  for (auto _ : state) {
    if (!scene->error.empty()) {
      state.SkipWithError(scene->error.c_str());
      break;
    }
    // Alternate the order so that neither side always follows the other's dirty pages.
    const bool exportFirst = round++ % 2 == 0;
    double copied = exportFirst ? 0 : WriteWithFwrite(copy, bytes, piece);
    if (!scene->Request()) {
      state.SkipWithError("the export button was refused");
      break;
    }
    gShell->GetJournal().Clear();
    bool done = false;
    const auto start = std::chrono::steady_clock::now();
    try {
      done = scene->RunExport();
    } catch (const TQVException& error) {
      state.SkipWithError(("the export raised " + std::to_string(error.Code())).c_str());
      break;
    }
    exported += Seconds(start);
    if (!done) {
      state.SkipWithError("the box query failed");
      break;
    }
    if (exportFirst) copied = WriteWithFwrite(copy, bytes, piece);
    if (copied < 0) {
      state.SkipWithError("fwrite's file could not be opened");
      break;
    }
    stdio += copied;
  }
  if (!state.error_occurred() && ReadAll(page) != bytes) state.SkipWithError("the pages of two exports differ");
  if (!state.error_occurred() && ReadAll(copy) != bytes) state.SkipWithError("fwrite's copy differs from the page");
  scene.reset();
  std::remove(page.c_str());
  std::remove(copy.c_str());
  std::remove(folder.c_str());
  if (state.error_occurred() || stdio <= 0) return;
  const double n = double(state.iterations());
  state.counters["export_ms"] = 1000 * exported / n;
  state.counters["fwrite_ms"] = 1000 * stdio / n;
  state.counters["ratio"] = exported / stdio;
  state.counters["page_MB"] = double(bytes.size()) / 1e6;
  state.counters["piece"] = double(piece);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()) * 2);
  gLastRatio = exported / stdio;
}

BENCHMARK(ExportAgainstFwrite)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  gShell = qvhost::HostShell::Create();
  try {
    gModule = qvhost::LoadedModule::Load(std::string(QV_MODULE_DIR) + "/NoteSheet.qvx", gShell.Get());
  } catch (const qvhost::HostError& error) {
    std::fprintf(stderr, "export_bench: %s\n", error.what());
    return 1;
  }
  gShell->Settings().resources.push_back(gModule->Resources());

  benchmark::RunSpecifiedBenchmarks();
  if (gLastRatio > 0)
    std::printf("ratio NoteSheet HTML export/fwrite of the same page, %d comments: %.2f (target <= %.2f)\n",
                kComments, gLastRatio, kTargetRatio);

  gShell->Settings().saveAnswer.clear();
  const std::string leak = gModule->Unload();
  if (!leak.empty()) std::fprintf(stderr, "export_bench: %s\n", leak.c_str());
  gModule.reset();
  gShell.Release();
  benchmark::Shutdown();
  return leak.empty() ? 0 : 1;
}
