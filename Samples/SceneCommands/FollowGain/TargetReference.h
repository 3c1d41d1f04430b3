// The target reference of the target-following modifiers: the element's reference list
// as the host gives it, [0] naming none; how it is picked, resolved, copied and stored.
#pragma once

#include "IHostScene.h"
#include "IHostTokenStream.h"
#include "ModuleInterfaces.h"
#include "QVArray.h"
#include "QVCountedPtr.h"
#include "QVString.h"

// Raising site of a stored target list that cannot be read: its reader in TargetReference.cpp.
inline constexpr const char kTargetReferenceSource[] = "Samples/SceneCommands/FollowGain/TargetReference";
constexpr int32_t kTargetListMalformedLine = 74;

constexpr uint32_t kModifierFamily = QVFourCC("modi");
constexpr uint32_t kTargetKeyword = QVFourCC("obj1");  // the stored line, and the dialog's picker part
constexpr int16_t kTargetPickerStrings = 128;            // entry 1: the picker's title, 2: its prompt

void ResetTargetReference(TQVArray<int32_t>& reference);
void CopyTargetReference(const TQVArray<int32_t>& from, TQVArray<int32_t>& to);
// Lets the user pick the target with the object picker of the class's resources; a pick
// replaces `reference` and `name`, a cancelled one changes nothing.
void PickTargetElement(uint32_t classCode, TQVArray<int32_t>& reference, TQVString& name);
// The scene `object` is in, or null.
TQVCountedPtr<IHostScene> SceneOf(IHostTreeElement* object);
// The element `reference` names in `scene`, or null; `object` itself counts as none.
TQVCountedPtr<IHostTreeElement> ResolveTargetElement(IHostScene* scene, const TQVArray<int32_t>& reference,
                                                     IHostTreeElement* object);
// The line "obj1 n,a,b..." (nothing for a list that starts with 0), and reading it back:
// every other keyword of the block goes to `fallback`.
QVResult WriteTargetReference(IHostTokenStream* stream, const TQVArray<int32_t>& reference);
QVResult ReadTargetReference(IHostTokenStream* stream, QVTokenFallback fallback, void* userValue,
                             TQVArray<int32_t>& reference);
