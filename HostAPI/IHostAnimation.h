// Animation: animated objects, their animation nodes with channels, key tracks and keys.
#pragma once

#include "HostServices.h"

struct IHostAnimationNode;
struct IHostKeyTrack;

// Host time: signed ticks of 1/180000 s.
constexpr int32_t kQVTicksPerSecond = 180000;

// The time of a key: word 0 the ticks, word 1 unused.
struct QVKeyTimeRecord {
  int32_t ticks = 0;
  int32_t unused = 0;
};
static_assert(sizeof(QVKeyTimeRecord) == 8, "key-time record layout");

// Every tree element answers it; NoteSheet implements it too, so the slot order is fixed.
struct IHostAnimated : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x140);
  virtual int32_t Query() = 0;                           // 3
  virtual QVResult Activate(int32_t flag) = 0;           // 4
  virtual IHostAnimationNode* GetAnimationNode() = 0;    // 5: borrowed, may be null
  virtual void Reserved6() = 0;                          // 6
  virtual void Forward(int32_t value) = 0;               // 7
  virtual void DeleteThis(uint32_t flags) = 0;           // 8
  virtual QVResult DefineAttributes() = 0;               // 9
  virtual void Reserved10() = 0;                         // 10
};

struct IHostDataStream;

// A key's value object; selected key items ('KeyF') answer it too. Value types that
// modules register (such as 'AStr') implement it, so the slot order is fixed.
struct IHostKeyframeItem : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x141);
  virtual int32_t Reserved3() = 0;                                                       // 3
  // Copies the value into `target` unless equal; `changed` tells which.
  virtual QVResult GetValue(TQVString& target, uint32_t type, bool* changed) = 0;        // 4
  virtual QVResult SetValue(const TQVString& source, uint32_t type) = 0;                 // 5
  virtual uint32_t GetValueType() = 0;                                                   // 6
  virtual void Clone(IHostKeyframeItem** out) = 0;                                       // 7
  virtual QVResult Write(IHostDataStream* stream) = 0;                                   // 8
  virtual QVResult Read(IHostDataStream* stream) = 0;                                    // 9
  virtual QVResult CopyFrom(IHostKeyframeItem* other) = 0;                               // 10
  virtual QVResult CopyFromSecond(void* first, IHostKeyframeItem* value, void* third) = 0;  // 11
  virtual void NewEmpty(IHostKeyframeItem** out) = 0;                                    // 12
  virtual QVResult Reserved13() = 0;                                                     // 13
  virtual void Reserved14() = 0;                                                         // 14
  virtual void SetOwner(IUnknown* owner) = 0;                                            // 15
  virtual IUnknown* GetOwner() = 0;                                                      // 16
  virtual bool Reserved17() = 0;                                                         // 17
  virtual int32_t Reserved18() = 0;                                                      // 18
  virtual void Reserved19() = 0;                                                         // 19
  virtual void Reserved20() = 0;                                                         // 20
  virtual void Reserved21() = 0;                                                         // 21
  virtual void Reserved22() = 0;                                                         // 22
  virtual bool Reserved23() = 0;                                                         // 23
  virtual int32_t Reserved24() = 0;                                                      // 24
  virtual void Reserved25() = 0;                                                         // 25
  virtual bool Reserved26() = 0;                                                         // 26
  virtual void Reserved27() = 0;                                                         // 27
};

struct IHostKeyframe : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x142);
  virtual QVKeyTimeRecord GetTimeRecord() = 0;
  virtual void SetTime(int32_t ticks) = 0;
  virtual bool IsSelected() = 0;
  // The neighbours in the track's order, borrowed, or null.
  virtual IHostKeyframe* GetPreviousKey() = 0;
  virtual IHostKeyframe* GetNextKey() = 0;
  // The key's value object (a comment value on 'ASTR' tracks), borrowed, or null.
  virtual IHostKeyframeItem* GetValue() = 0;
};

struct IHostKeyTrack : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x143);
  virtual int32_t GetKeyCount() = 0;
  // Borrowed; may be null.
  virtual IHostKeyframe* GetKey(int32_t index) = 0;
  virtual bool HasSelectedKey() = 0;
  // Puts the keys back in time order after their times were edited.
  virtual void AfterEdit() = 0;
};

// A channel of a node: a sub-node or a key track.
struct IHostAnimationChannel : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x144);
  virtual bool GetEligibilityFlag1() = 0;
  virtual bool GetEligibilityFlag2() = 0;
  virtual bool IsSubNodeChannel() = 0;
  virtual IHostAnimationNode* GetSubNode() = 0;  // borrowed
  virtual IHostKeyTrack* GetKeyTrack() = 0;      // borrowed
};

struct IHostAnimationNode : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x145);
  virtual IHostKeyTrack* GetOwnKeyTrack() = 0;  // borrowed
  virtual int32_t GetChannelCount() = 0;
  virtual IHostAnimationChannel* GetChannel(int32_t index) = 0;  // borrowed
  virtual bool GetSuspendableState() = 0;
  virtual void SetSuspendableState(bool state) = 0;
  virtual void KeysChanged() = 0;
  // `source` is only compared by the host, never kept or called.
  virtual void ChangedWithSource(IUnknown* source) = 0;
  // Adds a group of attributes that `group` animates, shown under `name`.
  virtual QVResult AddAttributeGroup(IHostAnimated* group, const TQVString& name, uint32_t code) = 0;
};

// Entries of the scene's second object list.
struct IHostObjectOwner : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x146);
  virtual IUnknown* GetOwnedObject() = 0;  // borrowed, may be null
};
