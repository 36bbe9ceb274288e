// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Label properties of a feature layer: which text each feature gets and how it is drawn.

#include <optional>
#include <string>
#include <vector>

#include "host/carto/symbols.h"
#include "host/geodata/table.h"

namespace host::carto {

// A light outline round each glyph that keeps a label readable over what lies beneath.
struct LabelHalo {
  RgbColor color{255, 255, 255};
  double width = 1;  // points
  bool operator==(const LabelHalo&) const = default;
};

// One label class: an expression and a text symbol. The expression is text in which
// each "[FIELD]" stands for that field's value ("[MB_Label]", "Sheet [MB_Row]").
// Placement settings: the halo (by default on for line layers only), a priority (lower
// numbers placed first; without one the class waits for those that have one), the
// distance within which a line's name is not repeated, and whether a polygon's label
// that does not fit inside the visible part may stand centred on it.
class LabelProperties {
 public:
  LabelProperties();  // no expression, black Arial of 8 points

  const std::string& Expression() const { return expression_; }
  void SetExpression(std::string e) { expression_ = std::move(e); }
  const TextSymbol& Symbol() const { return symbol_; }
  TextSymbol& Symbol() { return symbol_; }
  void SetSymbol(const TextSymbol& s) { symbol_ = s; }

  // The halo as set; none set means the default (lines only).
  const std::optional<std::optional<LabelHalo>>& HaloSetting() const { return halo_; }
  void SetHalo(std::optional<LabelHalo> h) { halo_ = h; }
  void ResetHalo() { halo_.reset(); }
  // The halo for a layer of lines (forLines) or of other shapes.
  std::optional<LabelHalo> Halo(bool forLines) const;

  const std::optional<int>& Priority() const { return priority_; }
  void SetPriority(std::optional<int> p) { priority_ = p; }
  // Points on the page; 0 repeats the name on every segment.
  double RepeatDistance() const { return repeat_distance_; }
  void SetRepeatDistance(double d) { repeat_distance_ = d; }
  bool AllowOverrun() const { return allow_overrun_; }
  void SetAllowOverrun(bool v) { allow_overrun_ = v; }

  // The field names the expression names, in order.
  std::vector<std::string> ExpressionFields() const;
  // The label of one row: each [FIELD] replaced by the value's text (a Null or a field
  // the row lacks gives an empty text).
  std::string LabelText(const geodata::Row& row) const;

  bool operator==(const LabelProperties&) const = default;

 private:
  std::string expression_;
  TextSymbol symbol_;
  std::optional<std::optional<LabelHalo>> halo_;
  std::optional<int> priority_;
  double repeat_distance_ = 0;
  bool allow_overrun_ = true;
};

// The label classes of a layer; a layer starts with one, item 0.
class AnnotationProperties {
 public:
  AnnotationProperties() : items_(1) {}
  int Count() const { return int(items_.size()); }
  // Subscript out of range (9) outside 0 to Count() - 1.
  LabelProperties& QueryItem(int index);
  const LabelProperties& QueryItem(int index) const;
  void Add(const LabelProperties& p) { items_.push_back(p); }
  void Clear() { items_.clear(); }
  bool operator==(const AnnotationProperties&) const = default;

 private:
  std::vector<LabelProperties> items_;
};

}  // namespace host::carto
