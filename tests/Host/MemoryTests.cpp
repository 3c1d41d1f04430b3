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
