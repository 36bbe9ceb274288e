// SPDX-License-Identifier: GPL-3.0-or-later
// Where clauses on a shapefile written here: every form, the errors, and the value
// index against a plain scan.

#include <gtest/gtest.h>

#include <map>

#include "geodata_testing.h"
#include "host/vb/datetime.h"
#include "support/temp_dir.h"

namespace {

using namespace geodata_testing;
namespace vb = host::vb;
using Ids = std::vector<int64_t>;

vb::Variant Day(int y, int m, int d) { return vb::Variant(vb::DateValue{vb::DateSerial({y, m, d})}); }

class WhereTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ws_ = gd::ShapefileWorkspace::Open(dir_.path().string());
    roads_ = ws_->CreateFeatureClass("roads", {gd::Field::Shape("Shape", gd::GeometryType::Polyline),
                                               gd::Field("NAME", gd::FieldType::String, 40),
                                               gd::Field("KIND", gd::FieldType::String, 10),
                                               gd::Field("LANES", gd::FieldType::Integer),
                                               gd::Field("WIDTH", gd::FieldType::Double),
                                               gd::Field("BUILT", gd::FieldType::Date),
                                               gd::Field("CODE", gd::FieldType::String, 8)});
    struct R {
      const char* name;
      const char* kind;
      vb::Variant lanes, width, built;
      const char* code;
    };
    const vb::Variant null = vb::Variant::Null();
    const R rows[] = {
        {"Main St", "Local", 2, 10.5, Day(1990, 1, 5), "10"},          // 0
        {"MAIN ST", "Local", 4, 20.0, Day(2000, 6, 15), "9"},          // 1
        {"O'Brien Ave", "Arterial", null, 12.25, null, ""},            // 2
        {"Oak St", "local", 2, null, Day(2010, 3, 1), "010"},          // 3
        {"", "Alley", 1, 3.0, Day(1999, 12, 31), "5"},                 // 4
        {"Main St", "Arterial", 6, 30.0, Day(1990, 1, 5), "11"},       // 5
        {"Stra\xc3\x9f" "e 1", "Local", 2, 7.0, Day(2020, 2, 29), "7"},  // 6
    };
    double x = 0;
    for (const R& r : rows) {
      gd::Feature f = roads_->CreateFeature();
      f.SetValue(2, r.name);
      f.SetValue(3, r.kind);
      f.SetValue(4, r.lanes);
      f.SetValue(5, r.width);
      f.SetValue(6, r.built);
      f.SetValue(7, r.code);
      f.SetShape(gd::Geometry::MakePolyline(std::vector<gd::Point>{{x, 0}, {x + 10, 0}}));
      f.Store();
      x += 20;
    }
    // Search the files as read back, not the rows as written.
    roads_.reset();
    gd::ShapefileWorkspace::ClearCache();
    roads_ = ws_->OpenFeatureClass("roads");
  }

  testing_support::TempDir dir_;
  std::shared_ptr<gd::ShapefileWorkspace> ws_;
  std::shared_ptr<gd::FeatureClass> roads_;
};

TEST_F(WhereTest, TextComparesExactlyWithQuotesAndCase) {
  EXPECT_EQ(Where(*roads_, "NAME = 'Main St'"), (Ids{0, 5}));
  EXPECT_EQ(Where(*roads_, "NAME = 'MAIN ST'"), (Ids{1}));
  EXPECT_EQ(Where(*roads_, "NAME = 'O''Brien Ave'"), (Ids{2}));
  EXPECT_EQ(Where(*roads_, "NAME = ''"), (Ids{4}));
  EXPECT_EQ(Where(*roads_, "KIND = 'local'"), (Ids{3}));
  EXPECT_EQ(Where(*roads_, "NAME <> 'Main St'"), (Ids{1, 2, 3, 4, 6}));
  EXPECT_EQ(Where(*roads_, "NAME < 'O'"), (Ids{0, 1, 4, 5}));
}

TEST_F(WhereTest, NumbersDatesAndNulls) {
  EXPECT_EQ(Where(*roads_, "LANES = 2"), (Ids{0, 3, 6}));
  EXPECT_EQ(Where(*roads_, "LANES <> 2"), (Ids{1, 4, 5}));  // a Null is neither
  EXPECT_EQ(Where(*roads_, "LANES >= 4 AND WIDTH < 25"), (Ids{1}));
  EXPECT_EQ(Where(*roads_, "WIDTH = 12.25"), (Ids{2}));
  EXPECT_EQ(Where(*roads_, "WIDTH <= -1.5e1"), (Ids{}));
  EXPECT_EQ(Where(*roads_, "LANES IS NULL"), (Ids{2}));
  EXPECT_EQ(Where(*roads_, "WIDTH is not null"), (Ids{0, 1, 2, 4, 5, 6}));
  EXPECT_EQ(Where(*roads_, "BUILT = #1/5/1990#"), (Ids{0, 5}));
  EXPECT_EQ(Where(*roads_, "BUILT = #1990-01-05#"), (Ids{0, 5}));
  EXPECT_EQ(Where(*roads_, "BUILT = '1990-01-05'"), (Ids{0, 5}));
  EXPECT_EQ(Where(*roads_, "BUILT > #12/31/1999#"), (Ids{1, 3, 6}));
  EXPECT_EQ(Where(*roads_, "BUILT = #2/29/2020#"), (Ids{6}));
  EXPECT_EQ(Where(*roads_, "BUILT IS NULL"), (Ids{2}));
  EXPECT_EQ(Where(*roads_, "LANES BETWEEN 2 AND 4"), (Ids{0, 1, 3, 6}));
  EXPECT_EQ(Where(*roads_, "LANES NOT BETWEEN 2 AND 4"), (Ids{4, 5}));
  EXPECT_EQ(Where(*roads_, "LANES = NULL"), (Ids{}));
}

TEST_F(WhereTest, InLikeLogicAndObjectIds) {
  EXPECT_EQ(Where(*roads_, "NAME IN ('Main St', 'Oak St')"), (Ids{0, 3, 5}));
  EXPECT_EQ(Where(*roads_, "LANES NOT IN (2, 4)"), (Ids{4, 5}));
  EXPECT_EQ(Where(*roads_, "FID in (5,1,3)"), (Ids{1, 3, 5}));
  EXPECT_EQ(Where(*roads_, "FID = 4"), (Ids{4}));
  EXPECT_EQ(Where(*roads_, "FID = 99"), (Ids{}));
  EXPECT_EQ(Where(*roads_, "FID >= 5"), (Ids{5, 6}));
  EXPECT_EQ(Where(*roads_, "NAME LIKE 'Main%'"), (Ids{0, 5}));
  EXPECT_EQ(Where(*roads_, "NAME LIKE '%St'"), (Ids{0, 3, 5}));
  EXPECT_EQ(Where(*roads_, "NAME LIKE 'O_Brien Ave'"), (Ids{2}));
  EXPECT_EQ(Where(*roads_, "NAME LIKE 'Stra_e _'"), (Ids{6}));  // _ is one character, not one byte
  EXPECT_EQ(Where(*roads_, "NAME NOT LIKE '%a%'"), (Ids{1, 2, 4}));
  EXPECT_EQ(Where(*roads_, "LANES LIKE '2'"), (Ids{0, 3, 6}));
  // NOT of a Null comparison stays unknown: row 2 is in neither result.
  EXPECT_EQ(Where(*roads_, "(KIND = 'Local' OR KIND = 'Arterial') AND NOT LANES = 2"), (Ids{1, 5}));
  EXPECT_EQ(Where(*roads_, "NOT (KIND = 'Local' OR KIND = 'Arterial')"), (Ids{3, 4}));
  EXPECT_EQ(Where(*roads_, "kind = 'Local' Or NAME = 'Oak St' aNd lanes = 2"), (Ids{0, 1, 3, 6}));
}

TEST_F(WhereTest, FieldNamesIgnoreCaseAndMayBeQualifiedOrQuoted) {
  EXPECT_EQ(Where(*roads_, "name = 'Oak St'"), (Ids{3}));
  EXPECT_EQ(Where(*roads_, "roads.NAME = 'Oak St'"), (Ids{3}));
  EXPECT_EQ(Where(*roads_, "ROADS.name = 'Oak St'"), (Ids{3}));
  EXPECT_EQ(Where(*roads_, "\"NAME\" = 'Oak St'"), (Ids{3}));
  EXPECT_EQ(Where(*roads_, "[Name] = 'Oak St'"), (Ids{3}));
}

TEST_F(WhereTest, EmptyClauseSelectsEverything) {
  EXPECT_EQ(Where(*roads_, ""), (Ids{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Where(*roads_, "   "), (Ids{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Oids(roads_->Search()), (Ids{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(roads_->RowCount(), 7);
  gd::QueryFilter f("LANES = 2");
  EXPECT_EQ(roads_->FeatureCount(f), 3);
}

TEST_F(WhereTest, NumbersAgainstTextFollowTheNumbers) {
  EXPECT_EQ(Where(*roads_, "LANES = '4'"), (Ids{1}));
  EXPECT_EQ(Where(*roads_, "LANES IN ('2', ' 6 ')"), (Ids{0, 3, 5, 6}));
  EXPECT_EQ(Where(*roads_, "CODE = 10"), (Ids{0, 3}));  // "010" is 10; the blank code is Null here
  EXPECT_EQ(Where(*roads_, "CODE > 9"), (Ids{0, 3, 5}));
  EXPECT_EQ(Where(*roads_, "CODE = '10'"), (Ids{0}));  // text against text stays text
}

TEST_F(WhereTest, MismatchesFailNamingTheClause) {
  for (const char* clause : {"LANES = 'four'", "BUILT = 3", "BUILT = 'yesterday'", "NAME = 5", "LANES = #1/1/2000#"}) {
    vb::Error e = ErrorOf([&] { roads_->Search(gd::QueryFilter(clause)); });
    EXPECT_EQ(e.number(), vb::err::TypeMismatch) << clause;
    EXPECT_EQ(e.description(), std::string("Type mismatch in where clause: \"") + clause + "\"");
  }
}

TEST_F(WhereTest, InvalidClausesFailAndNeverGiveAnEmptyResult) {
  vb::Error quote = ErrorOf([&] { roads_->Search(gd::QueryFilter("NAME = 'O'Brien Ave'")); });
  EXPECT_EQ(quote.number(), vb::err::HostFailure);
  EXPECT_EQ(quote.description(), "Invalid where clause: \"NAME = 'O'Brien Ave'\"");

  vb::Error unknown = ErrorOf([&] { roads_->RowCount(gd::QueryFilter("XYZ = 1")); });
  EXPECT_EQ(unknown.number(), vb::err::HostFailure);
  EXPECT_EQ(unknown.description(), "Unknown field \"XYZ\" in where clause: \"XYZ = 1\"");
  EXPECT_EQ(ErrorOf([&] { Where(*roads_, "other.NAME = 'x'"); }).description(),
            "Unknown field \"other.NAME\" in where clause: \"other.NAME = 'x'\"");

  for (const char* clause :
       {"NAME =", "NAME = 'x' AND", "(LANES = 2", "LANES = 2)", "LANES = = 2", "LANES 2", "NAME = 'open",
        "BUILT = #13/45/2000#", "LANES IN ()", "LANES IN (1, 2", "NAME", "AND", "LANES IS 2", "LANES ! 2",
        "LANES = 2 LANES = 3", "2abc = 1", "NAME LIKE", "LANES BETWEEN 1 OR 2", "NAME = 'a' ;"}) {
    vb::Error e = ErrorOf([&] { Where(*roads_, clause); });
    EXPECT_EQ(e.description(), std::string("Invalid where clause: \"") + clause + "\"") << clause;
  }
  EXPECT_EQ(ErrorOf([&] { Where(*roads_, "Shape = 1"); }).number(), vb::err::HostFailure);
  EXPECT_EQ(Where(*roads_, "Shape IS NULL"), (Ids{}));
}

TEST_F(WhereTest, ErrorsDoNotDependOnTheRows) {
  auto empty = ws_->CreateFeatureClass("empty", {gd::Field::Shape("Shape", gd::GeometryType::Point),
                                                 gd::Field("N", gd::FieldType::Integer)});
  EXPECT_EQ(ErrorOf([&] { Where(*empty, "N = 'x'"); }).number(), vb::err::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { Where(*empty, "M = 1"); }).number(), vb::err::HostFailure);
  EXPECT_EQ(Where(*empty, "N = 1"), (Ids{}));
}

// Equality through the index must give exactly what reading every row gives.
TEST_F(WhereTest, ValueIndexAgreesWithAScan) {
  auto big = ws_->CreateFeatureClass("big", {gd::Field::Shape("Shape", gd::GeometryType::Point),
                                             gd::Field("LABEL", gd::FieldType::String, 12),
                                             gd::Field("N", gd::FieldType::Integer),
                                             gd::Field("R", gd::FieldType::Double),
                                             gd::Field("D", gd::FieldType::Date)});
  const char* labels[] = {"A1", "a1", "B2", "", "A1 ", "C3"};
  for (int i = 0; i < 600; ++i) {
    gd::Feature f = big->CreateFeature();
    f.SetValue(2, labels[(i * 7) % 6]);
    f.SetValue(3, i % 13 == 0 ? vb::Variant::Null() : vb::Variant((i * 31) % 17));
    f.SetValue(4, ((i * 11) % 9) / 4.0);
    f.SetValue(5, i % 5 == 0 ? vb::Variant::Null() : Day(2000 + i % 3, 1 + i % 12, 1 + i % 28));
    f.SetShape(gd::Geometry::MakePoint(i, i));
    f.Store();
  }
  big->Flush();

  // The expected rows from every row's own value.
  std::map<std::string, Ids> by_label;
  std::map<double, Ids> by_n, by_r, by_d;
  for (auto c = big->Search(); auto row = c.NextRow();) {
    by_label[row->Value(2).AsString()].push_back(row->OID());
    if (!row->Value(3).IsNull()) by_n[row->Value(3).AsDouble()].push_back(row->OID());
    by_r[row->Value(4).AsDouble()].push_back(row->OID());
    if (!row->Value(5).IsNull()) by_d[row->Value(5).AsDate().serial].push_back(row->OID());
  }
  for (const auto& [label, ids] : by_label) {
    EXPECT_EQ(Where(*big, "LABEL = '" + label + "'"), ids) << label;
  }
  for (const auto& [n, ids] : by_n) EXPECT_EQ(Where(*big, "N = " + vb::CStr(n)), ids);
  for (const auto& [r, ids] : by_r) EXPECT_EQ(Where(*big, "R = " + vb::CStr(r)), ids);
  for (const auto& [d, ids] : by_d) EXPECT_EQ(Where(*big, "D = #" + vb::DateText(d) + "#"), ids);
  // Index and scan parts combined: the index narrows, the rest of the clause still holds.
  Ids both;
  for (int64_t id : by_label["A1"]) {
    if (std::count(by_n[3].begin(), by_n[3].end(), id)) both.push_back(id);
  }
  EXPECT_EQ(Where(*big, "LABEL = 'A1' AND N = 3"), both);
  EXPECT_EQ(Where(*big, "LABEL = 'A1' AND N LIKE '3'"), both);
  Ids either = by_label["B2"];
  either.insert(either.end(), by_label["C3"].begin(), by_label["C3"].end());
  std::sort(either.begin(), either.end());
  EXPECT_EQ(Where(*big, "LABEL = 'B2' OR LABEL = 'C3'"), either);
  EXPECT_EQ(Where(*big, "LABEL IN ('B2', 'C3')"), either);
  EXPECT_EQ(Where(*big, "LABEL LIKE 'B2' OR LABEL LIKE 'C3'"), either);

  // Long lists, as the object IDs of a search are handed on: every third row.
  std::string list;
  Ids third;
  for (int64_t id = 0; id < 600; id += 3) {
    list += (list.empty() ? "" : ",") + std::to_string(id);
    third.push_back(id);
  }
  EXPECT_EQ(Where(*big, "FID in (" + list + ")"), third);
  Ids threes;
  for (int64_t id : by_n[3]) {
    if (id % 3 == 0) threes.push_back(id);
  }
  EXPECT_EQ(Where(*big, "N = 3 AND FID in (" + list + ")"), threes);
  EXPECT_EQ(Where(*big, "FID NOT IN (" + list + ")").size(), 400u);
  // A row stored after the index was built is found too.
  gd::Feature late = big->CreateFeature();
  late.SetValue(2, "ZZ");
  late.Store();
  EXPECT_EQ(Where(*big, "LABEL = 'ZZ'"), (Ids{600}));
}

TEST_F(WhereTest, RowsByObjectId) {
  auto row = roads_->GetRow(3);
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(row->Value("name").AsString(), "Oak St");
  EXPECT_EQ(row->Value(0).AsLong(), 3);
  EXPECT_FALSE(roads_->GetRow(7).has_value());
  EXPECT_FALSE(roads_->GetRow(-1).has_value());
  EXPECT_EQ(Oids(roads_->GetRows({5, 1, 5, 42})), (Ids{1, 5}));
}

}  // namespace

namespace {
std::string Repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * size_t(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}
}  // namespace

TEST_F(WhereTest, NestingPastTheLimitIsRefusedWithOneMessage) {
  const std::string nested_message =
      "Where clause nested more than 256 deep (parentheses and NOT): \"" + Repeat("(", 60) + "...\"";
  const std::string parens = Repeat("(", 20000) + "LANES = 2" + Repeat(")", 20000);
  EXPECT_EQ(ErrorOf([&] { Where(*roads_, parens); }).description(), nested_message);
  EXPECT_EQ(ErrorOf([&] { host::geodata::CheckWhereClause(*roads_, parens); }).description(), nested_message);
  const std::string nots = Repeat("NOT ", 50000) + "LANES = 2";
  EXPECT_EQ(ErrorOf([&] { Where(*roads_, nots); }).description(),
            "Where clause nested more than 256 deep (parentheses and NOT): \"" + Repeat("NOT ", 15) + "...\"");
  EXPECT_EQ(ErrorOf([&] { Where(*roads_, Repeat("NOT (", 129) + "LANES = 2" + Repeat(")", 129)); }).number(),
            host::vb::err::HostFailure);
  // Up to the limit a clause reads as always.
  EXPECT_EQ(Where(*roads_, Repeat("(", 256) + "LANES = 2" + Repeat(")", 256)), (Ids{0, 3, 6}));
  EXPECT_EQ(Where(*roads_, Repeat("NOT ", 256) + "LANES = 2"), (Ids{0, 3, 6}));
  EXPECT_EQ(Where(*roads_, Repeat("NOT ", 255) + "LANES = 2"), (Ids{1, 4, 5}));
}

TEST_F(WhereTest, LongChainsOfAndAndOrStayFlat) {
  std::string ands = "LANES = 2";
  for (int i = 0; i < 50000; ++i) ands += " AND WIDTH IS NOT NULL";
  EXPECT_EQ(Where(*roads_, ands), (Ids{0, 6}));
  std::string ors = "FID = 6";
  for (int i = 0; i < 50000; ++i) ors += " OR FID = " + std::to_string(i % 3);
  EXPECT_EQ(Where(*roads_, ors), (Ids{0, 1, 2, 6}));  // through the index, not a scan
  // Precedence holds within a chain: AND binds before OR, NOT before AND.
  EXPECT_EQ(Where(*roads_, "LANES = 6 OR LANES = 2 AND KIND = 'Local' OR FID = 4"), (Ids{0, 4, 5, 6}));
  EXPECT_EQ(Where(*roads_, "NOT LANES = 2 AND WIDTH > 10 AND (KIND = 'Local' OR FID = 5)"), (Ids{1, 5}));
  EXPECT_EQ(Where(*roads_, "LANES = 2 AND (FID = 0 OR FID = 3) AND FID <> 3"), (Ids{0}));
}
