// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/vb/seqfile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>

#include "host/vb/error.h"

namespace host::vb {

namespace {

struct Slot {
  OpenMode mode;
  std::string data;  // input: the whole file
  size_t pos = 0;
  std::FILE* out = nullptr;
  ~Slot() {
    if (out) std::fclose(out);
  }
};

std::map<int, std::unique_ptr<Slot>>& slots() {
  static std::map<int, std::unique_ptr<Slot>> s;
  return s;
}

Slot& slot(int fileNumber) {
  auto it = slots().find(fileNumber);
  if (it == slots().end()) raise(err::BadFileNameOrNumber);
  return *it->second;
}

[[noreturn]] void raise_for_errno(int e, const std::filesystem::path& path) {
  switch (e) {
    case ENOENT: {
      std::error_code ec;
      raise(std::filesystem::is_directory(path.parent_path(), ec) ? err::FileNotFound : err::PathNotFound);
    }
    case ENOTDIR: raise(err::PathNotFound);
    case EACCES:
    case EPERM:
    case EROFS: raise(err::PermissionDenied);
    case EISDIR: raise(err::PathFileAccessError);
    default: raise(err::PathFileAccessError);
  }
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == '\r' || c == '\n'; }

}  // namespace

namespace {
std::atomic<PathResolver> g_resolver{nullptr};
}  // namespace

void SetPathResolver(PathResolver resolver) { g_resolver.store(resolver); }

void Open(std::string_view path, OpenMode mode, int fileNumber) {
  if (fileNumber < 1 || fileNumber > 511) raise(err::BadFileNameOrNumber);
  if (slots().count(fileNumber)) raise(err::FileAlreadyOpen);
  PathResolver resolve = g_resolver.load();
  std::filesystem::path native = resolve ? resolve(path) : std::filesystem::path(path);
  auto s = std::make_unique<Slot>();
  s->mode = mode;
  if (mode == OpenMode::Input) {
    std::error_code ec;
    if (std::filesystem::is_directory(native, ec)) raise(err::PathFileAccessError);
    std::ifstream in(native, std::ios::binary);
    if (!in) raise_for_errno(errno, native);
    s->data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } else {
    s->out = std::fopen(native.c_str(), mode == OpenMode::Output ? "wb" : "ab");
    if (!s->out) raise_for_errno(errno, native);
  }
  slots()[fileNumber] = std::move(s);
}

void Close(int fileNumber) { slots().erase(fileNumber); }
void CloseAll() { slots().clear(); }
bool IsOpen(int fileNumber) { return slots().count(fileNumber) != 0; }

static void put(int fileNumber, std::string_view a, std::string_view b, std::string_view c) {
  Slot& s = slot(fileNumber);
  if (s.mode == OpenMode::Input) raise(err::BadFileMode);
  for (std::string_view part : {a, b, c}) {
    if (!part.empty() && std::fwrite(part.data(), 1, part.size(), s.out) != part.size())
      raise(err::PathFileAccessError, "Device I/O error");
  }
  if (std::fflush(s.out) != 0) raise(err::PathFileAccessError, "Device I/O error");
}

void WriteQuoted(int fileNumber, std::string_view value) {
  put(fileNumber, "\"", value, "\"\r\n");
}

void PrintLine(int fileNumber, std::string_view text) { put(fileNumber, text, "", "\r\n"); }

bool Eof(int fileNumber) {
  Slot& s = slot(fileNumber);
  if (s.mode != OpenMode::Input) raise(err::BadFileMode);
  return s.pos >= s.data.size();
}

std::string Input(int fileNumber) {
  Slot& s = slot(fileNumber);
  if (s.mode != OpenMode::Input) raise(err::BadFileMode);
  const std::string& d = s.data;
  size_t& p = s.pos;
  if (p >= d.size()) raise(err::InputPastEndOfFile);
  while (p < d.size() && is_blank(d[p])) ++p;
  std::string value;
  if (p < d.size() && d[p] == '"') {
    // Two quotes inside a quoted value stand for one, so a value that holds a quote
    // can be written and read back; files without such values read as they always did.
    ++p;
    while (p < d.size()) {
      if (d[p] == '"') {
        if (p + 1 < d.size() && d[p + 1] == '"') {
          value += '"';
          p += 2;
          continue;
        }
        ++p;
        break;
      }
      value += d[p++];
    }
    // Whatever stands between the closing quote and the delimiter is skipped.
    while (p < d.size() && d[p] != ',' && !is_line_end(d[p])) ++p;
  } else {
    size_t start = p;
    while (p < d.size() && d[p] != ',' && !is_line_end(d[p])) ++p;
    value = d.substr(start, p - start);
    while (!value.empty() && is_blank(value.back())) value.pop_back();
  }
  if (p < d.size()) {
    if (d[p] == ',') {
      ++p;
    } else if (d[p] == '\r') {
      ++p;
      if (p < d.size() && d[p] == '\n') ++p;
    } else {
      ++p;
    }
  }
  return value;
}

}  // namespace host::vb
