// SPDX-License-Identifier: GPL-3.0-or-later
// Kills the PDF join while it replaces Combined.pdf. The host starts the toolkit as a
// program of its own that outlives it, so the toolkit is started here as the host
// starts it and killed itself.

#include "kill_fixture.h"

namespace fs = std::filesystem;
using namespace kill_testing;
using testing_support::ReadFile;
using testing_support::ShellQuote;

namespace {

// The toolkit on the folder as the export run starts it; killed after killAfter when
// given. Its exit status, or -1 when a signal ended it.
int Join(const std::vector<std::string>& env, std::optional<std::chrono::microseconds> killAfter = {}) {
  return Spawn({ZELVANE_PDFTK, "C:\\out\\*.pdf", "cat", "output", "C:\\out\\Combined.pdf"}, env, "/dev/null",
               "/dev/null", killAfter);
}

int PageCount(const fs::path& file) {
  auto r = testing_support::RunCommand("qpdf --show-npages " + ShellQuote(file.string()));
  return r.status == 0 ? std::atoi(r.out.c_str()) : -1;
}

}  // namespace

TEST_F(Kill, JoinReplace) {
  // The pages of one export, and many more of them, so that the join takes a while.
  ASSERT_EQ(Play("click frmMain.btnExport\nclose frmMain\n"), 0) << ReadFile(dir_ / "err.txt");
  Settle();
  ASSERT_EQ(PageCount(out() / "Combined.pdf"), 6);
  for (int i = 0; i < 150; ++i)
    fs::copy_file(out() / ("MapbookA" + std::to_string(i % 3 + 1) + ".pdf"),
                  out() / ("Sheet" + std::to_string(100 + i) + ".pdf"));
  // Two joins to alternate between: with and without one more page.
  const fs::path extra = out() / "Sheet999.pdf";
  fs::copy_file(out() / "MapbookB1.pdf", extra);
  const int more = 157, fewer = 156;

  auto start = Clock::now();
  ASSERT_EQ(Join(env_), 0);
  auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  ASSERT_EQ(PageCount(out() / "Combined.pdf"), more);
  const std::set<std::string> expected = Listing(out());

  const int seed = EnvNumber("ZELVANE_KILL_SEED", 20261207);
  const int kills = EnvNumber("ZELVANE_KILL_COUNT", 20);
  std::mt19937 rng(uint32_t(seed) ^ uint32_t(std::hash<std::string>{}("join replace")));
  // Past the whole run too, so that some joins get to rename their file into place.
  std::uniform_int_distribution<int64_t> moment(0, whole.count() * 3 / 2);
  int broken = 0, kept = 0, leftovers = 0;
  std::ostringstream report;
  for (int i = 0; i < kills; ++i) {
    const bool with_extra = i % 2 == 1;
    if (with_extra)
      fs::copy_file(out() / "MapbookB1.pdf", extra, fs::copy_options::overwrite_existing);
    else
      fs::remove(extra);
    const std::string old = ReadFile(out() / "Combined.pdf");
    auto after = std::chrono::microseconds(moment(rng));
    Join(env_, after);
    std::string fault;
    const fs::path combined = out() / "Combined.pdf";
    for (const std::string& n : Listing(out())) leftovers += n.find("Combined") != std::string::npos && n != "Combined.pdf";
    if (!fs::exists(combined)) {
      fault = "Combined.pdf is missing";
    } else if (ReadFile(combined) == old) {
      ++kept;
    } else {
      if (testing_support::RunCommand("qpdf --check " + ShellQuote(combined.string())).status != 0)
        fault = "Combined.pdf fails qpdf --check";
      else if (int pages = PageCount(combined); pages != (with_extra ? more : fewer))
        fault = "Combined.pdf has " + std::to_string(pages) + " pages";
    }
    if (!fault.empty()) {
      ++broken;
      report << "  kill " << i << " at " << after.count() / 1000.0 << " ms: " << fault << "\n";
      Join(env_);
    }
  }
  fs::copy_file(out() / "MapbookB1.pdf", extra, fs::copy_options::overwrite_existing);
  ASSERT_EQ(Join(env_), 0);
  EXPECT_EQ(PageCount(out() / "Combined.pdf"), more);
  std::set<std::string> extra_names;
  for (const std::string& n : Listing(out()))
    if (!expected.count(n)) extra_names.insert(n);
  std::cout << "[ kill     ] join replace: " << broken << " of " << kills << " kills broke Combined.pdf, " << kept
            << " kept the old one, " << leftovers << " left a temporary file (seed " << seed << ", whole join "
            << whole.count() / 1000 << " ms)\n";
  EXPECT_EQ(broken, 0) << "seed " << seed << ":\n" << report.str();
  EXPECT_TRUE(extra_names.empty()) << "left after a whole join: " << Joined(extra_names);
}
