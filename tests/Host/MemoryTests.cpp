// The host allocator: counts, refusals and misuse detection.
#include <cstring>

#include "LeakCheck.h"

namespace {

using MemoryTest = LeakCheckedTest;

TEST_F(MemoryTest, CountsLiveObjectsAndBlocksAndKeepsContentsOnReallocation) {
  auto& memory = qvhost::HostMemory::Instance();
  const int64_t objects = memory.LiveObjects(), blocks = memory.LiveBlocks();
  void* object = memory.AllocateObject(40);
  char* block = static_cast<char*>(memory.AllocateBlock(4));
  EXPECT_EQ(memory.LiveObjects(), objects + 1);
  EXPECT_EQ(memory.LiveBlocks(), blocks + 1);
  std::memcpy(block, "abc", 4);
  block = static_cast<char*>(memory.ReallocateBlock(block, 1 << 20));
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "abc");
  EXPECT_EQ(memory.LiveBlocks(), blocks + 1);
  memory.FreeObject(object);
  memory.FreeBlock(block);
  memory.FreeBlock(nullptr);
}

TEST_F(MemoryTest, RefusesExactlyTheNthAllocation) {
  auto& memory = qvhost::HostMemory::Instance();
  memory.RefuseAllocation(3);
  void* first = memory.AllocateBlock(8);
  void* second = memory.AllocateObject(8);
  void* third = memory.AllocateBlock(8);
  void* fourth = memory.AllocateBlock(8);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(third, nullptr);
  EXPECT_NE(fourth, nullptr);
  // A refused reallocation keeps the old block.
  memory.RefuseAllocation(1);
  EXPECT_EQ(memory.ReallocateBlock(first, 64), nullptr);
  memory.FreeBlock(first);
  memory.FreeObject(second);
  memory.FreeBlock(fourth);
}

// A block walked through sizes that grow within its room, past it, across the size of
// mapped blocks and back, shrinking a little and a lot: at each step it keeps its bytes
// and the live byte count is exactly the size asked for.
TEST_F(MemoryTest, ReallocationKeepsContentsAndExactCountsAtEverySize) {
  auto& memory = qvhost::HostMemory::Instance();
  const int64_t bytes = memory.LiveBytes(), blocks = memory.LiveBlocks();
  const size_t sizes[] = {1, 2, 3, 17, 16, 100, 1000, 999, 40, 5, 300000, 300001, 2000000, 1900000,
                          400000, 200000, 250000, 3, 0, 64};
  auto* block = static_cast<unsigned char*>(memory.AllocateBlock(0));
  ASSERT_NE(block, nullptr);
  size_t filled = 0;
  for (size_t size : sizes) {
    block = static_cast<unsigned char*>(memory.ReallocateBlock(block, size));
    ASSERT_NE(block, nullptr) << size;
    const size_t kept = filled < size ? filled : size;
    for (size_t i = 0; i < kept; ++i) ASSERT_EQ(block[i], static_cast<unsigned char>(i * 7 + 1)) << size << " at " << i;
    for (size_t i = kept; i < size; ++i) block[i] = static_cast<unsigned char>(i * 7 + 1);
    filled = size;
    EXPECT_EQ(memory.LiveBytes(), bytes + int64_t(size)) << size;
    EXPECT_EQ(memory.LiveBlocks(), blocks + 1) << size;
  }
  memory.FreeBlock(block);
  EXPECT_EQ(memory.LiveBytes(), bytes);
}

// Growing by one byte mostly stays where the block is; a refusal still comes at the
// allocation it names, and the refused block keeps its place, size and bytes.
TEST_F(MemoryTest, GrowingOneByteAtATimeStaysInPlaceAndCanStillBeRefused) {
  auto& memory = qvhost::HostMemory::Instance();
  const int64_t bytes = memory.LiveBytes();
  auto* block = static_cast<char*>(memory.AllocateBlock(1));
  ASSERT_NE(block, nullptr);
  block[0] = 'a';
  int moves = 0;
  for (size_t size = 2; size <= 4096; ++size) {
    char* grown = static_cast<char*>(memory.ReallocateBlock(block, size));
    ASSERT_NE(grown, nullptr);
    if (grown != block) ++moves;
    block = grown;
    block[size - 1] = char('a' + size % 26);
  }
  EXPECT_LT(moves, 40);
  memory.RefuseAllocation(2);
  char* grown = static_cast<char*>(memory.ReallocateBlock(block, 4097));
  ASSERT_EQ(grown, block);  // fits its room: the block does not move
  block[4096] = char('a' + 4097 % 26);
  EXPECT_EQ(memory.ReallocateBlock(block, 4098), nullptr);
  EXPECT_FALSE(memory.RefusalPending());
  EXPECT_EQ(memory.LiveBytes(), bytes + 4097);
  for (size_t i = 1; i < 4097; ++i) ASSERT_EQ(block[i], char('a' + (i + 1) % 26)) << i;
  memory.FreeBlock(block);
}

TEST_F(MemoryTest, FreeingThroughTheWrongOperationIsCountedAndIgnored) {
  auto& memory = qvhost::HostMemory::Instance();
  const int64_t misuses = memory.Misuses();
  void* object = memory.AllocateObject(16);
  memory.FreeBlock(object);
  EXPECT_EQ(memory.Misuses(), misuses + 1);
  memory.FreeObject(object);
  // Put the count back so the fixture does not report this deliberate misuse.
  EXPECT_EQ(memory.Misuses(), misuses + 1);
  memory.ResetMisusesForTests(misuses);
}

}  // namespace
