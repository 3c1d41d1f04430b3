// Profile values and the current time.
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "qvplatform/Platform.h"

namespace {

TEST(ProfileTest, DecimalSeparatorComesFromTheEnvironmentOverride) {
  setenv("QV_PROFILE_INTL_SDECIMAL", ",", 1);
  char buffer[8] = {};
  EXPECT_EQ(QVPlatform_GetProfileString("intl", "sDecimal", ".", buffer, sizeof buffer), 1u);
  EXPECT_STREQ(buffer, ",");
  unsetenv("QV_PROFILE_INTL_SDECIMAL");
  EXPECT_GE(QVPlatform_GetProfileString("intl", "sDecimal", "?", buffer, sizeof buffer), 1u);
  EXPECT_STRNE(buffer, "?");
}

TEST(ProfileTest, UnknownValuesAnswerTheFallbackCutToTheBuffer) {
  char buffer[4] = {};
  EXPECT_EQ(QVPlatform_GetProfileString("intl", "sThousand", "fallback", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "fal");
  EXPECT_EQ(QVPlatform_GetProfileString("intl", "sDecimal", ".", buffer, 0), 0u);
}

TEST(ProfileTest, CurrentTimeIsTheWallClock) {
  const int64_t now = int64_t(std::time(nullptr));
  EXPECT_LE(std::llabs(QVPlatform_CurrentTime() - now), 2);
}

}  // namespace
