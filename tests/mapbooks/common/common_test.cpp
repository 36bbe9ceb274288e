// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "host/ui/controls.h"
#include "host/vb/error.h"
#include "mapbooks/common/ControlUtilities.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"
#include "mapbooks/common/ZelvaneGIS_Validation.h"
#include "mapbooks/common/modTolmirex.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {
class Common : public MapbooksTest {
 protected:
  void SetUp() override {
    MapbooksTest::SetUp();
    State().ProductName = "ZelvaneMapbooks";
    State().VersionText = "v2.28";
    std::filesystem::create_directories(DriveC() / "work");
  }
  void TearDown() override {
    std::filesystem::permissions(DriveC() / "work", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
    std::filesystem::remove_all(DriveC() / "work");
    MapbooksTest::TearDown();
  }
  std::filesystem::path work(const std::string& name) { return DriveC() / "work" / name; }
};
}  // namespace

TEST_F(Common, TheErrorReportShowsItsNineteenLines) {
  Answer(host::ui::vbOK);
  ErrorHandling::Guard("btnExport_Click", "frmMain", [] { host::vb::raise(13); });
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].style, host::ui::vbOKOnly);
  EXPECT_EQ(Boxes()[0].title, "");
  EXPECT_EQ(Boxes()[0].text,
            "We're sorry, an unexpected error has occurred.\r\n"
            "\r\n"
            "Please email support@zelvanegis.example and we'll\r\n"
            "be happy to help out.\r\n"
            "\r\n"
            "Please let us know the following:\r\n"
            "\r\n"
            "APPLICATION: ZelvaneMapbooks v2.28\r\n"
            "ERROR NUMBER: 13\r\n"
            "MODULE: btnExport_Click frmMain \r\n"
            "ERROR DESCRIPTION: Type mismatch\r\n"
            "\r\n"
            "If possible, please attach a screenshot of this\r\n"
            "message with your ArcMap project in the background.\r\n"
            "You can do this by pressing <CTRL> and <Prnt Screen>\r\n"
            "and then pasting the image into a graphics application\r\n"
            "such as Paint. Saving the image as a JPG is preferrable.\r\n"
            "\r\n"
            "Thank you!");
  EXPECT_EQ(ErrorHandling::ErrorLineText(0), "");
  EXPECT_EQ(ErrorHandling::ErrorLineText(120), "Line : 120");
  EXPECT_EQ(ErrorHandling::Location("InitMain", "frmMain", 120), "InitMain frmMain Line : 120");
}

TEST_F(Common, StrValidLeadingZero) {
  auto check = [](std::string in, const std::string& out) {
    std::string result = ZelvaneGIS_Validation::strValidLeadingZero(in);
    EXPECT_EQ(result, out);
    EXPECT_EQ(in, out);  // the argument changes in place too
  };
  check("007", "7");
  check("0", "");
  check("000", "");
  check("100", "100");
  check("0.5", ".5");
  check("", "");
}

TEST_F(Common, FileOperationsSilentCases) {
  WriteFile(work("a.txt"), "A");
  WriteFile(work("b.txt"), "B");
  modTolmirex::fCopyFile("C:\\work\\a.txt", "C:\\work\\b.txt");  // an existing target is never overwritten
  modTolmirex::fCopyFile("C:\\work\\missing.txt", "C:\\work\\c.txt");
  EXPECT_EQ(ReadFile(work("b.txt")), "B");
  EXPECT_FALSE(std::filesystem::exists(work("c.txt")));
  modTolmirex::fCopyFile("C:\\work\\a.txt", "C:\\work\\c.txt");
  EXPECT_EQ(ReadFile(work("c.txt")), "A");
  ZelvaneGIS_IO::fDeleteFile("C:\\work\\missing.txt");
  ZelvaneGIS_IO::fDeleteFile("C:\\work\\c.txt");
  EXPECT_FALSE(std::filesystem::exists(work("c.txt")));
  EXPECT_TRUE(ZelvaneGIS_IO::fDoesFileExist("C:\\work\\a.txt"));
  EXPECT_FALSE(ZelvaneGIS_IO::fDoesDirectoryExist("C:\\work\\a.txt"));  // a file is not a folder
  EXPECT_TRUE(ZelvaneGIS_IO::fDoesDirectoryExist("C:\\work"));
  EXPECT_TRUE(modTolmirex::fCreateDirectory("C:\\work\\new"));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Common, FileOperationsReportTheirFailures) {
  Answer(host::ui::vbOK);
  ZelvaneGIS_IO::fCreateDirectory("C:\\work\\no\\such");
  Answer(host::ui::vbOK);
  EXPECT_FALSE(modTolmirex::fCreateDirectory("C:\\work\\no\\such"));
  WriteFile(work("locked.txt"), "L");
  chmod(work("locked.txt").c_str(), 0444);
  Answer(host::ui::vbOK);
  ZelvaneGIS_IO::fDeleteFile("C:\\work\\locked.txt");
  EXPECT_TRUE(std::filesystem::exists(work("locked.txt")));
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_NE(Boxes()[0].text.find("MODULE: fCreateDirectory ZelvaneGIS_IO \r\nERROR DESCRIPTION: Path not found"),
            std::string::npos);
  EXPECT_NE(Boxes()[1].text.find("MODULE: fCreateDirectory modTolmirex \r\n"), std::string::npos);
  EXPECT_NE(Boxes()[2].text.find("ERROR NUMBER: 70\r\nMODULE: fDeleteFile ZelvaneGIS_IO "), std::string::npos);
}

TEST_F(Common, ControlUtilities) {
  using ControlUtilities::NumberToLetter;
  EXPECT_EQ(NumberToLetter(0), " ");
  EXPECT_EQ(NumberToLetter(1), "a");
  EXPECT_EQ(NumberToLetter(26), "z");
  EXPECT_EQ(NumberToLetter(27), "");
  EXPECT_EQ(NumberToLetter(-1), "");
  host::ui::Form form("frmTest");
  host::ui::ComboBox combo(form, "cboLayers", nullptr);
  host::ui::FileListBox files(form, "File1", nullptr);
  form.Load();
  combo.AddItem("Streets");
  EXPECT_TRUE(ControlUtilities::ComboContains("STREETS", combo));
  EXPECT_FALSE(ControlUtilities::ComboContains("Street", combo));
  WriteFile(work("g1.shp"), "");
  WriteFile(work("g2.shp"), "");
  files.SetPattern("*.shp");
  files.SetPath("C:\\work");
  EXPECT_EQ(ControlUtilities::GetSelectedFile(files), "");
  files.SetListIndex(1);
  EXPECT_EQ(ControlUtilities::GetSelectedFile(files), "g2.shp");
  form.Unload();
}
