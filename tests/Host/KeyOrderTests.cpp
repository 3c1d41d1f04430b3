// Key tracks put back in time order after keys moved: the same order as a stable sort of
// the whole track by time (of keys at equal times, the one earlier in the track first).
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "LeakCheck.h"
#include "qvhost/Animation.h"

namespace {

using KeyOrderTest = LeakCheckedTest;

// The keys of `track` in its order.
std::vector<qvhost::Key*> Order(const qvhost::KeyTrack& track) {
  std::vector<qvhost::Key*> keys;
  for (const auto& key : track.Keys()) keys.push_back(key.Get());
  return keys;
}

// The stable sort by time of the track as it stands.
std::vector<qvhost::Key*> StableOrder(const qvhost::KeyTrack& track) {
  std::vector<qvhost::Key*> keys = Order(track);
  std::stable_sort(keys.begin(), keys.end(), [](qvhost::Key* a, qvhost::Key* b) { return a->Ticks() < b->Ticks(); });
  return keys;
}

// Settles the track and checks it against the stable sort (or, when Settle finds no key
// moved, the order as it was), and each key's neighbours.
void ExpectStableOrder(qvhost::KeyTrack& track, bool afterEdit, bool moved = true) {
  const std::vector<qvhost::Key*> expected = afterEdit || moved ? StableOrder(track) : Order(track);
  if (afterEdit)
    track.AfterEdit();
  else
    track.Settle();
  ASSERT_EQ(Order(track), expected);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i]->GetPreviousKey(), i == 0 ? nullptr : expected[i - 1]) << i;
    EXPECT_EQ(expected[i]->GetNextKey(), i + 1 == expected.size() ? nullptr : expected[i + 1]) << i;
  }
}

struct MoveCase {
  const char* name;
  std::vector<int32_t> times;  // the keys as added
  std::vector<std::pair<size_t, int32_t>> moves;  // (position when moved, new time), in order
};

TEST_F(KeyOrderTest, MovedKeysTakeTheirPlaceAsAStableSortWouldPutThem) {
  const MoveCase cases[] = {
      {"nothing moved", {0, 10, 20}, {}},
      {"onto a later key's time", {0, 10, 20, 30}, {{0, 20}}},
      {"onto an earlier key's time", {0, 10, 20, 30}, {{3, 10}}},
      {"two moved onto one time, later first", {0, 10, 20, 30}, {{3, 10}, {0, 10}}},
      {"moved and back", {0, 10, 20}, {{1, 25}, {1, 10}}},
      {"swapped", {0, 10}, {{0, 10}, {1, 0}}},
      {"all at one time", {5, 6, 7, 8}, {{2, 1}, {0, 1}, {3, 1}, {1, 1}}},
      {"negative and extreme times", {0, 10, 20}, {{1, INT32_MIN}, {2, INT32_MAX}, {0, -1}}},
      {"added out of order, one moved", {30, 10, 20, 0}, {{2, 10}}},
      {"added out of order, none moved", {30, 10, 20, 10}, {}},
  };
  for (const MoveCase& c : cases) {
    for (bool afterEdit : {true, false}) {
      SCOPED_TRACE(c.name);
      auto track = qvhost::Adopt<qvhost::KeyTrack>(new qvhost::KeyTrack());
      for (int32_t ticks : c.times) track->Add(ticks, true);
      std::vector<qvhost::Key*> keys = Order(*track);
      for (const auto& move : c.moves) keys[move.first]->SetTime(move.second);
      ExpectStableOrder(*track, afterEdit, !c.moves.empty());
    }
  }
}

// Long tracks (sorted another way than short ones), with some or all keys moved by
// random offsets onto many shared times, several rounds without and with settling.
TEST_F(KeyOrderTest, LongTracksMatchAStableSortAfterRandomMoves) {
  std::mt19937 random(7);
  for (size_t keys : {size_t(300), size_t(5000)}) {
    for (int share : {1, 10, 100}) {  // percent of the keys moved each round
      SCOPED_TRACE(testing::Message() << keys << " keys, " << share << "% moved");
      auto track = qvhost::Adopt<qvhost::KeyTrack>(new qvhost::KeyTrack());
      for (size_t i = 0; i < keys; ++i) track->Add(int32_t(i * 100), true);
      for (int round = 0; round < 3; ++round) {
        std::vector<qvhost::Key*> order = Order(*track);
        for (qvhost::Key* key : order) {
          if (int(random() % 100) >= share) continue;
          // Offsets of whole hundreds land on other keys' times; some go below zero.
          const int32_t offset = int32_t(random() % 41) * 100 - 2000 + (random() % 4 == 0 ? 50 : 0);
          key->SetTime(key->Ticks() + offset);
          if (random() % 8 == 0) key->SetTime(key->Ticks() - 100);  // moved twice
        }
        ExpectStableOrder(*track, round % 2 == 0);
      }
    }
  }
}

// A key taken out of its track with Clear is no longer counted as moved there.
TEST_F(KeyOrderTest, ClearedTrackStartsAfresh) {
  auto track = qvhost::Adopt<qvhost::KeyTrack>(new qvhost::KeyTrack());
  qvhost::Key& key = track->Add(10, true);
  TQVCountedPtr<qvhost::Key> held;
  held.Assign(&key);
  key.SetTime(5);
  track->Clear();
  held->SetTime(7);  // no track any more
  track->Add(20, true);
  track->Add(10, true).SetTime(30);
  ExpectStableOrder(*track, true);
  EXPECT_EQ(held->Track(), nullptr);
}

}  // namespace
