// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The joined PDF written as it is made: each input's pages go to the file with every
// object they reach, and only the objects' offsets and the pages' numbers stay in
// memory. The page tree, the catalog and the cross-reference table follow the last page.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace pdftk {

// Writing the output failed (as opposed to reading an input).
struct WriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class JoinWriter {
 public:
  // Opens (truncates) file; a failure is a WriteError.
  explicit JoinWriter(const std::filesystem::path& file);
  ~JoinWriter();
  JoinWriter(const JoinWriter&) = delete;
  JoinWriter& operator=(const JoinWriter&) = delete;

  // Writes every page of source after those written so far. The source's inherited page
  // attributes are pushed down to its pages. Reading faults come as qpdf's exceptions.
  void Append(QPDF& source);
  // The page tree, the catalog, the cross-reference table and the trailer; closes the file.
  void Finish();

  int Pages() const { return static_cast<int>(pages_.size()); }

 private:
  class Pipe;
  // An input's objects as numbered in the output; the objects still to be written.
  struct Numbering {
    std::map<QPDFObjGen, int> number;
    std::vector<QPDFObjectHandle> pending;
  };

  int NewObject();
  void BeginObject(int number);
  void WriteObject(QPDFObjectHandle object, Numbering& numbering, bool page);
  // A value in an object: an indirect one as a reference.
  void WriteValue(QPDFObjectHandle value, Numbering& numbering);
  // An object's own value.
  void WriteDirect(QPDFObjectHandle value, Numbering& numbering);
  void WriteDictionary(QPDFObjectHandle dict, Numbering& numbering, const char* skip, const std::string& extra);
  // The output number of an indirect object, or 0 where it becomes null.
  int Reference(QPDFObjectHandle object, Numbering& numbering);
  void Put(const char* bytes, size_t size);
  void Put(const std::string& text) { Put(text.data(), text.size()); }
  void Check();

  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  uint64_t offset_ = 0;
  std::vector<uint64_t> offsets_;  // by object number - 1
  std::vector<int> pages_;
  int version_ = 13;               // the highest input version, as 10 * major + minor
};

}  // namespace pdftk
