// The value of one comment key (value type 'AStr'): its text and the owner the host gives it.
#pragma once

#include "AtomicRefObject.h"
#include "IHostAnimation.h"
#include "QVCountedPtr.h"
#include "QVString.h"

constexpr uint32_t kCommentValueType = QVFourCC("AStr");

class TCommentValue final : public IHostKeyframeItem, public TQVAtomicRefObject {
 public:
  TCommentValue() = default;
  explicit TCommentValue(const TQVString& text) { fText.Assign(text); }

  QVResult QueryInterface(const QVGUID& id, void** out) override;
  int32_t AddRef() override { return TQVAtomicRefObject::AddRef(); }
  int32_t Release() override { return TQVAtomicRefObject::Release(); }
  void DeleteThis(uint32_t flags) override { QVDeleteRefObject(this, flags); }

  int32_t Reserved3() override { return 256; }
  QVResult GetValue(TQVString& target, uint32_t type, bool* changed) override;
  QVResult SetValue(const TQVString& source, uint32_t type) override;
  uint32_t GetValueType() override { return kCommentValueType; }
  void Clone(IHostKeyframeItem** out) override;
  QVResult Write(IHostDataStream* stream) override;
  QVResult Read(IHostDataStream* stream) override;
  QVResult CopyFrom(IHostKeyframeItem* other) override;
  QVResult CopyFromSecond(void*, IHostKeyframeItem* value, void*) override { return CopyFrom(value); }
  void NewEmpty(IHostKeyframeItem** out) override;
  QVResult Reserved13() override { return kQVOk; }
  void Reserved14() override;
  void SetOwner(IUnknown* owner) override { fOwner.Assign(owner); }
  IUnknown* GetOwner() override { return fOwner.Get(); }
  bool Reserved17() override { return false; }
  int32_t Reserved18() override { return 0; }
  void Reserved19() override {}
  void Reserved20() override {}
  void Reserved21() override {}
  void Reserved22() override {}
  bool Reserved23() override { return false; }
  int32_t Reserved24() override { return 0; }
  void Reserved25() override {}
  bool Reserved26() override { return false; }
  void Reserved27() override {}

  const TQVString& Text() const { return fText; }

 private:
  TQVCountedPtr<IUnknown> fOwner;
  TQVFixedString<255> fText;
};

#if defined(__i386__)
static_assert(sizeof(TCommentValue) == 288, "TCommentValue layout");
#endif
