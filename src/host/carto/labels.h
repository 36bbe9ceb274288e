#pragma once
// Label properties of a feature layer: which text each feature gets and how it is drawn.

#include <string>
#include <vector>

#include "host/carto/symbols.h"
#include "host/geodata/table.h"

namespace host::carto {

// One label class: an expression and a text symbol. The expression is text in which
// each "[FIELD]" stands for that field's value ("[MB_Label]", "Sheet [MB_Row]").
class LabelProperties {
 public:
  LabelProperties();  // no expression, black Arial of 8 points

  const std::string& Expression() const { return expression_; }
  void SetExpression(std::string e) { expression_ = std::move(e); }
  const TextSymbol& Symbol() const { return symbol_; }
  TextSymbol& Symbol() { return symbol_; }
  void SetSymbol(const TextSymbol& s) { symbol_ = s; }

  // The field names the expression names, in order.
  std::vector<std::string> ExpressionFields() const;
  // The label of one row: each [FIELD] replaced by the value's text (a Null or a field
  // the row lacks gives an empty text).
  std::string LabelText(const geodata::Row& row) const;

  bool operator==(const LabelProperties&) const = default;

 private:
  std::string expression_;
  TextSymbol symbol_;
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
