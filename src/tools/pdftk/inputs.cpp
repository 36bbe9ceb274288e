// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/pdftk/inputs.h"

#include <algorithm>

#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"

namespace fs = std::filesystem;

namespace pdftk {

namespace {
// The path with its links and dots resolved as far as it exists.
fs::path resolved(const fs::path& p) {
  std::error_code ec;
  fs::path r = fs::weakly_canonical(p, ec);
  return ec ? fs::absolute(p, ec).lexically_normal() : r;
}

bool same_folder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return resolved(a) == resolved(b);
}
}  // namespace

fs::path NativeOf(const std::string& path) {
  if (path.empty()) return fs::current_path();
  if (windows_path(path)) return host::win::NativePath(path);
  return fs::path(path);
}

fs::path OutputOf(const std::string& path) {
  fs::path output = NativeOf(path);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(output, ec)) || !output.has_filename()) return output;
  const std::string name = output.filename().string();
  fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (host::vb::SameText(entry.path().filename().string(), name)) return output.parent_path() / entry.path().filename();
  return output;
}

bool IsOutput(const fs::path& candidate, const fs::path& output) {
  std::error_code ec;
  if (fs::equivalent(candidate, output, ec)) return true;
  const fs::path a = resolved(candidate), b = resolved(output);
  return host::vb::SameText(a.filename().string(), b.filename().string()) &&
         same_folder(a.parent_path(), b.parent_path());
}

std::vector<Input> Expand(const std::string& pattern, const fs::path& output) {
  auto [folder_text, name] = split_last(pattern);
  fs::path folder = NativeOf(folder_text);
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
    if (!matches(name.c_str(), file.c_str()) || host::win::IsTemporaryName(file) || !entry.is_regular_file(ec))
      continue;
    if (IsOutput(entry.path(), output)) continue;  // an earlier output in the same folder
    found.push_back({entry.path(), folder_text + file});
  }
  std::sort(found.begin(), found.end(), [](const Input& a, const Input& b) {
    std::string la = lower(a.path.filename().string()), lb = lower(b.path.filename().string());
    return la != lb ? la < lb : a.path.filename().string() < b.path.filename().string();
  });
  if (found.empty()) throw Failure(1, "no file matches '" + pattern + "'");
  return found;
}

std::vector<Input> InputsOf(const Request& request, const fs::path& output) {
  std::vector<Input> inputs;
  for (const std::string& in : request.inputs) {
    if (has_wildcard(in)) {
      for (Input& p : Expand(in, output)) inputs.push_back(std::move(p));
      continue;
    }
    fs::path p = NativeOf(in);
    if (IsOutput(p, output)) throw Failure(1, "'" + in + "' is the output file; it cannot also be an input");
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) throw Failure(1, "cannot read '" + in + "': no such file");
    inputs.push_back({std::move(p), in});
  }
  return inputs;
}

}  // namespace pdftk
