// The target reference of the modifiers: picking, resolving, copying and the stored line.
#include "TargetReference.h"

#include <cstdio>

#include "QVServiceTable.h"

namespace {

// Writes the pieces of one line and keeps the writer's first failure.
class LineText {
 public:
  explicit LineText(IHostLineWriter& writer) : fWriter(writer) {}
  void Write(const char* text, int32_t count) {
    if (fResult == kQVOk) fResult = fWriter.WriteText(text, count);
  }
  void WriteNumber(const char* prefix, int32_t value) {
    char text[16];
    const int count = std::snprintf(text, sizeof text, "%s%d", prefix, int(value));
    Write(text, count);
  }
  QVResult Result() const { return fResult; }

 private:
  IHostLineWriter& fWriter;
  QVResult fResult = kQVOk;
};

}  // namespace

void ResetTargetReference(TQVArray<int32_t>& reference) {
  if (!reference.SetLength(1)) QVRaiseOutOfMemory();
  reference[0] = 0;
}

void CopyTargetReference(const TQVArray<int32_t>& from, TQVArray<int32_t>& to) {
  if (&from == &to) return;
  if (!to.SetLength(from.Length())) QVRaiseOutOfMemory();
  for (int32_t i = 0; i < from.Length(); ++i) to[i] = from[i];
}

QVResult WriteTargetReference(IHostTokenStream* stream, const TQVArray<int32_t>& reference) {
  if (!stream) return kQVErrNotSupported;
  if (reference.Length() > 0 && reference[0] == 0) return kQVOk;  // no target: nothing stored
  IHostLineWriter* writer = stream->GetLineWriter();
  if (!writer) return kQVErrNotSupported;
  LineText line(*writer);
  static const char kSpaces[] = "                ";
  IHostTokenSettings* settings = writer->GetAttribute(QVFourCC("Tokn"));
  for (int32_t left = settings ? settings->GetIndentation() : 0; left > 0; left -= 16)
    line.Write(kSpaces, left < 16 ? left : 16);
  // The keyword's four bytes, most significant first; a space ends it.
  char keyword[4];
  int32_t length = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = char(kTargetKeyword >> shift);
    if (c == ' ') break;
    keyword[length++] = c == 0 ? '\'' : c;
  }
  line.Write(keyword, length);
  line.WriteNumber(" ", reference.Length());
  for (int32_t i = 0; i < reference.Length(); ++i) line.WriteNumber(",", reference[i]);
  line.Write("\r\n", 2);
  return line.Result();
}

namespace {

// "n,a,b...". A count the rest of the stream cannot hold (each element takes a comma and
// a digit at least) or a value that is not an integer is refused before anything is
// allocated for it.
void ReadList(IHostValueReader* values, TQVArray<int32_t>& reference) {
  if (!values) QVThrow(kQVErrMalformedData, kTargetReferenceSource, kTargetListMalformedLine);
  const int32_t count = values->ReadInteger();
  if (values->Failed() || count < 0 || count > values->GetRemainingLength() / 2)
    QVThrow(kQVErrMalformedData, kTargetReferenceSource, kTargetListMalformedLine);
  TQVArray<int32_t> list;
  if (!list.SetLength(count)) QVRaiseOutOfMemory();
  for (int32_t i = 0; i < count; ++i) {
    if (values->ReadCharacter() != ',') QVThrow(kQVErrMalformedData, kTargetReferenceSource, kTargetListMalformedLine);
    list[i] = values->ReadInteger();
    if (values->Failed()) QVThrow(kQVErrMalformedData, kTargetReferenceSource, kTargetListMalformedLine);
  }
  CopyTargetReference(list, reference);
}

}  // namespace

QVResult ReadTargetReference(IHostTokenStream* stream, QVTokenFallback fallback, void* userValue,
                             TQVArray<int32_t>& reference) {
  if (!stream) return kQVErrNotSupported;
  if (const QVResult result = stream->Begin()) return result;
  if (const QVResult result = stream->ReadKeyword()) return result;
  IHostValueReader* values = stream->GetValueReader();
  ResetTargetReference(reference);
  while (!stream->IsEndOfBlock()) {
    const uint32_t keyword = stream->GetKeyword();
    if (keyword == kTargetKeyword)
      ReadList(values, reference);
    else if (fallback)
      fallback(keyword, stream, userValue);
    else
      stream->SkipItem();
    if (const QVResult result = stream->ReadKeyword()) return result;
  }
  return kQVOk;
}

void PickTargetElement(uint32_t classCode, TQVArray<int32_t>& reference, TQVString& name) {
  HostApplicationServices* application = QVGetService<HostApplicationServices>();
  if (!application) return;
  HostResourceServices* resources = QVGetService<HostResourceServices>();
  // The resource selection is restored on every way out.
  struct Selection {
    HostResourceServices* resources;
    ~Selection() {
      if (resources) resources->EndUsingResources();
    }
  } selection{resources};
  TQVFixedString<255> title, prompt;
  if (resources) {
    resources->BeginUsingResources(kModifierFamily, classCode);
    resources->LoadIndexedString(kTargetPickerStrings, 1, title);
    resources->LoadIndexedString(kTargetPickerStrings, 2, prompt);
  }
  TQVCountedPtr<IHostTreeElement> chosen;
  if (application->PickObject(title, prompt, 0, chosen.Put()) && chosen) {
    chosen->GetReferenceList(reference);
    chosen->GetName(name);
  }
}

TQVCountedPtr<IHostScene> SceneOf(IHostTreeElement* object) {
  TQVCountedPtr<IHostScene> scene;
  if (object) object->GetScene(scene.Put());
  return scene;
}

TQVCountedPtr<IHostTreeElement> ResolveTargetElement(IHostScene* scene, const TQVArray<int32_t>& reference,
                                                     IHostTreeElement* object) {
  TQVCountedPtr<IHostTreeElement> target;
  if (scene) scene->ResolveTargetReference(reference, target.Put());
  if (target.Get() == object) target.Release();  // the object following itself: no target
  return target;
}
