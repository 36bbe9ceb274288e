// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/vb/variant.h"

#include "host/vb/convert.h"
#include "host/vb/datetime.h"
#include "host/vb/error.h"

namespace host::vb {

double Variant::AsDouble() const {
  if (type() == Type::Long) return double(AsLong());
  return std::get<double>(v_);
}

std::string CStr(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Empty: return "";
    case Variant::Type::Null: raise(err::InvalidUseOfNull);
    case Variant::Type::Boolean: return CStr(v.AsBool());
    case Variant::Type::Long: return CStr(v.AsLong());
    case Variant::Type::Double: return CStr(v.AsDouble());
    case Variant::Type::String: return v.AsString();
    case Variant::Type::Date: return DateValueText(v.AsDate().serial);
  }
  raise(err::TypeMismatch);
}

double CDbl(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Empty: return 0;
    case Variant::Type::Null: raise(err::InvalidUseOfNull);
    case Variant::Type::Boolean: return v.AsBool() ? -1 : 0;
    case Variant::Type::Long:
    case Variant::Type::Double: return v.AsDouble();
    case Variant::Type::String: return CDbl(v.AsString());
    case Variant::Type::Date: return v.AsDate().serial;
  }
  raise(err::TypeMismatch);
}

}  // namespace host::vb
