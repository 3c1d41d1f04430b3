// Test fixture base: a test must leave no host object, object memory or block alive.
#pragma once

#include <gtest/gtest.h>

#include "qvhost/HostMemory.h"
#include "qvhost/HostObject.h"

class LeakCheckedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& memory = qvhost::HostMemory::Instance();
    memory.RefuseAllocation(0);
    memory.RefuseAll(false);
    fObjects = memory.LiveObjects();
    fBlocks = memory.LiveBlocks();
    fMisuses = memory.Misuses();
    fHostObjects = qvhost::LiveHostObjects();
  }
  void TearDown() override {
    auto& memory = qvhost::HostMemory::Instance();
    memory.RefuseAllocation(0);
    memory.RefuseAll(false);
    EXPECT_EQ(memory.LiveObjects(), fObjects) << "object memory still held";
    EXPECT_EQ(memory.LiveBlocks(), fBlocks) << "blocks still held";
    EXPECT_EQ(memory.Misuses(), fMisuses) << "memory freed twice or through the wrong operation";
    EXPECT_EQ(qvhost::LiveHostObjects(), fHostObjects) << "host objects still alive";
  }

 private:
  int64_t fObjects = 0, fBlocks = 0, fMisuses = 0, fHostObjects = 0;
};
