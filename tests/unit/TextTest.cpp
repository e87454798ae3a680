#include <gtest/gtest.h>

#include "app/Text.h"

namespace qrb {

TEST(Text, HexIsUpperCaseWithoutLeadingZeros) {
  EXPECT_EQ(Hex(0), "0");
  EXPECT_EQ(Hex(0x04), "4");
  EXPECT_EQ(Hex(0x2E), "2E");
  EXPECT_EQ(Hex(0x10000), "10000");
  EXPECT_EQ(Hex(-1), "FFFFFFFF");
}

TEST(Text, DecimalHasNoBlankAndKeepsTheSign) {
  EXPECT_EQ(Dec(0), "0");
  EXPECT_EQ(Dec(10001), "10001");
  EXPECT_EQ(Dec(-5), "-5");
}

}  // namespace qrb
