// pdftk: joins PDF files into one, the part of the PDF toolkit's command line that the
// map-book export run uses:
//
//   pdftk INPUT... cat output FILE
//
// An input is a file or a pattern with * and ? in its last part ("C:\Out\*.pdf"), which
// is expanded here, in name order, as a Windows shell would leave it to the program.
// Windows paths go through the host's drive map; native paths are taken as they are.
// The output is written whole, and never read as one of its own inputs.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/render/whole_file.h"
#include "host/vb/error.h"
#include "host/win/drives.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: pdftk INPUT... cat output FILE\n"
    "  Joins every page of the inputs, in order, into FILE.\n"
    "  An input may hold * and ? in its file name (\"out\\*.pdf\"); the matches are taken in name order.\n"
    "  Windows paths (C:\\...) and native paths are both accepted.\n";

// A refusal or failure: one line on stderr and a non-zero exit.
struct Failure : std::runtime_error {
  Failure(int code, const std::string& what) : std::runtime_error(what), code(code) {}
  int code;
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool windows_path(const std::string& s) {
  return s.find('\\') != std::string::npos ||
         (s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':');
}

bool has_wildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// Splits a path into its folder (as given) and its last part.
std::pair<std::string, std::string> split_last(const std::string& path) {
  size_t at = path.find_last_of(windows_path(path) ? "\\/" : "/");
  if (at == std::string::npos) {
    if (path.size() >= 2 && path[1] == ':') return {path.substr(0, 2), path.substr(2)};
    return {"", path};
  }
  return {path.substr(0, at + 1), path.substr(at + 1)};
}

fs::path native(const std::string& path) {
  if (path.empty()) return fs::current_path();
  if (windows_path(path)) return host::win::NativePath(path);
  return fs::path(path);
}

// Windows matching: case does not count.
bool matches(const char* p, const char* s) {
  for (; *p; ++p, ++s) {
    if (*p == '*') {
      for (const char* t = s;; ++t) {
        if (matches(p + 1, t)) return true;
        if (!*t) return false;
      }
    }
    if (!*s) return false;
    if (*p != '?' && std::tolower(static_cast<unsigned char>(*p)) != std::tolower(static_cast<unsigned char>(*s))) return false;
  }
  return *s == '\0';
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
  if (has_wildcard(folder_text)) throw Failure(2, "wildcards are only taken in the file name: " + pattern);
  fs::path folder = native(folder_text);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw Failure(1, "the folder of '" + pattern + "' does not exist");
  std::vector<Input> found;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    std::string file = entry.path().filename().string();
    if (!matches(name.c_str(), file.c_str()) || !entry.is_regular_file(ec)) continue;
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

struct Request {
  std::vector<std::string> inputs;
  std::string output;
};

Request parse(const std::vector<std::string>& args) {
  Request r;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    std::string word = lower(args[i]);
    if (word == "cat" || word == "output") break;
    if (args[i].size() > 2 && std::isupper(static_cast<unsigned char>(args[i][0])) && args[i].find('=') == 1)
      throw Failure(2, "input handles (" + args[i].substr(0, 2) + "...) are not supported");
    if (word == "input_pw") throw Failure(2, "passwords are not supported");
    static const char* operations[] = {"shuffle", "burst", "rotate", "generate_fdf", "fill_form", "background",
                                       "multibackground", "stamp", "multistamp", "dump_data", "dump_data_utf8",
                                       "dump_data_fields", "dump_data_annots", "update_info", "attach_files",
                                       "unpack_files"};
    for (const char* op : operations)
      if (word == op) throw Failure(2, "the operation '" + args[i] + "' is not supported; only 'cat' is");
    r.inputs.push_back(args[i]);
  }
  if (r.inputs.empty()) throw Failure(2, "no input files given");
  if (i == args.size()) throw Failure(2, "'cat output FILE' is missing after the inputs");
  if (lower(args[i]) != "cat") throw Failure(2, "'cat' is missing before 'output'");
  ++i;
  if (i == args.size() || lower(args[i]) != "output") {
    if (i < args.size()) throw Failure(2, "page ranges after 'cat' are not supported: " + args[i]);
    throw Failure(2, "'output FILE' is missing after 'cat'");
  }
  ++i;
  if (i == args.size()) throw Failure(2, "no output file given after 'output'");
  r.output = args[i++];
  if (r.output == "-") throw Failure(2, "writing to standard output is not supported");
  if (i < args.size()) throw Failure(2, "'" + args[i] + "' after the output file is not supported");
  return r;
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

  // Each input's pages are copied whole, streams included, and the input is closed
  // before the next is opened: a join of thousands of pages holds one file open, and
  // memory only for what the joined file needs.
  QPDF joined;
  joined.emptyPDF();
  QPDFPageDocumentHelper pages(joined);
  for (const Input& in : inputs) {
    auto source = std::make_unique<QPDF>();
    source->setSuppressWarnings(true);
    try {
      source->processFile(in.path.c_str());
      source->setImmediateCopyFrom(true);
      for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(*source).getAllPages()) pages.addPage(page, false);
    } catch (const QPDFExc& e) {
      throw Failure(1, "cannot read '" + in.shown + "': " + e.getMessageDetail());
    } catch (const std::exception& e) {
      throw Failure(1, "cannot read '" + in.shown + "': " + e.what());
    }
  }

  host::render::WholeFile file(output, request.output);
  try {
    QPDFWriter writer(joined, file.TempPath().c_str());
    writer.write();
  } catch (const std::exception& e) {
    throw Failure(1, "cannot write '" + request.output + "': " + e.what());
  }
  file.Commit();
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
