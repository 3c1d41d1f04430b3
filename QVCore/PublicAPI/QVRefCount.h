// The Release rule of every reference-counted base, the runtime's and the host's: the
// count never goes below 0 and an object is destroyed once.
#pragma once

#include <cstdint>

// The count of an object while it is destroyed: references its destructor takes and
// gives back (a query and its release, even an unbalanced release) never bring it to 0
// again.
constexpr int32_t kQVCountDestroying = 0x40000000;

enum class QVDrop {
  kKept,   // references remain
  kLast,   // the last reference went: the caller destroys the object
  kStray,  // the count was already 0: nothing changed, nothing may be destroyed
};

// One Release on a count of a single-threaded object. `answer` receives the count that
// Release answers: the new count, 0 for the last or a stray release.
inline QVDrop QVDropReference(int32_t& count, int32_t& answer) {
  if (count <= 0) {
    answer = 0;
    return QVDrop::kStray;
  }
  answer = --count;
  if (answer != 0) return QVDrop::kKept;
  count = kQVCountDestroying;
  return QVDrop::kLast;
}

// The same for a count that other threads change: a plain int32_t changed atomically.
inline QVDrop QVDropReferenceAtomic(int32_t& count, int32_t& answer) {
  int32_t seen = __atomic_load_n(&count, __ATOMIC_RELAXED);
  do {
    if (seen <= 0) {
      answer = 0;
      return QVDrop::kStray;
    }
  } while (!__atomic_compare_exchange_n(&count, &seen, seen - 1, true, __ATOMIC_ACQ_REL, __ATOMIC_RELAXED));
  answer = seen - 1;
  if (answer != 0) return QVDrop::kKept;
  __atomic_store_n(&count, kQVCountDestroying, __ATOMIC_RELAXED);
  return QVDrop::kLast;
}
