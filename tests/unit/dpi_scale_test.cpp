#include <gtest/gtest.h>

#include "util/dpi_scale.h"

namespace vx {
namespace {

TEST(DpiScale, LayoutLengthsScaleByDpiOver96Rounded) {
  // 696 x 313 is the client area, 12 and 16 the font heights, 1 the title's
  // shadow offset; .5 rounds away from zero, for font heights given negative.
  const struct { int dpi, length, scaled; } rows[] = {
      {96, 696, 696},   {96, 313, 313},   {96, 1, 1},      {96, -12, -12},
      {120, 696, 870},  {120, 313, 391},  {120, 12, 15},   {120, 1, 1},    {120, 102, 128}, {120, -102, -128},
      {144, 696, 1044}, {144, 313, 470},  {144, 12, 18},   {144, 1, 2},    {144, 75, 113},  {144, -25, -38},
      {192, 696, 1392}, {192, 313, 626},  {192, 16, 32},   {192, 0, 0},    {168, 25, 44},   {72, 7, 5},
  };
  for (const auto& r : rows) EXPECT_EQ(ScaleForDpi(r.length, r.dpi), r.scaled) << r.length << " at " << r.dpi;
}

}  // namespace
}  // namespace vx
