// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map document: its maps in order, the focus map, the active view, the page layout,
// and the file it was opened from. A new document has one map named "Layers" in a frame
// on a Letter page (portrait), and shows it in data view.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/carto/view.h"

namespace host::app {
class Application;
}

namespace host::carto {

class Document {
 public:
  static constexpr int kDefaultDataWindowWidth = 1024;
  static constexpr int kDefaultDataWindowHeight = 768;

  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Reads a map document file (docs/map-document.md). Any fault fails with one error
  // that names the file and the place ("maps[0].layers[2]: ..."); nothing is returned
  // half-made.
  static std::unique_ptr<Document> Open(const std::string& path);
  // Writes the whole file (through a temporary file in the same folder), then takes
  // path as the document's file and clears the changed flag.
  void Save(const std::string& path);
  // Saves to the file the document was opened from or last saved to.
  void Save();

  // The document's file (native path), empty for a new document.
  const std::filesystem::path& FilePath() const { return path_; }
  // The file's name, or "Untitled".
  std::string Title() const;

  // ---- Maps ----
  int MapCount() const { return int(maps_.size()); }
  // Subscript out of range (9) outside 0 to MapCount() - 1.
  std::shared_ptr<carto::Map> Map(int index) const;
  const std::vector<std::shared_ptr<carto::Map>>& Maps() const { return maps_; }
  int IndexOfMap(const carto::Map& map) const;  // -1 when not here
  // At the end, without a frame on the page (it shows in data view; a frame added to
  // the layout shows it there too).
  void AddMap(std::shared_ptr<carto::Map> map);
  // Takes the map and its frames out; the last map cannot go (5).
  void DeleteMap(const carto::Map& map);

  // The map that tools and the command work on.
  std::shared_ptr<carto::Map> FocusMap() const { return focus_; }

  // ---- Views ----
  // The page layout (layout view) or the focus map (data view).
  carto::ActiveView& ActiveView() const;
  // The page layout, or one of the document's maps, which becomes the focus map.
  void SetActiveView(carto::ActiveView& view);
  bool InLayoutView() const { return layout_view_; }
  carto::PageLayout& PageLayout() const { return *layout_; }
  ContentsView& CurrentContentsView() { return contents_; }
  // The host's data window in pixels: the frame of every map in data view.
  int DataWindowWidth() const { return window_w_; }
  int DataWindowHeight() const { return window_h_; }
  // Maps keep their centre and scale.
  void SetDataWindowSize(int width, int height);

  app::Application* Parent() const { return app_; }
  void SetParent(app::Application* app) { app_ = app; }

  // ---- Changes ----
  // Whether the document differs from its file (or from the new document): anything
  // saved in the file counts (layers, symbols, extents, selections, elements, views).
  bool Changed() const;
  // True marks the document changed; False takes the present state as the saved one.
  void SetChanged(bool changed);

 private:
  friend class PageLayout;
  friend class DocumentReader;
  struct Empty {};
  explicit Document(Empty);
  // Takes a map out of the list only (its frame is going already).
  void RemoveMapOnly(const carto::Map& map);
  std::string Snapshot() const;

  std::vector<std::shared_ptr<carto::Map>> maps_;
  std::shared_ptr<carto::Map> focus_;
  std::unique_ptr<carto::PageLayout> layout_;
  bool layout_view_ = false;
  ContentsView contents_;
  int window_w_ = kDefaultDataWindowWidth, window_h_ = kDefaultDataWindowHeight;
  app::Application* app_ = nullptr;
  std::filesystem::path path_;
  bool changed_ = false;
  std::string saved_;
};

}  // namespace host::carto
