// NoteSheet reading its data from arbitrary token text: the component reads what it can
// and answers a code, and what it kept is written back and read again to the same text.
#include <cstdint>
#include <memory>
#include <string>

#include "QVException.h"
#include "qvhost/AttachedComponent.h"
#include "qvhost/Document.h"
#include "qvhost/HostError.h"
#include "qvhost/ModuleSet.h"
#include "qvhost/TokenStream.h"

namespace {

struct Host {
  TQVCountedPtr<qvhost::HostShell> shell = qvhost::HostShell::Create();
  qvhost::ModuleSet modules{QV_MODULE_DIR, *shell};
};

QVResult SkipItem(uint32_t, IHostTokenStream* stream, void*) {
  stream->SkipItem();
  return kQVOk;
}

// The component's data as it writes it.
std::string Written(qvhost::ComponentCarrier& carrier) {
  auto out = qvhost::TokenStream::ForWriting();
  out->OpenBlock("");
  carrier.Query<ITokenPersistence>()->Write(out.Get());
  out->CloseBlock();
  return out->Text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Host* host = new Host();  // kept for the whole run: the module stays loaded
  auto document = qvhost::Adopt<qvhost::Document>(new qvhost::Document(host->shell->SharedJournal()));
  host->shell->Settings().currentDocument.Assign(document.Get());
  try {
    auto carrier = host->modules.Make(document->GetScene(), "NoteSheet");
    auto persistence = carrier->Query<ITokenPersistence>();
    auto in = qvhost::TokenStream::ForReading(std::string(reinterpret_cast<const char*>(data), size));
    persistence->Read(in.Get(), &SkipItem, nullptr);
    const std::string saved = Written(*carrier);

    auto again = host->modules.Make(document->GetScene(), "NoteSheet");
    auto reread = qvhost::TokenStream::ForReading(saved);
    if (again->Query<ITokenPersistence>()->Read(reread.Get(), &SkipItem, nullptr) != kQVOk) __builtin_trap();
    if (Written(*again) != saved) __builtin_trap();
  } catch (const TQVException&) {
  } catch (const qvhost::HostError&) {
  }
  host->shell->Settings().currentDocument.Release();
  host->shell->GetJournal().Clear();
  return 0;
}
