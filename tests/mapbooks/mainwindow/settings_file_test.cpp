// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

std::string lines(const std::vector<std::string>& values) {
  std::string s;
  for (const auto& v : values) s += "\"" + v + "\"\r\n";
  return s;
}

const std::string kGrids = "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Grids";
const std::string kExport = "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Export";

// A config as a user's earlier session left it, with the given items changed.
std::vector<std::string> saved_config(std::initializer_list<std::pair<int, std::string>> changes) {
  std::vector<std::string> v = {"", kGrids, kExport, "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                                "FALSE", "1", "0", "FALSE", "TRUE", "JPG", "300", "Mapbook", "TRUE", "FALSE",
                                "1", kExport + "\\", "FALSE", "1", "0", "FALSE", "TRUE", "cboPrintQueryField",
                                "0", "0", "0", "0", "TRUE", "FALSE", "", "TRUE", "FALSE", "10000", "FALSE", "0",
                                "0", "0", "0", "NULL", "NULL"};
  for (const auto& [item, value] : changes) v[size_t(item - 1)] = value;
  return v;
}

class SettingsFile : public ProgramTest {
 protected:
  void WriteConfig(const std::vector<std::string>& values) {
    std::filesystem::create_directories(ProgramFolder());
    WriteFile(ProgramFolder() / "config", lines(values));
  }
  void AddMaps() {
    doc().AddMap(std::make_shared<host::carto::Map>("Inset"));
    doc().AddMap(std::make_shared<host::carto::Map>("Overview"));
  }
};

}  // namespace

TEST_F(SettingsFile, ClosingTheWindowAfterTheFirstClickWritesTheDesignValues) {
  StartProgram();
  EXPECT_EQ(main().txtDir.Text(), kExport + "\\");
  main().Unload();
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), lines(saved_config({})));
}

TEST_F(SettingsFile, InitMainTwiceDoesNotDoubleTheLists) {
  AddMaps();
  StartProgram();
  main().InitMain();
  EXPECT_EQ(main().lstDataFrames.Items(), (std::vector<std::string>{"Layers", "Inset", "Overview"}));
  EXPECT_EQ(main().cboDataFrames.Items(), main().lstDataFrames.Items());
  EXPECT_EQ(main().cboDataFrames.Text(), "Layers");
}

TEST_F(SettingsFile, APrimaryFrameIsShownEvenWhileItem10IsNull) {
  AddMaps();
  auto v = saved_config({{9, "Inset"}, {10, "NULL"}});
  v[42] = "Overview";
  WriteConfig(v);
  command.OnCreate(*app);
  command.OnClick();
  EXPECT_EQ(State().PrimaryDataFrameIndex, 1);
  EXPECT_EQ(main().cboDataFrames.Text(), "Inset");
  // The saved rows are not restored; only the primary frame's row is selected.
  EXPECT_EQ(main().lstDataFrames.PrintValue(), "[ ] Layers; [x] Inset; [ ] Overview");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(SettingsFile, SavedRowsAndValuesComeBackAtTheNextOpening) {
  AddMaps();
  auto v = saved_config({{9, "Overview"}, {16, "150"}, {41, "25.5"}});
  v[42] = "Layers";
  v[43] = "Overview";
  v.push_back("Nowhere");
  WriteConfig(v);
  command.OnCreate(*app);
  command.OnClick();
  EXPECT_EQ(main().lstDataFrames.PrintValue(), "[x] Layers; [ ] Inset; [x] Overview");
  EXPECT_EQ(main().txtRes.Text(), "150");
  EXPECT_EQ(main().txtXDiff.Text(), "25.5");
  EXPECT_EQ(State().Config.DataFramesToZoom, (std::vector<std::string>{"Layers", "Overview", "Nowhere", ""}));
}

TEST_F(SettingsFile, AFlagThatDoesNotConvertEndsTheLoadInTheReport) {
  WriteConfig(saved_config({{10, "FALSE"}, {11, "NULL"}, {16, "600"}}));
  command.OnCreate(*app);
  Answer(host::ui::vbOK);
  command.OnClick();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("ERROR NUMBER: 13\r\nMODULE: InitMain frmMain \r\n"), std::string::npos);
  EXPECT_EQ(main().txtRes.Text(), "300");  // the items after it keep their design values
  EXPECT_TRUE(main().Visible());
}

TEST_F(SettingsFile, ALockedConfigIsRefusedWithTheReportAndAWritableOneKeepsItsMode) {
  WriteConfig(saved_config({{16, "600"}}));
  const std::filesystem::path config = ProgramFolder() / "config";
  const std::string locked = ReadFile(config);
  ::chmod(config.c_str(), 0440);
  command.OnCreate(*app);
  command.OnClick();
  main().txtRes.SetText("150");
  Answer(host::ui::vbOK);  // the delete's refusal
  Answer(host::ui::vbOK);  // the write that follows it
  main().Unload();
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_NE(Boxes()[0].text.find("ERROR NUMBER: 70\r\nMODULE: fDeleteFile ZelvaneGIS_IO \r\n"), std::string::npos);
  EXPECT_NE(Boxes()[1].text.find("ERROR NUMBER: 70\r\nMODULE: Form_Unload frmMain \r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(config), locked);
  struct stat st {};
  ASSERT_EQ(::stat(config.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0440u);

  ::chmod(config.c_str(), 0600);
  command.OnClick();
  main().txtRes.SetText("150");
  main().Unload();
  EXPECT_NE(ReadFile(config).find("\"150\""), std::string::npos);
  ASSERT_EQ(::stat(config.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsFile, WithoutAProgramFolderNothingIsWrittenInTheCurrentFolder) {
  testing_support::TempDir cwd;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(cwd.path());
  StartProgram();
  State().ConfigPath.clear();
  Answer(host::ui::vbOK);
  main().Unload();
  std::filesystem::current_path(before);
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 76\r\nMODULE: Form_Unload frmMain"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(cwd.path()));
}

TEST_F(SettingsFile, ALongConfigIsNeverToppedUp) {
  // Past 32,767 values a 16-bit count wraps negative and the defaults were appended at every start.
  auto v = saved_config({{16, "150"}});
  v.resize(40000, "NULL");
  WriteConfig(v);
  const std::string before = ReadFile(ProgramFolder() / "config");
  command.OnCreate(*app);
  command.OnClick();
  command.OnClick();
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), before);
  EXPECT_FALSE(State().ConfigCreated);
  EXPECT_EQ(main().txtRes.Text(), "150");
}
