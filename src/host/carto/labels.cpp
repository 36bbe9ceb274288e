// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/labels.h"

#include "host/vb/error.h"
#include "host/vb/variant.h"

namespace host::carto {

LabelProperties::LabelProperties() { symbol_.SetSize(8); }

std::optional<LabelHalo> LabelProperties::Halo(bool forLines) const {
  if (halo_) return *halo_;
  if (forLines) return LabelHalo{};
  return std::nullopt;
}

std::vector<std::string> LabelProperties::ExpressionFields() const {
  std::vector<std::string> fields;
  size_t at = 0;
  while ((at = expression_.find('[', at)) != std::string::npos) {
    size_t end = expression_.find(']', at + 1);
    if (end == std::string::npos) break;
    fields.push_back(expression_.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return fields;
}

std::string LabelProperties::LabelText(const geodata::Row& row) const {
  std::string out;
  size_t at = 0;
  while (at < expression_.size()) {
    size_t open = expression_.find('[', at);
    size_t close = open == std::string::npos ? open : expression_.find(']', open + 1);
    if (close == std::string::npos) {
      out += expression_.substr(at);
      break;
    }
    out += expression_.substr(at, open - at);
    const std::string name = expression_.substr(open + 1, close - open - 1);
    int index = row.Fields().FindField(name);
    if (index >= 0 && row.Fields().Field(index).Type() != geodata::FieldType::Geometry) {
      vb::Variant v = row.Value(index);
      if (!v.IsNull() && !v.IsEmpty()) out += vb::CStr(v);
    }
    at = close + 1;
  }
  return out;
}

LabelProperties& AnnotationProperties::QueryItem(int index) {
  if (index < 0 || index >= Count())
    vb::raise(vb::err::SubscriptOutOfRange, "No label class " + std::to_string(index));
  return items_[size_t(index)];
}

const LabelProperties& AnnotationProperties::QueryItem(int index) const {
  return const_cast<AnnotationProperties*>(this)->QueryItem(index);
}

}  // namespace host::carto
