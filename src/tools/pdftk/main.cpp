// SPDX-License-Identifier: GPL-3.0-or-later
// pdftk: joins PDF files into one, the part of the PDF toolkit's command line that the
// map-book export run uses:
//
//   pdftk INPUT... cat output FILE
//
// An input is a file or a pattern with * and ? in its last part ("C:\Out\*.pdf"), which
// is expanded here, in name order, as a Windows shell would leave it to the program.
// Windows paths go through the host's drive map; native paths are taken as they are.
// The output is written whole, and never read as one of its own inputs.

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/render/whole_file.h"
#include "host/vb/error.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"
#include "tools/pdftk/arguments.h"
#include "tools/pdftk/join_writer.h"

namespace fs = std::filesystem;
using namespace pdftk;

namespace {

constexpr const char* kUsage =
    "usage: pdftk INPUT... cat output FILE\n"
    "  Joins every page of the inputs, in order, into FILE.\n"
    "  An input may hold * and ? in its file name (\"out\\*.pdf\"); the matches are taken in name order.\n"
    "  Windows paths (C:\\...) and native paths are both accepted.\n";

fs::path native(const std::string& path) {
  if (path.empty()) return fs::current_path();
  if (windows_path(path)) return host::win::NativePath(path);
  return fs::path(path);
}

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code ec1, ec2;
  fs::path ca = fs::weakly_canonical(a, ec1), cb = fs::weakly_canonical(b, ec2);
  return !ec1 && !ec2 && ca == cb;
}

struct Input {
  fs::path path;
  std::string shown;  // as the command line gave it
};

std::vector<Input> expand(const std::string& pattern, const fs::path& output) {
  auto [folder_text, name] = split_last(pattern);
  fs::path folder = native(folder_text);
  std::error_code ec;
  // A folder whose name holds * or ? is taken as named; only the file name matches.
  if (has_wildcard(folder_text) && !fs::is_directory(folder, ec))
    throw Failure(2, "wildcards are only taken in the file name: " + pattern);
  if (!fs::is_directory(folder, ec)) throw Failure(1, "the folder of '" + pattern + "' does not exist");
  std::vector<Input> found;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string file = entry.path().filename().string();
    // The host's matcher: Windows rules, without regard to case, and never exponential
    // in the stars. A file still being written whole is no input.
    if (!matches(name.c_str(), file.c_str()) || host::win::IsTemporaryName(file) ||
        !entry.is_regular_file(ec))
      continue;
    if (same_file(entry.path(), output)) continue;  // an earlier output in the same folder
    found.push_back({entry.path(), folder_text + file});
  }
  std::sort(found.begin(), found.end(), [](const Input& a, const Input& b) {
    std::string la = lower(a.path.filename().string()), lb = lower(b.path.filename().string());
    return la != lb ? la < lb : a.path.filename().string() < b.path.filename().string();
  });
  if (found.empty()) throw Failure(1, "no file matches '" + pattern + "'");
  return found;
}

// An input as qpdf reads it. An encrypted input is first written out decrypted, into
// memory, by qpdf, so that its strings and streams are copied as plain as they read.
struct Source {
  std::unique_ptr<QPDF> pdf;
  std::shared_ptr<Buffer> plain;  // what pdf reads from when the input was encrypted
};

Source open_input(const fs::path& path) {
  Source source;
  source.pdf = std::make_unique<QPDF>();
  source.pdf->setSuppressWarnings(true);
  source.pdf->processFile(path.c_str());
  if (!source.pdf->isEncrypted()) return source;
  QPDFWriter decrypted(*source.pdf);
  decrypted.setOutputMemory();
  decrypted.setPreserveEncryption(false);
  decrypted.write();
  source.plain = decrypted.getBufferSharedPointer();
  auto plain = std::make_unique<QPDF>();
  plain->setSuppressWarnings(true);
  plain->processMemoryFile(path.c_str(), reinterpret_cast<const char*>(source.plain->getBuffer()),
                           source.plain->getSize());
  source.pdf = std::move(plain);
  return source;
}

// Runs step, a fault of an input's reading named with the input, one of the output's
// writing with the output.
template <class Step>
void reading(const Input& in, const std::string& output, Step step) {
  try {
    step();
  } catch (const WriteError& e) {
    throw Failure(1, "cannot write '" + output + "': " + e.what());
  } catch (const QPDFExc& e) {
    throw Failure(1, "cannot read '" + in.shown + "': " + e.getMessageDetail());
  } catch (const std::exception& e) {
    throw Failure(1, "cannot read '" + in.shown + "': " + e.what());
  }
}

template <class Step>
void writing(const std::string& output, Step step) {
  try {
    step();
  } catch (const std::exception& e) {
    throw Failure(1, "cannot write '" + output + "': " + e.what());
  }
}

int join(const Request& request) {
  const fs::path output = native(request.output);
  std::vector<Input> inputs;
  for (const std::string& in : request.inputs) {
    if (has_wildcard(in)) {
      for (Input& p : expand(in, output)) inputs.push_back(std::move(p));
      continue;
    }
    fs::path p = native(in);
    if (same_file(p, output)) throw Failure(1, "'" + in + "' is the output file; it cannot also be an input");
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) throw Failure(1, "cannot read '" + in + "': no such file");
    inputs.push_back({std::move(p), in});
  }

  // The output is written as the inputs are read, one input open at a time: a join of
  // thousands of pages holds one input file open, and in memory one input and the
  // output's offsets. The output is made once the first input opens, so that a first
  // input that cannot be read is named before an output that cannot be made.
  std::optional<host::render::WholeFile> file;
  std::unique_ptr<JoinWriter> writer;
  auto start = [&] {
    file.emplace(output, request.output);
    writing(request.output, [&] { writer = std::make_unique<JoinWriter>(file->TempPath()); });
  };
  for (const Input& in : inputs) {
    Source source;
    reading(in, request.output, [&] { source = open_input(in.path); });
    if (!writer) start();
    reading(in, request.output, [&] { writer->Append(*source.pdf); });
  }
  if (!writer) start();
  writing(request.output, [&] { writer->Finish(); });
  file->Commit();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    std::cout << kUsage;
    return 0;
  }
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    return join(parse(args));
  } catch (const Failure& f) {
    std::cerr << "pdftk: " << f.what() << "\n";
    return f.code;
  } catch (const host::vb::Error& e) {
    std::cerr << "pdftk: " << e.description() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "pdftk: " << e.what() << "\n";
    return 1;
  }
}
