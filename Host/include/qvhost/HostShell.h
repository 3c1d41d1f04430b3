// The host's shell: answers every global service (unless told to withhold it) and
// records in its journal what the services were asked.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HostObject.h"
#include "HostServices.h"
#include "IHostAnimation.h"
#include "IHostScene.h"
#include "Journal.h"
#include "ResourceFile.h"
#include "TranslationRecord.h"
#include "QVString.h"

namespace qvhost {

// A file type the file dialogs offer.
struct FileType {
  uint32_t type = 0, format = 0;
  std::string description;
  std::vector<std::string> extensions;
  std::vector<uint32_t> typeCodes;
};

// Settings the services answer from.
struct ShellSettings {
  uint8_t capabilityBytes[4] = {1, 0, 0, 0};
  const QVTranslationRecord* translationRecord = &DefaultTranslationRecord();
  bool serviceB4Flag = true;
  bool applicationFlag = true;
  // The progress display reports a stop at this question (1 = the first) and at every
  // one after it; 0: never.
  int32_t stopAtAbortQuestion = 0;
  // The file the save dialog answers with (a path with its folder); empty: the user
  // cancels.
  std::string saveAnswer;
  // What HostApplicationServices answers as the current document (may be empty).
  TQVCountedPtr<IHostDocument> currentDocument;
  // The path of the element of the current document the object picker answers with;
  // empty (or no such element): the user cancels.
  std::string pickAnswer;
  // The resource files of the loaded modules, and the ones selected with
  // HostResourceServices (innermost last).
  std::vector<ResourceFile> resources;
  std::vector<size_t> selectedResources;
  // Value-type prototypes registered by modules, by value type; file types registered.
  std::map<uint32_t, TQVCountedPtr<IHostKeyframeItem>> valuePrototypes;
  std::vector<FileType> fileTypes;
};

class QVHOST_API HostShell final : public HostObject<IHostShell> {
 public:
  static TQVCountedPtr<HostShell> Create();

  QVResult QueryInterface(const QVGUID& id, void** out) override;

  // A withheld service is not given: the query answers 0x80014002 and null.
  void Withhold(QVService service, bool withheld = true);

  Journal& GetJournal() { return *fJournal; }
  const std::shared_ptr<Journal>& SharedJournal() const { return fJournal; }
  ShellSettings& Settings() { return *fSettings; }
  // The service object itself (held by the shell), whether withheld or not.
  IUnknown* Service(QVService service) const { return fServices[size_t(service)].Get(); }

 private:
  HostShell();
  ~HostShell() override = default;

  std::shared_ptr<Journal> fJournal;
  std::shared_ptr<ShellSettings> fSettings;
  std::array<TQVCountedPtr<IUnknown>, kQVServiceCount> fServices;
  std::array<bool, kQVServiceCount> fWithheld{};
};

}  // namespace qvhost
