// Keys reported by identity: tracks put their keys back in time order after edits, so a
// key is followed, not its place in the track.
#pragma once

#include <string>
#include <vector>

#include "qvhost/Document.h"

namespace qvhost {

class KeyChanges {
 public:
  // Remembers the time and interpolator of every key of `document` now.
  explicit KeyChanges(Document& document);
  // "track: old -> new" for every key whose time changed since.
  std::vector<std::string> MovedKeys() const;
  // "track at time: old -> new" for every key whose interpolator changed since.
  std::vector<std::string> Interpolations() const;

 private:
  struct KeyState {
    KeyInTrack key;
    int32_t ticks;
    std::string interpolator;
  };
  std::vector<KeyState> fBefore;
};

}  // namespace qvhost
