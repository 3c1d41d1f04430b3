// The module's random generator, RandomOffset and the time-offset table.
#include <cmath>
#include <cstdint>

#include "JitterKeys.h"
#include "RuntimeFixture.h"

namespace {

// The generator, written out as the oracle.
struct Lcg {
  uint32_t state;
  int32_t Draw() {
    state = state * 214013u + 2531011u;
    return int32_t((state >> 16) & 0x7FFF);
  }
};

class JitterInternalsTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }
};

TEST_F(JitterInternalsTest, DrawsFollowTheGeneratorFromTheSeed) {
  JitterKeysSeed(8000);
  Lcg oracle{8000};
  for (int i = 0; i < 100; ++i) EXPECT_EQ(JitterKeysDraw(), oracle.Draw()) << i;
}

TEST_F(JitterInternalsTest, OffsetsDrawTwoValuesSignFirst) {
  struct Case {
    float minTicks, maxTicks;
  };
  const Case cases[] = {{0, 180000}, {180000, 0}, {-1000, 1000}, {0, 200000000}, {5, 5}, {0, 0}};
  for (const Case& c : cases) {
    for (uint32_t seed : {1u, 42u, 8000u, 123456789u}) {
      JitterKeysSeed(seed);
      Lcg oracle{seed};
      for (int i = 0; i < 50; ++i) {
        const int32_t r1 = oracle.Draw(), r2 = oracle.Draw();
        int64_t lo = int64_t(c.minTicks), hi = int64_t(c.maxTicks);
        if (lo > hi) std::swap(lo, hi);
        const int64_t magnitude = int64_t(std::trunc(double(r2) * double(hi - lo + 1) / 32768.0 + double(lo)));
        const int64_t expected = r1 >= 16384 ? magnitude : -magnitude;
        EXPECT_EQ(RandomOffset(c.minTicks, c.maxTicks), expected) << c.minTicks << ".." << c.maxTicks;
        EXPECT_GE(magnitude, lo);
        EXPECT_LE(magnitude, hi);
      }
    }
  }
  // The defaults' largest magnitude: trunc(32767 * 180001 / 32768).
  int32_t largest = 0;
  JitterKeysSeed(1);
  for (int i = 0; i < 200000; ++i) largest = std::max(largest, std::abs(RandomOffset(0, 180000)));
  EXPECT_EQ(largest, 179995);
}

TEST_F(JitterInternalsTest, OffsetsBeyondThe32BitRangeAreClamped) {
  JitterKeysSeed(3);
  for (int i = 0; i < 100; ++i) {
    const int32_t offset = RandomOffset(3e12f, 3e12f);
    EXPECT_EQ(std::abs(int64_t(offset)), int64_t(INT32_MAX)) << offset;
  }
}

TEST_F(JitterInternalsTest, TableMatchesTimesAsFloatsAndCopiesAreIndependent) {
  TTimeOffsetTable table;
  for (int32_t t = 0; t < 100000; t += 3) table.Append(t, float(t) / 2);
  EXPECT_EQ(table.Length(), 33334);
  for (int32_t t = 0; t < 1000; ++t) {
    const TTimeOffset* entry = table.Find(t);
    ASSERT_EQ(entry != nullptr, t % 3 == 0) << t;
    if (entry) {
      EXPECT_EQ(entry->offset, float(t) / 2);
    }
  }
  // 16777217 becomes the float 16777216: it matches that entry.
  table.Append(16777216, 9.0f);
  ASSERT_NE(table.Find(16777217), nullptr);
  EXPECT_EQ(table.Find(16777217)->offset, 9.0f);

  TTimeOffsetTable copy(table);
  copy.Append(7, 1.0f);
  EXPECT_NE(copy.Find(7), nullptr);
  EXPECT_EQ(table.Find(7), nullptr) << "a callee's additions stay in its copy";
  EXPECT_EQ(copy.Length(), table.Length() + 1);
  // Entries added after the index was built are indexed too.
  ASSERT_NE(copy.Find(0), nullptr);
  ASSERT_NE(copy.Find(7), nullptr);
  EXPECT_EQ(copy.Find(7)->offset, 1.0f);
  EXPECT_EQ(copy.Find(8), nullptr);
}

}  // namespace
