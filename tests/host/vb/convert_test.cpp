// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <limits>

#include "host/vb/convert.h"
#include "host/vb/error.h"
#include "host/vb/text.h"

using namespace host::vb;

namespace {
int error_number(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}
}  // namespace

TEST(Convert, RoundsHalfToEven) {
  EXPECT_EQ(CInt(2.5), 2);
  EXPECT_EQ(CInt(3.5), 4);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(0.5), 0);
  EXPECT_EQ(CInt(1.5), 2);
  EXPECT_EQ(CLng(2.4999), 2);
  EXPECT_EQ(CLng(1e9 + 0.5), 1000000000);
}

TEST(Convert, IntegerRangesOverflow) {
  EXPECT_EQ(CInt(32767.0), 32767);
  EXPECT_EQ(CInt(-32768.0), -32768);
  EXPECT_EQ(error_number([] { CInt(32768.0); }), err::Overflow);
  EXPECT_EQ(error_number([] { CInt(-32769.0); }), err::Overflow);
  EXPECT_EQ(CInt(32767.4), 32767);
  EXPECT_EQ(error_number([] { CInt(32767.5); }), err::Overflow);  // rounds to 32768
  EXPECT_EQ(CLng(2147483647.0), 2147483647);
  EXPECT_EQ(error_number([] { CLng(2147483648.0); }), err::Overflow);
  EXPECT_EQ(error_number([] { CInt(std::string("40000")); }), err::Overflow);
}

TEST(Convert, TextToNumber) {
  EXPECT_DOUBLE_EQ(CDbl("1e3"), 1000);
  EXPECT_DOUBLE_EQ(CDbl(" 12 "), 12);
  EXPECT_DOUBLE_EQ(CDbl("-.5"), -0.5);
  EXPECT_DOUBLE_EQ(CDbl("+7."), 7);
  EXPECT_DOUBLE_EQ(CDbl("2.5E-2"), 0.025);
  EXPECT_EQ(error_number([] { CDbl("1,5"); }), err::TypeMismatch);
  EXPECT_EQ(error_number([] { CDbl("abc"); }), err::TypeMismatch);
  EXPECT_EQ(error_number([] { CDbl(""); }), err::TypeMismatch);
  EXPECT_EQ(error_number([] { CDbl("."); }), err::TypeMismatch);
  EXPECT_EQ(error_number([] { CDbl("-"); }), err::TypeMismatch);
  EXPECT_EQ(error_number([] { CDbl("1e"); }), err::TypeMismatch);
  EXPECT_EQ(error_number([] { CDbl("1 2"); }), err::TypeMismatch);
  EXPECT_EQ(error_number([] { CDbl("1e999"); }), err::Overflow);
}

TEST(Convert, IsNumeric) {
  for (const char* yes : {"1e3", " 12 ", "-.5", "0", "007", "3.", "1E+15", "1e308", "1e-999"})
    EXPECT_TRUE(IsNumeric(yes)) << yes;
  for (const char* no : {"1,5", "abc", "", " ", ".", "-", "12a", "--1", "1e+"}) EXPECT_FALSE(IsNumeric(no)) << no;
  // Too large for a Double: not a number, so a caller that tests first never meets Overflow.
  for (const char* too_large : {"1e999", "-1e999", "1e309"}) {
    EXPECT_FALSE(IsNumeric(too_large)) << too_large;
    EXPECT_EQ(error_number([=] { CDbl(too_large); }), err::Overflow) << too_large;
  }
}

TEST(Convert, GroupedThousands) {
  EXPECT_DOUBLE_EQ(CDblGrouped("1,000.5"), 1000.5);
  EXPECT_DOUBLE_EQ(CDblGrouped("-12,345"), -12345);
  EXPECT_DOUBLE_EQ(CDblGrouped(" +1,234,567 "), 1234567);
  EXPECT_DOUBLE_EQ(CDblGrouped("999,999.25e1"), 9999992.5);
  EXPECT_DOUBLE_EQ(CDblGrouped("1000"), 1000);  // without separators as CDbl
  EXPECT_DOUBLE_EQ(CDblGrouped("-.5"), -0.5);
  for (const char* bad : {"1,00", ",5", "1,", "1,0000", "1234,567", "1,,000", "1.000,5", "1,000.000,5", "-,100",
                          "1,000,00", "", "abc"})
    EXPECT_EQ(error_number([=] { CDblGrouped(bad); }), err::TypeMismatch) << bad;
  EXPECT_EQ(error_number([] { CDblGrouped("1,000e999"); }), err::Overflow);
  // Every other conversion keeps refusing the separator.
  EXPECT_EQ(error_number([] { CDbl("1,000"); }), err::TypeMismatch);
  EXPECT_FALSE(IsNumeric("1,000"));
}

TEST(Convert, BooleanText) {
  EXPECT_TRUE(CBool("TRUE"));
  EXPECT_TRUE(CBool("true"));
  EXPECT_FALSE(CBool("False"));
  EXPECT_TRUE(CBool("-1"));
  EXPECT_FALSE(CBool("0"));
  EXPECT_EQ(error_number([] { CBool("NULL"); }), err::TypeMismatch);
  EXPECT_EQ(CStr(true), "True");
}

TEST(Convert, NumberToTextKeepsFifteenDigits) {
  EXPECT_EQ(CStr(25000.0), "25000");
  EXPECT_EQ(CStr(0.5), "0.5");
  EXPECT_EQ(CStr(-0.25), "-0.25");
  EXPECT_EQ(CStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(CStr(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(CStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(CStr(1e15), "1E+15");
  EXPECT_EQ(CStr(1234.5678), "1234.5678");
  EXPECT_EQ(CStr(0.0001), "0.0001");
  EXPECT_EQ(CStr(0.00001), "1E-05");
  EXPECT_EQ(CStr(-0.0), "0");
  EXPECT_EQ(CStr(int64_t(-42)), "-42");
  // An infinite value never reaches text: it overflowed where it was made.
  EXPECT_EQ(error_number([] { CStr(1e308 * 10); }), err::Overflow);
  EXPECT_EQ(error_number([] { CStr(-std::numeric_limits<double>::infinity()); }), err::Overflow);
}

TEST(Text, TrimAndCase) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");  // only spaces are blanks
  EXPECT_EQ(LTrim("  x "), "x ");
  EXPECT_EQ(RTrim("  x "), "  x");
  EXPECT_EQ(UCase("MbDate1"), "MBDATE1");
  EXPECT_TRUE(SameText("mb_label", "MB_Label"));
  EXPECT_FALSE(SameText("MB_Label", "MB_Labels"));
  EXPECT_LT(CompareText("apple", "Banana"), 0);
  EXPECT_TRUE(StartsWithText("Bridge St", "b"));
  EXPECT_EQ(Replace("O'Brien's", "'", "''"), "O''Brien''s");
  EXPECT_EQ(Split("a;;b", ";"), (std::vector<std::string>{"a", "", "b"}));
}
