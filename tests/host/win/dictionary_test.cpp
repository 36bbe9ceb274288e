// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/win/dictionary.h"
#include "win_fixtures.h"

using host::vb::Variant;
using host::win::Dictionary;
namespace err = host::vb::err;
using Keys = std::vector<std::string>;

TEST(Dictionary, KeepsInsertionOrderAndExactKeys) {
  Dictionary d;
  d.Add("b", 2);
  d.Add("A", "upper");
  d.Add("a", "lower");
  d.Add("c", 3.5);
  EXPECT_EQ(d.Count(), 4);
  EXPECT_EQ(d.Keys(), (Keys{"b", "A", "a", "c"}));
  EXPECT_EQ(d.Items(), (std::vector<Variant>{2, "upper", "lower", 3.5}));
  EXPECT_EQ(d.Item("A"), Variant("upper"));
  EXPECT_EQ(d.Item("a"), Variant("lower"));
  EXPECT_FALSE(d.Exists("B"));

  d.Remove("A");
  d.Add("A", "again");  // a key added anew goes to the end
  EXPECT_EQ(d.Keys(), (Keys{"b", "a", "c", "A"}));
}

TEST(Dictionary, SecondAddOfAKeyFailsAndKeepsTheFirstItem) {
  Dictionary d;
  d.Add("k", 1);
  EXPECT_EQ(ERR_OF(d.Add("k", 2)), err::KeyAlreadyExists);
  EXPECT_EQ(d.Item("k"), Variant(1));
  EXPECT_EQ(d.Count(), 1);
}

TEST(Dictionary, ReadingAMissingKeyAddsItEmptyButFindDoesNot) {
  Dictionary d;
  EXPECT_EQ(d.Find("x"), nullptr);
  EXPECT_EQ(d.Count(), 0);
  EXPECT_TRUE(d.Item("x").IsEmpty());
  EXPECT_TRUE(d.Exists("x"));
  EXPECT_EQ(d.Count(), 1);
  d.Item("x") = "set";
  d.Item("y") = 7;
  ASSERT_NE(d.Find("x"), nullptr);
  EXPECT_EQ(*d.Find("x"), Variant("set"));
  EXPECT_EQ(d.Keys(), (Keys{"x", "y"}));
}

TEST(Dictionary, RemoveAndRemoveAll) {
  Dictionary d;
  EXPECT_EQ(ERR_OF(d.Remove("none")), err::InvalidCall);
  for (int i = 0; i < 1000; ++i) d.Add("k" + std::to_string(i), i);
  for (int i = 0; i < 1000; i += 2) d.Remove("k" + std::to_string(i));
  EXPECT_EQ(d.Count(), 500);
  EXPECT_EQ(d.Keys().front(), "k1");
  EXPECT_EQ(*d.Find("k999"), Variant(999));
  EXPECT_FALSE(d.Exists("k998"));
  d.RemoveAll();
  EXPECT_EQ(d.Count(), 0);
  EXPECT_FALSE(d.Exists("k1"));
  d.Add("k1", 1);  // usable after clearing
  EXPECT_EQ(d.Keys(), Keys{"k1"});
}

TEST(Dictionary, CopiesAreIndependent) {
  auto original = std::make_unique<Dictionary>();
  original->Add("a", 1);
  original->Add("b", 2);
  Dictionary copy = *original;
  copy.Item("a") = 10;
  copy.Remove("b");
  EXPECT_EQ(original->Item("a"), Variant(1));
  EXPECT_TRUE(original->Exists("b"));
  Dictionary assigned;
  assigned.Add("z", 0);
  assigned = *original;
  original.reset();  // the copies must not point into the original
  EXPECT_EQ(assigned.Keys(), (Keys{"a", "b"}));
  EXPECT_EQ(*assigned.Find("b"), Variant(2));
  EXPECT_EQ(*copy.Find("a"), Variant(10));
  Dictionary moved = std::move(assigned);
  EXPECT_EQ(*moved.Find("a"), Variant(1));
}
