// SPDX-License-Identifier: GPL-3.0-or-later
// Joined display tables: qualified fields, searches on either side, unmatched rows.

#include <gtest/gtest.h>

#include "geodata_testing.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

using namespace geodata_testing;
namespace vb = host::vb;
using Ids = std::vector<int64_t>;

class JoinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A 3 x 2 grid: A1 A2 A3 / B1 B2 B3, object IDs 0 to 5.
    towngen::WriteTileGrid(dir_.path().string(), "grid", gd::Envelope(0, 0, 300, 200), 3, 2);
    testing_support::WriteFile(dir_ / "owners.csv",
                               "MB_Label,OWNER,PARCELS,IDX\n"
                               "A2,Smith,3,2\n"
                               "B3,O'Neil,7,6\n"
                               "A1,Smith,1,1\n"
                               "A2,Jones,9,2\n"  // a second row for A2: the first one wins
                               "ZZ,Nobody,0,99\n");
    ws_ = gd::ShapefileWorkspace::Open(dir_.path().string());
    grid_ = ws_->OpenFeatureClass("grid");
    owners_ = ws_->OpenTable("owners.csv");
    joined_ = gd::JoinedTable::Join(grid_, "MB_Label", owners_, "mb_label");
  }

  testing_support::TempDir dir_;
  std::shared_ptr<gd::ShapefileWorkspace> ws_;
  std::shared_ptr<gd::FeatureClass> grid_;
  std::shared_ptr<gd::Table> owners_;
  std::shared_ptr<gd::JoinedTable> joined_;
};

TEST_F(JoinTest, FieldsAreQualified) {
  std::vector<std::string> names;
  for (const gd::Field& f : joined_->Fields()) names.push_back(f.Name());
  EXPECT_EQ(names, (std::vector<std::string>{"grid.FID", "grid.Shape", "grid.MB_Index", "grid.MB_Row",
                                             "grid.MB_Column", "grid.MB_Label", "owners.OID", "owners.MB_Label",
                                             "owners.OWNER", "owners.PARCELS", "owners.IDX"}));
  EXPECT_EQ(joined_->OIDFieldName(), "grid.FID");
  EXPECT_EQ(joined_->ShapeFieldName(), "grid.Shape");
  EXPECT_EQ(joined_->FindField("OWNERS.owner"), 8);
  EXPECT_EQ(joined_->FindField("OWNER"), -1);  // field lookup is by the full name
}

TEST_F(JoinTest, SearchesEitherSideAndGivesTheBaseRows) {
  EXPECT_EQ(Where(*joined_, "owners.OWNER = 'Smith'"), (Ids{0, 1}));
  EXPECT_EQ(Where(*joined_, "OWNER = 'Smith'"), (Ids{0, 1}));
  EXPECT_EQ(Where(*joined_, "owner = 'O''Neil'"), (Ids{5}));
  EXPECT_EQ(Where(*joined_, "grid.MB_Label = 'A2'"), (Ids{1}));
  EXPECT_EQ(Where(*joined_, "grid.MB_Row = 'B' AND owners.PARCELS > 5"), (Ids{5}));
  EXPECT_EQ(Where(*joined_, "OWNER IS NULL"), (Ids{2, 3, 4}));
  EXPECT_EQ(Where(*joined_, "grid.FID IN (1, 5)"), (Ids{1, 5}));
  EXPECT_EQ(Where(*joined_, "owners.OID = 0"), (Ids{1}));
  // The index on a joined field and a scan agree.
  EXPECT_EQ(Where(*joined_, "OWNER = 'Smith'"), Where(*joined_, "OWNER LIKE 'Smith'"));
  EXPECT_EQ(Where(*joined_, "PARCELS = 3"), Where(*joined_, "PARCELS BETWEEN 3 AND 3"));

  vb::Error ambiguous = ErrorOf([&] { Where(*joined_, "MB_Label = 'A1'"); });
  EXPECT_EQ(ambiguous.description(), "Ambiguous field \"MB_Label\" in where clause: \"MB_Label = 'A1'\"");
  EXPECT_EQ(ErrorOf([&] { Where(*joined_, "owners.NOPE = 1"); }).description(),
            "Unknown field \"owners.NOPE\" in where clause: \"owners.NOPE = 1\"");
}

TEST_F(JoinTest, RowsCarryBothSidesAndTheBaseShape) {
  auto rows = joined_->Search(gd::QueryFilter("grid.MB_Label = 'A2'"));
  auto row = rows.NextRow();
  ASSERT_TRUE(row);
  EXPECT_EQ(row->OID(), 1);
  EXPECT_EQ(row->Value("grid.MB_Label").AsString(), "A2");
  EXPECT_EQ(row->Value("owners.OWNER").AsString(), "Smith");  // the first A2 row
  EXPECT_EQ(row->Value("owners.PARCELS").AsLong(), 3);
  EXPECT_EQ(row->Value("owners.OID").AsLong(), 0);
  EXPECT_EQ(row->Extent(), grid_->GetFeature(1)->Extent());
  EXPECT_EQ(ErrorOf([&] { row->SetValue(8, "x"); }).number(), vb::err::InvalidCall);
  EXPECT_TRUE(joined_->GetRow(2)->Value("owners.OWNER").IsNull());
  EXPECT_EQ(joined_->RowCount(), 6);

  auto sel = joined_->Select(gd::QueryFilter("OWNER = 'Smith'"));
  EXPECT_EQ(sel.IDs(), (Ids{0, 1}));
  EXPECT_EQ(Oids(grid_->GetRows(sel.IDs())), (Ids{0, 1}));
}

TEST_F(JoinTest, NumberKeysAndChangedFiles) {
  auto byIndex = gd::JoinedTable::Join(grid_, "MB_Index", owners_, "IDX");
  EXPECT_EQ(Where(*byIndex, "owners.OWNER = 'O''Neil'"), (Ids{5}));
  // MB_Column is text, PARCELS a number: "1" meets 1, "3" meets 3.
  auto mixed = gd::JoinedTable::Join(grid_, "MB_Column", owners_, "PARCELS");
  EXPECT_EQ(Where(*mixed, "owners.OWNER = 'Smith'"), (Ids{0, 2, 3, 5}));

  testing_support::WriteFile(dir_ / "owners.csv", "MB_Label,OWNER,PARCELS,IDX\nB1,Lee,2,4\n");
  EXPECT_EQ(Where(*joined_, "OWNER = 'Lee'"), (Ids{3}));
  EXPECT_EQ(Where(*joined_, "OWNER = 'Smith'"), (Ids{}));

  EXPECT_EQ(ErrorOf([&] { gd::JoinedTable::Join(grid_, "NOPE", owners_, "IDX"); }).number(), vb::err::HostFailure);
  EXPECT_EQ(ErrorOf([&] { gd::JoinedTable::Join(joined_, "grid.FID", owners_, "IDX"); }).number(),
            vb::err::InvalidCall);
}

}  // namespace
