// Arrays at their edges: growth, ownership of interface pointers, foreign storage,
// refused memory, and the block routines.
#include <cstring>
#include <vector>

#include "FakeObjects.h"
#include "QVArray.h"
#include "RuntimeFixture.h"
#include "TestCommand.h"

namespace {

struct Record12 {
  int32_t a, b, c;
};

class ArrayTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }
};

TEST_F(ArrayTest, StandardConfigurationPerElementSize) {
  struct Bytes20 { char b[20]; };
  struct Bytes48 { char b[48]; };
  struct Bytes88 { char b[88]; };
  // 32768 pointers of 4 bytes in the 32-bit layout.
  EXPECT_EQ(TQVArray<IUnknown*>().Flags(), 0xB0000000u | uint32_t(131072 / sizeof(void*)));
  EXPECT_EQ(TQVArray<int64_t>().Flags() & kQVArrayIncrementMask, 16384u);
  EXPECT_EQ(TQVArray<Record12>().Flags() & kQVArrayIncrementMask, 10922u);
  EXPECT_EQ(TQVArray<Bytes20>().Flags() & kQVArrayIncrementMask, 6553u);
  EXPECT_EQ(TQVArray<Bytes48>().Flags() & kQVArrayIncrementMask, 2730u);
  EXPECT_EQ(TQVArray<Bytes88>().Flags() & kQVArrayIncrementMask, 1489u);
}

TEST_F(ArrayTest, ProportionalGrowthSequence) {
  TQVArray<int32_t> array;
  std::vector<int32_t> capacities;
  for (int32_t i = 0; i < 11; ++i) {
    ASSERT_TRUE(array.Append(i));
    if (capacities.empty() || capacities.back() != array.Capacity()) capacities.push_back(array.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{1, 2, 3, 4, 5, 7, 9, 11}));
  for (int32_t i = 0; i < 11; ++i) EXPECT_EQ(array[i], i);
}

TEST_F(ArrayTest, GrowthIsCappedByTheIncrement) {
  TQVArray<int32_t> capped;
  ASSERT_TRUE(capped.Construct(0, 40, 2));
  ASSERT_TRUE(capped.SetLength(40));
  ASSERT_TRUE(capped.Append(1));
  EXPECT_EQ(capped.Capacity(), 42);
}

TEST_F(ArrayTest, ConstructionRules) {
  TQVArray<int32_t> bad;
  EXPECT_FALSE(bad.Construct(5, 2, 0));
  EXPECT_EQ(bad.Flags(), 0u);
  TQVArray<int32_t> sized;
  ASSERT_TRUE(sized.Construct(3, 8, 0x0FFFFFFF));
  EXPECT_EQ(sized.Length(), 3);
  EXPECT_EQ(sized.Capacity(), 8);
  EXPECT_EQ(sized.Flags(), kQVArrayConstructed | kQVArrayIncrementMask);
}

TEST_F(ArrayTest, InterfacePointersHoldOneReferenceAndReleaseLastFirst) {
  std::vector<int> releaseLog;
  CountingUnknown items[4];
  for (int i = 0; i < 4; ++i) {
    items[i].tag = i;
    items[i].releaseLog = &releaseLog;
  }
  {
    TQVArray<IUnknown*> array;
    for (auto& item : items) ASSERT_TRUE(array.Append(&item));
    for (auto& item : items) EXPECT_EQ(item.references, 2);
    ASSERT_TRUE(array.SetLength(6));  // new slots start null
    EXPECT_EQ(array[4], nullptr);
    EXPECT_EQ(array[5], nullptr);
    ASSERT_TRUE(array.SetLength(2));
    EXPECT_EQ(releaseLog, (std::vector<int>{3, 2}));
    array.Store(0, &items[1]);  // overwriting a slot releases its old element
    EXPECT_EQ(items[0].references, 1);
    EXPECT_EQ(items[1].references, 3);
    releaseLog.clear();
    array.Destroy();
    array.Destroy();  // the second destruction releases nothing
    EXPECT_EQ(releaseLog, (std::vector<int>{1, 1}));
  }
  for (auto& item : items) EXPECT_EQ(item.references, 1);
}

TEST_F(ArrayTest, ShrinkingCapacityBelowTheLengthReleasesTheDroppedElements) {
  CountingUnknown items[3];
  TQVArray<IUnknown*> array;
  for (auto& item : items) array.Append(&item);
  ASSERT_TRUE(array.SetCapacity(1));
  EXPECT_EQ(array.Length(), 1);
  EXPECT_EQ(items[0].references, 2);
  EXPECT_EQ(items[1].references, 1);
  EXPECT_EQ(items[2].references, 1);
}

TEST_F(ArrayTest, ForeignStorageIsNeverReallocatedOrFreed) {
  CountingUnknown item;
  IUnknown* storage[2] = {};
  const int64_t blocks = qvhost::HostMemory::Instance().LiveBlocks();
  {
    TQVArray<IUnknown*> array;
    array.UseForeignStorage(storage, 2);
    EXPECT_TRUE(array.Append(&item));
    EXPECT_TRUE(array.Append(&item));
    EXPECT_FALSE(array.Append(&item));
    EXPECT_EQ(array.Length(), 2);
    EXPECT_FALSE(array.SetCapacity(8));
    EXPECT_EQ(array.Storage(), storage);
    EXPECT_EQ(item.references, 3);
  }
  EXPECT_EQ(item.references, 1);
  EXPECT_EQ(qvhost::HostMemory::Instance().LiveBlocks(), blocks);
}

TEST_F(ArrayTest, RefusedMemoryLeavesTheArrayAsItWas) {
  TQVArray<Record12> array;
  ASSERT_TRUE(array.Append({1, 2, 3}));
  const int32_t capacity = array.Capacity();
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  EXPECT_FALSE(array.Append({4, 5, 6}));
  EXPECT_EQ(array.Length(), 1);
  EXPECT_EQ(array.Capacity(), capacity);
  EXPECT_EQ(array[0].c, 3);
  EXPECT_FALSE(array.SetLength(-1));
}

TEST_F(ArrayTest, ClearedStorageIsZeroFilledFromTheOldLength) {
  TQVArray<Record12> array;  // the standard construction clears new storage
  ASSERT_NE(array.Flags() & kQVArrayClearNewStorage, 0u);
  ASSERT_TRUE(array.SetLength(3));
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(array[i].a | array[i].b | array[i].c, 0);
}

TEST_F(ArrayTest, BlockRoutinesMatchTheStandardOnesWithAndWithoutBlockMoves) {
  for (uint8_t flag : {0, 1}) {
    QVState().capabilities[0] = flag;
    for (size_t count : {0u, 1u, 3u, 4u, 7u, 31u, 32u, 33u, 100u}) {
      uint8_t a[140], b[140];
      QVFill(0xAB, a, count);
      std::memset(b, 0xAB, count);
      EXPECT_EQ(std::memcmp(a, b, count), 0) << "fill " << count;
      for (size_t i = 0; i < sizeof a; ++i) a[i] = b[i] = uint8_t(i * 7);
      for (int distance : {-40, -32, -31, -4, -3, -1, 1, 3, 4, 31, 32, 40}) {
        uint8_t x[240], y[240];
        for (size_t i = 0; i < sizeof x; ++i) x[i] = y[i] = uint8_t(i * 13 + 1);
        QVMove(x + 100 + distance, x + 100, count);
        std::memmove(y + 100 + distance, y + 100, count);
        EXPECT_EQ(std::memcmp(x, y, sizeof x), 0) << "move " << count << " by " << distance;
      }
    }
  }
}

}  // namespace

namespace {

TEST_F(ArrayTest, AppendingAnElementOfTheArrayItselfSurvivesGrowth) {
  CountingUnknown item;
  TQVArray<IUnknown*> pointers;
  pointers.Append(&item);
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(pointers.Append(pointers[pointers.Length() - 1]));
  EXPECT_EQ(item.references, 22);
  TQVArray<Record12> records;
  records.Append({7, 8, 9});
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(records.Append(records[0]));
  EXPECT_EQ(records[20].c, 9);
}

TEST_F(ArrayTest, CapacitiesBeyondA32BitByteCountAreRefused) {
  TQVArray<Record12> array;
  EXPECT_FALSE(array.SetCapacity(INT32_MAX / 12 + 1));
  EXPECT_EQ(array.Capacity(), 0);
  ASSERT_TRUE(array.Construct(0, 4, 0));  // constructing a live array again frees it first
  ASSERT_TRUE(array.Construct(0, 2, 0));
  EXPECT_EQ(array.Capacity(), 2);
}

}  // namespace
