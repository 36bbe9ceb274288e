// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/pdftk/join_writer.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFCryptoProvider.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>

namespace pdftk {

namespace {

// Objects 1 and 2 are written last, when every page is known.
constexpr int kCatalog = 1;
constexpr int kPageTree = 2;

std::string ref(int number) { return std::to_string(number) + " 0 R"; }

bool of_type(QPDFObjectHandle& dict, const char* type) {
  if (!dict.isDictionary()) return false;
  QPDFObjectHandle t = dict.getKey("/Type");
  return t.isName() && t.getName() == type;
}

// A name as a token: what is no regular character written as #xx (qpdf 11 leaves a '#'
// in a name as it is, which a reader takes as the start of an escape).
std::string name_token(const std::string& name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out = "/";
  for (size_t i = 1; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x21 || c > 0x7e || std::strchr("#%()/<>[]{}", c)) {
      out += '#';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// "1.7" as 17; 0 for what is no version.
int version_number(const std::string& v) {
  if (v.size() != 3 || !std::isdigit(static_cast<unsigned char>(v[0])) || v[1] != '.' ||
      !std::isdigit(static_cast<unsigned char>(v[2])))
    return 0;
  return (v[0] - '0') * 10 + (v[2] - '0');
}

}  // namespace

// A stream's raw data, piped by qpdf straight into the output. qpdf takes any fault
// while piping for one of reading; the pipe keeps its own so that it is told as a
// fault of writing.
class JoinWriter::Pipe : public Pipeline {
 public:
  explicit Pipe(JoinWriter& writer) : Pipeline("join output", nullptr), writer_(writer) {}
  void write(unsigned char const* data, size_t len) override {
    try {
      writer_.Put(reinterpret_cast<const char*>(data), len);
    } catch (const WriteError& e) {
      error = e.what();
      throw;
    }
  }
  void finish() override {}
  std::string error;

 private:
  JoinWriter& writer_;
};

JoinWriter::JoinWriter(const std::filesystem::path& file) : path_(file) {
  file_ = std::fopen(file.c_str(), "wb");
  if (!file_) throw WriteError(std::strerror(errno));
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  // The version is set at the end from the inputs'; the second line marks the file binary.
  Put("%PDF-1.3\n%\xbf\xf7\xa2\xfe\n");
  NewObject();  // the catalog
  NewObject();  // the page tree
}

JoinWriter::~JoinWriter() {
  if (file_) std::fclose(file_);
}

void JoinWriter::Put(const char* bytes, size_t size) {
  if (size && std::fwrite(bytes, 1, size, file_) != size) throw WriteError(std::strerror(errno));
  offset_ += size;
}

int JoinWriter::NewObject() {
  offsets_.push_back(0);
  return static_cast<int>(offsets_.size());
}

void JoinWriter::BeginObject(int number) {
  offsets_[size_t(number) - 1] = offset_;
  Put(std::to_string(number) + " 0 obj\n");
}

void JoinWriter::Append(QPDF& source) {
  QPDFPageDocumentHelper(source).pushInheritedAttributesToPage();
  version_ = std::max(version_, version_number(source.getPDFVersion()));
  // The input's pages are numbered first: a page that points at another (a link's
  // destination) gets that page's number, and the page is written in its own turn.
  Numbering numbering;
  std::vector<QPDFObjectHandle> pages = source.getAllPages();
  const size_t first = pages_.size();
  for (QPDFObjectHandle& page : pages) {
    int number = NewObject();
    numbering.number[page.getObjGen()] = number;
    pages_.push_back(number);
  }
  for (size_t i = 0; i < pages.size(); ++i) {
    BeginObject(pages_[first + i]);
    WriteObject(pages[i], numbering, true);
    // Depth first: what the page reaches, each object once for all the input's pages.
    while (!numbering.pending.empty()) {
      QPDFObjectHandle next = numbering.pending.back();
      numbering.pending.pop_back();
      BeginObject(numbering.number.at(next.getObjGen()));
      WriteObject(next, numbering, false);
    }
  }
  Check();
}

int JoinWriter::Reference(QPDFObjectHandle object, Numbering& numbering) {
  const QPDFObjGen og = object.getObjGen();
  if (auto found = numbering.number.find(og); found != numbering.number.end()) return found->second;
  // The input's page tree stays behind, and so does a page that is not in it; a
  // reference to either reads as null, as an object that does not exist does.
  int number = 0;
  if (!object.isNull() && !of_type(object, "/Pages") && !of_type(object, "/Page")) {
    number = NewObject();
    numbering.pending.push_back(object);
  }
  numbering.number.emplace(og, number);
  return number;
}

void JoinWriter::WriteObject(QPDFObjectHandle object, Numbering& numbering, bool page) {
  if (page) {
    std::string extra = " /Parent " + ref(kPageTree);
    if (!object.getKey("/Type").isName()) extra += " /Type /Page";
    WriteDictionary(object, numbering, "/Parent", extra);
    Put("\nendobj\n");
    return;
  }
  if (!object.isStream()) {
    WriteDirect(object, numbering);
    Put("\nendobj\n");
    return;
  }
  // The raw data as the input holds it (still encoded), its length in an object after
  // it: the data goes to the file while it is read.
  const int length = NewObject();
  WriteDictionary(object.getDict(), numbering, "/Length", " /Length " + ref(length));
  Put("\nstream\n");
  const uint64_t start = offset_;
  Pipe pipe(*this);
  const bool piped = object.pipeStreamData(&pipe, nullptr, 0, qpdf_dl_none, true);
  if (!pipe.error.empty()) throw WriteError(pipe.error);
  if (!piped)
    throw std::runtime_error("the data of object " + object.getObjGen().unparse(' ') + " cannot be read");
  const uint64_t size = offset_ - start;
  Put("\nendstream\nendobj\n");
  BeginObject(length);
  Put(std::to_string(size) + "\nendobj\n");
}

void JoinWriter::WriteDictionary(QPDFObjectHandle dict, Numbering& numbering, const char* skip,
                                 const std::string& extra) {
  Put("<<");
  for (auto& [key, value] : dict.ditems()) {
    // A key whose value is null is no key at all.
    if (key == skip || value.isNull()) continue;
    if (value.isIndirect() && Reference(value, numbering) == 0) continue;
    Put(" " + name_token(key) + " ");
    WriteValue(value, numbering);
  }
  Put(extra);
  Put(" >>");
}

void JoinWriter::WriteValue(QPDFObjectHandle value, Numbering& numbering) {
  if (value.isIndirect()) {
    int number = Reference(value, numbering);
    Put(number ? ref(number) : std::string("null"));
    return;
  }
  WriteDirect(value, numbering);
}

void JoinWriter::WriteDirect(QPDFObjectHandle value, Numbering& numbering) {
  switch (value.getTypeCode()) {
    case ::ot_array: {
      Put("[");
      for (QPDFObjectHandle item : value.aitems()) {
        Put(" ");
        WriteValue(item, numbering);
      }
      Put(" ]");
      return;
    }
    case ::ot_dictionary:
      WriteDictionary(value, numbering, "", "");
      return;
    case ::ot_name:
      Put(name_token(value.getName()));
      return;
    case ::ot_null:
    case ::ot_boolean:
    case ::ot_integer:
    case ::ot_real:
    case ::ot_string:
      // qpdf's own form of a direct value: a string escaped as a reader takes it back.
      Put(value.unparse());
      return;
    default:
      throw std::runtime_error("an object of an unexpected kind (" + std::string(value.getTypeName()) + ")");
  }
}

void JoinWriter::Check() {
  if (std::ferror(file_)) throw WriteError(std::strerror(errno));
}

void JoinWriter::Finish() {
  BeginObject(kPageTree);
  Put("<< /Type /Pages /Kids [");
  for (int page : pages_) Put(" " + ref(page));
  Put(" ] /Count " + std::to_string(pages_.size()) + " >>\nendobj\n");
  BeginObject(kCatalog);
  Put("<< /Type /Catalog /Pages " + ref(kPageTree) + " >>\nendobj\n");

  const uint64_t xref = offset_;
  std::string table = "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
  char line[24];
  for (uint64_t at : offsets_) {
    std::snprintf(line, sizeof line, "%010" PRIu64 " 00000 n \n", at);
    table += line;
  }
  Put(table);
  // The file's identifier: a digest of when and where it was written and of its layout.
  auto md5 = QPDFCryptoProvider::getImpl();
  md5->MD5_init();
  const std::string seed = std::to_string(std::chrono::system_clock::now().time_since_epoch().count()) +
                           path_.string() + table;
  md5->MD5_update(reinterpret_cast<const unsigned char*>(seed.data()), seed.size());
  md5->MD5_finalize();
  QPDFCryptoImpl::MD5_Digest digest;
  md5->MD5_digest(digest);
  std::string id;
  for (unsigned char byte : digest) {
    std::snprintf(line, sizeof line, "%02x", byte);
    id += line;
  }
  Put("trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root " + ref(kCatalog) + " /ID [<" + id +
      "> <" + id + ">] >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");

  // The header takes the highest version of the inputs.
  const char version[3] = {char('0' + version_ / 10), '.', char('0' + version_ % 10)};
  if (std::fflush(file_) != 0 || std::fseek(file_, 5, SEEK_SET) != 0 || std::fwrite(version, 1, 3, file_) != 3)
    throw WriteError(std::strerror(errno));
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) throw WriteError(std::strerror(errno));
}

}  // namespace pdftk
