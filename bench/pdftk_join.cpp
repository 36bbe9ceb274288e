// SPDX-License-Identifier: GPL-3.0-or-later
// The export run's join: pdftk joining 10, 100 and 1,000 one-page PDFs of 60 to 85 kB
// (a map page's streets, blocks and labels drawn by cairo), each set through a pattern
// as the run gives it. Prints the wall time and the peak resident memory of the pdftk
// process, for the built pdftk and, with --old, for another build of it beside.
//
//   build/bench/bench_pdftk_join [--old PATH] [--pages 1000]

#include <cairo-pdf.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// A map page: a street grid bent a little, filled blocks, and a label per block, in
// two fonts; each page drawn from its own seed so that no two pages are alike.
void WritePage(const fs::path& file, int page) {
  std::mt19937 rng(static_cast<unsigned>(page) * 7919u + 1u);
  std::uniform_real_distribution<double> jitter(-3.0, 3.0);
  cairo_surface_t* s = cairo_pdf_surface_create(file.c_str(), 792, 612);
  cairo_t* cr = cairo_create(s);
  cairo_set_line_width(cr, 0.6);
  for (int row = 0; row < 40; ++row)
    for (int col = 0; col < 50; ++col) {
      double x = 20 + col * 15, y = 20 + row * 14;
      cairo_move_to(cr, x + jitter(rng), y + jitter(rng));
      for (int k = 0; k < 3; ++k)
        cairo_line_to(cr, x + 10 * (k == 0 || k == 1) + jitter(rng), y + 10 * (k > 0) + jitter(rng));
      cairo_close_path(cr);
      cairo_set_source_rgb(cr, 0.85, 0.9 - 0.002 * row, 0.8);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
      cairo_stroke(cr);
    }
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (int label = 0; label < 220; ++label) {
    cairo_select_font_face(cr, label % 2 ? "Liberation Serif" : "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 6 + label % 5);
    cairo_move_to(cr, 20 + (label * 37) % 740, 30 + (label * 53) % 560);
    cairo_show_text(cr, ("Street " + std::to_string(page * 1000 + label)).c_str());
  }
  cairo_move_to(cr, 30, 600);
  cairo_set_font_size(cr, 14);
  cairo_show_text(cr, ("Map page " + std::to_string(page)).c_str());
  cairo_destroy(cr);
  cairo_surface_destroy(s);
}

struct Run {
  double seconds = 0;
  double peak_mb = 0;
  int status = -1;
};

// The program run as a child; its own peak from wait4.
Run Join(const std::string& program, const fs::path& folder, const fs::path& output) {
  std::vector<std::string> args = {program, (folder / "*.pdf").string(), "cat", "output", output.string()};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Run run;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peak_mb = usage.ru_maxrss / 1024.0;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string PageCount(const fs::path& pdf) {
  std::string cmd = "qpdf --show-npages '" + pdf.string() + "' 2>&1";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, p)) out += line;
    pclose(p);
  }
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string old_program;
  int most = 1000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--old") == 0) old_program = argv[i + 1];
    if (std::strcmp(argv[i], "--pages") == 0) most = std::atoi(argv[i + 1]);
  }
  bench_support::Scratch scratch;
  const fs::path pages = scratch.dir / "pages";
  fs::create_directories(pages);
  // The pages are drawn on four threads; each set links the first n of them.
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&, w] {
      for (int page = 1 + w; page <= most; page += 4) {
        char name[32];
        std::snprintf(name, sizeof name, "Mapbook%04d.pdf", page);
        WritePage(pages / name, page);
      }
    });
  for (std::thread& t : workers) t.join();
  uintmax_t bytes = 0;
  for (const auto& e : fs::directory_iterator(pages)) bytes += e.file_size();
  std::printf("bench_pdftk_join: %d pages of %.1f kB on average, %u cores\n", most, bytes / 1024.0 / most,
              std::thread::hardware_concurrency());
  std::printf("%-6s %6s %9s %10s %10s %s\n", "pdftk", "pages", "wall s", "peak MB", "output MB", "pages read back");

  std::vector<std::pair<std::string, std::string>> programs = {{"new", ZELVANE_PDFTK_EXE}};
  if (!old_program.empty()) programs.push_back({"old", old_program});
  for (int count : {10, 100, 1000}) {
    if (count > most) break;
    const fs::path set = scratch.dir / std::to_string(count);
    fs::create_directories(set);
    for (int page = 1; page <= count; ++page) {
      char name[32];
      std::snprintf(name, sizeof name, "Mapbook%04d.pdf", page);
      fs::create_hard_link(pages / name, set / name);
    }
    for (const auto& [label, program] : programs) {
      const fs::path out = scratch.dir / ("Combined-" + label + ".pdf");
      Run run = Join(program, set, out);
      std::printf("%-6s %6d %9.2f %10.1f %10.1f %s%s\n", label.c_str(), count, run.seconds, run.peak_mb,
                  run.status == 0 ? fs::file_size(out) / 1048576.0 : 0.0, PageCount(out).c_str(),
                  run.status == 0 ? "" : " (failed)");
      std::fflush(stdout);
      fs::remove(out);
    }
  }
  return 0;
}
