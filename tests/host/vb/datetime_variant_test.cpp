// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/vb/datetime.h"
#include "host/vb/error.h"
#include "host/vb/variant.h"

using namespace host::vb;

TEST(DateTime, SerialsAndShortTexts) {
  EXPECT_EQ(DateSerial({1899, 12, 30}), 0);
  EXPECT_EQ(DateSerial({1900, 1, 1}), 2);
  EXPECT_EQ(DateSerial({2026, 12, 7}), 46363);
  double d = DateSerial({2026, 12, 7, 15, 5, 9});
  EXPECT_EQ(DateText(d), "12/7/2026");
  EXPECT_EQ(TimeText(d), "3:05:09 PM");
  EXPECT_EQ(TimeText(DateSerial({2026, 1, 1, 0, 0, 1})), "12:00:01 AM");
  EXPECT_EQ(DateValueText(DateSerial({2026, 12, 7})), "12/7/2026");
  EXPECT_EQ(DateValueText(d), "12/7/2026 3:05:09 PM");
}

TEST(DateTime, ParsesShortAndIsoForms) {
  EXPECT_EQ(ParseDate("12/7/2026"), DateSerial({2026, 12, 7}));
  EXPECT_EQ(ParseDate("2026-12-07"), DateSerial({2026, 12, 7}));
  EXPECT_EQ(ParseDate("12/7/2026 3:05 PM"), DateSerial({2026, 12, 7, 15, 5, 0}));
  EXPECT_EQ(ParseDate("2026-12-07 15:05:09"), DateSerial({2026, 12, 7, 15, 5, 9}));
  EXPECT_FALSE(ParseDate("2/30/2026"));
  EXPECT_FALSE(ParseDate("yesterday"));
  EXPECT_FALSE(ParseDate("12/7/2026 13:00 PM"));
}

TEST(Variant, TextFormsAndNull) {
  EXPECT_EQ(CStr(Variant(int64_t(12))), "12");
  EXPECT_EQ(CStr(Variant(2.5)), "2.5");
  EXPECT_EQ(CStr(Variant("x")), "x");
  EXPECT_EQ(CStr(Variant()), "");
  EXPECT_EQ(CStr(Variant(DateValue{DateSerial({2026, 12, 7})})), "12/7/2026");
  try {
    CStr(Variant::Null());
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::InvalidUseOfNull);
    EXPECT_EQ(e.description(), "Invalid use of Null");
  }
  EXPECT_EQ(CDbl(Variant(" 3 ")), 3);
  EXPECT_EQ(CDbl(Variant(true)), -1);
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_EQ(Variant::Null(), Variant::Null());
}
