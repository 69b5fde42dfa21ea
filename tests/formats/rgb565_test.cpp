#include <gtest/gtest.h>

#include "formats/rgb565.h"

namespace {

// One table for the three packers: the channel form, and the two word
// orders of the same colour, which must agree with it and never with each
// other's order.
TEST(Rgb565, PackersAgreeOnChannelsAndKeepRedAndBlueApart) {
  struct Case {
    uint32_t r, g, b;
    uint16_t value;
  };
  const Case cases[] = {
      {255, 0, 0, 0xF800},     {0, 255, 0, 0x07E0},        {0, 0, 255, 0x001F},
      {255, 255, 255, 0xFFFF}, {7, 3, 7, 0x0000},          {8, 4, 8, 0x0821},
      {255, 128, 0, 0xFC00},   {0xCC, 0xCC, 0xCC, 0xCE79}, {0x12, 0x34, 0x56, 0x11AA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
    EXPECT_EQ(PackRgb565(c.r, c.g, c.b), c.value);
    EXPECT_EQ(Rgb565FromRgb(c.r << 16 | c.g << 8 | c.b), c.value);
    EXPECT_EQ(Rgb565FromBgr(c.b << 16 | c.g << 8 | c.r), c.value);
  }
  // The high byte of either word is not a channel.
  EXPECT_EQ(Rgb565FromRgb(0xFF000000u), 0);
  EXPECT_EQ(Rgb565FromBgr(0xFF000000u), 0);
  // Pure red in each order lands in the other order's blue.
  EXPECT_EQ(Rgb565FromRgb(0x0000FF), 0x001F);
  EXPECT_EQ(Rgb565FromBgr(0x0000FF), 0xF800);
}

}  // namespace
