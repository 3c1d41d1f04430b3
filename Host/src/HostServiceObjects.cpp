// The reference host's global services. Each records its questions in the journal.
#include "HostServiceObjects.h"

#include <cstdio>
#include <string>

#include "IHostFiles.h"
#include "IHostModalDialog.h"
#include "files/HostFile.h"
#include "qvhost/AttributeHolder.h"
#include "qvhost/CodePageText.h"
#include "qvhost/Document.h"
#include "qvhost/HostMemory.h"
#include "qvhost/Rasteriser.h"
#include "qvhost/Renderer.h"
#include "qvhost/TokenStream.h"

namespace qvhost {

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// A service object: logs each Release under its name.
template <class I>
class Service : public HostObject<I> {
 public:
  Service(QVService service, std::shared_ptr<Journal> journal, std::shared_ptr<ShellSettings> settings)
      : fService(service), fJournal(std::move(journal)), fSettings(std::move(settings)) {}

  int32_t Release() override {
    fJournal->Record("service", std::string("release ") + Name());
    return HostObject<I>::Release();
  }

 protected:
  const char* Name() const { return kQVServices[int(fService)].name; }
  void Asked(const char* operation) {
    fJournal->Record("service", std::string("ask ") + Name() + "." + operation);
  }

  QVService fService;
  std::shared_ptr<Journal> fJournal;
  std::shared_ptr<ShellSettings> fSettings;
};

class MemoryService final : public Service<HostMemoryServices> {
 public:
  using Service::Service;
  void* AllocateObject(size_t size) override { return HostMemory::Instance().AllocateObject(size); }
  void FreeObject(void* object) override { HostMemory::Instance().FreeObject(object); }
  void* AllocateBlock(size_t size) override { return HostMemory::Instance().AllocateBlock(size); }
  void* ReallocateBlock(void* block, size_t size) override {
    return HostMemory::Instance().ReallocateBlock(block, size);
  }
  void FreeBlock(void* block) override { HostMemory::Instance().FreeBlock(block); }
};

class PlatformService final : public Service<HostPlatformServices> {
 public:
  using Service::Service;
  void GetCapabilityBytes(uint8_t bytes[4]) override {
    Asked("GetCapabilityBytes");
    for (int i = 0; i < 4; ++i) bytes[i] = fSettings->capabilityBytes[i];
  }
  const QVTranslationRecord* GetTranslationRecord() override { return fSettings->translationRecord; }
};

class RuntimeService final : public Service<HostRuntimeServices> {
 public:
  using Service::Service;
  const int32_t* GetThirdValue() override {
    Asked("GetThirdValue");
    return &fThird;
  }
  void GetFirstPair(int32_t* first, int32_t* second) override {
    Asked("GetFirstPair");
    *first = 1;
    *second = 2;
  }
  void GetSecondPair(int32_t* first, int32_t* second) override {
    Asked("GetSecondPair");
    *first = 3;
    *second = 4;
  }

 private:
  int32_t fThird = 3;
};

class ServiceB4Object final : public Service<HostServiceB4> {
 public:
  using Service::Service;
  bool GetFlag() override {
    Asked("GetFlag");
    return fSettings->serviceB4Flag;
  }
};

class ApplicationService final : public Service<HostApplicationServices> {
 public:
  using Service::Service;
  bool GetFlag() override {
    Asked("GetFlag");
    return fSettings->applicationFlag;
  }
  QVResult GetCurrentDocument(IUnknown** document) override {
    QVClearOut(reinterpret_cast<void**>(document));
    if (IHostDocument* current = fSettings->currentDocument.Get()) {
      current->AddRef();
      *document = current;
    }
    return kQVOk;
  }
  QVResult GetDocumentComponent(IUnknown* document, uint32_t type, IUnknown** component) override {
    QVClearOut(reinterpret_cast<void**>(component));
    TQVCountedPtr<IHostDocument> host;
    if (QVQuery(document, host) != kQVOk) return kQVErrNoInterface;
    return host->GetComponent(type, component);
  }
  QVResult RegisterValuePrototype(IHostKeyframeItem* prototype) override {
    if (!prototype) return kQVErrObjectMissing;
    const uint32_t type = prototype->GetValueType();
    fJournal->Record("service", "register value prototype " + FormatFourCC(type));
    fSettings->valuePrototypes[type].Assign(prototype);
    return kQVOk;
  }
  QVResult UnregisterValuePrototype(IHostKeyframeItem* prototype) override {
    for (auto entry = fSettings->valuePrototypes.begin(); entry != fSettings->valuePrototypes.end(); ++entry) {
      if (entry->second.Get() != prototype) continue;
      fJournal->Record("service", "unregister value prototype " + FormatFourCC(entry->first));
      fSettings->valuePrototypes.erase(entry);
      return kQVOk;
    }
    return kQVErrNotSupported;
  }
  QVResult WriteAttributeGroup(IHostTokenStream* stream, uint32_t code, IHostAnimated* group) override {
    TokenStream* ours = TokenStream::From(stream);
    AttributeHolder* holder = group ? AttributeHolder::From(group->GetAnimationNode()) : nullptr;
    if (!ours) return kQVErrNotSupported;
    if (!holder) {  // nothing animated yet: an empty group
      ours->OpenBlock(KeywordText(code));
      ours->CloseBlock();
      return kQVOk;
    }
    holder->WriteGroup(*ours, code);
    return kQVOk;
  }
  QVResult ReadAttributeGroup(IHostTokenStream* stream, IHostAnimated* group) override {
    TokenStream* ours = TokenStream::From(stream);
    if (!ours) return kQVErrNotSupported;
    AttributeHolder* holder = group ? AttributeHolder::From(group->GetAnimationNode()) : nullptr;
    if (!holder) {
      ours->SkipItem();
      return kQVErrObjectMissing;
    }
    return holder->ReadGroup(*ours);
  }
  bool PickObject(const TQVString& title, const TQVString& prompt, int32_t, IHostTreeElement** element) override {
    auto* document = dynamic_cast<Document*>(fSettings->currentDocument.Get());
    SceneElement* chosen = nullptr;
    // The answer is the path the user gave, in UTF-8; the tree's names are module text.
    std::string answer, refused;
    if (document && !fSettings->pickAnswer.empty() &&
        ToCodePage(fSettings->pickAnswer, document->codePage, answer, refused))
      chosen = document->GetScene().Root().Find(answer);
    fJournal->Record("picker", "\"" + ShownText(title.CStr()) + "\" \"" + ShownText(prompt.CStr()) + "\": " +
                                   (chosen ? ShownText(chosen->Path()) : "cancelled"));
    if (!chosen || !element) return false;
    IHostTreeElement* previous = *element;
    chosen->AddRef();
    *element = chosen;
    if (previous) previous->Release();
    return true;
  }
};

// A progress display handle.
struct IHostProgressHandle : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x300);
};
class ProgressHandle final : public HostObject<IHostProgressHandle> {};

class ProgressService final : public Service<HostProgressServices> {
 public:
  using Service::Service;
  QVResult BeginProgress(const TQVString& title, float maximum, IUnknown** handle) override {
    QVClearOut(reinterpret_cast<void**>(handle));
    fJournal->Record("progress", "begin \"" + ShownText(title.CStr()) + "\" " + Number(maximum));
    *handle = new ProgressHandle();
    return kQVOk;
  }
  QVResult SetProgressValue(float value, IUnknown*) override {
    fJournal->Record("progress", "value " + Number(value));
    return kQVOk;
  }
  QVResult SetProgressText(const TQVString& text, IUnknown*) override {
    fJournal->Record("progress", "text \"" + ShownText(text.CStr()) + "\"");
    return kQVOk;
  }
  QVResult EndProgress(IUnknown*) override {
    fJournal->Record("progress", "end");
    return kQVOk;
  }
  bool IsAbortRequested() override {
    const int32_t question = ++fQuestions;
    const bool stop = fSettings->stopAtAbortQuestion > 0 && question >= fSettings->stopAtAbortQuestion;
    if (stop) fJournal->Record("progress", "stop requested");
    return stop;
  }
  uint32_t GetApplicationCreatorCode() override { return QVFourCC("QVhs"); }

 private:
  std::atomic<int32_t> fQuestions{0};
};

// The resource file selected last, or null.
const ResourceFile* SelectedResources(const ShellSettings& settings) {
  if (settings.selectedResources.empty()) return nullptr;
  return &settings.resources[settings.selectedResources.back()];
}

class ResourceService final : public Service<HostResourceServices> {
 public:
  using Service::Service;
  QVResult BeginUsingResources(uint32_t family, uint32_t classCode) override {
    fJournal->Record("resources", "begin " + FormatFourCC(family) + " " + FormatFourCC(classCode));
    for (size_t i = 0; i < fSettings->resources.size(); ++i) {
      for (const ComponentResource& component : fSettings->resources[i].components) {
        if (component.family == family && component.classCode == classCode) {
          fSettings->selectedResources.push_back(i);
          return kQVOk;
        }
      }
    }
    fSettings->selectedResources.push_back(size_t(-1));
    return kQVErrNotSupported;
  }
  QVResult EndUsingResources() override {
    fJournal->Record("resources", "end");
    if (!fSettings->selectedResources.empty()) fSettings->selectedResources.pop_back();
    return kQVOk;
  }
  QVResult LoadIndexedString(int16_t list, int16_t index, TQVString& text) override {
    const ResourceFile* file = Selected();
    text.SetFrom("");
    if (!file) return kQVErrNotSupported;
    auto entries = file->stringLists.find(list);
    if (entries == file->stringLists.end() || index < 1 || size_t(index) > entries->second.size())
      return kQVErrNotSupported;
    text.SetFrom(entries->second[size_t(index) - 1].c_str());
    return kQVOk;
  }

 private:
  const ResourceFile* Selected() const {
    if (fSettings->selectedResources.empty() || fSettings->selectedResources.back() == size_t(-1)) return nullptr;
    return SelectedResources(*fSettings);
  }
};

class ComponentService final : public Service<HostComponentServices> {
 public:
  using Service::Service;
  QVResult CreateComponent(const QVGUID& classId, IUnknown*, int32_t, const QVGUID& interfaceId,
                           void** out) override {
    QVClearOut(out);
    if (classId != kQVAttributeHolderClass) return kQVErrClassNotAvailable;
    // The holder keeps its outer only as the owner it is told about: the outer holds it.
    auto holder = Adopt<IHostAttributeHolder>(new AttributeHolder(fSettings, fJournal));
    return holder->QueryInterface(interfaceId, out);
  }
};

class FileDialogService final : public Service<HostFileDialogServices> {
 public:
  using Service::Service;
  QVResult RegisterFileType(const TFileTypeRecord& record) override {
    FileType type;
    type.type = record.type;
    type.format = record.format;
    type.description = record.description.CStr();
    for (int32_t i = 0; i < record.extensions.Length(); ++i)
      type.extensions.push_back(record.extensions[i].Text().CStr());
    for (int32_t i = 0; i < record.typeCodes.Length(); ++i) type.typeCodes.push_back(record.typeCodes[i]);
    std::string extensions;
    for (const std::string& extension : type.extensions) extensions += " ." + extension;
    fJournal->Record("service", "register file type " + FormatFourCC(type.type) + " \"" + ShownText(type.description) +
                                    "\"" + extensions);
    fSettings->fileTypes.push_back(std::move(type));
    return kQVOk;
  }
  // Answers with the run's chosen file; without one the user cancels (the file stays
  // unnamed).
  QVResult SaveFileDialog(const TQVString& prompt, IHostFileSpec* file, const TQVArray<uint32_t>& typeCodes,
                          const uint32_t*) override {
    std::string asked = "\"" + ShownText(prompt.CStr()) + "\"";
    for (int32_t i = 0; i < typeCodes.Length(); ++i) asked += " " + FormatFourCC(typeCodes[i]);
    const std::string& answer = fSettings->saveAnswer;
    if (answer.empty() || !file) {
      fJournal->Record("save", asked + ": cancelled");
      return kQVOk;
    }
    if (answer.size() > kMaxPathBytes) {  // never cut to another file's path
      fJournal->Record("save", asked + ": refused (a path longer than " + std::to_string(kMaxPathBytes) + " bytes)");
      return kQVErrNotSupported;
    }
    TQVFixedString<kMaxPathBytes> path;
    path.SetFrom(answer.c_str());
    fJournal->Record("save", asked + ": " + answer);
    return file->SetFromPath(path, 0);
  }
};

class FileService final : public Service<HostFileServices> {
 public:
  using Service::Service;
  QVResult NewFilePath(IHostFileSpec** file) override {
    QVClearOut(reinterpret_cast<void**>(file));
    *file = MakeHostFile().Detach();
    return kQVOk;
  }
  char GetPathSeparator() override { return '/'; }
  void GetPathSeparatorString(TQVString& separator) override { separator.SetFrom("/"); }
};

class NotificationService final : public Service<HostNotificationServices> {
 public:
  using Service::Service;
  QVResult NotifyChange(IUnknown* target, int32_t, IUnknown* object) override {
    fJournal->Record("notify", std::string("change") + (target ? "" : " (no target)") +
                                   (object ? "" : " (no object)"));
    return kQVOk;
  }
};

// An alert: showing it records its text from the module's resource file.
class ModalDialog final : public HostObject<IHostModalDialog> {
 public:
  ModalDialog(std::string text, std::shared_ptr<Journal> journal) : fText(std::move(text)), fJournal(std::move(journal)) {}
  QVResult Prepare() override { return kQVOk; }
  QVResult Show() override {
    fJournal->Record("alert", fText);
    return kQVOk;
  }

 private:
  std::string fText;
  std::shared_ptr<Journal> fJournal;
};

class DialogService final : public Service<HostDialogServices> {
 public:
  using Service::Service;
  QVResult CreateDialog(uint32_t resourceType, int16_t id, IUnknown** dialog) override {
    QVClearOut(reinterpret_cast<void**>(dialog));
    std::string text = FormatFourCC(resourceType) + " " + std::to_string(id) + " (not in the selected resources)";
    const bool selected = !fSettings->selectedResources.empty() && fSettings->selectedResources.back() != size_t(-1);
    if (const ResourceFile* file = selected ? SelectedResources(*fSettings) : nullptr) {
      auto alert = file->alerts.find(id);
      if (alert != file->alerts.end()) text = alert->second;
    }
    *dialog = static_cast<IHostModalDialog*>(new ModalDialog(text, fJournal));
    return kQVOk;
  }
};

// Pictures saved as JPEG files; the file's folder is made when missing.
class ImageService final : public Service<HostImageServices> {
 public:
  using Service::Service;
  QVResult SavePicture(IHostPicture* picture, int32_t, IHostFileSpec* file, uint32_t format, int32_t, int32_t,
                       int32_t) override {
    if (!picture || !file) {
      fJournal->Record("picture", std::string("not saved: no ") + (picture ? "file" : "picture"));
      return kQVErrObjectMissing;
    }
    TQVFixedString<kMaxPathBytes + 1> named;  // a byte more: a longer path shows as cut, and is refused
    file->GetFullPath(named);
    const std::string path = named.CStr();
    if (path.size() > kMaxPathBytes) {
      fJournal->Record("picture", "not saved: a path longer than " + std::to_string(kMaxPathBytes) + " bytes");
      return kQVErrNotSupported;
    }
    if (format != QVFourCC("JPEG")) {
      fJournal->Record("picture", path + " not saved: format " + FormatFourCC(format) + " is not offered");
      return kQVErrNotSupported;
    }
    RgbImage copy;
    const RgbImage* image = nullptr;
    if (auto* ours = dynamic_cast<Picture*>(picture)) {
      image = &ours->Image();
    } else {
      copy.width = picture->GetWidth();
      copy.height = picture->GetHeight();
      const uint8_t* pixels = picture->GetPixels();
      const size_t bytes = size_t(copy.width) * copy.height * 3;
      if (pixels && copy.width <= kMaxRenderSize && copy.height <= kMaxRenderSize)
        copy.pixels.assign(pixels, pixels + bytes);
      image = &copy;
    }
    std::string error = NotAFileToWrite(path);  // a device, FIFO or folder stays as it is
    if (!error.empty()) error += ", not a file";
    const QVResult prepared = error.empty() ? file->PrepareToSave() : kQVErrNotSupported;  // makes the missing folders
    if (path.empty() || prepared != kQVOk || !WriteJpeg(*image, path, 90, error)) {
      if (error.empty()) error = path.empty() ? "the file is not named" : "cannot make its folder";
      fJournal->Record("picture", path + " not saved: " + error);
      return kQVErrNotSupported;
    }
    fJournal->Record("picture", "saved " + path + " (" + std::to_string(image->width) + " x " +
                                    std::to_string(image->height) + ")");
    return kQVOk;
  }
};

template <class I>
class PlainService final : public Service<I> {
 public:
  using Service<I>::Service;
};

}  // namespace

IUnknown* MakeServiceObject(QVService service, std::shared_ptr<Journal> journal,
                            std::shared_ptr<ShellSettings> settings) {
  switch (service) {
#define QV_MAKE(Enum, Type) \
  case QVService::Enum: return static_cast<IUnknown*>(new Type(service, journal, settings));
    QV_MAKE(Progress, ProgressService)
    QV_MAKE(FileDialog, FileDialogService)
    QV_MAKE(File, FileService)
    QV_MAKE(Resource, ResourceService)
    QV_MAKE(Runtime, RuntimeService)
    QV_MAKE(Service06, PlainService<HostService06>)
    QV_MAKE(Service07, PlainService<HostService07>)
    QV_MAKE(Memory, MemoryService)
    QV_MAKE(Platform, PlatformService)
    QV_MAKE(Component, ComponentService)
    QV_MAKE(Notification, NotificationService)
    QV_MAKE(Service12, PlainService<HostService12>)
    QV_MAKE(Service13, PlainService<HostService13>)
    QV_MAKE(Dialog, DialogService)
    QV_MAKE(Service15, PlainService<HostService15>)
    QV_MAKE(Service16, PlainService<HostService16>)
    QV_MAKE(Service17, PlainService<HostService17>)
    QV_MAKE(Service18, PlainService<HostService18>)
    QV_MAKE(Service19, PlainService<HostService19>)
    QV_MAKE(Service20, PlainService<HostService20>)
    QV_MAKE(Image, ImageService)
    QV_MAKE(ServiceB2, PlainService<HostServiceB2>)
    QV_MAKE(ServiceB3, PlainService<HostServiceB3>)
    QV_MAKE(ServiceB4, ServiceB4Object)
    QV_MAKE(Application, ApplicationService)
    QV_MAKE(ServiceC2, PlainService<HostServiceC2>)
    QV_MAKE(ServiceC3, PlainService<HostServiceC3>)
#undef QV_MAKE
  }
  return nullptr;
}

}  // namespace qvhost
