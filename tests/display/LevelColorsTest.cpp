#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "display/LevelColors.h"

namespace tardivox {
namespace {

constexpr TColor Rgb(int r, int g, int b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

struct ColorCase {
  const char* what;
  double v, r;
  TColor expected;
};

TEST(LevelColorsTest, DefaultPaletteAlongTheScale) {
  const std::vector<ColorCase> cases = {
      {"lower end is black", 0, 1000, Rgb(0, 0, 0)},
      {"upper end is red-magenta", 1000, 1000, Rgb(255, 0, 128)},
      {"middle: k = 704, cyan to green", 500, 1000, Rgb(0, 255, 63)},
      {"k = 256 starts blue", 256, 1408, Rgb(0, 0, 255)},
      {"k = 511 ends the blue segment", 511, 1408, Rgb(0, 255, 255)},
      {"k = 512 starts cyan", 512, 1408, Rgb(0, 255, 255)},
      {"k = 768 starts green", 768, 1408, Rgb(0, 255, 0)},
      {"k = 1024 starts yellow", 1024, 1408, Rgb(255, 255, 0)},
      {"k = 1280 starts red", 1280, 1408, Rgb(255, 0, 0)},
      {"k = 0.5 rounds to even 0", 0.5, 1408, Rgb(0, 0, 0)},
      {"k = 1.5 rounds to even 2", 1.5, 1408, Rgb(0, 0, 2)},
      {"k = 2.5 rounds to even 2", 2.5, 1408, Rgb(0, 0, 2)},
      {"a range of 0 counts as 1", 0, 0, Rgb(0, 0, 0)},
      {"below the scale saturates at black", -300, 1000, Rgb(0, 0, 0)},
      {"above the scale saturates at the top", 5000, 1000, Rgb(255, 0, 128)},
      {"not a number takes the lower end", std::numeric_limits<double>::quiet_NaN(), 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LevelColorOf(c.v, c.r, false, {}), c.expected) << c.what;
  }
}

TEST(LevelColorsTest, GrayScaleAndStops) {
  const std::vector<TColor> blackWhite = {clBlack, clWhite};
  const std::vector<TColor> three = {Rgb(0, 0, 0), Rgb(200, 100, 0), Rgb(0, 0, 250)};
  struct Case {
    const char* what;
    double v, r;
    bool gray;
    std::vector<TColor> stops;
    TColor expected;
  };
  const std::vector<Case> cases = {
      {"two stops, a quarter up: 0 + round(255 x 0.25)", 25, 100, false, blackWhite,
       Rgb(64, 64, 64)},
      {"two stops, lower end is the first stop", 0, 100, false, blackWhite, clBlack},
      {"two stops, upper end is the last stop", 100, 100, false, blackWhite, clWhite},
      {"three stops, upper end takes the last segment", 100, 100, false, three, Rgb(0, 0, 250)},
      {"three stops, middle is the middle stop", 50, 100, false, three, Rgb(200, 100, 0)},
      {"three stops, 3/4 up", 75, 100, false, three, Rgb(100, 50, 125)},
      {"stops saturate below the scale", -10, 100, false, three, Rgb(0, 0, 0)},
      {"stops saturate above the scale", 130, 100, false, three, Rgb(0, 0, 250)},
      {"gray scale wins over stops", 50, 100, true, three, Rgb(128, 128, 128)},
      {"gray scale at the top", 100, 100, true, {}, Rgb(255, 255, 255)},
      {"gray scale saturates below", -5, 100, true, {}, Rgb(0, 0, 0)},
      {"gray scale saturates above", 500, 100, true, {}, Rgb(255, 255, 255)},
      {"a single stop is ignored", 500, 1000, false, {clRed}, Rgb(0, 255, 63)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LevelColorOf(c.v, c.r, c.gray, c.stops), c.expected) << c.what;
  }
}

TEST(LevelColorsTest, PixelFormExchangesRedAndBlue) {
  const std::vector<TColor> stops = {Rgb(10, 20, 30), Rgb(200, 100, 50)};
  for (double v : {0.0, 0.3, 0.5, 0.77, 1.0}) {
    for (bool gray : {false, true}) {
      for (const auto& s : {std::vector<TColor>{}, stops}) {
        const TColor color = LevelColorOf(v, 1.0, gray, s);
        const uint32_t pixel = LevelPixelOf(v, 1.0, gray, s);
        EXPECT_EQ(pixel & 0xFF, (color >> 16) & 0xFF) << "blue in the lowest byte, v = " << v;
        EXPECT_EQ((pixel >> 8) & 0xFF, (color >> 8) & 0xFF) << "green, v = " << v;
        EXPECT_EQ((pixel >> 16) & 0xFF, color & 0xFF) << "red in the third byte, v = " << v;
        EXPECT_EQ(pixel >> 24, 0u) << "the top byte is 0";
      }
    }
  }
  EXPECT_EQ(LevelPixelOf(1000, 1000, false, {}), 0xFF0080u) << "(255, 0, 128) as a pixel";
}

TEST(LevelColorsTest, NewStopsTakeTheLeastUsedDefaultColour) {
  int changes = 0;
  TSLLevelDisplayColors colors(nullptr, [&] { ++changes; });
  colors.Add();
  colors.Add();
  colors.Add();
  ASSERT_EQ(colors.Count(), 3);
  EXPECT_EQ(colors.Items(0).Color(), clBlack);
  EXPECT_EQ(colors.Items(1).Color(), clBlue);
  EXPECT_EQ(colors.Items(2).Color(), clLime);
  EXPECT_EQ(changes, 3) << "every new stop changes the scale";

  colors.Items(1).SetColor(clLime);  // black, lime, lime: blue is unused again
  EXPECT_EQ(changes, 4);
  colors.Items(1).SetColor(clLime);
  EXPECT_EQ(changes, 4) << "setting the same colour is no change";
  EXPECT_EQ(colors.Add().Color(), clBlue);
  colors.Delete(0);
  EXPECT_EQ(changes, 6);
  EXPECT_EQ(colors.PlainColors(), (std::vector<TColor>{clLime, clLime, clBlue}));
  colors.Clear();
  EXPECT_EQ(colors.Count(), 0);
  EXPECT_EQ(changes, 7);
}

TEST(LevelColorsTest, EveryDefaultColourIsUsedBeforeOneRepeats) {
  TSLLevelDisplayColors colors(nullptr, nullptr);
  const auto& defaults = TSLLevelDisplayColors::DefaultStopColors();
  for (size_t i = 0; i < defaults.size() + 1; ++i) colors.Add();
  // The list names aqua twice: the second aqua comes only once every colour is used once.
  EXPECT_EQ(colors.Items(5).Color(), 16776960u);
  EXPECT_EQ(colors.Items(12).Color(), 8421376u) << "aqua is already used, teal is next";
  EXPECT_EQ(colors.Items(14).Color(), clBlack) << "then the list starts again";
}

}  // namespace
}  // namespace tardivox

namespace tardivox {
namespace {

// The tabulated colours equal the colour function: exactly for the default palette and gray
// scale (every value of a fine sweep, the ends and beyond them, not-a-number), within one
// channel step for colour stops.
TEST(LevelPixelTableTest, TabulatedColoursEqualTheColourFunction) {
  const std::vector<TColor> stops = {clBlack, clRed, clYellow, clWhite};
  struct Case {
    bool gray;
    std::vector<TColor> stops;
    int tolerance;
  } cases[] = {{false, {}, 0}, {true, {}, 0}, {false, stops, 1}};
  for (const Case& c : cases) {
    TSLLevelPixelTable table;
    table.Build(c.gray, c.stops);
    for (double v = -3.0; v <= 1003.0; v += 0.0625) {
      const uint32_t expected = LevelPixelOf(v, 1000.0, c.gray, c.stops);
      const uint32_t got = table.PixelOf(v, 1000.0);
      for (int shift : {0, 8, 16}) {
        const int a = static_cast<int>((expected >> shift) & 0xFF);
        const int b = static_cast<int>((got >> shift) & 0xFF);
        ASSERT_LE(std::abs(a - b), c.tolerance) << v << " gray " << c.gray;
      }
    }
    EXPECT_EQ(table.PixelOf(std::nan(""), 1.0), LevelPixelOf(0.0, 1.0, c.gray, c.stops));
  }
}

}  // namespace
}  // namespace tardivox
