// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled as C++17: qpdf's headers do not build as C++20 with every compiler we use.

#include "host/render/detail/pdf_groups.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <set>

#include "host/win/whole_file.h"

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
  win::WholeFile flat(pdf);
  QPDFWriter w(doc, flat.TempPath().c_str());
  w.write();
  flat.Commit();
}


}  // namespace host::render::detail
