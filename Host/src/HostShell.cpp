// The shell: one object per service, handed out by QueryInterface.
#include "qvhost/HostShell.h"

#include "HostServiceObjects.h"

namespace qvhost {

namespace {
std::atomic<int64_t> gLiveHostObjects{0};
}

int64_t LiveHostObjects() { return gLiveHostObjects; }
void CountHostObject(int delta) { gLiveHostObjects += delta; }

TQVCountedPtr<HostShell> HostShell::Create() { return Adopt<HostShell>(new HostShell()); }

HostShell::HostShell()
    : fJournal(std::make_shared<Journal>()), fSettings(std::make_shared<ShellSettings>()) {
  for (int i = 0; i < kQVServiceCount; ++i)
    fServices[size_t(i)].AttachNew(MakeServiceObject(QVService(i), fJournal, fSettings));
}

QVResult HostShell::QueryInterface(const QVGUID& id, void** out) {
  const int index = QVServiceIndexOf(id);
  if (index < 0) return HostObject::QueryInterface(id, out);
  fJournal->Record("service", std::string("acquire ") + kQVServices[index].name +
                                  (fWithheld[size_t(index)] ? " (withheld)" : ""));
  if (fWithheld[size_t(index)]) {
    QVClearOut(out);
    return kQVErrNoInterface;
  }
  QVStoreOut(out, fServices[size_t(index)].Get());
  return kQVOk;
}

void HostShell::Withhold(QVService service, bool withheld) { fWithheld[size_t(service)] = withheld; }

}  // namespace qvhost
