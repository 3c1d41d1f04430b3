// The 3D view component and its panes.
#include "qvhost/View3D.h"
#include "qvhost/CodePageText.h"

namespace qvhost {

void PaneDisplay::Update(int32_t flags) {
  fJournal->Record("display", "update " + ShownText(fPane) + (flags ? " (" + std::to_string(flags) + ")" : ""));
}

PaneView::PaneView(std::string pane, std::shared_ptr<Journal> journal)
    : fDisplay(Adopt<PaneDisplay>(new PaneDisplay(std::move(pane), std::move(journal)))) {}

QVResult PaneView::GetDisplay(IHostPaneDisplay** display) {
  QVClearOut(reinterpret_cast<void**>(display));
  fDisplay->AddRef();
  *display = fDisplay.Get();
  return kQVOk;
}

ViewPane::ViewPane(std::string name, std::shared_ptr<Journal> journal)
    : fName(std::move(name)), fView(Adopt<PaneView>(new PaneView(fName, std::move(journal)))) {}

QVResult ViewPane::GetView(IHostPaneView** view) {
  QVClearOut(reinterpret_cast<void**>(view));
  fView->AddRef();
  *view = fView.Get();
  return kQVOk;
}

QVResult View3D::GetPanes(IHostViewPanes** panes) {
  QVClearOut(reinterpret_cast<void**>(panes));
  AddRef();
  *panes = this;
  return kQVOk;
}

void View3D::FillPanes(TQVArray<IHostViewPane*>& panes) {
  for (const auto& pane : fPanes) panes.Append(pane.Get());
}

bool View3D::RefusesView(IHostPaneView* view) {
  for (const auto& pane : fPanes)
    if (static_cast<IHostPaneView*>(&pane->View()) == view) return pane->View().locked;
  return true;  // not a view of ours
}

ViewPane& View3D::AddPane(std::string name, std::shared_ptr<Journal> journal) {
  fPanes.push_back(Adopt<ViewPane>(new ViewPane(std::move(name), std::move(journal))));
  return *fPanes.back();
}

}  // namespace qvhost
