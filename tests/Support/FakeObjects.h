// Small host-side fakes for tests: a counting unknown, a selection and a command context.
#pragma once

#include <vector>

#include "IHostSelection.h"
#include "qvhost/HostObject.h"

// An object that only counts: AddRef and Release never destroy it.
struct CountingUnknown final : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x7001);
  int32_t references = 1;
  int32_t releases = 0;
  // Index of this object's release among all releases of CountingUnknown objects.
  std::vector<int>* releaseLog = nullptr;
  int tag = 0;
  // What Release answers when aggregating (outer role); 0 = the count.
  int32_t releaseAnswer = 0;

  QVResult QueryInterface(const QVGUID& id, void** out) override {
    QVClearOut(out);
    if (id != kIID_IUnknown && id != kID) return kQVErrNoInterface;
    *out = this;
    AddRef();
    return kQVOk;
  }
  int32_t AddRef() override { return ++references; }
  int32_t Release() override {
    ++releases;
    if (releaseLog) releaseLog->push_back(tag);
    --references;
    return releaseAnswer ? releaseAnswer : references;
  }
};

class FakeSelection final : public qvhost::HostObject<IHostSelection> {
 public:
  explicit FakeSelection(int32_t count) : fCount(count) {}
  int32_t GetItemCount() override { return fCount; }
  QVClassPath GetItemClassPath(int32_t) override { return {0, nullptr}; }
  IUnknown* GetItemObject(int32_t) override { return nullptr; }
  QVResult GetSnapshot(IHostSelection** snapshot) override {
    QVClearOut(reinterpret_cast<void**>(snapshot));
    *snapshot = new FakeSelection(fCount);
    return kQVOk;
  }
  void Clear() override { fCount = 0; }
  bool IsEmpty() override { return fCount == 0; }

 private:
  int32_t fCount;
};

class FakeContext final : public qvhost::HostObject<IHostCommandContext> {
 public:
  explicit FakeContext(int32_t selected) : fSelection(qvhost::Adopt<IHostSelection>(new FakeSelection(selected))) {}
  QVResult GetScene(IHostScene** scene) override {
    QVClearOut(reinterpret_cast<void**>(scene));
    return kQVOk;
  }
  QVResult GetSelection(IHostSelection** selection) override {
    QVClearOut(reinterpret_cast<void**>(selection));
    fSelection->AddRef();
    *selection = fSelection.Get();
    return kQVOk;
  }
  QVResult GetChangeNotificationTarget(IUnknown** target) override {
    QVClearOut(reinterpret_cast<void**>(target));
    return kQVOk;
  }
  QVResult GetActiveDocumentProvider(IUnknown** provider) override {
    QVClearOut(reinterpret_cast<void**>(provider));
    return kQVOk;
  }

 private:
  TQVCountedPtr<IHostSelection> fSelection;
};
