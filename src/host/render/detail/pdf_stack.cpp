// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled as C++17: qpdf's headers do not build as C++20 with every compiler we use.

#include "host/render/detail/pdf_stack.h"

#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace host::render::detail {

namespace {

std::string PartName(size_t index, size_t count) {
  return "part " + std::to_string(index + 1) + " of " + std::to_string(count);
}

// Our own refusals, told apart from qpdf's errors, which are runtime_errors as well.
struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Refuse(const std::string& why) {
  throw Refusal("cannot put the page's PDF parts together: " + why);
}

std::string Deflate(const std::function<void(Pipeline*)>& source) {
  std::string out;
  Pl_String sink("deflated", nullptr, out);
  Pl_Flate flate("deflate", &sink, Pl_Flate::a_deflate);
  source(&flate);
  flate.finish();
  return out;
}

struct Part {
  std::unique_ptr<QPDF> doc;
  std::vector<QPDFObjectHandle> pages;
};

// Opens strictly: the parts come from our own drawing, so anything qpdf would have to
// repair means a fault, not a file to rescue.
Part Open(const std::string& bytes, const std::string& name) {
  Part part{std::make_unique<QPDF>(), {}};
  part.doc->setSuppressWarnings(true);
  part.doc->setAttemptRecovery(false);
  try {
    part.doc->processMemoryFile(name.c_str(), bytes.data(), bytes.size());
    part.pages = part.doc->getAllPages();
  } catch (const std::exception& e) {
    Refuse(name + " is not a readable PDF (" + e.what() + ")");
  }
  if (part.pages.empty()) Refuse(name + " has no page");
  return part;
}

// The page's drawing as a form in its own document. A single content stream becomes
// the form itself, so its compressed bytes are copied as they are.
QPDFObjectHandle PageForm(QPDF& doc, QPDFObjectHandle pageObject, bool keepGroup) {
  QPDFPageObjectHelper page(pageObject);
  QPDFObjectHandle contents = pageObject.getKey("/Contents");
  QPDFObjectHandle form;
  if (contents.isStream()) {
    form = contents;
  } else {
    form = QPDFObjectHandle::newStream(&doc);
    form.replaceStreamData(Deflate([&](Pipeline* p) { page.pipeContents(p); }),
                           QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
  }
  QPDFObjectHandle dict = form.getDict();
  dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
  dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  dict.replaceKey("/BBox", page.getMediaBox());
  QPDFObjectHandle resources = page.getAttribute("/Resources", false);
  dict.replaceKey("/Resources", resources.isDictionary() ? resources : QPDFObjectHandle::newDictionary());
  // A group of its own would isolate the part from those below it and change how it
  // blends; the page's group already stands for all parts.
  QPDFObjectHandle group = pageObject.getKey("/Group");
  if (keepGroup && group.isDictionary()) dict.replaceKey("/Group", group);
  return form;
}

bool SameBox(QPDFObjectHandle a, QPDFObjectHandle b) {
  QPDFObjectHandle::Rectangle ra = a.getArrayAsRectangle(), rb = b.getArrayAsRectangle();
  return ra.llx == rb.llx && ra.lly == rb.lly && ra.urx == rb.urx && ra.ury == rb.ury;
}

void WriteFile(const fs::path& out, const std::string& bytes) {
  std::FILE* f = std::fopen(out.c_str(), "wb");
  if (!f) Refuse("cannot write " + out.string() + ": " + std::strerror(errno));
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  int err = ok ? 0 : errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok) return;
  std::error_code ignored;
  fs::resize_file(out, 0, ignored);
  Refuse("cannot write " + out.string() + ": " + std::strerror(err));
}

}  // namespace

void StackPdfPages(const std::vector<std::string>& parts, const fs::path& out) {
  if (parts.empty()) Refuse("there are none");
  std::vector<PdfPagePick> order;
  for (size_t i = 0; i < parts.size(); ++i) order.push_back({i, 0});
  StackPdfPages(parts, order, out);
}

void StackPdfPages(const std::vector<std::string>& parts, const std::vector<PdfPagePick>& order, const fs::path& out) {
  if (parts.empty()) Refuse("there are none");
  if (order.empty()) Refuse("no page is picked");
  const size_t n = parts.size();
  for (size_t i = 0; i < n; ++i)
    if (parts[i].compare(0, 5, "%PDF-") != 0) Refuse(PartName(i, n) + " is not a PDF (it does not begin with %PDF-)");
  // How many pages each part must have: those picked, and one for a part of one-page picks.
  std::vector<size_t> wanted(n, 0);
  bool several = false;
  for (const PdfPagePick& pick : order) {
    if (pick.part >= n) Refuse("a page of part " + std::to_string(pick.part + 1) + " of " + std::to_string(n) + " is picked");
    wanted[pick.part] = std::max(wanted[pick.part], pick.page + 1);
    several |= pick.page > 0;
  }
  if (n == 1 && order.size() == 1 && !several) return WriteFile(out, parts.front());

  // Everything is read, checked and written to memory before out is touched.
  std::string bytes;
  std::vector<Part> opened;
  opened.reserve(n);
  try {
    for (size_t i = 0; i < n; ++i) {
      opened.push_back(Open(parts[i], PartName(i, n)));
      const size_t pages = opened.back().pages.size();
      if (!several && pages != 1)
        Refuse(PartName(i, n) + " has " + std::to_string(pages) + " pages instead of one");
      if (pages < wanted[i])
        Refuse(PartName(i, n) + " has " + std::to_string(pages) + (pages == 1 ? " page" : " pages") +
               ", fewer than the " + std::to_string(wanted[i]) + " picked");
    }
    const size_t host = order.front().part;
    QPDF& doc = *opened[host].doc;
    QPDFObjectHandle page = opened[host].pages[order.front().page];
    QPDFObjectHandle mediaBox = QPDFPageObjectHelper(page).getMediaBox();
    if (!mediaBox.isRectangle()) Refuse(PartName(host, n) + " has no page size");
    const bool pageGroup = page.getKey("/Group").isDictionary();

    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    std::map<std::pair<size_t, size_t>, std::string> named;  // a page picked again is the same form
    std::string content;
    for (const PdfPagePick& pick : order) {
      auto [at, made] = named.try_emplace({pick.part, pick.page}, "/Fx" + std::to_string(named.size()));
      if (made) {
        Part& part = opened[pick.part];
        QPDFObjectHandle picked = part.pages[pick.page];
        if (!SameBox(QPDFPageObjectHelper(picked).getMediaBox(), mediaBox))
          Refuse(PartName(pick.part, n) + " has a page size other than the first part's");
        // Forms of one foreign part are copied with one copier: objects they share, such
        // as fonts, are copied once.
        QPDFObjectHandle form = PageForm(*part.doc, picked, !pageGroup);
        if (pick.part != host) form = doc.copyForeignObject(form);
        xobjects.replaceKey(at->second, form);
      }
      content += "q " + at->second + " Do Q\n";
    }
    // The host part's other pages are drawn through their forms, or not at all.
    QPDFPageDocumentHelper pages(doc);
    for (QPDFObjectHandle other : opened[host].pages)
      if (!(other.getObjGen() == page.getObjGen())) pages.removePage(QPDFPageObjectHelper(other));
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    page.replaceKey("/Resources", resources);
    QPDFObjectHandle stream = QPDFObjectHandle::newStream(&doc);
    stream.replaceStreamData(Deflate([&](Pipeline* p) { p->writeString(content); }),
                             QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
    page.replaceKey("/Contents", stream);

    Pl_String sink("stacked page", nullptr, bytes);
    QPDFWriter writer(doc);
    writer.setOutputPipeline(&sink);
    writer.setStreamDataMode(qpdf_s_preserve);
    for (size_t i = 0; i < n; ++i)
      if (i != host) writer.setMinimumPDFVersion(opened[i].doc->getVersionAsPDFVersion());
    writer.write();
    for (size_t i = 0; i < n; ++i)
      if (opened[i].doc->anyWarnings())
        Refuse(PartName(i, n) + " is damaged (" + opened[i].doc->getWarnings().front().what() + ")");
  } catch (const Refusal&) {
    throw;
  } catch (const std::exception& e) {
    Refuse(e.what());
  }
  WriteFile(out, bytes);
}

}  // namespace host::render::detail
