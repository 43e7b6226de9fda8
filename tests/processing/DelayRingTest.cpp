#include "processing/DelayRing.h"

#include <gtest/gtest.h>

#include "core/Exceptions.h"

namespace tardivox {
namespace {

// The delay line's tests drive the ring through real pins (worked example, randomised
// comparison with a plain queue); here only what cannot be reached through the component.
TEST(DelayRing, RefusesAStoreAboveTheLimitAndIsLeftUnbuilt) {
  TALDelayRing ring;
  ring.Reset(8, 4, 0);
  EXPECT_THROW(ring.Reset(0xFFFFFFFFu, 8, 0), EOutOfMemory);
  EXPECT_FALSE(ring.Built());
  ring.Reset(3, 1, 127);  // usable again afterwards
  ASSERT_TRUE(ring.Built());
  const uint8_t input[4] = {1, 2, 3, 4};
  uint8_t output[4] = {};
  ring.Process(input, output, 4);
  EXPECT_EQ(output[0], 127);
  EXPECT_EQ(output[3], 1);
}

}  // namespace
}  // namespace tardivox
