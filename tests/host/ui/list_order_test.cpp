// SPDX-License-Identifier: GPL-3.0-or-later
// The order of sorted lists: collation, not bytes.

#include <gtest/gtest.h>

#include <thread>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "ui_fixture.h"

using namespace host::ui;

namespace {

class frmSorted : public Form {
 public:
  frmSorted() : Form("frmSorted") {
    lstNames.SetSorted(true);
    cboNames.SetSorted(true);
  }
  ListBox lstNames{*this, "lstNames", nullptr};
  ComboBox cboNames{*this, "cboNames", nullptr};
};

using Names = std::vector<std::string>;

}  // namespace

TEST(ListOrder, CollationAtSecondaryStrength) {
  EXPECT_LT(CompareListItems("Émile St", "Zebra St"), 0);
  EXPECT_LT(CompareListItems("Émile St", "Ferry Rd"), 0);  // among the E's
  EXPECT_EQ(CompareListItems("MAIN ST", "main st"), 0);     // case does not count
  EXPECT_LT(CompareListItems("Emile", "Émile"), 0);         // the accent does, after the letters
  EXPECT_LT(CompareListItems("_Spur", "Alder"), 0);         // punctuation before letters
  EXPECT_LT(CompareListItems("Alder", "Alder Ct"), 0);
  EXPECT_LT(CompareListItems("10th Ave", "9th Ave"), 0);    // digits one at a time, as before
  EXPECT_GT(CompareListItems("Zebra St", "Émile St"), 0);
  // Bytes that are not UTF-8 still get an order.
  EXPECT_NE(CompareListItems("a\xff", "b"), 0);
  // Every thread has its own collator.
  int other = 1;
  std::thread t([&] { other = CompareListItems("Émile St", "Zebra St"); });
  t.join();
  EXPECT_LT(other, 0);
}

class SortedLists : public UiTest {};

TEST_F(SortedLists, ListAndComboKeepCollationOrderAndEqualsInTheOrderAdded) {
  frmSorted f;
  for (const char* name : {"Zebra St", "Émile St", "elm st", "_Spur", "Elm St", "Eagle Way", "ELM ST"}) {
    f.lstNames.AddItem(name);
    f.cboNames.AddItem(name);
  }
  const Names expected{"_Spur", "Eagle Way", "elm st", "Elm St", "ELM ST", "Émile St", "Zebra St"};
  EXPECT_EQ(f.lstNames.Items(), expected);
  EXPECT_EQ(f.cboNames.Items(), expected);
  // Finding an item stays as it was: exact, or folding A to Z only.
  EXPECT_EQ(f.lstNames.FindItem("ELM ST", false), 4);
  EXPECT_EQ(f.lstNames.FindItem("émile st", true), -1);
  EXPECT_EQ(f.lstNames.FindItem("Émile ST", true), 5);
}
