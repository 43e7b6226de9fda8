#include "display/Waterfall.h"

#include <gtest/gtest.h>

#include <vector>

#include "processing/RealTestSupport.h"

namespace tardivox {
namespace {

using testing::TRealSource;

TEST(WaterfallTest, FirstLineFillsColumnZero) {
  TSLWaterfall waterfall;
  TRealSource source;
  ASSERT_TRUE(source.OutputPin.ConnectTo(&waterfall.InputPin()));
  source.Start(44100);
  source.Send({0.0, 1.0, 2.0, 3.0});
  waterfall.UpdateImage();
  const QImage picture = waterfall.Image().Picture();
  ASSERT_EQ(picture.size(), QSize(512, 4));
  EXPECT_EQ(picture.pixel(0, 3) & 0xFFFFFF, 0u) << "sample 0 at the bottom, the minimum black";
  EXPECT_EQ(picture.pixel(1, 0) & 0xFFFFFF, 0u) << "background";
}

}  // namespace
}  // namespace tardivox
