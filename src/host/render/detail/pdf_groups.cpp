// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled as C++17: qpdf's headers do not build as C++20 with every compiler we use.

#include "host/render/detail/pdf_groups.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDFWriter.hh>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace host::render::detail {

namespace {

bool below_one(QPDFObjectHandle dict, const char* key) {
  if (!dict.hasKey(key)) return false;
  QPDFObjectHandle v = dict.getKey(key);
  return v.isNumber() && v.getNumericValue() < 1;
}

// Whether anything the resources reach blends: constant alpha below 1, a soft mask, a
// blend mode, an image with a soft mask, or a transparency group of its own.
bool needs_transparency(QPDFObjectHandle resources, std::set<QPDFObjGen>& seen) {
  if (!resources.isDictionary()) return false;
  if (resources.isIndirect() && !seen.insert(resources.getObjGen()).second) return false;
  QPDFObjectHandle states = resources.getKey("/ExtGState");
  if (states.isDictionary()) {
    for (auto& [name, gs] : states.ditems()) {
      if (!gs.isDictionary()) continue;
      if (below_one(gs, "/CA") || below_one(gs, "/ca")) return true;
      if (gs.hasKey("/SMask") && !(gs.getKey("/SMask").isName() && gs.getKey("/SMask").getName() == "/None"))
        return true;
      if (gs.hasKey("/BM")) {
        QPDFObjectHandle bm = gs.getKey("/BM");
        if (!(bm.isName() && (bm.getName() == "/Normal" || bm.getName() == "/Compatible"))) return true;
      }
    }
  }
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (xobjects.isDictionary()) {
    for (auto& [name, x] : xobjects.ditems()) {
      if (!x.isStream()) continue;
      QPDFObjectHandle d = x.getDict();
      if (d.hasKey("/SMask") || d.hasKey("/SMaskInData")) return true;
      if (d.hasKey("/Group")) return true;
      if (needs_transparency(d.getKey("/Resources"), seen)) return true;
    }
  }
  for (const char* key : {"/Pattern", "/Shading"}) {
    QPDFObjectHandle items = resources.getKey(key);
    if (!items.isDictionary()) continue;
    for (auto& [name, item] : items.ditems()) {
      QPDFObjectHandle d = item.isStream() ? item.getDict() : item;
      if (!d.isDictionary()) continue;
      if (d.hasKey("/ExtGState")) return true;
      if (needs_transparency(d.getKey("/Resources"), seen)) return true;
    }
  }
  return false;
}

}  // namespace

void DropNeedlessPageGroups(const fs::path& pdf) {
  QPDF doc;
  doc.processFile(pdf.c_str());
  bool changed = false;
  for (QPDFObjectHandle page : doc.getAllPages()) {
    if (!page.hasKey("/Group")) continue;
    std::set<QPDFObjGen> seen;
    if (needs_transparency(page.getKey("/Resources"), seen)) continue;
    page.removeKey("/Group");
    changed = true;
  }
  if (!changed) return;
  // Written over the file itself, not renamed over it: the file is a whole-file
  // writer's temporary, and its lock (which tells other writers it is alive) stays
  // with the file as long as the file is the same one.
  QPDFWriter w(doc);
  w.setOutputMemory();
  w.write();
  std::shared_ptr<Buffer> flat(w.getBufferSharedPointer());
  int fd = ::open(pdf.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot rewrite " + pdf.string() + ": " + std::strerror(errno));
  const unsigned char* at = flat->getBuffer();
  size_t left = flat->getSize();
  while (left > 0) {
    ssize_t n = ::write(fd, at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int e = errno;
      ::close(fd);
      throw std::runtime_error("cannot rewrite " + pdf.string() + ": " +
                               (e == ENOSPC || e == EDQUOT ? std::string("the disk is full") : std::strerror(e)));
    }
    at += n;
    left -= size_t(n);
  }
  ::close(fd);
}

}  // namespace host::render::detail
