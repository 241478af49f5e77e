#include "cport/enum_set.h"

#include <gtest/gtest.h>

#include "cport/cport_types.h"

namespace {

TEST(EnumSet, MembersMapToTheirOrdinalBits) {
  EXPECT_EQ((TComEvents{evRxChar, evTxEmpty}.bits()), 0x0003);
  EXPECT_EQ(TComEvents{evRx80Full}.bits(), 0x0200);
  EXPECT_EQ(TComErrors{ceTxFull}.bits(), 0x80);
  EXPECT_EQ((TStoredProps{spBasic, spOthers}.bits()), 0x21);
  EXPECT_EQ(corvane::kAllComEvents.bits(), 0x03FF);
  EXPECT_EQ(corvane::kAllComEvents.size(), 10);
}

TEST(EnumSet, InsertEraseAndContains) {
  TComErrors s;
  EXPECT_TRUE(s.empty());
  s.insert(ceBreak).insert(ceFrame);
  EXPECT_TRUE(s.contains(ceBreak));
  EXPECT_TRUE(s.contains(ceFrame));
  EXPECT_FALSE(s.contains(ceIO));
  s.erase(ceBreak);
  EXPECT_EQ(s, TComErrors{ceFrame});
  s.erase(ceBreak);
  EXPECT_EQ(s.size(), 1);
}

TEST(EnumSet, SetAlgebra) {
  const TComModemSignals a{msCTS, msDSR};
  const TComModemSignals b{msDSR, msRLSD};
  EXPECT_EQ(a | b, (TComModemSignals{msCTS, msDSR, msRLSD}));
  EXPECT_EQ(a & b, TComModemSignals{msDSR});
  EXPECT_EQ(a - b, TComModemSignals{msCTS});
  EXPECT_NE(a, b);
}

TEST(CportTypes, WidthsAndOrdinalsAreFixed) {
  static_assert(sizeof(TBaudRate) == 1 && sizeof(TComExceptions) == 1);
  static_assert(sizeof(TComEvents) == 2 && sizeof(TComErrors) == 1 && sizeof(TStoredProps) == 1);
  EXPECT_EQ(br256000, 15);
  EXPECT_EQ(CEPortNotOpen, 23);
  EXPECT_EQ(CE_HasLink, 21);
  EXPECT_EQ(fcCustom, 3);
  EXPECT_EQ(rtsToggle, 3);
  EXPECT_EQ(corvane::kBaudRateBits[br14400], 14400);
  EXPECT_EQ(corvane::kBaudRateBits[brCustom], 0);
}

}  // namespace
