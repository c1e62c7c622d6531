#include <gtest/gtest.h>

#include "common/Failure.h"
#include "platform/OSVersion.h"

namespace velmaris {
namespace {

struct VersionCase {
  int32_t callResult;
  uint32_t platformId;
  uint32_t major;
  uint32_t minor;
  int16_t level;
};

TEST(WindowsVersionLevel, FollowsTheVersionTable) {
  const VersionCase cases[] = {
      {1, 2, 6, 0, 6},         {1, 2, 6, 1, 7},      {1, 2, 6, 2, 8},   {1, 2, 6, 3, 8},
      {1, 2, 6, 4, 6},         {1, 2, 6, 99, 6},     {1, 2, 10, 0, 10}, {1, 2, 5, 1, 5},
      {1, 2, 4, 0, 4},         {1, 2, 3, 51, 3},     {1, 2, 5, 2, 5},   {1, 2, 10, 2, 10},
      {1, 2, 32767, 0, 32767}, {1, 1, 4, 10, 0},     {1, 1, 6, 1, 0},   {1, 0, 6, 1, 0},
      {1, 3, 6, 1, 0},         {1, 99, 10, 0, 0},    {0, 2, 6, 1, 0},   {-1, 2, 10, 0, 0},
      {2, 2, 6, 2, 0},         {0, 2, 100000, 0, 0},
  };
  for (const VersionCase& c : cases) {
    EXPECT_EQ(WindowsVersionLevelFrom(c.callResult, c.platformId, c.major, c.minor), c.level)
        << c.callResult << " " << c.platformId << " " << c.major << "." << c.minor;
  }
}

TEST(WindowsVersionLevel, MajorBeyondSixteenBitsIsAnOverflow) {
  for (uint32_t major : {32768u, 65535u, 65536u, 0xFFFFFFFFu}) {
    try {
      WindowsVersionLevelFrom(1, 2, major, 0);
      ADD_FAILURE() << major;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.description(), "Desbordamiento");
      EXPECT_EQ(failure.source(), kToolSource);
    }
  }
}

}  // namespace
}  // namespace velmaris
