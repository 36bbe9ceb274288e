// SPDX-License-Identifier: GPL-3.0-or-later
// Kills while a grid is deleted or renamed on the Grids tab: a grid that shows its .shp
// is whole, and after the next start the set is whole under one name or gone, with no
// member or temporary file left over.

#include <regex>

#include "kill_fixture.h"

namespace fs = std::filesystem;
using namespace kill_testing;
using testing_support::ReadFile;
using testing_support::ShellQuote;

namespace {

// The sets of one Grids folder, judged against the grid "base" as it was first written.
class GridSets {
 public:
  explicit GridSets(fs::path grids) : grids_(std::move(grids)) {}

  // The town's grid copied in as the set "base"; "" when it is whole.
  std::string Add(const fs::path& town) {
    for (const auto& e : fs::directory_iterator(town)) {
      const fs::path p = e.path();
      if (p.stem() != "grid") continue;
      fs::copy_file(p, grids_ / ("base" + p.extension().string()));
      extensions_.push_back(p.extension().string());
    }
    layout_ = Layout(grids_ / "base.shp");
    return layout_.find("Feature Count: 6") == std::string::npos ? "the grid is not whole: " + layout_ : "";
  }

  // What ogrinfo reports of a shapefile's rows and fields; "" when it cannot open it.
  static std::string Layout(const fs::path& shp) {
    auto r = testing_support::RunCommand("ogrinfo -ro -so -al " + ShellQuote(shp.string()));
    if (r.status != 0) return "";
    static const std::regex line(R"(^(Feature Count: \d+|\w+: (Integer|Integer64|Real|String|Date) \(.*\))$)");
    std::string out;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);)
      if (std::regex_match(l, line)) out += l + "\n";
    return out;
  }

  // The members of the set that are on disk.
  std::vector<std::string> Members(const std::string& base) const {
    std::vector<std::string> found;
    for (const std::string& ext : extensions_)
      if (fs::exists(grids_ / (base + ext))) found.push_back(base + ext);
    return found;
  }

  // "" when the set is not shown (no .shp) or is whole: every member, the rows and the fields.
  std::string VisibleWhole(const std::string& base) const {
    if (!fs::exists(grids_ / (base + ".shp"))) return "";
    if (Members(base).size() != extensions_.size()) return base + " shows with only " + Listed(Members(base));
    if (Layout(grids_ / (base + ".shp")) != layout_) return base + " is not the grid it was";
    return "";
  }

  // "" when the set is whole or entirely gone; whole tells which.
  std::string WholeOrGone(const std::string& base, bool& whole) const {
    std::vector<std::string> m = Members(base);
    whole = !m.empty();
    if (m.empty()) return "";
    if (m.size() != extensions_.size()) return base + " is left with only " + Listed(m);
    return VisibleWhole(base);
  }

  std::string Temporaries() const {
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(grids_))
      if (e.path().filename().string()[0] == '.') left.push_back(e.path().filename().string());
    return left.empty() ? "" : "temporary files left: " + Listed(left);
  }

  void Remove(const std::string& base) const {
    for (const std::string& m : Members(base)) fs::remove(grids_ / m);
  }
  void Rename(const std::string& from, const std::string& to) const {
    for (const std::string& ext : extensions_) fs::rename(grids_ / (from + ext), grids_ / (to + ext));
  }
  size_t Size() const { return extensions_.size(); }

 private:
  static std::string Listed(const std::vector<std::string>& names) {
    return Joined(std::set<std::string>(names.begin(), names.end()));
  }

  fs::path grids_;
  std::vector<std::string> extensions_;
  std::string layout_;
};

std::string first_of(std::initializer_list<std::string> faults) {
  for (const std::string& f : faults)
    if (!f.empty()) return f;
  return "";
}

}  // namespace

TEST_F(Kill, GridDelete) {
  const fs::path grids = program() / "Grids";
  GridSets sets(grids);
  ASSERT_EQ(sets.Add(dir_ / "data" / "town"), "");
  // The grid "base" duplicated as "g", and "g" deleted, again and again.
  const std::string script = Repeat(25, [](int) {
    return "pick frmMain.File1 \"base.shp\"\n"
           "click frmMain.btnDuplicate\n"
           "input \"g\"\n"
           "pick frmMain.File1 \"g.shp\"\n"
           "click frmMain.btnDeleteGrid\n";
  });
  KillLoop("grid delete", script + "close frmMain\n", grids, [&] {
    std::string fault = first_of({sets.VisibleWhole("base"), sets.VisibleWhole("g")});
    if (!fault.empty()) return fault;
    bool g = false;
    fault = first_of({StartOnce(), sets.Temporaries()});
    if (fault.empty()) fault = sets.WholeOrGone("g", g);
    if (fault.empty() && sets.Members("base").size() != sets.Size()) fault = "the duplicated grid lost a member";
    // The next run starts without "g", as a whole run leaves it.
    sets.Remove("g");
    return fault;
  });
}

TEST_F(Kill, GridRename) {
  const fs::path grids = program() / "Grids";
  GridSets sets(grids);
  ASSERT_EQ(sets.Add(dir_ / "data" / "town"), "");
  // The grid renamed from "base" to "g" and back, again and again.
  const std::string script = Repeat(25, [](int) {
    return "pick frmMain.File1 \"base.shp\"\n"
           "click frmMain.btnRename\n"
           "input \"g\"\n"
           "pick frmMain.File1 \"g.shp\"\n"
           "click frmMain.btnRename\n"
           "input \"base\"\n";
  });
  KillLoop("grid rename", script + "close frmMain\n", grids, [&] {
    std::string fault = first_of({sets.VisibleWhole("base"), sets.VisibleWhole("g")});
    if (!fault.empty()) return fault;
    bool base = false, g = false;
    fault = first_of({StartOnce(), sets.Temporaries(), sets.WholeOrGone("base", base), sets.WholeOrGone("g", g)});
    if (fault.empty() && base == g) fault = base ? "both names hold the grid" : "the grid is gone";
    // The next run starts with the grid under "base", as a whole run leaves it.
    if (fault.empty() && g) sets.Rename("g", "base");
    return fault;
  });
}
