// The shell: one object per service, handed out by QueryInterface.
#include "qvhost/HostShell.h"

#include "HostServiceObjects.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qvhost {

namespace {
std::atomic<int64_t> gLiveHostObjects{0};
std::atomic<int64_t> gStrayHostReleases{0};

struct KindCounters {
  std::mutex mutex;
  std::map<std::string, std::atomic<int64_t>> counts;  // nodes stay where they are
};
KindCounters& Kinds() {
  static KindCounters* kinds = new KindCounters();  // outlives every static host object
  return *kinds;
}
}  // namespace

int64_t LiveHostObjects() { return gLiveHostObjects; }
void CountHostObject(int delta) { gLiveHostObjects += delta; }
int64_t StrayHostReleases() { return gStrayHostReleases; }
void CountStrayHostRelease() { ++gStrayHostReleases; }

std::atomic<int64_t>& HostObjectKindCounter(const char* kind) {
  int status = 0;
  char* readable = abi::__cxa_demangle(kind, nullptr, nullptr, &status);
  std::string name = status == 0 && readable ? readable : kind;
  std::free(readable);
  for (const char* prefix : {"qvhost::", "(anonymous namespace)::"})
    if (name.rfind(prefix, 0) == 0) name.erase(0, std::strlen(prefix));
  KindCounters& kinds = Kinds();
  std::lock_guard<std::mutex> lock(kinds.mutex);
  return kinds.counts[name];
}

std::map<std::string, int64_t> LiveHostObjectsByKind() {
  KindCounters& kinds = Kinds();
  std::lock_guard<std::mutex> lock(kinds.mutex);
  std::map<std::string, int64_t> live;
  for (const auto& [kind, count] : kinds.counts)
    if (count != 0) live[kind] = count;
  return live;
}

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
