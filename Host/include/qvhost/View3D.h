// The document's 3D view ('3Dvw'): panes with an output frame each.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostObject.h"
#include "IHostViews.h"
#include "Journal.h"

namespace qvhost {

// Records each update in the journal under the pane's name.
class QVHOST_API PaneDisplay final : public HostObject<IHostPaneDisplay> {
 public:
  PaneDisplay(std::string pane, std::shared_ptr<Journal> journal)
      : fPane(std::move(pane)), fJournal(std::move(journal)) {}
  void Update(int32_t flags) override;

 private:
  std::string fPane;
  std::shared_ptr<Journal> fJournal;
};

class QVHOST_API PaneView final : public HostObject<IHostPaneView> {
 public:
  PaneView(std::string pane, std::shared_ptr<Journal> journal);
  void GetOffset(int32_t* x, int32_t* y) override {
    *x = fOffsetX;
    *y = fOffsetY;
  }
  float GetScale() override { return fScale; }
  void SetOffset(int32_t x, int32_t y) override {
    fOffsetX = x;
    fOffsetY = y;
  }
  void SetScale(float scale) override { fScale = scale; }
  QVResult GetDisplay(IHostPaneDisplay** display) override;

  // The view refuses a change of its output frame.
  bool locked = false;

 private:
  int32_t fOffsetX = 0, fOffsetY = 0;
  float fScale = 1.0f;
  TQVCountedPtr<PaneDisplay> fDisplay;
};

class QVHOST_API ViewPane final : public HostObject<IHostViewPane> {
 public:
  ViewPane(std::string name, std::shared_ptr<Journal> journal);
  bool IsActive() override { return active; }
  QVResult GetView(IHostPaneView** view) override;

  const std::string& Name() const { return fName; }
  PaneView& View() { return *fView; }
  bool active = false;

 private:
  std::string fName;
  TQVCountedPtr<PaneView> fView;
};

// The '3Dvw' component; it is its own pane list.
class QVHOST_API View3D final : public HostObject<IHost3DView, IHostViewPanes> {
 public:
  QVResult GetPanes(IHostViewPanes** panes) override;
  void FillPanes(TQVArray<IHostViewPane*>& panes) override;
  bool RefusesView(IHostPaneView* view) override;

  ViewPane& AddPane(std::string name, std::shared_ptr<Journal> journal);
  const std::vector<TQVCountedPtr<ViewPane>>& Panes() const { return fPanes; }

 private:
  std::vector<TQVCountedPtr<ViewPane>> fPanes;
};

}  // namespace qvhost
