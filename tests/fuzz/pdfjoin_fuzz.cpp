// SPDX-License-Identifier: GPL-3.0-or-later
// PDF bytes through the join: the input written as a PDF beside a small valid page and
// both joined, through the toolkit's own join code, into a file. A join either writes
// the whole file or refuses with its one message and leaves the earlier file and no
// temporary one; nothing else may happen.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "tools/pdftk/join.h"

namespace fs = std::filesystem;

namespace {

// One page, with a font and a content stream, as a reader takes it.
std::string SmallPage() {
  const std::string content = "BT /F1 12 Tf 20 50 Td (Page) Tj ET";
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Resources << /Font << /F1 4 0 R >> >> /Contents 5 0 R >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream"};
  std::string pdf = "%PDF-1.4\n";
  std::string xref = "xref\n0 6\n0000000000 65535 f \n";
  for (int i = 0; i < 5; ++i) {
    char line[24];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", pdf.size());
    xref += line;
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t at = pdf.size();
  return pdf + xref + "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + std::to_string(at) + "\n%%EOF\n";
}

std::string Read(const fs::path& file) {
  std::string bytes;
  if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

[[noreturn]] void Fault(const std::string& what) {
  std::fprintf(stderr, "pdfjoin: %s\n", what.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path folder = fuzz_support::Folder() / "join";
  static const bool made = [&] {
    fs::create_directories(folder);
    const std::string page = SmallPage();
    fuzz_support::WriteInput("join/page.pdf", reinterpret_cast<const uint8_t*>(page.data()), page.size());
    return true;
  }();
  (void)made;
  const std::string input = fuzz_support::WriteInput("join/input.pdf", data, size);
  const fs::path output = folder / "Combined.pdf";
  const std::string before = Read(output);
  // The input first or second, as the first byte has it.
  std::vector<pdftk::Input> inputs{{input, "input.pdf"}, {folder / "page.pdf", "page.pdf"}};
  if (size > 0 && data[0] % 2) std::swap(inputs[0], inputs[1]);
  try {
    pdftk::Join(inputs, output, "Combined.pdf");
  } catch (const pdftk::Failure& f) {
    const std::string what = f.what();
    if (what.empty() || what.find('\n') != std::string::npos) Fault("a refusal of more or less than one line: " + what);
    if (Read(output) != before) Fault("a refused join changed the earlier file: " + what);
    // Nothing here fills the disk: a fault of writing is the writer's own, e.g. a file
    // that does not read back with every page.
    if (what.rfind("cannot write", 0) == 0) Fault(what);
  }
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "page.pdf" && name != "input.pdf" && name != "Combined.pdf") Fault("left behind: " + name);
  }
  return 0;
}
