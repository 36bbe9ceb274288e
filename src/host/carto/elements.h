// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Elements of the page layout: text elements and map frames, placed in page units
// (inches from the lower left corner of the page).

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/carto/symbols.h"
#include "host/geodata/geometry.h"

namespace host::carto {

class Map;
class PageLayout;

enum class ElementType { Text, MapFrame };

class Element : public std::enable_shared_from_this<Element> {
 public:
  virtual ~Element() = default;
  Element(const Element&) = delete;
  Element& operator=(const Element&) = delete;

  virtual ElementType Type() const = 0;

  // The element's place: an anchor point (text) or an envelope.
  void SetGeometry(const geodata::Envelope& e);
  void SetGeometry(geodata::Point p);
  // A rectangle polygon counts as its envelope, a point shape as its point.
  void SetGeometry(const geodata::Geometry& g);
  bool HasPoint() const { return std::holds_alternative<geodata::Point>(place_); }
  bool HasEnvelope() const { return std::holds_alternative<geodata::Envelope>(place_); }
  // The anchor point, or nothing when the element is placed by an envelope.
  std::optional<geodata::Point> AnchorPoint() const;
  // The envelope it was placed by; for a point a zero-size envelope there; empty
  // when the element has no place yet.
  geodata::Envelope Bounds() const;
  // The place as a geometry (a point, or the envelope as a rectangle polygon).
  geodata::Geometry Geometry() const;

  const std::string& Name() const { return name_; }
  void SetName(std::string n) { name_ = std::move(n); }

  // The layout that holds the element, or null.
  PageLayout* Container() const { return container_; }

 protected:
  Element() = default;

 private:
  friend class PageLayout;
  std::variant<std::monostate, geodata::Point, geodata::Envelope> place_;
  std::string name_;
  PageLayout* container_ = nullptr;
};

class TextElement : public Element {
 public:
  TextElement() = default;
  explicit TextElement(std::string text) : text_(std::move(text)) {}
  ElementType Type() const override { return ElementType::Text; }

  const std::string& Text() const { return text_; }
  void SetText(std::string t) { text_ = std::move(t); }
  const TextSymbol& Symbol() const { return symbol_; }
  TextSymbol& Symbol() { return symbol_; }
  void SetSymbol(const TextSymbol& s) { symbol_ = s; }

 private:
  std::string text_;
  TextSymbol symbol_;
};

class MapFrame;

// A rectangle drawn in one frame that outlines what another frame's map shows.
class LocatorRectangle {
 public:
  LocatorRectangle() = default;
  explicit LocatorRectangle(std::shared_ptr<carto::MapFrame> frame) : frame_(std::move(frame)) {}

  // The frame whose map's extent is outlined; it need not be placed on the page.
  const std::shared_ptr<carto::MapFrame>& MapFrame() const { return frame_; }
  void SetMapFrame(std::shared_ptr<carto::MapFrame> f) { frame_ = std::move(f); }
  const std::optional<SymbolBorder>& Border() const { return border_; }
  void SetBorder(std::optional<SymbolBorder> b) { border_ = std::move(b); }
  // The outlined extent, in the other map's units (empty without a frame or a map).
  geodata::Envelope Extent() const;
  // The same in the coordinates of the map it is drawn on.
  geodata::Envelope ExtentIn(const carto::Map& shownOn) const;

 private:
  std::shared_ptr<carto::MapFrame> frame_;
  std::optional<SymbolBorder> border_;
};

// How a frame's map extent is kept: automatically, at a fixed scale, or at fixed bounds.
// The host records it; code can still set the map's extent and scale.
enum class ExtentType : int { Default = 0, FixedScale = 1, FixedBounds = 2 };

class MapFrame : public Element {
 public:
  MapFrame() = default;
  explicit MapFrame(std::shared_ptr<carto::Map> map) : map_(std::move(map)) {}
  ElementType Type() const override { return ElementType::MapFrame; }

  const std::shared_ptr<carto::Map>& Map() const { return map_; }
  // Placed on a layout, the frame's map joins the layout's document.
  void SetMap(std::shared_ptr<carto::Map> map);

  // No border is drawn when there is none.
  const std::optional<SymbolBorder>& Border() const { return border_; }
  void SetBorder(std::optional<SymbolBorder> b) { border_ = std::move(b); }

  carto::ExtentType ExtentType() const { return extent_type_; }
  void SetExtentType(carto::ExtentType t) { extent_type_ = t; }
  void SetExtentType(int code);  // 0, 1 or 2; Invalid procedure call (5) otherwise

  int LocatorRectangleCount() const { return int(locators_.size()); }
  // Subscript out of range (9) outside 0 to LocatorRectangleCount() - 1.
  carto::LocatorRectangle& LocatorRectangle(int index);
  const carto::LocatorRectangle& LocatorRectangle(int index) const;
  void AddLocatorRectangle(carto::LocatorRectangle r) { locators_.push_back(std::move(r)); }
  void RemoveLocatorRectangle(int index);

  // When True, the frame's border and locator rectangles scale with the element when
  // it is resized. Recorded and saved; the layout buttons turn it on.
  bool AutoTransform() const { return auto_transform_; }
  void SetAutoTransform(bool v) { auto_transform_ = v; }

  // The extent the frame's map shows (map units).
  geodata::Envelope MapBounds() const;

 private:
  std::shared_ptr<carto::Map> map_;
  std::optional<SymbolBorder> border_;
  carto::ExtentType extent_type_ = carto::ExtentType::Default;
  std::vector<carto::LocatorRectangle> locators_;
  bool auto_transform_ = false;
};

}  // namespace host::carto
